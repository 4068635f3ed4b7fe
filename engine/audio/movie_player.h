#pragma once
// The movie player: one .jmv movie read by a MovieReader, its frames decoded as JBP1 movie
// frames and drawn straight into the display's frame buffer through the logical mapping,
// centred, 1:1 on a screen narrower than 640 and doubled (with or without interpolation) on a
// 640-wide one; an optional sound track (the .mp3 of the same name) on mixer slot 0 clocks the
// frames, the engine clock does without one. Frames the clock passes over are never decoded.
//
//   MoviePlayer movie;
//   if (movie.open(path, display, &mixer, volume, wholeFile, interpolate) == MovieRefusal::None)
//     while (movie.step()) { ... show the device when movie.framesDrawn() moved ... }
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/audio/movie_reader.h"
#include "engine/graphics/jbp1_decoder.h"
#include "platform/display.h"

namespace sorel {

class DisplayBackend;
class SoundMixer;

namespace movie {

/// The mixer slot of a movie's sound track (the music slot).
constexpr int kTrackSlot = 0;

/// The mean of two RGB565 pixels by masks: each channel's upper bits halved and summed, its low
/// bit kept only where both pixels have it (so 63 and 1 give 31).
constexpr uint16_t avg2(uint16_t p, uint16_t q) {
  return static_cast<uint16_t>((p & q & 0x0821) | (((p & 0xF7DE) + (q & 0xF7DE)) >> 1));
}
/// The mean of four RGB565 pixels by masks: each channel's upper bits quartered and summed, its
/// two low bits kept only where all four pixels have them.
constexpr uint16_t avg4(uint16_t p, uint16_t q, uint16_t r, uint16_t s) {
  return static_cast<uint16_t>((p & q & r & s & 0x1863) |
                               (((p & 0xE79C) + (q & 0xE79C) + (r & 0xE79C) + (s & 0xE79C)) >> 2));
}

enum class Scale { OneToOne, Doubled, Interpolated };

/// Draws a w × h RGB565 frame (rows `stride` pixels apart) with its top-left corner at logical
/// (x0, y0) of a screen screenWidth wide, through the mapping frame pointer + (W − 1 − x) ×
/// cbyPitch + y × cbxPitch. Doubled and Interpolated cover 2w × 2h; Interpolated fills each 2 × 2
/// block from the pixel, its right and lower neighbours (avg2, avg4), the last column and row
/// doubled. The caller guarantees that the covered rectangle lies on the screen and that both
/// pitches are even.
void drawFrame(uint8_t* framePointer, const platform::DisplayProperties& p, int screenWidth, const uint16_t* src,
               size_t stride, int w, int h, int x0, int y0, Scale scale);

/// Fills the whole logical screen with black through the mapping.
void clearScreen(uint8_t* framePointer, const platform::DisplayProperties& p, int screenWidth, int screenHeight);

/// The path of a movie: folder, then the part of name after its last '/' (all of it when it has
/// none) with the text from its last '.' replaced by ".jmv" (".jmv" appended when it has none).
std::string moviePath(std::string_view folder, std::string_view name);

}  // namespace movie

class MoviePlayer {
 public:
  MoviePlayer() = default;
  ~MoviePlayer();  ///< close()
  MoviePlayer(const MoviePlayer&) = delete;
  MoviePlayer& operator=(const MoviePlayer&) = delete;

  /// Opens the movie at a system path on an open display: checks it (a refusal leaves nothing
  /// open and the screen untouched), starts the reader, clears the screen to black and draws
  /// frame 0, then starts the sound track (path with ".mp3") on slot 0 of the mixer at volume
  /// 0..100 when it exists and the mixer's output plays. Without a sound track the engine clock
  /// times the frames.
  MovieRefusal open(std::string_view path, DisplayBackend& display, SoundMixer* mixer, int volume, bool wholeFile,
                    bool interpolate);
  /// One pass: draws the frame the clock has reached when it is a new one. False when the movie
  /// has ended (the last frame passed, the sound track ended, or a frame could not be read);
  /// slot 0 is then left to the caller.
  bool step();
  /// Draws the screen again: black, and the frame shown last (after something drew over it).
  void repaint();
  /// Stops the reader and frees everything (not the sound: slot 0 belongs to the caller).
  void close();

  bool isOpen() const { return m_open; }
  bool hasSound() const { return m_hasSound; }
  const MovieHeader& header() const { return m_reader.header(); }
  /// The frame drawn last.
  uint32_t shownFrame() const { return m_shown; }
  /// Frames decoded and drawn, frame 0 included.
  uint32_t framesDrawn() const { return m_drawn; }
  /// Frames the clock passed over without decoding them.
  uint32_t skippedFrames() const { return m_skipped; }
  /// Frames whose picture was damaged or of the wrong size (not drawn).
  uint32_t badFrames() const { return m_bad; }
  MovieReader& reader() { return m_reader; }

 private:
  /// Decodes frame f and draws it; false (nothing drawn) for a damaged frame or one whose size
  /// is not the movie's.
  bool drawFrameNumber(uint32_t f);
  /// The frame the clock has reached; frameCount() or more when the movie is over.
  uint64_t clockFrame();

  MovieReader m_reader;
  Jbp1Decoder m_decoder;
  std::vector<uint16_t> m_pixels;   ///< the last frame decoded whole, which a repaint shows
  std::vector<uint16_t> m_scratch;  ///< where the next frame is decoded
  DisplayBackend* m_display = nullptr;
  platform::DisplayProperties m_props;
  int m_screenWidth = 0, m_screenHeight = 0;
  int m_x0 = 0, m_y0 = 0;
  movie::Scale m_scale = movie::Scale::OneToOne;
  SoundMixer* m_mixer = nullptr;
  bool m_open = false;
  bool m_hasSound = false;
  uint32_t m_start = 0;
  uint32_t m_shown = 0;
  uint32_t m_drawn = 0;
  uint32_t m_skipped = 0;
  uint32_t m_bad = 0;
};

}  // namespace sorel
