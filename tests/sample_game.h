#pragma once
// The sample game the tests that play or convert it share: the SampleGame fixture
// (tests/CMakeLists.txt, tests/e2e/make_sample_game.sh) makes it once per test run, before the
// first of them.
#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>
#include <system_error>

namespace sorel::test {

/// Where the fixture puts sorel-mkgame's installation (game/) and its conversion with every
/// default at both sizes (full640/, full320/). Tests read it and never write there.
inline std::filesystem::path sampleFolder() { return std::filesystem::path(SOREL_TEST_TMP_ROOT) / "sample_game"; }
inline std::filesystem::path sampleGame() { return sampleFolder() / "game"; }

/// Fills `to` (emptied first) with the fixture's conversion at `size`, leaving out the entries of
/// its data folder named in `without`: without "bgm" and "voice.mlz" it is what convSorel
/// --no-music --no-voices writes. Returns what failed, or "".
inline std::string copySample(const std::filesystem::path& to, int size,
                              std::initializer_list<std::string_view> without = {}) {
  namespace fs = std::filesystem;
  const fs::path from = sampleFolder() / ("full" + std::to_string(size));
  if (!fs::is_directory(from / "data")) return "no sample game in " + from.string() + " (the SampleGame fixture did not run)";
  std::error_code ec;
  fs::remove_all(to, ec);
  fs::create_directories(to / "data", ec);
  for (const auto& entry : fs::directory_iterator(from / "data")) {
    bool left = false;
    for (std::string_view name : without) left = left || entry.path().filename() == name;
    if (!left) fs::copy(entry.path(), to / "data" / entry.path().filename(), fs::copy_options::recursive, ec);
    if (ec) return "cannot copy " + entry.path().string() + ": " + ec.message();
  }
  return "";
}

}  // namespace sorel::test
