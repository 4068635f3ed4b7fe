// The sprite effects. Every effect is phase-based or continuous in the elapsed time t: a tile
// layout is a pure function of t (the random dissolve adds the cells chosen so far), so a step
// recomputes every tile and marks on the screen what changed.
#include "engine/graphics/sprite_effect.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <limits>

namespace sorel {
namespace {

enum class Kind { Hold, Fade, ToneFade, Strips, Staggered, Slide, Interlaced, Dissolve, Raster, Hidden };

Kind kindOf(int type) {
  const int base = type & 127;
  switch (base) {
    case 1:
    case 60:
      return Kind::Fade;
    case 63:
      return Kind::ToneFade;
    case 5: case 6: case 9: case 10: case 11: case 12: case 13: case 14:
    case 24: case 25: case 26: case 27:
      return Kind::Strips;
    case 16: case 17: case 18: case 19: case 20: case 21: case 22: case 23:
      return Kind::Staggered;
    case 32: case 33: case 34: case 35:
      return Kind::Slide;
    case 40:
    case 41:
      return Kind::Interlaced;
    case 48:
    case 49:
      return Kind::Raster;
    case 50:
      return Kind::Dissolve;
    case 51:
      return Kind::Hidden;
    default:
      return Kind::Hold;
  }
}

// How the strips of a wipe are laid: along which axis, in which order, and from which edge of
// its strip a tile's visible part grows (an out tile shows what the in tile would not).
struct StripSpec {
  bool columns;      ///< vertical strips (cut across x)
  bool backward;     ///< bottom to top, or right to left
  bool fromEnd;      ///< the in tile's part is anchored at the strip's bottom or right edge
};

StripSpec stripSpec(int base) {
  switch (base) {
    case 5: case 24: return {false, false, false};
    case 9: case 25: return {false, true, true};
    case 6: case 26: return {true, false, false};
    case 10: case 27: return {true, true, true};
    case 11: return {false, false, true};
    case 12: return {false, true, false};
    case 13: return {true, false, true};
    default: return {true, true, false};  // 14
  }
}

int64_t ceilDiv(int64_t a, int64_t b) { return a <= 0 ? 0 : (a + b - 1) / b; }

int32_t clamp32(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min() / 2,
                                                  std::numeric_limits<int32_t>::max() / 2));
}

// The sprite's place and source.
struct Geometry {
  int64_t baseX = 0, baseY = 0;  ///< screen position of the source rectangle's top-left
  Rect src;
  int64_t w = 0, h = 0;
};

Geometry geometryOf(const EffectSprite& sprite) {
  Geometry g;
  g.baseX = sprite.positionX / 1000 - sprite.anchorX;
  g.baseY = sprite.positionY / 1000 - sprite.anchorY;
  g.src = sprite.item.source();
  g.w = std::max<int64_t>(0, g.src.width());
  g.h = std::max<int64_t>(0, g.src.height());
  return g;
}

// Shows src of the sprite's picture at (x, y). The pivot is moved so that it stays at the
// sprite's own pivot on the screen: tiles of a turned or scaled sprite turn and scale as one.
void place(DrawItem& tile, const EffectSprite& sprite, const Geometry& g, const Rect& src, int64_t x, int64_t y) {
  tile.setSource(src);
  tile.x = clamp32(x);
  tile.y = clamp32(y);
  tile.pivotX = clamp32(sprite.item.pivotX + g.baseX - x);
  tile.pivotY = clamp32(sprite.item.pivotY + g.baseY - y);
}

// Shows src where its pixels lie in the whole sprite.
void placeInPlace(DrawItem& tile, const EffectSprite& sprite, const Geometry& g, const Rect& src) {
  place(tile, sprite, g, src, g.baseX + (src.left - g.src.left), g.baseY + (src.top - g.src.top));
}

int64_t clampI(int64_t v, int64_t lo, int64_t hi) { return std::clamp(v, lo, hi); }

