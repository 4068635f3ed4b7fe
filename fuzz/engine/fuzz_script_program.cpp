// Any bytes as a scenario script, as the engine loads it: the label table, then every label's
// target and a walk through the code area, one instruction after another.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/story/script_program.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  sorel::ScriptProgram program;
  if (!program.load(std::vector<uint8_t>(data, data + size))) return 0;
  for (uint64_t k = 0; k <= uint64_t(program.labelCount()) + 1; ++k) {
    auto at = program.tableEntry(k);
    if (at) program.fetch(*at);
  }
  uint32_t pc = 0;
  for (int steps = 0; steps < 100000; ++steps) {
    auto insn = program.fetch(pc);
    if (!insn) break;
    // Fall through to the next instruction; a jump-like operand is fetched too.
    program.fetch(insn->operand);
    pc += 6;
  }
  program.fetch(0xFFFFFFFAu);
  program.fetch(program.codeSize());
  return 0;
}
