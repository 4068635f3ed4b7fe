// Bitmaps as the converter reads them from the PC archives, through the plain picture rule.
#include <cstddef>
#include <cstdint>
#include <span>

#include "converter/dib_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  sorel::DibImage image;
  if (!image.load(std::span<const uint8_t>(data, size))) return 0;
  if (uint64_t(image.width()) * image.height() > (1u << 20)) return 0;  // keep runs quick
  if (image.bitsPerPixel() == 16) image.expand16To24();
  else image.keyNearBlack();
  image.shrink(false, 50);
  image.toRbp(2, 0, 0);
  return 0;
}
