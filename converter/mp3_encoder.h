#pragma once
// The MP3 encoder module: LAME, linked into the converter, behind the module interface the
// converter drives (load, version, encode, unload). It writes plain constant-bitrate MPEG audio
// Layer III without a leading Xing/Info frame or tags, the stream the engine's decoder module
// plays frame by frame: MPEG-1 at 44100 Hz, MPEG-2 at 22050 Hz.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "converter/pcm_convert.h"

namespace sorel {

/// Bitrates MPEG audio Layer III allows at a sampling rate (kbit/s, ascending); empty for a rate
/// that is neither an MPEG-1 nor an MPEG-2 rate.
std::span<const int> mp3Bitrates(int rate);
/// The allowed bitrate at that rate nearest to kbps (the lower one on a tie); 0 when the rate
/// has none.
int nearestMp3Bitrate(int kbps, int rate);

class Mp3EncoderModule {
 public:
  /// Binds the encoder. The encoder is linked in, so this fails only when it cannot report its
  /// version (a broken library). True when bound.
  bool load();
  bool loaded() const { return m_loaded; }
  /// The encoder's version text ("LAME 3.100"); empty when not loaded.
  std::string version() const;
  /// Encodes interleaved 16-bit PCM of that format at kbps, mono when the format has one
  /// channel. None when not loaded, or when the encoder refuses the configuration (a rate or
  /// bitrate that MPEG audio does not allow together, checked with mp3Bitrates) or fails.
  std::optional<std::vector<uint8_t>> encode(std::span<const int16_t> pcm, const PcmFormat& format, int kbps);
  /// Releases the encoder.
  void unload() { m_loaded = false; }

 private:
  bool m_loaded = false;
};

}  // namespace sorel
