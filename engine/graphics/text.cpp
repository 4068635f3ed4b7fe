#include "engine/graphics/text.h"

#include <algorithm>
#include <cstring>

#include "engine/resources/screen.h"
#include "engine/resources/sjis_text.h"
#include "platform/glyphs.h"

namespace sorel {
namespace {

constexpr int kWeights[5] = {0, 200, 400, 600, 900};
// "ＭＳ ゴシック" in CP932.
constexpr std::string_view kFallbackFace = "\x82\x6c\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4e";
constexpr int kStatusSide = 64;
constexpr size_t kCacheLimit = 1024;

// The mark characters in glyph order 0..5 (Shift-JIS, lead byte first): ￥ ＄ ＊ ＃ ； ’.
constexpr uint16_t kMarkCodes[6] = {0x818F, 0x8190, 0x8196, 0x8194, 0x8147, 0x8166};

/// Cell code (first byte low) to the rasteriser's form (lead byte high).
uint16_t leadHigh(uint16_t code) {
  return code > 0xFF ? static_cast<uint16_t>(((code & 0xFF) << 8) | (code >> 8)) : code;
}

/// Reads one character of a Shift-JIS text: its cell code and byte length (0 at the end).
uint16_t nextChar(std::string_view text, size_t i, size_t& len) {
  auto b = static_cast<uint8_t>(text[i]);
  if (isLeadByte(b) && i + 1 < text.size()) {
    len = 2;
    return static_cast<uint16_t>(b | (static_cast<uint8_t>(text[i + 1]) << 8));
  }
  len = 1;
  return b;
}

inline void shadeShadow(uint8_t* d, int a) {
  if (a == 255) {
    d[0] = d[1] = d[2] = 0;
  } else if (a) {
    d[0] = static_cast<uint8_t>((d[0] * (256 - a)) >> 8);
    d[1] = static_cast<uint8_t>((d[1] * (256 - a)) >> 8);
    d[2] = static_cast<uint8_t>((d[2] * (256 - a)) >> 8);
  }
}

inline void shadeGlyph(uint8_t* d, int a, const uint8_t q[3]) {
  if (a == 255) {
    d[0] = q[0];
    d[1] = q[1];
    d[2] = q[2];
  } else if (a) {
    for (int c = 0; c < 3; ++c)
      d[c] = static_cast<uint8_t>((((256 - a) * d[c]) >> 8) + ((a * q[c]) >> 8));
  }
}

/// Blends a coverage mask (w × h, rows `stride` apart) at (x, y), clipped to the surface.
template <bool Shadow>
void blendMask(Surface& s, const uint8_t* mask, int w, int h, int stride, int x, int y, const uint8_t q[3]) {
  int x0 = std::max(0, -x), y0 = std::max(0, -y);
  int x1 = std::min(w, s.width - x), y1 = std::min(h, s.height - y);
  for (int j = y0; j < y1; ++j) {
    uint8_t* row = s.row(y + j) + size_t(x + x0) * 3;
    const uint8_t* m = mask + size_t(j) * size_t(stride) + x0;
    for (int i = x0; i < x1; ++i, row += 3, ++m) {
      if (Shadow) shadeShadow(row, *m);
      else shadeGlyph(row, *m, q);
    }
  }
}

void colourBytes(ColourRef colour, uint8_t q[3]) {
  q[0] = static_cast<uint8_t>(colour >> 16);  // blue
  q[1] = static_cast<uint8_t>(colour >> 8);   // green
  q[2] = static_cast<uint8_t>(colour);        // red
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Marks and cells

int MarkStrip::markIndex(uint16_t code) {
  uint16_t c = leadHigh(code);
  int found = -1;
  for (int i = 0; i < 6; ++i)
    if (kMarkCodes[i] == c) found = i;  // when a code occurs twice the last match counts
  return found;
}

bool MarkStrip::load(const Picture& mark, int screenW, int screenH) {
  alpha.clear();
  bool full = screenW == 640 && screenH == 480;
  cellWidth = full ? 18 : 9;
  cellHeight = full ? 22 : 11;
  int stripW = cellWidth * 7;
  if (mark.empty() || int(mark.width) < stripW || int(mark.height) < cellHeight) return false;
  alpha.resize(size_t(stripW) * size_t(cellHeight));
  for (int y = 0; y < cellHeight; ++y)
    for (int x = 0; x < stripW; ++x) alpha[size_t(y) * size_t(stripW) + size_t(x)] = mark.pixel(uint32_t(x), uint32_t(y))[3];
  return true;
}

bool TextCells::add(const CharCell& c) {
  if (count >= kMaxCells) return false;
  cells[size_t(count++)] = c;
  return true;
}

// ---------------------------------------------------------------------------------------------
// Renderer

TextRenderer::TextRenderer()
    : m_message(std::make_unique<platform::GlyphFont>()),
      m_status(std::make_unique<platform::GlyphFont>()),
      m_sprite(std::make_unique<platform::GlyphFont>()),
      m_face(kFallbackFace) {}

TextRenderer::~TextRenderer() = default;

int TextRenderer::scratchSide() { return screenWidth >= 640 ? 256 : 128; }

void TextRenderer::setMessageFace(std::string_view face, int weightIndex) {
  std::string f(untilNul(face).empty() ? kFallbackFace : untilNul(face));
  weightIndex = std::clamp(weightIndex, 0, 4);
  if (f == m_face && weightIndex == m_weightIndex) return;
  m_face = std::move(f);
  m_weightIndex = weightIndex;
  m_messageSize = 0;
  m_message->close();
  m_cache.clear();
}

int TextRenderer::setMessageFont(int size, int weightIndex) {
  weightIndex = std::clamp(weightIndex, 0, 4);
  if (weightIndex != m_weightIndex) {
    m_weightIndex = weightIndex;
    m_cache.clear();
  }
  m_messageSize = 0;
  if (m_message->open(m_face, size, kWeights[m_weightIndex]) ||
      m_message->open(kFallbackFace, size, kWeights[m_weightIndex])) {
    m_messageSize = size;
    return 1;
  }
  return 0;
}

std::span<const uint8_t> TextRenderer::render(platform::GlyphFont& font, std::string_view face, int weight,
                                              int& openSize, uint16_t code, int size, int f, int side,
                                              bool opaqueTest) {
  int big = size * f;
  if (openSize != big) {
    openSize = 0;
    if (font.open(face, big, weight) || font.open(kFallbackFace, big, weight)) openSize = big;
  }
  m_scratch.assign(size_t(side) * size_t(side) * 3, 0);
  ++m_rasterCalls;
  if (openSize) font.drawCp932(leadHigh(code), m_scratch.data(), side * 3, big, big);
  m_mask.assign(size_t(size) * size_t(size), 0);
  const int area = f * f;
  for (int j = 0; j < size; ++j)
    for (int i = 0; i < size; ++i) {
      int sum = 0;
      for (int v = 0; v < f; ++v) {
        const uint8_t* p = m_scratch.data() + (size_t(j * f + v) * size_t(side) + size_t(i * f)) * 3;
        for (int u = 0; u < f; ++u) sum += p[u * 3];
      }
      int a = sum / area;
      m_mask[size_t(j) * size_t(size) + size_t(i)] = static_cast<uint8_t>(opaqueTest ? (a ? 255 : 0) : a);
    }
  return m_mask;
}

std::span<const uint8_t> TextRenderer::coverage(uint16_t code, int size, int f) {
  int side = scratchSide();
  if (size <= 0 || size > side) return {};
  f = std::clamp(f, 1, 4);
  while (f > 1 && size * f > side) --f;
  uint64_t key = (uint64_t(code) << 32) | (uint64_t(size) << 8) | uint64_t(f);
  if (auto it = m_cache.find(key); it != m_cache.end()) return it->second;
  auto mask = render(*m_message, m_face, kWeights[m_weightIndex], m_messageSize, code, size, f, side, false);
  if (m_cache.size() >= kCacheLimit) m_cache.clear();
  return m_cache.emplace(key, std::vector<uint8_t>(mask.begin(), mask.end())).first->second;
}

std::span<const uint8_t> TextRenderer::statusGlyph(uint16_t code, int size) {
  if (size <= 0 || size > kStatusSide) return {};
  return render(*m_status, kFallbackFace, 400, m_statusSize, code, size, 1, kStatusSide, true);
}

std::span<const uint8_t> TextRenderer::spriteGlyph(uint16_t code, int size) {
  if (size <= 0 || size * 3 > 512) return {};
  int side = std::max(scratchSide(), size * 3);
  return render(*m_sprite, kFallbackFace, 400, m_spriteSize, code, size, 3, side, false);
}

// ---------------------------------------------------------------------------------------------
// Cells

void drawCell(const CharCell& cell, TextRenderer& renderer, const MarkStrip& marks, Surface& surface, int f,
              bool shadow) {
  uint8_t q[3];
  colourBytes(cell.colour, q);
  int mark = MarkStrip::markIndex(cell.code);
  if (mark >= 0) {
    if (!marks.loaded()) return;
    const uint8_t* m = marks.alpha.data() + size_t(mark) * size_t(marks.cellWidth);
    int stride = marks.cellWidth * 7;
    if (shadow)
      blendMask<true>(surface, m, marks.cellWidth, marks.cellHeight, stride, cell.rect.left + 2, cell.rect.top + 1, q);
    blendMask<false>(surface, m, marks.cellWidth, marks.cellHeight, stride, cell.rect.left + 1, cell.rect.top, q);
    return;
  }
  auto mask = renderer.coverage(cell.code, cell.size, f);
  if (mask.empty()) return;
  if (shadow)
    blendMask<true>(surface, mask.data(), cell.size, cell.size, cell.size, cell.rect.left + 1, cell.rect.top + 1, q);
  blendMask<false>(surface, mask.data(), cell.size, cell.size, cell.size, cell.rect.left, cell.rect.top, q);
}

void drawTextCells(TextCells& cells, TextRenderer& renderer, Surface& surface, int f, bool shadow) {
  for (int i = 0; i < cells.count; ++i) {
    CharCell& c = cells.cells[size_t(i)];
    if (c.state == CharCell::kDrawn) continue;
    drawCell(c, renderer, cells.marks, surface, f, shadow);
    c.state = CharCell::kDrawn;
  }
}

void markCellsForRedraw(TextCells& cells, bool all) {
  if (!cells.enabled) return;
  for (int i = 0; i < cells.count; ++i) {
    CharCell& c = cells.cells[size_t(i)];
    if (all) {
      if (c.state <= CharCell::kRedraw) c.state = CharCell::kRedraw;
    } else {
      c.state = CharCell::kDrawn;
    }
  }
}

void markCellsInRects(TextCells& cells, std::span<const Rect> rects) {
  for (int i = 0; i < cells.count; ++i) {
    CharCell& c = cells.cells[size_t(i)];
    if (c.state > CharCell::kRedraw) continue;
    for (const Rect& r : rects) {
      if (c.rect.left <= r.right && r.left <= c.rect.right && c.rect.top <= r.bottom && r.top <= c.rect.bottom) {
        c.state = CharCell::kRedraw;
        break;
      }
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Pictures and the status line

namespace {
void writeMask(Picture& picture, const uint8_t* mask, int w, int h, int stride, int x, int y, const uint8_t q[3]) {
  for (int j = 0; j < h; ++j) {
    int py = y + j;
    if (py < 0 || py >= int(picture.height)) continue;
    for (int i = 0; i < w; ++i) {
      int px = x + i;
      if (px < 0 || px >= int(picture.width)) continue;
      uint8_t* p = picture.pixel(uint32_t(px), uint32_t(py));
      p[0] = q[0];
      p[1] = q[1];
      p[2] = q[2];
      p[3] = mask[size_t(j) * size_t(stride) + size_t(i)];
    }
  }
}
}  // namespace

void drawTextToPicture(TextRenderer& renderer, const MarkStrip& marks, Picture& picture, std::string_view text,
                       int baseSize, int sizePercent, int spacing, ColourRef colour, int x, int y, int f) {
  if (picture.empty()) return;
  text = untilNul(text);
  int s = int(int64_t(baseSize) * sizePercent / 100 * screenWidth / fullWidth);
  int penX = int(int64_t(x) * screenWidth / fullWidth);
  int penY = int(int64_t(y) * screenHeight / fullHeight);
  int gap = int(int64_t(spacing) * screenWidth / fullWidth);
  uint8_t q[3];
  colourBytes(colour, q);
  for (size_t i = 0; i < text.size();) {
    size_t len = 0;
    uint16_t code = nextChar(text, i, len);
    int mark = MarkStrip::markIndex(code);
    if (mark >= 0) {
      if (marks.loaded())
        writeMask(picture, marks.alpha.data() + size_t(mark) * size_t(marks.cellWidth), marks.cellWidth,
                  marks.cellHeight, marks.cellWidth * 7, penX + 1, penY, q);
    } else if (s > 0) {
      auto mask = renderer.coverage(code, s, f);
      if (!mask.empty()) writeMask(picture, mask.data(), s, s, s, penX, penY, q);
    }
    penX += (len == 2 ? s : s / 2) + gap;
    i += len;
  }
}

void drawStatusText(TextRenderer& renderer, std::span<uint8_t> rotated, int screenW, int screenH,
                    std::string_view text, int x, int y, ColourRef colour, int size) {
  text = untilNul(text);
  if (size_t(screenW) * size_t(screenH) * 3 > rotated.size()) return;
  uint8_t q[3];
  colourBytes(colour, q);
  for (size_t i = 0; i < text.size();) {
    size_t len = 0;
    uint16_t code = nextChar(text, i, len);
    auto mask = renderer.statusGlyph(code, size);
    for (int j = 0; j < size && !mask.empty(); ++j)
      for (int k = 0; k < size; ++k) {
        if (!mask[size_t(j) * size_t(size) + size_t(k)]) continue;
        int px = x + k, py = y + j;
        if (px < 0 || px >= screenW || py < 0 || py >= screenH) continue;
        uint8_t* d = rotated.data() + (size_t(screenW - 1 - px) * size_t(screenH) + size_t(py)) * 3;
        d[0] = q[0];
        d[1] = q[1];
        d[2] = q[2];
      }
    x += len == 2 ? size : size / 2;
    i += len;
  }
}

void drawStatusTextToFrameBuffer(TextRenderer& renderer, std::span<uint8_t> frame, int xPitch, int yPitch,
                                 int screenW, int screenH, std::string_view text, int x, int y,
                                 ColourRef colour, int size) {
  text = untilNul(text);
  // The device's status line takes its grey level from the colour's low byte.
  uint32_t v = colour & 0xFF;
  auto pixel = static_cast<uint16_t>(((v & 0xFC) << 3) + (v >> 3) * 0x0801);
  for (size_t i = 0; i < text.size();) {
    size_t len = 0;
    uint16_t code = nextChar(text, i, len);
    auto mask = renderer.statusGlyph(code, size);
    for (int j = 0; j < size && !mask.empty(); ++j)
      for (int k = 0; k < size; ++k) {
        if (!mask[size_t(j) * size_t(size) + size_t(k)]) continue;
        int px = x + k, py = y + j;
        if (px < 0 || px >= screenW || py < 0 || py >= screenH) continue;
        int64_t off = int64_t(screenW - 1 - px) * yPitch + int64_t(py) * xPitch;
        if (off < 0 || size_t(off) + 2 > frame.size()) continue;
        frame[size_t(off)] = static_cast<uint8_t>(pixel);
        frame[size_t(off) + 1] = static_cast<uint8_t>(pixel >> 8);
      }
    x += len == 2 ? size : size / 2;
    i += len;
  }
}

int drawTextLine(TextRenderer& renderer, Surface& surface, std::string_view text, int x, int y, int size,
                 ColourRef colour, int f) {
  text = untilNul(text);
  uint8_t q[3];
  colourBytes(colour, q);
  for (size_t i = 0; i < text.size();) {
    size_t len = 0;
    const uint16_t code = nextChar(text, i, len);
    auto mask = renderer.coverage(code, size, f);
    if (!mask.empty()) blendMask<false>(surface, mask.data(), size, size, size, x, y, q);
    x += len == 2 ? size : size / 2;
    i += len;
  }
  return x;
}

int drawStatusLine(TextRenderer& renderer, Surface& surface, std::string_view text, int x, int y, int size,
                   ColourRef colour) {
  text = untilNul(text);
  uint8_t q[3];
  colourBytes(colour, q);
  for (size_t i = 0; i < text.size();) {
    size_t len = 0;
    const uint16_t code = nextChar(text, i, len);
    auto mask = renderer.statusGlyph(code, size);
    if (!mask.empty()) blendMask<false>(surface, mask.data(), size, size, size, x, y, q);
    x += len == 2 ? size : size / 2;
    i += len;
  }
  return x;
}

void drawTextSprite(TextRenderer& renderer, Picture& picture, std::string_view text, int size, ColourRef colour) {
  text = untilNul(text);
  int s = int(int64_t(size) * screenWidth / fullWidth);
  int width = 0;
  for (size_t i = 0; i < text.size();) {
    size_t len = 0;
    nextChar(text, i, len);
    width += len == 2 ? s : s / 2;
    i += len;
  }
  picture.release();
  if (s <= 0 || width <= 0) return;
  picture.width = uint32_t(width);
  picture.height = uint32_t(s);
  picture.designWidth = int32_t(int64_t(width) * fullWidth / screenWidth);
  picture.designHeight = int32_t(int64_t(s) * fullHeight / screenHeight);
  picture.pixels.assign(size_t(width) * size_t(s) * 4, 0);
  uint8_t q[3];
  colourBytes(colour, q);
  int penX = 0;
  for (size_t i = 0; i < text.size();) {
    size_t len = 0;
    uint16_t code = nextChar(text, i, len);
    auto mask = renderer.spriteGlyph(code, s);
    if (!mask.empty()) writeMask(picture, mask.data(), s, s, s, penX, 0, q);
    penX += len == 2 ? s : s / 2;
    i += len;
  }
}

}  // namespace sorel
