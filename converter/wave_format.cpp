#include "converter/wave_format.h"

#include <algorithm>
#include <cstring>

#include "engine/resources/byte_io.h"

namespace sorel {

namespace {

bool isId(std::span<const uint8_t> id, const char (&name)[5]) { return std::memcmp(id.data(), name, 4) == 0; }

}  // namespace

WaveFormat WaveSound::fields() const {
  WaveFormat f;
  ByteReader r(format);
  f.tag = r.u16();
  f.channels = r.u16();
  f.rate = r.u32();
  f.bytesPerSecond = r.u32();
  f.blockAlign = r.u16();
  f.bits = format.size() >= wave::kBitsPerSample + 2 ? r.u16() : 0;
  // The old 14-byte PCM format leaves out the sample size; the block holds one sample a channel.
  if (f.bits == 0 && f.tag == wave::kTagPcm && f.channels != 0)
    f.bits = static_cast<uint16_t>(f.blockAlign / f.channels * 8);
  return f;
}

std::string_view waveErrorText(WaveError e) {
  switch (e) {
    case WaveError::None: return "";
    case WaveError::NotRiff: return "not a RIFF file";
    case WaveError::NotWave: return "not a WAVE file";
    case WaveError::ShortFormat: return "format chunk shorter than 14 bytes";
    case WaveError::LongFormat: return "format chunk longer than 1024 bytes";
    case WaveError::NoFormat: return "no format chunk";
    case WaveError::NoData: return "no sample data";
  }
  return "";
}

std::optional<WaveSound> parseWave(std::span<const uint8_t> bytes, WaveError* error) {
  auto reject = [&](WaveError e) -> std::optional<WaveSound> {
    if (error) *error = e;
    return std::nullopt;
  };
  if (error) *error = WaveError::None;
  ByteReader r(bytes);
  auto riff = r.bytes(4);
  uint32_t riffLength = r.u32();
  auto form = r.bytes(4);
  if (!r.ok() || !isId(riff, "RIFF")) return reject(WaveError::NotRiff);
  if (!isId(form, "WAVE")) return reject(WaveError::NotWave);

  // The walk ends at the RIFF length, or earlier when the file was cut short.
  const uint64_t end = std::min<uint64_t>(uint64_t{8} + riffLength, bytes.size());
  WaveSound sound;
  bool haveFormat = false, haveData = false;
  uint64_t at = wave::kRiffHeaderSize;
  while (at + wave::kChunkHeaderSize <= end) {
    ByteReader c(bytes, static_cast<size_t>(at));
    auto id = c.bytes(4);
    const uint32_t length = c.u32();
    const uint64_t body = at + wave::kChunkHeaderSize;
    const uint64_t present = std::min<uint64_t>(length, bytes.size() - body);
    if (!haveFormat && isId(id, "fmt ")) {
      if (length < wave::kMinFormatSize || present < length) return reject(WaveError::ShortFormat);
      // A longer chunk would overrun the format buffer of the system's WAVE handling.
      if (length > wave::kFormatBufferSize) return reject(WaveError::LongFormat);
      sound.format.assign(bytes.begin() + static_cast<long>(body), bytes.begin() + static_cast<long>(body + length));
      haveFormat = true;
    } else if (!haveData && isId(id, "data") && length != 0) {
      sound.data = bytes.subspan(static_cast<size_t>(body), static_cast<size_t>(present));
      haveData = true;
    } else if (!haveData && isId(id, "fact") && present >= 4) {
      sound.factFrames = loadU32(bytes.data() + body);
    }
    if (haveFormat && haveData) return sound;
    at = body + length + (length & 1);
  }
  return reject(haveFormat ? WaveError::NoData : WaveError::NoFormat);
}

std::vector<uint8_t> buildWave(std::span<const uint8_t> format, std::span<const uint8_t> data,
                               std::optional<uint32_t> factFrames) {
  const uint64_t formatPadded = format.size() + (format.size() & 1);
  const uint64_t dataPadded = data.size() + (data.size() & 1);
  const uint64_t riffLength = 4 + wave::kChunkHeaderSize + formatPadded + (factFrames ? 12 : 0) +
                              wave::kChunkHeaderSize + dataPadded;
  if (riffLength > UINT32_MAX - 8) return {};
  std::vector<uint8_t> out;
  out.reserve(static_cast<size_t>(riffLength + 8));
  ByteWriter w(out);
  auto id = [&](const char* s) { w.bytes({reinterpret_cast<const uint8_t*>(s), 4}); };
  id("RIFF");
  w.u32(static_cast<uint32_t>(riffLength));
  id("WAVE");
  id("fmt ");
  w.u32(static_cast<uint32_t>(format.size()));
  w.bytes(format);
  if (format.size() & 1) w.u8(0);
  if (factFrames) {
    id("fact");
    w.u32(4);
    w.u32(*factFrames);
  }
  id("data");
  w.u32(static_cast<uint32_t>(data.size()));
  w.bytes(data);
  if (data.size() & 1) w.u8(0);
  return out;
}

}  // namespace sorel
