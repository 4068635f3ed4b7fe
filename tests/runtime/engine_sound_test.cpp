// The engine's sound over a real mixer (headless output, virtual clock): where each request
// plays from, and how the sound settings reach the music player, the slots and the device.
#include "engine/runtime/engine_sound.h"

#include <gtest/gtest.h>

#include "converter/mlz_writer.h"
#include "engine/audio/music_player.h"
#include "engine/audio/sound_mixer.h"
#include "engine/resources/data_locations.h"
#include "engine/resources/mlz_archive.h"
#include "engine/state/settings.h"
#include "platform/audio_config.h"
#include "platform/clock.h"
#include "tests/audio/mp3_maker.h"

namespace sorel {
namespace {

using namespace sorel::testing;

class EngineSoundTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::setClockMode(platform::ClockMode::Virtual, 1000);
    platform::setAudioConfig({true, ""});
    ASSERT_TRUE(loadBuiltDecoder());
    auto root = testFolder("engine_sound");
    for (const char* f : {"bgm", "se", "sys"}) std::filesystem::create_directories(root / "data" / f);
    auto mp3 = encodeMp3(sine(440, 8000, 22050, 22050, 1), 1, 22050, 32);
    ASSERT_TRUE(writeFile(root / "data" / "bgm" / "theme.mp3", mp3));
    ASSERT_TRUE(writeFile(root / "data" / "bgm" / "sad.mp3", mp3));
    ASSERT_TRUE(writeFile(root / "data" / "se" / "door.mp3", mp3));
    ASSERT_TRUE(writeFile(root / "data" / "sys" / "mio01.mp3", mp3));
    MlzWriter voices;
    ASSERT_TRUE(voices.open(*platform::systemPath((root / "data" / "voice.mlz").string()), 1));
    ASSERT_TRUE(voices.add("01001.mp3", mp3, true));
    ASSERT_TRUE(voices.close());
    paths = makeDataPaths(systemFolder(root));
    ASSERT_TRUE(mixer.create());
    sound = std::make_unique<EngineSound>(mixer, music, voiceArchive, paths, settings);
    sound->applyStartSettings();
  }
  void TearDown() override {
    sound.reset();
    mixer.destroy();
    unloadDecoderModule();
    platform::setAudioConfig({});
    platform::setClockMode(platform::ClockMode::Real);
  }
  /// Lets the output play ms milliseconds (refills included).
  void play(uint32_t ms) {
    for (uint32_t t = 0; t < ms; t += 16) {
      platform::advanceVirtualClock(16);
      ASSERT_TRUE(mixer.syncOutput());
    }
  }
  int level(int slot) { return mixer.status(slot) ? mixer.status(slot)->requestedLevel : -1; }

  Settings settings;
  DataPaths paths;
  SoundMixer mixer;
  MusicPlayer music;
  MlzArchive voiceArchive;
  std::unique_ptr<EngineSound> sound;
};

TEST_F(EngineSoundTest, EachRequestPlaysFromItsPlaceOnItsSlot) {
  EXPECT_TRUE(sound->playVoice("01001.mp3", 40));
  EXPECT_TRUE(sound->isPlaying(2));
  EXPECT_EQ(level(2), 40);
  EXPECT_FALSE(sound->playVoice("09999.mp3", 40)) << "not in voice.mlz";
  EXPECT_FALSE(mixer.hasChannel(2));

  sound->playEffect(6, "door.mp3", 50, false);
  sound->playEffect(4, "door.mp3", 50, true);
  sound->playEffect(2, "door.mp3", 50, false);  // not an effect slot
  EXPECT_TRUE(sound->isPlaying(6));
  EXPECT_TRUE(mixer.status(4)->loop);
  EXPECT_FALSE(mixer.hasChannel(2));

  // A companion voice may wait, prepared, for its cue.
  EXPECT_TRUE(sound->playSystemVoice("mio01.mp3", 30, false));
  EXPECT_TRUE(mixer.hasChannel(10));
  EXPECT_FALSE(sound->isPlaying(10));
  sound->start(10);
  EXPECT_TRUE(sound->isPlaying(10));
  EXPECT_FALSE(mixer.status(10)->loop);

  sound->stopAll();
  for (int slot : {2, 4, 6, 10}) EXPECT_FALSE(mixer.hasChannel(slot));
}