// Sine of whole degrees × 1024, truncated, as the transforms compute it.
int32_t sine1024(int degrees) {
  static const std::array<int32_t, 360> table = [] {
    std::array<int32_t, 360> t{};
    for (int a = 0; a < 360; ++a) t[size_t(a)] = rotationTerms(a).s2;
    return t;
  }();
  return table[size_t(((degrees % 360) + 360) % 360)];
}

bool lookDiffers(const DrawItem& a, const DrawItem& b) {
  return a.source() != b.source() || a.x != b.x || a.y != b.y || a.opacity != b.opacity ||
         a.brightness != b.brightness || a.mode != b.mode || a.hideWhenClear != b.hideWhenClear;
}

Rect tileBounds(const DrawItem& t) {
  if (t.source().empty()) return {};
  return itemBounds(t);
}

void grow(Rect& acc, const Rect& r) {
  if (r.empty()) return;
  acc = acc.empty() ? r : unite(acc, r);
}

void markDirty(EffectContext& context, const Rect& r) {
  if (context.dirty && !r.empty()) addDirtyRect(*context.dirty, r, true);
}

int randomCell(EffectContext& context) {
  const int r = context.random ? context.random() : std::rand();
  return static_cast<int>(static_cast<unsigned>(r) % 64u);
}

// ---- layouts: the tiles at elapsed time t (t < D) ----

void layoutFade(EffectState& e, uint32_t t, bool final) {
  DrawItem& tile = e.tiles[0];
  const int64_t f = final ? 256 : (int64_t(t) * 256) / e.durationMs;
  const bool out = e.reverse;
  if ((e.type & 127) == 1) {
    tile.opacity = clamp32(out ? 256 - f : f);
  } else {  // 60, 188: clamped, and hidden when clear as the script asks
    tile.opacity = clamp32(clampI(out ? 256 - f : f, 0, 256));
    tile.hideWhenClear = e.p5;
  }
}

void layoutToneFade(EffectState& e, uint32_t t, bool final) {
  DrawItem& tile = e.tiles[0];
  const bool white = e.p5 != 0;
  if (final) {
    tile.brightness = !e.reverse ? 256 : white ? 512 : 0;
    return;
  }
  const int64_t f = (int64_t(t) * 256) / e.durationMs;
  if (!e.reverse)
    tile.brightness = clamp32(white ? std::max<int64_t>(256, 512 - f) : std::min<int64_t>(256, f));
  else
    tile.brightness = clamp32(white ? std::min<int64_t>(512, 256 + f) : std::max<int64_t>(0, 256 - f));
}

void layoutStrips(EffectState& e, const EffectSprite& sprite, const Geometry& g, int64_t phase) {
  const StripSpec spec = stripSpec(e.type & 127);
  const int64_t count = int64_t(e.tiles.size());
  const int64_t S = e.stripSize;
  const int64_t origin = spec.columns ? g.src.left : g.src.top;
  const int64_t end = spec.columns ? g.src.right : g.src.bottom;
  for (int64_t k = 0; k < count; ++k) {
    const int64_t start = spec.backward ? (count - k - 1) / e.stagger : k / e.stagger;
    const int64_t r = clampI((phase - start) * e.step, 0, S);
    const int64_t a0 = origin + k * S;
    int64_t lo, hi;  // the part shown, before the clip to the strip
    if (!e.reverse) {
      lo = spec.fromEnd ? a0 + S - r : a0;
      hi = spec.fromEnd ? a0 + S : a0 + r;
    } else {
      lo = spec.fromEnd ? a0 : a0 + r;
      hi = spec.fromEnd ? a0 + S - r : a0 + S;
    }
    // The last strip of a size that is not a multiple of S ends at the source's edge.
    lo = std::clamp(lo, a0, std::min(a0 + S, end));
    hi = std::clamp(hi, lo, std::min(a0 + S, end));
    Rect src = g.src;
    if (spec.columns)
      src.left = clamp32(lo), src.right = clamp32(hi);
    else
      src.top = clamp32(lo), src.bottom = clamp32(hi);
    placeInPlace(e.tiles[size_t(k)], sprite, g, src);
  }
}

