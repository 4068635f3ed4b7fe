// The mixer's channels changed from the game thread while the output thread refills them and a
// movie plays with its reader thread and its sound track: many sounds started, prepared, faded,
// re-levelled, stopped and restarted in a fixed pseudo-random order. Only what must hold under
// any interleaving is checked; scripts/test-tsan.sh runs this program under ThreadSanitizer.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/audio/movie_player.h"
#include "engine/audio/sound_mixer.h"
#include "engine/graphics/backends/display_backend.h"
#include "platform/audio_config.h"
#include "platform/clock.h"
#include "tests/audio/movie_files.h"

namespace sorel {
namespace {

using namespace sorel::testing;

/// The slots the game uses besides the movie's (voice, looping and one-shot effects, system
/// voice) and a few more, so that many channels mix at once.
constexpr std::array<int, 14> kSlots = {2, 4, 5, 6, 7, 10, 11, 12, 13, 14, 15, 16, 17, 18};

/// The sounds: short and long, mono and stereo, both rates the mixer takes.
struct Sound {
  const char* name;
  int channels;
  int rate;
  int frames;
};
constexpr std::array<Sound, 4> kSounds = {{
    {"click.mp3", 1, 22050, 22050 / 8},   // a one-shot effect that ends on its own
    {"voice.mp3", 1, 44100, 44100 / 2},   // a voice
    {"rain.mp3", 2, 44100, 44100 / 2},    // a looping effect
    {"music.mp3", 2, 22050, 22050},       // music
}};

/// A fixed sequence of choices (the same run every time).
class Choices {
 public:
  uint32_t next(uint32_t n) {
    m_state = m_state * 1664525u + 1013904223u;
    return (m_state >> 8) % n;
  }

 private:
  uint32_t m_state = 12345;
};

class AudioThreadsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = testFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
    sys = systemFolder(folder);
    ASSERT_TRUE(loadBuiltDecoder());
    platform::AudioConfig config;
    config.headless = true;  // the paced output and its thread
    config.captureHostPath = (folder / "out.wav").string();  // written on the output thread
    platform::setAudioConfig(config);
    ASSERT_EQ(gdi.open(320, 240), DisplayOpenError::None);
    for (const Sound& s : kSounds)
      ASSERT_TRUE(writeFile(folder / s.name, encodeMp3(sine(330, 6000, s.frames, s.rate, s.channels), s.channels,
                                                       s.rate, 32)));
  }
  void TearDown() override {
    player.close();
    mixer.destroy();
    unloadDecoderModule();
    platform::setAudioConfig({});
    platform::setClockMode(platform::ClockMode::Real);
  }

  /// A movie of 10 fps with a sound track of trackMs that ends before its frames do.
  void makeMovie(int trackMs) {
    ASSERT_TRUE(writeFile(folder / "clip.jmv", makeTestMovie(uint32_t(trackMs / 100 + 20), 48, 32, 10)));
    ASSERT_TRUE(writeFile(folder / "clip.mp3",
                          encodeMp3(sine(220, 4000, 22050 * trackMs / 1000, 22050, 1), 1, 22050, 32)));
  }
  void openMovie() {
    ASSERT_EQ(player.open(sys + "clip.jmv", gdi, &mixer, 80, false, false), MovieRefusal::None);
    ASSERT_TRUE(player.hasSound());
  }

  /// One pass of the game thread: a movie step (reopened once it has ended) and one change to
  /// a channel, with what must hold right after it whatever the output thread does meanwhile.
  void pass(Choices& pick) {
    if (!player.step()) {
      ASSERT_NO_FATAL_FAILURE(openMovie());
    }
    const int slot = kSlots[pick.next(kSlots.size())];
    const Sound& sound = kSounds[pick.next(kSounds.size())];
    switch (pick.next(10)) {
      case 0:
      case 1: {  // play at once, sometimes fading in
        const int fade = pick.next(2) ? int(pick.next(400)) : 0;
        ASSERT_TRUE(mixer.play(slot, sound.name, sys, nullptr, int(pick.next(101)), fade, pick.next(2), true, false));
        EXPECT_TRUE(mixer.isPlaying(slot)) << slot;
        EXPECT_GE(mixer.positionMs(slot), 0);
        break;
      }
      case 2: {  // prepare, then start
        ASSERT_TRUE(mixer.play(slot, sound.name, sys, nullptr, 100, 0, false, false, pick.next(2)));
        EXPECT_FALSE(mixer.isPlaying(slot)) << slot;
        EXPECT_EQ(mixer.positionMs(slot), -1);
        mixer.start(slot, pick.next(2));
        EXPECT_TRUE(mixer.isPlaying(slot)) << slot;
        break;
      }
      case 3: {  // stop: gone at once, whatever the refill was doing
        mixer.stop(slot);
        EXPECT_FALSE(mixer.isPlaying(slot)) << slot;
        EXPECT_FALSE(mixer.hasChannel(slot)) << slot;
        EXPECT_EQ(mixer.positionMs(slot), -1);
        EXPECT_FALSE(mixer.status(slot));
        break;
      }
      case 4: {  // re-level
        const int level = int(pick.next(101));
        mixer.setVolume(slot, level);
        if (auto st = mixer.status(slot)) {
          EXPECT_EQ(st->requestedLevel, level);
        }
        break;
      }
      case 5:
        mixer.fadeIn(slot, int(pick.next(300)));
        break;
      case 6:
        mixer.fadeOut(slot, int(pick.next(300)));
        break;
      case 7:  // restart a channel that is prepared or has ended
        mixer.start(slot, pick.next(2));
        break;
      case 8:
        mixer.setDeviceVolume(pick.next(70000));
        break;
      default: {  // what the game polls while it waits for a sound
        (void)mixer.isPlaying(slot);
        (void)mixer.positionMs(slot);
        (void)mixer.status(slot);
        (void)mixer.hasChannel(slot);
        break;
      }
    }
  }

