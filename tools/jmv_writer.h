#pragma once
// Making .jmv movies: frames encoded as JBP1 streams, the header and index the engine's reader
// checks, and the MP3 sound track beside it. Used by sorel-movie and the sample game.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

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

/// Largest frame side the tool makes (the player's 600-macroblock limit is checked as well).
constexpr uint32_t kMaxSide = 640;

/// Why a set of frames cannot be a movie; empty when it can.
std::string checkFrames(std::span<const Frame> frames, const MovieSettings& settings);

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

/// Encodes a WAVE file image to the MP3 sound track (22050 Hz, stereo at kbps, or mono at half
/// that when mono); empty with `problem` set when the WAVE cannot be used.
std::vector<uint8_t> soundTrack(std::span<const uint8_t> wave, int kbps, bool mono, std::string& problem);

/// What `sorel-movie info` prints: every header word and one line per index entry.
std::string describeMovie(std::span<const uint8_t> file);

/// Reads a PNG (any colour type) or a BMP frame; none with `problem` set.
std::optional<Frame> readFrameFile(const std::string& hostPath, std::string& problem);

}  // namespace sorel::jmvtool
