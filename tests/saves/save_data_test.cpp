// The save file and the system data file byte for byte: the block's field offsets, the
// thumbnail BMP, the backlog data, and every malformed file refused before it is used.
#include "engine/saves/save_data.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "engine/saves/system_data.h"
#include "engine/resources/byte_io.h"
#include "tests/test_support.h"

namespace sorel::test {
namespace {

SaveSnapshot sampleSnapshot() {
  SaveSnapshot s;
  s.title = "-BADEND-";
  s.time = {2004, 4, 1, 12, 34, 56};
  s.visual = 7;
  s.stand = {3, -1, 9};
  copyField(s.standName[0], "Stand03.bmp");
  copyField(s.standName[2], "Stand09.bmp");
  copyField(s.scenario, "03-13(BADEND).bin");
  copyField(s.music, "bgm02.mp3");
  copyField(s.loopSe[1], "se_rain.mp3");
  s.stack.push(0, 15);
  s.stack.push(0, -1);
  s.stack.push(1, 0, "hello");
  s.strings.set(3, "name");
  s.effect = {1, 1046, 5, 60, 1};
  s.message.pending = 1;
  s.message.offset = 1234;
  s.message.face = 4;
  s.message.speaker = 2;
  copyField(s.message.text, "text");
  s.markerLayer = 1;
  s.choices.add(1, "one");
  s.choices.add(-5, "minus five");
  s.choices.chosen = -5;
  s.windowShown = 1;
  s.windowCreated = 1;
  s.windowStyle = 2;
  s.pictureTint = 0xFFCCCC;
  s.dimmed = 1;
  s.vars[0] = 18;
  s.vars[15] = -3;
  s.flags[1] = 1;
  s.flags[24] = 1;
  s.gameMode = 99;
  s.subMode = 2;
  s.pc = 600;
  s.repeat = 0;
  s.brightness = 256;
  s.clearToGrey = 1;
  s.clearBeforeDraw = 1;
  return s;
}

std::vector<uint8_t> blockOf(const SaveSnapshot& s) {
  std::vector<uint8_t> b(kSaveBlockSize);
  writeSaveBlock(s, std::span<uint8_t, kSaveBlockSize>(b.data(), kSaveBlockSize));
  return b;
}

Backlog sampleBacklog() {
  Backlog log;
  log.add(1, "01001.mp3", "\x82\xA0\x82\xA2", 0);  // あい
  log.add(15, "", "\x82\xA4", 0);                 // う (newest)
  return log;
}

std::vector<uint8_t> sampleFile() {
  Surface screen;
  screen.resize(640, 480);
  auto block = blockOf(sampleSnapshot());
  auto thumb = makeThumbnail(screen, 160, 128);
  auto log = serialiseBacklog(sampleBacklog());
  return buildSaveFile(std::span<const uint8_t, kSaveBlockSize>(block.data(), kSaveBlockSize), {2004, 4, 1, 1, 2, 3},
                       thumb, log);
}

std::string textAt(const std::vector<uint8_t>& b, size_t at) { return reinterpret_cast<const char*>(b.data() + at); }

TEST(SaveBlock, FieldsLieAtTheirOffsets) {
  auto b = blockOf(sampleSnapshot());
  using namespace save_field;
  EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "QVD3");
  EXPECT_EQ(loadU32(&b[kThumbnail]), 9624u);
  EXPECT_EQ(textAt(b, kTitle), "-BADEND-");
  EXPECT_EQ(textAt(b, kTimeText), "2004-04-01 12:34:56");
  EXPECT_EQ(loadU32(&b[kTime + 20]), 56u);
  EXPECT_EQ(int32_t(loadU32(&b[kVisual])), 7);
  EXPECT_EQ(int32_t(loadU32(&b[kStand + 4])), -1);
  EXPECT_EQ(textAt(b, kStandName + 48), "Stand09.bmp");
  EXPECT_EQ(textAt(b, kScenario), "03-13(BADEND).bin");
  EXPECT_EQ(textAt(b, kMusic), "bgm02.mp3");
  EXPECT_EQ(textAt(b, kLoopSe + 32), "se_rain.mp3");
  EXPECT_EQ(loadU32(&b[kStack]), 3u);
  EXPECT_EQ(loadU32(&b[kStack + 4 + 2 * 264]), 1u) << "third entry's kind";
  EXPECT_EQ(textAt(b, kStack + 4 + 2 * 264 + 8), "hello");
  EXPECT_EQ(textAt(b, kStrings + 3 * 128), "name");
  EXPECT_EQ(loadU16(&b[kEffect + 4]), 1046u);
  EXPECT_EQ(loadU32(&b[kEffect + 16]), 1u);
  EXPECT_EQ(loadU32(&b[kMessage + 16]), 1234u);
  EXPECT_EQ(loadU32(&b[kMessage + 24]), 4u);
  EXPECT_EQ(textAt(b, kMessage + 32), "text");
  EXPECT_EQ(loadU32(&b[kMessage + 288]), 1u);
  EXPECT_EQ(loadU32(&b[kChoices]), 2u);
  EXPECT_EQ(int32_t(loadU32(&b[kChoices + 4])), -5);
  EXPECT_EQ(textAt(b, kChoices + 32 + 64), "minus five");
  EXPECT_EQ(loadU32(&b[kWindow + 8]), 2u);
  EXPECT_EQ(loadU32(&b[kWindow + 12]), 0xFFCCCCu);
  EXPECT_EQ(int32_t(loadU32(&b[kVars + 60])), -3);
  EXPECT_EQ(loadU32(&b[kFlags]), 1u) << "flags[1]";
  EXPECT_EQ(loadU32(&b[kFlags + 92]), 1u) << "flags[24]";
  EXPECT_EQ(loadU32(&b[kGameMode]), 99u);
  EXPECT_EQ(loadU32(&b[kPc]), 600u);
  EXPECT_EQ(loadU32(&b[kClearToGrey]), 1u);
  EXPECT_EQ(loadU32(&b[kClearBeforeDraw]), 1u);
}

TEST(SaveBlock, ReadsBackWhatWasWritten) {
  const SaveSnapshot s = sampleSnapshot();
  auto back = readSaveBlock(blockOf(s));
  ASSERT_TRUE(back);
  EXPECT_EQ(blockOf(*back), blockOf(s));
  EXPECT_EQ(back->message.offset, 1234);
  EXPECT_EQ(back->choices.chosen, -5);
  SaveSnapshot none;
  none.message.offset = -1;
  EXPECT_EQ(readSaveBlock(blockOf(none))->message.offset, -1);
}

TEST(SaveFile, RoundTripsWithThumbnailAndBacklog) {
  auto bytes = sampleFile();
  EXPECT_EQ(bytes.size(), 9624u + 54 + 160 * 128 * 2 + serialiseBacklog(sampleBacklog()).size());
  auto f = readSaveFile(bytes);
  ASSERT_TRUE(f);
  EXPECT_EQ(f->snapshot.timeText, "2004-04-01 01:02:03");
  ASSERT_EQ(f->backlog.size(), 2u);
  EXPECT_EQ(f->backlog[0].speaker, 15u) << "newest first";
  EXPECT_EQ(f->backlog[1].voice, "01001.mp3");
  EXPECT_EQ(f->backlog[1].text, "\x82\xA0\x82\xA2");
  EXPECT_TRUE(isCompleteSaveFile(bytes));
  // A file cut anywhere is never complete.
  for (size_t cut : {size_t(100), size_t(9624), size_t(9624 + 54), bytes.size() - 5, bytes.size() - 1}) {
    std::vector<uint8_t> part(bytes.begin(), bytes.begin() + long(cut));
    EXPECT_FALSE(isCompleteSaveFile(part)) << cut;
  }
}

TEST(SaveFile, BacklogDataOfAnEmptyBacklogIsFourZeroBytes) {
  EXPECT_EQ(serialiseBacklog(Backlog()), std::vector<uint8_t>(4, 0));
  auto log = serialiseBacklog(sampleBacklog());
  size_t used = 0;
  ASSERT_TRUE(parseBacklog(log, &used));
  EXPECT_EQ(used, log.size());
  EXPECT_EQ(loadU32(&log[log.size() - 4]), uint32_t(log.size() - 4)) << "the closing length";
}

// Every malformed file is refused with its reason before anything uses it.
TEST(SaveFile, MalformedFilesAreRefused) {
  const auto good = sampleFile();
  const size_t thumb = 9624, backlog = 9624 + 54 + 160 * 128 * 2;
  struct Case {
    const char* what;
    std::function<void(std::vector<uint8_t>&)> spoil;
    SaveFileError expected;
  };
  auto fill = [](size_t at, size_t n) {
    return [at, n](std::vector<uint8_t>& b) { std::memset(b.data() + at, 'x', n); };
  };
  const std::vector<Case> cases = {
      {"shorter than the block", [](auto& b) { b.resize(9623); }, SaveFileError::Short},
      {"empty", [](auto& b) { b.clear(); }, SaveFileError::Short},
      {"wrong magic", [](auto& b) { b[0] = 'X'; }, SaveFileError::Magic},
      {"version 0", [](auto& b) { b[3] = '0'; }, SaveFileError::Magic},
      {"version past 9", [](auto& b) { b[3] = ':'; }, SaveFileError::Magic},
      {"17 stack entries", [](auto& b) { storeU32(&b[save_field::kStack], 17); }, SaveFileError::Stack},
      {"time text", fill(save_field::kTimeText, 20), SaveFileError::Text},
      {"title", fill(save_field::kTitle, 64), SaveFileError::Text},
      {"sprite name", fill(save_field::kStandName + 24, 24), SaveFileError::Text},
      {"scenario", fill(save_field::kScenario, 32), SaveFileError::Text},
      {"music", fill(save_field::kMusic, 32), SaveFileError::Text},
      {"looping effect", fill(save_field::kLoopSe, 32), SaveFileError::Text},
      {"stack text", fill(save_field::kStack + 4 + 264 * 2 + 8, 256), SaveFileError::Text},
      {"string variable", fill(save_field::kStrings + 31 * 128, 128), SaveFileError::Text},
      {"message text", fill(save_field::kMessage + 32, 256), SaveFileError::Text},
      {"choice text", fill(save_field::kChoices + 32 + 5 * 64, 64), SaveFileError::Text},
      {"thumbnail offset past the end", [](auto& b) { storeU32(&b[4], 0xFFFFFFF0u); }, SaveFileError::Thumbnail},
      {"thumbnail offset inside the block", [](auto& b) { storeU32(&b[4], 100); }, SaveFileError::Thumbnail},
      {"no BMP header", [&](auto& b) { b[thumb] = 'X'; }, SaveFileError::Thumbnail},
      {"BMP larger than the file", [&](auto& b) { storeU32(&b[thumb + 2], 0x7FFFFFFF); }, SaveFileError::Thumbnail},
      {"file ends inside the BMP", [&](auto& b) { b.resize(thumb + 100); }, SaveFileError::Thumbnail},
      {"backlog count past the end", [&](auto& b) { storeU32(&b[backlog], 1000000); }, SaveFileError::Backlog},
      {"backlog closing length wrong", [](auto& b) { b[b.size() - 4] ^= 1; }, SaveFileError::Backlog},
      {"backlog text without its end", [](auto& b) { b.resize(b.size() - 6); }, SaveFileError::Backlog},
      {"backlog count alone", [&](auto& b) { b.resize(backlog + 2); }, SaveFileError::Backlog},
  };
  for (const Case& c : cases) {
    auto bytes = good;
    c.spoil(bytes);
    SaveFileError why = SaveFileError::None;
    EXPECT_FALSE(readSaveFile(bytes, &why)) << c.what;
    EXPECT_EQ(why, c.expected) << c.what;
  }
  // A version 2 file has no backlog data to read: whatever follows the thumbnail is ignored.
  auto v2 = good;
  v2[3] = '2';
  storeU32(&v2[backlog], 1000000);
  auto f = readSaveFile(v2);
  ASSERT_TRUE(f);
  EXPECT_TRUE(f->backlog.empty());
  // Stack entries above the count are never read: their text need not end.
  auto above = good;
  fill(save_field::kStack + 4 + 264 * 3 + 8, 256)(above);
  EXPECT_TRUE(readSaveFile(above));
}

// Random damage anywhere in a save never makes the reader leave the buffer (run under the
// sanitizer build) and never yields a text longer than its field.
TEST(SaveFile, RandomDamageIsReadSafely) {
  const auto good = sampleFile();
  uint32_t x = 99;
  auto next = [&] {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    return x;
  };
  for (int round = 0; round < 300; ++round) {
    auto bytes = good;
    for (int k = 0; k < 8; ++k) {
      size_t at = round % 2 ? next() % 9700 : 9624 + 54 + 160 * 128 * 2 + next() % 40;
      if (at < bytes.size()) bytes[at] = uint8_t(next());
    }
    if (round % 5 == 0) bytes.resize(next() % bytes.size());
    if (auto f = readSaveFile(bytes)) {
      EXPECT_LE(f->snapshot.stack.sp, 16u);
      EXPECT_LE(f->snapshot.choices.count, 6u);
      for (const auto& e : f->backlog) EXPECT_LE(e.voice.size(), 31u);
    }
    (void)thumbnailPicture(bytes, true);
  }
}

TEST(Thumbnail, BoxAveragesPackedAsRgb565BottomUp) {
  Surface screen;
  screen.resize(640, 480);
  // Left half (200, 100, 50), right half white; the top row of boxes black.
  for (int y = 0; y < 480; ++y)
    for (int x = 0; x < 640; ++x) {
      uint8_t* p = screen.row(y) + x * 3;
      const bool top = y < 3;
      p[0] = top ? 0 : x < 320 ? 50 : 255;
      p[1] = top ? 0 : x < 320 ? 100 : 255;
      p[2] = top ? 0 : x < 320 ? 200 : 255;
    }
  auto bmp = makeThumbnail(screen, 160, 128);
  ASSERT_EQ(bmp.size(), 54u + 160 * 128 * 2);
  EXPECT_EQ(bmp[0], 'B');
  EXPECT_EQ(loadU32(&bmp[2]), uint32_t(bmp.size()));
  EXPECT_EQ(loadU32(&bmp[10]), 54u);
  EXPECT_EQ(loadU32(&bmp[14]), 40u);
  EXPECT_EQ(loadU32(&bmp[18]), 160u);
  EXPECT_EQ(loadU32(&bmp[22]), 128u);
  EXPECT_EQ(loadU16(&bmp[28]), 16u);
  EXPECT_EQ(loadU32(&bmp[34]), 160u * 128 * 2);
  auto at = [&](int x, int y) { return loadU16(&bmp[54 + size_t((127 - y) * 160 + x) * 2]); };
  const uint16_t left = uint16_t(((200 & 0xF8) << 8) | ((100 & 0xFC) << 3) | (50 >> 3));
  EXPECT_EQ(at(0, 5), left);
  EXPECT_EQ(at(79, 64), left);
  EXPECT_EQ(at(80, 64), 0xFFFF);
  EXPECT_EQ(at(10, 0), 0) << "the first box row is rows 0 to 2 (3.75 rows a box)";
  EXPECT_EQ(at(10, 1), left);
  // A box straddling two colours averages them: a 320 × 240 screen at 80 × 64 has boxes of 4 × 3.75.
  Surface small;
  small.resize(8, 4);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 8; ++x) small.row(y)[x * 3 + 2] = x % 2 ? 255 : 0;  // red stripes
  uint16_t px[4 * 2];
  boxFilter565(small, 4, 2, px);
  EXPECT_EQ(px[0] >> 11, 127 >> 3) << "mean 127, rounded down to a multiple of 8";
}

