#include "tools/jmv_writer.h"

#include <png.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "converter/audio_conversion.h"
#include "converter/dib_image.h"
#include "converter/jbp1_encoder.h"
#include "converter/mp3_encoder.h"
#include "engine/audio/jmv_format.h"
#include "engine/resources/byte_io.h"
#include "platform/files.h"

namespace sorel::jmvtool {

std::string checkFrames(std::span<const Frame> frames, const MovieSettings& settings,
                        std::span<const std::string> names) {
  if (frames.empty()) return "no frames";
  if (settings.fps == 0 || settings.fps > 1000) return "the rate must be 1 to 1000 frames per second";
  if (settings.quality < 1 || settings.quality > 100) return "the quality must be 1 to 100";
  auto nameOf = [&](size_t i) {
    return i < names.size() ? names[i] : "frame " + std::to_string(i + 1) + " of " + std::to_string(frames.size());
  };
  auto size = [](uint32_t w, uint32_t h) { return std::to_string(w) + " x " + std::to_string(h); };
  const uint32_t w = frames[0].width, h = frames[0].height;
  if (w == 0 || h == 0) return nameOf(0) + ": an empty frame";
  if (w > kMaxWidth || h > kMaxHeight)
    return nameOf(0) + ": " + size(w, h) + " is larger than the players show (" + size(kMaxWidth, kMaxHeight) +
           "; pocketplayer doubles it): scale the frames to fit " + size(kMaxWidth, kMaxHeight);
  for (size_t i = 0; i < frames.size(); ++i) {
    if (frames[i].width != w || frames[i].height != h)
      return nameOf(i) + " is " + size(frames[i].width, frames[i].height) + ", not " + size(w, h) + " like " +
             nameOf(0);
    if (frames[i].bgr.size() != size_t(w) * h * 3) return nameOf(i) + " has the wrong pixel count";
  }
  return {};
}

std::vector<uint8_t> assembleMovie(const std::vector<std::vector<uint8_t>>& jbp1Frames, uint32_t width,
                                   uint32_t height, const MovieSettings& settings) {
  const uint32_t n = uint32_t(jbp1Frames.size());
  uint64_t data = 0;
  for (const auto& f : jbp1Frames) data += f.size();
  std::vector<uint8_t> out(jmv::kHeaderSize + size_t(n) * jmv::kEntrySize);
  uint8_t* h = out.data();
  std::copy(jmv::kMagic, jmv::kMagic + 4, h + jmv::kMagicOffset);
  storeU32(h + jmv::kHeaderSizeOffset, jmv::kHeaderSize);
  storeU32(h + jmv::kFrameCountOffset, n);
  storeU32(h + jmv::kFpsOffset, settings.fps);
  storeU32(h + jmv::kQualityOffset, uint32_t(settings.quality));
  storeU32(h + jmv::kWidthOffset, width);
  storeU32(h + jmv::kHeightOffset, height);
  storeU32(h + jmv::kDataBytesOffset, uint32_t(data));
  storeU32(h + jmv::kEntrySizeOffset, jmv::kEntrySize);
  storeU32(h + jmv::kDurationOffset, settings.fps ? uint32_t(uint64_t(n) * 1000 / settings.fps) : 0);
  storeU32(h + jmv::kFlagsOffset, settings.soundTrack ? jmv::kFlagSoundTrack : 0);
  storeU32(h + jmv::kReservedOffset, 0);
  uint32_t offset = 0;
  for (uint32_t i = 0; i < n; ++i) {
    uint8_t* e = out.data() + jmv::kHeaderSize + size_t(i) * jmv::kEntrySize;
    const auto& f = jbp1Frames[i];
    storeU32(e + jmv::kEntryNumberOffset, i);
    storeU32(e + jmv::kEntryBytesOffset, uint32_t(f.size()));
    storeU32(e + jmv::kEntryTimeOffset, settings.fps ? uint32_t(uint64_t(i) * 1000 / settings.fps) : 0);
    // Every frame this writer makes carries its own quantisation tables.
    storeU32(e + jmv::kEntryFlagsOffset, jmv::kEntryTables);
    storeU32(e + jmv::kEntryOffsetOffset, offset);
    storeU32(e + jmv::kEntryReservedOffset, 0);
    offset += uint32_t(f.size());
  }
  for (const auto& f : jbp1Frames) out.insert(out.end(), f.begin(), f.end());
  return out;
}

bool MovieBuilder::add(const Frame& frame, std::string& problem) {
  const std::string which = "frame " + std::to_string(m_streams.size() + 1);
  if (frame.width != m_width || frame.height != m_height || frame.bgr.size() != size_t(m_width) * m_height * 3) {
    problem = which + " is not " + std::to_string(m_width) + " x " + std::to_string(m_height);
    return false;
  }
  Jbp1Encoder encoder;
  auto s = encoder.encode(Bgr24View{frame.bgr.data(), m_width, m_height, size_t(m_width) * 3}, m_settings.quality);
  if (s.empty()) {
    problem = which + " cannot be encoded";
    return false;
  }
  const uint32_t bufferBytes = m_width >= jmv::kWideFrame ? jmv::kWideBufferBytes : jmv::kBufferBytes;
  if (s.size() > bufferBytes) {
    problem = which + " takes " + std::to_string(s.size()) + " bytes, more than the player's " +
              std::to_string(bufferBytes) + "-byte buffer: choose a lower quality";
    return false;
  }
  // Frame offsets are 32-bit words.
  if (m_bytes + s.size() > UINT32_MAX) {
    problem = which + ": the movie would pass 4 GiB";
    return false;
  }
  m_bytes += s.size();
  m_streams.push_back(std::move(s));
  return true;
}

std::vector<uint8_t> MovieBuilder::finish() const { return assembleMovie(m_streams, m_width, m_height, m_settings); }

std::vector<uint8_t> makeMovie(std::span<const Frame> frames, const MovieSettings& settings, std::string& problem,
                               void (*progress)(uint32_t, uint32_t, void*), void* context) {
  problem = checkFrames(frames, settings);
  if (!problem.empty()) return {};
  MovieBuilder builder(frames[0].width, frames[0].height, settings);
  for (size_t i = 0; i < frames.size(); ++i) {
    if (!builder.add(frames[i], problem)) return {};
    if (progress) progress(uint32_t(i + 1), uint32_t(frames.size()), context);
  }
  return builder.finish();
}

namespace {

// Seven-segment digits: bits a (top), b (top right), c (bottom right), d (bottom), e (bottom
// left), f (top left), g (middle).
constexpr uint8_t kSegments[10] = {0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D, 0x07, 0x7F, 0x6F};

void fill(Frame& f, int x, int y, int w, int h, uint8_t r, uint8_t g, uint8_t b) {
  for (int yy = std::max(0, y); yy < std::min<int>(int(f.height), y + h); ++yy)
    for (int xx = std::max(0, x); xx < std::min<int>(int(f.width), x + w); ++xx) {
      uint8_t* p = f.bgr.data() + (size_t(yy) * f.width + size_t(xx)) * 3;
      p[0] = b;
      p[1] = g;
      p[2] = r;
    }
}

void digit(Frame& f, int x, int y, int s, int d) {
  const uint8_t m = kSegments[d % 10];
  const int t = std::max(1, s / 4), l = s;
  if (m & 0x01) fill(f, x, y, l, t, 255, 255, 255);
  if (m & 0x02) fill(f, x + l - t, y, t, l, 255, 255, 255);
  if (m & 0x04) fill(f, x + l - t, y + l, t, l, 255, 255, 255);
  if (m & 0x08) fill(f, x, y + 2 * l - t, l, t, 255, 255, 255);
  if (m & 0x10) fill(f, x, y + l, t, l, 255, 255, 255);
  if (m & 0x20) fill(f, x, y, t, l, 255, 255, 255);
  if (m & 0x40) fill(f, x, y + l - t / 2, l, t, 255, 255, 255);
}

}  // namespace

Frame testFrame(uint32_t i, uint32_t count, uint32_t width, uint32_t height) {
  Frame f{width, height, std::vector<uint8_t>(size_t(width) * height * 3)};
  const int W = int(width), H = int(height);
  // A dusk sky turning to night over the movie.
  const int t = count > 1 ? int(i * 256 / (count - 1)) : 0;
  for (int y = 0; y < H; ++y) {
    const int k = y * 256 / std::max(1, H);
    const uint8_t r = uint8_t((40 + k * 160 / 256) * (256 - t / 2) / 256);
    const uint8_t g = uint8_t((30 + k * 60 / 256) * (256 - t / 2) / 256);
    const uint8_t b = uint8_t(90 + k * 40 / 256);
    fill(f, 0, y, W, 1, r, g, b);
  }
  // Hills, then a sun crossing from left to right and sinking.
  for (int x = 0; x < W; ++x) {
    const int hill = H * 3 / 4 + ((x * 7) % 64 < 32 ? (x * 7) % 32 : 32 - (x * 7) % 32) * H / 480;
    fill(f, x, hill, 1, H - hill, 20, 60, 30);
  }
  const int sunR = std::max(4, H / 12);
  const int cx = count > 1 ? int(int64_t(i) * (W - 2 * sunR) / (count - 1)) + sunR : W / 2;
  const int cy = H / 4 + int(int64_t(i) * (H / 3) / std::max<uint32_t>(1, count));
  for (int y = -sunR; y <= sunR; ++y)
    for (int x = -sunR; x <= sunR; ++x)
      if (x * x + y * y <= sunR * sunR) fill(f, cx + x, cy + y, 1, 1, 255, 200, 60);
  // A bar that fills up, and the frame number.
  const int barW = W * 3 / 4, barX = (W - barW) / 2, barY = H - H / 12;
  fill(f, barX - 1, barY - 1, barW + 2, H / 30 + 2, 255, 255, 255);
  fill(f, barX, barY, barW, H / 30, 0, 0, 0);
  fill(f, barX, barY, count ? int(int64_t(barW) * (i + 1) / count) : 0, H / 30, 80, 160, 255);
  const int s = std::max(4, H / 16);
  uint32_t v = i;
  for (int d = 0; d < 4; ++d, v /= 10) digit(f, W - (d + 1) * (s + s / 2) - s / 2, s / 2, s, int(v % 10));
  return f;
}

std::vector<uint8_t> waveFile(std::span<const int16_t> samples, int rate, int channels) {
  const uint32_t data = uint32_t(samples.size() * 2);
  std::vector<uint8_t> out(44 + data);
  uint8_t* p = out.data();
  std::copy_n("RIFF", 4, p);
  storeU32(p + 4, 36 + data);
  std::copy_n("WAVEfmt ", 8, p + 8);
  storeU32(p + 16, 16);
  storeU16(p + 20, 1);
  storeU16(p + 22, uint16_t(channels));
  storeU32(p + 24, uint32_t(rate));
  storeU32(p + 28, uint32_t(rate * channels * 2));
  storeU16(p + 32, uint16_t(channels * 2));
  storeU16(p + 34, 16);
  std::copy_n("data", 4, p + 36);
  storeU32(p + 40, data);
  for (size_t i = 0; i < samples.size(); ++i) storeU16(p + 44 + 2 * i, uint16_t(samples[i]));
  return out;
}

std::vector<int16_t> testSound(uint32_t ms) {
  constexpr int kRate = 22050;
  const size_t frames = size_t(ms) * kRate / 1000;
  std::vector<int16_t> out(frames * 2);
  // A rising arpeggio, one note each quarter second, integer phase steps (repeatable bytes).
  constexpr uint32_t kNotesMilliHz[8] = {261626, 329628, 391995, 523251, 391995, 329628, 440000, 587330};
  uint64_t phase = 0;
  for (size_t i = 0; i < frames; ++i) {
    const size_t note = (i / (kRate / 4)) % 8;
    phase += uint64_t(kNotesMilliHz[note]) * 65536 / 1000;
    const uint32_t ph = uint32_t((phase / kRate) & 0xFFFF);
    // A triangle wave with a decay inside each note.
    const int tri = ph < 32768 ? int(ph) - 16384 : 49151 - int(ph);
    const int decay = 256 - int((i % (kRate / 4)) * 192 / (kRate / 4));
    int v = tri * decay / 256 / 3;
    if (i % kRate < 220) v += (i % 20 < 10 ? 6000 : -6000);  // a click on every second
    out[2 * i] = out[2 * i + 1] = int16_t(v);
  }
  return out;
}

PcmFormat soundTrackFormat(bool mono) { return PcmFormat{mono ? 1 : 2, kRateTable[0]}; }

std::optional<PcmSound> soundTrackPcm(std::span<const uint8_t> wave, bool mono, std::string& problem) {
  auto pcm = prepareSound(wave, soundTrackFormat(mono), problem);
  if (pcm && pcm->samples.empty()) {
    problem = "no samples";
    return std::nullopt;
  }
  return pcm;
}

uint64_t soundMs(const PcmSound& pcm) {
  return pcm.format.rate > 0 ? uint64_t(pcm.frames()) * 1000 / uint64_t(pcm.format.rate) : 0;
}

SoundFit fitSound(PcmSound& pcm, uint32_t frames, uint32_t fps) {
  const size_t channels = size_t(std::max(1, pcm.format.channels));
  const uint64_t rate = uint64_t(pcm.format.rate);
  const uint64_t wanted = fps ? uint64_t(frames) * rate / fps : 0;
  const uint64_t have = pcm.frames();
  const uint64_t slack = rate / 1000;  // a millisecond either way is the same length
  const SoundFit fit = have + slack < wanted ? SoundFit::Padded : have > wanted + slack ? SoundFit::Cut : SoundFit::Exact;
  pcm.samples.resize(size_t(wanted + rate * kSoundTailMs / 1000) * channels, 0);
  return fit;
}

std::vector<uint8_t> encodeSoundTrack(const PcmSound& pcm, int kbps, std::string& problem) {
  // The bitrate list of the converter: 16 .. 320 for stereo; mono takes half.
  int index = 0;
  for (int i = 0; i < 13; ++i)
    if (kBitrateTable[i] <= kbps) index = i;
  const SoundTarget target = soundTarget(index, 0, pcm.format.channels == 2);
  Mp3EncoderModule encoder;
  std::optional<std::vector<uint8_t>> mp3;
  if (encoder.load()) mp3 = encoder.encode(pcm.samples, pcm.format, target.kbps);
  if (!mp3 || mp3->empty()) {
    problem = "the MP3 encoder refused the sound track";
    return {};
  }
  return std::move(*mp3);
}

std::vector<uint8_t> soundTrack(std::span<const uint8_t> wave, int kbps, bool mono, std::string& problem) {
  auto pcm = soundTrackPcm(wave, mono, problem);
  return pcm ? encodeSoundTrack(*pcm, kbps, problem) : std::vector<uint8_t>{};
}

std::string describeMovie(std::span<const uint8_t> file) {
  std::string out;
  char line[200];
  if (file.size() < jmv::kHeaderSize) return "not a movie: shorter than the 48-byte header\n";
  const uint8_t* h = file.data();
  auto word = [&](uint32_t o) { return loadU32(h + o); };
  std::string magic(reinterpret_cast<const char*>(h), 4);
  for (char& c : magic)
    if (c < 0x20 || c > 0x7E) c = '.';
  std::snprintf(line, sizeof line, "magic        %s\nheader bytes %" PRIu32 "\nframes       %" PRIu32 "\nfps          %" PRIu32
                "\nquality      %" PRIu32 "\nsize         %" PRIu32 " x %" PRIu32 "\nframe bytes  %" PRIu32
                "\nentry bytes  %" PRIu32 "\nduration     %" PRIu32 " ms\nsound track  %s\n",
                magic.c_str(), word(jmv::kHeaderSizeOffset), word(jmv::kFrameCountOffset), word(jmv::kFpsOffset),
                word(jmv::kQualityOffset), word(jmv::kWidthOffset), word(jmv::kHeightOffset),
                word(jmv::kDataBytesOffset), word(jmv::kEntrySizeOffset), word(jmv::kDurationOffset),
                (word(jmv::kFlagsOffset) & jmv::kFlagSoundTrack) ? "yes" : "no");
  out += line;
  MovieHeader header;
  std::vector<uint32_t> sizes;
  std::vector<uint64_t> offsets;
  MovieRefusal r = parseMovieIndex(file, file.size(), header, sizes, offsets);
  const uint64_t n = std::min<uint64_t>(word(jmv::kFrameCountOffset), (file.size() - jmv::kHeaderSize) / jmv::kEntrySize);
  out += "index        frame, time ms, bytes, offset after the index, flags\n";
  for (uint64_t i = 0; i < n; ++i) {
    const uint8_t* e = h + jmv::kHeaderSize + i * jmv::kEntrySize;
    std::snprintf(line, sizeof line, "  %6" PRIu32 " %8" PRIu32 " %8" PRIu32 " %10" PRIu32 " %s\n",
                  loadU32(e + jmv::kEntryNumberOffset), loadU32(e + jmv::kEntryTimeOffset),
                  loadU32(e + jmv::kEntryBytesOffset), loadU32(e + jmv::kEntryOffsetOffset),
                  (loadU32(e + jmv::kEntryFlagsOffset) & jmv::kEntryTables) ? "tables" : "-");
    out += line;
  }
  out += std::string("player       ") + (r == MovieRefusal::None ? "plays it" : movieRefusalText(r)) + "\n";
  return out;
}

std::optional<Frame> readFrameFile(const std::string& hostPath, std::string& problem) {
  auto path = platform::systemPath(hostPath);
  auto bytes = path ? platform::readWholeFile(*path) : std::nullopt;
  if (!bytes) {
    problem = "cannot be read";
    return std::nullopt;
  }
  if (bytes->size() >= 8 && png_sig_cmp(bytes->data(), 0, 8) == 0) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes->data(), bytes->size())) {
      problem = std::string("not a readable PNG: ") + image.message;
      return std::nullopt;
    }
    if (image.width == 0 || image.height == 0 || image.width > kMaxFrameFileSide || image.height > kMaxFrameFileSide) {
      png_image_free(&image);
      problem = "larger than " + std::to_string(kMaxFrameFileSide) + " pixels a side";
      return std::nullopt;
    }
    image.format = PNG_FORMAT_BGR;
    Frame f{image.width, image.height, std::vector<uint8_t>(PNG_IMAGE_SIZE(image))};
    png_color black{0, 0, 0};
    if (!png_image_finish_read(&image, &black, f.bgr.data(), 0, nullptr)) {
      problem = std::string("not a readable PNG: ") + image.message;
      png_image_free(&image);
      return std::nullopt;
    }
    return f;
  }
  DibImage dib;
  DibError why = DibError::None;
  if (!dib.load(*bytes, &why)) {
    problem = "neither a PNG nor a usable BMP (" + std::string(dibErrorText(why)) + ")";
    return std::nullopt;
  }
  if (dib.width() > kMaxFrameFileSide || dib.height() > kMaxFrameFileSide) {
    problem = "larger than " + std::to_string(kMaxFrameFileSide) + " pixels a side";
    return std::nullopt;
  }
  if (dib.bitsPerPixel() == 16) dib.expand16To24();
  Frame f{dib.width(), dib.height(), {}};
  f.bgr.resize(size_t(f.width) * f.height * 3);
  const int bpp = dib.bitsPerPixel() / 8;
  for (size_t i = 0; i < size_t(f.width) * f.height; ++i)
    for (int c = 0; c < 3; ++c) f.bgr[i * 3 + size_t(c)] = dib.pixels()[i * size_t(bpp) + size_t(c)];
  return f;
}

}  // namespace sorel::jmvtool
