// The sound commands: effects and their loop names, the waits on effect and voice slots, music
// from the music table with its fades and waits, the automatic message's wait for its voice, and
// the companion voice.
#include <cstring>

#include "tests/game_fixture.h"

namespace sorel::test {
namespace {

class SoundCommands : public GameFixture {
 protected:
  void SetUp() override {
    GameFixture::SetUp();
    settings.sePlay = 2;
    settings.voicePlay = 2;
    // Music records: 0 "theme.wav", 1 "sad" (no extension), 2 empty.
    std::vector<uint8_t> bgm(3 * DataTables::kBgmRecordSize, 0);
    for (auto [i, name] : {std::pair{0, "theme.wav"}, std::pair{1, "sad"}})
      std::copy(name, name + std::strlen(name), bgm.begin() + long(i * DataTables::kBgmRecordSize));
    game->tables().setBgm(bgm);
    addPicture("MessageWindow.bmp", 640, 162);
    addPicture("Cursor.bmp", 136, 36);
  }
  /// A music statement: BGM_PLAY and its twin take the index from the top entry (18 bytes), the
  /// others from the second (24 bytes).
  static std::string music(int index, std::string op = "BGM_PLAY") {
    std::string push = "PUSH_INT " + std::to_string(index) + "\n";
    if (op != "BGM_PLAY" && op != "BGM_PLAY_1100") push += "PUSH_INT 0\n";
    return push + op + "\nCLEAR_STACK\n";
  }
  /// Statement offsets: every instruction is 6 bytes.
  uint32_t pc() const { return game->script.pc; }
};

TEST_F(SoundCommands, EffectsPlayAsMp3OnTheirSlotsAtTheEffectVolume) {
  settings.masterVol = 30;
  settings.seVol = 80;
  run("PUSH_STRING \"door.wav\"\nSE_PLAY_6\nPUSH_STRING \"bell\"\nSE_PLAY_7\n"
      "PUSH_STRING \"rain.x.wav\"\nLOOP_SE_PLAY_4\nPUSH_STRING \"wind.wav\"\nLOOP_SE_PLAY_5\n"
      "PUSH_STRING \"\"\nSE_PLAY_6\nYIELD\n");
  frame();
  EXPECT_EQ(sound.effects, (std::vector<std::string>{"6:door.mp3@24", "7:bell.mp3@24", "4:rain.x.mp3:loop@24",
                                                      "5:wind.mp3:loop@24"}))
      << "an empty name plays nothing";
  EXPECT_EQ(fieldView(game->script.loopSeName[0]), "rain.x.wav");
  EXPECT_EQ(fieldView(game->script.loopSeName[1]), "wind.wav");
}

TEST_F(SoundCommands, LoopNamesAreKeptWithEffectsOffAndPlayOnceEffectsComeBack) {
  settings.sePlay = 1;
  run("PUSH_STRING \"rain.wav\"\nLOOP_SE_PLAY_4\nPUSH_STRING \"wind.wav\"\nLOOP_SE_PLAY_5\nYIELD\n"
      "LOOP_SE_STOP_5\nYIELD\n");
  frame();
  EXPECT_TRUE(sound.effects.empty());
  EXPECT_EQ(fieldView(game->script.loopSeName[0]), "rain.wav");
  game->restartLoopEffects();
  EXPECT_TRUE(sound.effects.empty()) << "still off";
  settings.sePlay = 2;
  game->restartLoopEffects();
  EXPECT_EQ(sound.effects, (std::vector<std::string>{"4:rain.mp3:loop@100", "5:wind.mp3:loop@100"}));
  frame();
  EXPECT_EQ(sound.stops, std::vector<int>{5});
  EXPECT_EQ(fieldView(game->script.loopSeName[1]), "");
  EXPECT_EQ(fieldView(game->script.loopSeName[0]), "rain.wav");
}

TEST_F(SoundCommands, WaitSeGoesOnAtOnceWhenSilentAndStopsTheEffectWhenSkipping) {
  run("PUSH_STRING \"door.wav\"\nSE_PLAY_6\nWAIT_SE_7\nWAIT_SE_6\nYIELD\nYIELD\n");
  // Offsets: PUSH_STRING 6 + 9 = 15, SE_PLAY_6 at 15, WAIT_SE_7 at 21, WAIT_SE_6 at 27.
  frame();
  EXPECT_EQ(pc(), 27u) << "slot 7 was silent: on in the same frame; slot 6 plays";
  frame(3);
  EXPECT_EQ(pc(), 27u);
  sound.effectPlaying[0] = false;
  frame();
  EXPECT_EQ(pc(), 39u) << "silent now: WAIT_SE_6 and the first YIELD in one frame";

  run("PUSH_STRING \"door.wav\"\nSE_PLAY_6\nWAIT_SE_6\nYIELD\nYIELD\n");
  sound.stops.clear();
  frame();
  EXPECT_EQ(pc(), 21u);
  input.skipLockLatched = 1;
  frame();
  EXPECT_EQ(sound.stops, std::vector<int>{6});
  EXPECT_EQ(pc(), 33u);
}

TEST_F(SoundCommands, WaitVoiceWaitsForSlotTwoAndStopsItWhenItGoesOn) {
  sound.voiceLength = 100;
  run("WAIT_VOICE\nYIELD\nYIELD\n");
  sound.playVoice("00001.mp3", 100);
  frame();
  EXPECT_EQ(pc(), 0u);
  frame(6);
  EXPECT_EQ(pc(), 12u) << "the voice ended: on, through the first YIELD";
  EXPECT_EQ(sound.stops, std::vector<int>{2});
}

TEST_F(SoundCommands, MusicComesFromTheTableAndTheSameMusicIsNotStartedAgain) {
  settings.masterVol = 30;
  settings.musicVol = 80;
  run(music(0) + music(0) + "YIELD\n" + music(1, "BGM_PLAY_T2") + "YIELD\n" + music(0, "BGM_PLAY_FADE") +
      music(2) + "PUSH_INT 7\nBGM_PLAY\nPUSH_INT -1\nBGM_PLAY\nYIELD\nBGM_FADE_OUT\n" + music(1, "BGM_PLAY_1100") +
      "YIELD\n");
  frame();
  EXPECT_EQ(sound.musicRequests, std::vector<std::string>{"theme.mp3@0@24"}) << "once only";
  frame();
  EXPECT_EQ(sound.music, "sad.mp3");
  frame();
  EXPECT_EQ(sound.musicRequests.back(), "theme.mp3@1000@24") << "BGM_PLAY_FADE fades in over a second";
  EXPECT_EQ(sound.musicRequests.size(), 3u) << "empty records and indices outside the table play nothing";
  frame();
  EXPECT_EQ(sound.musicFades, std::vector<int>{500});
  EXPECT_EQ(sound.music, "sad.mp3") << "after a fade-out the same music may start again";
}

TEST_F(SoundCommands, BgmFadeOutWaitWaitsForTheMusicToFadeAway) {
  run(music(0) + "YIELD\nBGM_FADE_OUT_WAIT\nYIELD\nYIELD\n");
  const uint32_t waitAt = 18 + 6;
  frame();
  frame();
  EXPECT_EQ(pc(), waitAt);
  EXPECT_EQ(sound.musicFades, std::vector<int>{1000});
  sound.voiceLength = 5000;
  sound.playVoice("00001.mp3", 100);  // a voice on slot 2 does not hold the wait
  frame(5);
  EXPECT_EQ(pc(), waitAt);
  EXPECT_EQ(sound.musicFades.size(), 1u) << "the fade starts once";
  sound.musicPlaying = false;  // the fade has ended
  frame();
  EXPECT_EQ(pc(), waitAt + 12) << "on in the same frame, through the next YIELD";
}

TEST_F(SoundCommands, BgmFadeOutWaitGoesOnAtOnceWithMusicOffAndStopsTheMusicWhenSkipping) {
  run("BGM_FADE_OUT_WAIT\nYIELD\nYIELD\n");
  frame();
  EXPECT_EQ(pc(), 12u) << "nothing plays on slot 0: on in the same frame, through the first YIELD";

  run(music(0) + "YIELD\nBGM_FADE_OUT_WAIT\nYIELD\nYIELD\n");
  frame(2);
  EXPECT_EQ(pc(), 24u);
  sound.stops.clear();
  input.count(Key::Left) = 1;
  frame();
  EXPECT_EQ(sound.stops, std::vector<int>{0});
  EXPECT_EQ(pc(), 36u);
}

TEST_F(SoundCommands, AnAutomaticMessageGoesOnAsItsVoiceEndsOrAfterASecondWithout) {
  // Message statement: 3 pushes (6 + 6 + 6 + 40 = 58 bytes), MESSAGE_AUTO at 58, CLEAR_STACK.
  auto autoMessage = [](const std::string& text) {
    return "PUSH_INT 1\nPUSH_INT -1\nPUSH_STRING \"" + text + "\", 40\nMESSAGE_AUTO\nCLEAR_STACK\n";
  };
  settings.messageSpeed = 0;
  sound.voiceLength = 500;
  run(autoMessage("@v01001あ") + "YIELD\n");
  frame();
  ASSERT_EQ(sound.voices.size(), 1u);
  frame(31);
  EXPECT_EQ(pc(), 58u) << "the voice still plays (500 ms from the first frame)";
  frame();
  EXPECT_EQ(pc(), 64u) << "on as soon as the voice ended";

  // Voices off: the named voice is not heard, and the line stays a second to be read, counted
  // from the frame it was typed in.
  settings.voicePlay = 1;
  run(autoMessage("@v01001あ") + "YIELD\n");
  frame();
  frame(62);
  EXPECT_EQ(pc(), 58u);
  frame();
  EXPECT_EQ(pc(), 64u);

  // Skipping goes on at once.
  run(autoMessage("い") + "YIELD\n");
  frame();
  input.count(Key::Left) = 1;
  frame();
  EXPECT_EQ(pc(), 64u);
}

TEST_F(SoundCommands, CompanionVoicesComeFromTheMascotHeroinesPrefix) {
  settings.masterVol = 50;
  settings.voiceVol = 60;
  settings.mascotCharMode = 0;
  game->companionVoice(16, true);
  EXPECT_TRUE(sound.systemVoices.empty()) << "no mascot";
  settings.mascotCharMode = 4;
  game->companionVoice(1, false);
  game->mascotVoice(23);
  settings.mascotCharMode = 13;
  game->companionVoice(2, true);
  settings.mascotCharMode = 12;
  settings.voicePlay = 1;
  game->companionVoice(3, true);
  EXPECT_EQ(sound.systemVoices, (std::vector<std::string>{"mio01.mp3@30:prepared", "mio23.mp3@30"}));

  settings.voicePlay = 2;
  run("CHOICE_BEGIN\nYIELD\n");
  frame();
  EXPECT_EQ(sound.systemVoices.back(), "koharu16.mp3@30") << "a choice begins with companion voice 16";
}

}  // namespace
}  // namespace sorel::test
