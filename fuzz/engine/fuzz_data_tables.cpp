// Any bytes as each of the data tables (pictures, music, stands, gallery, replay): every record
// the table's size allows is looked up, with indices around both ends.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/story/data_tables.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> bytes(data, data + size);
  sorel::DataTables t;
  t.setVisual(bytes);
  t.setBgm(bytes);
  t.setStand(bytes);
  t.setGallery(bytes);
  t.setReplay(bytes);
  size_t sink = 0;
  for (int64_t i = -2; i < int64_t(t.visualCount()) + 2; ++i)
    if (auto r = t.visual(i)) sink += r->fileName.size() + r->alternateName.size();
  for (int64_t i = -2; i < int64_t(t.bgmCount()) + 2; ++i)
    if (auto r = t.bgm(i)) sink += r->size();
  for (int64_t i = -2; i < int64_t(t.standCount()) + 2; ++i)
    if (auto r = t.stand(i)) sink += r->faceName.size() + r->spriteName.size();
  for (int64_t p = -1; p < int64_t(t.galleryPages()) + 1; ++p)
    for (int64_t e = -1; e <= 16; ++e)
      if (auto r = t.galleryEntry(p, e)) sink += r->size();
  for (int64_t p = -1; p < int64_t(t.replayPages()) + 1; ++p)
    for (int64_t e = -1; e <= 12; ++e)
      if (auto r = t.replayEntry(p, e)) sink += r->size();
  return sink == size_t(-1);
}
