#include "engine/audio/movie_player.h"

#include <algorithm>

#include "engine/audio/jmv_format.h"
#include "engine/audio/sound_mixer.h"
#include "engine/graphics/backends/display_backend.h"
#include "engine/resources/sjis_text.h"
#include "engine/resources/ticks.h"
#include "platform/clock.h"
#include "platform/files.h"

namespace sorel {

namespace movie {

namespace {

/// Frame-buffer steps in 16-bit units: along a logical row (x + 1) and down a column (y + 1).
struct Steps {
  ptrdiff_t right;
  ptrdiff_t down;
};

inline Steps stepsOf(const platform::DisplayProperties& p) { return {-ptrdiff_t(p.cbyPitch / 2), ptrdiff_t(p.cbxPitch / 2)}; }

inline uint16_t* pixelAt(uint8_t* fp, const platform::DisplayProperties& p, int W, int x, int y) {
  return reinterpret_cast<uint16_t*>(fp + platform::logicalOffset(p, W, x, y));
}

void drawOneToOne(uint16_t* out, Steps s, const uint16_t* src, size_t stride, int w, int h) {
  for (int y = 0; y < h; ++y, src += stride, out += s.down) {
    uint16_t* o = out;
    for (int x = 0; x < w; ++x, o += s.right) *o = src[x];
  }
}

void drawDoubled(uint16_t* out, Steps s, const uint16_t* src, size_t stride, int w, int h) {
  for (int y = 0; y < h; ++y, src += stride, out += 2 * s.down) {
    uint16_t* o0 = out;
    uint16_t* o1 = out + s.down;
    for (int x = 0; x < w; ++x, o0 += 2 * s.right, o1 += 2 * s.right) {
      const uint16_t a = src[x];
      o0[0] = a;
      o0[s.right] = a;
      o1[0] = a;
      o1[s.right] = a;
    }
  }
}

void drawInterpolated(uint16_t* out, Steps s, const uint16_t* src, size_t stride, int w, int h) {
  for (int y = 0; y < h; ++y, src += stride, out += 2 * s.down) {
    uint16_t* o0 = out;
    uint16_t* o1 = out + s.down;
    if (y == h - 1) {
      // The last row is doubled as it is.
      drawDoubled(out, s, src, stride, w, 1);
      break;
    }
    const uint16_t* below = src + stride;
    uint16_t a = src[0], c = below[0];
    for (int x = 0; x + 1 < w; ++x, o0 += 2 * s.right, o1 += 2 * s.right) {
      const uint16_t b = src[x + 1], d = below[x + 1];
      o0[0] = a;
      o0[s.right] = avg2(a, b);
      o1[0] = avg2(a, c);
      o1[s.right] = avg4(a, b, c, d);
      a = b;
      c = d;
    }
    // The last column is doubled as it is.
    o0[0] = a;
    o0[s.right] = a;
    o1[0] = a;
    o1[s.right] = a;
  }
}

}  // namespace

void drawFrame(uint8_t* fp, const platform::DisplayProperties& p, int screenWidth, const uint16_t* src, size_t stride,
               int w, int h, int x0, int y0, Scale scale) {
  if (!fp || !src || w <= 0 || h <= 0) return;
  uint16_t* out = pixelAt(fp, p, screenWidth, x0, y0);
  const Steps s = stepsOf(p);
  switch (scale) {
    case Scale::OneToOne: drawOneToOne(out, s, src, stride, w, h); break;
    case Scale::Doubled: drawDoubled(out, s, src, stride, w, h); break;
    case Scale::Interpolated: drawInterpolated(out, s, src, stride, w, h); break;
  }
}

void clearScreen(uint8_t* fp, const platform::DisplayProperties& p, int W, int H) {
  if (!fp) return;
  const Steps s = stepsOf(p);
  uint16_t* row = pixelAt(fp, p, W, 0, 0);
  for (int y = 0; y < H; ++y, row += s.down) {
    uint16_t* o = row;
    for (int x = 0; x < W; ++x, o += s.right) *o = 0;
  }
}

std::string moviePath(std::string_view folder, std::string_view name) {
  name = untilNul(name);
  if (auto slash = lastCharOf(name, '/')) name = name.substr(*slash + 1);
  return std::string(folder) + replaceExtension(name, ".jmv");
}

}  // namespace movie

MoviePlayer::~MoviePlayer() { close(); }

void MoviePlayer::close() {
  m_reader.stop();
  m_pixels = {};
  m_scratch = {};
  m_display = nullptr;
  m_mixer = nullptr;
  m_open = false;
  m_hasSound = false;
}

MovieRefusal MoviePlayer::open(std::string_view requested, DisplayBackend& display, SoundMixer* mixer, int volume,
                               bool wholeFile, bool interpolate) {
  close();
  // The movie and its sound track may have been copied from a system that ignores letter case
  // ("OPENING.JMV" for the script's "opening").
  const std::string path = platform::existingPath(requested);
  if (!display.isOpen()) return MovieRefusal::DoesNotFitScreen;
  if (!platform::fileExists(path)) return MovieRefusal::NoFile;
  if (MovieRefusal r = m_reader.open(path, jmv::kBufferBytes); r != MovieRefusal::None) return r;
  const MovieHeader& h = m_reader.header();
  const int W = display.logicalWidth(), H = display.logicalHeight();
  const bool vga = W >= int(jmv::kWideFrame);
  const uint64_t coverW = vga ? 2ull * h.width : h.width, coverH = vga ? 2ull * h.height : h.height;
  m_props = display.displayProperties();
  if (coverW > uint64_t(W) || coverH > uint64_t(H) || (m_props.cbxPitch & 1) || (m_props.cbyPitch & 1) ||
      m_props.cBPP != 16) {
    m_reader.stop();
    return MovieRefusal::DoesNotFitScreen;
  }
  if (!m_reader.start()) {
    m_reader.stop();
    return MovieRefusal::NoThread;
  }
  m_display = &display;
  m_screenWidth = W;
  m_screenHeight = H;
  m_scale = !vga ? movie::Scale::OneToOne : interpolate ? movie::Scale::Interpolated : movie::Scale::Doubled;
  m_x0 = W / 2 - int(coverW / 2);
  m_y0 = H / 2 - int(coverH / 2);
  // The decoder writes whole macroblocks: room for the frame's aligned size.
  m_pixels.assign(size_t((h.width + 15) / 16 * 16) * ((h.height + 15) / 16 * 16), 0);
  m_scratch.assign(m_pixels.size(), 0);
  initDecoder(m_decoder);
  m_decoder.output = m_pixels;
  m_mixer = mixer;
  m_open = true;
  m_shown = 0;
  m_drawn = m_skipped = m_bad = 0;

  if (uint8_t* fp = display.beginDraw()) {
    movie::clearScreen(fp, m_props, W, H);
    display.endDraw();
  }
  drawFrameNumber(0);

  // The sound track: the same name with ".mp3". It clocks the frames only when it really plays.
  const std::string mp3 = platform::existingPath(replaceExtension(path, ".mp3"));
  if (mixer && mixer->outputOpen() && platform::fileExists(mp3)) {
    const auto cut = lastCharOf(mp3, '\\');
    const std::string folder = cut ? mp3.substr(0, *cut + 1) : std::string();
    const std::string name = cut ? mp3.substr(*cut + 1) : mp3;
    m_hasSound = mixer->play(movie::kTrackSlot, name, folder, nullptr, volume, 0, false, true, wholeFile);
  }
  m_start = ticks();
  return MovieRefusal::None;
}

void MoviePlayer::repaint() {
  if (!m_open) return;
  if (uint8_t* fp = m_display->beginDraw()) {
    movie::clearScreen(fp, m_props, m_screenWidth, m_screenHeight);
    // The decoder's buffer still holds the frame drawn last.
    const MovieHeader& h = m_reader.header();
    if (m_drawn > 0)
      movie::drawFrame(fp, m_props, m_screenWidth, m_pixels.data(), (h.width + 15) / 16 * 16, int(h.width),
                       int(h.height), m_x0, m_y0, m_scale);
    m_display->endDraw();
  }
}

bool MoviePlayer::drawFrameNumber(uint32_t f) {
  std::span<const uint8_t> bytes;
  if (!m_reader.frame(f, bytes)) return false;
  // A frame of another size than the movie's is skipped: its pixels would not fit the picture.
  Jbp1Decoder probe;
  probe.input = bytes;
  const MovieHeader& h = m_reader.header();
  // A frame that fails half-way must leave neither its macroblocks nor its quantisation tables
  // behind: it is decoded into the scratch buffer by a copy of the decoder, and both are taken
  // only when the whole frame decoded.
  Jbp1Decoder trial = m_decoder;
  trial.output = m_scratch;
  if (!parseHeader(probe) || probe.width != h.width || probe.height != h.height || !decodeMovieFrame(trial, bytes)) {
    ++m_bad;
    return true;
  }
  std::swap(m_pixels, m_scratch);
  m_decoder = std::move(trial);
  m_decoder.output = m_pixels;
  if (uint8_t* fp = m_display->beginDraw()) {
    movie::drawFrame(fp, m_props, m_screenWidth, m_pixels.data(), m_decoder.alignedWidth, int(h.width),
                     int(h.height), m_x0, m_y0, m_scale);
    m_display->endDraw();
  }
  ++m_drawn;
  return true;
}

uint64_t MoviePlayer::clockFrame() {
  const uint32_t fps = m_reader.header().fps;
  if (m_hasSound) {
    const int32_t p = m_mixer->positionMs(movie::kTrackSlot);
    if (p < 0) return UINT64_MAX;  // the sound track has ended: so has the movie
    return uint64_t(fps) * uint64_t(p) / 1000;
  }
  return uint64_t(ticks() - m_start) * fps / 1000;
}

bool MoviePlayer::step() {
  if (!m_open) return false;
  const uint64_t f = clockFrame();
  if (f != m_shown) {
    if (f >= m_reader.frameCount()) return false;
    if (!drawFrameNumber(uint32_t(f))) return false;  // the frame could not be read in time
    if (f > m_shown) m_skipped += uint32_t(f - m_shown - 1);
    m_shown = uint32_t(f);
  }
  platform::sleepMs(1);
  return true;
}

}  // namespace sorel
