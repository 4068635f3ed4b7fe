#pragma once
// The backlog (the history of finished messages, newest first) and the read table (which
// message offsets of which scenario the reader has seen).
#include <array>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace sorel {

struct BacklogEntry {
  uint32_t speaker = 0;
  std::string voice;  ///< at most 31 bytes
  std::string text;   ///< the message's double-byte characters only, at most 107 of them
};

class Backlog {
 public:
  static constexpr size_t kMaxCharacters = 107;

  /// Entries kept for the MES_LOG_COUNT setting: 0..3 → 32, 64, 128, 256; others 64.
  static size_t capacityFor(int mesLogCount);

  /// Adds a finished message (text with its inline codes; only its double-byte characters are
  /// kept, cut to 107) and drops the oldest entries beyond the capacity.
  void add(uint32_t speaker, std::string_view voice, std::string_view text, int mesLogCount);
  size_t count() const { return m_entries.size(); }
  bool empty() const { return m_entries.empty(); }
  /// Entry i, 0 the newest; i must be below count().
  const BacklogEntry& entry(size_t i) const { return m_entries[i]; }
  void clear() { m_entries.clear(); }
  /// Replaces the entries (newest first), as a loaded game brings them back.
  void restore(std::vector<BacklogEntry> entries) { m_entries.assign(entries.begin(), entries.end()); }

  /// The double-byte characters of a message text (the backlog's form of it).
  static std::string doubleByteOnly(std::string_view text, size_t maxCharacters);

 private:
  std::deque<BacklogEntry> m_entries;
};

/// Splits a backlog text (CP932) into lines of at most perLine characters the way a Japanese
/// reader expects them: closing punctuation, small kana and the long-vowel mark never start a
/// line, opening brackets never end one, and "……" or "――" is not split. A line that cannot
/// be ended at an allowed place within perLine characters (a run of such characters longer than
/// a line) is cut at perLine. Every byte of the text is in exactly one line.
std::vector<std::string_view> backlogLines(std::string_view text, size_t perLine);

/// False when a line must not end between these two characters (cell code form: first byte in
/// the low 8 bits).
bool lineBreakAllowed(uint16_t before, uint16_t after);

class ReadTable {
 public:
  static constexpr size_t kMaxOffsets = 8192;

  struct Record {
    std::string scenario;  ///< at most 63 bytes
    std::vector<uint32_t> offsets;
  };

  bool isRead(std::string_view scenario, uint32_t offset) const;
  /// Records the offset for the scenario (a new record when the scenario has none); nothing
  /// when it is recorded already or the record is full.
  void markRead(std::string_view scenario, uint32_t offset);
  const std::vector<Record>& records() const { return m_records; }
  /// Replaces the whole table (the system data read at start-up).
  void setRecords(std::vector<Record> records) { m_records = std::move(records); }
  void clear() { m_records.clear(); }

 private:
  const Record* find(std::string_view scenario) const;
  std::vector<Record> m_records;
};

}  // namespace sorel
