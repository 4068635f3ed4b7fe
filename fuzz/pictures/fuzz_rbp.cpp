// RBP files and the JBP1 streams inside them, as picture loading and the movie player see them.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "engine/graphics/jbp1_decoder.h"
#include "engine/graphics/picture_loader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::span<const uint8_t> bytes(data, size);
  sorel::Picture picture;
  sorel::decodeRbp(bytes, picture);
  // The same bytes as a bare stream and as a movie frame.
  sorel::Jbp1Decoder d;
  sorel::initDecoder(d);
  d.input = bytes;
  if (sorel::parseHeader(d)) sorel::decodePicture(d);
  std::vector<uint16_t> frame(640 * 240);
  sorel::Jbp1Decoder movie;
  sorel::initDecoder(movie);
  movie.output = frame;
  sorel::decodeMovieFrame(movie, bytes);
  return 0;
}
