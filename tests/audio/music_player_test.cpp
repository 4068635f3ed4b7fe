#include "engine/audio/music_player.h"

#include <gtest/gtest.h>

#include "engine/audio/sound_mixer.h"
#include "engine/resources/data_locations.h"
#include "mp3_maker.h"
#include "platform/audio_config.h"
#include "platform/clock.h"

namespace sorel {
namespace {

using namespace sorel::testing;

class MusicPlayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::setClockMode(platform::ClockMode::Virtual, 1000);
    platform::AudioConfig config;
    config.headless = true;
    platform::setAudioConfig(config);
    ASSERT_TRUE(loadBuiltDecoder());
    auto root = testFolder("music_player");
    std::filesystem::create_directories(root / "data" / "bgm");
    auto mp3 = encodeMp3(sine(440, 8000, 22050, 22050, 2), 2, 22050, 64);
    ASSERT_TRUE(writeFile(root / "data" / "bgm" / "bgm01.mp3", mp3));
    ASSERT_TRUE(writeFile(root / "bgm02.mp3", mp3));  // outside the music folder
    paths = makeDataPaths(systemFolder(root));
    ASSERT_TRUE(mixer.create());
    music.setMusicFolder(paths.musicFolder);
  }
  void TearDown() override {
    mixer.destroy();
    unloadDecoderModule();
    platform::setAudioConfig({});
    platform::setClockMode(platform::ClockMode::Real);
  }
  DataPaths paths;
  SoundMixer mixer;
  MusicPlayer music;
};

TEST_F(MusicPlayerTest, PlaysFromTheMusicFolderOnSlotZeroWhenMusicIsOn) {
  music.setMode(&mixer, MusicPlayer::kModeOn);
  music.setWholeFile(true);
  EXPECT_TRUE(music.play("bgm01.mp3", 70, 0, true));
  EXPECT_TRUE(music.isPlaying());
  EXPECT_EQ(music.name(), "bgm01.mp3");
  EXPECT_EQ(music.location(), paths.programFolder + "data\\bgm\\");
  EXPECT_EQ(music.requestTime(), 1000u);
  auto st = mixer.status(0);
  ASSERT_TRUE(st);
  EXPECT_TRUE(st->loop);
  EXPECT_EQ(st->requestedLevel, 70);
  music.setVolume(40);
  EXPECT_EQ(mixer.status(0)->requestedLevel, 40);

  // A name outside the music folder is not found: the request is kept, nothing plays.
  EXPECT_TRUE(music.play("bgm02.mp3", 70, 0, true));
  EXPECT_EQ(music.name(), "bgm02.mp3");
  EXPECT_FALSE(mixer.hasChannel(0));

  EXPECT_TRUE(music.play("bgm01.mp3", 70, 1000, false));
  EXPECT_TRUE(mixer.status(0)->fadingIn);
  music.fadeOut(500);
  EXPECT_FALSE(music.isPlaying());
  EXPECT_TRUE(music.name().empty());
  EXPECT_TRUE(mixer.status(0)->fadingOut);
  music.play("bgm01.mp3", 70, 0, true);
  music.stop();
  EXPECT_FALSE(mixer.hasChannel(0));
  EXPECT_TRUE(music.name().empty());
}

TEST_F(MusicPlayerTest, WithMusicOffOnlyTheRequestIsKept) {
  music.setMode(&mixer, 1);
  EXPECT_TRUE(music.play("bgm01.mp3", 100, 0, true));
  EXPECT_TRUE(music.isPlaying());
  EXPECT_EQ(music.name(), "bgm01.mp3");
  EXPECT_FALSE(mixer.hasChannel(0));

  // Switching on keeps the name (the caller starts it again); switching off stops slot 0.
  music.setMode(&mixer, MusicPlayer::kModeOn);
  EXPECT_EQ(music.name(), "bgm01.mp3");
  music.play(music.name(), 100, 0, true);
  EXPECT_TRUE(mixer.hasChannel(0));
  music.setMode(&mixer, 1);
  EXPECT_FALSE(mixer.hasChannel(0));
  EXPECT_EQ(music.name(), "bgm01.mp3");
  // Off: no level changes or fades reach the mixer's slot 0 (a movie may own it).
  ASSERT_TRUE(mixer.play(0, "bgm01.mp3", paths.musicFolder, nullptr, 90, 0, false, true, false));
  music.setVolume(10);
  music.fadeOut(100);
  music.stop();
  EXPECT_EQ(mixer.status(0)->requestedLevel, 90);
  EXPECT_FALSE(mixer.status(0)->fadingOut);
}

TEST_F(MusicPlayerTest, ALongProgramFolderIsKeptWholeAndMusicStillPlays) {
  // A program folder well past 128 bytes: nothing may shorten the music folder.
  auto deep = testFolder("music_player_long") / std::string(100, 'd') / std::string(60, 'e');
  std::filesystem::create_directories(deep / "data" / "bgm");
  ASSERT_TRUE(writeFile(deep / "data" / "bgm" / "bgm01.mp3",
                        encodeMp3(sine(440, 8000, 22050, 22050, 2), 2, 22050, 64)));
  DataPaths longPaths = makeDataPaths(systemFolder(deep));
  ASSERT_GT(longPaths.musicFolder.size(), 200u);
  music.setMusicFolder(longPaths.musicFolder);
  EXPECT_EQ(music.musicFolder(), longPaths.musicFolder);
  music.setMode(&mixer, MusicPlayer::kModeOn);
  EXPECT_TRUE(music.play("bgm01.mp3", 70, 0, true));
  EXPECT_EQ(music.location(), longPaths.musicFolder);
  EXPECT_TRUE(mixer.hasChannel(0));

  // A name the mixer cannot take is refused, not reported as playing.
  EXPECT_FALSE(music.play(std::string(200, 'n') + ".mp3", 70, 0, true));
  EXPECT_EQ(music.name(), "bgm01.mp3");
  EXPECT_TRUE(mixer.hasChannel(0));
}

}  // namespace
}  // namespace sorel
