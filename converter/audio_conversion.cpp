#include "converter/audio_conversion.h"

#include <algorithm>

#include "converter/mp3_encoder.h"
#include "converter/wave_format.h"

namespace sorel {

SoundTarget soundTarget(int bitrateIndex, int rateIndex, bool stereo) {
  SoundTarget t;
  const int listValue = kBitrateTable[std::clamp(bitrateIndex, 0, 12)];
  t.format = {stereo ? 2 : 1, kRateTable[std::clamp(rateIndex, 0, 1)]};
  t.requestedKbps = stereo ? listValue : listValue / 2;
  t.kbps = nearestMp3Bitrate(t.requestedKbps, t.format.rate);
  return t;
}

std::optional<PcmSound> prepareSound(std::span<const uint8_t> waveBytes, const PcmFormat& target, std::string& problem) {
  WaveError waveError;
  auto wave = parseWave(waveBytes, &waveError);
  if (!wave) {
    problem = waveErrorText(waveError);
    return std::nullopt;
  }
  PcmError pcmError;
  auto pcm = decodeToPcm16(*wave, &pcmError);
  if (!pcm) {
    problem = pcmErrorText(pcmError);
    return std::nullopt;
  }
  if (pcm->format == target) return pcm;
  auto converted = acmConvert(pcm->format, target, pcm->samples);
  if (!converted) {
    problem = "cannot be converted to " + std::to_string(target.rate) + " Hz";
    return std::nullopt;
  }
  return PcmSound{target, std::move(*converted)};
}

std::vector<uint8_t> convertSound(std::span<const uint8_t> waveBytes, const SoundTarget& target, std::string& problem) {
  problem.clear();
  auto pcm = prepareSound(waveBytes, target.format, problem);
  if (!pcm) return {};
  if (pcm->samples.empty()) {
    problem = "no samples";
    return {};
  }
  // One encoder binding per sound: nothing of one sound's encoding reaches the next.
  Mp3EncoderModule encoder;
  if (!encoder.load()) {
    problem = "MP3 encoder not available";
    return {};
  }
  auto mp3 = encoder.encode(pcm->samples, pcm->format, target.kbps);
  encoder.unload();
  if (!mp3 || mp3->empty()) {
    problem = "the MP3 encoder refused " + std::to_string(target.kbps) + " kbit/s at " +
              std::to_string(target.format.rate) + " Hz";
    return {};
  }
  return std::move(*mp3);
}

}  // namespace sorel
