#pragma once
// Where the engine finds its files: everything relative to the program folder, with a data
// folder below it. Paths are system paths (CP932, '\').
#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/resources/mlz_archive.h"

namespace sorel {

/// The program folder with its trailing '\'. With hostFolder given (the players' --root), that
/// folder; otherwise the folder of the running executable. A path without any separator is kept
/// whole. Empty when the folder has no CP932 form.
std::string resolveProgramFolder(std::optional<std::string_view> hostFolder = std::nullopt);

/// The folder part of a system path: up to and including its last '\' (Shift-JIS aware); the
/// whole text when it has none.
std::string folderOf(std::string_view path);

struct DataPaths {
  std::string programFolder;
  std::string scriptArchivePath;
  std::string pictureArchivePath;
  std::string voiceArchivePath;
  std::string musicFolder;
  std::string soundFolder;
  std::string movieFolder;
  std::string systemSoundFolder;
  std::string saveFolder;

  std::string tableArchivePath() const { return programFolder + "data\\Table.mlz"; }
  std::string configPath() const { return programFolder + "sorel.cfg"; }
  std::string dataFolder() const { return programFolder + "data\\"; }
};

/// Builds every path from the program folder (which must end in '\' unless empty).
DataPaths makeDataPaths(std::string_view programFolder);

/// One thing wrong with a data folder (or the program's own files), in words a user can act on
/// (UTF-8, host paths): what is wrong, and what to do about it.
struct DataProblem {
  enum class Weight {
    Blocking,  ///< the game cannot be shown (no data, archives missing, unreadable or for the other size)
    Silence,   ///< the game plays without some of its sound (a sound folder or the decoder missing)
    Note,      ///< left out on purpose, most likely (no voices converted)
  };
  Weight weight = Weight::Blocking;
  std::string what;
  std::string todo;
  std::string joiner = "; ";  ///< between the two in the terminal's line

  /// The terminal's line: "program: what; todo".
  std::string line(std::string_view program) const {
    return std::string(program) + ": " + what + joiner + todo;
  }
};

/// What is wrong with this data folder for a player of that screen size, the blocking problems
/// first: no data folder; a needed archive missing or unreadable; the picture set of the other
/// screen size; then a missing music, sound-effect or system-voice folder; then no voices. Empty
/// when the folder looks playable. `program` names the player in the texts.
std::vector<DataProblem> findDataProblems(const DataPaths& paths, bool vga, std::string_view program);

/// findDataProblems as the terminal lines, one each.
std::vector<std::string> checkDataFolder(const DataPaths& paths, bool vga, std::string_view program);

/// The data folder holds voices (voice.mlz) / sound effects (a file in the effects folder).
bool holdsVoices(const DataPaths& paths);
bool holdsEffects(const DataPaths& paths);

/// Creates "data\save" below the program folder when nothing of that name exists. Failure is not
/// reported here; saving fails later.
void createSaveFolder(const DataPaths& paths);

/// Archive file name for an archive base name: ".mlz" appended when the name has no '.', then in
/// VGA mode everything from the last '.' replaced by "_vga.mlz".
std::string archiveFileName(std::string_view name, bool vga);

/// picturePath: the picture archive path with its file part replaced by name and the same
/// ".mlz"/"_vga.mlz" rule applied.
std::string picturePath(std::string_view pictureArchivePath, std::string_view name, bool vga);

/// The eight picture-archive slots: 0..5 named bg, Face, Stand, System, Thumbnail, Visual
/// (".mlz" or "_vga.mlz"), 6 and 7 unnamed.
class PictureArchives {
 public:
  static constexpr int kSlots = 8;
  explicit PictureArchives(bool vga);

  /// The slot whose name equals archiveFileName(name) under sameName; slot 0 when none does.
  int archiveSlot(std::string_view name) const;
  MlzArchive& archive(int slot) { return m_archives[static_cast<size_t>(slot)]; }
  const std::string& name(int slot) const { return m_names[static_cast<size_t>(slot)]; }
  bool vga() const { return m_vga; }

 private:
  bool m_vga;
  std::array<MlzArchive, kSlots> m_archives;
  std::array<std::string, kSlots> m_names;
};

}  // namespace sorel
