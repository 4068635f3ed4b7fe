#include "converter/pcm_convert.h"

#include <sndfile.h>
#include <soxr.h>

#include <algorithm>
#include <cstring>

#include "engine/resources/byte_io.h"

namespace sorel {

namespace {

// Rates a sound may have: below 1000 Hz a file is broken rather than sound, and its conversion
// to the engine's rates would only blow up its size.
constexpr int kMinRate = 1000;
constexpr int kMaxRate = 384000;

bool usable(const PcmFormat& f) {
  return f.channels >= 1 && f.channels <= 2 && f.rate >= kMinRate && f.rate <= kMaxRate;
}

/// A read-only file in memory for libsndfile's virtual I/O.
struct MemoryFile {
  std::span<const uint8_t> bytes;
  sf_count_t pos = 0;

  static sf_count_t length(void* self) { return static_cast<sf_count_t>(static_cast<MemoryFile*>(self)->bytes.size()); }
  static sf_count_t seek(sf_count_t offset, int whence, void* self) {
    auto* f = static_cast<MemoryFile*>(self);
    const sf_count_t size = static_cast<sf_count_t>(f->bytes.size());
    sf_count_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? f->pos : size;
    sf_count_t to = base + offset;
    if (to < 0 || to > size) return -1;
    f->pos = to;
    return to;
  }
  static sf_count_t read(void* out, sf_count_t count, void* self) {
    auto* f = static_cast<MemoryFile*>(self);
    const sf_count_t size = static_cast<sf_count_t>(f->bytes.size());
    sf_count_t n = std::clamp<sf_count_t>(count, 0, size - f->pos);
    if (n > 0) std::memcpy(out, f->bytes.data() + f->pos, static_cast<size_t>(n));
    f->pos += n;
    return n;
  }
  static sf_count_t write(const void*, sf_count_t, void*) { return 0; }
  static sf_count_t tell(void* self) { return static_cast<MemoryFile*>(self)->pos; }
};

/// Decodes a whole WAVE image through libsndfile to interleaved 16-bit samples.
std::optional<PcmSound> decodeWithLibrary(std::span<const uint8_t> file, PcmError& error) {
  MemoryFile memory{file};
  SF_VIRTUAL_IO io{&MemoryFile::length, &MemoryFile::seek, &MemoryFile::read, &MemoryFile::write, &MemoryFile::tell};
  SF_INFO info{};
  SNDFILE* sf = sf_open_virtual(&io, SFM_READ, &info, &memory);
  if (!sf) {
    error = PcmError::Undecodable;
    return std::nullopt;
  }
  PcmSound pcm;
  pcm.format = {info.channels, info.samplerate};
  if (!usable(pcm.format)) {
    sf_close(sf);
    error = PcmError::BadFormat;
    return std::nullopt;
  }
  const size_t channels = static_cast<size_t>(info.channels);
  const uint64_t maxFrames = kMaxPcmBytes / (2 * channels);
  // The frame count comes from the file's sizes; read in pieces rather than trust it.
  constexpr sf_count_t kPiece = 65536;
  for (;;) {
    const size_t have = pcm.samples.size();
    if (have / channels > maxFrames) {
      sf_close(sf);
      error = PcmError::TooLong;
      return std::nullopt;
    }
    pcm.samples.resize(have + static_cast<size_t>(kPiece) * channels);
    sf_count_t got = sf_readf_short(sf, pcm.samples.data() + have, kPiece);
    pcm.samples.resize(have + static_cast<size_t>(std::max<sf_count_t>(got, 0)) * channels);
    if (got < kPiece) break;
  }
  sf_close(sf);
  return pcm;
}

}  // namespace

std::string_view pcmErrorText(PcmError e) {
  switch (e) {
    case PcmError::None: return "";
    case PcmError::BadFormat: return "unsupported channel count or rate";
    case PcmError::Undecodable: return "sample coding cannot be decoded";
    case PcmError::TooLong: return "sound too long";
  }
  return "";
}

std::optional<PcmSound> decodeToPcm16(const WaveSound& wave, PcmError* error) {
  PcmError dummy;
  PcmError& e = error ? *error : dummy;
  e = PcmError::None;
  const WaveFormat f = wave.fields();
  if (f.tag == wave::kTagPcm && f.bits == 16) {
    PcmSound pcm;
    pcm.format = {f.channels, static_cast<int>(f.rate)};
    if (!usable(pcm.format)) {
      e = PcmError::BadFormat;
      return std::nullopt;
    }
    const size_t frames = wave.data.size() / static_cast<size_t>(pcm.format.blockAlign());
    if (frames * static_cast<uint64_t>(pcm.format.blockAlign()) > kMaxPcmBytes) {
      e = PcmError::TooLong;
      return std::nullopt;
    }
    pcm.samples.resize(frames * static_cast<size_t>(pcm.format.channels));
    for (size_t i = 0; i < pcm.samples.size(); ++i)
      pcm.samples[i] = static_cast<int16_t>(loadU16(wave.data.data() + 2 * i));
    return pcm;
  }
  // Any other coding: a clean file of just the parsed chunks goes to the decoding library, so it
  // sees exactly what the converter accepted.
  std::vector<uint8_t> file = buildWave(wave.format, wave.data, wave.factFrames);
  if (file.empty()) {
    e = PcmError::TooLong;
    return std::nullopt;
  }
  auto pcm = decodeWithLibrary(file, e);
  if (!pcm) return std::nullopt;
  // The library decodes whole blocks; the fact chunk knows where the sound really ends.
  if (wave.factFrames && *wave.factFrames < pcm->frames())
    pcm->samples.resize(size_t{*wave.factFrames} * static_cast<size_t>(pcm->format.channels));
  return pcm;
}

std::optional<std::vector<int16_t>> acmConvert(const PcmFormat& from, const PcmFormat& to,
                                               std::span<const int16_t> samples) {
  if (!usable(from) || !usable(to)) return std::nullopt;
  const size_t inFrames = samples.size() / static_cast<size_t>(from.channels);
  // Size of the result before allocating anything: frames scale with the rate ratio.
  const uint64_t outFrames = (uint64_t{inFrames} * static_cast<uint64_t>(to.rate) + static_cast<uint64_t>(from.rate) - 1) /
                             static_cast<uint64_t>(from.rate);
  if ((outFrames + 16) * static_cast<uint64_t>(to.blockAlign()) > kMaxPcmBytes) return std::nullopt;

  // Fewer channels first, more channels last: the resampler then works on the smaller count.
  std::vector<int16_t> work;
  std::span<const int16_t> in = samples.first(inFrames * static_cast<size_t>(from.channels));
  int channels = from.channels;
  if (from.channels == 2 && to.channels == 1) {
    work.resize(inFrames);
    for (size_t i = 0; i < inFrames; ++i) work[i] = static_cast<int16_t>((in[2 * i] + in[2 * i + 1]) >> 1);
    in = work;
    channels = 1;
  }
  std::vector<int16_t> resampled;
  if (from.rate != to.rate && !in.empty()) {
    const size_t room = static_cast<size_t>(outFrames) + 16;
    resampled.resize(room * static_cast<size_t>(channels));
    soxr_io_spec_t io = soxr_io_spec(SOXR_INT16_I, SOXR_INT16_I);
    // No dither: the same input always gives the same samples.
    io.flags |= SOXR_NO_DITHER;
    soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    size_t done = 0;
    soxr_error_t err = soxr_oneshot(from.rate, to.rate, static_cast<unsigned>(channels), in.data(),
                                    in.size() / static_cast<size_t>(channels), nullptr, resampled.data(), room, &done,
                                    &io, &quality, nullptr);
    if (err) return std::nullopt;
    resampled.resize(done * static_cast<size_t>(channels));
  } else {
    resampled.assign(in.begin(), in.end());
  }
  if (channels == 1 && to.channels == 2) {
    std::vector<int16_t> stereo(resampled.size() * 2);
    for (size_t i = 0; i < resampled.size(); ++i) stereo[2 * i] = stereo[2 * i + 1] = resampled[i];
    return stereo;
  }
  return resampled;
}

}  // namespace sorel
