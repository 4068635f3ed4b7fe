// Saving and loading games, the menu's save slots and the system data file, on the engine's
// side: the files in the save folder, the thumbnail of the back buffer, the menu entries.
//
// Every file goes to "<name>.part" in the same folder, reaches the disk, and is then renamed
// over the old one, so a player killed at any moment leaves each file either as it was or as
// newly written. The writing happens on the save writer's thread: flushing to the disk can take
// longer than a frame. A ".part" left behind by such a kill is put in place at start-up when it is
// complete (it was written out but not yet renamed), and deleted otherwise.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "engine/saves/save_data.h"
#include "engine/saves/system_data.h"
#include "engine/resources/format.h"
#include "engine/resources/screen.h"
#include "engine/runtime/app_context.h"
#include "engine/runtime/save_writer.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/text.h"

namespace sorel {
namespace {

// "---- 未定義 ----": the label of an empty slot; "---- 破損 ----" of one whose file would not load.
constexpr std::string_view kEmptySlotLabel = "---- \x96\xA2\x92\xE8\x8B\x60 ----";
constexpr std::string_view kDamagedSlotLabel = "---- \x94\x6A\x91\xB9 ----";
constexpr std::string_view kPartSuffix = ".part";

bool validSlot(int slot) { return (slot >= 0 && slot < kSaveSlotCount) || slot == kChoiceSaveSlot; }

/// The time a save is stamped with. Under the virtual clock a run must repeat byte for byte, so
/// the time is a fixed day plus the virtual clock's seconds.
SaveTime saveTimeNow() {
  if (platform::clockMode() == platform::ClockMode::Virtual) {
    const uint32_t s = platform::tickCount() / 1000;
    return {2004, 4, 1, int(s / 3600 % 24), int(s / 60 % 60), int(s % 60)};
  }
  const platform::LocalTime t = platform::localTime();
  return {t.year, t.month, t.day, t.hour, t.minute, t.second};
}

/// The slot number of "saveNNN.dat" (NNN from 001), -1 for the system data file, none for other
/// names.
std::optional<int> slotOfName(std::string_view name) {
  if (name.size() != 11 || name.substr(0, 4) != "save" || name.substr(7) != ".dat") return std::nullopt;
  int n = 0;
  for (char c : name.substr(4, 3)) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + (c - '0');
  }
  return n - 1;
}

}  // namespace

void GameCore::setSaveEnabled(bool enabled) {
  m_saveEnabled = enabled;
  m_menu.setSaveEntriesEnabled(enabled);
}

bool GameCore::saveGame(int slot) {
  if (!m_game || !validSlot(slot) || m_paths.programFolder.empty()) return false;
  // Nothing to save before the story reached its first message or choice.
  if (!m_saves->hasSnapshot()) return false;
  m_game->companionVoice(21, true);
  int w = 0, h = 0;
  thumbnailSize(isVga(), w, h);
  const std::vector<uint8_t> thumbnail = makeThumbnail(m_surface, w, h);
  const std::vector<uint8_t> file =
      buildSaveFile(std::span<const uint8_t, kSaveBlockSize>(m_saves->saveBlock().data(), kSaveBlockSize),
                    saveTimeNow(), thumbnail, m_saves->backlogData());
  m_saveWriter->write(m_paths.saveFolder + saveFileName(slot), file);
  if (slot < kSaveSlotCount) refreshSaveMenus();
  if (slot == kChoiceSaveSlot) {
    m_choiceSaved = true;
    m_menu.setReturnToChoiceEnabled(true);
  }
  saveSystemData();
  // A run on the virtual clock repeats exactly: its saves are on the disk, and said so, before
  // the next frame.
  if (platform::clockMode() == platform::ClockMode::Virtual) flushSaves();
  return true;
}

void GameCore::reportSaveResults() {
  auto sj = [](std::string_view utf8) { return platform::utf8ToCp932(utf8).value_or(""); };
  for (const SaveWriter::Result& r : m_saveWriter->takeResults()) {
    const std::string name = r.path.substr(r.path.rfind('\\') + 1);
    const std::optional<int> slot = slotOfName(name);
    if (!slot) continue;
    // The menu names the slots "SAVE_001" …; the choice save and the system data have no entry.
    const std::string what = *slot >= 0 && *slot < kSaveSlotCount ? formatText("SAVE_%z3", *slot + 1)
                             : *slot == kChoiceSaveSlot            ? sj("選択肢の自動セーブ")
                                                                   : sj("システムデータ");
    if (r.ok) {
      if (*slot >= 0 && *slot < kSaveSlotCount) postNotice(what + sj("に保存しました"));
      continue;
    }
    postNotice(what + sj("を保存できませんでした"));
    std::fprintf(stderr, "%s: cannot write %s%s%s; that save is not kept\n", programName(),
                 platform::hostPath(r.path).c_str(), r.reason.empty() ? "" : ": ", r.reason.c_str());
  }
}

