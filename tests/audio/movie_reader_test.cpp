// The movie reader: every crafted index the reader must refuse, and frames handed out with the
// right bytes whether the player goes frame by frame or jumps.
#include "engine/audio/movie_reader.h"

#include <gtest/gtest.h>

#include <functional>

#include "tests/audio/movie_files.h"

namespace sorel {
namespace {

using namespace sorel::testing;

struct Crafted {
  const char* what;
  std::function<void(std::vector<uint8_t>&)> change;
  MovieRefusal expected;
};

class MovieReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = testFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
    sys = systemFolder(folder);
  }
  std::string put(const std::string& name, const std::vector<uint8_t>& bytes) {
    EXPECT_TRUE(writeFile(folder / name, bytes));
    return sys + name;
  }
  std::filesystem::path folder;
  std::string sys;
};

TEST_F(MovieReaderTest, RefusesEveryIndexThatDoesNotFitTheFile) {
  const std::vector<uint8_t> good = makeTestMovie(4, 32, 32, 10);
  const uint32_t size1 = entry(good, 1, jmv::kEntryBytesOffset);
  const std::vector<Crafted> cases = {
      {"shorter than the header", [](auto& m) { m.resize(40); }, MovieRefusal::Truncated},
      {"no frames", [](auto& m) { storeU32(m.data() + jmv::kFrameCountOffset, 0); }, MovieRefusal::FrameCount},
      {"more entries than the file holds",
       [](auto& m) { storeU32(m.data() + jmv::kFrameCountOffset, uint32_t((m.size() - 48) / 24 + 1)); },
       MovieRefusal::FrameCount},
      {"a huge count", [](auto& m) { storeU32(m.data() + jmv::kFrameCountOffset, 0xFFFFFFFF); }, MovieRefusal::FrameCount},
      {"0 fps", [](auto& m) { storeU32(m.data() + jmv::kFpsOffset, 0); }, MovieRefusal::ZeroFps},
      {"width 0", [](auto& m) { storeU32(m.data() + jmv::kWidthOffset, 0); }, MovieRefusal::FrameSize},
      {"601 macroblocks", [](auto& m) {
         storeU32(m.data() + jmv::kWidthOffset, 601 * 16);
         storeU32(m.data() + jmv::kHeightOffset, 16);
       }, MovieRefusal::TooManyMacroblocks},
      {"640 x 480 frames are 1200 macroblocks", [](auto& m) {
         storeU32(m.data() + jmv::kWidthOffset, 640);
         storeU32(m.data() + jmv::kHeightOffset, 480);
       }, MovieRefusal::TooManyMacroblocks},
      {"the last frame runs past the end", [](auto& m) { setEntry(m, 3, jmv::kEntryBytesOffset, entry(m, 3, jmv::kEntryBytesOffset) + 1); },
       MovieRefusal::FrameOutsideFile},
      {"an offset far past the end", [](auto& m) { setEntry(m, 0, jmv::kEntryOffsetOffset, 0xFFFFFF00); },
       MovieRefusal::FrameOutsideFile},
      {"a size that wraps 32 bits", [](auto& m) { setEntry(m, 3, jmv::kEntryBytesOffset, 0xFFFFFFF0); },
       MovieRefusal::FrameOutsideFile},
      {"a gap between frames 1 and 2", [=](auto& m) { setEntry(m, 1, jmv::kEntryBytesOffset, size1 - 4); },
       MovieRefusal::FramesNotBackToBack},
      {"frames 1 and 2 swapped", [](auto& m) {
         uint32_t o1 = entry(m, 1, jmv::kEntryOffsetOffset), o2 = entry(m, 2, jmv::kEntryOffsetOffset);
         setEntry(m, 1, jmv::kEntryOffsetOffset, o2);
         setEntry(m, 2, jmv::kEntryOffsetOffset, o1);
       }, MovieRefusal::FramesNotBackToBack},
      {"a frame larger than a buffer", [](auto& m) {
         m.resize(m.size() + 70000);
         setEntry(m, 3, jmv::kEntryBytesOffset, entry(m, 3, jmv::kEntryBytesOffset) + 70000);
       }, MovieRefusal::FrameTooLarge},
  };
  for (const Crafted& c : cases) {
    std::vector<uint8_t> movie = good;
    c.change(movie);
    MovieReader reader;
    EXPECT_EQ(reader.open(put("m.jmv", movie), jmv::kBufferBytes), c.expected) << c.what;
    std::span<const uint8_t> bytes;
    EXPECT_FALSE(reader.frame(0, bytes)) << c.what << ": nothing is kept";
  }
  MovieReader reader;
  EXPECT_EQ(reader.open(sys + "absent.jmv", jmv::kBufferBytes), MovieRefusal::NoFile);
  EXPECT_EQ(reader.open(put("good.jmv", good), jmv::kBufferBytes), MovieRefusal::None);
}

