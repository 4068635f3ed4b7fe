#pragma once
// Which operations each member of the six picture archives gets on its way to an RBP picture:
// differential pictures composited over their base (VisualInfo.DAT), stand overlays placed by
// their descriptor (StandInfo.DAT), the System window pictures' half-transparent magenta, the
// event pictures that keep black opaque, and the backgrounds that are never keyed.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace sorel {

class PacArchive;

enum class PictureArchive { Bg, Stand, Visual, Face, Thumbnail, System };

/// VisualInfo.DAT: a differential picture drawn over its base at (x, y).
struct VisualRecord {
  std::string base;
  std::string differential;
  int32_t x = 0;
  int32_t y = 0;
};

/// StandInfo.DAT: a stand descriptor member and the overlay drawn over that stand.
struct StandRecord {
  std::string descriptor;
  std::string overlay;
  int32_t x = 0;
  int32_t y = 0;
};

/// The table records the picture steps read (names CP932).
struct PictureTables {
  std::vector<VisualRecord> visual;
  std::vector<StandRecord> stand;

  /// Records of 196 bytes (a remainder is ignored).
  static std::vector<VisualRecord> parseVisualInfo(std::span<const uint8_t> bytes);
  /// Records of 224 bytes (a remainder is ignored).
  static std::vector<StandRecord> parseStandInfo(std::span<const uint8_t> bytes);
};

/// The opaque event-picture list built into the converter, as CP932 names.
const std::vector<std::string>& opaqueVisualNames();
/// Parses list text (UTF-8, one name per line, '#' comments, blank lines ignored) into CP932
/// names; names that have no CP932 form are dropped.
std::vector<std::string> parseNameList(std::string_view utf8);

/// One member of an output archive.
struct ConvertedMember {
  std::string name;             ///< output name (".rbp" for pictures)
  std::vector<uint8_t> bytes;   ///< empty when the picture could not be converted
  bool picture = false;
  std::string problem;          ///< why the member is empty; empty when it converted
};

class PictureConverter {
 public:
  /// sizeFactor 50 or 100; quality index 0 (raw) .. 3. The archive, tables and list must outlive
  /// the converter.
  PictureConverter(PictureArchive kind, const PacArchive& pac, const PictureTables& tables,
                   const std::vector<std::string>& opaqueVisuals, int sizeFactor, int quality);

  /// Converts (or copies) member i of the archive.
  ConvertedMember convert(size_t index) const;
  /// Member i as an empty entry under its output name, with the reason.
  ConvertedMember failed(size_t index, std::string problem) const;

 private:
  ConvertedMember convertPicture(size_t index, const std::string& name, std::vector<uint8_t> bytes) const;
  ConvertedMember convertStand(const std::string& name, std::vector<uint8_t> bytes) const;
  bool isOpaqueBackground(std::string_view name) const;
  bool isPictureMember(std::string_view name) const;
  bool readNamed(std::string_view name, std::vector<uint8_t>& out) const;

  PictureArchive m_kind;
  const PacArchive& m_pac;
  const PictureTables& m_tables;
  const std::vector<std::string>& m_opaque;
  int m_factor;
  int m_quality;
};

}  // namespace sorel
