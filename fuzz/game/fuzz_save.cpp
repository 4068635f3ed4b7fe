// Any bytes as a save file (the whole check, the thumbnail for both screens) and as the system
// data file: never outside a buffer.
#include <cstdint>
#include <span>

#include "engine/saves/save_data.h"
#include "engine/saves/system_data.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::span<const uint8_t> bytes(data, size);
  if (auto f = sorel::readSaveFile(bytes)) {
    for (const auto& e : f->backlog) (void)e.text.size();
    (void)sorel::isCompleteSaveFile(bytes);
  }
  (void)sorel::thumbnailPicture(bytes, true);
  (void)sorel::thumbnailPicture(bytes, false);
  if (auto d = sorel::parseSystemData(bytes)) (void)sorel::serialiseSystemData(*d);
  return 0;
}