void layoutStaggered(EffectState& e, int64_t phase) {
  const int base = e.type & 127;
  const int64_t cols = e.columns, rows = e.rows;
  for (int64_t i = 0; i < rows; ++i)
    for (int64_t j = 0; j < cols; ++j) {
      int64_t start = 0;
      switch (base) {
        case 16: case 18: start = base == 16 ? j : i; break;
        case 17: start = cols - 1 - j; break;
        case 19: start = rows - 1 - i; break;
        case 20: start = i + j; break;
        case 21: start = (cols - 1 - j) + (rows - 1 - i); break;
        case 22: start = j + (rows - 1 - i); break;
        default: start = (cols - 1 - j) + i; break;  // 23
      }
      const int64_t level = clampI((phase - start) * e.p5, 0, 256);
      e.tiles[size_t(i * cols + j)].opacity = clamp32(e.reverse ? 256 - level : level);
    }
}

void layoutSlide(EffectState& e, const EffectSprite& sprite, const Geometry& g, uint32_t t) {
  const int base = e.type & 127;
  const bool across = base == 32 || base == 33;
  const int64_t size = across ? g.w : g.h;
  const int64_t m = (int64_t(t) * size) / e.durationMs;
  int64_t x = g.baseX, y = g.baseY;
  if (!e.reverse) {
    switch (base) {
      case 32: x = g.baseX - g.w + m; break;  // from the left
      case 33: x = g.baseX + g.w - m; break;  // from the right
      case 34: y = g.baseY - g.h + m; break;  // from above
      default: y = g.baseY + g.h - m; break;  // from below
    }
  } else {
    switch (base) {
      case 32: x = g.baseX + m; break;  // 160: to the right
      case 33: x = g.baseX - m; break;  // 161: to the left
      case 34: y = g.baseY + m; break;  // 162: downward
      default: y = g.baseY - m; break;  // 163: upward
    }
  }
  place(e.tiles[0], sprite, g, g.src, x, y);
}

void layoutInterlaced(EffectState& e, const EffectSprite& sprite, const Geometry& g, uint32_t t) {
  const bool rowsCut = (e.type & 127) == 40;  // horizontal strips, revealed along x
  const int64_t len = rowsCut ? g.w : g.h;
  const int64_t m = (int64_t(t) * len) / e.durationMs;
  const int64_t S = e.stripSize;
  const int64_t count = rowsCut ? g.h / S : g.w / S;
  for (int64_t k = 0; k < int64_t(e.tiles.size()); ++k) {
    DrawItem& tile = e.tiles[size_t(k)];
    if (k >= count) {  // no whole strip: nothing shown
      place(tile, sprite, g, Rect{g.src.left, g.src.top, g.src.left, g.src.top}, 0, 0);
      continue;
    }
    const bool even = k % 2 == 0;
    // Along the revealing axis: [lo, lo + n) of the strip, drawn at `at`; tiles lie in absolute
    // screen coordinates from (0, 0).
    int64_t lo, n, at;
    if (!e.reverse) {
      n = m;
      lo = even ? 0 : len - m;
      at = lo;
    } else {
      n = len - m;
      lo = even ? 0 : m;
      at = lo;
    }
    Rect src;
    if (rowsCut) {
      src = {clamp32(g.src.left + lo), clamp32(g.src.top + k * S), clamp32(g.src.left + lo + n),
             clamp32(g.src.top + (k + 1) * S)};
      place(tile, sprite, g, src, at, k * S);
    } else {
      src = {clamp32(g.src.left + k * S), clamp32(g.src.top + lo), clamp32(g.src.left + (k + 1) * S),
             clamp32(g.src.top + lo + n)};
      place(tile, sprite, g, src, k * S, at);
    }
  }
}

