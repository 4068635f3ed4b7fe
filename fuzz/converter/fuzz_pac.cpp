// Any bytes as a .pac directory and as LZSS and Huffman member streams.
#include <cstdint>
#include <vector>

#include "converter/pac_archive.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::span<const uint8_t> bytes(data, size);
  sorel::looksLikePac(bytes, size);
  if (size >= 2) {
    std::vector<uint8_t> out(static_cast<size_t>(data[0]) << 4 | data[1]);
    sorel::decodePacLzss(out, bytes.subspan(2));
    sorel::decodePacHuffman(out, bytes.subspan(2));
  }
  return 0;
}
