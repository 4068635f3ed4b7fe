#include "converter/picture_rules.h"

#include <cctype>
#include <cstdint>

#include "converter/dib_image.h"
#include "converter/pac_archive.h"
#include "engine/resources/byte_io.h"
#include "engine/resources/sjis_text.h"
#include "platform/text.h"

namespace sorel {

// The list's text, generated at build time from converter/opaque_visuals.txt.
extern const char kOpaqueVisualsText[];

namespace {

constexpr size_t kVisualRecordSize = 196;
constexpr size_t kStandRecordSize = 224;
constexpr size_t kNameField = 32;
constexpr size_t kDescriptorMinSize = 68;

// Stand pictures are placed in the 640 × 480 design space from the descriptor's values.
constexpr int kDesignWidthHalf = 320;
constexpr int kDesignHeight = 480;

// Window pictures whose magenta becomes half-transparent blue.
constexpr std::string_view kWindowPictures[] = {"MessageWindow.bmp", "MessageWindow2.bmp", "MessageWindow3.bmp",
                                                "SelectMenu.bmp"};
constexpr uint32_t kMagenta = 0xFF00FF;
constexpr uint32_t kWindowBlue = 0x0000FF;
constexpr uint8_t kWindowAlpha = 128;

constexpr const char* kOffsetsOutOfRange = "stand position out of range (damaged StandInfo.DAT record or descriptor)";

// Full-screen System pictures drawn without clearing: keying them would punch holes.
constexpr std::string_view kOpaqueSystemPictures[] = {"Title_BG.bmp", "EyeCatchBg.bmp", "CGModeBG.bmp",
                                                      "SoundModeBG.bmp"};

std::string fieldAt(std::span<const uint8_t> rec, size_t offset, size_t n) {
  return std::string(fieldText(reinterpret_cast<const char*>(rec.data() + offset), n));
}

bool isBitmapName(std::string_view name) {
  auto ext = extensionOf(name);
  return !ext.empty() && sameName(ext, ".bmp");
}

// "Thum_" + three digits + ".bmp": the save-screen thumbnails of the game's scenes.
bool isSceneThumbnail(std::string_view name) {
  if (name.size() != 12 || !sameNamePrefix(name, "Thum_", 5) || !sameName(name.substr(8), ".bmp")) return false;
  for (size_t i = 5; i < 8; ++i)
    if (!std::isdigit(static_cast<unsigned char>(name[i]))) return false;
  return true;
}

// Positions and offsets come from the tables and descriptors as 32-bit values; their sums are
// taken in 64 bits, and a result outside what an RBP header stores (16 bits, signed as the
// engine reads it) is a damaged record, never a wrapped one.
constexpr int64_t kMinPlacement = INT16_MIN;
constexpr int64_t kMaxPlacement = INT16_MAX;
bool placeable(int64_t v) { return v >= kMinPlacement && v <= kMaxPlacement; }

ConvertedMember unusable(std::string name, std::string problem) {
  ConvertedMember m;
  m.name = std::move(name);
  m.picture = true;
  m.problem = std::move(problem);
  return m;
}

}  // namespace

std::vector<VisualRecord> PictureTables::parseVisualInfo(std::span<const uint8_t> bytes) {
  std::vector<VisualRecord> out;
  for (size_t at = 0; at + kVisualRecordSize <= bytes.size(); at += kVisualRecordSize) {
    auto rec = bytes.subspan(at, kVisualRecordSize);
    VisualRecord v;
    v.base = fieldAt(rec, 4, kNameField);
    v.differential = fieldAt(rec, 36, kNameField);
    v.x = static_cast<int32_t>(loadU32(rec.data() + 68));
    v.y = static_cast<int32_t>(loadU32(rec.data() + 72));
    out.push_back(std::move(v));
  }
  return out;
}

std::vector<StandRecord> PictureTables::parseStandInfo(std::span<const uint8_t> bytes) {
  std::vector<StandRecord> out;
  for (size_t at = 0; at + kStandRecordSize <= bytes.size(); at += kStandRecordSize) {
    auto rec = bytes.subspan(at, kStandRecordSize);
    StandRecord s;
    s.descriptor = fieldAt(rec, 32, kNameField);
    s.overlay = fieldAt(rec, 64, kNameField);
    s.x = static_cast<int32_t>(loadU32(rec.data() + 96));
    s.y = static_cast<int32_t>(loadU32(rec.data() + 100));
    out.push_back(std::move(s));
  }
  return out;
}

std::vector<std::string> parseNameList(std::string_view text) {
  std::vector<std::string> out;
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.remove_suffix(1);
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.front()))) line.remove_prefix(1);
    if (line.empty() || line.front() == '#') continue;
    if (auto cp932 = platform::utf8ToCp932(line)) out.push_back(std::move(*cp932));
  }
  return out;
}