void layoutDissolve(EffectState& e, const EffectSprite& sprite, const Geometry& g, EffectContext& context,
                    uint32_t t) {
  const int target = static_cast<int>(std::min<int64_t>(64, (int64_t(t) * 64) / e.durationMs));
  while (e.cellCount < target) {
    int k = randomCell(context);
    // A cell already chosen is drawn again; after 64 misses (a poor random source) the next
    // free cell is taken, so the step always ends.
    for (int tries = 0; (e.cells >> k) & 1; ++tries) k = tries < 64 ? randomCell(context) : (k + 1) % 64;
    e.cells |= uint64_t(1) << k;
    ++e.cellCount;
  }
  const int64_t cw = context.screenWidth / 8, ch = context.screenHeight / 8;
  for (int k = 0; k < 64; ++k) {
    const int64_t x = cw * (k % 8), y = ch * (k / 8);
    const bool chosen = (e.cells >> k) & 1;
    const bool shown = e.reverse ? !chosen : chosen;
    Rect src{clamp32(g.src.left + x), clamp32(g.src.top + y), clamp32(g.src.left + x + cw),
             clamp32(g.src.top + y + ch)};
    if (!shown) src.right = src.left, src.bottom = src.top;
    place(e.tiles[size_t(k)], sprite, g, src, x, y);
  }
}

void layoutRaster(EffectState& e, const EffectSprite& sprite, const Geometry& g, EffectContext& context,
                  int64_t phase) {
  const int base = e.type & 127;
  const int64_t n = std::max<int64_t>(1, e.phases);
  const int64_t amplitude = (e.reverse ? phase : n - phase) / e.p4;
  const int degreesPerRow = std::max(1, 12 * 480 / std::max(1, context.screenHeight));
  int32_t opacity = sprite.item.opacity;
  if (base == 49 && !e.reverse) opacity = clamp32(int64_t(sprite.item.opacity) * phase / n);
  if (base == 49 && e.reverse) opacity = clamp32(int64_t(sprite.item.opacity) * (n - phase) / n);
  for (int64_t i = 0; i < int64_t(e.tiles.size()); ++i) {
    const int degrees = static_cast<int>((i * degreesPerRow + phase * 6) % 360);
    const int64_t offset = (amplitude * sine1024(degrees)) >> 10;
    const Rect src{g.src.left, clamp32(g.src.top + i), g.src.right, clamp32(g.src.top + i + 1)};
    DrawItem& tile = e.tiles[size_t(i)];
    place(tile, sprite, g, src, g.baseX + offset, g.baseY + i);
    tile.opacity = opacity;
  }
}

// Lays every tile out for time t; `final` when the time is up (only fades move then).
void layout(EffectState& e, const EffectSprite& sprite, EffectContext& context, uint32_t t, bool final) {
  const Geometry g = geometryOf(sprite);
  const Kind kind = kindOf(e.type);
  if (final) {
    if (kind == Kind::Fade) layoutFade(e, t, true);
    if (kind == Kind::ToneFade) layoutToneFade(e, t, true);
    return;
  }
  const int64_t phase = (int64_t(t) * e.phases) / e.durationMs;
  switch (kind) {
    case Kind::Fade: layoutFade(e, t, false); break;
    case Kind::ToneFade: layoutToneFade(e, t, false); break;
    case Kind::Strips: layoutStrips(e, sprite, g, phase); break;
    case Kind::Staggered: layoutStaggered(e, phase); break;
    case Kind::Slide: layoutSlide(e, sprite, g, t); break;
    case Kind::Interlaced: layoutInterlaced(e, sprite, g, t); break;
    case Kind::Dissolve: layoutDissolve(e, sprite, g, context, t); break;
    case Kind::Raster: layoutRaster(e, sprite, g, context, phase); break;
    case Kind::Hidden:
    case Kind::Hold: break;
  }
}

