#include "engine/graphics/picture_loader.h"

#include <cstring>

#include "engine/graphics/jbp1_decoder.h"
#include "engine/graphics/rbp_format.h"
#include "engine/resources/byte_io.h"
#include "engine/resources/mlz_archive.h"
#include "engine/resources/sjis_text.h"
#include "platform/files.h"

namespace sorel {
namespace {

// No picture of the engine comes near this; it keeps a hostile header from driving the
// allocation.
constexpr uint32_t kMaxSide = 8192;
constexpr size_t kMaxNameBytes = 63;

// RGB565 to picture bytes without replicating the high bits into the low ones.
inline void expand565(uint16_t p, uint8_t* out) {
  out[0] = static_cast<uint8_t>((p << 3) & 0xFF);
  out[1] = static_cast<uint8_t>((p >> 3) & 0xFC);
  out[2] = static_cast<uint8_t>((p >> 8) & 0xF8);
}

}  // namespace

bool decodeRbp(std::span<const uint8_t> file, Picture& picture, int* outX, int* outY) {
  ByteReader r(file);
  auto magic = r.bytes(4);
  uint32_t kind = r.u32();
  uint32_t width = r.u32();
  uint32_t height = r.u32();
  uint32_t pixelOffset = r.u32();
  int16_t designWidth = r.i16();
  int16_t designHeight = r.i16();
  int16_t placeX = r.i16();
  int16_t placeY = r.i16();
  uint32_t jbpLength = r.u32();
  if (!r.ok() || width == 0 || height == 0 || width > kMaxSide || height > kMaxSide ||
      pixelOffset < rbp::kHeaderSize || pixelOffset > file.size())
    return false;
  const size_t count = size_t(width) * height;
  const auto data = file.subspan(pixelOffset);
  std::vector<uint8_t> pixels(count * 4);

  switch (kind) {
    case rbp::kKindRaw: {
      if (data.size() / 2 < count) return false;
      for (size_t i = 0; i < count; ++i) {
        expand565(loadU16(data.data() + i * 2), &pixels[i * 4]);
        pixels[i * 4 + 3] = 255;
      }
      break;
    }
    case rbp::kKindRawAlpha: {
      if (data.size() / 3 < count) return false;
      const bool sixBit = magic[3] == rbp::kVersionSixBitAlpha;
      for (size_t i = 0; i < count; ++i) {
        const uint8_t* p = data.data() + i * 3;
        expand565(loadU16(p), &pixels[i * 4]);
        uint8_t a = p[2];
        // Files of that version store alpha in 0..63.
        if (sixBit && a != 0) a = static_cast<uint8_t>(a * 4 + 3);
        pixels[i * 4 + 3] = a;
      }
      break;
    }
    case rbp::kKindJbp1:
    case rbp::kKindJbp1Alpha: {
      if (jbpLength > data.size()) return false;
      const bool withAlpha = kind == rbp::kKindJbp1Alpha;
      if (withAlpha && data.size() - jbpLength < count) return false;
      Jbp1Decoder d;
      initDecoder(d);
      d.input = data.first(jbpLength);
      if (!parseHeader(d) || d.width != width || d.height != height || !decodePicture(d)) return false;
      const uint8_t* alpha = data.data() + jbpLength;
      for (uint32_t y = 0; y < height; ++y) {
        const uint16_t* src = d.output.data() + size_t(y) * d.alignedWidth;
        uint8_t* dst = &pixels[size_t(y) * width * 4];
        for (uint32_t x = 0; x < width; ++x) {
          expand565(src[x], dst + x * 4);
          dst[x * 4 + 3] = withAlpha ? alpha[size_t(y) * width + x] : 255;
        }
      }
      break;
    }
    default:
      return false;
  }

  picture.width = width;
  picture.height = height;
  picture.designWidth = designWidth;
  picture.designHeight = designHeight;
  picture.pixels = std::move(pixels);
  if (outX) *outX = placeX;
  if (outY) *outY = placeY;
  return true;
}

void applyTint(Picture& picture, ColourWord tint) {
  const uint32_t tb = tint & 0xFF, tg = (tint >> 8) & 0xFF, tr = (tint >> 16) & 0xFF;
  for (size_t i = 0; i + 3 < picture.pixels.size(); i += 4) {
    uint8_t* p = &picture.pixels[i];
    uint32_t g = (uint32_t(p[0]) + p[1] + p[2]) / 3;
    p[0] = static_cast<uint8_t>(tb * g / 255);
    p[1] = static_cast<uint8_t>(tg * g / 255);
    p[2] = static_cast<uint8_t>(tr * g / 255);
  }
  picture.tint = tint;
}

int loadPicture(Picture& picture, std::string& memberName, std::string_view location, int markFlag,
                MlzArchive* archive, ColourWord tint, int* outX, int* outY) {
  memberName = std::string(untilNul(memberName));
  if (memberName.size() > kMaxNameBytes) return 0;
  auto dot = lastCharOf(memberName, '.');
  if (!dot) return 0;
  if (!sameName(std::string_view(memberName).substr(*dot), ".rbp")) memberName = memberName.substr(0, *dot) + ".rbp";
  if (memberName.size() > kMaxNameBytes) return 0;

  location = untilNul(location);
  std::optional<std::vector<uint8_t>> bytes;
  if (endsInBackslash(location)) {
    bytes = platform::readWholeFile(platform::existingPath(std::string(location) + memberName));
  } else {
    if (!archive) return 0;
    bytes = archive->extract(location, memberName);
  }
  if (!bytes) return 0;

  Picture decoded;
  if (!decodeRbp(*bytes, decoded, outX, outY)) return 0;
  picture.width = decoded.width;
  picture.height = decoded.height;
  picture.designWidth = decoded.designWidth;
  picture.designHeight = decoded.designHeight;
  picture.pixels = std::move(decoded.pixels);
  picture.name = memberName;
  if (markFlag) picture.flags |= Picture::kFlagMarked;
  if (tint != 0) applyTint(picture, tint);
  return 1;
}

std::vector<uint8_t> makeThumbnail(const uint8_t* pixels, int width, int height, size_t pitch, int thumbWidth,
                                   int thumbHeight) {
  if (thumbWidth < 1 || thumbHeight < 1 || width < 0 || height < 0) return {};
  const size_t pixelBytes = size_t(thumbWidth) * size_t(thumbHeight) * 2;
  const size_t fileSize = pixelBytes + 54;
  std::vector<uint8_t> out;
  out.reserve(fileSize);
  ByteWriter w(out);
  w.u8('B');
  w.u8('M');
  w.u32(static_cast<uint32_t>(fileSize));
  w.u16(0);
  w.u16(0);
  w.u32(54);
  w.u32(40);
  w.u32(static_cast<uint32_t>(thumbWidth));
  w.u32(static_cast<uint32_t>(thumbHeight));
  w.u16(1);
  w.u16(16);
  w.u32(0);
  w.u32(static_cast<uint32_t>(pixelBytes));
  for (int i = 0; i < 4; ++i) w.u32(0);
  out.resize(fileSize, 0);

  const uint32_t stepX = (static_cast<uint32_t>(width) << 10) / static_cast<uint32_t>(thumbWidth);
  const uint32_t stepY = (static_cast<uint32_t>(height) << 10) / static_cast<uint32_t>(thumbHeight);
  const uint32_t boxW = stepX >> 10, boxH = stepY >> 10;
  for (int j = 0; j < thumbHeight; ++j) {
    // Bottom row first.
    uint8_t* row = out.data() + 54 + size_t(thumbHeight - 1 - j) * size_t(thumbWidth) * 2;
    const uint32_t top = static_cast<uint32_t>((uint64_t(j) * stepY) >> 10);
    for (int i = 0; i < thumbWidth; ++i) {
      const uint32_t left = static_cast<uint32_t>((uint64_t(i) * stepX) >> 10);
      uint32_t sb = 0, sg = 0, sr = 0, n = 0;
      for (uint32_t y = top; y < top + boxH && y < static_cast<uint32_t>(height); ++y) {
        const uint8_t* p = pixels + size_t(y) * pitch;
        for (uint32_t x = left; x < left + boxW && x < static_cast<uint32_t>(width); ++x) {
          sb += p[x * 3];
          sg += p[x * 3 + 1];
          sr += p[x * 3 + 2];
          ++n;
        }
      }
      uint16_t v = 0;
      if (n != 0) {
        uint32_t b = sb / n, g = sg / n, r = sr / n;
        v = static_cast<uint16_t>(((r & 0xF8) << 8) | ((g >> 2) << 5) | (b >> 3));
      }
      storeU16(row + size_t(i) * 2, v);
    }
  }
  return out;
}

}  // namespace sorel
