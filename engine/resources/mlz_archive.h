#pragma once
// Reader of .mlz archives. One object keeps one archive's directory in memory and hands out
// unpacked members by name; asking for another path loads that archive's directory instead.
// The file is opened and closed for every directory load and every member read.
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace sorel {

struct MlzEntry {
  std::string name;  ///< CP932, as stored
  uint32_t packedSize = 0;
  uint32_t unpackedSize = 0;
  uint32_t method = 0;
  uint32_t offset = 0;  ///< from the end of the directory
};

/// Parses a header and directory image (at least the first 16 + 84·N bytes of an archive of
/// fileSize bytes). None when it is not an archive or its directory runs past the file.
std::optional<std::vector<MlzEntry>> parseMlzDirectory(std::span<const uint8_t> index, uint64_t fileSize);

class MlzArchive {
 public:
  /// Loads the directory of the archive at path (a system path), or keeps the loaded one when
  /// path names it (sameName) and force is false. False when the file cannot be read, is not an
  /// archive, or its directory runs past its end; the previously loaded directory then stays.
  bool loadIndex(std::string_view path, bool force = false);

  /// The first member named memberName (sameName), unpacked; none when the archive or member is
  /// missing, the member is empty, its bytes lie outside the file, or its unpacked size is
  /// implausible. An LZSS member is decoded until its packed bytes are used up and cut to its
  /// unpacked size (zeros where the stream ends early); a stored member is returned as stored.
  /// outUnpackedSize, when given, receives the entry's unpacked size.
  std::optional<std::vector<uint8_t>> extract(std::string_view path, std::string_view memberName,
                                              uint32_t* outUnpackedSize = nullptr);

  /// Unpacks entry i of the loaded directory; none on damage (see extract). exact, when given,
  /// tells whether the member's bytes were exactly what its entry says: stored, or an LZSS
  /// stream that used all its packed bytes to fill exactly the unpacked size (for checking
  /// tools; the engine takes any stream the way extract does).
  std::optional<std::vector<uint8_t>> extractAt(size_t i, bool* exact = nullptr);

  /// Told whenever a read finds the archive damaged: an existing file that is not an archive or
  /// whose directory runs past its end, or a member whose bytes lie outside the file, cannot be
  /// read, claim an implausible size or whose packed stream does not fill it exactly. Gets the
  /// archive's path, the member's name (empty for the directory) and what is wrong. A missing
  /// archive or member is not damage.
  using DamageReporter = std::function<void(std::string_view path, std::string_view member, std::string_view what)>;
  void setDamageReporter(DamageReporter reporter) { m_reporter = std::move(reporter); }

  /// The loaded directory (empty before the first load).
  size_t memberCount() const { return m_entries.size(); }
  const MlzEntry& entry(size_t i) const { return m_entries[i]; }
  const std::string& cachedPath() const { return m_cachedPath; }
  /// Index of the first member named name, or none.
  std::optional<size_t> find(std::string_view name) const;
  /// The header and directory bytes exactly as stored.
  const std::vector<uint8_t>& index() const { return m_index; }
  /// Forgets the loaded directory.
  void clear();

 private:
  std::string m_cachedPath;
  std::string m_filePath;  // the file read for m_cachedPath (its name may differ in letter case)
  std::vector<uint8_t> m_index;
  std::vector<MlzEntry> m_entries;
  uint64_t m_dataStart = 0;
  uint64_t m_fileSize = 0;
  bool m_loaded = false;
  DamageReporter m_reporter;

  void damaged(std::string_view path, std::string_view member, std::string_view what) const {
    if (m_reporter) m_reporter(path, member, what);
  }
};

}  // namespace sorel
