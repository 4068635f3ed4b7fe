#include "tools/script_asm.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>
#include <set>

#include "engine/story/script_opcodes.h"
#include "engine/resources/byte_io.h"
#include "engine/resources/sjis_text.h"
#include "platform/text.h"

namespace sorel::script {
namespace {

constexpr size_t kMaxErrors = 50;
// The engine copies a pushed string into a 256-byte stack entry.
constexpr size_t kEngineStringRoom = 256;

// ---------------------------------------------------------------------------------------------
// Text side

bool isIdentStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool isIdentChar(char c) { return isIdentStart(c) || (c >= '0' && c <= '9'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string upper(std::string_view s) {
  std::string u(s);
  for (char& c : u)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return u;
}

// The first character of a UTF-8 text that CP932 cannot hold (or that is not UTF-8), for
// pointing at it in an error.
std::string firstUnconvertible(std::string_view utf8) {
  size_t i = 0;
  while (i < utf8.size()) {
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 1;
    if (i + len > utf8.size()) len = utf8.size() - i;
    std::string_view ch = utf8.substr(i, len);
    if (!platform::utf8ToCp932(ch)) return std::string(ch);
    i += len;
  }
  return {};
}

/// A value written as an operand: a number, a label reference or a constant, resolved later.
struct Operand {
  enum class Kind { None, Number, Label, Const } kind = Kind::None;
  int64_t number = 0;
  std::string name;
};

struct Statement {
  int line = 0;
  bool isBytes = false;
  uint16_t opcode = 0;
  Operand operand;
  std::vector<uint8_t> data;  // PUSH_STRING data, or the .bytes
  uint32_t offset = 0;
};

struct TableItem {
  int line = 0;
  Operand value;
};

class Assembler {
 public:
  AsmResult run(std::string_view text) {
    int lineNo = 0;
    size_t pos = 0;
    while (pos <= text.size()) {
      size_t end = text.find('\n', pos);
      if (end == std::string_view::npos) end = text.size();
      std::string_view line = text.substr(pos, end - pos);
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      ++lineNo;
      parseLine(line, lineNo);
      if (end == text.size()) break;
      pos = end + 1;
    }
    return finish();
  }

 private:
  // --- reporting
  void error(int line, std::string message) {
    if (m_result.errors.size() < kMaxErrors) m_result.errors.push_back({line, std::move(message)});
  }
  void warning(int line, std::string message) { m_result.warnings.push_back({line, std::move(message)}); }

  // --- cursor over the current line
  std::string_view m_line;
  size_t m_pos = 0;
  int m_lineNo = 0;

  void skipBlanks() {
    while (m_pos < m_line.size() && (m_line[m_pos] == ' ' || m_line[m_pos] == '\t')) ++m_pos;
  }
  bool atEnd() {
    skipBlanks();
    return m_pos >= m_line.size() || m_line[m_pos] == ';';
  }
  char peek() { return m_pos < m_line.size() ? m_line[m_pos] : '\0'; }
  std::string_view identifier() {
    size_t start = m_pos;
    if (m_pos < m_line.size() && isIdentStart(m_line[m_pos])) {
      ++m_pos;
      while (m_pos < m_line.size() && isIdentChar(m_line[m_pos])) ++m_pos;
    }
    return m_line.substr(start, m_pos - start);
  }
  // The word at the cursor, for messages.
  std::string wordHere() {
    size_t end = m_pos;
    while (end < m_line.size() && m_line[end] != ' ' && m_line[end] != '\t' && m_line[end] != ';') ++end;
    return std::string(m_line.substr(m_pos, end - m_pos));
  }
  bool endsToken(size_t at) {
    return at >= m_line.size() || m_line[at] == ' ' || m_line[at] == '\t' || m_line[at] == ';' ||
           m_line[at] == ',';
  }

  // A number: optional sign, decimal digits or 0x and hex digits, within -2^31 .. 2^32 - 1.
  std::optional<int64_t> number(const char* what) {
    size_t start = m_pos;
    bool negative = false;
    if (peek() == '-' || peek() == '+') {
      negative = peek() == '-';
      ++m_pos;
    }
    int64_t value = 0;
    bool any = false, tooBig = false;
    if (peek() == '0' && m_pos + 1 < m_line.size() && (m_line[m_pos + 1] == 'x' || m_line[m_pos + 1] == 'X')) {
      m_pos += 2;
      int h;
      while (m_pos < m_line.size() && (h = hexValue(m_line[m_pos])) >= 0) {
        value = value * 16 + h;
        if (value > 0xFFFFFFFFll) tooBig = true, value = 0xFFFFFFFFll + 1;
        any = true;
        ++m_pos;
      }
    } else {
      while (m_pos < m_line.size() && isDigit(m_line[m_pos])) {
        value = value * 10 + (m_line[m_pos] - '0');
        if (value > 0xFFFFFFFFll) tooBig = true, value = 0xFFFFFFFFll + 1;
        any = true;
        ++m_pos;
      }
    }
    if (!any || !endsToken(m_pos)) {
      m_pos = start;
      error(m_lineNo, std::string(what) + " expected, found \"" + wordHere() + "\"");
      return std::nullopt;
    }
    if (negative) value = -value;
    if (tooBig || value < -2147483648ll || value > 0xFFFFFFFFll) {
      error(m_lineNo, "number " + std::string(m_line.substr(start, m_pos - start)) +
                          " does not fit in 32 bits");
      return std::nullopt;
    }
    return value;
  }

  std::optional<Operand> operand(const char* what) {
    skipBlanks();
    Operand o;
    char c = peek();
    if (c == '@') {
      ++m_pos;
      std::string_view name = identifier();
      if (name.empty() || !endsToken(m_pos)) {
        error(m_lineNo, "label name expected after '@'");
        return std::nullopt;
      }
      o.kind = Operand::Kind::Label;
      o.name = std::string(name);
      return o;
    }
    if (isIdentStart(c)) {
      std::string_view name = identifier();
      if (!endsToken(m_pos)) {
        error(m_lineNo, "unexpected character after \"" + std::string(name) + "\"");
        return std::nullopt;
      }
      o.kind = Operand::Kind::Const;
      o.name = std::string(name);
      return o;
    }
    auto n = number(what);
    if (!n) return std::nullopt;
    o.kind = Operand::Kind::Number;
    o.number = *n;
    return o;
  }

  // A string literal at the cursor: UTF-8 runs converted to CP932, \xHH bytes kept raw.
  std::optional<std::vector<uint8_t>> stringLiteral() {
    skipBlanks();
    if (peek() != '"') {
      error(m_lineNo, "string literal in double quotes expected");
      return std::nullopt;
    }
    ++m_pos;
    std::vector<uint8_t> out;
    std::string run;
    bool good = true;
    auto flush = [&] {
      if (run.empty()) return;
      auto cp = platform::utf8ToCp932(run);
      if (!cp) {
        std::string bad = firstUnconvertible(run);
        error(m_lineNo, bad.empty() ? std::string("text is not valid UTF-8")
                                    : "character \"" + bad + "\" has no Shift-JIS form");
        good = false;
      } else {
        out.insert(out.end(), cp->begin(), cp->end());
      }
      run.clear();
    };
    for (;;) {
      if (m_pos >= m_line.size()) {
        error(m_lineNo, "string literal is not closed (missing '\"')");
        return std::nullopt;
      }
      char c = m_line[m_pos++];
      if (c == '"') break;
      if (c != '\\') {
        run.push_back(c);
        continue;
      }
      if (m_pos >= m_line.size()) {
        error(m_lineNo, "string literal ends in a lone backslash");
        return std::nullopt;
      }
      char e = m_line[m_pos++];
      switch (e) {
        case '"': run.push_back('"'); break;
        case '\\': run.push_back('\\'); break;
        case 'n': run.push_back('\n'); break;
        case 't': run.push_back('\t'); break;
        case 'r': run.push_back('\r'); break;
        case 'x': {
          int h1 = m_pos < m_line.size() ? hexValue(m_line[m_pos]) : -1;
          int h2 = m_pos + 1 < m_line.size() ? hexValue(m_line[m_pos + 1]) : -1;
          if (h1 < 0 || h2 < 0) {
            error(m_lineNo, "\\x needs two hexadecimal digits");
            return std::nullopt;
          }
          m_pos += 2;
          flush();
          out.push_back(static_cast<uint8_t>(h1 * 16 + h2));
          break;
        }
        default:
          error(m_lineNo, std::string("unknown escape \\") + e + " (use \\\" \\\\ \\n \\t \\r or \\xHH)");
          return std::nullopt;
      }
    }
    flush();
    if (!good) return std::nullopt;
    return out;
  }

  std::optional<std::vector<uint8_t>> hexBytes(const char* directive) {
    std::vector<uint8_t> out;
    while (!atEnd()) {
      size_t start = m_pos;
      int h1 = hexValue(peek());
      int h2 = m_pos + 1 < m_line.size() ? hexValue(m_line[m_pos + 1]) : -1;
      if (h1 < 0 || h2 < 0 || !endsToken(m_pos + 2)) {
        m_pos = start;
        error(m_lineNo, std::string(directive) + ": two-digit hexadecimal byte expected, found \"" +
                            wordHere() + "\"");
        return std::nullopt;
      }
      out.push_back(static_cast<uint8_t>(h1 * 16 + h2));
      m_pos += 2;
    }
    return out;
  }

  void expectEnd(std::string_view after) {
    if (!atEnd()) error(m_lineNo, "unexpected \"" + wordHere() + "\" after " + std::string(after));
  }

  // --- statements
  void parseLine(std::string_view line, int lineNo) {
    m_line = line;
    m_pos = 0;
    m_lineNo = lineNo;
    // Labels: identifiers directly followed by ':'.
    for (;;) {
      if (atEnd()) return;
      size_t start = m_pos;
      std::string_view name = identifier();
      if (!name.empty() && peek() == ':') {
        ++m_pos;
        defineLabel(std::string(name));
        continue;
      }
      m_pos = start;
      break;
    }
    if (peek() == '.') {
      ++m_pos;
      directive(upper(identifier()));
      return;
    }
    std::string_view word = identifier();
    if (word.empty() || !endsToken(m_pos)) {
      error(m_lineNo, "instruction name expected, found \"" + wordHere() + "\"");
      return;
    }
    instruction(upper(word));
  }

  void defineLabel(std::string name) {
    if (m_labels.count(name)) {
      error(m_lineNo, "label \"" + name + "\" is already defined on line " +
                          std::to_string(m_labelLines[name]));
      return;
    }
    m_labels[name] = m_offset;
    m_labelLines[name] = m_lineNo;
  }

  void directive(const std::string& name) {
    if (name == "HEADER") {
      auto bytes = hexBytes(".header");
      if (!bytes) return;
      if (bytes->size() != 8) {
        error(m_lineNo, ".header needs exactly 8 bytes, found " + std::to_string(bytes->size()));
        return;
      }
      if (m_headerLine) {
        error(m_lineNo, ".header is already given on line " + std::to_string(m_headerLine));
        return;
      }
      std::copy(bytes->begin(), bytes->end(), m_header.begin());
      m_headerLine = m_lineNo;
    } else if (name == "TABLE") {
      if (atEnd()) error(m_lineNo, ".table needs at least one entry (a label @name or an offset)");
      while (!atEnd()) {
        auto o = operand("table entry");
        if (!o) return;
        if (o->kind == Operand::Kind::Number && o->number < 0) {
          error(m_lineNo, "a table entry is a code offset and cannot be negative");
          return;
        }
        m_table.push_back({m_lineNo, *o});
      }
    } else if (name == "EQU") {
      skipBlanks();
      std::string n(identifier());
      if (n.empty()) {
        error(m_lineNo, ".equ needs a name");
        return;
      }
      skipBlanks();
      auto v = number("value");
      if (!v) return;
      expectEnd(".equ");
      if (m_consts.count(n)) {
        error(m_lineNo, "constant \"" + n + "\" is already defined");
        return;
      }
      m_consts[n] = *v;
    } else if (name == "BYTES") {
      auto bytes = hexBytes(".bytes");
      if (!bytes) return;
      if (bytes->empty()) {
        error(m_lineNo, ".bytes needs at least one byte");
        return;
      }
      Statement s;
      s.line = m_lineNo;
      s.isBytes = true;
      s.data = std::move(*bytes);
      add(std::move(s));
    } else {
      error(m_lineNo, "unknown directive \"." + name + "\" (known: .header .table .equ .bytes)");
    }
  }

  void instruction(const std::string& name) {
    Statement s;
    s.line = m_lineNo;
    if (name == "OP") {
      skipBlanks();
      auto code = number("opcode number");
      if (!code) return;
      if (*code < 0 || *code > 0xFFFF) {
        error(m_lineNo, "opcode " + std::to_string(*code) + " is outside 0..65535");
        return;
      }
      if (*code == op::kPushString) {
        error(m_lineNo, "opcode 11 carries string data: write PUSH_STRING \"...\"");
        return;
      }
      s.opcode = static_cast<uint16_t>(*code);
      if (!atEnd()) {
        auto o = operand("operand");
        if (!o) return;
        s.operand = *o;
      }
      expectEnd("the operand");
      add(std::move(s));
      return;
    }
    const OpcodeInfo* info = findOpcodeByName(name);
    if (!info) {
      error(m_lineNo, "unknown instruction \"" + name + "\"");
      return;
    }
    s.opcode = info->code;
    if (info->code == op::kPushString) {
      auto bytes = stringLiteral();
      if (!bytes) return;
      std::vector<uint8_t> data = std::move(*bytes);
      size_t textBytes = data.size();
      data.push_back(0);
      skipBlanks();
      if (peek() == ',') {
        ++m_pos;
        auto count = operand("byte count");
        if (!count) return;
        if (count->kind == Operand::Kind::Label) {
          error(m_lineNo, "a byte count cannot be a label");
          return;
        }
        std::optional<int64_t> n = count->kind == Operand::Kind::Number ? count->number : constValue(*count);
        if (!n) return;
        if (*n < 0) {
          error(m_lineNo, "the byte count of a string cannot be negative");
          return;
        }
        if (*n > 0xFFFFFF) {
          error(m_lineNo, "byte count " + std::to_string(*n) + " is unreasonably large");
          return;
        }
        data.resize(static_cast<size_t>(*n), 0);
      }
      expectEnd("the string");
      if (textBytes >= kEngineStringRoom)
        warning(m_lineNo, "string of " + std::to_string(textBytes) +
                              " bytes does not fit the engine's 255-byte stack entries");
      s.operand.kind = Operand::Kind::Number;
      s.operand.number = static_cast<int64_t>(data.size());
      s.data = std::move(data);
      add(std::move(s));
      return;
    }
    if (!atEnd()) {
      auto o = operand("operand");
      if (!o) return;
      s.operand = *o;
    }
    expectEnd("the operand");
    add(std::move(s));
  }

  void add(Statement s) {
    s.offset = m_offset;
    uint64_t size = s.isBytes ? s.data.size() : kInstructionSize + s.data.size();
    if (m_offset + size > 0x7FFFFFFFull) {
      error(s.line, "the script grows past 2 GiB");
      return;
    }
    m_offset += static_cast<uint32_t>(size);
    m_statements.push_back(std::move(s));
  }

  std::optional<int64_t> constValue(const Operand& o) {
    auto it = m_consts.find(o.name);
    if (it == m_consts.end()) {
      error(m_lineNo, "unknown constant \"" + o.name + "\" (labels are written @" + o.name + ")");
      return std::nullopt;
    }
    return it->second;
  }

  // Resolves an operand to its 32-bit value.
  std::optional<uint32_t> resolve(const Operand& o, int line) {
    switch (o.kind) {
      case Operand::Kind::None: return 0u;
      case Operand::Kind::Number: return static_cast<uint32_t>(o.number);
      case Operand::Kind::Label: {
        auto it = m_labels.find(o.name);
        if (it == m_labels.end()) {
          error(line, "label \"" + o.name + "\" is not defined");
          return std::nullopt;
        }
        return it->second;
      }
      case Operand::Kind::Const: {
        auto it = m_consts.find(o.name);
        if (it == m_consts.end()) {
          error(line, "unknown constant \"" + o.name + "\" (labels are written @" + o.name + ")");
          return std::nullopt;
        }
        return static_cast<uint32_t>(it->second);
      }
    }
    return std::nullopt;
  }

  AsmResult finish() {
    std::vector<uint32_t> table;
    if (m_table.empty()) table.push_back(0);
    for (const TableItem& t : m_table) {
      auto v = resolve(t.value, t.line);
      table.push_back(v.value_or(0));
    }
    if (table.size() > kScriptMaxTableEntries)
      warning(m_table.empty() ? 0 : m_table[kScriptMaxTableEntries].line,
              "label table of " + std::to_string(table.size()) + " entries exceeds the engine's " +
                  std::to_string(kScriptMaxTableEntries));

    std::vector<uint8_t> out;
    out.reserve(12 + 4 * table.size() + m_offset);
    out.insert(out.end(), m_header.begin(), m_header.end());
    ByteWriter w(out);
    w.u32(static_cast<uint32_t>(table.size() - 1));
    for (uint32_t e : table) w.u32(e);
    for (const Statement& s : m_statements) {
      if (s.isBytes) {
        w.bytes(s.data);
        continue;
      }
      auto v = resolve(s.operand, s.line);
      w.u16(s.opcode);
      w.u32(v.value_or(0));
      w.bytes(s.data);
    }
    if (!m_result.errors.empty()) {
      std::stable_sort(m_result.errors.begin(), m_result.errors.end(),
                       [](const Diagnostic& a, const Diagnostic& b) { return a.line < b.line; });
      return std::move(m_result);
    }
    m_result.bytes = std::move(out);
    return std::move(m_result);
  }

  AsmResult m_result;
  std::array<uint8_t, 8> m_header = kDefaultHeader;
  int m_headerLine = 0;
  std::vector<TableItem> m_table;
  std::map<std::string, uint32_t> m_labels;
  std::map<std::string, int> m_labelLines;
  std::map<std::string, int64_t> m_consts;
  std::vector<Statement> m_statements;
  uint32_t m_offset = 0;
};

// ---------------------------------------------------------------------------------------------
// Binary side

std::string hex2(uint8_t b) {
  static const char* digits = "0123456789ABCDEF";
  return {digits[b >> 4], digits[b & 15]};
}

// True when the CP932 bytes of one character convert to UTF-8 and back unchanged, so the text
// form can show the character itself.
std::optional<std::string> roundTripChar(std::string_view cp932) {
  auto utf8 = platform::cp932ToUtf8(cp932);
  if (!utf8 || utf8->empty()) return std::nullopt;
  auto back = platform::utf8ToCp932(*utf8);
  if (!back || *back != cp932) return std::nullopt;
  return utf8;
}

// The literal (without quotes) for CP932 bytes.
std::string renderText(std::span<const uint8_t> bytes) {
  std::string out;
  size_t i = 0;
  while (i < bytes.size()) {
    uint8_t b = bytes[i];
    if (b >= 0x20 && b < 0x7F) {
      if (b == '"' || b == '\\') out.push_back('\\');
      out.push_back(static_cast<char>(b));
      ++i;
      continue;
    }
    size_t len = isLeadByte(b) ? 2 : 1;
    if (i + len <= bytes.size() && b >= 0x80) {
      std::string_view ch(reinterpret_cast<const char*>(bytes.data() + i), len);
      if (auto utf8 = roundTripChar(ch)) {
        out += *utf8;
        i += len;
        continue;
      }
    }
    out += "\\x" + hex2(b);
    ++i;
  }
  return out;
}

std::string stringOperandText(std::span<const uint8_t> data) {
  // The plain form is text, one NUL, nothing after it; anything else keeps its exact bytes
  // through escapes and an explicit count.
  size_t nul = 0;
  while (nul < data.size() && data[nul] != 0) ++nul;
  size_t litEnd;
  if (nul < data.size() && std::all_of(data.begin() + static_cast<long>(nul) + 1, data.end(),
                                       [](uint8_t b) { return b == 0; })) {
    litEnd = nul;
  } else {
    litEnd = data.size();
    while (litEnd > 0 && data[litEnd - 1] == 0) --litEnd;
  }
  std::string out = "PUSH_STRING \"" + renderText(data.first(litEnd)) + "\"";
  if (data.size() != litEnd + 1) out += ", " + std::to_string(data.size());
  return out;
}

std::string signedText(uint32_t v) { return std::to_string(static_cast<int32_t>(v)); }

}  // namespace

AsmResult assemble(std::string_view text) { return Assembler().run(text); }

ScriptImage parseScript(std::span<const uint8_t> file) {
  ScriptImage img;
  ByteReader r(file);
  for (size_t i = 0; i < 8 && i < file.size(); ++i) img.header[i] = file[i];
  if (file.size() < 12) {
    img.problem = "file of " + std::to_string(file.size()) +
                  " bytes is shorter than the 12-byte header and label count";
    return img;
  }
  r.seek(kScriptLabelCountOffset);
  uint32_t n = r.u32();
  img.declaredEntries = uint64_t(n) + 1;
  uint64_t tableBytes = img.declaredEntries * 4;
  uint64_t available = (file.size() - 12) / 4;
  if (12 + tableBytes > file.size()) {
    for (uint64_t k = 0; k < available; ++k) img.table.push_back(r.u32());
    img.problem = "label table of " + std::to_string(img.declaredEntries) + " entries runs past the end of the file (room for " +
                  std::to_string(available) + ")";
    return img;
  }
  img.tableComplete = true;
  for (uint64_t k = 0; k < img.declaredEntries; ++k) img.table.push_back(r.u32());
  std::span<const uint8_t> code = file.subspan(static_cast<size_t>(12 + tableBytes));
  img.codeSize = static_cast<uint32_t>(code.size());
  size_t pc = 0;
  while (code.size() - pc >= kInstructionSize) {
    Instruction ins;
    ins.offset = static_cast<uint32_t>(pc);
    ins.opcode = loadU16(code.data() + pc);
    ins.operand = loadU32(code.data() + pc + 2);
    if (ins.opcode == op::kPushString) {
      if (ins.operand > code.size() - pc - kInstructionSize) {
        img.problem = "string push at code offset " + std::to_string(pc) + " claims " +
                      std::to_string(ins.operand) + " bytes, but only " +
                      std::to_string(code.size() - pc - kInstructionSize) + " remain";
        break;
      }
      ins.data = code.subspan(pc + kInstructionSize, ins.operand);
    }
    pc += ins.size();
    img.code.push_back(ins);
  }
  img.decodedSize = static_cast<uint32_t>(pc);
  img.rest = code.subspan(pc);
  return img;
}

DisasmResult disassemble(std::span<const uint8_t> file) {
  DisasmResult result;
  ScriptImage img = parseScript(file);
  std::string& out = result.text;
  out += "; scenario byte code, " + std::to_string(file.size()) + " bytes\n";
  if (img.header != kDefaultHeader) {
    out += ".header";
    for (uint8_t b : img.header) out += " " + hex2(b);
    out += "\n";
  }
  if (!img.tableComplete) {
    out += "; the label table could not be read whole: " + img.problem + "\n";
    for (size_t k = 0; k < img.table.size(); ++k)
      out += ";   entry " + std::to_string(k) + ": " + std::to_string(img.table[k]) + "\n";
    result.problem = img.problem;
    return result;
  }

  // Places where a label can stand: instruction starts and the ends of the decoded code and
  // of the whole code area.
  std::set<uint32_t> boundaries;
  for (const Instruction& i : img.code) boundaries.insert(i.offset);
  boundaries.insert(img.decodedSize);
  boundaries.insert(img.codeSize);
  std::map<uint32_t, std::string> names;
  auto nameFor = [&](uint32_t offset, std::string proposal) {
    if (!boundaries.count(offset)) return;
    names.emplace(offset, std::move(proposal));
  };
  for (size_t k = 0; k < img.table.size(); ++k)
    nameFor(img.table[k], k == 0 ? std::string("entry") : "label" + std::to_string(k - 1));
  for (const Instruction& i : img.code)
    if (isJump(i.opcode)) nameFor(i.operand, "loc_" + std::to_string(i.operand));
  auto ref = [&](uint32_t offset) {
    auto it = names.find(offset);
    return it != names.end() ? "@" + it->second : std::to_string(offset);
  };

  if (!(img.table.size() == 1 && img.table[0] == 0)) {
    for (size_t k = 0; k < img.table.size(); ++k) {
      std::string line = ".table " + ref(img.table[k]);
      line.resize(std::max<size_t>(line.size(), 32), ' ');
      out += line + (k == 0 ? "; entry 0" : "; entry " + std::to_string(k) + ", JUMP_LABEL " + std::to_string(k - 1)) + "\n";
    }
  }
  out += "\n";

  auto emitLabel = [&](uint32_t offset) {
    auto it = names.find(offset);
    if (it != names.end()) out += it->second + ":\n";
  };
  for (const Instruction& i : img.code) {
    emitLabel(i.offset);
    out += "    ";
    const OpcodeInfo* info = findOpcode(i.opcode);
    if (i.opcode == op::kPushString) {
      out += stringOperandText(i.data);
    } else if (!info) {
      out += "OP " + std::to_string(i.opcode);
      if (i.operand != 0) out += " " + signedText(i.operand);
    } else if (isJump(i.opcode)) {
      out += std::string(info->name) + " " + ref(i.operand);
    } else if (i.opcode == op::kPushInt || i.opcode == op::kPushInt2) {
      out += std::string(info->name) + " " + signedText(i.operand);
    } else {
      out += std::string(info->name);
      if (i.operand != 0) out += " " + signedText(i.operand);
    }
    out += "\n";
  }
  if (!img.rest.empty()) {
    emitLabel(img.decodedSize);
    if (img.problem.empty())
      out += "; " + std::to_string(img.rest.size()) + " bytes after the last instruction\n";
    else
      out += "; decoding stopped here: " + img.problem + "\n";
    for (size_t k = 0; k < img.rest.size(); k += 16) {
      out += "    .bytes";
      for (size_t j = k; j < std::min(img.rest.size(), k + 16); ++j) out += " " + hex2(img.rest[j]);
      out += "\n";
    }
  }
  emitLabel(img.codeSize);
  result.problem = img.problem;
  return result;
}

}  // namespace sorel::script
