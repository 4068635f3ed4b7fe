// Any bytes as an MP3 sound source through the decoder module, read once to the end and once
// looping for a bounded amount, as the mixer reads it.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/audio/decoder_module.h"
#include "engine/audio/mp3_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Quillon.ovl beside the running program.
  static const bool bound = sorel::loadDecoderModule();
  if (!bound) return 0;
  static std::vector<uint8_t> out(20480);
  for (bool loop : {false, true}) {
    sorel::Mp3Stream stream;
    if (!stream.openMemory(std::vector<uint8_t>(data, data + size))) return 0;
    stream.estimate();
    size_t total = 0;
    for (int reads = 0; reads < 64 && total < (4u << 20); ++reads) {
      size_t n = stream.read(out.data(), out.size() - (reads % 7), loop);
      total += n;
      if (n < out.size() - (reads % 7)) break;
    }
  }
  return 0;
}
