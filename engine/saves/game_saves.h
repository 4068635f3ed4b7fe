#pragma once
// The saves of a running game: the snapshot the story takes when a message or a choice begins
// (the save block and the backlog data a save file stores), a checked save file put back into
// the game, and the lists and values the system data file keeps. The story reaches GameSaves
// through StorySnapshots, which the application wires to its Game.
#include <cstdint>
#include <span>
#include <vector>

#include "engine/saves/save_data.h"
#include "engine/saves/system_data.h"
#include "engine/story/game.h"
#include "engine/story/story_hooks.h"

namespace sorel {

class GameSaves : public StorySnapshots {
 public:
  /// The saves of a game; the Game outlives them.
  explicit GameSaves(Game& game) : m_game(game) {}
  GameSaves(const GameSaves&) = delete;
  GameSaves& operator=(const GameSaves&) = delete;

  /// Copies the story's state into the save block and the backlog into the backlog data.
  void takeSnapshot() override;
  /// Forgets the snapshot: nothing can be saved until the next one.
  void dropSnapshot() override;
  /// True once a snapshot was taken (the block holds its magic).
  bool hasSnapshot() const;
  /// The 9624-byte save block (empty before the first snapshot) and the backlog data.
  std::span<const uint8_t> saveBlock() const { return m_saveBlock; }
  std::span<const uint8_t> backlogData() const { return m_backlogData; }
  /// Replaces the running game with a checked save file: the scenario is read first, and when
  /// it cannot be loaded nothing changes (a movie plays on) and the result is false. Otherwise
  /// the movie stops, and the scene, window, script state, backlog, music and looping effects
  /// come back as the snapshot holds them; the loaded block becomes the snapshot.
  bool loadSavedGame(const SaveFile& file);
  /// The player's lists and values kept in the system data file.
  SystemData systemData() const;
  void setSystemData(SystemData data);

 private:
  Game& m_game;
  std::vector<uint8_t> m_saveBlock;
  std::vector<uint8_t> m_backlogData;
};

}  // namespace sorel
