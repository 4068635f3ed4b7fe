#include "engine/story/backlog.h"

#include <algorithm>
#include <span>

#include "engine/story/script_state.h"
#include "engine/resources/sjis_text.h"

namespace sorel {
namespace {

// Shift-JIS codes, lead byte high, of the characters that never start a line: punctuation
// (、。，．・：；？！゛゜), iteration marks (ヽヾゝゞ々), the long-vowel mark and the hyphen
// (ー‐), closing brackets and quotes (）〕］｝〉》」』】’”〟) and the small kana
// (ぁぃぅぇぉっゃゅょゎ ァィゥェォッャュョヮヵヶ).
constexpr uint16_t kNoLineStart[] = {
    0x8141, 0x8142, 0x8143, 0x8144, 0x8145, 0x8146, 0x8147, 0x8148, 0x8149, 0x814A, 0x814B, 0x8152, 0x8153,
    0x8154, 0x8155, 0x8158, 0x815B, 0x815D, 0x816A, 0x816C, 0x816E, 0x8170, 0x8172, 0x8174, 0x8176, 0x8178,
    0x817A, 0x8166, 0x8168, 0x8781, 0x829F, 0x82A1, 0x82A3, 0x82A5, 0x82A7, 0x82C1, 0x82E1, 0x82E3, 0x82E5,
    0x82EC, 0x8340, 0x8342, 0x8344, 0x8346, 0x8348, 0x8362, 0x8383, 0x8385, 0x8387, 0x838E, 0x8395, 0x8396,
};
// The opening brackets and quotes that never end a line: （〔［｛〈《「『【‘“〝.
constexpr uint16_t kNoLineEnd[] = {0x8169, 0x816B, 0x816D, 0x816F, 0x8171, 0x8173,
                                   0x8175, 0x8177, 0x8179, 0x8165, 0x8167, 0x8780};
// Characters written in pairs that are not split: …, ‥ and ―.
constexpr uint16_t kNoSplitPair[] = {0x8163, 0x8164, 0x815C};

bool listed(std::span<const uint16_t> list, uint16_t leadHigh) {
  return std::find(list.begin(), list.end(), leadHigh) != list.end();
}

uint16_t leadHigh(uint16_t code) { return code > 0xFF ? uint16_t(((code & 0xFF) << 8) | (code >> 8)) : code; }

}  // namespace

bool lineBreakAllowed(uint16_t before, uint16_t after) {
  const uint16_t a = leadHigh(before), b = leadHigh(after);
  if (listed(kNoLineStart, b) || listed(kNoLineEnd, a)) return false;
  return !(a == b && listed(kNoSplitPair, a));
}

std::vector<std::string_view> backlogLines(std::string_view text, size_t perLine) {
  // Where each character starts, and its code.
  std::vector<size_t> at;
  std::vector<uint16_t> codes;
  for (size_t i = 0; i < text.size();) {
    const auto b = uint8_t(text[i]);
    const bool pair = isLeadByte(b) && i + 1 < text.size();
    at.push_back(i);
    codes.push_back(pair ? uint16_t(b | (uint8_t(text[i + 1]) << 8)) : b);
    i += pair ? 2 : 1;
  }
  at.push_back(text.size());
  std::vector<std::string_view> lines;
  perLine = std::max<size_t>(perLine, 1);
  const size_t n = codes.size();
  for (size_t start = 0; start < n;) {
    size_t end = std::min(n, start + perLine);
    if (end < n) {
      // Ending a line earlier hands its last characters to the next one.
      size_t b = end;
      while (b > start + 1 && !lineBreakAllowed(codes[b - 1], codes[b])) --b;
      if (lineBreakAllowed(codes[b - 1], codes[b])) end = b;
    }
    lines.push_back(text.substr(at[start], at[end] - at[start]));
    start = end;
  }
  return lines;
}

size_t Backlog::capacityFor(int mesLogCount) {
  switch (mesLogCount) {
    case 0: return 32;
    case 1: return 64;
    case 2: return 128;
    case 3: return 256;
    default: return 64;
  }
}

std::string Backlog::doubleByteOnly(std::string_view text, size_t maxCharacters) {
  text = untilNul(text);
  std::string out;
  size_t chars = 0;
  for (size_t i = 0; i < text.size() && chars < maxCharacters;) {
    auto b = static_cast<uint8_t>(text[i]);
    if (isLeadByte(b)) {
      if (i + 1 >= text.size()) break;  // a lead byte without its trail ends the text
      out.append(text.substr(i, 2));
      ++chars;
      i += 2;
    } else {
      ++i;
    }
  }
  return out;
}

void Backlog::add(uint32_t speaker, std::string_view voice, std::string_view text, int mesLogCount) {
  BacklogEntry e;
  e.speaker = speaker;
  e.voice.assign(untilNul(voice).substr(0, cutAtCharacter(voice, 31)));
  e.text = doubleByteOnly(text, kMaxCharacters);
  m_entries.push_front(std::move(e));
  size_t cap = capacityFor(mesLogCount);
  while (m_entries.size() > cap) m_entries.pop_back();
}

const ReadTable::Record* ReadTable::find(std::string_view scenario) const {
  for (const auto& r : m_records)
    if (sameName(r.scenario, scenario)) return &r;
  return nullptr;
}

bool ReadTable::isRead(std::string_view scenario, uint32_t offset) const {
  const Record* r = find(scenario);
  return r && std::find(r->offsets.begin(), r->offsets.end(), offset) != r->offsets.end();
}

void ReadTable::markRead(std::string_view scenario, uint32_t offset) {
  auto* r = const_cast<Record*>(find(scenario));
  if (!r) {
    Record rec;
    rec.scenario.assign(untilNul(scenario).substr(0, cutAtCharacter(scenario, 63)));
    rec.offsets.push_back(offset);
    m_records.push_back(std::move(rec));
    return;
  }
  if (r->offsets.size() >= kMaxOffsets) return;
  if (std::find(r->offsets.begin(), r->offsets.end(), offset) != r->offsets.end()) return;
  r->offsets.push_back(offset);
}

}  // namespace sorel
