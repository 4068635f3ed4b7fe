#include "engine/saves/save_data.h"

#include <algorithm>
#include <cstring>

#include "engine/content/game_content.h"
#include "engine/resources/byte_io.h"
#include "engine/resources/format.h"
#include "engine/resources/sjis_text.h"

namespace sorel {
namespace {

constexpr uint8_t kSaveMagic[3] = {'Q', 'V', 'D'};
constexpr size_t kBmpHeader = 54;

/// Writes fields one after the other into a fixed block.
class BlockWriter {
 public:
  BlockWriter(std::span<uint8_t> out, size_t pos) : m_out(out), m_pos(pos) {}
  void u32(uint32_t v) {
    storeU32(m_out.data() + m_pos, v);
    m_pos += 4;
  }
  void i32(int32_t v) { u32(uint32_t(v)); }
  void u16(uint16_t v) {
    storeU16(m_out.data() + m_pos, v);
    m_pos += 2;
  }
  /// Text in a field of n bytes, zero-filled, cut so that its NUL always fits.
  void text(std::string_view s, size_t n) {
    s = untilNul(s);
    size_t len = std::min(s.size(), n - 1);
    if (len) std::memcpy(m_out.data() + m_pos, s.data(), len);  // an empty view may hold no pointer
    std::memset(m_out.data() + m_pos + len, 0, n - len);
    m_pos += n;
  }
  template <size_t N>
  void field(const std::array<char, N>& f) {
    text(fieldView(f), N);
  }

 private:
  std::span<uint8_t> m_out;
  size_t m_pos;
};

/// Reads fields; a text field without its NUL makes the reader fail.
class BlockReader {
 public:
  BlockReader(std::span<const uint8_t> in, size_t pos) : m_in(in), m_pos(pos) {}
  uint32_t u32() {
    uint32_t v = loadU32(m_in.data() + m_pos);
    m_pos += 4;
    return v;
  }
  int32_t i32() { return int32_t(u32()); }
  uint16_t u16() {
    uint16_t v = loadU16(m_in.data() + m_pos);
    m_pos += 2;
    return v;
  }
  std::string_view text(size_t n) {
    const char* p = reinterpret_cast<const char*>(m_in.data() + m_pos);
    m_pos += n;
    const void* nul = std::memchr(p, 0, n);
    if (!nul) {
      m_bad = true;
      return {};
    }
    return {p, size_t(static_cast<const char*>(nul) - p)};
  }
  template <size_t N>
  void field(std::array<char, N>& f) {
    copyField(f, text(N));
  }
  /// Passes over n bytes nobody reads.
  void skip(size_t n) { m_pos += n; }
  bool bad() const { return m_bad; }

