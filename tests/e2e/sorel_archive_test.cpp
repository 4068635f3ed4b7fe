// sorel-archive end to end: a folder survives pack → list → check → extract, and damaged
// archives are named and refused with one line.
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "converter/dib_image.h"
#include "engine/resources/byte_io.h"
#include "platform/files.h"
#include "tests/e2e/run_program.h"
#include "tests/test_support.h"

namespace sorel {
namespace {

namespace fs = std::filesystem;
using test::quote;
using test::runProgram;

void writeFile(const fs::path& p, const std::vector<uint8_t>& bytes) {
  std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                           static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> readFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

TEST(SorelArchive, FolderRoundTrip) {
  fs::path dir = test::scratchFolder();
  fs::create_directories(dir / "src");
  std::vector<std::pair<std::string, std::vector<uint8_t>>> files = {
      {"text.txt", test::bytesOf(std::string(5000, 'a') + "tail")},
      {"noise.bin", test::noise(20000)},
      {"empty.dat", {}},
      {"ソース.txt", test::bytesOf("shift-jis name")},
  };
  std::string args;
  for (auto& [name, bytes] : files) {
    writeFile(dir / "src" / name, bytes);
    args += " " + quote((dir / "src" / name).string());
  }
  std::string mlz = quote((dir / "out.mlz").string());
  for (const char* mode : {"", "--stored "}) {
    auto r = runProgram("sorel-archive", std::string("pack ") + mode + mlz + args);
    ASSERT_EQ(r.exitCode, 0) << r.output;
    r = runProgram("sorel-archive", "list " + mlz);
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(r.output.find("ソース.txt"), std::string::npos);
    EXPECT_NE(r.output.find(*mode ? "stored" : "lzss"), std::string::npos);
    EXPECT_NE(r.output.find("4 members"), std::string::npos);
    r = runProgram("sorel-archive", "check " + mlz);
    EXPECT_EQ(r.exitCode, 0) << r.output;
    fs::remove_all(dir / "x");
    r = runProgram("sorel-archive", "extract " + mlz + " --all " + quote((dir / "x").string()));
    ASSERT_EQ(r.exitCode, 0) << r.output;
    for (auto& [name, bytes] : files) EXPECT_EQ(readFile(dir / "x" / name), bytes) << name;
  }
  auto r = runProgram("sorel-archive", "extract " + mlz + " 'TEXT.TXT' -o " + quote((dir / "one").string()));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  EXPECT_EQ(readFile(dir / "one"), files[0].second);
  r = runProgram("sorel-archive", "extract " + mlz + " nothing.txt");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.output.find("no such member"), std::string::npos);
}

TEST(SorelArchive, DamageIsNamedAndBadArgumentsRefused) {
  fs::path dir = test::scratchFolder();
  writeFile(dir / "a.txt", test::bytesOf(std::string(3000, 'x') + "end"));
  writeFile(dir / "b.txt", test::bytesOf(std::string(3000, 'y')));
  std::string mlz = quote((dir / "out.mlz").string());
  ASSERT_EQ(runProgram("sorel-archive", "pack " + mlz + " " + quote((dir / "a.txt").string()) + " " +
                                            quote((dir / "b.txt").string())).exitCode, 0);
  // Flip bytes inside the second member's stream.
  auto bytes = readFile(dir / "out.mlz");
  uint32_t offset = loadU32(&bytes[16 + 84 + 76]);
  uint32_t packed = loadU32(&bytes[16 + 84 + 64]);
  size_t at = 16 + 2 * 84 + offset;
  for (uint32_t i = 0; i < packed; ++i) bytes[at + i] = 0x00;
  writeFile(dir / "out.mlz", bytes);
  auto r = runProgram("sorel-archive", "check " + mlz);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.output.find("b.txt is corrupt"), std::string::npos) << r.output;

