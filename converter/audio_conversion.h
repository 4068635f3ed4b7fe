#pragma once
// One WAVE member of the game's sound archives to one MP3 for the engine: parse, bring any
// coding to 16-bit PCM, bring that to the target rate and channels, encode. Everything happens
// in memory, one member at a time.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "converter/pcm_convert.h"

namespace sorel {

/// Bitrates of the lists' positions 0..12 in kbit/s for a stereo target; a mono target uses
/// half ("16/8kbit" … "320/160kbit" for music, "8kbit" … "160kbit" for voices).
constexpr int kBitrateTable[13] = {16, 32, 48, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
/// Sampling rates of the lists' positions 0..1.
constexpr int kRateTable[2] = {22050, 44100};

/// What one group of sounds is encoded to.
struct SoundTarget {
  PcmFormat format;       ///< the PCM the encoder gets
  int requestedKbps = 0;  ///< the list's value for that channel count
  int kbps = 0;           ///< what MPEG audio allows at the rate: the requested value or the nearest
};

/// The target of a bitrate and a rate list position (each clamped to its list) and the stereo
/// flag. At 22050 Hz MPEG audio ends at 160 kbit/s and at 44100 Hz starts at 32 kbit/s; a list
/// value beyond that is encoded at the nearest bitrate there is.
SoundTarget soundTarget(int bitrateIndex, int rateIndex, bool stereo);

/// The sound as the encoder gets it: decoded to 16-bit PCM when it is coded otherwise, then
/// converted to the target format unless rate and channels already agree (then the samples are
/// the file's own). Empty with `problem` set when the member cannot be used.
std::optional<PcmSound> prepareSound(std::span<const uint8_t> waveBytes, const PcmFormat& target, std::string& problem);

/// The whole chain for one member. Returns the MP3 stream, or an empty vector with `problem`
/// set (not a usable WAVE file, a coding that cannot be decoded, no samples, the encoder
/// failed).
std::vector<uint8_t> convertSound(std::span<const uint8_t> waveBytes, const SoundTarget& target, std::string& problem);

}  // namespace sorel
