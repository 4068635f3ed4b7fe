// Quillon.ovl: the MP3 decoder module. It checks each frame header itself (so the engine can
// walk a stream frame by frame without reading ahead) and hands the frame's bytes to libmpg123.
// One libmpg123 handle per stream: Layer III frames borrow bits from earlier frames, so a
// stream's frames must go through the same decoder in order.
#include <mpg123.h>

#include <cstddef>
#include <cstring>
#include <mutex>

#include "decoder/quillon_abi.h"

namespace {

using namespace sorel::quillon;

constexpr uint32_t kMagic = 0x4C495551;  // "QUIL"
constexpr int32_t kVersion = 0x0100;

/// The decoded fields of a four-byte MPEG audio frame header.
struct FrameHeader {
  int version = 0;  ///< 3 = MPEG-1, 2 = MPEG-2, 0 = MPEG-2.5
  int layer = 0;    ///< 1..3
  int bitrate = 0;  ///< kbit/s
  int rateIndex = 0;
  int rate = 0;
  int padding = 0;
  int channels = 0;
  int length = 0;   ///< bytes, header included
  int samples = 0;  ///< per channel
};

constexpr int kBitrates[2][3][15] = {
    // MPEG-1: Layer I, II, III
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
    // MPEG-2 and 2.5
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}}};

constexpr int kRates[4][3] = {{11025, 12000, 8000}, {0, 0, 0}, {22050, 24000, 16000}, {44100, 48000, 32000}};

/// False for anything that is not the header of a frame of known length: no sync word, a
/// reserved version, layer, rate or emphasis, or the free-format bitrate (its length cannot be
/// told from the header).
bool parseHeader(const uint8_t* h, FrameHeader& f) {
  if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0) return false;
  f.version = (h[1] >> 3) & 3;
  int layerBits = (h[1] >> 1) & 3;
  int bitrateIndex = h[2] >> 4;
  f.rateIndex = (h[2] >> 2) & 3;
  if (f.version == 1 || layerBits == 0 || bitrateIndex == 0 || bitrateIndex == 15 ||
      f.rateIndex == 3 || (h[3] & 3) == 2)
    return false;
  f.layer = 4 - layerBits;
  f.bitrate = kBitrates[f.version == 3 ? 0 : 1][f.layer - 1][bitrateIndex];
  f.rate = kRates[f.version][f.rateIndex];
  f.padding = (h[2] >> 1) & 1;
  f.channels = (h[3] >> 6) == 3 ? 1 : 2;
  long bits = static_cast<long>(f.bitrate) * 1000;
  if (f.layer == 1) {
    f.length = static_cast<int>((12 * bits / f.rate + f.padding) * 4);
    f.samples = 384;
  } else if (f.layer == 2 || f.version == 3) {
    f.length = static_cast<int>(144 * bits / f.rate + f.padding);
    f.samples = 1152;
  } else {
    f.length = static_cast<int>(72 * bits / f.rate + f.padding);
    f.samples = 576;
  }
  return f.length > 4 && f.length <= kMaxFrameBytes;
}

/// The handle given to the engine. The engine reads the fields at the offsets of quillon_abi.h
/// directly, so their places are fixed.
struct Handle {
  uint32_t magic;
  int32_t version;
  int32_t layer;
  int32_t channels;  // 12
  int32_t rateIndex;
  int32_t reserved[7];
  int32_t frameLength;  // 48
  int32_t frameSamples;
  int32_t padding;
  int32_t bitrate;  // 60
  int32_t rate;     // 64
  int32_t accepted;  // predecode accepted the frame decode() is about to get
  mpg123_handle* mh;
};
static_assert(offsetof(Handle, channels) == kChannelsOffset);
static_assert(offsetof(Handle, frameLength) == kFrameLengthOffset);
static_assert(offsetof(Handle, bitrate) == kBitrateOffset);
static_assert(offsetof(Handle, rate) == kRateOffset);

Handle* asHandle(void* p) {
  auto* h = static_cast<Handle*>(p);
  return h && h->magic == kMagic ? h : nullptr;
}

