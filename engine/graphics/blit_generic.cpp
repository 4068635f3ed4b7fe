// The portable pixel loops and the public blit calls. Every call trims its rectangles once,
// picks its variant once and then runs a loop that holds no test on the settings; the only
// per-pixel tests are on the source alpha (0 leaves the pixel, 255 is the opaque rule) and, in
// the transformed loops, whether the sample falls inside the source rectangle.
#include <algorithm>
#include <cstring>

#include "engine/graphics/blit.h"
#include "engine/graphics/blit_kernels.h"
#include "engine/resources/screen.h"

namespace sorel {
namespace blit {
namespace {

template <class Op>
void straightPictureLoop(const StraightJob& j) {
  const Op op{j.opacity, j.tone};
  for (int y = 0; y < j.height; ++y) {
    uint8_t* d = j.dst + y * j.dstPitch;
    const uint8_t* s = j.src + y * j.srcPitch;
    for (int x = 0; x < j.width; ++x, d += 3, s += 4) op(d, s);
  }
}

template <class Op>
void straightColourLoop(const StraightJob& j) {
  const Op op{j.opacity, j.tone};
  for (int y = 0; y < j.height; ++y) {
    uint8_t* d = j.dst + y * j.dstPitch;
    for (int x = 0; x < j.width; ++x, d += 3) op(d, j.colour);
  }
}

// Inverse mapping in 22.10 fixed point; u and v are 64-bit so that no transform, however
// extreme, overflows (the values the engine produces fit 32 bits and give the same samples).
template <class Op, bool kPicture>
void transformLoop(const TransformJob& j) {
  const Op op{j.opacity, j.tone};
  int64_t rowU = j.u, rowV = j.v;
  for (int y = 0; y < j.height; ++y, rowU += j.dudy, rowV += j.dvdy) {
    uint8_t* d = j.dst + y * j.dstPitch;
    int64_t u = rowU, v = rowV;
    for (int x = 0; x < j.width; ++x, d += 3, u += j.dudx, v += j.dvdx) {
      const int64_t su = u >> 10, sv = v >> 10;
      if (static_cast<uint64_t>(su) >= static_cast<uint64_t>(j.srcW) ||
          static_cast<uint64_t>(sv) >= static_cast<uint64_t>(j.srcH))
        continue;
      if constexpr (kPicture)
        op(d, j.pic + sv * j.picPitch + su * 4);
      else
        op(d, j.colour);
    }
  }
}

constexpr StraightKernel kScalarStraight[kFamilies][kVariants] = {
    {straightPictureLoop<BlendPlain>, straightPictureLoop<BlendOpacity>,
     straightPictureLoop<BlendBrightness>, straightPictureLoop<BlendBoth>},
    {straightPictureLoop<AdditivePlain>, straightPictureLoop<AdditiveOpacity>,
     straightPictureLoop<AdditiveBrightness>, straightPictureLoop<AdditiveBoth>},
    {straightColourLoop<FillPlain>, straightColourLoop<FillOpacity>,
     straightColourLoop<FillBrightness>, straightColourLoop<FillBoth>},
    {straightColourLoop<AddPlain>, straightColourLoop<AddOpacity>, straightColourLoop<AddBrightness>,
     straightColourLoop<AddBoth>},
};

constexpr TransformKernel kScalarTransformed[kFamilies][kVariants] = {
    {transformLoop<BlendPlain, true>, transformLoop<BlendOpacity, true>,
     transformLoop<BlendBrightness, true>, transformLoop<BlendBoth, true>},
    {transformLoop<AdditivePlain, true>, transformLoop<AdditiveOpacity, true>,
     transformLoop<AdditiveBrightness, true>, transformLoop<AdditiveBoth, true>},
    {transformLoop<FillPlain, false>, transformLoop<FillOpacity, false>,
     transformLoop<FillBrightness, false>, transformLoop<FillBoth, false>},
    {nullptr, nullptr, nullptr, nullptr},
};

struct KernelTable {
  StraightKernel straight[kFamilies][kVariants];
};

KernelTable chooseKernels() {
  KernelTable t{};
  for (int f = 0; f < kFamilies; ++f)
    for (int v = 0; v < kVariants; ++v) {
      StraightKernel k = simdStraight(static_cast<Family>(f), static_cast<Variant>(v));
      t.straight[f][v] = k ? k : kScalarStraight[f][v];
    }
  return t;
}

}  // namespace

#if !SOREL_SIMD_KERNELS
// A build without the x86-64 kernels (another processor, or SOREL_SIMD=OFF).
StraightKernel simdStraight(Family, Variant) { return nullptr; }
#endif

StraightKernel scalarStraight(Family family, Variant variant) {
  return kScalarStraight[static_cast<int>(family)][static_cast<int>(variant)];
}

TransformKernel scalarTransformed(Family family, Variant variant) {
  return kScalarTransformed[static_cast<int>(family)][static_cast<int>(variant)];
}

StraightKernel straightKernel(Family family, Variant variant) {
  // Chosen once, on first use, from what the processor offers.
  static const KernelTable table = chooseKernels();
  return table.straight[static_cast<int>(family)][static_cast<int>(variant)];
}

}  // namespace blit

namespace {

bool hasAllPixels(const Picture& p) {
  return p.width > 0 && p.height > 0 && p.pixels.size() / 4 / p.width >= p.height;
}

bool surfaceUsable(const Surface& s) {
  return s.width > 0 && s.height > 0 &&
         s.pixels.size() >= static_cast<size_t>(s.width) * static_cast<size_t>(s.height) * 3;
}

// Opacity and brightness beyond their ranges have no meaning; they are held to the ranges once per
// call so that every loop (scalar or SIMD) computes with the same in-range values.
int clampOpacity(int opacity) { return std::clamp(opacity, 0, 256); }
int clampBrightness(int brightness) { return std::clamp(brightness, 0, 512); }

void colourBytes(ColourWord c, uint8_t out[3]) {
  out[0] = static_cast<uint8_t>(c);
  out[1] = static_cast<uint8_t>(c >> 8);
  out[2] = static_cast<uint8_t>(c >> 16);
}

// Trims a destination box of size (w, h) at (x, y) to the surface; returns the columns and rows
// cut away on the left and top through skipX/skipY and the remaining size through w, h.
bool trimToSurface(const Surface& s, int64_t& x, int64_t& y, int64_t& w, int64_t& h, int64_t& skipX,
                   int64_t& skipY) {
  skipX = x < 0 ? -x : 0;
  skipY = y < 0 ? -y : 0;
  x += skipX, y += skipY, w -= skipX, h -= skipY;
  w = std::min<int64_t>(w, s.width - x);
  h = std::min<int64_t>(h, s.height - y);
  return w > 0 && h > 0;
}

}  // namespace

bool pictureBlit(const Picture& picture, const Rect& src, Surface& surface, int x, int y,
                 int opacity, int brightness, Mix mode) {
  opacity = clampOpacity(opacity);
  brightness = clampBrightness(brightness);
  if (mode != Mix::Blend && mode != Mix::Add) return true;
  if (!hasAllPixels(picture) || !surfaceUsable(surface)) return true;
  const Rect whole{0, 0, static_cast<int32_t>(picture.width), static_cast<int32_t>(picture.height)};
  const Rect s = intersect(src, whole);
  if (s.empty()) return true;
  int64_t dx = int64_t(x) + (s.left - src.left), dy = int64_t(y) + (s.top - src.top);
  int64_t w = s.width(), h = s.height(), skipX, skipY;
  if (!trimToSurface(surface, dx, dy, w, h, skipX, skipY)) return true;

  blit::StraightJob job;
  job.dst = surface.pixels.data() + (dy * surface.width + dx) * 3;
  job.dstPitch = ptrdiff_t(surface.width) * 3;
  job.src = picture.pixels.data() + ((s.top + skipY) * int64_t(picture.width) + s.left + skipX) * 4;
  job.srcPitch = ptrdiff_t(picture.width) * 4;
  job.width = static_cast<int>(w);
  job.height = static_cast<int>(h);
  job.opacity = static_cast<uint32_t>(opacity);
  job.tone = blit::toneOf(brightness);
  const auto family = mode == Mix::Blend ? blit::Family::Blend : blit::Family::Additive;
  blit::straightKernel(family, blit::variantOf(opacity, brightness))(job);
  return true;
}

bool colourRect(ColourWord colour, const Rect& rect, Surface& surface, int x, int y, int opacity,
                int brightness, Mix mode) {
  opacity = clampOpacity(opacity);
  brightness = clampBrightness(brightness);
  if (mode != Mix::Blend && mode != Mix::Add) return true;
  if (!surfaceUsable(surface)) return true;
  int64_t dx = x, dy = y, w = rect.width(), h = rect.height(), skipX, skipY;
  if (!trimToSurface(surface, dx, dy, w, h, skipX, skipY)) return true;

  blit::StraightJob job;
  job.dst = surface.pixels.data() + (dy * surface.width + dx) * 3;
  job.dstPitch = ptrdiff_t(surface.width) * 3;
  job.width = static_cast<int>(w);
  job.height = static_cast<int>(h);
  job.opacity = static_cast<uint32_t>(opacity);
  job.tone = blit::toneOf(brightness);
  colourBytes(colour, job.colour);
  const auto family = mode == Mix::Blend ? blit::Family::Fill : blit::Family::Add;
  blit::straightKernel(family, blit::variantOf(opacity, brightness))(job);
  return true;
}

namespace {

// Fills the destination part of a transformed job: the box trimmed to the surface and the
// starting u, v of its first pixel.
bool setUpTransformJob(const BlitTransform& t, const Surface& surface, blit::TransformJob& job) {
  int64_t x = t.x0, y = t.y0, w = t.width, h = t.height, cutX, cutY;
  if (!trimToSurface(surface, x, y, w, h, cutX, cutY)) return false;
  const int64_t skipX = int64_t(t.skipX) + cutX, skipY = int64_t(t.skipY) + cutY;
  job.dst = const_cast<uint8_t*>(surface.pixels.data()) + (y * surface.width + x) * 3;
  job.dstPitch = ptrdiff_t(surface.width) * 3;
  job.width = static_cast<int>(w);
  job.height = static_cast<int>(h);
  job.dudx = t.dudx, job.dvdx = t.dvdx, job.dudy = t.dudy, job.dvdy = t.dvdy;
  job.u = job.dudx * skipX + job.dudy * skipY + t.startU;
  job.v = job.dvdx * skipX + job.dvdy * skipY + t.startV;
  return true;
}

}  // namespace

bool pictureBlitTransformed(const Picture& picture, const Rect& src, Surface& surface,
                            const BlitTransform& transform, int opacity, int brightness, Mix mode) {
  opacity = clampOpacity(opacity);
  brightness = clampBrightness(brightness);
  if (mode != Mix::Blend && mode != Mix::Add) return true;
  if (!hasAllPixels(picture) || !surfaceUsable(surface)) return true;
  const Rect whole{0, 0, static_cast<int32_t>(picture.width), static_cast<int32_t>(picture.height)};
  const Rect s = intersect(src, whole);
  if (s.empty()) return true;
  blit::TransformJob job;
  if (!setUpTransformJob(transform, surface, job)) return true;
  // Samples stay relative to the rectangle the caller gave; a part of it outside the picture
  // simply never matches, as if it were transparent.
  const int64_t cutL = s.left - src.left, cutT = s.top - src.top;
  job.u -= cutL * 1024;
  job.v -= cutT * 1024;
  job.srcW = s.width();
  job.srcH = s.height();
  job.pic = picture.pixels.data() + (int64_t(s.top) * picture.width + s.left) * 4;
  job.picPitch = ptrdiff_t(picture.width) * 4;
  job.opacity = static_cast<uint32_t>(opacity);
  job.tone = blit::toneOf(brightness);
  const auto family = mode == Mix::Blend ? blit::Family::Blend : blit::Family::Additive;
  blit::scalarTransformed(family, blit::variantOf(opacity, brightness))(job);
  return true;
}

bool colourRectTransformed(ColourWord colour, const Rect& src, Surface& surface,
                           const BlitTransform& transform, int opacity, int brightness) {
  opacity = clampOpacity(opacity);
  brightness = clampBrightness(brightness);
  if (!surfaceUsable(surface) || src.empty()) return true;
  blit::TransformJob job;
  if (!setUpTransformJob(transform, surface, job)) return true;
  job.srcW = src.width();
  job.srcH = src.height();
  job.opacity = static_cast<uint32_t>(opacity);
  job.tone = blit::toneOf(brightness);
  colourBytes(colour, job.colour);
  blit::scalarTransformed(blit::Family::Fill, blit::variantOf(opacity, brightness))(job);
  return true;
}

void fillRect(std::span<uint8_t> pixels, int pitch, int height, const Rect& rect,
              ColourWord colour, int bytesPerPixel) {
  const int bpp = bytesPerPixel == 2 ? 2 : 3;
  if (pitch <= 0 || height <= 0) return;
  if (pixels.size() / static_cast<size_t>(bpp) / static_cast<size_t>(pitch) < static_cast<size_t>(height))
    return;
  const Rect r = intersect(rect, Rect{0, 0, pitch, height});
  if (r.empty()) return;
  const size_t rowBytes = static_cast<size_t>(r.width()) * bpp;
  uint8_t* first = pixels.data() + (static_cast<size_t>(r.top) * pitch + r.left) * bpp;
  if (bpp == 2) {
    const uint16_t v = rgb565(colour);
    for (int x = 0; x < r.width(); ++x) std::memcpy(first + x * 2, &v, 2);
  } else {
    uint8_t c[3];
    colourBytes(colour, c);
    for (int x = 0; x < r.width(); ++x) std::memcpy(first + x * 3, c, 3);
  }
  // Every further row is a copy of the first.
  for (int y = 1; y < r.height(); ++y)
    std::memcpy(first + static_cast<size_t>(y) * pitch * bpp, first, rowBytes);
}

void fillRect(Surface& surface, const Rect& rect, ColourWord colour) {
  fillRect(surface.pixels, surface.width, surface.height, rect, colour, 3);
}

void pictureFromSurface(Picture& picture, const Surface& surface) {
  picture.release();
  if (!surfaceUsable(surface)) return;
  const size_t count = static_cast<size_t>(surface.width) * static_cast<size_t>(surface.height);
  picture.pixels.resize(count * 4);
  const uint8_t* s = surface.pixels.data();
  uint8_t* d = picture.pixels.data();
  for (size_t i = 0; i < count; ++i, s += 3, d += 4) d[0] = s[0], d[1] = s[1], d[2] = s[2], d[3] = 255;
  picture.width = static_cast<uint32_t>(surface.width);
  picture.height = static_cast<uint32_t>(surface.height);
  picture.designWidth = surface.width * fullWidth / std::max(1, screenWidth);
  picture.designHeight = surface.height * fullHeight / std::max(1, screenHeight);
  picture.flags = 0;
  picture.tint = 0;
  picture.name.clear();
  picture.archiveName.clear();
}

bool blankPicture(Picture& picture, int width, int height) {
  picture.release();
  constexpr int kMaxSide = 4096;
  if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide) return false;
  picture.pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height) * 4, 0);
  picture.width = static_cast<uint32_t>(width);
  picture.height = static_cast<uint32_t>(height);
  picture.designWidth = width * fullWidth / std::max(1, screenWidth);
  picture.designHeight = height * fullHeight / std::max(1, screenHeight);
  picture.flags = Picture::kFlagMarked;
  return true;
}

}  // namespace sorel
