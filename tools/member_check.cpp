#include "tools/member_check.h"

#include "engine/story/data_tables.h"
#include "engine/graphics/jbp1_decoder.h"
#include "engine/graphics/picture.h"
#include "engine/graphics/picture_loader.h"
#include "engine/graphics/rbp_format.h"
#include "engine/resources/byte_io.h"
#include "engine/resources/sjis_text.h"
#include "tools/script_asm.h"

namespace sorel::tool {

namespace {

/// The record size of each data table, by member name.
struct TableKind {
  const char* name;
  size_t recordSize;
};
constexpr TableKind kTables[] = {
    {"VisualInfo.DAT", DataTables::kVisualRecordSize}, {"BgmInfo.DAT", DataTables::kBgmRecordSize},
    {"StandInfo.DAT", DataTables::kStandRecordSize},   {"CGInfo.DAT", DataTables::kGalleryPageSize},
    {"SceneInfo.DAT", DataTables::kReplayPageSize},
};

/// Length of the Layer III frame whose header starts at p (MPEG-1, 2 or 2.5), or 0.
size_t frameLength(const uint8_t* p) {
  static constexpr int kMpeg1[16] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};
  static constexpr int kMpeg2[16] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0};
  static constexpr int kRates[4][3] = {{11025, 12000, 8000}, {0, 0, 0}, {22050, 24000, 16000}, {44100, 48000, 32000}};
  if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0) return 0;
  const int version = (p[1] >> 3) & 3, layer = (p[1] >> 1) & 3;
  const int bitrateIndex = p[2] >> 4, rateIndex = (p[2] >> 2) & 3, padding = (p[2] >> 1) & 1;
  if (version == 1 || layer != 1 || rateIndex == 3) return 0;
  const int kbps = (version == 3 ? kMpeg1 : kMpeg2)[bitrateIndex];
  const int rate = kRates[version][rateIndex];
  if (kbps == 0 || rate == 0) return 0;  // free format is not something the engine plays
  return static_cast<size_t>((version == 3 ? 144 : 72) * kbps * 1000 / rate + padding);
}

}  // namespace

std::string checkMp3Frames(std::span<const uint8_t> bytes) {
  size_t at = 0, end = bytes.size();
  // ID3v2: "ID3", version, flags, then a 28-bit size in four 7-bit bytes.
  if (end >= 10 && bytes[0] == 'I' && bytes[1] == 'D' && bytes[2] == '3')
    at = 10 + ((size_t(bytes[6] & 0x7F) << 21) | (size_t(bytes[7] & 0x7F) << 14) | (size_t(bytes[8] & 0x7F) << 7) |
               size_t(bytes[9] & 0x7F));
  if (end >= 128 && bytes[end - 128] == 'T' && bytes[end - 127] == 'A' && bytes[end - 126] == 'G') end -= 128;
  if (at >= end) return "no MP3 frames";
  for (int frame = 0; at < end; ++frame) {
    if (end - at < 4) return "cut short after frame " + std::to_string(frame);
    size_t length = frameLength(bytes.data() + at);
    if (length == 0) return "no valid MP3 frame header at byte " + std::to_string(at);
    if (length > end - at) return "frame " + std::to_string(frame) + " at byte " + std::to_string(at) + " is cut short";
    at += length;
  }
  return {};
}

std::string checkMemberContent(std::string_view archive, std::string_view name, std::span<const uint8_t> bytes) {
  if (bytes.empty()) return {};
  const std::string_view ext = extensionOf(name);
  if (sameName(ext, ".rbp")) {
    Picture picture;
    if (!decodeRbp(bytes, picture)) return "the picture does not decode";
    // A JBP1 stream can decode after damage; its bit streams then no longer end where the
    // writer ended them.
    const uint32_t kind = loadU32(bytes.data() + rbp::kKindOffset);
    if (kind == rbp::kKindJbp1 || kind == rbp::kKindJbp1Alpha) {
      const size_t start = loadU32(bytes.data() + rbp::kPixelOffsetOffset);
      const size_t length = loadU32(bytes.data() + rbp::kJbp1LengthOffset);
      if (start > bytes.size() || length > bytes.size() - start) return "the picture's JBP1 stream is cut short";
      Jbp1Decoder d;
      initDecoder(d);
      d.input = bytes.subspan(start, length);
      if (!parseHeader(d) || !verifyStream(d)) return "the picture's JBP1 stream is damaged";
    }
    return {};
  }
  const bool scenarios = sameName(archive, "Script.mlz") || sameName(archive, "Script.pac") ||
                         sameName(archive, "Update.pac");
  if (scenarios && sameName(ext, ".bin")) {
    script::ScriptImage image = script::parseScript(bytes);
    return image.problem.empty() ? std::string() : "the scenario does not parse: " + image.problem;
  }
  if (sameName(ext, ".mp3")) {
    std::string why = checkMp3Frames(bytes);
    return why.empty() ? why : "not a whole MP3 stream: " + why;
  }
  for (const TableKind& t : kTables)
    if (sameName(name, t.name) && bytes.size() % t.recordSize != 0)
      return "the table does not hold whole records: " + std::to_string(bytes.size()) + " bytes is not a multiple of " +
             std::to_string(t.recordSize);
  return {};
}

}  // namespace sorel::tool
