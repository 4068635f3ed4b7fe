// Any bytes as an .mlz directory and as a member's LZSS stream: never outside a buffer.
#include <cstdint>
#include <vector>

#include "engine/resources/lzss_decoder.h"
#include "engine/resources/mlz_archive.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::span<const uint8_t> bytes(data, size);
  if (auto entries = sorel::parseMlzDirectory(bytes, size)) {
    for (const auto& e : *entries) (void)e.name.size();
  }
  // The first two bytes choose an output size, the rest is the stream.
  if (size >= 2) {
    std::vector<uint8_t> out(static_cast<size_t>(data[0]) << 4 | data[1]);
    sorel::unpackMember(out, bytes.subspan(2));
  }
  return 0;
}