  /// Fades every remaining channel out and waits (a bounded number of refills) until the output
  /// thread has destroyed them all; then lets the movie run to its end.
  void finish(bool virtualClock) {
    for (int slot : kSlots) mixer.fadeOut(slot, 150);
    auto anyLeft = [&] {
      for (int slot : kSlots)
        if (mixer.hasChannel(slot)) return true;
      return false;
    };
    for (int guard = 0; guard < 2000 && anyLeft(); ++guard) {
      if (virtualClock) {
        platform::advanceVirtualClock(10);
        ASSERT_TRUE(mixer.syncOutput());
      } else {
        platform::sleepMs(2);
      }
    }
    EXPECT_FALSE(anyLeft()) << "a faded-out channel was never destroyed";
    bool ended = false;
    for (int guard = 0; guard < 3000 && !ended; ++guard) {
      ended = !player.step();
      if (virtualClock) {
        platform::advanceVirtualClock(10);
        ASSERT_TRUE(mixer.syncOutput());
      }
    }
    EXPECT_TRUE(ended) << "the movie never ended";
    EXPECT_FALSE(mixer.isPlaying(movie::kTrackSlot));
    EXPECT_EQ(mixer.positionMs(movie::kTrackSlot), -1);
    mixer.stopAll();
    for (int slot = 0; slot < SoundMixer::kSlots; ++slot) EXPECT_FALSE(mixer.hasChannel(slot)) << slot;
  }

  std::filesystem::path folder;
  std::string sys;
  GdiBackend gdi;
  SoundMixer mixer;
  MoviePlayer player;
};

// The virtual clock runs ahead in 10 ms steps while the output thread catches up on its own
// (no waiting for it): many refills, several whole movies.
TEST_F(AudioThreadsTest, ChannelsChangeWhileTheOutputRefillsUnderTheVirtualClock) {
  platform::setClockMode(platform::ClockMode::Virtual, 1000);
  makeMovie(800);
  ASSERT_TRUE(mixer.create());
  openMovie();
  Choices pick;
  for (int i = 0; i < 600; ++i) {
    ASSERT_NO_FATAL_FAILURE(pass(pick));
    platform::advanceVirtualClock(10);
  }
  ASSERT_NO_FATAL_FAILURE(finish(true));
}

// Real time: the output thread sleeps until each buffer is due, as in a headless run without the
// virtual clock.
TEST_F(AudioThreadsTest, ChannelsChangeWhileTheOutputRefillsInRealTime) {
  makeMovie(300);
  ASSERT_TRUE(mixer.create());
  openMovie();
  Choices pick;
  for (int i = 0; i < 300; ++i) ASSERT_NO_FATAL_FAILURE(pass(pick));
  ASSERT_NO_FATAL_FAILURE(finish(false));
}

// A sound device (SDL's dummy driver, which drains its queue in real time like a card): the
// output thread hands the mixer's buffers to SDL and watches what SDL still holds.
TEST_F(AudioThreadsTest, ChannelsChangeWhileASoundDevicePlays) {
  ::setenv("SDL_AUDIODRIVER", "dummy", 1);
  platform::AudioConfig config;
  config.captureHostPath = (folder / "device.wav").string();
  platform::setAudioConfig(config);
  makeMovie(300);
  ASSERT_TRUE(mixer.create());
  ::unsetenv("SDL_AUDIODRIVER");
  ASSERT_TRUE(mixer.outputHasDevice());
  openMovie();
  Choices pick;
  for (int i = 0; i < 300; ++i) ASSERT_NO_FATAL_FAILURE(pass(pick));
  ASSERT_NO_FATAL_FAILURE(finish(false));
}

}  // namespace
}  // namespace sorel