TEST(Thumbnail, ShownOnlyWhenItFitsTheModeAndTheFile) {
  auto bytes = sampleFile();
  auto pic = thumbnailPicture(bytes, true);
  ASSERT_TRUE(pic);
  EXPECT_EQ(pic->width, 160u);
  EXPECT_EQ(pic->height, 128u);
  EXPECT_FALSE(thumbnailPicture(bytes, false)) << "the handheld's thumbnails are 80 × 64";
  auto moved = bytes;
  storeU32(&moved[4], 9628);
  EXPECT_FALSE(thumbnailPicture(moved, true));
  auto cut = bytes;
  cut.resize(9624 + 54 + 100);
  EXPECT_FALSE(thumbnailPicture(cut, true));
}

TEST(SaveNames, SlotsChapterTitlesAndTime) {
  EXPECT_EQ(saveFileName(0), "save001.dat");
  EXPECT_EQ(saveFileName(14), "save015.dat");
  EXPECT_EQ(saveFileName(600), "save601.dat");
  EXPECT_EQ(chapterTitle("03-13(badend).bin"), "-BADEND-");
  EXPECT_EQ(chapterTitle("01-01(\x93\xB1\x93\xFC).bin"), "-\x93\xB1\x93\xFC-");
  EXPECT_EQ(chapterTitle("replay01.bin"), "");
  EXPECT_EQ(timeText({2026, 12, 8, 9, 5, 0}), "2026-12-08 09:05:00");
}

