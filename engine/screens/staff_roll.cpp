// The staff roll: a sheet of credit pieces (picture slot 20) described by the animation table
// "STAFFROLL.ANI", shown piece by piece in 24 animation slots (layers 40 to 63) by the story's
// ANIM_SHOW and taken away by ANIM_HIDE; a slot may also show a scene picture. The story moves
// on past these commands itself.
#include "engine/screens/game_screens.h"
#include "engine/story/data_tables.h"
#include "engine/resources/data_locations.h"
#include "engine/resources/mlz_archive.h"
#include "engine/resources/screen.h"
#include "engine/resources/sjis_text.h"

namespace sorel {
namespace {

constexpr int kSheetSlot = 20;
constexpr int kFirstAnimLayer = 40;
constexpr int kAnimSlots = 24;
constexpr std::string_view kTableName = "STAFFROLL.ANI";

}  // namespace

size_t GameScreens::staffRollRecords() const { return StaffRollTable::records(m_staffRoll); }

void GameScreens::freeStaffRoll() {
  for (int s = 0; s < kAnimSlots; ++s) {
    if (m_animSlotKind[size_t(s)] == 1) m_layers.remove(kFirstAnimLayer + s, true);
    m_animSlotKind[size_t(s)] = 0;
  }
  m_staffRoll.clear();
  m_staffRoll.shrink_to_fit();
  m_game.freePicture(kSheetSlot);
}

void GameScreens::staffRollBegin() {
  freeStaffRoll();
  m_game.loadPicture(kSheetSlot, "System", m_game.stack.text(3));
  // The table lies in the same System archive as the pictures (the VGA data set's own).
  PictureArchives& archives = m_host.pictureArchives;
  const int slot = archives.archiveSlot("System");
  const std::string path = picturePath(m_host.paths.pictureArchivePath, "System", isVga());
  if (auto bytes = archives.archive(slot).extract(path, kTableName); bytes && bytes->size() >= StaffRollTable::kHeaderSize)
    m_staffRoll = std::move(*bytes);
  m_game.clearToGrey = true;
  m_game.brightness = 256;
  m_game.markWholeScreen();
}

void GameScreens::animShow() {
  const OperandStack& stack = m_game.stack;
  const int64_t slot = stack.value(6), kind = stack.value(5), index = stack.value(4), record = stack.value(3);
  const int x = int(stack.value(2)), y = int(stack.value(1));
  if (slot < 0 || slot >= kAnimSlots) return;
  if (kind == 1) {
    // A piece of the sheet; a record the table does not hold (or no table) shows nothing.
    const auto p = StaffRollTable::piece(m_staffRoll, record);
    if (!p) return;
    m_animSlotKind[size_t(slot)] = 1;
    m_layers.place(kFirstAnimLayer + int(slot), kSheetSlot, DesignRect{p->sheetX, p->sheetY, p->width, p->height}, x,
                   y, p->anchorX, p->anchorY, 20);
  } else if (kind == 2) {
    if (m_animSlotKind[size_t(slot)] == 1) m_layers.remove(kFirstAnimLayer + int(slot), true);
    m_animSlotKind[size_t(slot)] = 2;
    m_game.showScenePicture(int(index));
  }
}

void GameScreens::animHide() {
  const int64_t slot = m_game.stack.value(1);
  if (slot < 0 || slot >= kAnimSlots) return;
  if (m_animSlotKind[size_t(slot)] == 1) m_layers.remove(kFirstAnimLayer + int(slot), true);
  else if (m_animSlotKind[size_t(slot)] == 2) m_game.hideScenePicture();
  m_animSlotKind[size_t(slot)] = 0;
}

}  // namespace sorel
