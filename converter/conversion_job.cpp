#include "converter/conversion_job.h"

#include <cerrno>
#include <cstring>

#include "converter/audio_conversion.h"
#include "converter/mlz_writer.h"
#include "converter/movie_copy.h"
#include "converter/mp3_encoder.h"
#include "converter/pac_archive.h"
#include "engine/resources/sjis_text.h"
#include "platform/clock.h"
#include "platform/files.h"

namespace sorel {

namespace {
constexpr const char* kGameExecutable = "Lumenwish.exe";

/// "what: the system's reason" for the failure that just set errno (just "what" without one).
std::string withReason(std::string what, int err) {
  if (err != 0) what += std::string(": ") + std::strerror(err);
  return what;
}
}

StartRefusal checkStart(std::string_view gameFolder, std::string_view encoderVersion) {
  if (gameFolder.empty()) return StartRefusal::NoGameFolder;
  if (encoderVersion.empty()) return StartRefusal::NoEncoder;
  std::string exe(gameFolder);
  if (exe.back() != '\\') exe += '\\';
  exe += kGameExecutable;
  return platform::fileExists(exe) ? StartRefusal::None : StartRefusal::NoGame;
}

StartMessage startMessage(StartRefusal refusal) {
  switch (refusal) {
    case StartRefusal::NoEncoder: return {"<< GOGO.DLL >>が見つかりませんでした。", "ＤＬＬ異常"};
    case StartRefusal::NoGame: return {"『Lumenwish』のフォルダを指定して下さい。", "フォルダ異常"};
    default: return {};
  }
}

std::string encoderLine(std::string_view encoderVersion) { return "GOGO.DLL : " + std::string(encoderVersion); }

std::string probeEncoder() {
  Mp3EncoderModule encoder;
  encoder.load();
  std::string version = encoder.version();
  encoder.unload();
  return version;
}

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
  errno = 0;
  if (writer.close()) {
    ++m_summary.archivesWritten;
    m_summary.bytesWritten += bytes;
  } else {
    m_summary.failures.push_back(withReason(std::string(output) + ": cannot be written", errno));
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
    // The movies go with the pictures: copied as they are into data\jmv\.
    MovieCopyResult movies = copyMovies(m_settings.gameFolder, m_settings.outputFolder + "data\\");
    m_summary.bytesWritten += movies.bytes;
    for (std::string& f : movies.failures) m_summary.failures.push_back(std::move(f));
  }
  if (m_settings.music) {
    const SoundTarget music =
        soundTarget(m_settings.musicBitrateIndex, m_settings.musicRateIndex, m_settings.musicStereo != 0);
    noteBitrate("music, effects and system voices", music);
    soundStep("BGM.pac", "bgm", music);
    soundStep("SE.pac", "se", music);
    soundStep("SystemVoice.pac", "sys", music);
  }
  if (m_settings.voices) {
    // Voices are always mono, whatever the music's stereo setting.
    const SoundTarget voice = soundTarget(m_settings.voiceBitrateIndex, m_settings.voiceRateIndex, false);
    noteBitrate("voices", voice);
    voiceStep(voice);
  }

  m_summary.elapsedMs = platform::tickCount() - started;
  setCurrent("");
  m_done.store(1, std::memory_order_release);
}

bool ConversionJob::openSource(std::string_view source, PacArchive& pac) {
  const std::string path = sourcePath(source);
  if (!platform::fileExists(path)) {
    // An absent archive skips its step; the summary names it.
    m_summary.skipped.push_back(std::string(source));
    return false;
  }
  if (!pac.open(path)) {
    m_summary.failures.push_back(std::string(source) + ": not a readable archive");
    return false;
  }
  m_total += static_cast<int>(pac.memberCount());
  return true;
}

void ConversionJob::copyStep(std::string_view source, std::string_view output, Copy kind) {
  PacArchive pac;
  if (!openSource(source, pac)) return;
  MlzWriter writer;
  errno = 0;
  if (!writer.open(outputPath(output), static_cast<uint32_t>(pac.memberCount()))) {
    m_summary.failures.push_back(withReason(std::string(output) + ": cannot be created", errno));
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
  PacArchive pac;
  if (!openSource(source, pac)) return;
  const std::string output = pictureArchiveName(outputBase, m_settings.sizeFactor);
  MlzWriter writer;
  errno = 0;
  if (!writer.open(outputPath(output), static_cast<uint32_t>(pac.memberCount()))) {
    m_summary.failures.push_back(withReason(output + ": cannot be created", errno));
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

void ConversionJob::noteBitrate(std::string_view group, const SoundTarget& target) {
  if (target.kbps == target.requestedKbps) return;
  m_summary.notes.push_back(std::string(group) + ": " + std::to_string(target.requestedKbps) +
                            " kbit/s does not exist at " + std::to_string(target.format.rate) + " Hz; encoded at " +
                            std::to_string(target.kbps) + " kbit/s");
}

void ConversionJob::soundStep(std::string_view source, std::string_view folder, const SoundTarget& target) {
  PacArchive pac;
  if (!openSource(source, pac)) return;
  const std::string where = "data\\" + std::string(folder);
  for (size_t i = 0; i < pac.memberCount(); ++i) {
    const std::string& name = pac.entry(i).name;
    setCurrent(name);
    const std::string file = replaceExtension(untilNul(name), ".mp3");
    const std::string filePath = outputPath(std::string(folder) + "\\" + file);
    // The name becomes a file name: it must not lead out of the sound folder.
    const bool plain = !lastCharOf(file, '\\') && !lastCharOf(file, '/');
    std::string problem;
    std::vector<uint8_t> mp3;
    if (!plain) problem = "not a plain file name";
    else if (auto bytes = pac.readMember(i)) mp3 = convertSound(*bytes, target, problem);
    else problem = "cannot be unpacked";
    errno = 0;
    if (!mp3.empty() && platform::writeWholeFile(filePath, mp3, false)) {
      ++m_summary.sounds;
      ++m_summary.soundFiles;
      m_summary.bytesWritten += mp3.size();
    } else {
      if (problem.empty()) problem = withReason("cannot be written", errno);
      // No file rather than one from an earlier run: the folder matches this conversion.
      if (plain) platform::removeFile(filePath);
      m_summary.problems.push_back({where, name, problem, false});
    }
    ++m_count;
  }
}

void ConversionJob::voiceStep(const SoundTarget& target) {
  PacArchive pac;
  if (!openSource("Voice.pac", pac)) return;
  const std::string output = "voice.mlz";
  MlzWriter writer;
  errno = 0;
  if (!writer.open(outputPath(output), static_cast<uint32_t>(pac.memberCount()))) {
    m_summary.failures.push_back(withReason(output + ": cannot be created", errno));
    return;
  }
  for (size_t i = 0; i < pac.memberCount(); ++i) {
    const std::string& name = pac.entry(i).name;
    setCurrent(name);
    std::string problem;
    std::vector<uint8_t> mp3;
    if (auto bytes = pac.readMember(i)) mp3 = convertSound(*bytes, target, problem);
    else problem = "cannot be unpacked";
    // Every source member keeps its entry: one that gave no MP3 is an empty member.
    if (mp3.empty()) m_summary.problems.push_back({output, name, problem});
    else ++m_summary.sounds;
    writer.add(replaceExtension(untilNul(name), ".mp3"), mp3, false);
    ++m_count;
  }
  finishArchive(writer, output);
}

}  // namespace sorel
