#pragma once
// The converter dialog without its window: the settings and their defaults, the list contents,
// the game folder from the registry, Start's checks, and the life of the one job (created by
// Start, watched by a 100 ms timer, destroyed after its worker has ended, cancelled when the
// dialog closes). The window (converter_window.cpp) only shows this object and forwards clicks;
// tests drive it directly.
#include <array>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "converter/conversion_job.h"

namespace sorel {

/// Texts of the dialog (UTF-8: they are shown through the window toolkit only).
namespace dialog_text {
constexpr const char* kCaption = "Lumenwish コンバータ[ver.1.20]";
constexpr const char* kBrowseTitle = "フォルダを選択して下さい。";
constexpr const char* kBrowseButton = "参照(&F)";
/// The output folder's row: its label, its own browse button and the browser's title.
constexpr const char* kGameFolderLabel = "ゲーム";
constexpr const char* kOutputFolderLabel = "出力先";
constexpr const char* kOutputBrowseButton = "参照(&O)";
constexpr const char* kOutputBrowseTitle = "出力先のフォルダを選択して下さい。";
/// Stops a running job between members; sensitive only while one runs.
constexpr const char* kCancelButton = "中止(&C)";
constexpr const char* kStartButton = "開始(&S)";
constexpr const char* kMusicGroup = "ＢＧＭ＆ＳＥ設定";
constexpr const char* kVoiceGroup = "音声設定（モノラル）";
constexpr const char* kScreenGroup = "画面サイズ";
constexpr const char* kBitLabel = "BIT";
constexpr const char* kRateLabel = "RATE";
constexpr const char* kStereoLabel = "ｽﾃﾚｵ";
constexpr const char* kQualityLabel = "画質";
constexpr const char* kPicturesCheck = "画像＆シナリオ";
constexpr const char* kMusicCheck = "ＢＧＭ＆効果音";
constexpr const char* kVoicesCheck = "音声";
constexpr const char* kProgressPattern = "変換データ数：%d / %d (%s)";
/// The progress line without a member being converted (before the first, after the last).
constexpr const char* kProgressPatternIdle = "変換データ数：%d / %d";
/// Captions of the box a finished job shows: all written; members written empty or archives
/// not written; stopped by 中止.
constexpr const char* kFinishedCaption = "変換終了";
constexpr const char* kProblemsCaption = "変換異常";
constexpr const char* kCancelledCaption = "変換中止";
}  // namespace dialog_text

/// The six lists, in the order of the dialog's initialisation data; a stored index is a position.
/// Each screen size names the player that shows it.
extern const std::array<const char*, 13> kMusicBitrateList;
extern const std::array<const char*, 13> kVoiceBitrateList;
extern const std::array<const char*, 2> kRateList;
extern const std::array<const char*, 2> kScreenSizeList;
extern const std::array<const char*, 4> kQualityList;

/// The registry's game folder rule. The value normally names the game's program file and is cut
/// at its last backslash (Shift-JIS aware); an installer that wrote the folder itself is
/// recognised by "<value>\Lumenwish.exe" existing, and then the value is used as it is.
std::string gameFolderFromValue(std::string_view value);
/// DIRECTORY under Software\ORBA\Lumenwish of the current user, through gameFolderFromValue;
/// empty when the key or value is absent.
std::string registryGameFolder();
/// The folder as box 1000 shows it: one trailing backslash removed.
std::string folderForDisplay(std::string_view folder);

/// "変換データ数：count / total (name)", the name converted from CP932 for display; without the
/// brackets when no member is being converted.
std::string progressLine(int count, int total, std::string_view currentNameCp932);

/// The player that shows a data set of a size factor, and its screen size.
struct PlayerFor {
  const char* program;  ///< "handheldplayer" (size factor 50) or "pocketplayer" (100)
  const char* size;     ///< "320 × 240" or "640 × 480"
};
PlayerFor playerFor(int sizeFactor);
/// How to start that player on an output folder (host path): the bare program when the folder is
/// the per-user data folder (the players look there), else with --root and the folder.
std::string playerCommand(int sizeFactor, std::string_view outputFolderHost);

/// How a job ended, as its finish box tells it.
enum class JobOutcome {
  Done,              ///< every member written
  DoneWithProblems,  ///< finished, some members written empty or sound files not written
  Failed,            ///< an archive could not be read or written: the data folder is incomplete
  Cancelled,         ///< stopped by 中止 or by closing the dialog
};
JobOutcome outcomeOf(const ConversionSummary& summary);

/// The box a finished job shows (UTF-8).
struct FinishMessage {
  JobOutcome outcome = JobOutcome::Done;
  std::string caption;
  std::string text;
};
/// What the finished job did: the outcome, the members converted (and found, when cancelled),
/// the data folder it wrote, and which player to start how.
FinishMessage finishMessage(const ConversionSummary& summary, int count, int total, int sizeFactor,
                            std::string_view outputFolderHost);

/// The lines listing members written empty ("archive: member: reason", UTF-8), one per member.
std::vector<std::string> problemLines(const ConversionSummary& summary);
/// The text of the box a finished job with problems shows; empty when there were none.
std::string problemsMessage(const ConversionSummary& summary);

/// Progress for a log (standard output that is not a terminal): a line when a step begins and,
/// for a long step (kLongStep members or more), one at each of its first three quarters.
class ProgressLog {
 public:
  /// The line for this report, or none when it adds nothing.
  std::optional<std::string> line(const StepProgress& p);
  static constexpr int kLongStep = 100;

