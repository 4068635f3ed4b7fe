// Every kept fuzz input (seed corpora and inputs that once failed), fed to its target's entry
// function in the normal suite: what crashed once must never crash again.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_entries.inc"

namespace {

using Entry = FuzzEntry;

std::vector<std::filesystem::path> inputsOf(const std::string& target) {
  std::vector<std::filesystem::path> files;
  const std::filesystem::path root(SOREL_SOURCE_DIR);
  for (const char* kind : {"fuzz/corpus", "fuzz/regressions"}) {
    std::filesystem::path dir = root / kind / target;
    if (!std::filesystem::is_directory(dir)) continue;
    for (const auto& e : std::filesystem::directory_iterator(dir))
      if (e.is_regular_file()) files.push_back(e.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

class FuzzRegressions : public ::testing::TestWithParam<Entry> {};

TEST_P(FuzzRegressions, EveryKeptInputRunsThrough) {
  const Entry& e = GetParam();
  auto files = inputsOf(e.name);
  for (const auto& f : files) {
    SCOPED_TRACE(f.string());
    std::ifstream in(f, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // A heap copy of exactly the input's size, so that a sanitizer build sees any overread.
    std::unique_ptr<uint8_t[]> copy(new uint8_t[bytes.size() + 1]);
    std::copy(bytes.begin(), bytes.end(), copy.get());
    EXPECT_EQ(e.run(copy.get(), bytes.size()), 0);
  }
  // Degenerate inputs every target must take.
  EXPECT_EQ(e.run(nullptr, 0), 0);
  const uint8_t zeros[64] = {};
  EXPECT_EQ(e.run(zeros, sizeof zeros), 0);
  RecordProperty("inputs", static_cast<int>(files.size()));
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzRegressions, ::testing::ValuesIn(kFuzzEntries),
                         [](const ::testing::TestParamInfo<Entry>& info) { return std::string(info.param.name); });

}  // namespace
