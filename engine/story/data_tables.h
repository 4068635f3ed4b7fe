#pragma once
// The five record tables of Table.mlz that name the files behind the numbers scripts use. The
// files carry no record count: the count of each table is derived from its member's size, so
// an index outside a table (or any index into a missing table) finds no record.
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace sorel {

class MlzArchive;

struct VisualRecord {
  std::string_view fileName;       ///< byte 4, char[32]
  std::string_view alternateName;  ///< byte 36, char[32]; empty = none
};

struct StandRecord {
  std::string_view faceName;       ///< byte 0
  std::string_view spriteName;     ///< byte 32
  std::string_view alternateName;  ///< byte 64; empty = none
};

/// One piece of the staff-roll sheet: the source rectangle on the sheet (design units) and the
/// anchor the piece is placed by.
struct StaffRollPiece {
  int32_t sheetX = 0, sheetY = 0, width = 0, height = 0;
  int32_t anchorX = 0, anchorY = 0;
};

/// The staff-roll animation table ("STAFFROLL.ANI"): a 48-byte header, then 28-byte records.
struct StaffRollTable {
  static constexpr size_t kHeaderSize = 48;
  static constexpr size_t kRecordSize = 28;
  /// Records the bytes hold (0 when shorter than the header).
  static size_t records(std::span<const uint8_t> table);
  /// Record i; none outside the table. A stored width or height of n is a piece of n + 2.
  static std::optional<StaffRollPiece> piece(std::span<const uint8_t> table, int64_t i);
};

class DataTables {
 public:
  static constexpr size_t kVisualRecordSize = 196;
  static constexpr size_t kBgmRecordSize = 36;
  static constexpr size_t kStandRecordSize = 224;
  static constexpr size_t kGalleryPageSize = 1280;
  static constexpr size_t kReplayPageSize = 960;
  static constexpr int kPageEntryIndices = 20;

  /// Reads the five members of the table archive at archivePath (a system path) through the
  /// archive reader. A member that is missing leaves its table empty. Returns how many members
  /// were found.
  int load(MlzArchive& archive, std::string_view archivePath);
  /// Takes one table's bytes directly (tests, tools).
  void setVisual(std::vector<uint8_t> b) { m_visual = std::move(b); }
  void setBgm(std::vector<uint8_t> b) { m_bgm = std::move(b); }
  void setStand(std::vector<uint8_t> b) { m_stand = std::move(b); }
  void setGallery(std::vector<uint8_t> b) { m_gallery = std::move(b); }
  void setReplay(std::vector<uint8_t> b) { m_replay = std::move(b); }

  size_t visualCount() const { return m_visual.size() / kVisualRecordSize; }
  size_t bgmCount() const { return m_bgm.size() / kBgmRecordSize; }
  size_t standCount() const { return m_stand.size() / kStandRecordSize; }
  size_t galleryPages() const { return m_gallery.size() / kGalleryPageSize; }
  size_t replayPages() const { return m_replay.size() / kReplayPageSize; }

  /// Record i of a table; none when i lies outside it.
  std::optional<VisualRecord> visual(int64_t i) const;
  std::optional<std::string_view> bgm(int64_t i) const;
  std::optional<StandRecord> stand(int64_t i) const;
  /// The 20 picture-table indices of gallery entry e (0..15) on page p; none outside.
  std::optional<std::vector<int32_t>> galleryEntry(int64_t page, int64_t entry) const;
  /// The 20 picture-table indices of replay entry e (0..11) on page p; none outside.
  std::optional<std::vector<int32_t>> replayEntry(int64_t page, int64_t entry) const;

 private:
  static std::span<const uint8_t> record(const std::vector<uint8_t>& table, size_t size, int64_t i);

  std::vector<uint8_t> m_visual;
  std::vector<uint8_t> m_bgm;
  std::vector<uint8_t> m_stand;
  std::vector<uint8_t> m_gallery;
  std::vector<uint8_t> m_replay;
};

}  // namespace sorel
