// sorel-archive: list, extract, pack and check .mlz archives; list, extract and check the PC
// game's .pac archives. A file named ".mlz" or ".pac" is read as that kind (a damaged one is
// refused, never taken for the other kind); any other file by its content.
#include <CLI/CLI.hpp>
#include <png.h>

#include <algorithm>
#include <cinttypes>
#include <csetjmp>
#include <cstdio>
#include <memory>

#include "sorel_version.h"
#include "converter/mlz_writer.h"
#include "converter/pac_archive.h"
#include "engine/graphics/picture_loader.h"
#include "engine/resources/mlz_archive.h"
#include "engine/resources/mlz_format.h"
#include "engine/resources/sjis_text.h"
#include "platform/files.h"
#include "platform/text.h"
#include "tools/member_check.h"
#include "tools/tool_common.h"

namespace {

using namespace sorel;
constexpr const char* kProgram = "sorel-archive";

/// One opened archive of either kind, seen through the same few questions.
class AnyArchive {
 public:
  virtual ~AnyArchive() = default;
  virtual size_t count() const = 0;
  virtual std::string name(size_t i) const = 0;
  virtual uint32_t packedSize(size_t i) const = 0;
  virtual uint32_t unpackedSize(size_t i) const = 0;
  virtual std::string method(size_t i) const = 0;
  /// The member unpacked, or none with a reason.
  virtual std::optional<std::vector<uint8_t>> unpack(size_t i, std::string& why) = 0;

  std::optional<size_t> find(std::string_view cp932Name) const {
    for (size_t i = 0; i < count(); ++i)
      if (sameName(name(i), cp932Name)) return i;
    return std::nullopt;
  }
};

class MlzFile : public AnyArchive {
 public:
  bool open(const std::string& path) { return m_mlz.loadIndex(path, true); }
  size_t count() const override { return m_mlz.memberCount(); }
  std::string name(size_t i) const override { return m_mlz.entry(i).name; }
  uint32_t packedSize(size_t i) const override { return m_mlz.entry(i).packedSize; }
  uint32_t unpackedSize(size_t i) const override { return m_mlz.entry(i).unpackedSize; }
  std::string method(size_t i) const override {
    return m_mlz.entry(i).method == mlz::kMethodLzss ? "lzss" : "stored";
  }
  std::optional<std::vector<uint8_t>> unpack(size_t i, std::string& why) override {
    const MlzEntry& e = m_mlz.entry(i);
    if (e.packedSize == 0 && e.unpackedSize == 0) return std::vector<uint8_t>{};
    bool exact = false;
    auto bytes = m_mlz.extractAt(i, &exact);
    if (bytes && exact) return bytes;
    why = "stored bytes missing or do not unpack to the recorded size";
    return std::nullopt;
  }

 private:
  MlzArchive m_mlz;
};

class PacFile : public AnyArchive {
 public:
  bool open(const std::string& path) { return m_pac.open(path); }
  size_t count() const override { return m_pac.memberCount(); }
  std::string name(size_t i) const override { return m_pac.entry(i).name; }
  uint32_t packedSize(size_t i) const override { return m_pac.entry(i).packedSize; }
  uint32_t unpackedSize(size_t i) const override { return m_pac.entry(i).unpackedSize; }
  std::string method(size_t) const override {
    switch (m_pac.method()) {
      case 0: return "stored";
      case 1: return "lzss";
      default: return "huffman";
    }
  }
  std::optional<std::vector<uint8_t>> unpack(size_t i, std::string& why) override {
    PacError err;
    auto bytes = m_pac.readMember(i, &err);
    if (!bytes) why = pacErrorText(err);
    return bytes;
  }

