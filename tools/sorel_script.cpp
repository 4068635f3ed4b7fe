// sorel-script: scenario byte code to its text form and back. `asm` reports every problem as
// file:line: reason; `disasm` of any script gives text that assembles to the identical bytes,
// and of a damaged one prints what it can decode and says where it stopped.
#include <CLI/CLI.hpp>

#include <cstdio>

#include "sorel_version.h"
#include "platform/files.h"
#include "tools/script_asm.h"
#include "tools/tool_common.h"

namespace {

using namespace sorel;
constexpr const char* kProgram = "sorel-script";

std::optional<std::vector<uint8_t>> readInput(const std::string& hostPath) {
  auto path = tool::systemPathArg(kProgram, hostPath);
  if (!path) return std::nullopt;
  auto bytes = platform::readWholeFile(*path);
  if (!bytes) tool::error(kProgram, hostPath + ": cannot read");
  return bytes;
}

int cmdAsm(const std::string& in, const std::string& out) {
  auto text = readInput(in);
  if (!text) return 1;
  script::AsmResult r = script::assemble(std::string_view(reinterpret_cast<const char*>(text->data()), text->size()));
  for (const auto& w : r.warnings)
    std::fprintf(stderr, "%s:%d: warning: %s\n", in.c_str(), w.line, w.message.c_str());
  for (const auto& e : r.errors) std::fprintf(stderr, "%s:%d: %s\n", in.c_str(), e.line, e.message.c_str());
  if (!r.ok()) return 1;
  return tool::writeOutput(kProgram, out, r.bytes) ? 0 : 1;
}

int cmdDisasm(const std::string& in, const std::string& out) {
  auto bytes = readInput(in);
  if (!bytes) return 1;
  script::DisasmResult r = script::disassemble(*bytes);
  bool written;
  if (out.empty() || out == "-") {
    written = std::fwrite(r.text.data(), 1, r.text.size(), stdout) == r.text.size();
    std::fflush(stdout);
  } else {
    written = tool::writeOutput(kProgram, out,
                                std::span(reinterpret_cast<const uint8_t*>(r.text.data()), r.text.size()));
  }
  if (!r.complete()) {
    tool::error(kProgram, in + ": " + r.problem);
    return 1;
  }
  return written ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Assemble scenario text into byte code, or disassemble byte code into text."};
  app.name(kProgram);
  app.set_version_flag("--version", std::string(kProgram) + " " + sorel::kVersion);
  app.require_subcommand(1);

  std::string in, out;
  auto* as = app.add_subcommand("asm", "assemble scenario text (UTF-8) into a script file");
  as->add_option("IN", in, "scenario text")->required();
  as->add_option("-o,--output", out, "script file to write")->required();

  auto* dis = app.add_subcommand("disasm", "print the text form of a script file");
  dis->add_option("IN", in, "script file (.bin)")->required();
  dis->add_option("-o,--output", out, "text file to write (default: standard output)");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : 2;
  }
  if (*as) return cmdAsm(in, out);
  if (*dis) return cmdDisasm(in, out);
  return 2;
}