  writeFile(dir / "junk.bin", test::noise(300));
  r = runProgram("sorel-archive", "list " + quote((dir / "junk.bin").string()));
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.output.find("not an .mlz or .pac archive"), std::string::npos);
  // A .mlz whose magic, or whole header, was damaged is refused, never read as a .pac archive of
  // one member or none, "all intact".
  for (size_t zeroed : {3, 16}) {
    auto damaged = readFile(dir / "out.mlz");
    std::fill(damaged.begin(), damaged.begin() + std::ptrdiff_t(zeroed), 0);
    writeFile(dir / "zeroed.mlz", damaged);
    r = runProgram("sorel-archive", "check " + quote((dir / "zeroed.mlz").string()));
    EXPECT_EQ(r.exitCode, 1) << zeroed << ": " << r.output;
    EXPECT_NE(r.output.find("damaged .mlz archive"), std::string::npos) << r.output;
  }
  auto truncated = readFile(dir / "out.mlz");
  truncated.resize(50);
  writeFile(dir / "cut.mlz", truncated);
  r = runProgram("sorel-archive", "check " + quote((dir / "cut.mlz").string()));
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.output.find("damaged"), std::string::npos) << r.output;

  EXPECT_EQ(runProgram("sorel-archive", "").exitCode, 2);
  EXPECT_EQ(runProgram("sorel-archive", "frobnicate").exitCode, 2);
  EXPECT_EQ(runProgram("sorel-archive", "extract " + mlz).exitCode, 2);
  EXPECT_EQ(runProgram("sorel-archive", "--help").exitCode, 0);
  EXPECT_EQ(runProgram("sorel-archive", "list " + quote((dir / "missing.mlz").string())).exitCode, 1);
}

// Columns on a terminal: a three-byte UTF-8 character (kana and kanji here) takes two.
size_t columns(std::string_view line) {
  size_t n = 0;
  for (size_t i = 0; i < line.size();) {
    const uint8_t c = static_cast<uint8_t>(line[i]);
    const size_t len = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
    n += len == 3 ? 2 : 1;
    i += len;
  }
  return n;
}

TEST(SorelArchive, CheckLooksInsideMembersAndListAlignsColumns) {
  fs::path dir = test::scratchFolder();
  std::vector<uint8_t> pixels;
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 96; ++x) pixels.insert(pixels.end(), {uint8_t(x * 3), uint8_t(y * 4), uint8_t(x ^ y)});
  auto picture = DibImage::fromPixels(96, 64, 24, pixels).toRbp(2, 0, 0);
  writeFile(dir / "good.rbp", picture);
  // Eight bytes overwritten in the middle of the JBP1 stream: the picture still decodes, to the
  // wrong pixels.
  for (size_t i = picture.size() / 2; i < picture.size() / 2 + 8; ++i) picture[i] = 0x5A;
  writeFile(dir / "背景.rbp", picture);
  writeFile(dir / "VisualInfo.DAT", std::vector<uint8_t>(196 * 2));
  std::string mlz = quote((dir / "pics.mlz").string());
  auto r = runProgram("sorel-archive", "pack --stored " + mlz + " " + quote((dir / "good.rbp").string()) + " " +
                                           quote((dir / "VisualInfo.DAT").string()) + " " +
                                           quote((dir / "背景.rbp").string()));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  r = runProgram("sorel-archive", "check " + mlz);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.output.find("背景.rbp is corrupt"), std::string::npos) << r.output;

  // Every line of the list is as wide as the header: the double-width name is padded by columns.
  r = runProgram("sorel-archive", "list " + mlz);
  ASSERT_EQ(r.exitCode, 0) << r.output;
  std::vector<std::string> lines;
  for (size_t at = 0, nl; (nl = r.output.find('\n', at)) != std::string::npos; at = nl + 1)
    lines.push_back(r.output.substr(at, nl - at));
  ASSERT_EQ(lines.size(), 5u) << r.output;
  for (size_t i = 1; i < 4; ++i) EXPECT_EQ(columns(lines[i]), columns(lines[0])) << lines[i];
  EXPECT_EQ(lines[4], "3 members");

  r = runProgram("sorel-archive", "pack " + mlz + " " + quote((dir / "good.rbp").string()));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  r = runProgram("sorel-archive", "list " + mlz);
  EXPECT_NE(r.output.find("\n1 member\n"), std::string::npos) << r.output;
  r = runProgram("sorel-archive", "check " + mlz);
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_NE(r.output.find("1 member, all intact"), std::string::npos) << r.output;
}

}  // namespace
}  // namespace sorel
