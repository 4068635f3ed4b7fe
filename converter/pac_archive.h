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
enum class PacError {
  None,
  Missing,
  Truncated,  ///< the packed bytes run past the end of the file
  BadStream,  ///< the stream cannot be decoded within bounds
  TooLarge,   ///< the unpacked size is past what any member of the game comes near
  Damaged,    ///< the unpacked size is more than the method can make of the packed bytes
  NoMemory,   ///< the member's buffers could not be allocated
};
/// A one-line reason for a summary or a tool's message.
const char* pacErrorText(PacError e);

class PacArchive {
 public:
  /// Reads the header and directory of the archive at path (a system path). False when the file
  /// is missing, too short, or its directory or a member runs past its end.
  bool open(std::string_view path);
  /// The same over a whole archive image held in memory (the fuzz targets read archives so).
  bool openImage(std::vector<uint8_t> image);

  const std::string& path() const { return m_path; }
  uint32_t method() const { return m_method; }
  size_t memberCount() const { return m_entries.size(); }
  const PacEntry& entry(size_t i) const { return m_entries[i]; }
  const std::vector<PacEntry>& entries() const { return m_entries; }
  std::optional<size_t> find(std::string_view name) const;

  /// Member i unpacked to exactly its unpacked size, as the game reads it: an LZSS stream that
  /// ends early leaves zeros, one that overruns the size (within the spare room) is cut; a stored
  /// member gives its first unpacked-size bytes. None (and the reason in error) when the bytes
  /// cannot be read, the stream cannot be decoded within bounds, or the unpacked size is more
  /// than the method could make of the packed bytes (pacCapacity): a damaged size field never
  /// drives an allocation. A failed allocation fails the member (NoMemory), never the program.
  std::optional<std::vector<uint8_t>> readMember(size_t i, PacError* error = nullptr) const;

 private:
  bool readDirectory();
  int64_t size() const;
  size_t readBytes(uint64_t offset, uint8_t* out, size_t length) const;

  std::string m_path;
  std::optional<std::vector<uint8_t>> m_image;
  uint32_t m_method = 0;
  std::vector<PacEntry> m_entries;
};

/// True when the bytes start like a .pac archive of a file of that size: a directory and members
/// that lie inside the file. Used to tell .pac from .mlz by content.
bool looksLikePac(std::span<const uint8_t> head, uint64_t fileSize);

/// The largest unpacked size the archive's method can make of these packed bytes: the packed size
/// for stored members; for LZSS 144 bytes per 17 packed (a flag byte and eight references of 18)
/// plus the decoder's spare room; for Huffman the bits behind the code tree divided by its
/// shortest code (a tree of one leaf counts one bit a byte). None for a Huffman tree that is
/// invalid.
std::optional<uint64_t> pacCapacity(uint32_t method, std::span<const uint8_t> packed);

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