TEST_F(EngineSoundTest, TheMusicAlreadyRequestedIsNotStartedAgain) {
  sound->playMusic("theme.mp3", 80, 0);
  EXPECT_EQ(sound->musicName(), "theme.mp3");
  EXPECT_TRUE(mixer.status(0)->loop);
  play(600);
  int32_t before = mixer.positionMs(0);
  ASSERT_GT(before, 0);
  sound->playMusic("THEME.mp3", 80, 1000);
  EXPECT_GE(mixer.positionMs(0), before) << "still the same channel";
  EXPECT_FALSE(mixer.status(0)->fadingIn);
  sound->playMusic("sad.mp3", 80, 1000);
  EXPECT_EQ(mixer.status(0)->name, "sad.mp3");
  EXPECT_TRUE(mixer.status(0)->fadingIn);
  sound->fadeOutMusic(500);
  EXPECT_EQ(sound->musicName(), "");
  play(700);
  EXPECT_FALSE(mixer.hasChannel(0)) << "faded out and gone";
}

TEST_F(EngineSoundTest, StartSettingsGiveTheMusicModeStreamingAndDeviceVolume) {
  EXPECT_EQ(music.mode(), 2) << "a fresh installation plays music";
  EXPECT_EQ(music.musicFolder(), paths.musicFolder);
  EXPECT_FALSE(music.wholeFile());
  EXPECT_EQ(mixer.deviceVolume(), 0xFFFFFFFFu);
  settings.memStream = 1;
  for (int32_t v : {0, 65535, -5, 70000}) {
    settings.deviceVol = v;
    sound->applyStartSettings();
    EXPECT_EQ(mixer.deviceVolume(), 0xFFFFFFFFu) << v << " leaves the device alone";
  }
  EXPECT_TRUE(music.wholeFile());
  settings.deviceVol = 30000;
  settings.pcm = 1;
  sound->applyStartSettings();
  EXPECT_EQ(mixer.deviceVolume(), 30000u | (30000u << 16));
  EXPECT_EQ(music.mode(), 1);
}

TEST_F(EngineSoundTest, VolumesAreTheirOwnTimesMasterAndReachOnlyTheirSlots) {
  EXPECT_EQ(effectiveVolume(80, 30), 24);
  EXPECT_EQ(effectiveVolume(70, 70), 49);
  sound->playMusic("theme.mp3", 100, 0);
  sound->playVoice("01001.mp3", 100);
  sound->playSystemVoice("mio01.mp3", 100, true);
  for (int slot = 4; slot <= 7; ++slot) sound->playEffect(slot, "door.mp3", 100, slot < 6);

  settings.masterVol = 30;
  settings.musicVol = 80;
  sound->applyVolume(SoundOutput::Music);
  EXPECT_EQ(level(0), 24) << "music 80 % under a master of 30 %";
  EXPECT_EQ(level(2), 100) << "only the changed output";
  settings.voiceVol = 50;
  settings.seVol = 70;
  sound->applyAllVolumes();
  EXPECT_EQ(level(2), 15);
  EXPECT_EQ(level(10), 15);
  for (int slot = 4; slot <= 7; ++slot) EXPECT_EQ(level(slot), 21);
  EXPECT_EQ(sound->volume(SoundOutput::Movie), 30);

  // While a movie owns slot 0 the movie volume sets it and the music volume does not.
  sound->setMoviePlaying(true);
  settings.musicVol = 10;
  sound->applyVolume(SoundOutput::Music);
  EXPECT_EQ(level(0), 24);
  settings.movVol = 50;
  sound->applyVolume(SoundOutput::Movie);
  EXPECT_EQ(level(0), 15);
  sound->setMoviePlaying(false);
  settings.movVol = 100;
  sound->applyVolume(SoundOutput::Movie);
  EXPECT_EQ(level(0), 15) << "no movie: the movie volume leaves slot 0 alone";
}

