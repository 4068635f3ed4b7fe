// sorel-save: shows what a save file ("saveNNN.dat") or the system data file ("save000.dat")
// holds, so a person can look into a save. Texts are shown as UTF-8. Reads only.
#include <cstdio>
#include <string>
#include <vector>

#include "sorel_version.h"
#include "engine/saves/save_data.h"
#include "engine/saves/system_data.h"
#include "platform/files.h"
#include "platform/text.h"
#include "tools/tool_common.h"

namespace {

constexpr const char* kProgram = "sorel-save";

void usage() {
  std::printf(
      "usage: sorel-save FILE...\n"
      "Prints the fields of save files (data/save/saveNNN.dat) and of the system data file\n"
      "(data/save/save000.dat): the time and chapter, the scenario and where it stands, the scene,\n"
      "the window, the stack, the choices, the variables and the backlog; or the visited\n"
      "pictures and scenarios, the scene flags, the system values and the read messages.\n"
      "Exits with 1 when a file cannot be read or does not check out.\n");
}

std::string utf8(std::string_view cp932) { return platform::cp932ToUtf8Lossy(cp932); }

template <size_t N>
std::string utf8(const std::array<char, N>& f) {
  return utf8(sorel::fieldView(f));
}

bool showSave(const std::vector<uint8_t>& bytes) {
  using namespace sorel;
  SaveFileError why = SaveFileError::None;
  auto file = readSaveFile(bytes, &why);
  if (!file) {
    std::printf("  refused: %s\n", describe(why));
    return false;
  }
  const SaveSnapshot& s = file->snapshot;
  std::printf("  version     %c\n", s.version);
  std::printf("  saved       %s\n", s.timeText.c_str());
  std::printf("  title       %s\n", utf8(s.title).c_str());
  std::printf("  scenario    %s pc=%u repeat=%u mode=%u sub=%u\n", utf8(s.scenario).c_str(), s.pc, s.repeat, s.gameMode,
              s.subMode);
  std::printf("  music       %s\n", utf8(s.music).c_str());
  std::printf("  loop se     %s | %s\n", utf8(s.loopSe[0]).c_str(), utf8(s.loopSe[1]).c_str());
  std::printf("  scene       visual=%d brightness=%u grey=%u tint=%06X dimmed=%u\n", s.visual, s.brightness,
              s.clearToGrey, s.pictureTint, s.dimmed);
  for (int p = 0; p < 3; ++p)
    std::printf("  sprite %d    %d %s\n", p, s.stand[size_t(p)], utf8(s.standName[size_t(p)]).c_str());
  std::printf("  window      shown=%u created=%u style=%u\n", s.windowShown, s.windowCreated, s.windowStyle);
  std::printf("  effect      active=%u opcode=%u step=%u\n", s.effect.active, s.effect.opcode, s.effect.step);
  std::printf("  message     offset=%lld speaker=%d face=%d pending=%u \"%s\"\n", (long long)s.message.offset,
              s.message.speaker, s.message.face, s.message.pending, utf8(s.message.text).c_str());
  std::printf("  stack       %u entries\n", s.stack.sp);
  for (uint32_t i = 0; i < s.stack.sp; ++i) {
    const StackEntry& e = s.stack.entries[i];
    std::printf("    %2u kind=%u value=%d \"%s\"\n", i, e.kind, e.value, utf8(e.text).c_str());
  }
  std::printf("  choices     %u, chosen %d\n", s.choices.count, s.choices.chosen);
  for (uint32_t i = 0; i < s.choices.count; ++i)
    std::printf("    %d \"%s\"\n", s.choices.values[i], utf8(s.choices.texts[i]).c_str());
  std::printf("  vars       ");
  for (int32_t v : s.vars) std::printf(" %d", v);
  std::printf("\n  flags      ");
  for (int i = 1; i <= ScriptState::kFlags; ++i) std::printf(" %u", s.flags[size_t(i)]);
  std::printf("\n");
  for (int i = 0; i < StringVars::kCount; ++i)
    if (!s.strings.get(i).empty()) std::printf("  string %-4d \"%s\"\n", i, utf8(s.strings.get(i)).c_str());
  const bool vga = thumbnailPicture(bytes, true).has_value();
  const bool small = thumbnailPicture(bytes, false).has_value();
  std::printf("  thumbnail   %s\n", vga ? "160 x 128" : small ? "80 x 64" : "none shown");
  std::printf("  backlog     %zu entries (newest first)\n", file->backlog.size());
  for (const BacklogEntry& e : file->backlog)
    std::printf("    speaker=%u voice=%s \"%s\"\n", e.speaker, e.voice.c_str(), utf8(e.text).c_str());
  return true;
}

bool showSystemData(const std::vector<uint8_t>& bytes) {
  using namespace sorel;
  auto d = parseSystemData(bytes);
  if (!d) {
    std::printf("  refused: a count or length does not fit the file\n");
    return false;
  }
  std::printf("  visited pictures  %zu\n", d->visitedPictures.size());
  for (const auto& n : d->visitedPictures) std::printf("    %s\n", utf8(n).c_str());
  std::printf("  visited scenarios %zu\n", d->visitedScenarios.size());
  for (const auto& n : d->visitedScenarios) std::printf("    %s\n", utf8(n).c_str());
  std::printf("  scene flags      ");
  for (uint32_t f : d->sceneFlags.flags) std::printf("%u", f ? 1u : 0u);
  std::printf("\n  system values    ");
  for (int32_t v : d->systemValues.values) std::printf(" %d", v);
  std::printf("\n  read messages     %zu scenarios\n", d->readTable.size());
  for (const auto& r : d->readTable) {
    std::printf("    %s (%zu):", utf8(r.scenario).c_str(), r.offsets.size());
    for (uint32_t o : r.offsets) std::printf(" %u", o);
    std::printf("\n");
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    usage();
    return 2;
  }
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--help" || a == "-h") {
      usage();
      return 0;
    }
    if (a == "--version") {
      std::printf("%s %s\n", kProgram, sorel::kVersion);
      return 0;
    }
    if (a.rfind("--", 0) == 0) {
      sorel::tool::error(kProgram, "unknown option '" + a + "' (see --help)");
      return 2;
    }
    files.push_back(a);
  }
  bool ok = true;
  for (const std::string& f : files) {
    auto path = sorel::tool::systemPathArg(kProgram, f);
    auto bytes = path ? platform::readWholeFile(*path) : std::nullopt;
    if (!bytes) {
      sorel::tool::error(kProgram, "cannot read " + f);
      ok = false;
      continue;
    }
    const bool system = bytes->size() >= 4 && std::string_view(reinterpret_cast<const char*>(bytes->data()), 4) == "QVG1";
    std::printf("%s: %s, %zu bytes\n", f.c_str(), system ? "system data" : "save", bytes->size());
    ok = (system ? showSystemData(*bytes) : showSave(*bytes)) && ok;
  }
  return ok ? 0 : 1;
}
