#include "tools/mkgame/movie.h"

#include <algorithm>

#include "tools/jmv_writer.h"
#include "tools/mkgame/canvas.h"
#include "tools/mkgame/sound.h"

namespace sorel::mkgame {

namespace {

constexpr int kWidth = 320, kHeight = 240;
constexpr uint32_t kFps = 15;
constexpr uint32_t kFrameCount = 60;  // 4 s

/// Frame i: stars come out over a night sky while the title rises and a wish-star falls.
jmvtool::Frame openingFrame(uint32_t i) {
  Canvas c(kWidth, kHeight);
  const int t = int(i * 256 / (kFrameCount - 1));
  c.gradient(0, 0, kWidth, kHeight, Rgb{uint8_t(10 + t / 16), 12, uint8_t(40 + t / 8)}, Rgb{uint8_t(90 - t / 4), 40, 90});
  // Fixed stars that appear one after another.
  for (uint32_t s = 0; s < 40 && s < i; ++s) {
    const int x = int((s * 97 + 13) % kWidth), y = int((s * 53 + 7) % (kHeight * 2 / 3));
    c.fillRect(x, y, 2, 2, Rgb{255, 255, uint8_t(180 + s % 3 * 30)});
  }
  // A falling wish-star with a tail.
  const int sx = 20 + int(i) * 4, sy = 10 + int(i) * 2;
  for (int k = 0; k < 12; ++k) c.fillRect(sx - k * 4, sy - k * 2, 3, 2, Rgb{uint8_t(255 - k * 18), uint8_t(230 - k * 16), 120});
  c.fillEllipse(sx, sy, 4, 4, Rgb{255, 250, 200});
  // The hill and the school's silhouette.
  c.fillEllipse(kWidth / 2, kHeight + 60, kWidth, 100, Rgb{14, 30, 24});
  c.fillRect(200, 150, 70, 40, Rgb{20, 24, 36});
  c.fillRect(228, 130, 14, 20, Rgb{20, 24, 36});
  // The title rises into place over the second half.
  if (i >= kFrameCount / 3) {
    const int rise = std::max(0, int(kFrameCount * 2 / 3) - int(i)) * 2;
    c.label(40, 60 + rise, 240, 40, "LUMENWISH", Rgb{255, 240, 200}, Rgb{30, 30, 70});
  }
  jmvtool::Frame f{kWidth, kHeight, std::vector<uint8_t>(size_t(kWidth) * kHeight * 3)};
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      const Rgb p = c.at(x, y);
      uint8_t* o = f.bgr.data() + (size_t(y) * kWidth + size_t(x)) * 3;
      o[0] = p.b;
      o[1] = p.g;
      o[2] = p.r;
    }
  return f;
}

/// The opening's music: a rising arpeggio that settles on a long chord.
Pcm openingMusic() {
  const int rate = 22050;
  const uint32_t step = uint32_t(rate) / 6;
  std::vector<Note> notes;
  const int scale[8] = {0, 4, 7, 11, 12, 16, 19, 23};
  for (int i = 0; i < 14; ++i)
    notes.push_back({uint32_t(i) * step, step * 3, noteHz(62 + scale[i % 8] + (i >= 8 ? 2 : 0)), 8000, (i % 2) ? 100 : -100, 1});
  for (int n : {62, 66, 69, 74}) notes.push_back({14 * step, uint32_t(rate) * 3 / 2, noteHz(n), 5000, 0, 0});
  return renderNotes(rate, 2, uint32_t(rate) * kFrameCount / kFps, notes);
}

}  // namespace

std::vector<LooseFile> openingMovie(std::string& error) {
  std::vector<jmvtool::Frame> frames;
  for (uint32_t i = 0; i < kFrameCount; ++i) frames.push_back(openingFrame(i));
  jmvtool::MovieSettings settings;
  settings.fps = kFps;
  settings.quality = 80;
  settings.soundTrack = true;
  auto movie = jmvtool::makeMovie(frames, settings, error);
  if (movie.empty()) return {};
  auto mp3 = jmvtool::soundTrack(wavePcm16(openingMusic()), 64, false, error);
  if (mp3.empty()) return {};
  return {{"Movie\\Opening.jmv", std::move(movie)}, {"Movie\\Opening.mp3", std::move(mp3)}};
}

}  // namespace sorel::mkgame