// Sets S, G, R, N, the grid and the tiles (copies of the sprite's item in their resting place).
void build(EffectState& e, const EffectSprite& sprite, const EffectContext& context) {
  const Geometry g = geometryOf(sprite);
  const int base = e.type & 127;
  const int W = context.screenWidth, H = context.screenHeight;
  int64_t tiles = 1;
  e.stripSize = 0, e.stagger = 1, e.step = 1, e.phases = 256, e.columns = 1, e.rows = 1;
  switch (kindOf(e.type)) {
    case Kind::Strips: {
      const StripSpec spec = stripSpec(base);
      int64_t S = 8, G = 2, R = 1;
      if (base >= 11 && base <= 14) {
        // Bands: sizes in design units, scaled to the screen.
        S = spec.columns ? (int64_t(W) * e.p3) / 640 : (int64_t(H) * e.p3) / 480;
        R = (spec.columns ? (int64_t(W) * e.p5) / 640 : (int64_t(H) * e.p5) / 480) + 1;
        G = e.p4;
      } else if (base >= 24) {
        G = 1;
      }
      // A band size, stagger or step below 1 would divide by zero or never reveal anything.
      S = std::max<int64_t>(1, S), G = std::max<int64_t>(1, G), R = std::max<int64_t>(1, R);
      const int64_t count = ceilDiv(spec.columns ? g.w : g.h, S);
      int64_t n;
      if (base >= 11 && base <= 14)
        n = (count - 1) / G + S / R;
      else if (base >= 24)
        n = count + 7;
      else
        n = (count - 1) / 2 + 8;
      e.stripSize = int(S), e.stagger = int(G), e.step = int(R), e.phases = int(std::max<int64_t>(1, n));
      (spec.columns ? e.columns : e.rows) = int(std::max<int64_t>(1, count));
      tiles = std::max<int64_t>(1, count);
      break;
    }
    case Kind::Staggered: {
      const int64_t S = std::max<int64_t>(1, (int64_t(W) * e.p3) / 640);
      const int64_t level = std::max(1, e.p5);
      e.p5 = int(level);
      const bool strips = base <= 19, vertical = base <= 17;
      const int64_t cols = strips && !vertical ? 1 : std::max<int64_t>(1, ceilDiv(g.w, S));
      const int64_t rows = strips && vertical ? 1 : std::max<int64_t>(1, ceilDiv(g.h, S));
      const int64_t starts = strips ? (vertical ? cols : rows) : cols + rows - 1;
      e.stripSize = int(S), e.columns = int(cols), e.rows = int(rows);
      e.phases = int(std::max<int64_t>(1, starts + 256 / level - 1));
      tiles = cols * rows;
      break;
    }
    case Kind::Interlaced: {
      const int64_t S = std::max(1, e.p3);  // not scaled
      e.stripSize = int(S);
      const int64_t count = (base == 40 ? g.h : g.w) / S;
      (base == 40 ? e.rows : e.columns) = int(std::max<int64_t>(1, count));
      tiles = std::max<int64_t>(1, count);
      break;
    }
    case Kind::Dissolve:
      e.columns = e.rows = 8;
      tiles = 64;
      break;
    case Kind::Raster:
      e.p4 = std::max(1, e.p4);
      e.phases = int(std::max<int64_t>(1, (g.w / 2) * e.p4));
      e.rows = int(std::max<int64_t>(1, g.h));
      tiles = e.rows;
      break;
    default:
      break;
  }
  DrawItem proto = sprite.item;
  proto.next = nullptr;
  e.tiles.assign(size_t(tiles), proto);
  for (DrawItem& t : e.tiles) placeInPlace(t, sprite, g, g.src);
  for (size_t i = 0; i + 1 < e.tiles.size(); ++i) e.tiles[i].next = &e.tiles[i + 1];
  // Starting looks of the kinds whose tiles show the whole piece.
  const Kind kind = kindOf(e.type);
  if (kind == Kind::Staggered) {
    // Strips cut across x (16, 17), across y (18, 19) or both (cells, 20 to 23); the last strip
    // or cell along an axis ends at the source's edge.
    const bool cutX = base <= 17 || base >= 20, cutY = base >= 18;
    for (size_t k = 0; k < e.tiles.size(); ++k) {
      const int64_t j = int64_t(k) % e.columns, i = int64_t(k) / e.columns;
      Rect src = g.src;
      if (cutX) {
        src.left = clamp32(g.src.left + j * e.stripSize);
        src.right = clamp32(std::min<int64_t>(g.src.right, src.left + int64_t(e.stripSize)));
      }
      if (cutY) {
        src.top = clamp32(g.src.top + i * e.stripSize);
        src.bottom = clamp32(std::min<int64_t>(g.src.bottom, src.top + int64_t(e.stripSize)));
      }
      placeInPlace(e.tiles[k], sprite, g, src);
    }
  }
  if (kind == Kind::Hidden) e.tiles[0].mode = kHiddenTileMode;
}