 private:
  PacArchive m_pac;
};

/// Opens an archive given on the command line; prints why not and returns none on failure.
std::unique_ptr<AnyArchive> openArchive(const std::string& hostPath) {
  auto path = tool::systemPathArg(kProgram, hostPath);
  if (!path) return nullptr;
  int64_t size = platform::fileSize(*path);
  if (size < 0) {
    tool::error(kProgram, hostPath + ": no such file");
    return nullptr;
  }
  uint8_t magic[4] = {};
  platform::readAt(*path, magic, platform::kSeekStart, 0, 4);
  // The name decides when it says: a damaged .mlz read by content would pass for a .pac of one
  // member or none, "all intact".
  const std::string_view ext = extensionOf(*path);
  const bool namedMlz = sameName(ext, ".mlz"), namedPac = sameName(ext, ".pac");
  if (namedMlz || (!namedPac && size >= 16 && mlz::isMagic(magic))) {
    if (size < 16 || !mlz::isMagic(magic)) {
      tool::error(kProgram, hostPath + ": damaged .mlz archive (it does not begin with RLZ2 or RLZ3)");
      return nullptr;
    }
    auto a = std::make_unique<MlzFile>();
    if (a->open(*path)) return a;
    tool::error(kProgram, hostPath + ": damaged .mlz archive (directory runs past the end of the file)");
    return nullptr;
  }
  auto whole = platform::readWholeFile(*path);
  if (whole && looksLikePac(*whole, static_cast<uint64_t>(size))) {
    auto a = std::make_unique<PacFile>();
    if (a->open(*path)) return a;
  }
  tool::error(kProgram, hostPath + (namedPac ? ": damaged .pac archive (its directory does not fit the file)"
                                             : ": not an .mlz or .pac archive"));
  return nullptr;
}

int cmdList(const std::string& file) {
  auto a = openArchive(file);
  if (!a) return 1;
  // Names are padded by the columns they take on a terminal: a double-width character takes two.
  std::vector<std::string> names;
  size_t width = 4;
  for (size_t i = 0; i < a->count(); ++i) {
    names.push_back(tool::displayName(a->name(i)));
    width = std::max(width, tool::displayWidth(names.back()));
  }
  auto pad = [&](const std::string& text) { return text + std::string(width - tool::displayWidth(text), ' '); };
  std::printf("%s %10s %10s  %s\n", pad("name").c_str(), "packed", "unpacked", "method");
  for (size_t i = 0; i < a->count(); ++i)
    std::printf("%s %10" PRIu32 " %10" PRIu32 "  %s\n", pad(names[i]).c_str(), a->packedSize(i), a->unpackedSize(i),
                a->method(i).c_str());
  std::printf("%zu member%s\n", a->count(), a->count() == 1 ? "" : "s");
  return 0;
}

int cmdExtract(const std::string& file, const std::string& member, const std::string& outPath,
               const std::string& allDir) {
  auto a = openArchive(file);
  if (!a) return 1;
  if (!allDir.empty()) {
    auto dir = tool::systemPathArg(kProgram, allDir);
    if (!dir || !platform::createFolders(*dir)) {
      tool::error(kProgram, allDir + ": cannot create folder");
      return 1;
    }
    int failures = 0;
    for (size_t i = 0; i < a->count(); ++i) {
      std::string why;
      auto bytes = a->unpack(i, why);
      std::string shown = tool::displayName(a->name(i));
      if (!bytes) {
        tool::error(kProgram, shown + ": " + why);
        ++failures;
        continue;
      }
      std::string out = allDir + "/" + tool::safeFileName(a->name(i));
      if (!tool::writeOutput(kProgram, out, *bytes)) ++failures;
    }
    std::printf("extracted %zu of %zu members to %s\n", a->count() - size_t(failures), a->count(),
                allDir.c_str());
    return failures ? 1 : 0;
  }
  auto wanted = platform::utf8ToCp932(member);
  if (!wanted) {
    tool::error(kProgram, member + ": name has a character that Shift-JIS cannot hold");
    return 1;
  }
  auto index = a->find(*wanted);
  if (!index) {
    tool::error(kProgram, member + ": no such member in " + file);
    return 1;
  }
  std::string why;
  auto bytes = a->unpack(*index, why);
  if (!bytes) {
    tool::error(kProgram, member + ": " + why);
    return 1;
  }
  std::string out = outPath.empty() ? tool::safeFileName(*wanted) : outPath;
  if (out == "-") {
    std::fwrite(bytes->data(), 1, bytes->size(), stdout);
    return 0;
  }
  return tool::writeOutput(kProgram, out, *bytes) ? 0 : 1;
}

int cmdPack(const std::string& outPath, const std::vector<std::string>& files, bool stored) {
  auto out = tool::systemPathArg(kProgram, outPath);
  if (!out) return 1;
  std::vector<std::pair<std::string, std::vector<uint8_t>>> members;
  for (const std::string& f : files) {
    auto path = tool::systemPathArg(kProgram, f);
    if (!path) return 1;
    auto bytes = platform::readWholeFile(*path);
    if (!bytes) {
      tool::error(kProgram, f + ": cannot read");
      return 1;
    }
    auto name = platform::utf8ToCp932(tool::baseName(f));
    if (!name || name->empty() || name->size() > mlz::kNameSize - 1) {
      tool::error(kProgram, f + ": file name must be 1 to 63 Shift-JIS bytes");
      return 1;
    }
    members.emplace_back(std::move(*name), std::move(*bytes));
  }
  MlzWriter writer;
  if (!writer.open(*out, static_cast<uint32_t>(members.size()))) {
    tool::error(kProgram, outPath + ": cannot create");
    return 1;
  }
  uint64_t input = 0;
  for (const auto& [name, bytes] : members) {
    input += bytes.size();
    if (!writer.add(name, bytes, !stored)) {
      tool::error(kProgram, outPath + ": write failed");
      return 1;
    }
  }
  uint64_t written = writer.bytesWritten();
  if (!writer.close()) {
    tool::error(kProgram, outPath + ": write failed");
    return 1;
  }
  std::printf("packed %zu members, %" PRIu64 " bytes into %" PRIu64 " bytes\n", members.size(), input,
              written);
  return 0;
}

int cmdCheck(const std::string& file) {
  auto a = openArchive(file);
  if (!a) return 1;
  size_t empty = 0;
  const std::string archiveName = platform::utf8ToCp932(tool::baseName(file)).value_or("");
  for (size_t i = 0; i < a->count(); ++i) {
    std::string why;
    auto bytes = a->unpack(i, why);
    if (bytes) why = tool::checkMemberContent(archiveName, a->name(i), *bytes);
    if (!why.empty()) {
      tool::error(kProgram, file + ": member " + tool::displayName(a->name(i)) + " is corrupt: " + why);
      return 1;
    }
    if (bytes->empty()) ++empty;
  }
  std::printf("%s: %zu member%s, all intact", file.c_str(), a->count(), a->count() == 1 ? "" : "s");
  if (empty) std::printf(" (%zu empty)", empty);
  std::printf("\n");
  return 0;
}

void pngWrite(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}
void pngFlush(png_structp) {}

/// An 8-bit RGBA PNG of a picture (blue, green, red, alpha bytes); false when libpng fails.
bool encodePng(const Picture& pic, std::vector<uint8_t>& out) {
  std::vector<uint8_t> rgba(pic.pixels.size());
  for (size_t i = 0; i + 3 < rgba.size(); i += 4) {
    rgba[i] = pic.pixels[i + 2];
    rgba[i + 1] = pic.pixels[i + 1];
    rgba[i + 2] = pic.pixels[i];
    rgba[i + 3] = pic.pixels[i + 3];
  }
  std::vector<png_bytep> rows(pic.height);
  for (uint32_t y = 0; y < pic.height; ++y) rows[y] = rgba.data() + size_t(y) * pic.width * 4;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_set_write_fn(png, &out, pngWrite, pngFlush);
  png_set_IHDR(png, info, pic.width, pic.height, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_rows(png, info, rows.data());
  png_write_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

int cmdPng(const std::string& file, const std::string& member, const std::string& outPath) {
  auto a = openArchive(file);
  if (!a) return 1;
  auto wanted = platform::utf8ToCp932(member);
  if (!wanted) {
    tool::error(kProgram, member + ": name has a character that Shift-JIS cannot hold");
    return 1;
  }
  // Pictures are asked for by their game names ("x.bmp"); the archive holds "x.rbp".
  auto index = a->find(*wanted);
  if (!index) index = a->find(replaceExtension(*wanted, ".rbp"));
  if (!index) {
    tool::error(kProgram, member + ": no such member in " + file);
    return 1;
  }
  std::string why;
  auto bytes = a->unpack(*index, why);
  if (!bytes) {
    tool::error(kProgram, member + ": " + why);
    return 1;
  }
  if (bytes->empty()) {
    tool::error(kProgram, member + ": the member is empty (the converter could not convert that picture)");
    return 1;
  }
  Picture pic;
  if (!decodeRbp(*bytes, pic)) {
    tool::error(kProgram, member + ": not an RBP picture, or a damaged one");
    return 1;
  }
  std::vector<uint8_t> png;
  if (!encodePng(pic, png)) {
    tool::error(kProgram, outPath + ": PNG encoding failed");
    return 1;
  }
  return tool::writeOutput(kProgram, outPath, png) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"List, extract, pack and check .mlz archives and the PC game's .pac archives."};
  app.name(kProgram);
  app.set_version_flag("--version", std::string(kProgram) + " " + sorel::kVersion);
  app.require_subcommand(1);

  std::string file, member, outPath, allDir;
  auto* list = app.add_subcommand("list", "one line per member: name, packed size, unpacked size, method");
  list->add_option("FILE", file, ".mlz or .pac archive")->required();

  auto* extract = app.add_subcommand("extract", "unpack one member (or --all)");
  extract->add_option("FILE", file, "archive")->required();
  extract->add_option("NAME", member, "member name (UTF-8, letters in any case)");
  extract->add_option("-o,--output", outPath, "output file (default: the member's name; - for stdout)");
  extract->add_option("--all", allDir, "unpack every member into this folder");

  std::vector<std::string> files;
  bool stored = false;
  auto* pack = app.add_subcommand("pack", "write an .mlz archive of the files, in argument order");
  pack->add_option("OUT", outPath, "archive to write")->required();
  pack->add_option("FILE", files, "member files")->required();
  pack->add_flag("--stored", stored, "store the members uncompressed");

  auto* check = app.add_subcommand("check", "unpack every member and look inside pictures, scenarios, tables and MP3 streams; exit 1 "
                                    "naming the first bad one");
  check->add_option("FILE", file, "archive")->required();

  auto* png = app.add_subcommand("png", "decode an RBP picture member to an RGBA PNG file");
  png->add_option("FILE", file, "archive")->required();
  png->add_option("NAME", member, "member name (\"x.bmp\" finds \"x.rbp\")")->required();
  png->add_option("OUT", outPath, "PNG file to write")->required();

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : 2;
  }

  if (*list) return cmdList(file);
  if (*extract) {
    if (allDir.empty() == member.empty()) {
      sorel::tool::error(kProgram, "extract needs either NAME or --all DIR");
      return 2;
    }
    return cmdExtract(file, member, outPath, allDir);
  }
  if (*pack) return cmdPack(outPath, files, stored);
  if (*check) return cmdCheck(file);
  if (*png) return cmdPng(file, member, outPath);
  return 2;
}
