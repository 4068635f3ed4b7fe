// .jmv movies as the movie player sees them: the header and index checks, then every frame the
// index hands out decoded as a movie frame into a buffer of the movie's size.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "engine/audio/movie_reader.h"
#include "engine/graphics/jbp1_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::span<const uint8_t> bytes(data, size);
  sorel::MovieHeader header;
  std::vector<uint32_t> sizes;
  std::vector<uint64_t> offsets;
  if (sorel::parseMovieIndex(bytes, size, header, sizes, offsets) != sorel::MovieRefusal::None) return 0;
  // Accepted: every frame lies inside the file and the frame is at most 600 macroblocks.
  std::vector<uint16_t> pixels(size_t((header.width + 15) / 16 * 16) * ((header.height + 15) / 16 * 16));
  sorel::Jbp1Decoder d;
  sorel::initDecoder(d);
  d.output = pixels;
  for (size_t i = 0; i < sizes.size() && i < 64; ++i) {
    auto frame = bytes.subspan(size_t(offsets[i]), sizes[i]);
    sorel::Jbp1Decoder probe;
    probe.input = frame;
    if (sorel::parseHeader(probe) && probe.width == header.width && probe.height == header.height)
      sorel::decodeMovieFrame(d, frame);
  }
  return 0;
}
