#include "engine/saves/system_data.h"

#include <cstring>

#include "engine/resources/byte_io.h"

namespace sorel {
namespace {

constexpr uint8_t kMagic[4] = {'Q', 'V', 'G', '1'};
constexpr size_t kNameLimit = 64;  // names are kept in 64-byte fields, NUL included
constexpr uint32_t kValuesSize = SceneFlags::kCount * 4 + SystemValues::kCount * 4;  // 400

void writeNames(ByteWriter& w, std::vector<uint8_t>& out, const std::vector<std::string>& names) {
  w.u32(uint32_t(names.size()));
  const size_t lengthAt = out.size();
  w.u32(0);
  const size_t start = out.size();
  for (const auto& n : names) {
    std::string_view s(n.data(), std::min(n.size(), kNameLimit - 1));
    w.bytes({reinterpret_cast<const uint8_t*>(s.data()), s.size()});
    w.u8(0);
  }
  storeU32(out.data() + lengthAt, uint32_t(out.size() - start));
}

/// count names, NUL-terminated, filling exactly length bytes.
bool readNames(ByteReader& r, std::vector<std::string>& out) {
  const uint32_t count = r.u32();
  const uint32_t length = r.u32();
  if (!r.ok() || length > r.remaining() || count > length) return false;
  auto area = r.bytes(length);
  size_t at = 0;
  for (uint32_t i = 0; i < count; ++i) {
    const void* nul = std::memchr(area.data() + at, 0, area.size() - at);
    if (!nul) return false;
    size_t n = size_t(static_cast<const uint8_t*>(nul) - (area.data() + at));
    if (n >= kNameLimit) return false;
    out.emplace_back(reinterpret_cast<const char*>(area.data() + at), n);
    at += n + 1;
  }
  return at == area.size();
}

}  // namespace

std::vector<uint8_t> serialiseSystemData(const SystemData& data) {
  std::vector<uint8_t> out;
  ByteWriter w(out);
  w.bytes(kMagic);
  writeNames(w, out, data.visitedPictures);
  writeNames(w, out, data.visitedScenarios);
  w.u32(1);
  w.u32(kValuesSize);
  for (uint32_t f : data.sceneFlags.flags) w.u32(f);
  for (int32_t v : data.systemValues.values) w.u32(uint32_t(v));
  w.u32(uint32_t(data.readTable.size()));
  const size_t lengthAt = out.size();
  w.u32(0);
  const size_t start = out.size();
  for (const auto& rec : data.readTable) {
    std::string_view s(rec.scenario.data(), std::min(rec.scenario.size(), kNameLimit - 1));
    w.bytes({reinterpret_cast<const uint8_t*>(s.data()), s.size()});
    w.u8(0);
    const size_t n = std::min(rec.offsets.size(), ReadTable::kMaxOffsets);
    w.u32(uint32_t(n));
    for (size_t i = 0; i < n; ++i) w.u32(rec.offsets[i]);
  }
  storeU32(out.data() + lengthAt, uint32_t(out.size() - start));
  return out;
}

std::optional<SystemData> parseSystemData(std::span<const uint8_t> bytes) {
  ByteReader r(bytes);
  auto magic = r.bytes(4);
  if (!r.ok() || std::memcmp(magic.data(), kMagic, 4) != 0) return std::nullopt;
  SystemData d;
  if (!readNames(r, d.visitedPictures) || !readNames(r, d.visitedScenarios)) return std::nullopt;
  if (r.u32() != 1 || r.u32() != kValuesSize || !r.has(kValuesSize)) return std::nullopt;
  for (auto& f : d.sceneFlags.flags) f = r.u32();
  for (auto& v : d.systemValues.values) v = r.i32();
  const uint32_t count = r.u32();
  const uint32_t length = r.u32();
  if (!r.ok() || length != r.remaining()) return std::nullopt;
  // Each record takes at least five bytes.
  if (count > length / 5) return std::nullopt;
  auto table = r.bytes(length);
  ByteReader t(table);
  for (uint32_t i = 0; i < count; ++i) {
    ReadTable::Record rec;
    // The name, NUL-terminated, shorter than 64 bytes.
    size_t n = 0;
    for (;; ++n) {
      if (n >= kNameLimit || !t.has(1)) return std::nullopt;
      uint8_t c = t.u8();
      if (c == 0) break;
      rec.scenario.push_back(char(c));
    }
    const uint32_t c = t.u32();
    if (!t.ok() || c > ReadTable::kMaxOffsets || !t.has(size_t(c) * 4)) return std::nullopt;
    rec.offsets.resize(c);
    for (auto& o : rec.offsets) o = t.u32();
    d.readTable.push_back(std::move(rec));
  }
  if (!t.ok() || t.remaining() != 0) return std::nullopt;
  return d;
}

}  // namespace sorel
