// The message window: typing with its timing and voice codes, the click marker, the reader's
// wait (advance, automatic mode, skipping, hiding), the backlog and its view, the read table,
// and the speaker colours.
#include "platform/text.h"
#include "tests/game_fixture.h"

namespace sorel::test {
namespace {

class Messages : public GameFixture {
 protected:
  void SetUp() override {
    GameFixture::SetUp();
    addPicture("MessageWindow.bmp", 640, 162);
    addPicture("Cursor.bmp", 136, 36);
    addPicture("BackLog.bmp", 616, 48);
    addPicture("ScrollBar.bmp", 76, 40);
  }
  /// A message statement in scenario text: 130 bytes, its message instruction at offset 118
  /// (the text is stored in a fixed 100-byte field).
  static std::string message(int speaker, int face, const std::string& text, const char* op = "MESSAGE") {
    return "PUSH_INT " + std::to_string(speaker) + "\nPUSH_INT " + std::to_string(face) + "\nPUSH_STRING \"" + text +
           "\", 100\n" + op + "\nCLEAR_STACK\n";
  }
  static constexpr uint32_t kAt = 118, kAfter = 124, kNext = 130;
  /// Frames until the click marker shows (at most n).
  int framesUntilMarker(int n = 200) {
    for (int i = 1; i <= n; ++i) {
      frame();
      if (game->message.markerShown) return i;
    }
    return -1;
  }
};

TEST_F(Messages, TypesOneCharacterPerTwentyMillisecondsAndWaitsForTheReader) {
  run(message(1, -1, "あいうえおかきくけこ") + "YIELD\n");
  frame();
  EXPECT_EQ(game->script.windowShown, 1u);
  EXPECT_TRUE(game->layers().get(512)->visible);
  // 16 ms later the first character is due (its delay counts from the start).
  int typed = game->textCells().count;
  EXPECT_LE(typed, 1);
  frame(5);  // 96 ms: four or five characters
  EXPECT_EQ(game->textCells().count, 4);
  int markerAt = framesUntilMarker();
  EXPECT_GT(markerAt, 0);
  EXPECT_EQ(game->textCells().count, 10);
  EXPECT_EQ(game->script.repeat, 3u) << "set to 2 in the marker's frame, counted on";
  EXPECT_TRUE(game->layers().exists(516));
  frame(20);
  EXPECT_EQ(game->script.pc, kAt) << "still waiting";
  press(Key::Right);
  frame();
  EXPECT_EQ(game->script.pc, kAfter);
  EXPECT_FALSE(game->layers().exists(516));
  EXPECT_EQ(game->textCells().count, 0);
  ASSERT_EQ(game->backlog().count(), 1u);
  EXPECT_TRUE(game->readTable().isRead("test.bin", kAt));
}

TEST_F(Messages, CellsAreLaidOutFromTheOriginAndWrap) {
  std::string text;
  for (int i = 0; i < 26; ++i) text += "あ";
  text += "。";
  run(message(15, -1, text) + "YIELD\n");
  settings.messageSpeed = 0;  // fast: no delay
  frame();
  const auto& cells = game->textCells();
  ASSERT_EQ(cells.count, 27);
  EXPECT_EQ(cells.cells[0].rect, (Rect{64, 370, 64 + 23, 370 + 23}));
  EXPECT_EQ(cells.cells[0].code, 0xA082) << "first byte in the low 8 bits";
  EXPECT_EQ(cells.cells[0].state, CharCell::kNew);
  EXPECT_EQ(cells.cells[24].rect.left, 64 + 24 * 22);
  EXPECT_EQ(cells.cells[25].rect.left, 64) << "the 26th character starts a new line";
  EXPECT_EQ(cells.cells[25].rect.top, 370 + 22);
  EXPECT_EQ(cells.cells[26].rect.top, 370 + 22);
}

TEST_F(Messages, VoiceCodesPlayAndStayOutOfTheBacklog) {
  settings.voicePlay = 2;
  run(message(2, -1, "@v01001こんにちは\\\\@") + "YIELD\n");
  framesUntilMarker();
  ASSERT_EQ(sound.voices.size(), 1u);
  EXPECT_EQ(sound.voices[0], "01001.mp3");
  EXPECT_EQ(game->textCells().count, 6) << "five kana and the escaped @";
  press(Key::Right);
  frame();
  ASSERT_EQ(game->backlog().count(), 1u);
  EXPECT_EQ(game->backlog().entry(0).voice, "01001.mp3");
  EXPECT_EQ(game->backlog().entry(0).text, "\x82\xb1\x82\xf1\x82\xc9\x82\xbf\x82\xcd");
  EXPECT_EQ(game->backlog().entry(0).speaker, 2u);
}

TEST_F(Messages, ATapWhileTypingShowsTheRestAtOnceWithoutAdvancing) {
  run(message(1, -1, "あいうえおかきくけこ") + "YIELD\n");
  frame();
  tap(100, 100);
  frame();
  EXPECT_EQ(game->textCells().count, 10);
  frame();
  EXPECT_TRUE(game->message.markerShown);
  EXPECT_EQ(game->script.pc, kAt);
}

TEST_F(Messages, AutomaticModeWaitsForItsDelay) {
  settings.messageAuto = 1;
  run(message(1, -1, "あ") + message(1, -1, "い") + "YIELD\n");
  framesUntilMarker();
  // 200 ms after the marker appeared: 12 frames of 16 ms wait, the 13th goes on.
  frame(12);
  EXPECT_EQ(game->script.pc, kAt);
  frame();
  EXPECT_EQ(game->script.pc, kAfter);
  settings.messageAutoBase = 9;
  settings.messageAutoOne = 9;
  EXPECT_EQ(((40 * 9) + (9 + 1) * 20) * 10, 5600);
}

TEST_F(Messages, SkipKeyRunsThroughMessages) {
  run(message(1, -1, "あいう") + message(1, -1, "えお") + "YIELD\n");
  input.count(Key::Left) = 1;
  frame(6);
  EXPECT_EQ(game->script.pc, 2 * kNext + 6);
  EXPECT_EQ(game->backlog().count(), 2u);
}

TEST_F(Messages, ReadSkipStopsAtUnreadText) {
  settings.readSkip = 1;
  run(message(1, -1, "あ") + message(1, -1, "い") + "YIELD\n");
  game->readTable().markRead("test.bin", kAt);
  input.skipLockLatched = 1;
  frame(4);
  EXPECT_EQ(game->script.pc, kNext + kAt) << "the read message was skipped, the unread one waits";
  EXPECT_EQ(input.skipLockLatched, 0);
  frame(3);
  EXPECT_EQ(game->script.pc, kNext + kAt);
}

TEST_F(Messages, TheFirstRealCPressAfterSkippingAdvances) {
  settings.readSkip = 1;
  run(message(1, -1, "あ") + message(1, -1, "い") + message(1, -1, "う") + "YIELD\n");
  game->readTable().markRead("test.bin", kAt);
  input.skipLockLatched = 1;
  frame(4);
  ASSERT_EQ(game->script.pc, kNext + kAt) << "skipped to the unread message";
  EXPECT_EQ(input.count(Key::C), 0) << "skipping never pressed C";
  // One key-down message, as the key handler counts it.
  ++input.count(Key::C);
  frame();
  EXPECT_EQ(game->script.pc, kNext + kAfter) << "that one press reads on";
}

TEST_F(Messages, MessageAfterANowaitMessageWaitsWithoutCounting) {
  run(message(1, -1, "あいうえおかきくけこ", "MESSAGE_NOWAIT") + message(2, -1, "さ") + "YIELD\n");
  frame();
  EXPECT_EQ(game->script.pc, kAfter) << "MESSAGE_NOWAIT went on";
  frame(3);
  EXPECT_EQ(game->script.pc, kNext + kAt);
  EXPECT_EQ(game->script.repeat, 0u);
  EXPECT_EQ(game->message.offset, int64_t(kAt)) << "still the first message";
  frame(12);
  EXPECT_EQ(game->message.offset, int64_t(kNext + kAt));
}

TEST_F(Messages, CancelHidesTheWindowAndAnyInputBringsItBack) {
  run(message(1, -1, "あ") + "YIELD\n");
  framesUntilMarker();
  frame();
  press(Key::A);
  frame();
  EXPECT_EQ(game->script.windowShown, 0u);
  EXPECT_FALSE(game->textVisible());
  frame(2);
  press(Key::Right);
  frame();
  EXPECT_EQ(game->script.windowShown, 1u);
  EXPECT_EQ(game->script.pc, kAt) << "the input only brought the window back";
  press(Key::Right);
  frame();
  EXPECT_EQ(game->script.pc, kAfter);
}

TEST_F(Messages, BacklogOpensWithUpFromTheFrameAfterTheMarker) {
  run(message(1, -1, "あ") + message(2, -1, "い") + "YIELD\n");
  framesUntilMarker();
  press(Key::Right);
  frame();
  // The second message: up in the marker's own frame does nothing.
  for (int i = 0; i < 50 && !game->message.markerShown; ++i) {
    frame();
    if (!game->message.markerShown) continue;
  }
  ASSERT_TRUE(game->message.markerShown);
  EXPECT_EQ(game->script.repeat, 3u);
  press(Key::Up);
  frame();
  EXPECT_EQ(gameMode, uint32_t(kModeBacklog));
  EXPECT_TRUE(game->layers().exists(64));
  EXPECT_TRUE(game->layers().exists(128));
  EXPECT_EQ(game->script.windowShown, 0u);
  frame(3);
  press(Key::Right);
  frame();
  EXPECT_EQ(gameMode, uint32_t(kModeStory));
  EXPECT_FALSE(game->layers().exists(64));
  EXPECT_FALSE(game->layers().exists(128));
  EXPECT_EQ(game->script.windowShown, 1u);
  EXPECT_EQ(game->script.pc, kNext + kAt) << "still waiting at the second message";
  press(Key::Right);
  frame();
  EXPECT_EQ(game->script.pc, kNext + kAfter);
}

TEST_F(Messages, VoicesPlayOnlyWhenOnAndNeitherMannerModeNorSkippingSilencesThem) {
  struct Case {
    int voicePlay, manaVoiceCut;
    bool filtered, skipMode, skipKey, heard;
  };
  const Case cases[] = {
      {1, 0, false, false, false, false},  // voices off
      {0, 0, false, false, false, false},  // voices unavailable
      {2, 1, true, false, false, false},   // manner mode dims the picture and silences voices
      {2, 1, false, false, false, true},   // nothing dimmed
      {2, 0, true, false, false, true},    // dimmed, but voices stay
      {2, 0, false, true, false, false},   // skip mode
      {2, 0, false, false, true, false},   // skip key held
      {2, 0, false, false, false, true},
  };
  settings.masterVol = 50;
  settings.voiceVol = 50;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.voicePlay << c.manaVoiceCut << c.filtered << c.skipMode << c.skipKey);
    settings.voicePlay = c.voicePlay;
    settings.manaVoiceCut = c.manaVoiceCut;
    sound.voices.clear();
    sound.voiceVolumes.clear();
    run(message(2, -1, "@v01001あ") + "YIELD\n");
    game->displayFiltered = c.filtered;
    input.skipLockLatched = c.skipMode;
    input.count(Key::Left) = c.skipKey ? 1 : 0;
    frame();
    input.skipLockLatched = 0;
    input.count(Key::Left) = 0;
    EXPECT_EQ(sound.voices.size(), c.heard ? 1u : 0u);
    if (c.heard) {
      EXPECT_EQ(sound.voiceVolumes, std::vector<int>{25});
    }
    EXPECT_EQ(game->textBox().voice, "01001.mp3") << "named whether heard or not";
  }
}

