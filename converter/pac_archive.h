#pragma once
// Reader of the PC game's .pac archives: the directory, and members unpacked by the archive's
// method (stored, LZSS with a 4096-byte ring, or Huffman).
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace sorel {

struct PacEntry {
  std::string name;  ///< CP932, as stored
  uint32_t offset = 0;
  uint32_t unpackedSize = 0;
  uint32_t packedSize = 0;
};

/// Why a member could not be unpacked.
enum class PacError { None, Missing, Truncated, BadStream, TooLarge };

class PacArchive {
 public:
  /// Reads the header and directory of the archive at path (a system path). False when the file
  /// is missing, too short, or its directory or a member runs past its end.
  bool open(std::string_view path);

  const std::string& path() const { return m_path; }
  uint32_t method() const { return m_method; }
  size_t memberCount() const { return m_entries.size(); }
  const PacEntry& entry(size_t i) const { return m_entries[i]; }
  const std::vector<PacEntry>& entries() const { return m_entries; }
  std::optional<size_t> find(std::string_view name) const;

  /// Member i unpacked to exactly its unpacked size, as the game reads it: an LZSS stream that
  /// ends early leaves zeros, one that overruns the size (within the spare room) is cut; a stored
  /// member gives its first unpacked-size bytes (zeros where the packed bytes end first). None
  /// (and the reason in error) when the bytes cannot be read, the size is implausible, or the
  /// stream cannot be decoded within bounds.
  std::optional<std::vector<uint8_t>> readMember(size_t i, PacError* error = nullptr) const;

 private:
  std::string m_path;
  uint32_t m_method = 0;
  std::vector<PacEntry> m_entries;
};

/// True when the bytes start like a .pac archive of a file of that size: a directory and members
/// that lie inside the file. Used to tell .pac from .mlz by content.
bool looksLikePac(std::span<const uint8_t> head, uint64_t fileSize);

/// LZSS of the PC archives, decoded until src is used up (a last byte that cannot make a whole
/// reference is ignored). dst is the unpacked size plus pac::kLzssSpare; bytes not produced keep
/// their value. The number of bytes produced, which may be below or above the unpacked size;
/// none when the stream would write past dst. Never reads past src.
std::optional<size_t> decodePacLzss(std::span<uint8_t> dst, std::span<const uint8_t> src);
/// Huffman of the PC archives: the code tree written depth first, then dst.size() symbols; bits
/// past the end of src read as 1, as the game's decoder has it. False only when the tree is
/// invalid (more than 255 inner nodes).
bool decodePacHuffman(std::span<uint8_t> dst, std::span<const uint8_t> src);

}  // namespace sorel
