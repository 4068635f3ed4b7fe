#include "engine/story/script_program.h"

#include "engine/story/script_opcodes.h"
#include "engine/resources/byte_io.h"

namespace sorel {

bool ScriptProgram::load(std::vector<uint8_t> file) {
  unload();
  ByteReader r(file, kScriptLabelCountOffset);
  uint32_t n = r.u32();
  if (!r.ok()) return false;
  // The engine's label table has 512 entries; a larger one is refused rather than cut, since
  // its labels could not mean what the script expects.
  if (uint64_t(n) + 1 > kScriptMaxTableEntries) return false;
  std::vector<uint32_t> table(size_t(n) + 1);
  for (auto& e : table) e = r.u32();
  if (!r.ok()) return false;
  size_t codeStart = r.pos();
  m_file = std::move(file);
  m_code = std::span<const uint8_t>(m_file).subspan(codeStart);
  m_table = std::move(table);
  m_labelCount = n;
  m_loaded = true;
  return true;
}

void ScriptProgram::unload() {
  m_file.clear();
  m_file.shrink_to_fit();
  m_code = {};
  m_table.clear();
  m_labelCount = 0;
  m_loaded = false;
}

std::optional<uint32_t> ScriptProgram::tableEntry(uint64_t k) const {
  if (!m_loaded || k >= m_table.size()) return std::nullopt;
  return m_table[size_t(k)];
}

std::optional<Instruction> ScriptProgram::fetch(uint32_t pc) const {
  if (!m_loaded || !holdsInstruction(pc)) return std::nullopt;
  const uint8_t* p = m_code.data() + pc;
  return Instruction{loadU16(p), loadU32(p + 2)};
}

}  // namespace sorel
