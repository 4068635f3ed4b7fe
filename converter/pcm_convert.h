#pragma once
// Sample format conversion for the audio steps: any coding a WAVE file may hold (ADPCM, 8- to
// 32-bit PCM, float, A-law, ...) decoded to 16-bit PCM, and 16-bit PCM brought to another rate
// and channel count. Decoding goes through libsndfile, resampling through libsoxr; mono ⇄
// stereo is done here because neither library mixes channels.
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "converter/wave_format.h"

namespace sorel {

/// 16-bit interleaved PCM: channels and rate; block align = channels × 2.
struct PcmFormat {
  int channels = 0;
  int rate = 0;
  int blockAlign() const { return channels * 2; }
  int bytesPerSecond() const { return rate * blockAlign(); }
  bool operator==(const PcmFormat&) const = default;
};

/// Interleaved 16-bit samples in a format.
struct PcmSound {
  PcmFormat format;
  std::vector<int16_t> samples;
  size_t frames() const { return format.channels > 0 ? samples.size() / static_cast<size_t>(format.channels) : 0; }
};

/// Longest PCM the conversion makes in one piece (256 MiB: about 25 minutes of 44100 Hz stereo).
constexpr uint64_t kMaxPcmBytes = uint64_t{256} << 20;

/// Why a sound could not be brought to PCM.
enum class PcmError { None, BadFormat, Undecodable, TooLong };
std::string_view pcmErrorText(PcmError e);

/// The sound as 16-bit PCM at its own rate and channel count. 16-bit PCM is taken as it is
/// (whole frames only); everything else is decoded. A compressed sound whose "fact" chunk names
/// fewer frames than its blocks hold is cut to that length. Only 1 or 2 channels and rates of
/// 1000..384000 Hz are accepted. None (and the reason) otherwise.
std::optional<PcmSound> decodeToPcm16(const WaveSound& wave, PcmError* error = nullptr);

/// The conversion stream: 16-bit PCM of one format brought to another (rate through a
/// high-quality resampler, stereo to mono as the mean of both sides, mono to stereo as the same
/// samples on both). None when a format is unusable or the result would pass kMaxPcmBytes.
std::optional<std::vector<int16_t>> acmConvert(const PcmFormat& from, const PcmFormat& to,
                                               std::span<const int16_t> samples);

}  // namespace sorel