SystemData sampleSystemData() {
  SystemData d;
  d.visitedPictures = {"BG_GATE.bmp", "VISUAL_HINA001.bmp"};
  d.visitedScenarios = {"01-01.bin"};
  d.sceneFlags.set(63);
  d.systemValues.set(35, -7);
  d.readTable = {{"01-01.bin", {6, 60, 600}}, {"02-01.bin", {}}};
  return d;
}

TEST(SystemDataFile, LayoutAndRoundTrip) {
  auto bytes = serialiseSystemData(sampleSystemData());
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "QVG1");
  EXPECT_EQ(loadU32(&bytes[4]), 2u);
  EXPECT_EQ(loadU32(&bytes[8]), 12u + 19u);
  auto back = parseSystemData(bytes);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->visitedPictures, sampleSystemData().visitedPictures);
  EXPECT_EQ(back->visitedScenarios, sampleSystemData().visitedScenarios);
  EXPECT_EQ(back->sceneFlags.get(63), 1u);
  EXPECT_EQ(back->systemValues.get(35), -7);
  ASSERT_EQ(back->readTable.size(), 2u);
  EXPECT_EQ(back->readTable[0].offsets, (std::vector<uint32_t>{6, 60, 600}));
  EXPECT_EQ(serialiseSystemData(*back), bytes);
  EXPECT_TRUE(parseSystemData(serialiseSystemData(SystemData())));
}