const std::vector<std::string>& opaqueVisualNames() {
  // Parsed once; constant afterwards.
  static const std::vector<std::string> names = parseNameList(kOpaqueVisualsText);
  return names;
}

PictureConverter::PictureConverter(PictureArchive kind, const PacArchive& pac, const PictureTables& tables,
                                   const std::vector<std::string>& opaqueVisuals, int sizeFactor, int quality)
    : m_kind(kind), m_pac(pac), m_tables(tables), m_opaque(opaqueVisuals), m_factor(sizeFactor), m_quality(quality) {}

bool PictureConverter::readNamed(std::string_view name, std::vector<uint8_t>& out) const {
  auto i = m_pac.find(name);
  if (!i) return false;
  auto bytes = m_pac.readMember(*i);
  if (!bytes) return false;
  out = std::move(*bytes);
  return true;
}

bool PictureConverter::isOpaqueBackground(std::string_view name) const {
  switch (m_kind) {
    case PictureArchive::Bg: return true;
    case PictureArchive::Thumbnail: return isSceneThumbnail(name);
    case PictureArchive::System:
      for (auto n : kOpaqueSystemPictures)
        if (sameName(name, n)) return true;
      return false;
    default: return false;
  }
}

bool PictureConverter::isPictureMember(std::string_view name) const {
  return m_kind == PictureArchive::Stand || m_kind == PictureArchive::System ? isBitmapName(name) : true;
}

ConvertedMember PictureConverter::failed(size_t index, std::string problem) const {
  const std::string& name = m_pac.entry(index).name;
  if (isPictureMember(name)) return unusable(replaceExtension(name, ".rbp"), std::move(problem));
  ConvertedMember m;
  m.name = name;
  m.problem = std::move(problem);
  return m;
}

ConvertedMember PictureConverter::convert(size_t index) const {
  const std::string& name = m_pac.entry(index).name;
  PacError err = PacError::None;
  auto bytes = m_pac.readMember(index, &err);
  if (!bytes) return failed(index, std::string("cannot be unpacked: ") + pacErrorText(err));
  if (!isPictureMember(name)) return {name, std::move(*bytes), false, {}};
  return convertPicture(index, name, std::move(*bytes));
}

ConvertedMember PictureConverter::convertPicture(size_t, const std::string& name, std::vector<uint8_t> bytes) const {
  const std::string outName = replaceExtension(name, ".rbp");
  if (m_kind == PictureArchive::Stand) return convertStand(name, std::move(bytes));

  DibImage pic;
  DibError err;
  if (!pic.load(bytes, &err)) return unusable(outName, std::string(dibErrorText(err)));
  bytes.clear();

  // Differential pictures become the whole composite, stored under the differential's name.
  if (m_kind == PictureArchive::Bg || m_kind == PictureArchive::Visual) {
    for (const VisualRecord& rec : m_tables.visual) {
      if (!sameName(rec.differential, name)) continue;
      std::vector<uint8_t> baseBytes;
      DibImage base;
      if (!readNamed(rec.base, baseBytes)) return unusable(outName, "differential base is missing");
      if (!base.load(baseBytes, &err)) return unusable(outName, "differential base: " + std::string(dibErrorText(err)));
      if (m_kind == PictureArchive::Bg) {
        base.expand16To24();
        base.pasteOpaque(pic, rec.x, rec.y);
        base.shrink(false, m_factor);
        return {outName, base.toRbp(m_quality, 0, 0), true, {}};
      }
      pic.keyBlack();
      pic.blendOnto(std::move(base), rec.x, rec.y);
      pic.shrink(true, m_factor);
      return {outName, pic.toRbp(m_quality, 0, 0), true, {}};
    }
  }

  if (m_kind == PictureArchive::Visual) {
    if (pic.bitsPerPixel() == 16) {
      pic.expand16To24();
    } else {
      bool opaque = false;
      for (const std::string& n : m_opaque)
        if (sameName(n, name)) opaque = true;
      if (!opaque) pic.keyBlack();
    }
    pic.shrink(true, m_factor);
    return {outName, pic.toRbp(m_quality, 0, 0), true, {}};
  }

  // The plain rule: 16-bit pictures are expanded, others keyed near black; backgrounds stay
  // opaque.
  if (pic.bitsPerPixel() == 16 || isOpaqueBackground(name)) pic.expand16To24();
  else pic.keyNearBlack();
  if (m_kind == PictureArchive::System) {
    for (auto n : kWindowPictures)
      if (sameName(name, n)) pic.setColourAlpha(kMagenta, kWindowAlpha, kWindowBlue);
  }
  pic.shrink(false, m_factor);
  return {outName, pic.toRbp(m_quality, 0, 0), true, {}};
}

