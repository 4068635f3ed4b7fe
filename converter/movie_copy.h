#pragma once
// The movies of the game: every .jmv movie and .mp3 sound track in the game's Movie folder is
// copied unchanged into the data folder's movie folder (data\jmv\). Movies are made for the
// engine already (sorel-movie), whatever the screen size of the conversion: a 320 × 240 movie is
// drawn doubled on the 640 × 480 screen.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace sorel {

/// The game's movie folder below the game folder.
constexpr const char* kGameMovieFolder = "Movie";

struct MovieCopyResult {
  int files = 0;
  uint64_t bytes = 0;
  std::vector<std::string> failures;  ///< one line each: a file that could not be copied
};

/// The movie files (.jmv and .mp3, any letter case) of gameFolder\Movie\ in name order; empty
/// when the folder does not exist. gameFolder ends in '\'.
std::vector<std::string> movieFiles(std::string_view gameFolder);

/// Copies them into dataFolder\jmv\ (created when there is anything to copy), each written under
/// a temporary name and renamed into place. dataFolder ends in '\'. stop (may be empty) is asked
/// before each file: once it says so, no further file is copied.
MovieCopyResult copyMovies(std::string_view gameFolder, std::string_view dataFolder,
                           const std::function<bool()>& stop = {});

}  // namespace sorel
