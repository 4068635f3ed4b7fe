#include "engine/game/backlog.h"

#include <algorithm>

#include "engine/game/script_state.h"
#include "engine/resources/sjis_text.h"

namespace sorel {

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
