#include "converter/converter_dialog_logic.h"

#include <cstdio>
#include <filesystem>

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
const std::array<const char*, 2> kScreenSizeList = {"320*240 (handheldplayer)", "640*480 (pocketplayer)"};
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
  if (name.empty()) std::snprintf(line, sizeof line, dialog_text::kProgressPatternIdle, count, total);
  else std::snprintf(line, sizeof line, dialog_text::kProgressPattern, count, total, name.c_str());
  return line;
}

PlayerFor playerFor(int sizeFactor) {
  return sizeFactor >= 100 ? PlayerFor{"pocketplayer", "640 × 480"} : PlayerFor{"handheldplayer", "320 × 240"};
}

namespace {
std::string withoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

/// The same folder, whatever the spelling ("a/./b/", a link to it).
bool sameFolder(const std::string& a, const std::string& b) {
  namespace fs = std::filesystem;
  auto canonical = [](const std::string& p) {
    std::error_code ec;
    fs::path c = fs::weakly_canonical(fs::path(p), ec);
    return withoutTrailingSlashes((ec ? fs::path(p).lexically_normal() : c).string());
  };
  return canonical(a) == canonical(b);
}

/// A word for a POSIX shell: as it is when it has no special character, else in single quotes.
std::string shellWord(const std::string& word) {
  const bool plain = !word.empty() && word.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                                             "0123456789_./-+,:@%=") == std::string::npos;
  if (plain) return word;
  std::string quoted = "'";
  for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}
}  // namespace

std::string playerCommand(int sizeFactor, std::string_view outputFolderHost) {
  const std::string program = playerFor(sizeFactor).program;
  const std::string folder = withoutTrailingSlashes(std::string(outputFolderHost));
  if (sameFolder(folder, platform::userDataFolder())) return program;
  return program + " --root " + shellWord(folder);
}

JobOutcome outcomeOf(const ConversionSummary& summary) {
  if (summary.cancelled) return JobOutcome::Cancelled;
  if (!summary.failures.empty()) return JobOutcome::Failed;
  if (!summary.problems.empty()) return JobOutcome::DoneWithProblems;
  return JobOutcome::Done;
}

FinishMessage finishMessage(const ConversionSummary& summary, int count, int total, int sizeFactor,
                            std::string_view outputFolderHost) {
  namespace t = dialog_text;
  FinishMessage m;
  m.outcome = outcomeOf(summary);
  const std::string root = withoutTrailingSlashes(std::string(outputFolderHost));
  const std::string data = root == "/" ? "/data" : root + "/data";
  std::string& text = m.text;
  switch (m.outcome) {
    case JobOutcome::Done:
      m.caption = t::kFinishedCaption;
      text = "変換が終了しました。\n";
      break;
    case JobOutcome::DoneWithProblems:
      m.caption = t::kProblemsCaption;
      text = "変換が終了しましたが、変換できなかったデータがあります。\n";
      break;
    case JobOutcome::Failed:
      m.caption = t::kProblemsCaption;
      text = "変換に失敗しました。データは不完全です。\n";
      break;
    case JobOutcome::Cancelled:
      m.caption = t::kCancelledCaption;
      text = "変換を中止しました。中断したアーカイブは書き込まれていません。\n";
      break;
  }
  const bool whole = m.outcome == JobOutcome::Done || m.outcome == JobOutcome::DoneWithProblems;
  text += "\n変換データ数：" + std::to_string(whole ? summary.members : count);
  if (!whole) text += " / " + std::to_string(total);
  text += "\n";
  if (summary.movieFiles > 0) text += "動画ファイル：" + std::to_string(summary.movieFiles) + "\n";
  text += "出力先：" + data + "\n";
  if (whole) {
    const PlayerFor player = playerFor(sizeFactor);
    text += "\n" + std::string(player.program) + " 用のデータです（" + player.size + "）。遊ぶには：\n" +
            playerCommand(sizeFactor, root) + "\n";
  }
  if (const std::string problems = problemsMessage(summary); !problems.empty()) text += "\n" + problems;
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return m;
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
    m_quarters = 0;
    return p.source + ": " + std::to_string(p.members) + (p.members == 1 ? " member" : " members");
  }
  // The step's end needs no line: the next step's line or the final count follows at once.
  if (p.members < kLongStep || p.done >= p.members) return std::nullopt;
  const int quarters = static_cast<int>(int64_t(p.done) * 4 / p.members);
  if (quarters <= m_quarters) return std::nullopt;
  m_quarters = quarters;
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
  const std::string output = platform::hostPath(m_outputFolder);
  m_outputProblem = output.empty() ? "no output folder" : checkOutputFolder(output);
  if (!m_outputProblem.empty()) return StartRefusal::NoOutput;
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
    t.finish = finishMessage(*t.summary, m_job->count(), m_job->total(), m_job->settings().sizeFactor,
                             platform::hostPath(m_job->settings().outputFolder));
    m_job.reset();
    t.finished = true;
    return t;
  }
  // Nothing until the job has counted its total: the line's second number never changes.
  if (m_job->totalKnown()) t.progress = progressLine(m_job->count(), m_job->total(), m_job->currentName());
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
