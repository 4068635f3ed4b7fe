// The picture rules on any tables and archive, mutated together. Input: one byte choosing the
// archive kind, the size and the quality; StandInfo.DAT and VisualInfo.DAT, each after its
// length (u32 little-endian); then the picture archive (.pac).
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "converter/dib_image.h"
#include "converter/pac_archive.h"
#include "converter/picture_rules.h"
#include "engine/resources/byte_io.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace sorel;
  std::span<const uint8_t> in(data, size);
  if (in.empty()) return 0;
  const uint8_t choice = in[0];
  in = in.subspan(1);
  auto table = [&]() -> std::span<const uint8_t> {
    if (in.size() < 4) return {};
    const size_t n = loadU32(in.data());
    in = in.subspan(4);
    if (n > in.size()) return {};
    auto t = in.first(n);
    in = in.subspan(n);
    return t;
  };
  PictureTables tables;
  tables.stand = PictureTables::parseStandInfo(table());
  tables.visual = PictureTables::parseVisualInfo(table());
  PacArchive pac;
  if (!pac.openImage(std::vector<uint8_t>(in.begin(), in.end())) || pac.memberCount() > 64) return 0;
  // Keep runs quick: pictures of a quarter megapixel at most (an RLE bitmap of a few bytes may
  // claim far more).
  for (size_t i = 0; i < pac.memberCount(); ++i) {
    auto bytes = pac.readMember(i);
    DibImage probe;
    if (bytes && probe.load(*bytes) && uint64_t(probe.width()) * probe.height() > (1u << 18)) return 0;
  }
  const auto kind = static_cast<PictureArchive>(choice % 6);
  const int factor = choice & 0x80 ? 50 : 100, quality = (choice >> 3) & 3;
  PictureConverter converter(kind, pac, tables, opaqueVisualNames(), factor, quality);
  for (size_t i = 0; i < pac.memberCount(); ++i) converter.convert(i);
  return 0;
}
