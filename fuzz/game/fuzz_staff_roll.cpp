// Any bytes as the staff-roll animation table: every record becomes a piece of a small sheet,
// placed in the layer table and drawn over the whole screen, on either screen size.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "engine/story/data_tables.h"
#include "engine/story/layers.h"
#include "engine/graphics/dirty_rects.h"
#include "engine/graphics/draw_item.h"
#include "engine/resources/screen.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::span<const uint8_t> table(data, size);
  const bool half = size > 0 && (data[0] & 1);
  sorel::screenWidth = half ? 320 : 640;
  sorel::screenHeight = half ? 240 : 480;
  // The placement of each piece comes from header bytes, so positions vary too.
  auto headerByte = [&](size_t i) { return i < size ? int(int8_t(data[i])) : 0; };

  sorel::PictureTable pictures;
  auto sheet = std::make_unique<sorel::Picture>();
  sheet->width = uint32_t(sorel::screenWidth / 4);
  sheet->height = uint32_t(sorel::screenHeight / 4);
  sheet->designWidth = 160;
  sheet->designHeight = 120;
  sheet->pixels.assign(size_t(sheet->width) * sheet->height * 4, 200);
  pictures.put(20, std::move(sheet));
  uint32_t errorWord = 0;
  sorel::LayerTable layers(pictures, errorWord);

  const size_t records = sorel::StaffRollTable::records(table);
  for (int64_t i = -1; i < int64_t(records) + 1 && i < 64; ++i) {
    auto p = sorel::StaffRollTable::piece(table, i);
    if (!p) continue;
    layers.place(40 + int(i % 24), 20, sorel::DesignRect{p->sheetX, p->sheetY, p->width, p->height},
                 headerByte(1 + size_t(i % 24)) * 8, headerByte(25 + size_t(i % 24)) * 8, p->anchorX, p->anchorY, 20);
  }
  sorel::Surface surface;
  surface.resize(sorel::screenWidth, sorel::screenHeight);
  sorel::FrameState frame;
  sorel::FrameTarget target{surface, pictures, frame};
  sorel::DirtyRectList dirty;
  dirty.setBounds(sorel::screenWidth, sorel::screenHeight);
  sorel::addDirtyRect(dirty, {0, 0, sorel::screenWidth, sorel::screenHeight}, false);
  sorel::drawFrame(target, dirty, layers.displayList(), 256);
  return 0;
}