ConvertedMember PictureConverter::convertStand(const std::string& name, std::vector<uint8_t> bytes) const {
  const std::string outName = replaceExtension(name, ".rbp");
  DibError err;
  struct Descriptor {
    std::string base;
    int32_t n = 0, x = 0;
  };
  auto readDescriptor = [&](std::string_view member, Descriptor& d) {
    std::vector<uint8_t> b;
    if (!readNamed(member, b) || b.size() < kDescriptorMinSize) return false;
    d.base = fieldAt(b, 8, 52);
    d.n = static_cast<int32_t>(loadU32(b.data() + 60));
    d.x = static_cast<int32_t>(loadU32(b.data() + 64));
    return true;
  };

  // An overlay: drawn over the stand its descriptor names, then keyed as one picture.
  for (const StandRecord& rec : m_tables.stand) {
    if (!sameName(rec.overlay, name)) continue;
    Descriptor d;
    if (!readDescriptor(rec.descriptor, d)) return unusable(outName, "stand descriptor is missing");
    std::vector<uint8_t> baseBytes;
    DibImage base, overlay;
    if (!readNamed(d.base, baseBytes)) return unusable(outName, "overlay base is missing");
    if (!base.load(baseBytes, &err)) return unusable(outName, "overlay base: " + std::string(dibErrorText(err)));
    if (!overlay.load(bytes, &err)) return unusable(outName, std::string(dibErrorText(err)));
    const int64_t blendX = int64_t(rec.x) + d.x - kDesignWidthHalf, blendY = int64_t(rec.y) + d.n - kDesignHeight;
    const int64_t y = int64_t(kDesignHeight) - d.n;
    if (!placeable(blendX) || !placeable(blendY) || !placeable(d.x) || !placeable(y))
      return unusable(outName, kOffsetsOutOfRange);
    overlay.keyBlack();
    overlay.blendOnto(std::move(base), int(blendX), int(blendY));
    overlay.keyNearBlack();
    overlay.shrink(false, m_factor);
    return {outName, overlay.toRbp(m_quality, d.x, int(y)), true, {}};
  }

  // A stand: placed by the descriptor whose name, as a bitmap name, is this member's.
  int x = 0, y = 0;
  for (const StandRecord& rec : m_tables.stand) {
    if (!sameName(replaceExtension(rec.descriptor, ".bmp"), name)) continue;
    Descriptor d;
    if (readDescriptor(rec.descriptor, d)) {
      const int64_t placeY = int64_t(kDesignHeight) - d.n;
      if (!placeable(d.x) || !placeable(placeY)) return unusable(outName, kOffsetsOutOfRange);
      x = d.x;
      y = int(placeY);
    }
    break;
  }
  DibImage pic;
  if (!pic.load(bytes, &err)) return unusable(outName, std::string(dibErrorText(err)));
  if (pic.bitsPerPixel() == 16) pic.expand16To24();
  else pic.keyNearBlack();
  pic.shrink(false, m_factor);
  return {outName, pic.toRbp(m_quality, x, y), true, {}};
}

}  // namespace sorel
