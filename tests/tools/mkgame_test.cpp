// The sample game: its scenarios (assembled in-process) and the installation sorel-mkgame writes
// (run twice as a program).
#include "tools/mkgame/game_builder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include <unistd.h>

#include "converter/pac_archive.h"
#include "converter/pac_format.h"
#include "engine/content/game_content.h"
#include "engine/story/script_opcodes.h"
#include "engine/resources/byte_io.h"
#include "engine/resources/format.h"
#include "engine/resources/sjis_text.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "tools/script_asm.h"

namespace sorel {
namespace {

namespace fs = std::filesystem;

struct Assembled {
  mkgame::ScenarioSource source;
  std::vector<uint8_t> bytes;
};

std::vector<Assembled> assembleAll() {
  std::vector<Assembled> out;
  for (const auto& s : mkgame::scenarioSources()) {
    script::AsmResult r = script::assemble(s.text);
    EXPECT_TRUE(r.ok()) << s.fileName << ":" << (r.ok() ? 0 : r.errors[0].line) << ": "
                        << (r.ok() ? "" : r.errors[0].message);
    EXPECT_TRUE(r.warnings.empty()) << s.fileName;
    out.push_back({s, r.bytes});
  }
  return out;
}

TEST(SampleScenarios, HaveTheChapterStructureAndEveryOneRoundTrips) {
  auto all = assembleAll();
  std::set<std::string> members;
  for (const auto& a : all)
    if (a.source.archive == "Script.pac") members.insert(a.source.member);
  std::set<std::string> expected = {"Replay01.bin", "Replay13.bin"};
  for (const ScenarioInfo& s : scenarios()) expected.insert(std::string(s.member));
  EXPECT_EQ(members, expected);
  EXPECT_EQ(scenarios().size(), 17u);

  for (const auto& a : all) {
    SCOPED_TRACE(a.source.fileName);
    script::DisasmResult d = script::disassemble(a.bytes);
    ASSERT_TRUE(d.complete()) << d.problem;
    script::AsmResult again = script::assemble(d.text);
    ASSERT_TRUE(again.ok());
    EXPECT_EQ(again.bytes, a.bytes);
  }
}

TEST(SampleScenarios, UseEveryCommandAndEveryConditionPush) {
  std::set<uint16_t> used;
  for (const auto& a : assembleAll())
    for (const auto& ins : script::parseScript(a.bytes).code) used.insert(ins.opcode);
  for (const OpcodeInfo& o : allOpcodes()) EXPECT_TRUE(used.count(o.code)) << o.name << " is never used";
  for (uint16_t c : {21, 29, 30, 31, 32, 33}) EXPECT_TRUE(isConditionPush(c) && used.count(c));
  for (uint16_t c : used) EXPECT_NE(findOpcode(c), nullptr) << "opcode " << c << " is outside the instruction set";
}

// Every JUMP_FILE names a scenario that exists (or ends the story), every jump lands on an
// instruction, and every conditional jump has somewhere else to go than the next instruction.
TEST(SampleScenarios, ChainAndBranchSoundly) {
  auto all = assembleAll();
  std::vector<std::string> names;
  for (const auto& a : all) names.push_back(a.source.member);
  auto exists = [&](std::string_view n) {
    if (sameName(n, kSystemScenario)) return true;
    for (const auto& m : names)
      if (sameName(m, n)) return true;
    return false;
  };
  int branches = 0;
  for (const auto& a : all) {
    SCOPED_TRACE(a.source.fileName);
    auto img = script::parseScript(a.bytes);
    std::set<uint32_t> starts;
    for (const auto& ins : img.code) starts.insert(ins.offset);
    starts.insert(img.codeSize);
    std::string lastString;
    bool endsInJumpFile = false;
    for (const auto& ins : img.code) {
      if (ins.opcode == op::kPushString)
        lastString.assign(reinterpret_cast<const char*>(ins.data.data()), ins.data.size() - 1);
      if (ins.opcode == op::kJumpFile) {
        EXPECT_TRUE(exists(lastString)) << platform::cp932ToUtf8Lossy(lastString);
      }
      if (isJump(ins.opcode)) {
        EXPECT_TRUE(starts.count(ins.operand)) << ins.offset;
      }
      if (ins.opcode == op::kJumpUnlessEqual) {
        ++branches;
        EXPECT_NE(ins.operand, ins.offset + 6);
      }
      endsInJumpFile = ins.opcode == op::kJumpFile;
    }
    EXPECT_TRUE(endsInJumpFile);
    for (uint32_t e : img.table) EXPECT_TRUE(starts.count(e));
  }
  EXPECT_GT(branches, 30);
}

// ---------------------------------------------------------------------------------------------

// One run of the program serves every check below; a folder per process keeps parallel test
// runs apart.
fs::path root;
int statusA = -1, statusB = -1;

void generate() {
  root = fs::path(SOREL_TEST_TMP) / ("mkgame-" + std::to_string(getpid()));
  fs::remove_all(root);
  fs::create_directories(root / "config");
  setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
  std::string program = std::string(SOREL_BIN_DIR) + "/sorel-mkgame";
  statusA = std::system((program + " -q --install " + (root / "a").string()).c_str());
  statusB = std::system((program + " -q " + (root / "b").string()).c_str());
}
std::string sys(const fs::path& p) { return *platform::systemPath(p.string()); }
PacArchive open(const std::string& name) {
  PacArchive pac;
  EXPECT_TRUE(pac.open(sys(root / "a" / name))) << name;
  return pac;
}
std::vector<uint8_t> member(const std::string& archive, std::string_view name) {
  PacArchive pac = open(archive);
  auto i = pac.find(name);
  if (!i) return {};
  return pac.readMember(*i).value_or(std::vector<uint8_t>{});
}

const char* const kArchives[] = {"Script.pac", "Table.pac",  "BG.pac",  "Stand.pac",       "Visual.pac",
                                 "Face.pac",   "Thumbnail.pac", "System.pac", "BGM.pac", "SE.pac",
                                 "SystemVoice.pac", "Voice.pac", "Update.pac"};

void checkIsWrittenTheSameTwiceAndEveryMemberUnpacks() {
  ASSERT_EQ(statusA, 0);
  ASSERT_EQ(statusB, 0);
  uint64_t total = 0;
  std::set<uint32_t> methods;
  for (const char* name : kArchives) {
    SCOPED_TRACE(name);
    std::ifstream a(root / "a" / name, std::ios::binary), b(root / "b" / name, std::ios::binary);
    std::vector<char> ba((std::istreambuf_iterator<char>(a)), {}), bb((std::istreambuf_iterator<char>(b)), {});
    EXPECT_FALSE(ba.empty());
    EXPECT_TRUE(ba == bb) << "differs between two runs";
    total += ba.size();
    PacArchive pac = open(name);
    methods.insert(pac.method());
    EXPECT_GT(pac.memberCount(), 0u);
    for (size_t i = 0; i < pac.memberCount(); ++i) EXPECT_TRUE(pac.readMember(i)) << pac.entry(i).name;
  }
  EXPECT_TRUE(fs::exists(root / "a" / "Lumenwish.exe"));
  EXPECT_EQ(methods, (std::set<uint32_t>{pac::kMethodStored, pac::kMethodLzss, pac::kMethodHuffman}));
  EXPECT_LT(total, 30u << 20);
  size_t files = 0;
  for (auto& e : fs::directory_iterator(root / "a")) files += e.is_regular_file();
  EXPECT_EQ(files, 14u);  // nothing half-written left behind
}

void checkInstallRecordsTheFolderSoThatCuttingAtTheLastBackslashGivesIt() {
  auto value = platform::registryGetString("Software\\ORBA\\Lumenwish", "DIRECTORY");
  ASSERT_TRUE(value);
  auto cut = lastCharOf(*value, '\\');
  ASSERT_TRUE(cut);
  EXPECT_EQ(*cut, value->size() - 1);
  EXPECT_EQ(platform::hostPath(value->substr(0, *cut)), (root / "a").string());
}

struct Bitmap {
  int width = 0, height = 0, bits = 0;
  uint32_t compression = 0;
};
Bitmap readBitmap(const std::vector<uint8_t>& b) {
  Bitmap m;
  if (b.size() < 54 || b[0] != 'B' || b[1] != 'M') return m;
  m.width = static_cast<int32_t>(loadU32(b.data() + 18));
  m.height = static_cast<int32_t>(loadU32(b.data() + 22));
  m.bits = loadU16(b.data() + 28);
  m.compression = loadU32(b.data() + 30);
  uint64_t stride = (uint64_t(m.width) * m.bits / 8 + 3) & ~3ull;
  if (loadU32(b.data() + 10) + stride * uint64_t(std::abs(m.height)) != b.size()) m.bits = -1;
  return m;
}

void checkHoldsThePicturesTheEngineLoadsByNameAtTheirSizes() {
  struct Want {
    const char* archive;
    std::string name;
    int width, height, bits;
  };
  std::vector<Want> wants = {
      {"System.pac", "MessageWindow.bmp", 640, 162, 24},  {"System.pac", "MessageWindow2.bmp", 640, 111, 24},
      {"System.pac", "MessageWindow3.bmp", 640, 111, 24}, {"System.pac", "MessageWindowButton.bmp", 192, 32, 24},
      {"System.pac", "Cursor.bmp", 136, 36, 24},          {"System.pac", "Mark.bmp", 7 * 18, 22, 24},
      {"System.pac", "SelectMenu.bmp", 80, 70, 24},       {"System.pac", "Title_BG.bmp", 640, 911, 16},
      {"System.pac", "Title.bmp", 440, 192, 24},          {"System.pac", "TitleMenu.bmp", 216, 360, 24},
      {"System.pac", "Star.bmp", 216, 84, 24},            {"System.pac", "SpotLight.bmp", 160, 160, 24},
      {"System.pac", "ORBA2003.bmp", 144, 32, 24},        {"System.pac", "ScrollBar.bmp", 76, 40, 24},
      {"System.pac", "BackLog.bmp", 616, 48, 24},         {"System.pac", "CGModeBG.bmp", 640, 480, 16},
      {"System.pac", "CGModeButton.bmp", 512, 64, 24},    {"System.pac", "SoundModeBG.bmp", 640, 480, 16},
      {"System.pac", "SoundModeButton.bmp", 640, 504, 24}, {"System.pac", "EyeCatchBg.bmp", 100, 100, 16},
      {"System.pac", "EyeCatchLogo.bmp", 200, 93, 24},    {"System.pac", "StaffRoll.bmp", 512, 448, 24},
      {"Thumbnail.pac", "thum_cursor.bmp", 132, 100, 24}, {"Thumbnail.pac", "thum_nodata.bmp", 128, 96, 24},
      {"BG.pac", "BG_Field.bmp", 640, 480, 16},           {"BG.pac", "BG_Kyoto.bmp", 640, -480, 24},
  };
  for (int m = 1; m <= 12; ++m)
    wants.push_back({"System.pac", "MiniChar" + std::string(m < 10 ? "0" : "") + std::to_string(m) + ".bmp",
                     4 * (m == 12 ? 81 : 80), 120, 24});
  for (int e = 1; e <= 16; ++e)
    wants.push_back({"Visual.pac", "EyeCatch" + std::string(e < 10 ? "0" : "") + std::to_string(e) + ".bmp", 640, 480, 16});
  for (const Want& w : wants) {
    SCOPED_TRACE(w.name);
    Bitmap b = readBitmap(member(w.archive, w.name));
    EXPECT_EQ(b.width, w.width);
    EXPECT_EQ(b.height, w.height);
    EXPECT_EQ(b.bits, w.bits);
  }
  EXPECT_EQ(readBitmap(member("BG.pac", "BG_Field.bmp")).compression, 3u);  // BI_BITFIELDS
}

void checkTablesNameOnlyMembersThatExist() {
  auto visualInfo = member("Table.pac", "VisualInfo.DAT");
  ASSERT_EQ(visualInfo.size() % 196, 0u);
  PacArchive bg = open("BG.pac"), visual = open("Visual.pac"), system = open("System.pac"), thumbs = open("Thumbnail.pac");
  int differentials = 0;
  for (size_t r = 0; r < visualInfo.size() / 196; ++r) {
    std::string name(fieldText(reinterpret_cast<const char*>(visualInfo.data() + 196 * r + 4), 32));
    std::string alt(fieldText(reinterpret_cast<const char*>(visualInfo.data() + 196 * r + 36), 32));
    EXPECT_TRUE(bg.find(name) || visual.find(name) || system.find(name)) << name;
    if (!alt.empty()) {
      ++differentials;
      EXPECT_TRUE((bg.find(alt) && bg.find(name)) || (visual.find(alt) && visual.find(name))) << alt;
    }
  }
  EXPECT_EQ(differentials, 13);
  auto cg = member("Table.pac", "CGInfo.DAT");
  auto scenes = member("Table.pac", "SceneInfo.DAT");
  ASSERT_EQ(cg.size(), 13u * 1280);
  ASSERT_EQ(scenes.size(), 2u * 960);
  for (const auto* t : {&cg, &scenes})
    for (size_t i = 0; i < t->size(); i += 4) {
      int32_t index = static_cast<int32_t>(loadU32(t->data() + i));
      if (index < 0) continue;
      EXPECT_LT(size_t(index), visualInfo.size() / 196);
      if (t == &cg) {
        EXPECT_TRUE(thumbs.find(format("Thum_%z3.bmp", {index}))) << index;
      }
    }

  // Sprites: the descriptor names its base at offset 8, and that base is the descriptor's name
  // with ".bmp"; overlays and faces exist.
  auto standInfo = member("Table.pac", "StandInfo.DAT");
  PacArchive stand = open("Stand.pac"), face = open("Face.pac");
  ASSERT_EQ(standInfo.size(), 24u * 224);
  for (size_t r = 0; r < 24; ++r) {
    const char* rec = reinterpret_cast<const char*>(standInfo.data() + 224 * r);
    std::string faceName(fieldText(rec, 32)), desc(fieldText(rec + 32, 32)), overlay(fieldText(rec + 64, 32));
    EXPECT_TRUE(face.find(faceName)) << faceName;
    auto d = member("Stand.pac", desc);
    ASSERT_GE(d.size(), 68u) << desc;
    std::string base(fieldText(reinterpret_cast<const char*>(d.data() + 8), 52));
    EXPECT_EQ(base, replaceExtension(desc, ".bmp"));
    EXPECT_EQ(readBitmap(member("Stand.pac", base)).height, static_cast<int32_t>(loadU32(d.data() + 60)));
    if (!overlay.empty()) {
      EXPECT_EQ(readBitmap(member("Stand.pac", overlay)).bits, 24) << overlay;
    }
  }

  auto bgm = member("Table.pac", "BgmInfo.DAT");
  PacArchive music = open("BGM.pac");
  ASSERT_EQ(bgm.size(), 14u * 36);
  for (size_t r = 0; r < 14; ++r)
    EXPECT_TRUE(music.find(fieldText(reinterpret_cast<const char*>(bgm.data() + 36 * r), 32)));
  EXPECT_TRUE(music.find(kTitleMusic));
  for (int k = 1; k <= 4; ++k) EXPECT_TRUE(music.find("EyeCatch" + std::to_string(k) + ".wav"));
}

void checkHasEveryVoiceTheEngineAsksFor() {
  PacArchive sysVoice = open("SystemVoice.pac"), voice = open("Voice.pac");
  for (const Heroine& h : heroines())
    for (int n : {1, 2, 7, 10, 11, 12, 15, 16, 17, 18, 19, 21, 22, 23})
      EXPECT_TRUE(sysVoice.find(std::string(h.voicePrefix) + format("%z2.wav", {n}))) << h.voicePrefix << n;
  for (int e = 0; e < 16; ++e) EXPECT_TRUE(sysVoice.find(replaceExtension(eyeCatchVoice(e), ".wav"))) << e;

  // Every "@v" code of the scenarios has its member in Voice.pac.
  PacArchive scripts = open("Script.pac");
  int codes = 0;
  for (size_t i = 0; i < scripts.memberCount(); ++i) {
    auto bytes = scripts.readMember(i);
    ASSERT_TRUE(bytes);
    for (const auto& ins : script::parseScript(*bytes).code) {
      std::string_view t(reinterpret_cast<const char*>(ins.data.data()), ins.data.size());
      for (size_t at = t.find("@v"); at != std::string_view::npos; at = t.find("@v", at + 2)) {
        size_t end = at + 2;
        while (end < t.size() && t[end] >= '0' && t[end] <= '9') ++end;
        ++codes;
        EXPECT_TRUE(voice.find(std::string(t.substr(at + 2, end - at - 2)) + ".wav"));
      }
    }
  }
  EXPECT_GT(codes, 40);

  // The formats the converter must handle: PCM mono and stereo at both rates, and ADPCM.
  std::set<std::tuple<int, int, int>> formats;  // tag, channels, rate
  for (const char* archive : {"BGM.pac", "SE.pac", "SystemVoice.pac", "Voice.pac"}) {
    PacArchive pac = open(archive);
    for (size_t i = 0; i < pac.memberCount(); ++i) {
      auto w = pac.readMember(i);
      ASSERT_TRUE(w && w->size() > 36);
      ASSERT_EQ(std::string(w->begin(), w->begin() + 4), "RIFF");
      formats.insert({loadU16(w->data() + 20), loadU16(w->data() + 22), static_cast<int>(loadU32(w->data() + 24))});
    }
  }
  for (auto f : {std::tuple{1, 1, 22050}, {1, 2, 22050}, {1, 1, 44100}, {1, 2, 44100}, {0x11, 1, 22050}})
    EXPECT_TRUE(formats.count(f)) << std::get<0>(f) << " " << std::get<1>(f) << " " << std::get<2>(f);
}

void checkUpdateReplacesTheBadEndAndTheOpaqueListMatchesTheConverterFile() {
  PacArchive update = open("Update.pac");
  ASSERT_EQ(update.memberCount(), 1u);
  EXPECT_TRUE(sameName(update.entry(0).name, "03-13(BADEND).bin"));
  EXPECT_NE(update.entry(0).name, "03-13(BADEND).bin");
  EXPECT_NE(member("Update.pac", update.entry(0).name), member("Script.pac", "03-13(BADEND).bin"));

  std::set<std::string> listed;
  std::ifstream list(std::string(SOREL_SOURCE_DIR) + "/converter/opaque_visuals.txt");
  for (std::string line; std::getline(list, line);)
    if (!line.empty() && line[0] != '#') listed.insert(line);
  PacArchive visual = open("Visual.pac");
  for (const auto& name : listed) EXPECT_TRUE(visual.find(name)) << name;
  EXPECT_EQ(listed.size(), 6u);
  for (std::string_view name : displayFilterList()) EXPECT_TRUE(visual.find(name)) << name;
}

TEST(SampleGame, InstallationIsCompleteDeterministicAndConsistent) {
  generate();
  ASSERT_EQ(statusA, 0) << "sorel-mkgame failed";
  {
    SCOPED_TRACE("IsWrittenTheSameTwiceAndEveryMemberUnpacks");
    checkIsWrittenTheSameTwiceAndEveryMemberUnpacks();
  }
  {
    SCOPED_TRACE("InstallRecordsTheFolderSoThatCuttingAtTheLastBackslashGivesIt");
    checkInstallRecordsTheFolderSoThatCuttingAtTheLastBackslashGivesIt();
  }
  {
    SCOPED_TRACE("HoldsThePicturesTheEngineLoadsByNameAtTheirSizes");
    checkHoldsThePicturesTheEngineLoadsByNameAtTheirSizes();
  }
  {
    SCOPED_TRACE("TablesNameOnlyMembersThatExist");
    checkTablesNameOnlyMembersThatExist();
  }
  {
    SCOPED_TRACE("HasEveryVoiceTheEngineAsksFor");
    checkHasEveryVoiceTheEngineAsksFor();
  }
  {
    SCOPED_TRACE("UpdateReplacesTheBadEndAndTheOpaqueListMatchesTheConverterFile");
    checkUpdateReplacesTheBadEndAndTheOpaqueListMatchesTheConverterFile();
  }
  if (!::testing::Test::HasFailure()) fs::remove_all(root);
}

}  // namespace
}  // namespace sorel
