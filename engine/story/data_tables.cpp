#include "engine/story/data_tables.h"

#include "engine/resources/byte_io.h"
#include "engine/resources/mlz_archive.h"

namespace sorel {
namespace {

std::string_view textAt(std::span<const uint8_t> rec, size_t offset, size_t n) {
  ByteReader r(rec, offset);
  return r.fixedText(n);
}

std::optional<std::vector<int32_t>> pageEntry(std::span<const uint8_t> page, int64_t entry, int64_t entries) {
  if (page.empty() || entry < 0 || entry >= entries) return std::nullopt;
  ByteReader r(page, size_t(entry) * DataTables::kPageEntryIndices * 4);
  std::vector<int32_t> out(DataTables::kPageEntryIndices);
  for (auto& v : out) v = r.i32();
  if (!r.ok()) return std::nullopt;
  return out;
}

}  // namespace

int DataTables::load(MlzArchive& archive, std::string_view archivePath) {
  int found = 0;
  auto read = [&](std::string_view member, std::vector<uint8_t>& out) {
    auto bytes = archive.extract(archivePath, member);
    out = bytes ? std::move(*bytes) : std::vector<uint8_t>();
    if (bytes) ++found;
  };
  read("VisualInfo.DAT", m_visual);
  read("BgmInfo.DAT", m_bgm);
  read("StandInfo.DAT", m_stand);
  read("CGInfo.DAT", m_gallery);
  read("SceneInfo.DAT", m_replay);
  return found;
}

std::span<const uint8_t> DataTables::record(const std::vector<uint8_t>& table, size_t size, int64_t i) {
  if (i < 0 || uint64_t(i) >= table.size() / size) return {};
  return std::span<const uint8_t>(table).subspan(size_t(i) * size, size);
}

std::optional<VisualRecord> DataTables::visual(int64_t i) const {
  auto rec = record(m_visual, kVisualRecordSize, i);
  if (rec.empty()) return std::nullopt;
  return VisualRecord{textAt(rec, 4, 32), textAt(rec, 36, 32)};
}

std::optional<std::string_view> DataTables::bgm(int64_t i) const {
  auto rec = record(m_bgm, kBgmRecordSize, i);
  if (rec.empty()) return std::nullopt;
  return textAt(rec, 0, 32);
}

std::optional<StandRecord> DataTables::stand(int64_t i) const {
  auto rec = record(m_stand, kStandRecordSize, i);
  if (rec.empty()) return std::nullopt;
  return StandRecord{textAt(rec, 0, 32), textAt(rec, 32, 32), textAt(rec, 64, 32)};
}

std::optional<std::vector<int32_t>> DataTables::galleryEntry(int64_t page, int64_t entry) const {
  return pageEntry(record(m_gallery, kGalleryPageSize, page), entry, 16);
}

std::optional<std::vector<int32_t>> DataTables::replayEntry(int64_t page, int64_t entry) const {
  return pageEntry(record(m_replay, kReplayPageSize, page), entry, 12);
}

size_t StaffRollTable::records(std::span<const uint8_t> table) {
  return table.size() < kHeaderSize ? 0 : (table.size() - kHeaderSize) / kRecordSize;
}

std::optional<StaffRollPiece> StaffRollTable::piece(std::span<const uint8_t> table, int64_t i) {
  if (i < 0 || uint64_t(i) >= records(table)) return std::nullopt;
  ByteReader r(table.subspan(kHeaderSize + size_t(i) * kRecordSize, kRecordSize));
  StaffRollPiece p;
  p.sheetX = int32_t(r.u32());
  p.sheetY = r.i32();
  const uint32_t w = r.u32(), h = r.u32();
  p.anchorX = r.i32();
  p.anchorY = r.i32();
  // No sheet is 64 K units across and no anchor lies further out: larger values are damage
  // (a size would overflow the + 2, a position the placement's sums).
  auto far = [](int32_t v) { return v < -0xFFFF || v > 0xFFFF; };
  if (!r.ok() || w > 0xFFFF || h > 0xFFFF || far(p.sheetX) || far(p.sheetY) || far(p.anchorX) || far(p.anchorY))
    return std::nullopt;
  p.width = int32_t(w) + 2;
  p.height = int32_t(h) + 2;
  return p;
}

}  // namespace sorel