bool GameCore::loadGame(int slot) {
  if (!m_game || !validSlot(slot) || m_paths.programFolder.empty()) return false;
  // The whole file is read and checked first; a refused file leaves the running game untouched.
  auto bytes = m_saveWriter->read(m_paths.saveFolder + saveFileName(slot));
  if (!bytes) return false;
  auto file = readSaveFile(*bytes);
  if (!file) return false;
  // The game stops the movie once the save's scenario proved loadable.
  if (!m_saves->loadSavedGame(*file)) return false;
  setSaveEnabled(true);
  return true;
}

void GameCore::returnToLastChoice() {
  if (!m_choiceSaved) return;
  m_menu.setReturnToChoiceEnabled(false);
  loadGame(kChoiceSaveSlot);
  m_choiceSaved = false;
}

void GameCore::refreshSaveMenus() {
  int newest = -1;
  auto slots = saveSlotEntries(newest);
  m_menu.setSaveSlots(slots, newest);
}

std::array<PopupMenu::SaveSlotEntry, PopupMenu::kSaveSlots> GameCore::saveSlotEntries(int& newest) const {
  std::array<PopupMenu::SaveSlotEntry, PopupMenu::kSaveSlots> slots;
  newest = -1;
  std::string newestTime;
  for (int s = 0; s < kSaveSlotCount; ++s) {
    PopupMenu::SaveSlotEntry& e = slots[size_t(s)];
    e.label = std::string(kEmptySlotLabel);
    if (m_paths.programFolder.empty()) continue;
    auto bytes = m_saveWriter->read(m_paths.saveFolder + saveFileName(s));
    if (!bytes) continue;
    // Only a file that would load is offered for loading; one that would not is not empty
    // either (saving over it is the way to use the slot again).
    auto file = readSaveFile(*bytes);
    if (!file) {
      e.label = std::string(kDamagedSlotLabel);
      continue;
    }
    e.label = file->snapshot.timeText + " " + file->snapshot.title;
    e.loadEnabled = true;
    if (auto thumb = thumbnailPicture(*bytes, isVga())) e.thumbnail = std::move(*thumb);
    if (newest < 0 || file->snapshot.timeText > newestTime) {
      newest = s;
      newestTime = file->snapshot.timeText;
    }
  }
  return slots;
}

bool GameCore::saveSystemData() {
  if (!m_game || m_paths.programFolder.empty()) return false;
  m_saveWriter->write(m_paths.saveFolder + std::string(systemDataFileName()), serialiseSystemData(m_saves->systemData()));
  return true;
}

void GameCore::flushSaves() { m_saveWriter->flush(); }

void GameCore::loadSystemData() {
  if (!m_game || m_paths.programFolder.empty()) return;
  const std::string path = m_paths.saveFolder + std::string(systemDataFileName());
  auto bytes = platform::readWholeFile(path);
  if (!bytes) return;  // none yet: the lists start empty
  auto data = parseSystemData(*bytes);
  if (!data) {
    // Kept aside for a person to look at; the file itself is replaced at the next write.
    platform::writeWholeFile(path + ".bak", *bytes, true);
    return;
  }
  m_saves->setSystemData(std::move(*data));
}

void GameCore::recoverSaveFolder() {
  if (m_paths.programFolder.empty()) return;
  for (const std::string& name : platform::listFolder(m_paths.saveFolder)) {
    if (name.size() <= kPartSuffix.size() || name.substr(name.size() - kPartSuffix.size()) != kPartSuffix) continue;
    const std::string target = name.substr(0, name.size() - kPartSuffix.size());
    auto slot = slotOfName(target);
    if (!slot) continue;  // not one of ours
    const std::string part = m_paths.saveFolder + name;
    auto bytes = platform::readWholeFile(part);
    bool complete = false;
    if (bytes) complete = *slot < 0 ? parseSystemData(*bytes).has_value() : isCompleteSaveFile(*bytes);
    // Writing the target goes through the same ".part" name and its rename, so the leftover
    // is either renamed into place or removed on failure.
    if (complete && platform::writeWholeFile(m_paths.saveFolder + target, *bytes, true)) continue;
    platform::removeFile(part);
  }
}

}  // namespace sorel
