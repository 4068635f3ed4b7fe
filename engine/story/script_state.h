#pragma once
// The interpreter's state: the script state record, the operand stack, the string variables,
// the persistent system values and scene flags, and the choice list. Plain records with fixed
// sizes: all of them go into the save block as they are.
//
// Every index a script gives is checked here: an index outside a table reads 0 (or an empty
// text) and a write to it is dropped, so no script can reach outside these records.
#include <array>
#include <cstdint>
#include <string_view>

namespace sorel {

/// Copies text into a fixed NUL-terminated field of N bytes, cut to at most N - 1 bytes and
/// never in the middle of a double-byte character.
template <size_t N>
void copyField(std::array<char, N>& field, std::string_view text);
/// A fixed NUL-terminated field as text.
template <size_t N>
std::string_view fieldView(const std::array<char, N>& field);

/// Length of text cut to at most maxBytes without splitting a double-byte character.
size_t cutAtCharacter(std::string_view text, size_t maxBytes);

struct ScriptState {
  static constexpr int kVars = 16;
  static constexpr int kFlags = 24;  ///< flags 1 to 24
  static constexpr int kTimers = 16;
  static constexpr size_t kNameSize = 32;

  std::array<char, kNameSize> scriptName{};
  uint32_t pc = 0;
  int32_t visual = -1;
  std::array<int32_t, 3> stand{-1, -1, -1};
  std::array<std::array<char, 24>, 3> standName{};
  std::array<std::array<char, 32>, 2> loopSeName{};
  uint32_t lastOperand = 0;
  std::array<uint32_t, 3> scratch{};
  uint32_t windowShown = 0;
  uint32_t windowCreated = 0;
  uint32_t windowStyle = 0;
  uint32_t pictureTint = 0;
  uint32_t dimmed = 0;
  std::array<int32_t, kVars> vars{};
  /// flags[i] for i = 1..24; entry 0 is never used.
  std::array<uint32_t, kFlags + 1> flags{};
  uint32_t repeat = 0;
  std::array<uint32_t, kTimers> timerStart{};
  uint32_t shakeCount = 0;
  uint32_t shakeTick = 0;
  uint32_t voiceEndTick = 0;

  /// vars[k], or 0 for k outside 0..15.
  int32_t var(int64_t k) const { return k >= 0 && k < kVars ? vars[size_t(k)] : 0; }
  /// flags[i], or 0 for i outside 1..24.
  uint32_t flag(int64_t i) const { return i >= 1 && i <= kFlags ? flags[size_t(i)] : 0; }
  /// True when any of the route flags 1 to 12 is set.
  bool anyRouteFlag() const;
};

struct StackEntry {
  uint32_t kind = 0;  ///< the opcode that pushed it (0 for integer pushes, 1 for strings)
  int32_t value = 0;
  std::array<char, 256> text{};
};

class OperandStack {
 public:
  static constexpr uint32_t kDepth = 16;

  /// False (and nothing changes) when the stack is full.
  bool push(uint32_t kind, int32_t value, std::string_view text = {});
  void clear() { sp = 0; }
  /// Entry k from the top (1 = top, 2 = second, ...); an empty entry when fewer than k are on
  /// the stack.
  const StackEntry& fromTop(int k) const;
  /// Entry i from the bottom (0 = the first pushed); an empty entry when i ≥ sp.
  const StackEntry& fromBottom(int i) const;
  int32_t value(int k) const { return fromTop(k).value; }
  std::string_view text(int k) const { return fieldView(fromTop(k).text); }

  uint32_t sp = 0;
  std::array<StackEntry, kDepth> entries{};
};

/// The 32 strings scripts set (speaker names).
struct StringVars {
  static constexpr int kCount = 32;
  std::array<std::array<char, 128>, kCount> strings{};

  /// strings[i], or empty for i outside 0..31.
  std::string_view get(int64_t i) const { return i >= 0 && i < kCount ? fieldView(strings[size_t(i)]) : std::string_view(); }
  /// Sets strings[i] (cut to 127 bytes); nothing for i outside 0..31.
  void set(int64_t i, std::string_view text);
  void clear() { strings = {}; }
};

/// Values scripts keep across games (stored with the system data).
struct SystemValues {
  static constexpr int kCount = 36;
  std::array<int32_t, kCount> values{};
  void set(int64_t i, int32_t v) {
    if (i >= 0 && i < kCount) values[size_t(i)] = v;
  }
  int32_t get(int64_t i) const { return i >= 0 && i < kCount ? values[size_t(i)] : 0; }
};

/// Scene flags scripts raise (read by the replay screen; stored with the system data).
struct SceneFlags {
  static constexpr int kCount = 64;
  std::array<uint32_t, kCount> flags{};
  void set(int64_t i) {
    if (i >= 0 && i < kCount) flags[size_t(i)] = 1;
  }
  uint32_t get(int64_t i) const { return i >= 0 && i < kCount ? flags[size_t(i)] : 0; }
};

struct ChoiceList {
  static constexpr int kMax = 6;
  uint32_t count = 0;
  int32_t chosen = 0;
  std::array<int32_t, kMax> values{};
  std::array<std::array<char, 64>, kMax> texts{};

  /// Appends a choice; false when the list is full.
  bool add(int32_t value, std::string_view text);
  void clear() { *this = ChoiceList(); }
};

// ---------------------------------------------------------------------------------------------

template <size_t N>
void copyField(std::array<char, N>& field, std::string_view text) {
  size_t n = cutAtCharacter(text, N - 1);
  for (size_t i = 0; i < n; ++i) field[i] = text[i];
  for (size_t i = n; i < N; ++i) field[i] = 0;
}

template <size_t N>
std::string_view fieldView(const std::array<char, N>& field) {
  size_t n = 0;
  while (n < N && field[n] != 0) ++n;
  return {field.data(), n};
}

}  // namespace sorel
