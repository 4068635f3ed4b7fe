#pragma once
// Test sound data: signals generated in the test, encoded to MP3 with LAME in memory, and the
// folders the tests write them into.
#include <lame/lame.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/audio/decoder_module.h"
#include "platform/files.h"

namespace sorel::testing {

/// Interleaved sine, the same on every channel unless shiftRight moves the right side by a
/// quarter turn.
inline std::vector<int16_t> sine(double hz, double amplitude, int frames, int rate, int channels,
                                 bool shiftRight = false) {
  std::vector<int16_t> pcm(static_cast<size_t>(frames) * static_cast<size_t>(channels));
  const double kTwoPi = 6.283185307179586;
  for (int i = 0; i < frames; ++i)
    for (int c = 0; c < channels; ++c) {
      double phase = kTwoPi * hz * i / rate + (shiftRight && c == 1 ? kTwoPi / 4 : 0);
      pcm[static_cast<size_t>(i * channels + c)] = static_cast<int16_t>(std::lround(amplitude * std::sin(phase)));
    }
  return pcm;
}

/// CBR MP3 of interleaved PCM. Without infoFrame the stream is plain frames; with it LAME's
/// "Info" frame (which decodes to no samples) comes first.
inline std::vector<uint8_t> encodeMp3(const std::vector<int16_t>& pcm, int channels, int rate, int kbps,
                                      bool infoFrame = false) {
  lame_t gf = lame_init();
  lame_set_num_channels(gf, channels);
  lame_set_in_samplerate(gf, rate);
  lame_set_out_samplerate(gf, rate);
  lame_set_VBR(gf, vbr_off);
  lame_set_brate(gf, kbps);
  lame_set_mode(gf, channels == 1 ? MONO : JOINT_STEREO);
  lame_set_quality(gf, 7);
  lame_set_bWriteVbrTag(gf, infoFrame ? 1 : 0);
  if (lame_init_params(gf) < 0) {
    lame_close(gf);
    return {};
  }
  int frames = static_cast<int>(pcm.size()) / channels;
  std::vector<uint8_t> out(static_cast<size_t>(frames) * 5 / 4 + 16384);
  std::vector<int16_t> pcmCopy(pcm);
  int n = channels == 2
              ? lame_encode_buffer_interleaved(gf, pcmCopy.data(), frames, out.data(), static_cast<int>(out.size()))
              : lame_encode_buffer(gf, pcmCopy.data(), pcmCopy.data(), frames, out.data(), static_cast<int>(out.size()));
  int m = n >= 0 ? lame_encode_flush(gf, out.data() + n, static_cast<int>(out.size()) - n) : -1;
  if (n < 0 || m < 0) {
    lame_close(gf);
    return {};
  }
  out.resize(static_cast<size_t>(n + m));
  if (infoFrame) {
    // The Info frame is written by LAME in place of the empty first frame it reserved.
    std::vector<uint8_t> tag(4096);
    size_t t = lame_get_lametag_frame(gf, tag.data(), tag.size());
    if (t > 0 && t <= out.size()) std::copy(tag.begin(), tag.begin() + static_cast<long>(t), out.begin());
  }
  lame_close(gf);
  return out;
}

/// A fresh folder for one test below SOREL_TEST_TMP; returns its host path.
inline std::filesystem::path testFolder(const std::string& name) {
  std::filesystem::path p = std::filesystem::path(SOREL_TEST_TMP) / "audio" / name;
  std::filesystem::remove_all(p);
  std::filesystem::create_directories(p);
  return p;
}

/// System path (CP932, '\') of a host path, with a trailing '\' for folders.
inline std::string systemFolder(const std::filesystem::path& host) {
  auto s = platform::systemPath(host.string());
  return s ? *s + "\\" : std::string();
}

inline bool writeFile(const std::filesystem::path& host, const std::vector<uint8_t>& bytes) {
  auto s = platform::systemPath(host.string());
  return s && platform::writeWholeFile(*s, bytes, false);
}

/// Binds the freshly built Quillon.ovl from the programs' folder.
inline bool loadBuiltDecoder() { return loadDecoderModule(systemFolder(SOREL_BIN_DIR)); }

}  // namespace sorel::testing
