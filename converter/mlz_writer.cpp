#include "converter/mlz_writer.h"

#include <cstring>

#include "converter/lzss_encoder.h"
#include "engine/resources/byte_io.h"
#include "engine/resources/mlz_format.h"
#include "engine/resources/sjis_text.h"

namespace sorel {

std::string cutName(std::string_view name, size_t maxBytes) {
  name = untilNul(name);
  size_t len = 0;
  while (len < name.size()) {
    size_t step = isLeadByte(static_cast<uint8_t>(name[len])) && len + 1 < name.size() ? 2 : 1;
    if (len + step > maxBytes) break;
    len += step;
  }
  return std::string(name.substr(0, len));
}

bool MlzWriter::open(std::string_view path, uint32_t count) {
  abandon();
  uint64_t dirBytes = mlz::kHeaderSize + uint64_t(count) * mlz::kEntrySize;
  if (dirBytes > (1u << 30) || !m_file.create(path)) return false;
  m_directory.assign(static_cast<size_t>(dirBytes), 0);
  std::memcpy(m_directory.data(), "RLZ", 3);
  m_directory[3] = mlz::kWrittenDigit;
  storeU32(m_directory.data() + mlz::kCountOffset, count);
  m_count = count;
  m_next = 0;
  m_full = false;
  m_dataOffset = 0;
  m_open = m_file.write(m_directory.data(), m_directory.size());
  return m_open;
}

PackedMember MlzWriter::pack(std::span<const uint8_t> bytes, bool compress) {
  PackedMember m;
  m.unpackedSize = static_cast<uint32_t>(bytes.size());
  if (compress && !bytes.empty()) {
    m.stored.resize(bytes.size() * 2 + 2);
    m.stored.resize(encodeLzss(m.stored.data(), bytes));
    m.method = mlz::kMethodLzss;
  } else {
    m.stored.assign(bytes.begin(), bytes.end());
    m.method = mlz::kMethodStored;
  }
  return m;
}

bool MlzWriter::add(std::string_view name, std::span<const uint8_t> bytes, bool compress) {
  if (!m_open || m_next >= m_count) return false;
  return add(name, pack(bytes, compress));
}

bool MlzWriter::add(std::string_view name, const PackedMember& member) {
  if (!m_open || m_next >= m_count) return false;
  m_full = m_directory.size() + m_dataOffset + member.stored.size() > m_limit;
  if (m_full) return false;
  if (!m_file.write(member.stored.data(), member.stored.size())) return false;

  uint8_t* e = m_directory.data() + mlz::kHeaderSize + size_t(m_next) * mlz::kEntrySize;
  std::string cut = cutName(name, mlz::kNameSize - 1);
  std::memcpy(e + mlz::kEntryName, cut.data(), cut.size());
  storeU32(e + mlz::kEntryPackedSize, static_cast<uint32_t>(member.stored.size()));
  storeU32(e + mlz::kEntryUnpackedSize, member.unpackedSize);
  storeU32(e + mlz::kEntryMethod, member.method);
  storeU32(e + mlz::kEntryOffset, static_cast<uint32_t>(m_dataOffset));
  m_dataOffset += member.stored.size();
  ++m_next;
  return true;
}

bool MlzWriter::close() {
  if (!m_open) return false;
  m_open = false;
  uint64_t total = m_directory.size() + m_dataOffset;
  storeU32(m_directory.data() + mlz::kTotalSizeOffset, static_cast<uint32_t>(total));
  bool good = m_file.writeAt(0, m_directory.data(), m_directory.size()) && m_file.commit();
  m_directory.clear();
  return good;
}

void MlzWriter::abandon() {
  m_open = false;
  m_file.abandon();
  m_directory.clear();
}

}  // namespace sorel
