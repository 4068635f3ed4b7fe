#pragma once
// Making .jmv movies: frames encoded as JBP1 streams, the header and index the engine's reader
// checks, and the MP3 sound track beside it. Used by sorel-movie and the sample game.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "converter/pcm_convert.h"
#include "engine/audio/movie_reader.h"

namespace sorel::jmvtool {

/// One frame: bytes blue, green, red, rows top-down, no gaps.
struct Frame {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint8_t> bgr;
};

/// What makes a movie, frames besides.
struct MovieSettings {
  uint32_t fps = 15;
  int quality = 80;       ///< JPEG quality 1..100 of the frames
  bool soundTrack = false;  ///< recorded in the header's flags word (the player does not read it)
};

/// Largest movie the players show: 320 × 240 is the whole screen of handheldplayer, and
/// pocketplayer draws every movie doubled on its 640 × 480 screen.
constexpr uint32_t kMaxWidth = 320;
constexpr uint32_t kMaxHeight = 240;
/// Largest picture file taken as a frame (it is scaled to the movie's size).
constexpr uint32_t kMaxFrameFileSide = 8192;

/// Why a set of frames cannot be a movie; empty when it can. names (empty, or one per frame)
/// name the frames in the reasons.
std::string checkFrames(std::span<const Frame> frames, const MovieSettings& settings,
                        std::span<const std::string> names = {});

/// A movie made one frame at a time: each frame is encoded when it is added, so a long movie
/// never holds more than its encoded frames.
class MovieBuilder {
 public:
  MovieBuilder(uint32_t width, uint32_t height, const MovieSettings& settings)
      : m_width(width), m_height(height), m_settings(settings) {}
  /// Encodes the next frame, which must have the movie's size. False with `problem` set when it
  /// cannot be encoded or is too large for the player's frame buffer.
  bool add(const Frame& frame, std::string& problem);
  uint32_t frames() const { return uint32_t(m_streams.size()); }
  /// Records in the header whether a sound track goes with the movie.
  void setSoundTrack(bool on) { m_settings.soundTrack = on; }
  /// The whole .jmv file of the frames added.
  std::vector<uint8_t> finish() const;

 private:
  uint32_t m_width, m_height;
  MovieSettings m_settings;
  std::vector<std::vector<uint8_t>> m_streams;
  uint64_t m_bytes = 0;
};

/// The whole .jmv file of the frames; empty with `problem` set when checkFrames refuses or a
/// frame cannot be encoded. progress (may be null) is called after each frame with its number.
std::vector<uint8_t> makeMovie(std::span<const Frame> frames, const MovieSettings& settings, std::string& problem,
                               void (*progress)(uint32_t done, uint32_t total, void* context) = nullptr,
                               void* context = nullptr);

/// The same from JBP1 streams that were already encoded (tests build crafted movies with it).
std::vector<uint8_t> assembleMovie(const std::vector<std::vector<uint8_t>>& jbp1Frames, uint32_t width,
                                   uint32_t height, const MovieSettings& settings);

/// A generated test animation: frame i of count at w × h: a sky gradient, a sun crossing from
/// left to right, a bar that fills with the frame number and the frame number as digits.
Frame testFrame(uint32_t i, uint32_t count, uint32_t width, uint32_t height);

/// A 16-bit PCM WAVE file of interleaved samples.
std::vector<uint8_t> waveFile(std::span<const int16_t> samples, int rate, int channels);

/// A generated sound track: a short rising tune of `ms` milliseconds at 22050 Hz stereo with a
/// click at every second, so that a listener hears the sound and the frames keep time.
std::vector<int16_t> testSound(uint32_t ms);

/// The sound track's PCM: 22050 Hz, stereo or mono.
PcmFormat soundTrackFormat(bool mono);
/// A WAVE file image (any coding) as the sound track's PCM; none with `problem` set.
std::optional<PcmSound> soundTrackPcm(std::span<const uint8_t> wave, bool mono, std::string& problem);

/// Silence the sound track carries behind the last frame. The player ends a movie when its sound
/// ends, and it learns that only once the output has played the buffers still queued: without
/// this tail the last frames of the movie would never be shown. The player stops the sound at
/// the end of the frames, so the tail is never heard.
constexpr uint32_t kSoundTailMs = 1000;

/// What fitSound did to a sound to make it last as long as the frames.
enum class SoundFit { Exact, Padded, Cut };
/// Makes the sound as long as `frames` frames at fps (cut, or padded with silence), then adds the
/// kSoundTailMs of silence. Exact when the sound was within a millisecond of the frames' length.
SoundFit fitSound(PcmSound& pcm, uint32_t frames, uint32_t fps);
/// Milliseconds of a sound.
uint64_t soundMs(const PcmSound& pcm);

/// Encodes the sound track's PCM to MP3 at kbps for stereo (half that for mono); empty with
/// `problem` set.
std::vector<uint8_t> encodeSoundTrack(const PcmSound& pcm, int kbps, std::string& problem);

/// soundTrackPcm and encodeSoundTrack in one: a WAVE file image to the MP3 sound track, as long as
/// the WAVE (22050 Hz, stereo at kbps, or mono at half that when mono); empty with `problem` set
/// when the WAVE cannot be used.
std::vector<uint8_t> soundTrack(std::span<const uint8_t> wave, int kbps, bool mono, std::string& problem);

/// What `sorel-movie info` prints: every header word and one line per index entry.
std::string describeMovie(std::span<const uint8_t> file);

/// Reads a PNG (any colour type) or a BMP frame of any size up to kMaxFrameFileSide; none with
/// `problem` set.
std::optional<Frame> readFrameFile(const std::string& hostPath, std::string& problem);

}  // namespace sorel::jmvtool