 private:
  std::string m_source;
  int m_quarters = 0;
};

class ConverterDialog {
 public:
  ConverterDialog() = default;
  /// Closes: a running job is cancelled and its worker waited for.
  ~ConverterDialog();
  ConverterDialog(const ConverterDialog&) = delete;
  ConverterDialog& operator=(const ConverterDialog&) = delete;

  /// Start-up: the defaults, the output folder (a system path; the window passes --out or the
  /// current directory), the game folder from the registry, and the encoder probe's version text.
  void initialise(std::string_view outputFolder, std::string_view gameFolder, std::string_view encoderVersion);

  // Settings, as the controls change them.
  int musicBitrateIndex = 3;
  int musicRateIndex = 0;
  int voiceBitrateIndex = 3;
  int voiceRateIndex = 0;
  int musicStereo = 1;
  int screenSizeIndex = 0;
  int qualityIndex = 0;
  int jobs = 0;  ///< members converted at once; 0: one per core

  const std::string& gameFolder() const { return m_gameFolder; }
  const std::string& outputFolder() const { return m_outputFolder; }
  bool encoderAvailable() const { return m_encoderAvailable; }
  /// "GOGO.DLL : <version>".
  const std::string& encoderText() const { return m_encoderText; }
  /// The folder browser's choice (a system path).
  void setGameFolder(std::string_view folder) { m_gameFolder.assign(folder.substr(0, 1023)); }
  /// Box 1000's text.
  std::string gameFolderText() const { return folderForDisplay(m_gameFolder); }
  /// The output folder as its field or its browser sets it (a system path).
  void setOutputFolder(std::string_view folder) { m_outputFolder.assign(folder.substr(0, 1023)); }
  /// Why Start refused the output folder (with StartRefusal::NoOutput): the folder and the
  /// system's reason.
  const std::string& outputProblem() const { return m_outputProblem; }
  /// Each click on the stereo box toggles the flag.
  void toggleStereo() { musicStereo = musicStereo ? 0 : 1; }

  /// Start with the three content boxes' states. Creates and starts the job unless a check
  /// refuses; a refusal's warning box is in startMessage(result). The output folder is created
  /// when missing; one that cannot take the data folder is refused (NoOutput). Nothing happens
  /// while a job exists (Start is disabled then).
  StartRefusal start(bool pictures, bool music, bool voices);
  /// True while a job exists: Start is disabled.
  bool running() const { return m_job != nullptr; }
  /// 中止: the running job stops between members; the timer then reports it cancelled.
  void cancel() {
    if (m_job) m_job->cancel();
  }

  /// What one timer tick shows.
  struct Tick {
    std::string progress;  ///< the progress line (empty once the job has finished)
    bool finished = false; ///< the job ended in this tick: Start is enabled again
    std::optional<ConversionSummary> summary;  ///< the finished job's summary
    std::optional<FinishMessage> finish;       ///< the finished job's box
  };
  /// The 100 ms timer: the progress line while the job runs; when its done flag is set, waits
  /// for the worker, destroys the job and reports it finished.
  Tick tick();

  /// Closing the dialog: a running job is cancelled between members and its worker waited for.
  /// Returns the summary of a job that was still running.
  std::optional<ConversionSummary> close();

  /// The settings a job gets from the current state and content boxes.
  ConversionSettings jobSettings(bool pictures, bool music, bool voices) const;

 private:
  std::string m_gameFolder;
  std::string m_outputFolder;
  bool m_encoderAvailable = false;
  std::string m_encoderText;
  std::string m_outputProblem;
  std::unique_ptr<ConversionJob> m_job;
};

}  // namespace sorel