TEST(SystemDataFile, MalformedFilesAreRefused) {
  const auto good = serialiseSystemData(sampleSystemData());
  const size_t values = 4 + 8 + 31 + 8 + 10;  // after both name lists
  const size_t table = values + 8 + 400;
  struct Case {
    const char* what;
    std::function<void(std::vector<uint8_t>&)> spoil;
  };
  const std::vector<Case> cases = {
      {"magic", [](auto& b) { b[3] = '2'; }},
      {"too short for the magic", [](auto& b) { b.resize(3); }},
      {"name count larger than the names", [](auto& b) { storeU32(&b[4], 3); }},
      {"name length past the end", [](auto& b) { storeU32(&b[8], 0x7FFFFFFF); }},
      {"names without their end", [](auto& b) { b[4 + 8 + 30] = 'x'; }},
      {"values word", [&](auto& b) { storeU32(&b[values + 4], 399); }},
      {"read table count past its bytes", [&](auto& b) { storeU32(&b[table], 1000); }},
      {"read table length short of the file", [&](auto& b) { storeU32(&b[table + 4], loadU32(&b[table + 4]) - 1); }},
      {"offset count past the table", [&](auto& b) { storeU32(&b[table + 8 + 10], 100); }},
      {"leftover bytes", [](auto& b) { b.push_back(0); }},
      {"file cut short", [](auto& b) { b.resize(b.size() - 1); }},
  };
  for (const Case& c : cases) {
    auto bytes = good;
    c.spoil(bytes);
    EXPECT_FALSE(parseSystemData(bytes)) << c.what;
  }
  SystemData longName;
  longName.visitedPictures = {std::string(63, 'a')};
  auto bytes = serialiseSystemData(longName);
  ASSERT_TRUE(parseSystemData(bytes)) << "63 bytes fit";
  bytes[4 + 8 + 63] = 'a';  // the NUL becomes a 64th byte
  bytes.insert(bytes.begin() + 4 + 8 + 64, 0);
  storeU32(&bytes[8], 65);
  EXPECT_FALSE(parseSystemData(bytes)) << "a 64-byte name";
  SystemData many;
  many.readTable = {{"a.bin", std::vector<uint32_t>(8192, 1)}};
  bytes = serialiseSystemData(many);
  ASSERT_TRUE(parseSystemData(bytes));
  const size_t countAt = bytes.size() - 8192 * 4 - 4;
  storeU32(&bytes[countAt], 8193);
  bytes.insert(bytes.end(), 4, 0);
  storeU32(&bytes[countAt - 6 - 4], loadU32(&bytes[countAt - 6 - 4]) + 4);
  EXPECT_FALSE(parseSystemData(bytes)) << "8193 offsets";
}

}  // namespace
}  // namespace sorel::test
