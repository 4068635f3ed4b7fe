#include "engine/audio/decoder_module.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <vector>

#include "mp3_maker.h"
#include "platform/module.h"

namespace sorel {
namespace {

using namespace sorel::testing;

class DecoderModuleTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(loadBuiltDecoder()); }
  void TearDown() override { unloadDecoderModule(); }
  const Mp3Decoder& dec() { return *decoderModule(); }
};

TEST(DecoderModuleLoadTest, IsFoundInTheGivenFolderAndNowhereElse) {
  EXPECT_FALSE(loadDecoderModule(systemFolder(SOREL_TEST_TMP)));
  EXPECT_EQ(decoderModule(), nullptr);
  ASSERT_TRUE(loadBuiltDecoder());
  ASSERT_NE(decoderModule(), nullptr);
  EXPECT_EQ(decoderModule()->getDecVer(), 0x0100);
  unloadDecoderModule();
  EXPECT_EQ(decoderModule(), nullptr);
}

TEST(DecoderModuleLoadTest, AModuleWithoutTheEntryPointsIsNotBound) {
  auto folder = testFolder("not_a_decoder");
  // A text file under the module's name does not load at all.
  ASSERT_TRUE(writeFile(folder / "Quillon.ovl", {'n', 'o', 't', ' ', 'E', 'L', 'F'}));
  EXPECT_FALSE(loadDecoderModule(systemFolder(folder)));
  // A real shared library (LAME's, which this test links) loads but lacks the entry points.
  Dl_info info{};
  ASSERT_NE(dladdr(reinterpret_cast<void*>(&lame_init), &info), 0);
  std::filesystem::copy_file(info.dli_fname, folder / "Quillon.ovl",
                             std::filesystem::copy_options::overwrite_existing);
  EXPECT_FALSE(loadDecoderModule(systemFolder(folder)));
  EXPECT_EQ(decoderModule(), nullptr);

  // The platform loader resolves a bare name beside the program, never on the library path.
  platform::Module probe;
  EXPECT_FALSE(probe.load("libc.so.6"));
  ASSERT_TRUE(probe.load(systemFolder(SOREL_BIN_DIR) + "Quillon.ovl"));
  EXPECT_NE(probe.entry("__mp3_decode"), nullptr);
  EXPECT_EQ(probe.entry("no_such_entry"), nullptr);
}

TEST(DecoderModuleLoadTest, IsFoundBesideTheProgramThenInLibSorel) {
  EXPECT_EQ(decoderModulePlaces("\\opt\\sorel\\bin\\"),
            (std::vector<std::string>{"\\opt\\sorel\\bin\\Quillon.ovl",
                                      "\\opt\\sorel\\bin\\..\\lib\\sorel\\Quillon.ovl"}));
  // An installed tree: nothing beside the program, the module in lib/sorel.
  auto tree = testFolder("installed_tree");
  std::filesystem::create_directories(tree / "bin");
  std::filesystem::create_directories(tree / "lib" / "sorel");
  const auto built = std::filesystem::path(SOREL_BIN_DIR) / "Quillon.ovl";
  std::filesystem::copy_file(built, tree / "lib" / "sorel" / "Quillon.ovl",
                             std::filesystem::copy_options::overwrite_existing);
  ASSERT_TRUE(loadDecoderModule(systemFolder(tree / "bin")));
  EXPECT_EQ(decoderModulePath(), systemFolder(tree / "bin") + "..\\lib\\sorel\\Quillon.ovl");
  // A portable folder: the module beside the program wins.
  std::filesystem::copy_file(built, tree / "bin" / "Quillon.ovl");
  ASSERT_TRUE(loadDecoderModule(systemFolder(tree / "bin")));
  EXPECT_EQ(decoderModulePath(), systemFolder(tree / "bin") + "Quillon.ovl");
  // The running program's own folder (the build tree keeps the module beside the programs).
  ASSERT_TRUE(loadDecoderModule());
  EXPECT_EQ(decoderModulePath(), "Quillon.ovl");
  unloadDecoderModule();
  EXPECT_EQ(decoderModulePath(), "");
}

