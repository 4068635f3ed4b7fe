#pragma once
// The JBP1 encoder: a baseline 4:2:0 JPEG of the picture made by libjpeg, read back as quantised
// coefficients, then re-coded with the format's own symbols and Huffman codes built from the
// picture's symbol counts.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace sorel {

/// A 24-bit picture: bytes blue, green, red, rows top-down, `stride` bytes apart.
struct Bgr24View {
  const uint8_t* pixels = nullptr;
  uint32_t width = 0;
  uint32_t height = 0;
  size_t stride = 0;
};

class Jbp1Encoder {
 public:
  /// Largest side accepted (the decoder's limit).
  static constexpr uint32_t kMaxSide = 4096;

  /// The JBP1 stream of the picture at JPEG quality 1..100; empty when libjpeg fails or the
  /// picture is empty or larger than kMaxSide.
  std::vector<uint8_t> encode(const Bgr24View& picture, int quality);

  /// The JPEG made by the last encode.
  const std::vector<uint8_t>& jpeg() const { return m_jpeg; }
  /// The quantised coefficients of the last encode: 64 per block in natural order, six blocks
  /// per macroblock (Y0 Y1 Y2 Y3 C1 C2), macroblocks left to right, top to bottom; DC absolute.
  const std::vector<int16_t>& coefficients() const { return m_coef; }

 private:
  std::vector<uint8_t> m_jpeg;
  std::vector<int16_t> m_coef;
  uint16_t m_quant[2][64] = {};
};

}  // namespace sorel
