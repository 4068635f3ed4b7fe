// Any byte string as a script file: the disassembler must stay inside the buffer, and a file it
// decodes completely must assemble back to the same bytes.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "tools/script_asm.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::span<const uint8_t> file(data, size);
  sorel::script::DisasmResult d = sorel::script::disassemble(file);
  if (d.complete()) {
    sorel::script::AsmResult again = sorel::script::assemble(d.text);
    if (!again.ok() || again.bytes.size() != size ||
        !std::equal(again.bytes.begin(), again.bytes.end(), data))
      std::abort();
  }
  return 0;
}
