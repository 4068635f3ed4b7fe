#include "converter/converter_dialog_logic.h"

#include <cstdio>

#include "engine/resources/sjis_text.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "platform/text.h"

namespace sorel {

const std::array<const char*, 13> kMusicBitrateList = {
    "16/8kbit",  "32/16kbit",  "48/24kbit",   "64/32kbit",   "80/40kbit",   "96/48kbit",  "112/56kbit",
    "128/64kbit", "160/80kbit", "192/96kbit", "224/112kbit", "256/128kbit", "320/160kbit"};
const std::array<const char*, 13> kVoiceBitrateList = {"8kbit",  "16kbit", "24kbit",  "32kbit",  "40kbit",
                                                       "48kbit", "56kbit", "64kbit",  "80kbit",  "96kbit",
                                                       "112kbit", "128kbit", "160kbit"};
const std::array<const char*, 2> kRateList = {"22.05kHz", "44.10kHz"};
const std::array<const char*, 2> kScreenSizeList = {"320*240", "640*480"};
const std::array<const char*, 4> kQualityList = {"最高画質", "高画質(100)", "標準(90)", "低画質(80)"};

namespace {
constexpr const char* kRegistryKey = "Software\\ORBA\\Lumenwish";
constexpr const char* kRegistryValue = "DIRECTORY";
constexpr const char* kGameExecutable = "Lumenwish.exe";
}  // namespace

std::string gameFolderFromValue(std::string_view value) {
  std::string folder(untilNul(value));
  if (folder.empty()) return folder;
  if (platform::fileExists(withBackslash(folder) + kGameExecutable)) return folder;
  if (auto cut = lastCharOf(folder, '\\')) folder.resize(*cut);
  return folder;
}

std::string registryGameFolder() {
  auto value = platform::registryGetString(kRegistryKey, kRegistryValue);
  return value ? gameFolderFromValue(*value) : std::string();
}

std::string folderForDisplay(std::string_view folder) {
  std::string shown(folder);
  // Only a backslash that is a character of its own, not the trail byte of a double-byte one.
  if (auto last = lastCharOf(shown, '\\'); last && *last + 1 == shown.size()) shown.pop_back();
  return shown;
}

std::string progressLine(int count, int total, std::string_view currentNameCp932) {
  const std::string name = platform::cp932ToUtf8Lossy(currentNameCp932);
  char line[512];
  std::snprintf(line, sizeof line, dialog_text::kProgressPattern, count, total, name.c_str());
  return line;
}

std::vector<std::string> problemLines(const ConversionSummary& summary) {
  std::vector<std::string> lines;
  for (const MemberProblem& p : summary.problems)
    lines.push_back(platform::cp932ToUtf8Lossy(p.archive) + ": " + platform::cp932ToUtf8Lossy(p.member) + ": " +
                    p.reason);
  for (const std::string& f : summary.failures) lines.push_back(platform::cp932ToUtf8Lossy(f));
  return lines;
}

std::string problemsMessage(const ConversionSummary& summary) {
  if (summary.problems.empty() && summary.failures.empty()) return {};
  std::string text;
  if (!summary.problems.empty())
    text += std::to_string(summary.problems.size()) + " 件のデータを変換できませんでした（空のデータとして書き込みました）。\n";
  if (!summary.failures.empty())
    text += std::to_string(summary.failures.size()) + " 件のアーカイブを書き込めませんでした。\n";
  // A box is no log: a long list is cut, the rest counted.
  constexpr size_t kShown = 20;
  std::vector<std::string> lines = problemLines(summary);
  for (size_t i = 0; i < lines.size() && i < kShown; ++i) text += "\n" + lines[i];
  if (lines.size() > kShown) text += "\n… (" + std::to_string(lines.size() - kShown) + ")";
  return text;
}

std::optional<std::string> ProgressLog::line(const StepProgress& p) {
  if (p.done == 0 || p.source != m_source) {
    m_source = p.source;
    m_tenths = 0;
    return p.source + ": " + std::to_string(p.members) + (p.members == 1 ? " member" : " members");
  }
  const int tenths = p.members > 0 ? static_cast<int>(int64_t(p.done) * 10 / p.members) : 10;
  if (tenths <= m_tenths) return std::nullopt;
  m_tenths = tenths;
  return p.source + ": " + std::to_string(p.done) + " / " + std::to_string(p.members) + " (" +
         std::to_string(static_cast<int64_t>(p.done) * 100 / p.members) + " %)";
}

ConverterDialog::~ConverterDialog() { close(); }

void ConverterDialog::initialise(std::string_view outputFolder, std::string_view gameFolder,
                                 std::string_view encoderVersion) {
  m_outputFolder.assign(outputFolder.substr(0, 1023));
  musicBitrateIndex = 3;
  musicRateIndex = 0;
  voiceBitrateIndex = 3;
  voiceRateIndex = 0;
  musicStereo = 1;
  screenSizeIndex = 0;
  qualityIndex = 0;
  setGameFolder(gameFolder);
  m_encoderText = encoderLine(encoderVersion);
  m_encoderAvailable = !encoderVersion.empty();
}

ConversionSettings ConverterDialog::jobSettings(bool pictures, bool music, bool voices) const {
  ConversionSettings s;
  s.gameFolder = m_gameFolder;
  s.outputFolder = m_outputFolder;
  s.musicBitrateIndex = musicBitrateIndex;
  s.voiceBitrateIndex = voiceBitrateIndex;
  s.musicRateIndex = musicRateIndex;
  s.voiceRateIndex = voiceRateIndex;
  s.musicStereo = musicStereo;
  s.voiceStereo = 0;
  s.sizeFactor = screenSizeIndex == 0 ? 50 : 100;
  s.qualityIndex = qualityIndex;
  s.pictures = pictures;
  s.music = music;
  s.voices = voices;
  s.jobs = jobs;
  return s;
}

StartRefusal ConverterDialog::start(bool pictures, bool music, bool voices) {
  if (m_job) return StartRefusal::None;
  const StartRefusal refusal = checkStart(m_gameFolder, m_encoderAvailable ? "available" : "");
  if (refusal != StartRefusal::None) return refusal;
  m_job = std::make_unique<ConversionJob>(jobSettings(pictures, music, voices));
  if (!m_job->start()) {
    // No thread: the job runs here rather than not at all.
    m_job->runJob();
  }
  return StartRefusal::None;
}

ConverterDialog::Tick ConverterDialog::tick() {
  Tick t;
  if (!m_job) return t;
  if (m_job->done()) {
    m_job->wait();
    t.summary = m_job->summary();
    m_job.reset();
    t.finished = true;
    return t;
  }
  t.progress = progressLine(m_job->count(), m_job->total(), m_job->currentName());
  return t;
}

std::optional<ConversionSummary> ConverterDialog::close() {
  if (!m_job) return std::nullopt;
  m_job->cancel();
  m_job->wait();
  std::optional<ConversionSummary> summary = m_job->summary();
  m_job.reset();
  return summary;
}

}  // namespace sorel
