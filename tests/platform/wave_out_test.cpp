#include "platform/wave_out.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <vector>

#include "platform/audio_config.h"
#include "platform/clock.h"
#include "platform/files.h"

namespace {

using platform::WaveBuffer;
using platform::WaveOut;

constexpr uint32_t kBytes = 10240;  // 2560 stereo frames: 116.1 ms at 22050 Hz

struct Recorder {
  std::mutex lock;
  std::vector<uint32_t> done;  // user field of each finished buffer, in order
  WaveOut* out = nullptr;
  bool requeue = false;
  static void onDone(void* ctx, WaveBuffer* b) {
    auto* r = static_cast<Recorder*>(ctx);
    {
      std::lock_guard<std::mutex> lk(r->lock);
      r->done.push_back(b->user);
    }
    if (r->requeue) r->out->queue(b);
  }
  size_t count() {
    std::lock_guard<std::mutex> lk(lock);
    return done.size();
  }
};

class WaveOutTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::setClockMode(platform::ClockMode::Virtual, 1000);
    platform::AudioConfig config;
    config.headless = true;
    platform::setAudioConfig(config);
    for (uint32_t i = 0; i < 3; ++i) {
      storage[i].assign(kBytes, static_cast<uint8_t>(i + 1));
      buffers[i] = {storage[i].data(), kBytes, i};
    }
  }
  void TearDown() override {
    platform::setAudioConfig({});
    platform::setClockMode(platform::ClockMode::Real);
  }
  void advance(WaveOut& out, uint32_t ms) {
    platform::advanceVirtualClock(ms);
    ASSERT_TRUE(out.waitCaughtUp());
  }
  std::array<std::vector<uint8_t>, 3> storage;
  std::array<WaveBuffer, 3> buffers;
};

TEST_F(WaveOutTest, BuffersFinishInOrderWhenTheClockSaysTheyHavePlayed) {
  Recorder rec;
  WaveOut out;
  rec.out = &out;
  EXPECT_FALSE(out.queue(&buffers[0]));  // not open yet
  ASSERT_TRUE(out.open({}, &Recorder::onDone, &rec));
  EXPECT_FALSE(out.hasDevice());
  for (auto& b : buffers) ASSERT_TRUE(out.queue(&b));
  advance(out, 116);  // 116.1 ms of sound has not quite played
  EXPECT_EQ(rec.count(), 0u);
  EXPECT_EQ(out.position(), 116u * 88200 / 1000 / 4 * 4);
  advance(out, 1);
  EXPECT_EQ(rec.count(), 1u);
  EXPECT_EQ(out.position(), kBytes + (117u * 88200 / 1000 - kBytes) / 4 * 4);
  advance(out, 1000);  // more than the rest: everything queued is done, nothing more
  EXPECT_EQ(rec.done, (std::vector<uint32_t>{0, 1, 2}));
  EXPECT_EQ(out.position(), 3 * kBytes);
}

TEST_F(WaveOutTest, RequeuedBuffersPlayWithoutGapsAndCloseStopsCallbacks) {
  Recorder rec;
  rec.requeue = true;
  WaveOut out;
  rec.out = &out;
  ASSERT_TRUE(out.open({}, &Recorder::onDone, &rec));
  for (auto& b : buffers) ASSERT_TRUE(out.queue(&b));
  for (int i = 0; i < 100; ++i) advance(out, 10);  // one second
  // 1000 ms / 116.0998 ms per buffer: 8 whole buffers, queued back-to-back without gaps.
  EXPECT_EQ(rec.count(), 8u);
  EXPECT_EQ(rec.done[3], 0u);
  out.close();
  size_t after = rec.count();
  platform::advanceVirtualClock(5000);
  platform::sleepMs(20);
  EXPECT_EQ(rec.count(), after);
  EXPECT_FALSE(out.queue(&buffers[0]));
}

TEST_F(WaveOutTest, AStarvedOutputRestartsFromTheTimeOfTheNextBuffer) {
  Recorder rec;
  WaveOut out;
  rec.out = &out;
  ASSERT_TRUE(out.open({}, &Recorder::onDone, &rec));
  ASSERT_TRUE(out.queue(&buffers[0]));
  advance(out, 500);
  EXPECT_EQ(rec.count(), 1u);
  ASSERT_TRUE(out.queue(&buffers[1]));  // queued 383 ms after the first ended
  advance(out, 116);
  EXPECT_EQ(rec.count(), 1u);
  advance(out, 1);
  EXPECT_EQ(rec.count(), 2u);
}

