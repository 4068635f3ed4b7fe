#pragma once
// The sample game's opening movie, made the way sorel-movie makes one: 320 × 240 JBP1 frames in
// a .jmv file and its MP3 sound track, shipped loose in the installation's Movie folder.
#include <cstdint>
#include <string>
#include <vector>

namespace sorel::mkgame {

/// A file of the installation outside the archives; path relative to the game folder, with '\'.
struct LooseFile {
  std::string path;
  std::vector<uint8_t> bytes;
};

/// "Movie\Opening.jmv" and "Movie\Opening.mp3". Empty with error set when encoding fails.
std::vector<LooseFile> openingMovie(std::string& error);

}  // namespace sorel::mkgame