 private:
  std::span<const uint8_t> m_in;
  size_t m_pos;
  bool m_bad = false;
};

}  // namespace

const char* describe(SaveFileError e) {
  switch (e) {
    case SaveFileError::None: return "good";
    case SaveFileError::Missing: return "no such file";
    case SaveFileError::Short: return "shorter than the save block";
    case SaveFileError::Magic: return "not a save file (magic or version)";
    case SaveFileError::Stack: return "more than 16 stack entries";
    case SaveFileError::Text: return "a text field without its end";
    case SaveFileError::Thumbnail: return "the thumbnail does not fit the file";
    case SaveFileError::Backlog: return "the backlog data runs past the end";
    case SaveFileError::Scenario: return "the scenario cannot be loaded";
  }
  return "?";
}

std::string saveFileName(int slot) { return format("save%z3.dat", {slot + 1}); }

std::string_view systemDataFileName() { return "save000.dat"; }

std::string_view chapterTitle(std::string_view scenario) {
  for (const ScenarioInfo& s : scenarios())
    if (sameName(s.member, scenario)) return s.title;
  return {};
}

std::string timeText(const SaveTime& t) {
  return format("%z4-%z2-%z2 %z2:%z2:%z2", {t.year, t.month, t.day, t.hour, t.minute, t.second});
}

void writeSaveBlock(const SaveSnapshot& s, std::span<uint8_t, kSaveBlockSize> out) {
  using namespace save_field;
  std::fill(out.begin(), out.end(), 0);
  std::memcpy(out.data(), kSaveMagic, 3);
  out[3] = uint8_t(s.version);
  storeU32(out.data() + kThumbnail, uint32_t(kSaveBlockSize));
  // A snapshot carries no time until a save stamps it.
  BlockWriter w(out, kTime);
  for (int v : {s.time.year, s.time.month, s.time.day, s.time.hour, s.time.minute, s.time.second}) w.u32(uint32_t(v));
  w = BlockWriter(out, kTimeText);
  w.text(!s.timeText.empty() || s.time.year == 0 ? s.timeText : timeText(s.time), 20);
  w.text(s.title, 64);
  w = BlockWriter(out, kVisual);
  w.i32(s.visual);
  for (int32_t v : s.stand) w.i32(v);
  for (const auto& n : s.standName) w.field(n);
  w.field(s.scenario);
  w.field(s.music);
  w.text({}, 32);
  for (const auto& n : s.loopSe) w.field(n);
  w.u32(std::min(s.stack.sp, OperandStack::kDepth));
  for (const StackEntry& e : s.stack.entries) {
    w.u32(e.kind);
    w.i32(e.value);
    w.field(e.text);
  }
  for (const auto& t : s.strings.strings) w.field(t);
  // Effect state.
  w.u32(s.effect.active);
  w.u16(s.effect.opcode);
  w.u16(0);
  w.u32(s.effect.step);
  w.i32(s.effect.parameter);
  w.u32(s.effect.scratch);
  // Message state.
  const MessageState& m = s.message;
  w.u32(m.pending);
  w.u32(m.typingFinished);
  w.u32(m.step);
  w.u32(m.markerShown);
  w.u32(m.offset < 0 ? 0xFFFFFFFFu : uint32_t(m.offset));
  w.u32(s.messageCleared);
  w.i32(m.face);
  w.i32(m.speaker);
  w.field(m.text);
  w.u32(s.markerLayer);
  // Choices.
  w.u32(std::min<uint32_t>(s.choices.count, ChoiceList::kMax));
  w.i32(s.choices.chosen);
  for (int32_t v : s.choices.values) w.i32(v);
  for (const auto& t : s.choices.texts) w.field(t);
  for (uint32_t v : {s.windowShown, s.windowCreated, s.windowStyle, s.pictureTint, s.dimmed}) w.u32(v);
  for (int32_t v : s.vars) w.i32(v);
  for (int i = 1; i <= ScriptState::kFlags; ++i) w.u32(s.flags[size_t(i)]);
  for (uint32_t v : {s.gameMode, s.subMode, s.pc, s.repeat, s.brightness, s.clearToGrey, s.clearBeforeDraw}) w.u32(v);
}

void stampSaveTime(std::span<uint8_t, kSaveBlockSize> block, const SaveTime& t) {
  BlockWriter w(block, save_field::kTime);
  for (int v : {t.year, t.month, t.day, t.hour, t.minute, t.second}) w.u32(uint32_t(v));
  BlockWriter(block, save_field::kTimeText).text(timeText(t), 20);
}

std::optional<SaveSnapshot> readSaveBlock(std::span<const uint8_t> bytes, SaveFileError* why) {
  using namespace save_field;
  auto fail = [&](SaveFileError e) {
    if (why) *why = e;
    return std::nullopt;
  };
  if (bytes.size() < kSaveBlockSize) return fail(SaveFileError::Short);
  if (std::memcmp(bytes.data(), kSaveMagic, 3) != 0 || bytes[3] < '1' || bytes[3] > '9') return fail(SaveFileError::Magic);
  SaveSnapshot s;
  s.version = char(bytes[3]);
  BlockReader r(bytes, kTimeText);
  s.timeText = std::string(r.text(20));
  s.title = std::string(r.text(64));
  s.time.year = r.i32();
  s.time.month = r.i32();
  s.time.day = r.i32();
  s.time.hour = r.i32();
  s.time.minute = r.i32();
  s.time.second = r.i32();
  s.visual = r.i32();
  for (auto& v : s.stand) v = r.i32();
  for (auto& n : s.standName) r.field(n);
  r.field(s.scenario);
  r.field(s.music);
  r.text(32);
  for (auto& n : s.loopSe) r.field(n);
  const uint32_t count = r.u32();
  if (count > OperandStack::kDepth) return fail(SaveFileError::Stack);
  s.stack.sp = count;
  for (uint32_t i = 0; i < OperandStack::kDepth; ++i) {
    StackEntry& e = s.stack.entries[i];
    e.kind = r.u32();
    e.value = r.i32();
    // Entries above the count are never read; their text need not end.
    if (i < count) r.field(e.text);
    else r.skip(256), e.text = {};
  }
  if (r.bad()) return fail(SaveFileError::Text);
  for (auto& t : s.strings.strings) r.field(t);
  s.effect.active = r.u32();
  s.effect.opcode = r.u16();
  r.u16();
  s.effect.step = r.u32();
  s.effect.parameter = r.i32();
  s.effect.scratch = r.u32();
  MessageState& m = s.message;
  m.pending = r.u32();
  m.typingFinished = r.u32();
  m.step = r.u32();
  m.markerShown = r.u32();
  uint32_t offset = r.u32();
  m.offset = offset == 0xFFFFFFFFu ? -1 : int64_t(offset);
  s.messageCleared = r.u32();
  m.face = r.i32();
  m.speaker = r.i32();
  r.field(m.text);
  s.markerLayer = r.u32();
  // A list longer than the six a menu can show keeps its first six.
  s.choices.count = std::min<uint32_t>(r.u32(), ChoiceList::kMax);
  s.choices.chosen = r.i32();
  for (auto& v : s.choices.values) v = r.i32();
  for (auto& t : s.choices.texts) r.field(t);
  s.windowShown = r.u32();
  s.windowCreated = r.u32();
  s.windowStyle = r.u32();
  s.pictureTint = r.u32();
  s.dimmed = r.u32();
  for (auto& v : s.vars) v = r.i32();
  for (int i = 1; i <= ScriptState::kFlags; ++i) s.flags[size_t(i)] = r.u32();
  s.gameMode = r.u32();
  s.subMode = r.u32();
  s.pc = r.u32();
  s.repeat = r.u32();
  s.brightness = r.u32();
  s.clearToGrey = r.u32();
  s.clearBeforeDraw = r.u32();
  if (r.bad()) return fail(SaveFileError::Text);
  if (why) *why = SaveFileError::None;
  return s;
}

std::vector<uint8_t> serialiseBacklog(const Backlog& backlog) {
  std::vector<uint8_t> out;
  ByteWriter w(out);
  if (backlog.empty()) {
    w.u32(0);
    return out;
  }
  w.u32(uint32_t(backlog.count()));
  for (size_t i = 0; i < backlog.count(); ++i) {
    const BacklogEntry& e = backlog.entry(i);
    w.u32(e.speaker);
    w.bytes({reinterpret_cast<const uint8_t*>(e.voice.data()), e.voice.size()});
    w.u8(0);
    w.bytes({reinterpret_cast<const uint8_t*>(e.text.data()), e.text.size()});
    w.u8(0);
  }
  w.u32(uint32_t(out.size()));
  return out;
}

std::optional<std::vector<BacklogEntry>> parseBacklog(std::span<const uint8_t> bytes, size_t* used) {
  ByteReader r(bytes);
  const uint32_t count = r.u32();
  if (!r.ok()) return std::nullopt;
  std::vector<BacklogEntry> entries;
  if (count == 0) {
    if (used) *used = 4;
    return entries;
  }
  // Each entry takes at least six bytes: a count beyond that cannot be in the file.
  if (count > r.remaining() / 6) return std::nullopt;
  auto nulText = [&](std::string& out) {
    auto rest = bytes.subspan(r.pos());
    const void* nul = std::memchr(rest.data(), 0, rest.size());
    if (!nul) return false;
    size_t n = size_t(static_cast<const uint8_t*>(nul) - rest.data());
    out.assign(reinterpret_cast<const char*>(rest.data()), n);
    r.skip(n + 1);
    return true;
  };
  entries.reserve(count);
  for (uint32_t i = 0; i < count; ++i) {
    BacklogEntry e;
    e.speaker = r.u32();
    if (!r.ok() || !nulText(e.voice) || !nulText(e.text)) return std::nullopt;
    e.voice.resize(cutAtCharacter(e.voice, 31));
    e.text = Backlog::doubleByteOnly(e.text, Backlog::kMaxCharacters);
    entries.push_back(std::move(e));
  }
  const size_t length = r.pos();
  if (r.u32() != length || !r.ok()) return std::nullopt;
  if (used) *used = r.pos();
  return entries;
}

void thumbnailSize(bool vga, int& w, int& h) {
  w = vga ? 160 : 80;
  h = vga ? 128 : 64;
}

void boxFilter565(const Surface& screen, int w, int h, uint16_t* out) {
  if (w <= 0 || h <= 0) return;
  if (screen.width <= 0 || screen.height <= 0 || screen.pixels.size() < size_t(screen.width) * size_t(screen.height) * 3) {
    std::fill(out, out + size_t(w) * size_t(h), uint16_t(0));
    return;
  }
  // Box edges on a 10-bit fixed-point step: a 640 × 480 screen gives boxes 4 wide and 3 or 4
  // high (3.75 on average) for 160 × 128. The column edges are the same on every row.
  const uint32_t stepX = (uint32_t(screen.width) << 10) / uint32_t(w);
  const uint32_t stepY = (uint32_t(screen.height) << 10) / uint32_t(h);
  std::vector<int> x0(static_cast<size_t>(w)), x1(static_cast<size_t>(w));
  for (int tx = 0; tx < w; ++tx) {
    x0[size_t(tx)] = std::min(int((uint32_t(tx) * stepX) >> 10), screen.width - 1);
    x1[size_t(tx)] = std::max(x0[size_t(tx)] + 1, std::min(int((uint32_t(tx + 1) * stepX) >> 10), screen.width));
  }
  std::vector<uint32_t> sums(size_t(w) * 3);
  for (int ty = 0; ty < h; ++ty) {
    const int y0 = std::min(int((uint32_t(ty) * stepY) >> 10), screen.height - 1);
    const int y1 = std::max(y0 + 1, std::min(int((uint32_t(ty + 1) * stepY) >> 10), screen.height));
    std::fill(sums.begin(), sums.end(), 0u);
    for (int y = y0; y < y1; ++y) {
      const uint8_t* row = screen.row(y);
      uint32_t* sum = sums.data();
      for (int tx = 0; tx < w; ++tx, sum += 3) {
        uint32_t b = 0, g = 0, r = 0;
        for (const uint8_t *p = row + x0[size_t(tx)] * 3, *end = row + x1[size_t(tx)] * 3; p < end; p += 3) {
          b += p[0];
          g += p[1];
          r += p[2];
        }
        sum[0] += b;
        sum[1] += g;
        sum[2] += r;
      }
    }
    const uint32_t* sum = sums.data();
    uint16_t* o = out + size_t(ty) * size_t(w);
    for (int tx = 0; tx < w; ++tx, sum += 3) {
      const uint32_t n = uint32_t((x1[size_t(tx)] - x0[size_t(tx)]) * (y1 - y0));
      const uint32_t b = sum[0] / n, g = sum[1] / n, r = sum[2] / n;
      // Red rounded down to a multiple of 8, then packed as 5-6-5.
      o[tx] = uint16_t(((r & 0xF8) << 8) | ((g & 0xFC) << 3) | (b >> 3));
    }
  }
}

std::vector<uint8_t> makeThumbnail(const Surface& screen, int w, int h) {
  std::vector<uint16_t> pixels(size_t(w) * size_t(h));
  boxFilter565(screen, w, h, pixels.data());
  const uint32_t image = uint32_t(w) * uint32_t(h) * 2;
  std::vector<uint8_t> out;
  out.reserve(kBmpHeader + image);
  ByteWriter b(out);
  b.u8('B');
  b.u8('M');
  b.u32(uint32_t(kBmpHeader) + image);
  b.u16(0);
  b.u16(0);
  b.u32(uint32_t(kBmpHeader));
  b.u32(40);
  b.u32(uint32_t(w));
  b.u32(uint32_t(h));
  b.u16(1);
  b.u16(16);
  b.u32(0);
  b.u32(image);
  for (int i = 0; i < 4; ++i) b.u32(0);
  out.resize(kBmpHeader + image);
  uint8_t* p = out.data() + kBmpHeader;
  for (int y = h - 1; y >= 0; --y)  // bottom-up
    for (int x = 0; x < w; ++x, p += 2) storeU16(p, pixels[size_t(y) * size_t(w) + size_t(x)]);
  return out;
}

std::optional<Picture> thumbnailPicture(std::span<const uint8_t> file, bool vga) {
  int w = 0, h = 0;
  thumbnailSize(vga, w, h);
  if (file.size() < kSaveBlockSize + kBmpHeader) return std::nullopt;
  if (loadU32(file.data() + save_field::kThumbnail) != kSaveBlockSize) return std::nullopt;
  const uint8_t* bmp = file.data() + kSaveBlockSize;
  if (bmp[0] != 'B' || bmp[1] != 'M' || loadU32(bmp + 18) != uint32_t(w) || loadU32(bmp + 22) != uint32_t(h))
    return std::nullopt;
  const size_t image = size_t(w) * size_t(h) * 2;
  if (file.size() - kSaveBlockSize - kBmpHeader < image) return std::nullopt;
  Picture pic;
  pic.width = uint32_t(w);
  pic.height = uint32_t(h);
  pic.designWidth = 160;
  pic.designHeight = 128;
  pic.pixels.resize(size_t(w) * size_t(h) * 4);
  const uint8_t* src = bmp + kBmpHeader;
  for (int y = 0; y < h; ++y) {
    const uint8_t* row = src + size_t(h - 1 - y) * size_t(w) * 2;
    for (int x = 0; x < w; ++x) {
      uint16_t v = loadU16(row + size_t(x) * 2);
      uint8_t* d = pic.pixel(uint32_t(x), uint32_t(y));
      d[0] = uint8_t((v & 0x1F) << 3);
      d[1] = uint8_t(((v >> 5) & 0x3F) << 2);
      d[2] = uint8_t(((v >> 11) & 0x1F) << 3);
      d[3] = 255;
    }
  }
  return pic;
}

std::optional<SaveFile> readSaveFile(std::span<const uint8_t> bytes, SaveFileError* why) {
  auto fail = [&](SaveFileError e) {
    if (why) *why = e;
    return std::nullopt;
  };
  SaveFileError e = SaveFileError::None;
  auto snapshot = readSaveBlock(bytes, &e);
  if (!snapshot) return fail(e);
  SaveFile f;
  f.snapshot = std::move(*snapshot);
  // The thumbnail: its offset and its header must lie within the file, and so must the size
  // the header gives.
  const uint64_t at = loadU32(bytes.data() + save_field::kThumbnail);
  if (at < kSaveBlockSize || at + kBmpHeader > bytes.size()) return fail(SaveFileError::Thumbnail);
  const uint8_t* bmp = bytes.data() + at;
  const uint64_t bmpSize = loadU32(bmp + 2);
  if (bmp[0] != 'B' || bmp[1] != 'M' || bmpSize < kBmpHeader || at + bmpSize > bytes.size())
    return fail(SaveFileError::Thumbnail);
  const size_t backlogAt = size_t(at + bmpSize);
  f.backlogAt = backlogAt;
  f.end = backlogAt;
  if (f.snapshot.version >= '3' && backlogAt < bytes.size()) {
    size_t used = 0;
    auto entries = parseBacklog(bytes.subspan(backlogAt), &used);
    if (!entries) return fail(SaveFileError::Backlog);
    f.backlog = std::move(*entries);
    f.end = backlogAt + used;
  }
  if (why) *why = SaveFileError::None;
  return f;
}

std::vector<uint8_t> buildSaveFile(std::span<const uint8_t, kSaveBlockSize> block, const SaveTime& t,
                                   std::span<const uint8_t> thumbnail, std::span<const uint8_t> backlogData) {
  std::vector<uint8_t> out(block.begin(), block.end());
  stampSaveTime(std::span<uint8_t, kSaveBlockSize>(out.data(), kSaveBlockSize), t);
  out.insert(out.end(), thumbnail.begin(), thumbnail.end());
  out.insert(out.end(), backlogData.begin(), backlogData.end());
  return out;
}

bool isCompleteSaveFile(std::span<const uint8_t> bytes) {
  auto f = readSaveFile(bytes);
  return f && f->snapshot.version >= '3' && f->end == bytes.size() && f->end > f->backlogAt;
}

}  // namespace sorel
