#include "platform/glyphs.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <algorithm>
#include <cstdlib>
#include <mutex>

#include "platform/text.h"

namespace platform {
namespace {

// The device's own Japanese faces, and what stands in for them on the desktop. Bound strongly
// so that the alias beats fontconfig's generic fallbacks.
constexpr const char* kAliases = R"(<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "fonts.dtd">
<fontconfig>
  <alias binding="strong"><family>ＭＳ ゴシック</family>
    <prefer><family>IPAGothic</family><family>IPAexGothic</family><family>VL Gothic</family>
      <family>Noto Sans Mono CJK JP</family><family>Noto Sans CJK JP</family></prefer></alias>
  <alias binding="strong"><family>ＭＳ Ｐゴシック</family>
    <prefer><family>IPAPGothic</family><family>IPAexGothic</family><family>VL PGothic</family>
      <family>Noto Sans CJK JP</family></prefer></alias>
  <alias binding="strong"><family>ＭＳ 明朝</family>
    <prefer><family>IPAMincho</family><family>IPAexMincho</family>
      <family>Noto Serif CJK JP</family></prefer></alias>
</fontconfig>
)";

// fontconfig keeps one process-wide configuration; the aliases are added to it once.
std::mutex g_fcMutex;
bool g_fcReady = false;

FcConfig* fontConfig() {
  if (!g_fcReady) {
    FcInit();
    // fontconfig keeps its configuration until FcFini; without it every run ends with the
    // library's blocks unreleased.
    std::atexit([] { FcFini(); });
    FcConfigParseAndLoadFromMemory(FcConfigGetCurrent(),
                                   reinterpret_cast<const FcChar8*>(kAliases), FcFalse);
    g_fcReady = true;
  }
  return FcConfigGetCurrent();
}

struct Match {
  std::string file;
  int index = 0;
  std::string family;
  int weight = FC_WEIGHT_REGULAR;
  bool embolden = false;  ///< fontconfig asks for synthetic bold (the face has no bold)
};

bool matchFont(std::string_view familyUtf8, int weight, Match& out) {
  FcConfig* config = fontConfig();
  FcPattern* pattern = FcPatternCreate();
  std::string family(familyUtf8);
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
  // Without the language every unknown face falls to a Latin font with no kana.
  FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8*>("ja"));
  FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
  FcPatternAddInteger(pattern, FC_WEIGHT, FcWeightFromOpenType(std::clamp(weight, 1, 1000)));
  FcConfigSubstitute(config, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result;
  FcPattern* font = FcFontMatch(config, pattern, &result);
  FcPatternDestroy(pattern);
  if (!font) return false;
  FcChar8* file = nullptr;
  bool ok = FcPatternGetString(font, FC_FILE, 0, &file) == FcResultMatch && file;
  if (ok) {
    out.file = reinterpret_cast<const char*>(file);
    if (FcPatternGetInteger(font, FC_INDEX, 0, &out.index) != FcResultMatch) out.index = 0;
    FcChar8* fam = nullptr;
    if (FcPatternGetString(font, FC_FAMILY, 0, &fam) == FcResultMatch && fam)
      out.family = reinterpret_cast<const char*>(fam);
    if (FcPatternGetInteger(font, FC_WEIGHT, 0, &out.weight) != FcResultMatch)
      out.weight = FC_WEIGHT_REGULAR;
    FcBool embolden = FcFalse;
    out.embolden = FcPatternGetBool(font, FC_EMBOLDEN, 0, &embolden) == FcResultMatch && embolden;
  }
  FcPatternDestroy(font);
  return ok;
}

}  // namespace

std::vector<std::string> installedFontFamilies() {
  std::lock_guard<std::mutex> lock(g_fcMutex);
  FcConfig* config = fontConfig();
  FcPattern* pattern = FcPatternCreate();
  FcPatternAddString(pattern, FC_FONTFORMAT, reinterpret_cast<const FcChar8*>("TrueType"));
  FcObjectSet* objects = FcObjectSetBuild(FC_FAMILY, FC_FAMILYLANG, FC_LANG, nullptr);
  FcFontSet* set = FcFontList(config, pattern, objects);
  FcObjectSetDestroy(objects);
  FcPatternDestroy(pattern);

  struct Family {
    std::string utf8;
    bool japanese;
    int rank = 2;
  };
  std::vector<Family> families;
  for (int i = 0; set && i < set->nfont; ++i) {
    FcPattern* p = set->fonts[i];
    FcChar8* name = nullptr;
    std::string chosen;
    // A Japanese family carries its English name first and its Japanese name beside the
    // language "ja"; the device lists it under the Japanese one.
    for (int k = 0; FcPatternGetString(p, FC_FAMILY, k, &name) == FcResultMatch; ++k) {
      FcChar8* lang = nullptr;
      if (k == 0) chosen = reinterpret_cast<const char*>(name);
      if (FcPatternGetString(p, FC_FAMILYLANG, k, &lang) == FcResultMatch &&
          std::string_view(reinterpret_cast<const char*>(lang)) == "ja")
        chosen = reinterpret_cast<const char*>(name);
    }
    if (chosen.empty()) continue;
    FcLangSet* langs = nullptr;
    bool japanese = FcPatternGetLangSet(p, FC_LANG, 0, &langs) == FcResultMatch &&
                    FcLangSetHasLang(langs, reinterpret_cast<const FcChar8*>("ja")) == FcLangEqual;
    auto it = std::find_if(families.begin(), families.end(),
                           [&](const Family& f) { return f.utf8 == chosen; });
    if (it == families.end()) families.push_back({chosen, japanese, 2});
    else it->japanese = it->japanese || japanese;
  }
  if (set) FcFontSetDestroy(set);

  // fontconfig lists in no fixed order. The enumeration is made stable: the family that stands
  // in for the device's Japanese face first, then the other Japanese families, then the rest,
  // each group by name.
  Match standIn;
  std::string preferred;
  if (matchFont("ＭＳ ゴシック", 400, standIn)) preferred = standIn.family;
  for (auto& f : families) {
    f.rank = f.japanese ? 1 : 2;
    // The match reports the English name; the list may hold the Japanese one of the same
    // family, so compare through a second match.
    Match m;
    if (f.japanese && !preferred.empty() && matchFont(f.utf8, 400, m) && m.family == preferred)
      f.rank = 0;
  }
  std::sort(families.begin(), families.end(), [](const Family& a, const Family& b) {
    return a.rank != b.rank ? a.rank < b.rank : a.utf8 < b.utf8;
  });

  std::vector<std::string> out;
  for (const auto& f : families)
    if (auto cp = utf8ToCp932(f.utf8)) out.push_back(*cp);
  return out;
}

