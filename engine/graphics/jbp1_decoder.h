#pragma once
// Decoder of JBP1 streams (still pictures inside RBP files, and movie frames) into RGB565.
//
// All decoding state lives in a Jbp1Decoder record owned by its user: the picture loader makes a
// fresh one per picture, the movie player keeps one per movie so that quantisation tables carry
// over between frames. The colour packing and zigzag tables are compile-time constants, so
// decoders on different threads never share anything.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace sorel {

/// The code lookup tables a decode builds from a stream's counts (defined in the decoder).
struct Jbp1Tables;

struct Jbp1Decoder {
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t bitsPerPixel = 24;  ///< 24 after parseHeader, 16 after a decode
  uint32_t flags = 0;
  uint32_t quality = 80;
  std::array<uint16_t, 64> lumaQuant{};    ///< natural order
  std::array<uint16_t, 64> chromaQuant{};
  bool hasTables = false;                  ///< a stream with tables has been decoded
  uint32_t alignedWidth = 0;               ///< width rounded up to a multiple of 16
  uint32_t alignedHeight = 0;
  bool multipleOf16 = true;

  std::span<const uint8_t> input;          ///< the stream (not owned)
  /// Where decoded pixels go: alignedWidth × alignedHeight RGB565 values, rows top-down. Empty:
  /// decodePicture allocates ownedOutput and points this at it.
  std::span<uint16_t> output;
  std::vector<uint16_t> ownedOutput;
  /// Room for the lookup tables, made by the first decode and reused by later ones with this
  /// state (a movie decodes frame after frame without allocating).
  std::shared_ptr<Jbp1Tables> tables;
  size_t rowBytes = 0;
  size_t totalBytes = 0;
};

/// Largest picture the decoder accepts, in pixels per side (the engine's pictures are at most
/// 640 × 480; the cap keeps hostile sizes from driving allocations).
constexpr uint32_t kJbp1MaxSide = 4096;
/// Largest movie frame, in macroblocks.
constexpr uint32_t kJbp1MaxMovieMacroblocks = 600;

/// Sets the defaults: no size, 24 bits, quality 80, no input, no output, no tables.
void initDecoder(Jbp1Decoder& d);

/// Reads the header of d.input: flags, quality, width, height, bits per pixel, and derives the
/// aligned sizes and the row bytes. 0 when there is no input, the header is cut short or is not
/// a JBP1 header, or a side is 0 or larger than kJbp1MaxSide; else 1.
int parseHeader(Jbp1Decoder& d);

/// Decodes the whole stream of a still picture (after parseHeader) into d.output, allocating
/// d.ownedOutput when d.output is empty. Sets bitsPerPixel 16, rowBytes and totalBytes. Returns
/// 1, or 0 when the stream is damaged (impossible counts, lengths past its end, a symbol that
/// runs past a block, a code that runs past its stream, missing tables, or an output too small);
/// nothing outside the input or output is ever touched.
int decodePicture(Jbp1Decoder& d);

/// The entropy-decoding half of decodePicture (after parseHeader): the quantised coefficients of
/// every block, 64 in natural order per block, six blocks per macroblock (Y0 Y1 Y2 Y3 C1 C2),
/// DC values absolute. For tools and checks. 0 on the failures of decodePicture.
int decodeCoefficients(Jbp1Decoder& d, std::vector<int16_t>& coefficients);

/// decodeCoefficients that also insists that both bit streams are used up to their last 32-bit
/// word, as the writer leaves them: damage inside a stream that still happens to decode shows as
/// bits left over or missing. For checking tools; 1 when the stream is sound.
int verifyStream(Jbp1Decoder& d);

/// One movie frame: sets the input, parses the header and decodes into d.output, which the
/// movie player has sized for its frames. Tables carry over from earlier frames when this one
/// has none. 0 on the failures of decodePicture, for a frame above kJbp1MaxMovieMacroblocks, or
/// when d.output is empty.
int decodeMovieFrame(Jbp1Decoder& d, std::span<const uint8_t> frame);

}  // namespace sorel
