#pragma once
// Writer of .mlz archives: a placeholder header and directory first, the members' bytes as they
// come, and the real header and directory written over the placeholder at close. The archive is
// written under a temporary name and appears under its own name only when closed successfully.
#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"

namespace sorel {

/// A member ready for the archive: its stored bytes (compressed or not) and directory values.
/// Packing is the costly part and needs no writer, so it can run on any thread.
struct PackedMember {
  std::vector<uint8_t> stored;
  uint32_t unpackedSize = 0;
  uint32_t method = 0;
};

class MlzWriter {
 public:
  /// The largest archive the format can describe: its total size and member offsets are 32 bits.
  static constexpr uint64_t kMaxArchiveBytes = 0xFFFFFFFFu;

  /// Packs a member the way add() stores it: compressed with encodeLzss (method 1) when compress
  /// is set and the member is not empty, stored (method 0) otherwise. Thread-safe.
  static PackedMember pack(std::span<const uint8_t> bytes, bool compress);

  /// Creates the archive for exactly `count` members. False when the file cannot be created.
  bool open(std::string_view path, uint32_t count);
  /// Adds the next member: compressed with encodeLzss (method 1) when compress is set and the
  /// member is not empty, stored (method 0) otherwise. The name is cut to 63 bytes without
  /// splitting a double-byte character. False when all `count` entries are used or a write fails.
  bool add(std::string_view name, std::span<const uint8_t> bytes, bool compress);
  /// Adds the next member packed beforehand; the same bytes as add() with the member's own bytes.
  /// False, and nothing written, when the archive would grow past its size limit (full()).
  bool add(std::string_view name, const PackedMember& member);
  /// True when the last add() failed because the archive would have passed its size limit.
  bool full() const { return m_full; }
  /// Lowers the size limit (kMaxArchiveBytes), so that tests reach it with small members.
  void setSizeLimit(uint64_t bytes) { m_limit = std::min(bytes, kMaxArchiveBytes); }
  /// Writes the final header and directory and renames the archive into place. An archive with
  /// fewer members than announced keeps zeroed entries for the missing ones. False on any
  /// write failure (then nothing appears under the archive's name).
  bool close();
  /// Drops the archive being written.
  void abandon();

  uint32_t added() const { return m_next; }
  uint64_t bytesWritten() const { return m_file.size(); }

 private:
  platform::OutputFile m_file;
  std::vector<uint8_t> m_directory;
  uint32_t m_count = 0;
  uint32_t m_next = 0;
  uint64_t m_dataOffset = 0;
  uint64_t m_limit = kMaxArchiveBytes;
  bool m_open = false;
  bool m_full = false;
};

/// Cuts a CP932 name to at most maxBytes bytes without splitting a double-byte character.
std::string cutName(std::string_view name, size_t maxBytes);

}  // namespace sorel
