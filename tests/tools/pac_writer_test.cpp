#include "tools/pac_writer.h"

#include <gtest/gtest.h>

#include <random>

#include "converter/pac_archive.h"
#include "converter/pac_format.h"
#include "platform/files.h"

namespace sorel {
namespace {

std::vector<std::vector<uint8_t>> sampleInputs() {
  std::mt19937 rng(77);
  std::vector<std::vector<uint8_t>> inputs;
  inputs.push_back({});
  inputs.push_back({42});
  inputs.push_back(std::vector<uint8_t>(5000, 7));  // one distinct byte, long runs
  std::vector<uint8_t> noise(20000);
  for (auto& b : noise) b = static_cast<uint8_t>(rng());
  inputs.push_back(noise);
  // Picture-like: repeating pixels with occasional changes, longer than the ring.
  std::vector<uint8_t> picture;
  for (int i = 0; i < 30000; ++i) {
    uint8_t v = static_cast<uint8_t>((i / 700) * 37);
    picture.insert(picture.end(), {v, static_cast<uint8_t>(v ^ 0x55), static_cast<uint8_t>(i % 3)});
  }
  inputs.push_back(picture);
  // Zeros at the start match the ring's initial zeros; text repeats at every distance.
  std::vector<uint8_t> text(100, 0);
  for (int i = 0; i < 3000; ++i) text.push_back(static_cast<uint8_t>("the ring buffer "[i % 16] + (i % 4096 == 0)));
  inputs.push_back(text);
  std::vector<uint8_t> all;
  for (int i = 0; i < 4096; ++i) all.push_back(static_cast<uint8_t>(i * 7 + i / 256));
  inputs.push_back(all);
  return inputs;
}

TEST(PacWriter, LzssStreamsDecodeExactly) {
  for (const auto& in : sampleInputs()) {
    auto packed = encodePacLzss(in);
    std::vector<uint8_t> out(in.size(), 0xEE);
    EXPECT_TRUE(decodePacLzss(out, packed)) << in.size();
    EXPECT_EQ(out, in);
  }
  // Long runs compress to about an eighth.
  EXPECT_LT(encodePacLzss(std::vector<uint8_t>(90000, 3)).size(), 90000u / 7);
}

TEST(PacWriter, HuffmanStreamsDecodeExactlyWithoutReadingPastTheEnd) {
  for (const auto& in : sampleInputs()) {
    auto packed = encodePacHuffman(in);
    std::vector<uint8_t> out(in.size(), 0xEE);
    EXPECT_TRUE(decodePacHuffman(out, packed)) << in.size();
    EXPECT_EQ(out, in);
  }
  // One distinct byte still makes a tree with a root inner node: 1 bit per byte.
  auto packed = encodePacHuffman(std::vector<uint8_t>(800, 9));
  EXPECT_EQ(packed[0] & 0x80, 0x80);
  EXPECT_LE(packed.size(), 3 + 100u);
}

TEST(PacWriter, ArchivesOfEveryMethodOpenAndUnpackThroughTheReader) {
  std::vector<PacMember> members;
  auto inputs = sampleInputs();
  for (size_t i = 0; i < inputs.size(); ++i)
    members.push_back({"member" + std::to_string(i) + ".bin", inputs[i]});
  members.push_back({"\x83\x5C\x83\x74\x83\x67.bmp", {1, 2, 3}});  // ソフト.bmp
  for (uint32_t method : {pac::kMethodStored, pac::kMethodLzss, pac::kMethodHuffman}) {
    std::string path = std::string(SOREL_TEST_TMP) + "/writer" + std::to_string(method) + ".pac";
    auto system = platform::systemPath(path);
    ASSERT_TRUE(system);
    ASSERT_TRUE(writePac(*system, members, method));
    PacArchive pac;
    ASSERT_TRUE(pac.open(*system));
    EXPECT_EQ(pac.method(), method);
    ASSERT_EQ(pac.memberCount(), members.size());
    for (size_t i = 0; i < members.size(); ++i) {
      EXPECT_EQ(pac.entry(i).name, members[i].name);
      PacError err;
      auto bytes = pac.readMember(i, &err);
      ASSERT_TRUE(bytes) << "method " << method << " member " << i << " error " << int(err);
      EXPECT_EQ(*bytes, members[i].bytes);
    }
    EXPECT_TRUE(pac.find("\x83\x5C\x83\x74\x83\x67.BMP"));
  }
}

TEST(PacWriter, RefusesNamesTheDirectoryCannotHold) {
  EXPECT_FALSE(buildPac(std::vector<PacMember>{{"", {1}}}, pac::kMethodStored));
  EXPECT_FALSE(buildPac(std::vector<PacMember>{{std::string(64, 'a'), {1}}}, pac::kMethodStored));
  EXPECT_TRUE(buildPac(std::vector<PacMember>{{std::string(63, 'a'), {1}}}, pac::kMethodStored));
  auto empty = buildPac({}, pac::kMethodLzss);
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->size(), pac::kHeaderSize);
}

}  // namespace
}  // namespace sorel