TEST_F(DecoderModuleTest, HandleFieldsDescribeTheStreamAndEachFrame) {
  auto mp3 = encodeMp3(sine(440, 8000, 22050, 44100, 2), 2, 44100, 128);
  ASSERT_GT(mp3.size(), 1000u);
  void* h = dec().create(mp3.data());
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(quillon::handleField(h, quillon::kChannelsOffset), 2);
  EXPECT_EQ(quillon::handleField(h, quillon::kRateOffset), 44100);
  EXPECT_EQ(quillon::handleField(h, quillon::kBitrateOffset), 128);
  // Walk the frames: MPEG-1 Layer III at 128 kbit/s is 417 or 418 bytes and 1152 samples.
  std::vector<int16_t> samples(quillon::kMaxFrameSamples * 2);
  size_t at = 0;
  int frames = 0;
  while (at + 4 <= mp3.size() && dec().predecode(h, mp3.data() + at) == 0) {
    int32_t len = quillon::handleField(h, quillon::kFrameLengthOffset);
    ASSERT_TRUE(len == 417 || len == 418) << len;
    ASSERT_LE(at + static_cast<size_t>(len), mp3.size());
    EXPECT_EQ(dec().decode(h, samples.data(), mp3.data() + at, len), 1152);
    at += static_cast<size_t>(len);
    ++frames;
  }
  EXPECT_EQ(at, mp3.size());
  EXPECT_GE(frames, 20);
  dec().destroy(h);
}

TEST_F(DecoderModuleTest, MonoMpeg2FramesHave576Samples) {
  auto mp3 = encodeMp3(sine(300, 8000, 22050, 22050, 1), 1, 22050, 32);
  void* h = dec().create(mp3.data());
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(quillon::handleField(h, quillon::kChannelsOffset), 1);
  EXPECT_EQ(quillon::handleField(h, quillon::kRateOffset), 22050);
  std::vector<int16_t> samples(quillon::kMaxFrameSamples * 2);
  ASSERT_EQ(dec().predecode(h, mp3.data()), 0);
  int32_t len = quillon::handleField(h, quillon::kFrameLengthOffset);
  EXPECT_EQ(len, 72 * 32000 / 22050);  // 104, unpadded
  EXPECT_EQ(dec().decode(h, samples.data(), mp3.data(), len), 576);
  dec().destroy(h);
}

TEST_F(DecoderModuleTest, RejectsWhatIsNotAFrameOfTheSameStream) {
  const uint8_t zeros[4] = {0, 0, 0, 0};
  EXPECT_EQ(dec().create(zeros), nullptr);
  const uint8_t freeFormat[4] = {0xFF, 0xFB, 0x00, 0x00};  // bitrate index 0
  EXPECT_EQ(dec().create(freeFormat), nullptr);
  const uint8_t badRate[4] = {0xFF, 0xFB, 0x9C, 0x00};  // rate index 3
  EXPECT_EQ(dec().create(badRate), nullptr);

  auto mp3 = encodeMp3(sine(440, 8000, 4410, 44100, 2), 2, 44100, 128);
  void* h = dec().create(mp3.data());
  ASSERT_NE(h, nullptr);
  const uint8_t otherRate[4] = {0xFF, 0xFB, 0x94, 0x00};  // 48 kHz
  EXPECT_NE(dec().predecode(h, otherRate), 0);
  const uint8_t mono[4] = {0xFF, 0xFB, 0x90, 0xC0};
  EXPECT_NE(dec().predecode(h, mono), 0);
  EXPECT_NE(dec().predecode(h, zeros), 0);
  // Decoding without an accepted header, or from a frame cut short, gives nothing.
  std::vector<int16_t> samples(quillon::kMaxFrameSamples * 2);
  EXPECT_EQ(dec().decode(h, samples.data(), mp3.data(), 417), 0);
  ASSERT_EQ(dec().predecode(h, mp3.data()), 0);
  EXPECT_EQ(dec().decode(h, samples.data(), mp3.data(), 200), 0);
  // The stream goes on normally afterwards.
  ASSERT_EQ(dec().predecode(h, mp3.data()), 0);
  int32_t len = quillon::handleField(h, quillon::kFrameLengthOffset);
  EXPECT_EQ(dec().decode(h, samples.data(), mp3.data(), len), 1152);
  dec().destroy(h);
}

}  // namespace
}  // namespace sorel