// Recomputes the tiles and marks what changed: the union of every changed tile's old and new
// rectangle.
void relayout(EffectState& e, const EffectSprite& sprite, EffectContext& context, uint32_t t, bool final) {
  const std::vector<DrawItem> before = e.tiles;
  layout(e, sprite, context, t, final);
  Rect changed, area;
  for (size_t i = 0; i < e.tiles.size(); ++i) {
    const Rect now = tileBounds(e.tiles[i]);
    grow(area, now);
    if (lookDiffers(before[i], e.tiles[i])) {
      grow(changed, tileBounds(before[i]));
      grow(changed, now);
    }
  }
  e.area = area;
  markDirty(context, changed);
}

}  // namespace

int startEffect(EffectState& effect, const EffectSprite& sprite, EffectContext& context, int type,
                uint32_t durationMs, int p3, int p4, int p5) {
  if (type < kFirstEffectType || type > kLastEffectType) return 0;
  EffectState& e = effect;
  const Rect previous = e.active ? e.area : Rect{};
  e = EffectState{};
  e.active = true;
  e.type = type;
  e.durationMs = static_cast<uint16_t>(durationMs);
  e.start = context.now;
  e.p3 = p3, e.p4 = p4, e.p5 = p5;
  e.reverse = (type & kEffectOut) != 0;
  e.startX = sprite.positionX;
  e.startY = sprite.positionY;
  build(e, sprite, context);
  if (e.durationMs > 0) layout(e, sprite, context, 0, false);
  Rect area;
  for (const DrawItem& t : e.tiles) grow(area, tileBounds(t));
  grow(area, itemBounds(sprite.item));
  e.area = area;
  grow(area, previous);
  markDirty(context, area);
  return 1;
}

int stepEffect(EffectState& effect, const EffectSprite& sprite, EffectContext& context) {
  if (!effect.active) return 0;
  const uint32_t t = context.now - effect.start;
  if (t >= effect.durationMs) {
    relayout(effect, sprite, context, t, true);
    return 1;
  }
  relayout(effect, sprite, context, t, false);
  return 0;
}

EffectFinish finishEffect(EffectState& effect, const EffectSprite& sprite, EffectContext& context) {
  EffectFinish f;
  if (!effect.active) return f;
  f.result = effect.type >= 64 && effect.type <= 127 ? 2 : 1;
  f.removeSprite = effect.reverse;
  f.opacityTo256 = effect.type == 1;
  f.positionX = effect.startX;
  f.positionY = effect.startY;
  // The sprite's own item comes back at its starting place.
  DrawItem own = sprite.item;
  own.x = clamp32(effect.startX / 1000 - sprite.anchorX);
  own.y = clamp32(effect.startY / 1000 - sprite.anchorY);
  Rect area = effect.area;
  grow(area, own.source().empty() ? Rect{} : itemBounds(own));
  markDirty(context, area);
  effect = EffectState{};
  return f;
}

}  // namespace sorel
