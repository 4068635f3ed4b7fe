#include "converter/lzss_encoder.h"

#include "converter/lzss_tree.h"
#include "engine/resources/mlz_format.h"

namespace sorel {

using ArchiveEncoder = lzss::TreeEncoder<static_cast<int>(mlz::kRingSize), static_cast<int>(mlz::kLookAhead),
                                         static_cast<int>(mlz::kMinMatch)>;

size_t encodeLzss(uint8_t* output, std::span<const uint8_t> input) {
  return ArchiveEncoder::encode(output, input);
}

std::vector<uint8_t> encodeLzss(std::span<const uint8_t> input) {
  std::vector<uint8_t> out(input.size() * 2 + 2);
  out.resize(encodeLzss(out.data(), input));
  return out;
}

}  // namespace sorel
