#include "engine/story/script_state.h"

#include "engine/resources/sjis_text.h"

namespace sorel {

size_t cutAtCharacter(std::string_view text, size_t maxBytes) {
  text = untilNul(text);
  if (text.size() <= maxBytes) return text.size();
  size_t i = 0;
  while (i < maxBytes) {
    size_t len = isLeadByte(static_cast<uint8_t>(text[i])) ? 2 : 1;
    if (i + len > maxBytes) break;
    i += len;
  }
  return i;
}

bool ScriptState::anyRouteFlag() const {
  for (int i = 1; i <= 12; ++i)
    if (flags[size_t(i)] != 0) return true;
  return false;
}

namespace {
const StackEntry kEmptyEntry{};
}

bool OperandStack::push(uint32_t kind, int32_t value, std::string_view text) {
  if (sp >= kDepth) return false;
  StackEntry& e = entries[sp++];
  e.kind = kind;
  e.value = value;
  copyField(e.text, text);
  return true;
}

const StackEntry& OperandStack::fromTop(int k) const {
  if (k < 1 || uint32_t(k) > sp) return kEmptyEntry;
  return entries[sp - uint32_t(k)];
}

const StackEntry& OperandStack::fromBottom(int i) const {
  if (i < 0 || uint32_t(i) >= sp) return kEmptyEntry;
  return entries[size_t(i)];
}

void StringVars::set(int64_t i, std::string_view text) {
  if (i >= 0 && i < kCount) copyField(strings[size_t(i)], text);
}

bool ChoiceList::add(int32_t value, std::string_view text) {
  if (count >= kMax) return false;
  values[count] = value;
  copyField(texts[count], text);
  ++count;
  return true;
}

}  // namespace sorel