bool startFeed(mpg123_handle* mh, const FrameHeader& f) {
  return mpg123_param(mh, MPG123_FLAGS, MPG123_NO_READAHEAD | MPG123_QUIET, 0) == MPG123_OK &&
         mpg123_param(mh, MPG123_REMOVE_FLAGS, MPG123_GAPLESS, 0) == MPG123_OK &&
         mpg123_format_none(mh) == MPG123_OK &&
         mpg123_format(mh, f.rate, f.channels == 1 ? MPG123_MONO : MPG123_STEREO,
                       MPG123_ENC_SIGNED_16) == MPG123_OK &&
         mpg123_open_feed(mh) == MPG123_OK;
}

}  // namespace

#define QUILLON_EXPORT extern "C" __attribute__((visibility("default")))

QUILLON_EXPORT int32_t __mp3_getdecver() { return kVersion; }

QUILLON_EXPORT void* __mp3_create(const uint8_t* header) {
  FrameHeader f;
  if (!header || !parseHeader(header, f)) return nullptr;
  static std::once_flag initOnce;
  static bool initOk = false;
  std::call_once(initOnce, [] { initOk = mpg123_init() == MPG123_OK; });
  if (!initOk) return nullptr;
  int err = 0;
  mpg123_handle* mh = mpg123_new(nullptr, &err);
  if (!mh) return nullptr;
  if (!startFeed(mh, f)) {
    mpg123_delete(mh);
    return nullptr;
  }
  auto* h = new Handle{};
  h->magic = kMagic;
  h->version = f.version;
  h->layer = f.layer;
  h->channels = f.channels;
  h->rateIndex = f.rateIndex;
  h->frameLength = f.length;
  h->frameSamples = f.samples;
  h->padding = f.padding;
  h->bitrate = f.bitrate;
  h->rate = f.rate;
  h->mh = mh;
  return h;
}

QUILLON_EXPORT void __mp3_destroy(void* handle) {
  Handle* h = asHandle(handle);
  if (!h) return;
  mpg123_delete(h->mh);
  h->magic = 0;
  delete h;
}

QUILLON_EXPORT int32_t __mp3_predecode(void* handle, const uint8_t* header) {
  Handle* h = asHandle(handle);
  if (!h || !header) return -1;
  h->accepted = 0;
  FrameHeader f;
  // A frame of another version, layer, rate or channel count would change the output format
  // in the middle of the stream: it is not part of this stream.
  if (!parseHeader(header, f) || f.version != h->version || f.layer != h->layer ||
      f.rateIndex != h->rateIndex || f.channels != h->channels)
    return -1;
  h->frameLength = f.length;
  h->frameSamples = f.samples;
  h->padding = f.padding;
  h->bitrate = f.bitrate;
  h->accepted = 1;
  return 0;
}

QUILLON_EXPORT int32_t __mp3_decode(void* handle, int16_t* samples, const uint8_t* frame, int32_t size) {
  Handle* h = asHandle(handle);
  if (!h || !samples || !frame || !h->accepted) return 0;
  h->accepted = 0;
  // A frame cut short by the end of the stream is never fed: libmpg123 would wait for the rest
  // and take the next bytes fed (the stream's start, when looping) as that rest.
  if (size < h->frameLength) return 0;
  if (mpg123_feed(h->mh, frame, static_cast<size_t>(h->frameLength)) != MPG123_OK) return 0;
  const size_t capacity = static_cast<size_t>(kMaxFrameSamples) * static_cast<size_t>(h->channels) * 2;
  size_t produced = 0;
  // One fed frame gives at most one decoded frame; the bound only guards against a decoder that
  // keeps answering without progress.
  for (int i = 0; i < 8; ++i) {
    off_t num = 0;
    unsigned char* audio = nullptr;
    size_t bytes = 0;
    int r = mpg123_decode_frame(h->mh, &num, &audio, &bytes);
    if (r == MPG123_NEW_FORMAT) continue;
    if (r == MPG123_OK) {
      if (audio && bytes > 0) {
        size_t take = bytes < capacity - produced ? bytes : capacity - produced;
        std::memcpy(reinterpret_cast<uint8_t*>(samples) + produced, audio, take);
        produced += take;
      }
      continue;
    }
    if (r == MPG123_ERR) {
      // Start the feed afresh so that the next frame is read from its own first byte.
      FrameHeader f{};
      f.rate = h->rate;
      f.channels = h->channels;
      startFeed(h->mh, f);
    }
    break;
  }
  return static_cast<int32_t>(produced / (2 * static_cast<size_t>(h->channels)));
}
