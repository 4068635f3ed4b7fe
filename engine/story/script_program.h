#pragma once
// A loaded scenario script: the file image, its label table and its code area. Instructions are
// decoded in place (byte-wise little-endian; string data makes offsets odd), and every read is
// checked against the code area, whatever the file holds.
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace sorel {

/// One decoded instruction.
struct Instruction {
  uint16_t opcode = 0;
  uint32_t operand = 0;
};

class ScriptProgram {
 public:
  /// Takes a script file. False, with nothing loaded, when the file is shorter than its header
  /// and label count, its label table holds more than 512 entries (N > 511), or the table runs
  /// past the file.
  bool load(std::vector<uint8_t> file);
  void unload();
  bool loaded() const { return m_loaded; }

  std::span<const uint8_t> code() const { return m_code; }
  uint32_t codeSize() const { return static_cast<uint32_t>(m_code.size()); }
  /// N, the number of labels.
  uint32_t labelCount() const { return m_labelCount; }
  /// Label table entry k (0..N): a code offset; none outside the table.
  std::optional<uint32_t> tableEntry(uint64_t k) const;

  /// The instruction at pc; none when its 6 bytes do not lie inside the code area.
  std::optional<Instruction> fetch(uint32_t pc) const;
  /// True when a whole instruction starts at pc inside the code area.
  bool holdsInstruction(uint64_t pc) const { return pc + 6 <= m_code.size(); }

 private:
  std::vector<uint8_t> m_file;
  std::span<const uint8_t> m_code;
  std::vector<uint32_t> m_table;
  uint32_t m_labelCount = 0;
  bool m_loaded = false;
};

}  // namespace sorel
