// The blitters against a plain reference written here from the engine's per-pixel rules: hand
// checked values for every family and variant, then seeded random pictures through whole loops
// (straight, transformed, trimmed at the edges), compared by hash with the reference's output.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "engine/graphics/blit.h"
#include "engine/graphics/blit_kernels.h"
#include "engine/resources/screen.h"

namespace sorel {
namespace {

enum class Kind { Blend, Additive, Fill, Add };

// ---- reference: one pixel channel at a time, variant worked out per pixel ----
namespace ref {

struct Tone {
  unsigned k, w;
};
Tone tone(int l) {
  if (l <= 256) return {unsigned(l), 0};
  unsigned k = unsigned(512 - l);
  return {k, ((256 - k) * 255) >> 8};
}
unsigned T(unsigned x, Tone t) { return t.w + ((x * t.k) >> 8); }
unsigned mn(unsigned a) { return a > 255 ? 255 : a; }
const unsigned kMask[3] = {0xF8, 0xFC, 0xF8};

uint8_t picture(Kind kind, int opacity, int brightness, unsigned S, unsigned D, unsigned A, int c) {
  if (A == 0) return uint8_t(D);
  const bool op = opacity != 256, br = brightness != 256;
  const unsigned P = unsigned(opacity);
  const Tone t = tone(brightness);
  const unsigned a = A == 255 ? P : (A * P) >> 8;
  unsigned r;
  if (kind == Kind::Blend) {
    if (!op && !br)
      r = A == 255 ? S : (((256 - A) * D) >> 8) + ((S * A) >> 8);
    else if (op && !br)
      r = ((D * (256 - a) + S * a) >> 8) & kMask[c];
    else if (!op && br)
      r = A == 255 ? T(S, t) : (((T(S, t) & 255) * A) >> 8) + (((256 - A) * D) >> 8);
    else
      r = t.w + (((((S * a) >> 8) + ((D * (256 - a)) >> 8)) & 255) * t.k >> 8);
  } else {
    if (!op && !br)
      r = A == 255 ? mn(S + D) : mn(((S * A) >> 8) + D);
    else if (op && !br)
      r = mn((((S * a) >> 8) & 255) + D);
    else if (!op && br)
      r = t.w + ((mn((A == 255 ? S : (S * A) >> 8) + D) * t.k) >> 8);
    else
      r = t.w + ((mn((((S * a) >> 8) & 255) + D) * t.k) >> 8);
  }
  return uint8_t(r);
}

uint8_t colour(Kind kind, int opacity, int brightness, unsigned F, unsigned D) {
  const bool op = opacity != 256, br = brightness != 256;
  const unsigned P = unsigned(opacity);
  const Tone t = tone(brightness);
  unsigned r;
  if (kind == Kind::Fill) {
    if (!op && !br) r = F;
    else if (op && !br) r = ((F * P) >> 8) + ((D * (256 - P)) >> 8);
    else if (!op && br) r = ((F * t.k) >> 8) + t.w;
    else r = t.w + (((((F * P) >> 8) + ((D * (256 - P)) >> 8)) & 255) * t.k >> 8);
  } else {
    if (!op && !br) r = mn(F + D);
    else if (op && !br) r = mn((((F * P) >> 8) & 255) + D);
    else if (!op && br) r = t.w + ((mn(F + D) * t.k) >> 8);
    else r = t.w + ((mn((((F * P) >> 8) & 255) + D) * t.k) >> 8);
  }
  return uint8_t(r);
}

void applyPixel(Kind kind, int opacity, int brightness, uint8_t* d, const uint8_t* s, ColourWord colour) {
  for (int c = 0; c < 3; ++c) {
    if (kind == Kind::Blend || kind == Kind::Additive)
      d[c] = picture(kind, opacity, brightness, s[c], d[c], s[3], c);
    else
      d[c] = ref::colour(kind, opacity, brightness, (colour >> (8 * c)) & 255, d[c]);
  }
}

// Straight: every pixel of the rectangle whose destination lies on the surface.
void straight(Kind kind, const Picture* pic, const Rect& src, Surface& s, int x, int y, int opacity,
              int brightness, ColourWord colour) {
  for (int j = 0; j < src.height(); ++j)
    for (int i = 0; i < src.width(); ++i) {
      const int dx = x + i, dy = y + j;
      if (dx < 0 || dy < 0 || dx >= s.width || dy >= s.height) continue;
      const uint8_t* sp = pic ? pic->pixel(uint32_t(src.left + i), uint32_t(src.top + j)) : nullptr;
      applyPixel(kind, opacity, brightness, s.pixels.data() + (dy * s.width + dx) * 3, sp, colour);
    }
}

// Transformed: the traversal of the box with incremental u, v; samples inside src only.
void transformed(Kind kind, const Picture* pic, const Rect& src, Surface& s, const BlitTransform& t,
                 int opacity, int brightness, ColourWord colour) {
  long long u0 = (long long)t.dudx * t.skipX + (long long)t.dudy * t.skipY + t.startU;
  long long v0 = (long long)t.dvdx * t.skipX + (long long)t.dvdy * t.skipY + t.startV;
  for (int j = 0; j < t.height; ++j) {
    long long u = u0, v = v0;
    for (int i = 0; i < t.width; ++i) {
      const long long sx = src.left + (u >> 10), sy = src.top + (v >> 10);
      const int dx = t.x0 + i, dy = t.y0 + j;
      if (sx >= src.left && sx < src.right && sy >= src.top && sy < src.bottom && dx >= 0 &&
          dy >= 0 && dx < s.width && dy < s.height) {
        const uint8_t* sp = pic ? pic->pixel(uint32_t(sx), uint32_t(sy)) : nullptr;
        applyPixel(kind, opacity, brightness, s.pixels.data() + (dy * s.width + dx) * 3, sp, colour);
      }
      u += t.dudx;
      v += t.dvdx;
    }
    u0 += t.dudy;
    v0 += t.dvdy;
  }
}

}  // namespace ref

// ---- helpers ----

struct Rng {
  uint32_t s;
  uint32_t next() {
    s ^= s << 13;
    s ^= s >> 17;
    s ^= s << 5;
    return s;
  }
  int range(int lo, int hi) { return lo + int(next() % uint32_t(hi - lo + 1)); }
};

uint64_t hashBytes(const std::vector<uint8_t>& v) {
  uint64_t h = 1469598103934665603ull;
  for (uint8_t b : v) h = (h ^ b) * 1099511628211ull;
  return h;
}

Surface randomSurface(Rng& rng, int w, int h) {
  Surface s;
  s.resize(w, h);
  for (auto& b : s.pixels) b = uint8_t(rng.next());
  return s;
}

// Alpha is 0, 255 or anything else in about equal parts, so every pixel rule is exercised.
Picture randomPicture(Rng& rng, int w, int h) {
  Picture p;
  p.width = uint32_t(w);
  p.height = uint32_t(h);
  p.pixels.resize(size_t(w) * h * 4);
  for (size_t i = 0; i < p.pixels.size(); i += 4) {
    for (int c = 0; c < 3; ++c) p.pixels[i + c] = uint8_t(rng.next());
    const uint32_t r = rng.next() % 3;
    p.pixels[i + 3] = r == 0 ? 0 : r == 1 ? 255 : uint8_t(1 + rng.next() % 254);
  }
  return p;
}

// The settings that reach every variant and their edges.
const std::pair<int, int> kSettings[] = {
    {256, 256}, {0, 256},   {1, 256},   {128, 256}, {255, 256}, {256, 0},   {256, 1},
    {256, 255}, {256, 257}, {256, 384}, {256, 511}, {256, 512}, {0, 0},     {128, 384},
    {255, 512}, {1, 100},   {200, 300}, {77, 256},  {256, 150},
};

void expectSame(const Surface& got, const Surface& want, const char* what) {
  if (hashBytes(got.pixels) == hashBytes(want.pixels)) return;
  for (size_t i = 0; i < got.pixels.size(); ++i)
    if (got.pixels[i] != want.pixels[i]) {
      ADD_FAILURE() << what << ": first difference at byte " << i << " (pixel " << i / 3 << ", channel "
                    << i % 3 << "): " << int(got.pixels[i]) << " instead of " << int(want.pixels[i]);
      return;
    }
}

// ---- golden values: source (200, 120, 10) over destination (100, 250, 60) ----

struct Golden {
  Kind kind;
  int opacity, brightness, alpha;
  uint8_t out[3];
};

const Golden kGolden[] = {
    {Kind::Blend, 256, 256, 0, {100, 250, 60}},
    {Kind::Blend, 256, 256, 77, {129, 210, 44}},
    {Kind::Blend, 256, 256, 128, {150, 185, 35}},
    {Kind::Blend, 256, 256, 255, {200, 120, 10}},
    {Kind::Additive, 256, 256, 0, {100, 250, 60}},
    {Kind::Additive, 256, 256, 77, {160, 255, 63}},
    {Kind::Additive, 256, 256, 128, {200, 255, 65}},
    {Kind::Additive, 256, 256, 255, {255, 255, 70}},
    {Kind::Fill, 256, 256, 0, {200, 120, 10}},
    {Kind::Add, 256, 256, 0, {255, 255, 70}},
    {Kind::Blend, 128, 256, 0, {100, 250, 60}},
    {Kind::Blend, 128, 256, 77, {112, 228, 48}},
    {Kind::Blend, 128, 256, 128, {120, 216, 40}},
    {Kind::Blend, 128, 256, 255, {144, 184, 32}},
    {Kind::Additive, 128, 256, 0, {100, 250, 60}},
    {Kind::Additive, 128, 256, 77, {129, 255, 61}},
    {Kind::Additive, 128, 256, 128, {150, 255, 62}},
    {Kind::Additive, 128, 256, 255, {200, 255, 65}},
    {Kind::Fill, 128, 256, 0, {150, 185, 35}},
    {Kind::Add, 128, 256, 0, {200, 255, 65}},
    {Kind::Blend, 0, 256, 0, {100, 250, 60}},
    {Kind::Blend, 0, 256, 77, {96, 248, 56}},
    {Kind::Blend, 0, 256, 128, {96, 248, 56}},
    {Kind::Blend, 0, 256, 255, {96, 248, 56}},
    {Kind::Additive, 0, 256, 0, {100, 250, 60}},
    {Kind::Additive, 0, 256, 77, {100, 250, 60}},
    {Kind::Additive, 0, 256, 128, {100, 250, 60}},
    {Kind::Additive, 0, 256, 255, {100, 250, 60}},
    {Kind::Fill, 0, 256, 0, {100, 250, 60}},
    {Kind::Add, 0, 256, 0, {100, 250, 60}},
    {Kind::Blend, 256, 384, 0, {100, 250, 60}},
    {Kind::Blend, 256, 384, 77, {137, 230, 80}},
    {Kind::Blend, 256, 384, 128, {163, 218, 96}},
    {Kind::Blend, 256, 384, 255, {227, 187, 132}},
    {Kind::Additive, 256, 384, 0, {100, 250, 60}},
    {Kind::Additive, 256, 384, 77, {207, 254, 158}},
    {Kind::Additive, 256, 384, 128, {227, 254, 159}},
    {Kind::Additive, 256, 384, 255, {254, 254, 162}},
    {Kind::Fill, 256, 384, 0, {227, 187, 132}},
    {Kind::Add, 256, 384, 0, {254, 254, 162}},
    {Kind::Blend, 256, 0, 0, {100, 250, 60}},
    {Kind::Blend, 256, 0, 77, {69, 174, 41}},
    {Kind::Blend, 256, 0, 128, {50, 125, 30}},
    {Kind::Blend, 256, 0, 255, {0, 0, 0}},
    {Kind::Additive, 256, 0, 0, {100, 250, 60}},
    {Kind::Additive, 256, 0, 77, {0, 0, 0}},
    {Kind::Additive, 256, 0, 128, {0, 0, 0}},
    {Kind::Additive, 256, 0, 255, {0, 0, 0}},
    {Kind::Fill, 256, 0, 0, {0, 0, 0}},
    {Kind::Add, 256, 0, 0, {0, 0, 0}},
    {Kind::Blend, 256, 512, 0, {100, 250, 60}},
    {Kind::Blend, 256, 512, 77, {145, 250, 117}},
    {Kind::Blend, 256, 512, 128, {177, 252, 157}},
    {Kind::Blend, 256, 512, 255, {255, 255, 255}},
    {Kind::Additive, 256, 512, 0, {100, 250, 60}},
    {Kind::Additive, 256, 512, 77, {255, 255, 255}},
    {Kind::Additive, 256, 512, 128, {255, 255, 255}},
    {Kind::Additive, 256, 512, 255, {255, 255, 255}},
    {Kind::Fill, 256, 512, 0, {255, 255, 255}},
    {Kind::Add, 256, 512, 0, {255, 255, 255}},
    {Kind::Blend, 128, 384, 0, {100, 250, 60}},
    {Kind::Blend, 128, 384, 77, {184, 241, 153}},
    {Kind::Blend, 128, 384, 128, {189, 235, 150}},
    {Kind::Blend, 128, 384, 255, {202, 219, 144}},
    {Kind::Additive, 128, 384, 0, {100, 250, 60}},
    {Kind::Additive, 128, 384, 77, {191, 254, 157}},
    {Kind::Additive, 128, 384, 128, {202, 254, 158}},
    {Kind::Additive, 128, 384, 255, {227, 254, 159}},
    {Kind::Fill, 128, 384, 0, {202, 219, 144}},
    {Kind::Add, 128, 384, 0, {227, 254, 159}},
    {Kind::Blend, 0, 512, 0, {100, 250, 60}},
    {Kind::Blend, 0, 512, 77, {255, 255, 255}},
    {Kind::Blend, 0, 512, 128, {255, 255, 255}},
    {Kind::Blend, 0, 512, 255, {255, 255, 255}},
    {Kind::Additive, 0, 512, 0, {100, 250, 60}},
    {Kind::Additive, 0, 512, 77, {255, 255, 255}},
    {Kind::Additive, 0, 512, 128, {255, 255, 255}},
    {Kind::Additive, 0, 512, 255, {255, 255, 255}},
    {Kind::Fill, 0, 512, 0, {255, 255, 255}},
    {Kind::Add, 0, 512, 0, {255, 255, 255}},
    {Kind::Blend, 200, 100, 0, {100, 250, 60}},
    {Kind::Blend, 200, 100, 77, {47, 85, 18}},
    {Kind::Blend, 200, 100, 128, {53, 77, 15}},
    {Kind::Blend, 200, 100, 255, {69, 57, 7}},
    {Kind::Additive, 200, 100, 0, {100, 250, 60}},
    {Kind::Additive, 200, 100, 77, {57, 99, 24}},
    {Kind::Additive, 200, 100, 128, {69, 99, 24}},
    {Kind::Additive, 200, 100, 255, {99, 99, 26}},
    {Kind::Fill, 200, 100, 0, {69, 57, 7}},
    {Kind::Add, 200, 100, 0, {99, 99, 26}},
};

TEST(Blit, GoldenValuesOfEveryFamilyAndVariant) {
  for (const Golden& g : kGolden) {
    Surface s;
    s.resize(3, 1);
    for (int x = 0; x < 3; ++x) s.pixels[x * 3] = 100, s.pixels[x * 3 + 1] = 250, s.pixels[x * 3 + 2] = 60;
    Picture p;
    p.width = 1, p.height = 1;
    p.pixels = {200, 120, 10, uint8_t(g.alpha)};
    const ColourWord colour = 0x000A78C8;  // red 10, green 120, blue 200
    if (g.kind == Kind::Blend || g.kind == Kind::Additive)
      pictureBlit(p, {0, 0, 1, 1}, s, 1, 0, g.opacity, g.brightness, g.kind == Kind::Blend ? Mix::Blend : Mix::Add);
    else
      colourRect(colour, {5, 5, 6, 6}, s, 1, 0, g.opacity, g.brightness, g.kind == Kind::Fill ? Mix::Blend : Mix::Add);
    SCOPED_TRACE(testing::Message() << "kind " << int(g.kind) << " opacity " << g.opacity << " brightness "
                                    << g.brightness << " alpha " << g.alpha);
    EXPECT_EQ(s.pixels[3], g.out[0]);
    EXPECT_EQ(s.pixels[4], g.out[1]);
    EXPECT_EQ(s.pixels[5], g.out[2]);
    // Neighbours untouched.
    EXPECT_EQ(s.pixels[0], 100);
    EXPECT_EQ(s.pixels[8], 60);
  }
}

TEST(Blit, ToneEdges) {
  // Brightness 384: k 128, w 127, so T(0) = 127 and T(255) = 254.
  Surface s;
  s.resize(2, 1);
  Picture p;
  p.width = 2, p.height = 1;
  p.pixels = {0, 255, 0, 255, 255, 0, 255, 255};
  pictureBlit(p, {0, 0, 2, 1}, s, 0, 0, 256, 384, Mix::Blend);
  EXPECT_EQ((std::vector<uint8_t>{127, 254, 127, 254, 127, 254}), s.pixels);
}

TEST(Blit, WholeStraightLoopsMatchTheReference) {
  Rng rng{12345};
  const Picture pic = randomPicture(rng, 29, 17);
  const Surface base = randomSurface(rng, 37, 23);
  struct Place {
    Rect src;
    int x, y;
  };
  // Inside; hanging off the left and bottom; off the right and top; source partly outside the
  // picture (the call trims it, the reference is given the trimmed rectangle and position).
  const Place places[] = {{{3, 2, 26, 15}, 5, 4}, {{0, 0, 29, 17}, -6, 12}, {{1, 1, 28, 16}, 20, -5}};
  for (Kind kind : {Kind::Blend, Kind::Additive, Kind::Fill, Kind::Add})
    for (auto [opacity, brightness] : kSettings)
      for (const Place& pl : places) {
        Surface got = base, want = base;
        const bool isPicture = kind == Kind::Blend || kind == Kind::Additive;
        const Mix mix = kind == Kind::Blend || kind == Kind::Fill ? Mix::Blend : Mix::Add;
        const ColourWord colour = 0x00C0501F;
        if (isPicture) {
          pictureBlit(pic, pl.src, got, pl.x, pl.y, opacity, brightness, mix);
          ref::straight(kind, &pic, pl.src, want, pl.x, pl.y, opacity, brightness, 0);
        } else {
          colourRect(colour, pl.src, got, pl.x, pl.y, opacity, brightness, mix);
          ref::straight(kind, nullptr, pl.src, want, pl.x, pl.y, opacity, brightness, colour);
        }
        SCOPED_TRACE(testing::Message() << "kind " << int(kind) << " opacity " << opacity
                                        << " brightness " << brightness << " at " << pl.x << "," << pl.y);
        expectSame(got, want, "straight");
      }
}

TEST(Blit, SourceOutsideThePictureIsTrimmed) {
  Rng rng{7};
  const Picture pic = randomPicture(rng, 8, 6);
  const Surface base = randomSurface(rng, 20, 20);
  Surface got = base, want = base;
  // Rectangle (-3, -2)..(12, 9) at (4, 5): only picture pixels (0..7, 0..5) exist; they land at
  // (7, 7).
  pictureBlit(pic, {-3, -2, 12, 9}, got, 4, 5, 256, 256, Mix::Blend);
  ref::straight(Kind::Blend, &pic, {0, 0, 8, 6}, want, 7, 7, 256, 256, 0);
  expectSame(got, want, "trimmed");
}

TEST(Blit, OtherModesAndEmptyRectanglesDrawNothing) {
  Rng rng{99};
  const Picture pic = randomPicture(rng, 8, 8);
  const Surface base = randomSurface(rng, 16, 16);
  Surface s = base;
  pictureBlit(pic, {0, 0, 8, 8}, s, 0, 0, 256, 256, static_cast<Mix>(2));
  colourRect(0xFFFFFF, {0, 0, 8, 8}, s, 0, 0, 256, 256, static_cast<Mix>(-1));
  pictureBlit(pic, {4, 4, 4, 8}, s, 0, 0, 256, 256, Mix::Blend);   // width 0
  pictureBlit(pic, {4, 4, 2, 8}, s, 0, 0, 256, 256, Mix::Blend);   // inverted
  colourRect(0xFFFFFF, {0, 5, 8, 3}, s, 0, 0, 256, 256, Mix::Blend);  // height below 1
  pictureBlit(pic, {0, 0, 8, 8}, s, 16, 0, 256, 256, Mix::Blend);  // off the right edge
  Picture empty;
  pictureBlit(empty, {0, 0, 8, 8}, s, 0, 0, 256, 256, Mix::Blend);
  EXPECT_EQ(hashBytes(s.pixels), hashBytes(base.pixels));
}

TEST(Blit, AlphaZeroNeverChangesTheDestination) {
  Rng rng{5};
  Picture pic = randomPicture(rng, 9, 9);
  for (size_t i = 3; i < pic.pixels.size(); i += 4) pic.pixels[i] = 0;
  const Surface base = randomSurface(rng, 9, 9);
  for (Mix mix : {Mix::Blend, Mix::Add})
    for (auto [opacity, brightness] : kSettings) {
      Surface s = base;
      pictureBlit(pic, {0, 0, 9, 9}, s, 0, 0, opacity, brightness, mix);
      BlitTransform t;
      t.width = t.height = 9;
      t.x1 = t.y1 = 9;
      t.dudx = t.dvdy = 1000;
      t.dvdx = 30;
      pictureBlitTransformed(pic, {0, 0, 9, 9}, s, t, opacity, brightness, mix);
      EXPECT_EQ(s.pixels, base.pixels);
    }
}

BlitTransform identity(int x, int y, int w, int h) {
  BlitTransform t;
  t.x0 = x, t.y0 = y, t.x1 = x + w, t.y1 = y + h;
  t.width = w, t.height = h;
  t.dudx = t.dvdy = 1024;
  return t;
}

TEST(Blit, TransformedAtNaturalSizeEqualsStraight) {
  Rng rng{2024};
  const Picture pic = randomPicture(rng, 21, 13);
  const Surface base = randomSurface(rng, 30, 20);
  const Rect src{2, 1, 19, 12};
  for (Kind kind : {Kind::Blend, Kind::Additive, Kind::Fill})
    for (auto [opacity, brightness] : kSettings) {
      Surface a = base, b = base;
      const Mix mix = kind == Kind::Additive ? Mix::Add : Mix::Blend;
      if (kind == Kind::Fill) {
        colourRect(0x123456, src, a, 4, 3, opacity, brightness, Mix::Blend);
        colourRectTransformed(0x123456, src, b, identity(4, 3, src.width(), src.height()), opacity, brightness);
      } else {
        pictureBlit(pic, src, a, 4, 3, opacity, brightness, mix);
        pictureBlitTransformed(pic, src, b, identity(4, 3, src.width(), src.height()), opacity, brightness, mix);
      }
      expectSame(b, a, "transformed vs straight");
    }
}

TEST(Blit, WholeTransformedLoopsMatchTheReference) {
  Rng rng{31337};
  const Picture pic = randomPicture(rng, 23, 19);
  const Surface base = randomSurface(rng, 40, 32);
  for (int trial = 0; trial < 40; ++trial) {
    BlitTransform t;
    t.dudx = rng.range(-1500, 1500), t.dvdx = rng.range(-1500, 1500);
    t.dudy = rng.range(-1500, 1500), t.dvdy = rng.range(-1500, 1500);
    t.startU = rng.range(-20000, 30000), t.startV = rng.range(-20000, 30000);
    t.skipX = rng.range(0, 5), t.skipY = rng.range(0, 5);
    t.x0 = rng.range(-8, 30), t.y0 = rng.range(-8, 25);  // may hang off the surface: trimmed
    t.width = rng.range(0, 30), t.height = rng.range(0, 30);
    t.x1 = t.x0 + t.width, t.y1 = t.y0 + t.height;
    const Rect src{rng.range(0, 5), rng.range(0, 5), rng.range(10, 23), rng.range(10, 19)};
    for (Kind kind : {Kind::Blend, Kind::Additive, Kind::Fill})
      for (auto [opacity, brightness] : kSettings) {
        Surface got = base, want = base;
        if (kind == Kind::Fill) {
          colourRectTransformed(0x00A1B2C3, src, got, t, opacity, brightness);
          ref::transformed(kind, nullptr, {0, 0, src.width(), src.height()}, want, t, opacity, brightness, 0x00A1B2C3);
        } else {
          pictureBlitTransformed(pic, src, got, t, opacity, brightness, kind == Kind::Blend ? Mix::Blend : Mix::Add);
          ref::transformed(kind, &pic, src, want, t, opacity, brightness, 0);
        }
        SCOPED_TRACE(testing::Message() << "trial " << trial << " kind " << int(kind) << " opacity " << opacity
                                        << " brightness " << brightness);
        expectSame(got, want, "transformed");
      }
  }
}

TEST(Blit, TransformedBoxOutsideTheSourceWritesNothing) {
  Rng rng{77};
  const Picture pic = randomPicture(rng, 10, 10);
  const Surface base = randomSurface(rng, 20, 20);
  Surface s = base;
  BlitTransform t = identity(0, 0, 20, 20);
  t.startU = 50 * 1024;  // every sample lies right of the source
  pictureBlitTransformed(pic, {0, 0, 10, 10}, s, t, 256, 256, Mix::Blend);
  colourRectTransformed(0xFFFFFF, {0, 0, 10, 10}, s, t, 256, 256);
  EXPECT_EQ(s.pixels, base.pixels);
}

TEST(Blit, SimdKernelsGiveTheScalarBytes) {
  Rng rng{4242};
  const Picture pic = randomPicture(rng, 71, 5);
  const Surface base = randomSurface(rng, 71, 5);
  for (int f = 0; f < blit::kFamilies; ++f)
    for (auto [opacity, brightness] : kSettings) {
      const auto family = static_cast<blit::Family>(f);
      const auto variant = blit::variantOf(opacity, brightness);
      for (int width : {0, 1, 3, 7, 8, 15, 16, 17, 31, 32, 33, 47, 48, 63, 64, 65, 71}) {
        Surface a = base, b = base;
        blit::StraightJob job;
        job.dstPitch = 71 * 3;
        job.src = pic.pixels.data();
        job.srcPitch = 71 * 4;
        job.width = width;
        job.height = 5;
        job.opacity = uint32_t(opacity);
        job.tone = blit::toneOf(brightness);
        job.colour[0] = 0x35, job.colour[1] = 0xC4, job.colour[2] = 0x9A;
        job.dst = a.pixels.data();
        blit::scalarStraight(family, variant)(job);
        job.dst = b.pixels.data();
        blit::straightKernel(family, variant)(job);
        SCOPED_TRACE(testing::Message() << "family " << f << " opacity " << opacity << " brightness "
                                        << brightness << " width " << width);
        expectSame(b, a, "simd");
      }
    }
}

TEST(Blit, BuildWithoutSimdKernelsUsesTheScalarLoops) {
  // SOREL_SIMD=OFF, or a processor other than x86-64: no SIMD kernel may be chosen.
  if (SOREL_SIMD_KERNELS) GTEST_SKIP() << "this build has the SIMD kernels";
  for (int f = 0; f < blit::kFamilies; ++f)
    for (int v = 0; v < blit::kVariants; ++v) {
      const auto family = static_cast<blit::Family>(f);
      const auto variant = static_cast<blit::Variant>(v);
      EXPECT_EQ(blit::simdStraight(family, variant), nullptr);
      EXPECT_EQ(blit::straightKernel(family, variant), blit::scalarStraight(family, variant));
    }
}

TEST(Blit, FillRectPacksRgb565AndWritesBgr) {
  std::vector<uint8_t> px16(4 * 3 * 2, 0xAA);
  fillRect(px16, 4, 3, {1, 1, 3, 2}, 0x00FF0000, 2);
  uint16_t v;
  std::memcpy(&v, px16.data() + (1 * 4 + 1) * 2, 2);
  EXPECT_EQ(v, 0xF800);
  std::memcpy(&v, px16.data() + (1 * 4 + 0) * 2, 2);
  EXPECT_EQ(v, 0xAAAA);  // outside the rectangle
  fillRect(px16, 4, 3, {-5, -5, 50, 50}, 0x00FFFFFF, 2);  // trimmed to the buffer
  for (size_t i = 0; i < px16.size(); i += 2) {
    std::memcpy(&v, px16.data() + i, 2);
    EXPECT_EQ(v, 0xFFFF);
  }
  EXPECT_EQ(rgb565(0x0000FF00), 0x07E0);
  EXPECT_EQ(rgb565(0x000000FF), 0x001F);

  Surface s;
  s.resize(4, 3);
  fillRect(s, {2, 1, 4, 3}, 0x00123456);
  EXPECT_EQ(s.pixels[(1 * 4 + 2) * 3 + 0], 0x56);
  EXPECT_EQ(s.pixels[(1 * 4 + 2) * 3 + 1], 0x34);
  EXPECT_EQ(s.pixels[(2 * 4 + 3) * 3 + 2], 0x12);
  EXPECT_EQ(s.pixels[(1 * 4 + 1) * 3 + 0], 0);
  std::vector<uint8_t> tooSmall(5);
  fillRect(tooSmall, 4, 3, {0, 0, 4, 3}, 0xFFFFFF, 3);  // buffer shorter than pitch × height
  EXPECT_EQ(tooSmall, std::vector<uint8_t>(5, 0));
}

TEST(Blit, PictureFromSurfaceAndBlankPicture) {
  const int oldW = screenWidth, oldH = screenHeight;
  screenWidth = 320, screenHeight = 240;
  Surface s;
  s.resize(320, 240);
  s.pixels[0] = 1, s.pixels[1] = 2, s.pixels[2] = 3;
  Picture p;
  p.flags = 0x80000000u;
  pictureFromSurface(p, s);
  EXPECT_EQ(p.width, 320u);
  EXPECT_EQ(p.height, 240u);
  EXPECT_EQ(p.flags, 0u);
  EXPECT_EQ(p.designWidth, 640);
  EXPECT_EQ((std::vector<uint8_t>(p.pixels.begin(), p.pixels.begin() + 8)), (std::vector<uint8_t>{1, 2, 3, 255, 0, 0, 0, 255}));

  EXPECT_TRUE(blankPicture(p, 160, 120));
  EXPECT_EQ(p.pixels.size(), 160u * 120 * 4);
  EXPECT_EQ(p.flags, 0x80000000u);
  EXPECT_EQ(p.designWidth, 320);
  EXPECT_EQ(p.designHeight, 240);
  EXPECT_FALSE(blankPicture(p, 0, 10));
  EXPECT_TRUE(p.empty());
  EXPECT_FALSE(blankPicture(p, 100000, 100000));
  screenWidth = oldW, screenHeight = oldH;
}

}  // namespace
}  // namespace sorel