TEST_F(Messages, FinishingAMessageStopsLetsPlayOrFadesItsVoiceByTheCutMode) {
  settings.voicePlay = 2;
  sound.voiceLength = 10000;
  for (int mode : {0, 1, 2}) {
    SCOPED_TRACE(mode);
    settings.voiceCutMode = mode;
    run(message(2, -1, "@v01001あ") + message(2, -1, "い") + "YIELD\n");
    framesUntilMarker();
    sound.stops.clear();
    sound.fades.clear();
    press(Key::Right);
    frame();
    EXPECT_EQ(game->script.pc, kAfter);
    EXPECT_EQ(sound.stops, mode == 0 ? std::vector<int>{2} : mode == 2 ? std::vector<int>{2} : std::vector<int>{});
    EXPECT_EQ(sound.fades, mode == 2 ? std::vector<std::string>{"2:1500"} : std::vector<std::string>{});
    // The next line without a voice leaves a voice that was let play alone.
    framesUntilMarker();
    EXPECT_EQ(sound.isPlaying(2), mode == 1);
    sound.voiceUntil = 0;
  }
}

TEST_F(Messages, AutomaticModeWaitsForTheVoiceAndTheLockShortensTheWaitAfterIt) {
  settings.voicePlay = 2;
  settings.messageAuto = 1;
  settings.messageSpeed = 0;
  sound.voiceLength = 300;
  for (int lock : {0, 1}) {
    SCOPED_TRACE(lock);
    settings.voiceAutolock = lock;
    run(message(2, -1, "@v01001あ") + "YIELD\n");
    uint32_t lastPlaying = 0, advancedAt = 0;
    for (int i = 0; i < 100 && !advancedAt; ++i) {
      frame();
      if (sound.isPlaying(2)) lastPlaying = platform::tickCount();
      if (game->script.pc != kAt) advancedAt = platform::tickCount();
    }
    ASSERT_GT(lastPlaying, 0u);
    ASSERT_GT(advancedAt, lastPlaying);
    // With the lock 100 ms after the voice; without it the text delay, 200 ms for one character.
    const uint32_t wait = lock ? 100 : 200;
    EXPECT_GE(advancedAt - lastPlaying, wait);
    EXPECT_LT(advancedAt - lastPlaying, wait + 16);
  }
}

