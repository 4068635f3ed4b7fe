#include "tools/member_check.h"

#include <gtest/gtest.h>

#include "converter/dib_image.h"
#include "converter/mp3_encoder.h"
#include "engine/graphics/picture_loader.h"
#include "engine/graphics/rbp_format.h"
#include "engine/resources/byte_io.h"
#include "tests/test_support.h"
#include "tools/script_asm.h"

namespace sorel::tool {
namespace {

std::vector<uint8_t> overwrite(std::vector<uint8_t> bytes, size_t at, size_t n) {
  for (size_t i = at; i < at + n && i < bytes.size(); ++i) bytes[i] = 0xA5;
  return bytes;
}

std::vector<uint8_t> cut(std::vector<uint8_t> bytes, size_t n) {
  bytes.resize(bytes.size() - n);
  return bytes;
}

std::vector<uint8_t> picture(int quality) {
  // A smooth gradient: a photo-like picture whose JBP1 stream uses many codes.
  std::vector<uint8_t> pixels;
  for (int y = 0; y < 96; ++y)
    for (int x = 0; x < 128; ++x)
      pixels.insert(pixels.end(), {uint8_t(x * 2), uint8_t(y * 2), uint8_t((x + y) & 0xFF)});
  return DibImage::fromPixels(128, 96, 24, std::move(pixels)).toRbp(quality, 0, 0);
}

std::vector<uint8_t> scenario() {
  auto r = script::assemble("PUSH_INT 1\nPUSH_STRING \"hello\"\nCLEAR_STACK\n");
  EXPECT_TRUE(r.ok());
  return r.bytes;
}

std::vector<uint8_t> mp3() {
  Mp3EncoderModule encoder;
  encoder.load();
  std::vector<int16_t> pcm(22050);
  for (size_t i = 0; i < pcm.size(); ++i) pcm[i] = int16_t((i * 37) % 2000 - 1000);
  auto bytes = encoder.encode(pcm, PcmFormat{1, 22050}, 32);
  EXPECT_TRUE(bytes.has_value());
  return bytes.value_or(std::vector<uint8_t>{});
}

TEST(MemberCheck, LooksInsideTheMembersItKnows) {
  const auto jbp1 = picture(2), raw = picture(0), script = scenario(), sound = mp3();
  ASSERT_GT(sound.size(), 1000u);
  struct Case {
    const char* archive;
    const char* name;
    std::vector<uint8_t> bytes;
    const char* problem;  // a key word of the reason; null: sound
  };
  const std::vector<Case> cases = {
      {"bg.mlz", "BG_Room.rbp", jbp1, nullptr},
      {"bg.mlz", "BG_Room.rbp", raw, nullptr},
      {"bg.mlz", "BG_Room.RBP", overwrite(jbp1, 40, 8), "picture"},  // the JBP1 header
      {"bg.mlz", "BG_Room.rbp", overwrite(jbp1, jbp1.size() / 2, 8), "picture"},
      {"bg.mlz", "BG_Room.rbp", cut(raw, 1), "picture"},
      {"bg.mlz", "empty.rbp", {}, nullptr},  // what the converter writes for a picture it could not convert
      {"Script.mlz", "01-01.bin", script, nullptr},
      {"Script.mlz", "01-01.bin", cut(script, script.size() - 10), "scenario"},
      {"Table.mlz", "VisualInfo.DAT", std::vector<uint8_t>(196 * 3), nullptr},
      {"Table.mlz", "VisualInfo.DAT", std::vector<uint8_t>(196 * 3 - 8), "whole records"},
      {"Table.mlz", "bgminfo.dat", std::vector<uint8_t>(36 * 2 + 1), "whole records"},
      {"Table.mlz", "SceneInfo.DAT", std::vector<uint8_t>(960), nullptr},
      {"voice.mlz", "v001.mp3", sound, nullptr},
      {"voice.mlz", "v001.mp3", overwrite(sound, 0, 2), "MP3"},
      {"voice.mlz", "v001.mp3", cut(sound, 10), "cut short"},
      {"voice.mlz", "v001.mp3", test::noise(500), "MP3"},
      {"voice.mlz", "notes.txt", test::noise(100), nullptr},  // not a kind that is looked into
      {"other.mlz", "01-01.bin", test::noise(100), nullptr},  // .bin is a scenario only in its archives
      {"Update.pac", "03-13.bin", test::noise(100), "scenario"},
  };
  for (const Case& c : cases) {
    std::string why = checkMemberContent(c.archive, c.name, c.bytes);
    if (!c.problem) {
      EXPECT_EQ(why, "") << c.name;
    } else {
      EXPECT_NE(why.find(c.problem), std::string::npos) << c.name << ": '" << why << "'";
    }
  }
}

// Damage anywhere in a JBP1 picture's bit streams is found, also where the picture still decodes.
TEST(MemberCheck, DamagedJbp1StreamsAreFoundWhereverTheyAre) {
  const auto rbp = picture(3);
  const size_t stream = loadU32(rbp.data() + rbp::kPixelOffsetOffset);
  const size_t end = stream + loadU32(rbp.data() + rbp::kJbp1LengthOffset);
  const size_t bits = end - loadU32(rbp.data() + stream + 28) - loadU32(rbp.data() + stream + 32);
  ASSERT_GT(end - bits, 64u);
  int stillDecodes = 0;
  for (size_t at = bits; at + 8 <= end; at += (end - bits) / 40) {
    auto damaged = rbp;
    for (size_t i = at; i < at + 8; ++i) damaged[i] ^= 0xFF;
    Picture p;
    stillDecodes += decodeRbp(damaged, p);
    EXPECT_NE(checkMemberContent("bg.mlz", "x.rbp", damaged), "") << "byte " << at - bits << " of the streams";
  }
  EXPECT_GT(stillDecodes, 0);  // the plain decoder alone would miss these
}

TEST(MemberCheck, Mp3FramesMayHaveTags) {
  auto sound = mp3();
  std::vector<uint8_t> tagged = {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 4, 'x', 'x', 'x', 'x'};
  tagged.insert(tagged.end(), sound.begin(), sound.end());
  std::vector<uint8_t> v1(128, 0);
  v1[0] = 'T', v1[1] = 'A', v1[2] = 'G';
  tagged.insert(tagged.end(), v1.begin(), v1.end());
  EXPECT_EQ(checkMp3Frames(tagged), "");
  EXPECT_NE(checkMp3Frames({}), "");
}

}  // namespace
}  // namespace sorel::tool