TEST_F(WaveOutTest, RefusesBadBuffersAndFormats) {
  Recorder rec;
  WaveOut out;
  EXPECT_FALSE(out.open({22050, 2, 8}, &Recorder::onDone, &rec));
  EXPECT_FALSE(out.open({0, 2, 16}, &Recorder::onDone, &rec));
  ASSERT_TRUE(out.open({}, &Recorder::onDone, &rec));
  EXPECT_FALSE(out.open({}, &Recorder::onDone, &rec));  // already open
  WaveBuffer odd{storage[0].data(), 10, 0};               // not a whole stereo frame
  EXPECT_FALSE(out.queue(&odd));
  EXPECT_FALSE(out.queue(nullptr));
  out.setVolume(0x1234, 0xFFFF);
  EXPECT_EQ(out.volume(), 0xFFFF1234u);
}

TEST_F(WaveOutTest, CaptureHoldsExactlyThePlayedBytesAndAppearsOnlyWhenClosed) {
  std::filesystem::path file = std::filesystem::path(SOREL_TEST_TMP) / "wave_out_capture.wav";
  std::filesystem::remove(file);
  platform::AudioConfig config;
  config.headless = true;
  config.captureHostPath = file.string();
  platform::setAudioConfig(config);

  Recorder rec;
  WaveOut out;
  rec.out = &out;
  ASSERT_TRUE(out.open({}, &Recorder::onDone, &rec));
  for (auto& b : buffers) ASSERT_TRUE(out.queue(&b));
  out.setVolume(0x8000, 0x8000);  // scales only what is heard
  advance(out, 240);              // two buffers played, the third still queued
  EXPECT_FALSE(std::filesystem::exists(file));
  out.close();

  auto wav = platform::readWholeFile(*platform::systemPath(file.string()));
  ASSERT_TRUE(wav);
  ASSERT_EQ(wav->size(), 44u + 2 * kBytes);
  const uint8_t* h = wav->data();
  EXPECT_EQ(std::memcmp(h, "RIFF", 4), 0);
  EXPECT_EQ(std::memcmp(h + 8, "WAVEfmt ", 8), 0);
  auto u32 = [&](size_t at) { return h[at] | h[at + 1] << 8 | h[at + 2] << 16 | uint32_t(h[at + 3]) << 24; };
  auto u16 = [&](size_t at) { return h[at] | h[at + 1] << 8; };
  EXPECT_EQ(u32(4), 36 + 2 * kBytes);
  EXPECT_EQ(u16(20), 1);
  EXPECT_EQ(u16(22), 2);
  EXPECT_EQ(u32(24), 22050u);
  EXPECT_EQ(u32(28), 88200u);
  EXPECT_EQ(u16(32), 4);
  EXPECT_EQ(u16(34), 16);
  EXPECT_EQ(std::memcmp(h + 36, "data", 4), 0);
  EXPECT_EQ(u32(40), 2 * kBytes);
  EXPECT_EQ(std::memcmp(h + 44, storage[0].data(), kBytes), 0);
  EXPECT_EQ(std::memcmp(h + 44 + kBytes, storage[1].data(), kBytes), 0);
}

TEST(WaveOutDeviceTest, TheSdlDeviceHandsBackEveryBufferOncePlayed) {
  // SDL's dummy driver drains the queue in real time like a sound card.
  ::setenv("SDL_AUDIODRIVER", "dummy", 1);
  platform::setAudioConfig({});
  Recorder rec;
  WaveOut out;
  rec.out = &out;
  ASSERT_TRUE(out.open({}, &Recorder::onDone, &rec));
  EXPECT_TRUE(out.hasDevice());
  std::vector<uint8_t> bytes(4096, 7);
  WaveBuffer a{bytes.data(), 4096, 0}, b{bytes.data(), 4096, 1};
  out.setVolume(0x4000, 0x4000);
  ASSERT_TRUE(out.queue(&a));
  ASSERT_TRUE(out.queue(&b));
  for (int i = 0; i < 500 && rec.count() < 2; ++i) platform::sleepMs(10);
  EXPECT_EQ(rec.done, (std::vector<uint32_t>{0, 1}));
  EXPECT_EQ(out.position(), 8192u);
  out.close();
  ::unsetenv("SDL_AUDIODRIVER");
}

}  // namespace
