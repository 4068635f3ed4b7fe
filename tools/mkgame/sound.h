#pragma once
// Sounds for the sample game: integer tone synthesis for music and effects, speech through the
// espeak-ng program for voices, and RIFF/WAVE files in 16-bit PCM or IMA-ADPCM.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sorel::mkgame {

/// Interleaved 16-bit samples.
struct Pcm {
  int rate = 22050;
  int channels = 1;
  std::vector<int16_t> samples;
  size_t frames() const { return samples.size() / static_cast<size_t>(channels); }
};

/// A 16-bit PCM WAVE file.
std::vector<uint8_t> wavePcm16(const Pcm& pcm);
/// An IMA-ADPCM WAVE file (format tag 0x11, 512-byte blocks per channel, a fact chunk with the
/// true sample count; the last block is filled up with silence).
std::vector<uint8_t> waveImaAdpcm(const Pcm& pcm);

/// One note of a simple piece: start and length in frames, frequency in millihertz, loudness
/// 0..32767, stereo position -256 (left) .. 256 (right), timbre 0 (soft) .. 2 (bright).
struct Note {
  uint32_t start;
  uint32_t length;
  uint32_t milliHz;
  int loudness;
  int pan = 0;
  int timbre = 0;
};

/// Mixes the notes into silence of the given length; integer arithmetic only, so the same
/// notes always give the same samples. Each note has a short attack and a decay.
Pcm renderNotes(int rate, int channels, uint32_t frames, const std::vector<Note>& notes);

/// Noise shaped by an envelope (effects such as wind, steps and cheering), from a fixed seed.
Pcm renderNoise(int rate, int channels, uint32_t frames, uint32_t seed, int loudness, int smoothing,
                int attackFrames, int decayFrames);

/// Frequency in millihertz of a MIDI note number (equal temperament, table driven).
uint32_t noteHz(int midi);

/// Speaks text with espeak-ng (voice, pitch 0..99, words per minute) and returns the samples
/// with leading and trailing silence removed. None with `error` set when the program is missing
/// or fails.
std::optional<Pcm> speak(std::string_view text, std::string_view voice, int pitch, int speed, std::string& error);

}  // namespace sorel::mkgame
