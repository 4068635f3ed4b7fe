// The movie step of the conversion: the game's Movie folder copied into data\jmv\.
#include "converter/movie_copy.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/files.h"

namespace sorel {
namespace {

namespace fs = std::filesystem;

std::string system(const fs::path& p) { return *platform::systemPath(p.string()) + "\\"; }

TEST(MovieCopy, CopiesMoviesAndSoundTracksAndNothingElse) {
  fs::path root = fs::path(SOREL_TEST_TMP) / "movie_copy";
  fs::remove_all(root);
  fs::create_directories(root / "game/Movie/sub.jmv");
  fs::create_directories(root / "out/data");
  std::ofstream(root / "game/Movie/Opening.jmv") << "movie";
  std::ofstream(root / "game/Movie/Opening.MP3") << "track";
  std::ofstream(root / "game/Movie/readme.txt") << "no";
  EXPECT_EQ(movieFiles(system(root / "game")), (std::vector<std::string>{"Opening.MP3", "Opening.jmv"}));
  MovieCopyResult r = copyMovies(system(root / "game"), system(root / "out/data"));
  EXPECT_EQ(r.files, 2);
  EXPECT_EQ(r.bytes, 10u);
  EXPECT_TRUE(r.failures.empty());
  EXPECT_TRUE(fs::exists(root / "out/data/jmv/Opening.jmv"));
  EXPECT_TRUE(fs::exists(root / "out/data/jmv/Opening.MP3"));
  EXPECT_FALSE(fs::exists(root / "out/data/jmv/readme.txt"));
  EXPECT_FALSE(fs::exists(root / "out/data/jmv/sub.jmv"));

  // A game without movies: no movie folder appears.
  fs::create_directories(root / "bare");
  fs::create_directories(root / "out2/data");
  EXPECT_EQ(copyMovies(system(root / "bare"), system(root / "out2/data")).files, 0);
  EXPECT_FALSE(fs::exists(root / "out2/data/jmv"));
}

}  // namespace
}  // namespace sorel