TEST_F(Messages, BacklogReplaysAnEntrysVoiceOnATapWhenVoicesAreOn) {
  settings.voicePlay = 2;
  run(message(2, -1, "@v01001あ") + message(2, -1, "い") + "YIELD\n");
  framesUntilMarker();
  press(Key::Right);
  frame();
  framesUntilMarker();
  frame();
  press(Key::Up);
  frame();
  ASSERT_EQ(gameMode, uint32_t(kModeBacklog));
  // The newest entry is at the bottom: one line, frame top at 430, its icon at (576, 438).
  sound.voices.clear();
  tap(580, 442);
  frame();
  EXPECT_EQ(sound.voices, std::vector<std::string>{"01001.mp3"});
  settings.voicePlay = 1;
  tap(580, 442);
  frame();
  EXPECT_EQ(sound.voices.size(), 1u) << "voices off: no replay";
}

TEST_F(Messages, SpeakerColoursComeFromTheSettingsSwapped) {
  for (int i = 0; i < 16; ++i) settings.messageColour[size_t(i)] = 0x010000u * uint32_t(i + 1) + 0x0000AA;
  EXPECT_EQ(game->speakerColour(1), 0xAA0001u);
  EXPECT_EQ(game->speakerColour(0), 0xAA000Du) << "speaker 0 is the thirteenth key";
  EXPECT_EQ(game->speakerColour(14), 0xAA000Eu);
  EXPECT_EQ(game->speakerColour(13), 0xAA000Fu);
  EXPECT_EQ(game->speakerColour(15), 0xAA0010u);
  EXPECT_EQ(game->speakerColour(-4), 0xAA0010u);
  settings.mesColorUse = 0;
  EXPECT_EQ(game->speakerColour(1), 0xFFFFFFu);
}

