#include "converter/conversion_job.h"

#include "converter/mlz_writer.h"
#include "converter/pac_archive.h"
#include "engine/resources/sjis_text.h"
#include "platform/clock.h"
#include "platform/files.h"

namespace sorel {

ConversionJob::ConversionJob(ConversionSettings settings) : m_settings(std::move(settings)) {
  for (std::string* folder : {&m_settings.gameFolder, &m_settings.outputFolder})
    if (!folder->empty() && folder->back() != '\\') *folder += '\\';
}

ConversionJob::~ConversionJob() {
  // The worker uses this object's members: it must end before they are destroyed.
  close();
}

int ConversionJob::run() {
  runJob();
  return 0;
}

std::string ConversionJob::pictureArchiveName(std::string_view base, int sizeFactor) {
  return std::string(base) + (sizeFactor >= 100 ? "_vga.mlz" : ".mlz");
}

std::string ConversionJob::currentName() const {
  std::lock_guard lock(m_nameMutex);
  return m_currentName;
}

void ConversionJob::setCurrent(std::string_view name) {
  std::lock_guard lock(m_nameMutex);
  m_currentName.assign(untilNul(name).substr(0, 127));
}

std::string ConversionJob::sourcePath(std::string_view name) const {
  return m_settings.gameFolder + std::string(name);
}

std::string ConversionJob::outputPath(std::string_view name) const {
  return m_settings.outputFolder + "data\\" + std::string(name);
}

void ConversionJob::finishArchive(MlzWriter& writer, std::string_view output) {
  uint64_t bytes = writer.bytesWritten();
  if (writer.close()) {
    ++m_summary.archivesWritten;
    m_summary.bytesWritten += bytes;
  } else {
    m_summary.failures.push_back(std::string(output) + ": cannot be written");
  }
}

void ConversionJob::runJob() {
  if (m_done.load()) return;
  const uint32_t started = platform::tickCount();
  m_count = 0;
  m_total = 0;

  const std::string data = m_settings.outputFolder + "data";
  for (const char* sub : {"", "\\bgm", "\\se", "\\sys"}) platform::createFolder(data + sub);

  // Step 1: the update list, whatever the content groups.
  m_updates.build(m_settings.gameFolder);

  if (m_settings.pictures) {
    copyStep("Script.pac", "Script.mlz", Copy::Script);
    copyStep("Table.pac", "Table.mlz", Copy::Table);
    m_tables.visual = PictureTables::parseVisualInfo(m_visualInfo);
    m_tables.stand = PictureTables::parseStandInfo(m_standInfo);
    pictureStep("BG.pac", "bg", PictureArchive::Bg);
    pictureStep("Stand.pac", "Stand", PictureArchive::Stand);
    pictureStep("Visual.pac", "Visual", PictureArchive::Visual);
    pictureStep("Face.pac", "Face", PictureArchive::Face);
    pictureStep("Thumbnail.pac", "Thumbnail", PictureArchive::Thumbnail);
    pictureStep("System.pac", "System", PictureArchive::System);
  }
  // Steps 10-13 (BGM.pac, SE.pac and SystemVoice.pac to loose MP3 files with the music group,
  // Voice.pac to voice.mlz with the voices group) belong to the audio conversion and run here,
  // after the pictures, once it exists.

  m_summary.elapsedMs = platform::tickCount() - started;
  setCurrent("");
  m_done.store(1, std::memory_order_release);
}

void ConversionJob::copyStep(std::string_view source, std::string_view output, Copy kind) {
  const std::string path = sourcePath(source);
  if (!platform::fileExists(path)) return;
  PacArchive pac;
  if (!pac.open(path)) {
    m_summary.failures.push_back(std::string(source) + ": not a readable archive");
    return;
  }
  m_total += static_cast<int>(pac.memberCount());
  MlzWriter writer;
  if (!writer.open(outputPath(output), static_cast<uint32_t>(pac.memberCount()))) {
    m_summary.failures.push_back(std::string(output) + ": cannot be created");
    return;
  }
  for (size_t i = 0; i < pac.memberCount(); ++i) {
    const std::string& name = pac.entry(i).name;
    setCurrent(name);
    auto bytes = pac.readMember(i);
    UpdateNode* update = kind == Copy::Script ? m_updates.findUpdate(name) : nullptr;
    std::vector<uint8_t> member;
    if (update) {
      // The update replaces the member; its bytes are not needed after this.
      member = std::move(update->bytes);
      update->bytes.clear();
    } else if (bytes) {
      member = std::move(*bytes);
    } else {
      m_summary.problems.push_back({std::string(output), name, "cannot be unpacked"});
    }
    if (kind == Copy::Table) {
      if (sameName(name, "StandInfo.DAT")) m_standInfo = member;
      if (sameName(name, "VisualInfo.DAT")) m_visualInfo = member;
    }
    writer.add(name, member, true);
    ++m_count;
  }
  finishArchive(writer, output);
}

void ConversionJob::pictureStep(std::string_view source, std::string_view outputBase, PictureArchive kind) {
  const std::string path = sourcePath(source);
  if (!platform::fileExists(path)) return;
  PacArchive pac;
  const std::string output = pictureArchiveName(outputBase, m_settings.sizeFactor);
  if (!pac.open(path)) {
    m_summary.failures.push_back(std::string(source) + ": not a readable archive");
    return;
  }
  m_total += static_cast<int>(pac.memberCount());
  MlzWriter writer;
  if (!writer.open(outputPath(output), static_cast<uint32_t>(pac.memberCount()))) {
    m_summary.failures.push_back(output + ": cannot be created");
    return;
  }
  PictureConverter converter(kind, pac, m_tables, opaqueVisualNames(), m_settings.sizeFactor,
                             m_settings.qualityIndex);
  for (size_t i = 0; i < pac.memberCount(); ++i) {
    setCurrent(pac.entry(i).name);
    ConvertedMember m = converter.convert(i);
    if (!m.problem.empty()) m_summary.problems.push_back({output, pac.entry(i).name, m.problem});
    else if (m.picture) ++m_summary.pictures;
    writer.add(m.name, m.bytes, true);
    ++m_count;
  }
  finishArchive(writer, output);
}

}  // namespace sorel
