// sorel-archive end to end: a folder survives pack → list → check → extract, and damaged
// archives are named and refused with one line.
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

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

  writeFile(dir / "junk.mlz", test::noise(300));
  r = runProgram("sorel-archive", "list " + quote((dir / "junk.mlz").string()));
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.output.find("not an .mlz or .pac archive"), std::string::npos);
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

}  // namespace
}  // namespace sorel
