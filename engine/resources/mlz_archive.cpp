#include "engine/resources/mlz_archive.h"

#include "engine/resources/byte_io.h"
#include "engine/resources/lzss_decoder.h"
#include "engine/resources/mlz_format.h"
#include "engine/resources/sjis_text.h"
#include "platform/files.h"

namespace sorel {
namespace {

// A hostile directory could claim members of gigabytes; no member the converter writes comes
// near this.
constexpr uint64_t kMaxMemberSize = 512u << 20;

}  // namespace

std::optional<std::vector<MlzEntry>> parseMlzDirectory(std::span<const uint8_t> index, uint64_t fileSize) {
  ByteReader r(index);
  auto magic = r.bytes(4);
  uint32_t count = r.u32();
  uint64_t dirBytes;
  if (!r.ok() || !mlz::isMagic(magic.data()) || !checkedMul(count, mlz::kEntrySize, fileSize, dirBytes) ||
      mlz::kHeaderSize + dirBytes > fileSize || mlz::kHeaderSize + dirBytes > index.size())
    return std::nullopt;
  std::vector<MlzEntry> entries;
  entries.reserve(count);
  r.seek(mlz::kHeaderSize);
  for (uint32_t i = 0; i < count; ++i) {
    MlzEntry e;
    e.name = std::string(r.fixedText(mlz::kNameSize));
    e.packedSize = r.u32();
    e.unpackedSize = r.u32();
    e.method = r.u32();
    e.offset = r.u32();
    r.skip(4);
    entries.push_back(std::move(e));
  }
  if (!r.ok()) return std::nullopt;
  return entries;
}

void MlzArchive::clear() {
  m_cachedPath.clear();
  m_filePath.clear();
  m_index.clear();
  m_entries.clear();
  m_loaded = false;
}

bool MlzArchive::loadIndex(std::string_view path, bool force) {
  path = untilNul(path);
  if (m_loaded && !force && sameName(path, m_cachedPath)) return true;

  // The data folder may come from a system that ignores letter case ("SCRIPT.MLZ").
  const std::string file = platform::existingPath(path);
  int64_t fileSize = platform::fileSize(file);
  if (fileSize < 0) return false;  // no such archive: not damage
  auto refuse = [&](std::string_view what) {
    damaged(path, "", what);
    return false;
  };
  uint8_t head[mlz::kHeaderSize];
  if (fileSize < static_cast<int64_t>(mlz::kHeaderSize) ||
      platform::readAt(file, head, platform::kSeekStart, 0, sizeof head) != sizeof head ||
      !mlz::isMagic(head))
    return refuse("it is not an .mlz archive");

  uint32_t count = loadU32(head + mlz::kCountOffset);
  uint64_t dirBytes;
  if (!checkedMul(count, mlz::kEntrySize, static_cast<uint64_t>(fileSize), dirBytes) ||
      mlz::kHeaderSize + dirBytes > static_cast<uint64_t>(fileSize))
    return refuse("its directory runs past its end");

  std::vector<uint8_t> index(mlz::kHeaderSize + dirBytes);
  if (platform::readAt(file, index.data(), platform::kSeekStart, 0, index.size()) != index.size())
    return refuse("its directory cannot be read");

  auto entries = parseMlzDirectory(index, static_cast<uint64_t>(fileSize));
  if (!entries) return refuse("its directory is damaged");

  m_cachedPath = std::string(path);
  m_filePath = file;
  m_index = std::move(index);
  m_entries = std::move(*entries);
  m_dataStart = mlz::kHeaderSize + dirBytes;
  m_fileSize = static_cast<uint64_t>(fileSize);
  m_loaded = true;
  return true;
}

std::optional<size_t> MlzArchive::find(std::string_view name) const {
  for (size_t i = 0; i < m_entries.size(); ++i)
    if (sameName(m_entries[i].name, name)) return i;
  return std::nullopt;
}

std::optional<std::vector<uint8_t>> MlzArchive::extractAt(size_t i, bool* exact) {
  if (exact) *exact = false;
  if (!m_loaded || i >= m_entries.size()) return std::nullopt;
  const MlzEntry& e = m_entries[i];
  auto refuse = [&](std::string_view what) -> std::optional<std::vector<uint8_t>> {
    damaged(m_cachedPath, e.name, what);
    return std::nullopt;
  };
  if (e.packedSize == 0) return std::nullopt;  // an empty member: nothing to show, not damage
  uint64_t start = m_dataStart + e.offset;
  if (start > m_fileSize || e.packedSize > m_fileSize - start) return refuse("its bytes lie past the end of the archive");

  std::vector<uint8_t> packed(e.packedSize);
  if (platform::readAt(m_filePath, packed.data(), platform::kSeekStart,
                       static_cast<int64_t>(start), packed.size()) != packed.size())
    return refuse("its bytes cannot be read");
  if (e.method != mlz::kMethodLzss) {
    if (exact) *exact = true;
    return packed;
  }

  if (e.unpackedSize > kMaxMemberSize) return refuse("it claims an implausible size");
  // The member is what the stream produces up to the end of its packed bytes, cut to the
  // unpacked size; a stream that ends early leaves zeros.
  std::vector<uint8_t> unpacked(e.unpackedSize, 0);
  UnpackResult r = unpackMember(unpacked, packed);
  if (exact) *exact = r.complete;
  if (!r.complete) damaged(m_cachedPath, e.name, "its packed data does not fill it exactly");
  return unpacked;
}

std::optional<std::vector<uint8_t>> MlzArchive::extract(std::string_view path,
                                                        std::string_view memberName,
                                                        uint32_t* outUnpackedSize) {
  if (!loadIndex(path, false)) return std::nullopt;
  auto i = find(memberName);
  if (!i) return std::nullopt;
  auto bytes = extractAt(*i);
  if (bytes && outUnpackedSize) *outUnpackedSize = m_entries[*i].unpackedSize;
  return bytes;
}

}  // namespace sorel