TEST_F(MovieReaderTest, WideFramesGetBuffersFourTimesAsLarge) {
  // 656 × 16 is 41 macroblocks: allowed, and wide.
  std::vector<uint8_t> movie = makeTestMovie(2, 656, 16, 10);
  MovieReader reader;
  ASSERT_EQ(reader.open(put("wide.jmv", movie), jmv::kBufferBytes), MovieRefusal::None);
  EXPECT_EQ(reader.bufferSize(), jmv::kWideBufferBytes);
}

TEST_F(MovieReaderTest, HandsOutEveryFrameInOrderAndAfterJumps) {
  const uint32_t n = 40;
  const auto streams = frameStreams(n, 48, 32);
  jmvtool::MovieSettings s;
  s.fps = 30;
  const std::string path = put("m.jmv", jmvtool::assembleMovie(streams, 48, 32, s));
  auto same = [&](uint32_t f, std::span<const uint8_t> got) {
    return std::vector<uint8_t>(got.begin(), got.end()) == streams[f];
  };
  {
    MovieReader reader;
    ASSERT_EQ(reader.open(path, jmv::kBufferBytes), MovieRefusal::None);
    ASSERT_TRUE(reader.start());
    for (uint32_t f = 0; f < n; ++f) {
      std::span<const uint8_t> got;
      ASSERT_TRUE(reader.frame(f, got)) << f;
      ASSERT_TRUE(same(f, got)) << "frame " << f;
    }
  }
  {
    // Skipping ahead: frames the player passes over are never asked for.
    MovieReader reader;
    ASSERT_EQ(reader.open(path, jmv::kBufferBytes), MovieRefusal::None);
    ASSERT_TRUE(reader.start());
    for (uint32_t f : {0u, 1u, 3u, 9u, 10u, 25u, 26u, 27u, 39u}) {
      std::span<const uint8_t> got;
      ASSERT_TRUE(reader.frame(f, got)) << f;
      ASSERT_TRUE(same(f, got)) << "frame " << f;
    }
    // A frame behind both buffers gives the frame handed out last.
    std::span<const uint8_t> got;
    ASSERT_TRUE(reader.frame(2, got));
    EXPECT_TRUE(same(39, got));
  }
}

TEST_F(MovieReaderTest, AFileCutShortWhilePlayingEndsTheMovieInsteadOfWaiting) {
  const uint32_t n = 30;
  std::vector<uint8_t> movie = makeTestMovie(n, 48, 32, 30);
  const std::string path = put("m.jmv", movie);
  MovieReader reader;
  ASSERT_EQ(reader.open(path, jmv::kBufferBytes), MovieRefusal::None);
  // Only the first buffers were read: cut the file before the reader thread reads on.
  movie.resize(movie.size() / 2);
  put("m.jmv", movie);
  ASSERT_TRUE(reader.start());
  std::span<const uint8_t> got;
  EXPECT_TRUE(reader.frame(0, got));
  EXPECT_FALSE(reader.frame(n - 1, got)) << "a refill that reads nothing ends reading";
}

}  // namespace
}  // namespace sorel
