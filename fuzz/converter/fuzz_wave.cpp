// Any bytes as a WAVE member: the chunk walk, and decoding what it accepts to 16-bit PCM (the
// decoding library sees only the chunks the walk took).
#include <cstdint>
#include <span>

#include "converter/pcm_convert.h"
#include "converter/wave_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto wave = sorel::parseWave(std::span<const uint8_t>(data, size));
  if (wave) {
    auto pcm = sorel::decodeToPcm16(*wave);
    if (pcm && pcm->samples.size() < 200000) sorel::acmConvert(pcm->format, {1, 22050}, pcm->samples);
  }
  return 0;
}