struct GlyphFont::Impl {
  FT_Library library = nullptr;
  FT_Face face = nullptr;
  bool embolden = false;
  int ascender = 0;

  ~Impl() {
    if (face) FT_Done_Face(face);
    if (library) FT_Done_FreeType(library);
  }
};

GlyphFont::GlyphFont() = default;
GlyphFont::~GlyphFont() = default;

bool GlyphFont::isOpen() const { return m_impl && m_impl->face; }

void GlyphFont::close() {
  m_impl.reset();
  m_pixelHeight = 0;
  m_family.clear();
}

bool GlyphFont::open(std::string_view faceName, int pixelHeight, int weight) {
  if (pixelHeight < 1 || pixelHeight > 512) return false;
  std::string familyUtf8 = cp932ToUtf8Lossy(faceName);
  Match match;
  {
    std::lock_guard<std::mutex> lock(g_fcMutex);
    if (!matchFont(familyUtf8, weight, match)) return false;
  }
  auto impl = std::make_unique<Impl>();
  if (FT_Init_FreeType(&impl->library) != 0) return false;
  if (FT_New_Face(impl->library, match.file.c_str(), match.index, &impl->face) != 0) {
    impl->face = nullptr;
    return false;
  }
  // The device sizes a font by its cell (ascent plus descent), not by its em square.
  FT_Size_RequestRec request{};
  request.type = FT_SIZE_REQUEST_TYPE_CELL;
  request.height = static_cast<FT_Long>(pixelHeight) << 6;
  if (FT_Request_Size(impl->face, &request) != 0) return false;
  impl->ascender = static_cast<int>((impl->face->size->metrics.ascender + 32) >> 6);
  impl->embolden = weight >= 600 && (match.embolden || match.weight < FC_WEIGHT_DEMIBOLD);
  m_impl = std::move(impl);
  m_pixelHeight = pixelHeight;
  m_weight = weight;
  m_faceName = std::string(faceName);
  m_family = match.family;
  return true;
}

int GlyphFont::drawChar(char32_t ch, uint8_t* bgr, int pitchBytes, int width, int height) const {
  if (!isOpen() || !bgr || width <= 0 || height <= 0) return -1;
  FT_Face face = m_impl->face;
  FT_UInt index = FT_Get_Char_Index(face, ch);
  if (index == 0) return -1;
  if (FT_Load_Glyph(face, index, FT_LOAD_TARGET_MONO | FT_LOAD_NO_BITMAP) != 0) return -1;
  FT_GlyphSlot slot = face->glyph;
  if (slot->format == FT_GLYPH_FORMAT_OUTLINE && m_impl->embolden)
    FT_Outline_Embolden(&slot->outline, std::max<FT_Pos>(64, face->size->metrics.y_ppem * 2));
  if (FT_Render_Glyph(slot, FT_RENDER_MODE_MONO) != 0) return -1;
  const FT_Bitmap& bm = slot->bitmap;
  int advance = static_cast<int>((slot->advance.x + 32) >> 6);
  if (bm.pixel_mode != FT_PIXEL_MODE_MONO) return advance;
  int left = slot->bitmap_left;
  int top = m_impl->ascender - slot->bitmap_top;
  int rowStep = bm.pitch;
  const uint8_t* rowStart = bm.buffer;
  if (rowStep < 0) rowStart -= static_cast<ptrdiff_t>(rowStep) * (static_cast<int>(bm.rows) - 1);
  for (int r = 0; r < static_cast<int>(bm.rows); ++r) {
    int y = top + r;
    if (y < 0 || y >= height) continue;
    const uint8_t* src = rowStart + static_cast<ptrdiff_t>(r) * rowStep;
    uint8_t* dst = bgr + static_cast<ptrdiff_t>(y) * pitchBytes;
    for (int c = 0; c < static_cast<int>(bm.width); ++c) {
      int x = left + c;
      if (x < 0 || x >= width) continue;
      if (src[c >> 3] & (0x80 >> (c & 7))) {
        uint8_t* p = dst + static_cast<ptrdiff_t>(x) * 3;
        p[0] = p[1] = p[2] = 255;
      }
    }
  }
  return advance;
}

int GlyphFont::drawCp932(uint16_t code, uint8_t* bgr, int pitchBytes, int width,
                         int height) const {
  char bytes[2];
  std::string_view text;
  if (code > 0xFF) {
    bytes[0] = static_cast<char>(code >> 8);
    bytes[1] = static_cast<char>(code & 0xFF);
    text = std::string_view(bytes, 2);
  } else {
    bytes[0] = static_cast<char>(code);
    text = std::string_view(bytes, 1);
  }
  auto u32 = cp932ToUtf32(text);
  if (!u32 || u32->size() != 1) return -1;
  return drawChar((*u32)[0], bgr, pitchBytes, width, height);
}

}  // namespace platform
