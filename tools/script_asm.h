#pragma once
// The text form of scenario byte code, both ways: assemble() turns scenario text into a script
// file, disassemble() turns any script file back into text that assembles to the same bytes.
//
// The text form, one statement per line, ';' starts a comment:
//   name:                     a label: the code offset of the next instruction
//   PUSH_INT 5                an instruction by its name (engine/story/script_opcodes.h) and an
//                             optional operand (default 0): a number (decimal, -5, 0x1F), a
//                             label reference @name (its code offset) or a .equ constant
//   PUSH_STRING "text"        UTF-8 text stored as Shift-JIS followed by a NUL; the escapes
//                             \" \\ \n \t \r and \xHH (one raw byte, not converted); an optional
//                             ", count" sets the operand: the data is cut or zero-filled to it
//   OP 1031 7                 any opcode by number, with an optional operand
//   .table @start @ending 12  the label table, entry 0 first (JUMP_LABEL k uses entry k + 1);
//                             several .table lines append. Without it: one entry, offset 0
//   .equ NAME 3               a named constant for operands
//   .header 53 4F ...         the 8 bytes the engine does not read (default "SORELSC1")
//   .bytes 01 02              raw bytes in the code area (what the disassembler cannot decode)
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace sorel::script {

/// What the assembler writes into the 8 bytes the engine does not read.
constexpr std::array<uint8_t, 8> kDefaultHeader = {'S', 'O', 'R', 'E', 'L', 'S', 'C', '1'};

struct Diagnostic {
  int line = 0;  ///< 1-based line of the text
  std::string message;
};

struct AsmResult {
  std::vector<uint8_t> bytes;         ///< the script file; empty when there are errors
  std::vector<Diagnostic> errors;     ///< in line order
  std::vector<Diagnostic> warnings;   ///< things the engine would not handle as the text expects
  bool ok() const { return errors.empty(); }
};

/// Assembles scenario text (UTF-8). Never throws; every problem is a diagnostic with its line.
AsmResult assemble(std::string_view text);

/// One decoded instruction of a script file.
struct Instruction {
  uint32_t offset = 0;  ///< code offset of the opcode
  uint16_t opcode = 0;
  uint32_t operand = 0;
  std::span<const uint8_t> data;  ///< PUSH_STRING only: the operand's bytes of string data
  uint32_t size() const { return 6 + static_cast<uint32_t>(data.size()); }
};

/// A script file split into its parts; views into the bytes given to parseScript.
struct ScriptImage {
  std::array<uint8_t, 8> header{};
  std::vector<uint32_t> table;      ///< label table entries read (all N + 1 when complete)
  uint64_t declaredEntries = 0;     ///< N + 1 as the file says
  std::vector<Instruction> code;    ///< instructions decoded, in order
  uint32_t codeSize = 0;            ///< bytes of the code area
  uint32_t decodedSize = 0;         ///< code bytes covered by `code`
  std::span<const uint8_t> rest;    ///< code bytes after the last instruction decoded
  bool tableComplete = false;       ///< the whole label table lies inside the file
  /// Why decoding stopped early (empty when the file decoded completely; a few stray bytes
  /// after the last whole instruction are not a problem).
  std::string problem;
};

/// Splits a script file. Never reads outside `file`, whatever it holds.
ScriptImage parseScript(std::span<const uint8_t> file);

struct DisasmResult {
  std::string text;     ///< UTF-8 scenario text
  std::string problem;  ///< where and why decoding stopped; empty when complete
  bool complete() const { return problem.empty(); }
};

/// Disassembles a script file. For a complete file the text assembles to the identical bytes;
/// for a damaged one it holds everything decodable and the problem says where it stopped.
DisasmResult disassemble(std::span<const uint8_t> file);

}  // namespace sorel::script