TEST(Backlog, KeepsDoubleByteCharactersUpToItsCapacity) {
  Backlog b;
  for (int i = 0; i < 33; ++i) b.add(uint32_t(i), "", "\x82\xa0" "x@v1", 0);
  EXPECT_EQ(b.count(), 32u);
  EXPECT_EQ(b.entry(0).speaker, 32u);
  EXPECT_EQ(b.entry(31).speaker, 1u) << "the oldest went";
  EXPECT_EQ(b.entry(0).text, "\x82\xa0");
  for (int i = 0; i < 70; ++i) b.add(0, "", "", 7);
  EXPECT_EQ(b.count(), 64u);
  std::string longText;
  for (int i = 0; i < 120; ++i) longText += "\x82\xa0";
  b.add(0, std::string(40, 'v'), longText, 1);
  EXPECT_EQ(b.entry(0).text.size(), 214u);
  EXPECT_EQ(b.entry(0).voice.size(), 31u);
}

TEST(Backlog, LinesBreakWhereAJapaneseReaderExpects) {
  // Five characters a line; "|" marks the breaks.
  const struct {
    const char* text;
    const char* lines;
  } cases[] = {
      {"あいうえおかきくけこさ", "あいうえお|かきくけこ|さ"},
      {"あいうえお", "あいうえお"},
      {"", ""},
      {"あいうえお。か", "あいうえ|お。か"},        // 。 never starts a line
      {"あいうえお、」か", "あいうえ|お、」か"},
      {"あいうえ」。か", "あいう|え」。か"},        // two closers go together
      {"あいうえきょう", "あいうえ|きょう"},        // nor small kana
      {"あいうえカッタ", "あいうえ|カッタ"},
      {"あいうえおーい", "あいうえ|おーい"},        // nor the long-vowel mark
      {"あいうえお！？", "あいうえ|お！？"},
      {"あいうえ（かき）", "あいうえ|（かき）"},    // （ and 「 never end one
      {"あいう「「かき", "あいう|「「かき"},
      {"あいうえ……か", "あいうえ|……か"},          // …… stays whole
      {"。。。。。。。", "。。。。。|。。"},        // no allowed place: cut at the line's end
  };
  for (const auto& c : cases) {
    const std::string text = platform::utf8ToCp932(c.text).value();
    std::string joined;
    for (std::string_view line : backlogLines(text, 5)) {
      if (!joined.empty()) joined += "|";
      joined += platform::cp932ToUtf8Lossy(line);
    }
    EXPECT_EQ(joined, c.lines) << c.text;
  }
}

TEST(ReadTable, RecordsOffsetsPerScenario) {
  ReadTable t;
  t.markRead("01-01.bin", 18);
  t.markRead("01-01.BIN", 18);
  t.markRead("01-01.bin", 30);
  t.markRead("02-01.bin", 18);
  EXPECT_EQ(t.records().size(), 2u);
  EXPECT_EQ(t.records()[0].offsets.size(), 2u);
  EXPECT_TRUE(t.isRead("01-01.bin", 30));
  EXPECT_FALSE(t.isRead("02-01.bin", 30));
  for (uint32_t i = 0; i < 9000; ++i) t.markRead("03.bin", i);
  EXPECT_EQ(t.records()[2].offsets.size(), ReadTable::kMaxOffsets);
}

}  // namespace
}  // namespace sorel::test
