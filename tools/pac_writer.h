#pragma once
// Writer of the PC game's .pac archives, for the sample game and for tests that need archives:
// the layout of converter/pac_format.h with every member stored, LZSS-packed (4096-byte ring)
// or Huffman-coded, exactly as the converter's reader unpacks them.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace sorel {

/// LZSS of the PC archives: 4096-byte zero-filled ring, first write position 4078, references
/// of 3 to 18 bytes, flag bits least significant first. Empty input gives an empty stream.
std::vector<uint8_t> encodePacLzss(std::span<const uint8_t> input);

/// Huffman of the PC archives: the code tree depth first (1 = inner node, then left and right;
/// 0 = leaf, then its byte), then the codes of every byte, bits most significant first. The
/// code comes from the byte frequencies; one distinct byte (or none) still gives a proper tree.
std::vector<uint8_t> encodePacHuffman(std::span<const uint8_t> input);

struct PacMember {
  std::string name;  ///< CP932, 1 to 63 bytes
  std::vector<uint8_t> bytes;
};

/// The whole archive image: header, directory, then the packed members in order. method is
/// pac::kMethodStored, kMethodLzss or kMethodHuffman. None when a name is empty, longer than 63
/// bytes or the archive would pass 4 GiB.
std::optional<std::vector<uint8_t>> buildPac(std::span<const PacMember> members, uint32_t method);

/// buildPac written to a system path, atomically. False (nothing written) on failure.
bool writePac(std::string_view path, std::span<const PacMember> members, uint32_t method);

}  // namespace sorel
