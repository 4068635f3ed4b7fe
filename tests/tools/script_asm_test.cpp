#include "tools/script_asm.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>

#include "engine/story/script_opcodes.h"
#include "engine/resources/byte_io.h"

namespace sorel::script {
namespace {

std::vector<uint8_t> assembleOk(std::string_view text) {
  AsmResult r = assemble(text);
  for (const auto& e : r.errors) ADD_FAILURE() << "line " << e.line << ": " << e.message;
  return r.bytes;
}

void expectRoundTrip(const std::vector<uint8_t>& bytes) {
  DisasmResult d = disassemble(bytes);
  ASSERT_TRUE(d.complete()) << d.problem;
  AsmResult again = assemble(d.text);
  ASSERT_TRUE(again.ok()) << d.text << "\nfirst error, line " << again.errors[0].line << ": "
                          << again.errors[0].message;
  EXPECT_EQ(again.bytes, bytes) << d.text;
}

TEST(ScriptAsm, WritesTheFileLayoutTheEngineReads) {
  auto bytes = assembleOk(
      ".table @start @second\n"
      "start:  PUSH_INT -1        ; face none\n"
      "        PUSH_STRING \"A\"\n"
      "second: JUMP @start\n");
  std::vector<uint8_t> expected = {'S', 'O', 'R', 'E', 'L', 'S', 'C', '1',
                                   1, 0, 0, 0,                // N = 1
                                   0, 0, 0, 0, 14, 0, 0, 0,   // entry 0 = start, entry 1 = second
                                   2, 0, 0xFF, 0xFF, 0xFF, 0xFF,
                                   11, 0, 2, 0, 0, 0, 'A', 0,
                                   5, 0, 0, 0, 0, 0};
  EXPECT_EQ(bytes, expected);
}

TEST(ScriptAsm, StoresTextAsShiftJisWithEscapesAndCounts) {
  auto bytes = assembleOk("PUSH_STRING \"ソ\\\"\\\\\\x81\", 8\n");
  // ソ is 83 5C: its trail byte is a backslash and must not be taken for an escape.
  std::vector<uint8_t> data(bytes.begin() + 16 + 6, bytes.end());
  EXPECT_EQ(data, (std::vector<uint8_t>{0x83, 0x5C, '"', '\\', 0x81, 0, 0, 0}));
  EXPECT_EQ(loadU32(bytes.data() + 16 + 2), 8u);
  expectRoundTrip(bytes);
}

TEST(ScriptAsm, EveryOpcodeByNameAssemblesToItsNumberAndBack) {
  for (const OpcodeInfo& o : allOpcodes()) {
    std::string line = std::string(o.name) + (o.code == op::kPushString ? " \"x\"" : " 7") + "\n";
    auto bytes = assembleOk(line);
    ASSERT_GE(bytes.size(), 22u) << o.name;
    EXPECT_EQ(loadU16(bytes.data() + 16), o.code) << o.name;
    DisasmResult d = disassemble(bytes);
    EXPECT_NE(d.text.find(std::string(o.name) + " "), std::string::npos) << d.text;
    expectRoundTrip(bytes);
  }
}

// Random scripts: unknown opcodes, jumps anywhere, strings with bytes that are not Shift-JIS,
// padding after the NUL, no NUL at all, odd label tables and stray bytes at the end.
TEST(ScriptAsm, AnyWellFormedFileDisassemblesToTextThatAssemblesIdentically) {
  std::mt19937 rng(1234);
  auto pick = [&](uint32_t n) { return static_cast<uint32_t>(rng() % n); };
  for (int round = 0; round < 300; ++round) {
    std::vector<uint8_t> file;
    ByteWriter w(file);
    for (int i = 0; i < 8; ++i) w.u8(round % 3 == 0 ? static_cast<uint8_t>(pick(256)) : "SORELSC1"[i]);
    uint32_t entries = 1 + pick(4);
    w.u32(entries - 1);
    size_t tableAt = file.size();
    for (uint32_t k = 0; k < entries; ++k) w.u32(0);
    size_t codeAt = file.size();
    std::vector<uint32_t> starts;
    int count = static_cast<int>(pick(12));
    for (int i = 0; i < count; ++i) {
      starts.push_back(static_cast<uint32_t>(file.size() - codeAt));
      uint32_t kind = pick(6);
      if (kind == 0) {
        uint32_t len = pick(12);
        w.u16(op::kPushString);
        w.u32(len);
        for (uint32_t k = 0; k < len; ++k) w.u8(pick(3) == 0 ? 0 : static_cast<uint8_t>(pick(256)));
      } else if (kind == 1) {
        w.u16(static_cast<uint16_t>(pick(2) ? op::kJump : op::kJumpUnlessEqual));
        w.u32(pick(80));
      } else if (kind == 2) {
        w.u16(static_cast<uint16_t>(pick(65536)));
        if (loadU16(file.data() + file.size() - 2) == op::kPushString) file[file.size() - 2] = 12;
        w.u32(rng());
      } else {
        const auto& o = allOpcodes()[pick(static_cast<uint32_t>(allOpcodes().size()))];
        if (o.code == op::kPushString) {
          w.u16(o.code);
          w.u32(4);
          for (uint8_t b : {uint8_t(0x82), uint8_t(0xA0), uint8_t(0x61), uint8_t(0)}) w.u8(b);
        } else {
          w.u16(o.code);
          w.u32(pick(4) == 0 ? rng() : 0);
        }
      }
    }
    for (uint32_t k = pick(6); k > 0 && pick(2); --k) w.u8(static_cast<uint8_t>(pick(256)));
    starts.push_back(static_cast<uint32_t>(file.size() - codeAt));
    for (uint32_t k = 0; k < entries; ++k)
      storeU32(file.data() + tableAt + 4 * k, pick(3) ? starts[pick(static_cast<uint32_t>(starts.size()))] : pick(100));
    SCOPED_TRACE("round " + std::to_string(round));
    expectRoundTrip(file);
  }
}

TEST(ScriptAsm, MalformedTextNamesTheLineAndTheReason) {
  struct Case {
    const char* text;
    int line;
    const char* words;
  };
  const Case cases[] = {
      {"NOP\nFLY_AWAY 3\n", 2, "unknown instruction"},
      {"JUMP @nowhere\n", 1, "not defined"},
      {"a:\nNOP\na: NOP\n", 3, "already defined"},
      {"NOP\n\nPUSH_STRING \"open\n", 3, "not closed"},
      {"PUSH_STRING \"smile 😀\"\n", 1, "no Shift-JIS form"},
      {"PUSH_INT 12x\n", 1, "expected"},
      {"PUSH_INT 4294967296\n", 1, "32 bits"},
      {".header 01 02\n", 1, "exactly 8 bytes"},
      {"NOP 1 2\n", 1, "unexpected"},
      {"OP 11 3\n", 1, "PUSH_STRING"},
      {".frobnicate\n", 1, "unknown directive"},
      {"PUSH_INT SPEAKER\n", 1, "unknown constant"},
      {"PUSH_STRING \"\\q\"\n", 1, "unknown escape"},
  };
  for (const Case& c : cases) {
    AsmResult r = assemble(c.text);
    ASSERT_FALSE(r.ok()) << c.text;
    EXPECT_TRUE(r.bytes.empty());
    EXPECT_EQ(r.errors[0].line, c.line) << c.text;
    EXPECT_NE(r.errors[0].message.find(c.words), std::string::npos) << r.errors[0].message;
  }
  // Every bad line is reported, not only the first.
  EXPECT_EQ(assemble("BAD1\nNOP\nBAD2\n").errors.size(), 2u);
}

TEST(ScriptAsm, WarnsAboutWhatTheEngineCannotHold) {
  std::string table = ".table";
  for (int i = 0; i < 513; ++i) table += " 0";
  AsmResult r = assemble(table + "\nPUSH_STRING \"" + std::string(300, 'a') + "\"\n");
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(r.warnings.size(), 2u);
}

TEST(ScriptAsm, HostileFilesAreDecodedAsFarAsTheyGoAndNoFurther) {
  // Too short for the label count.
  EXPECT_FALSE(disassemble(std::vector<uint8_t>{'S', 'O', 'R'}).complete());
  // A label count that runs far past the end.
  std::vector<uint8_t> file = {'S', 'O', 'R', 'E', 'L', 'S', 'C', '1', 0xFF, 0xFF, 0xFF, 0xFF, 1, 0, 0, 0};
  DisasmResult d = disassemble(file);
  EXPECT_FALSE(d.complete());
  EXPECT_NE(d.problem.find("label table"), std::string::npos);

  // A string push whose length runs past the end: the instructions before it are shown, the
  // rest is kept as raw bytes so the text still assembles to the same file.
  auto bytes = assembleOk("PUSH_INT 3\nMESSAGE\nPUSH_STRING \"abcdef\"\n");
  bytes.resize(bytes.size() - 3);
  storeU32(bytes.data() + 16 + 12 + 2, 0x7FFFFFF0);
  d = disassemble(bytes);
  EXPECT_FALSE(d.complete());
  EXPECT_NE(d.problem.find("code offset 12"), std::string::npos) << d.problem;
  EXPECT_NE(d.text.find("MESSAGE"), std::string::npos);
  AsmResult again = assemble(d.text);
  ASSERT_TRUE(again.ok());
  EXPECT_EQ(again.bytes, bytes);

  ScriptImage img = parseScript(bytes);
  EXPECT_EQ(img.code.size(), 2u);
  EXPECT_EQ(img.decodedSize, 12u);
}

// Random files, many with small label counts and string pushes, each in a buffer of exactly its
// size (so the address sanitizer sees any read past it); whatever decodes completely must also
// assemble back to the same bytes.
TEST(ScriptAsm, RandomBytesNeverLeadOutsideTheBuffer) {
  std::mt19937 rng(99);
  int complete = 0;
  for (int round = 0; round < 2000; ++round) {
    size_t size = rng() % 80;
    std::unique_ptr<uint8_t[]> file(new uint8_t[size]);
    for (size_t i = 0; i < size; ++i) file[i] = static_cast<uint8_t>(rng() % 4 == 0 ? 11 : rng());
    if (size >= 12 && rng() % 2) storeU32(file.get() + 8, rng() % 4);
    std::span<const uint8_t> bytes(file.get(), size);
    DisasmResult d = disassemble(bytes);
    if (!d.complete()) continue;
    ++complete;
    AsmResult again = assemble(d.text);
    ASSERT_TRUE(again.ok()) << d.text;
    EXPECT_TRUE(std::equal(again.bytes.begin(), again.bytes.end(), bytes.begin(), bytes.end())) << d.text;
  }
  EXPECT_GT(complete, 100);
}

}  // namespace
}  // namespace sorel::script