TEST_F(EngineSoundTest, SwitchingMusicOffKeepsTheRequestAndOnPlaysItFromTheStart) {
  settings.masterVol = 50;
  sound->playMusic("theme.mp3", 50, 0);
  play(600);
  settings.pcm = 1;
  sound->applyMusicSwitch();
  EXPECT_FALSE(mixer.hasChannel(0));
  EXPECT_EQ(sound->musicName(), "theme.mp3");
  sound->playMusic("sad.mp3", 50, 0);  // requested while off: remembered only
  EXPECT_FALSE(mixer.hasChannel(0));
  settings.pcm = 2;
  sound->applyMusicSwitch();
  ASSERT_TRUE(mixer.hasChannel(0));
  EXPECT_EQ(mixer.status(0)->name, "sad.mp3");
  EXPECT_TRUE(mixer.status(0)->loop);
  EXPECT_EQ(level(0), 50);
  EXPECT_EQ(mixer.positionMs(0), 0) << "from its beginning";
  play(600);
  int32_t position = mixer.positionMs(0);
  EXPECT_GT(position, 0);
  sound->applyMusicSwitch();
  EXPECT_EQ(mixer.positionMs(0), position) << "switching on again while on changes nothing";

  sound->stopMusic();
  settings.pcm = 1;
  sound->applyMusicSwitch();
  settings.pcm = 2;
  sound->applyMusicSwitch();
  EXPECT_FALSE(mixer.hasChannel(0)) << "no music requested: nothing to play";
}

TEST_F(EngineSoundTest, SwitchingMusicWhileAMovieOwnsSlotZeroLeavesItsSoundTrackAlone) {
  settings.pcm = 1;
  sound->applyMusicSwitch();
  sound->playMusic("theme.mp3", 100, 0);  // remembered while off
  // A movie's sound track on slot 0 (the movie player plays it straight on the mixer).
  ASSERT_TRUE(mixer.play(0, "sad.mp3", paths.musicFolder, nullptr, 70, 0, false, true, true));
  sound->setMoviePlaying(true);
  play(300);
  const int32_t position = mixer.positionMs(0);
  for (int pcm : {2, 1, 2}) {
    settings.pcm = pcm;
    sound->applyMusicSwitch();
    ASSERT_TRUE(mixer.hasChannel(0)) << "PCM " << pcm;
    EXPECT_EQ(mixer.status(0)->name, "sad.mp3") << "PCM " << pcm;
    EXPECT_EQ(mixer.positionMs(0), position) << "PCM " << pcm << ": not restarted";
  }
  sound->setMoviePlaying(false);
}

TEST_F(EngineSoundTest, SwitchingVoicesOrEffectsOffSilencesTheirSlots) {
  settings.voicePlay = 2;
  settings.sePlay = 2;
  sound->playVoice("01001.mp3", 100);
  sound->playSystemVoice("mio01.mp3", 100, true);
  for (int slot = 4; slot <= 7; ++slot) sound->playEffect(slot, "door.mp3", 100, false);
  sound->applyVoiceSwitch();
  sound->applyEffectSwitch();
  EXPECT_TRUE(mixer.hasChannel(2)) << "still on";
  settings.voicePlay = 1;
  settings.sePlay = 1;
  sound->applyVoiceSwitch();
  EXPECT_FALSE(mixer.hasChannel(2));
  EXPECT_FALSE(mixer.hasChannel(10));
  EXPECT_TRUE(mixer.hasChannel(4));
  sound->applyEffectSwitch();
  for (int slot = 4; slot <= 7; ++slot) EXPECT_FALSE(mixer.hasChannel(slot));
}

}  // namespace
}  // namespace sorel
