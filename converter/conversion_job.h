#pragma once
// One conversion run: reads the game's .pac archives and writes the engine's data folder, step
// by step in a fixed order, on a worker thread. Another thread may watch the progress fields
// (count, total, current name) at any time; the done flag is written last.
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "converter/audio_conversion.h"
#include "converter/pac_archive.h"
#include "converter/picture_rules.h"
#include "converter/update_list.h"
#include "engine/resources/worker_thread.h"

namespace sorel {

/// What the job is asked to do; copied from the dialog or the command line.
struct ConversionSettings {
  std::string gameFolder;    ///< system path (CP932, '\'); a trailing '\' is optional
  std::string outputFolder;  ///< system path; the data folder is created below it
  int musicBitrateIndex = 3;
  int voiceBitrateIndex = 3;
  int musicRateIndex = 0;
  int voiceRateIndex = 0;
  int musicStereo = 1;
  int voiceStereo = 0;       ///< voices are always mono
  int sizeFactor = 50;       ///< 50 for 320 × 240, 100 for 640 × 480
  int qualityIndex = 0;      ///< 0 raw, 1 JPEG 100, 2 JPEG 90, 3 JPEG 80
  bool pictures = true;      ///< pictures, scenario and tables
  bool music = true;         ///< music, sound effects and system voices
  bool voices = true;        ///< character voices
  int jobs = 0;              ///< members converted at the same time; 0: one per processor core
  /// Largest .mlz archive written (the format's sizes are 32 bits); tests lower it.
  uint64_t archiveSizeLimit = 0xFFFFFFFFu;
};

/// The number of members a job converts at the same time for a jobs setting (0: the cores).
int effectiveJobs(int jobs);

/// A member that could not be converted: an archive member written empty, or a sound file not
/// written at all.
struct MemberProblem {
  std::string archive;  ///< output archive name, or the sound folder ("data\bgm")
  std::string member;   ///< source member name (CP932)
  std::string reason;   ///< what went wrong, with the system's reason for a failed write
  bool fileWritten = true;  ///< false: a sound file that was not written (nor left from before)
};

struct ConversionSummary {
  int members = 0;                      ///< members converted and written (empty ones included)
  int archivesWritten = 0;
  uint64_t bytesWritten = 0;
  int pictures = 0;                     ///< picture members converted (not counting empty ones)
  int sounds = 0;                       ///< sound members encoded to MP3
  int soundFiles = 0;                   ///< loose MP3 files written (music, effects, system voices)
  int movieFiles = 0;                   ///< movie files (.jmv and .mp3) copied into data\jmv
  std::vector<MemberProblem> problems;  ///< members written empty
  std::vector<std::string> failures;    ///< archives that could not be read or written
  std::vector<std::string> notes;       ///< settings the job had to adapt (a bitrate MPEG lacks)
  std::vector<std::string> skipped;     ///< source archives absent from the game folder
  uint32_t elapsedMs = 0;
  bool cancelled = false;               ///< stopped by cancel(): the interrupted archive was not written
  /// Processor time of all the job's threads, and of its longest chain: the job's own thread
  /// plus, per step, its busiest worker. Their ratio is the speed-up the threads allow when
  /// every one of them has a core of its own, whatever else the machine runs (microseconds).
  uint64_t cpuUs = 0;
  uint64_t spanUs = 0;
};

/// Where a job stands within one archive step, reported to a listener on the job's thread.
struct StepProgress {
  std::string source;  ///< the source archive, "BG.pac"
  int done = 0;        ///< members of the step written so far (0 when the step begins)
  int members = 0;     ///< members of the step
};
using ProgressListener = std::function<void(const StepProgress&)>;

/// Why Start does not create a job, in the order Start checks.
enum class StartRefusal {
  None,
  NoGameFolder,  ///< no game folder chosen: Start does nothing
  NoEncoder,     ///< the MP3 encoder did not answer the probe, whatever the content groups
  NoGame,        ///< no Lumenwish.exe in the game folder
  NoOutput,      ///< the output folder cannot take the data folder (checkOutputFolder)
};

/// Start's checks on the game folder (a system path, trailing '\' optional) and the encoder
/// probe's version text.
StartRefusal checkStart(std::string_view gameFolder, std::string_view encoderVersion);

/// The warning box Start shows for a refusal: its text and caption (UTF-8); null texts for None
/// and NoGameFolder, which show nothing.
struct StartMessage {
  const char* text = nullptr;
  const char* caption = nullptr;
};
StartMessage startMessage(StartRefusal refusal);

/// Creates the output folder (a host path) and the data folders below it as the job will, and
/// proves each takes a new file. Empty when all is well; otherwise one line naming the folder and
/// the system's reason.
std::string checkOutputFolder(const std::string& outputFolderHost);

/// The encoder line of the dialog, "GOGO.DLL : %s" with the probe's version text.
std::string encoderLine(std::string_view encoderVersion);

/// Probes the MP3 encoder as the dialog does at start-up: bind, ask its version, release.
/// Empty when it is not available.
std::string probeEncoder();

class ConversionJob : public WorkerThread {
 public:
  explicit ConversionJob(ConversionSettings settings);
  ~ConversionJob() override;

  /// The whole job on the calling thread (the worker's body). Runs at most once. The members of
  /// each step are converted on settings().jobs threads; the archives and files are the same
  /// bytes whatever that number.
  void runJob();
  /// Asks a running job to stop: members being converted are finished, no further member is
  /// started, the archive of the interrupted step is dropped (an earlier one of that name stays),
  /// and the job ends with its done flag set. Safe from any thread.
  void cancel() { m_cancel.store(true); }
  bool cancelled() const { return m_cancel.load(); }
  /// Called at the start of every step that opened its archive and after every member written,
  /// on the job's thread. Set before the job starts.
  void setListener(ProgressListener listener) { m_listener = std::move(listener); }

  /// Progress, safe to read from any thread while the job runs. The total of every step the job
  /// will run is known before the first member, so it does not grow during the job; a step that
  /// cannot write its output passes its members, so a finished job's count is its total unless
  /// it was cancelled.
  int count() const { return m_count.load(std::memory_order_relaxed); }
  int total() const { return m_total.load(std::memory_order_relaxed); }
  /// True once the quick pass has counted the total (before the first member).
  bool totalKnown() const { return m_totalKnown.load(std::memory_order_acquire); }
  std::string currentName() const;
  bool done() const { return m_done.load(std::memory_order_acquire) != 0; }

  /// Valid once done() is true.
  const ConversionSummary& summary() const { return m_summary; }
  const ConversionSettings& settings() const { return m_settings; }

  /// Output archive name of a picture archive at a size factor: "bg.mlz" or "bg_vga.mlz".
  static std::string pictureArchiveName(std::string_view base, int sizeFactor);

 protected:
  int run() override;

 private:
  enum class Copy { Script, Table };
  void copyStep(std::string_view source, std::string_view output, Copy kind);
  void pictureStep(std::string_view source, std::string_view outputBase, PictureArchive kind);
  void soundStep(std::string_view source, std::string_view folder, const SoundTarget& target);
  void voiceStep(const SoundTarget& target);
  void noteBitrate(std::string_view group, const SoundTarget& target);
  std::string sourcePath(std::string_view name) const;
  /// The source archives of the steps the content groups select, in the order they run.
  std::vector<std::string_view> selectedSources() const;
  /// The quick pass before the first member: the member counts of every selected archive read
  /// from their directories, making the total.
  void planTotal();
  /// Opens "<game>\<source>" for a step; false when the step is skipped (archive absent) or
  /// failed (recorded in the summary, its planned members passed).
  bool openSource(std::string_view source, PacArchive& pac);
  /// A step that stopped before its members (its output cannot be created): its members count
  /// as passed, so the count still reaches the total.
  void passMembers(std::string_view source);
  std::string outputPath(std::string_view name) const;
  void setCurrent(std::string_view name);
  /// Creates an output archive for a step; false (recorded in the summary, the step's members
  /// passed) when it cannot be.
  bool openArchive(class MlzWriter& writer, std::string_view source, std::string_view output, size_t members);
  /// Adds a member to a step's archive; false (recorded in the summary) when it cannot be
  /// written, which ends the step.
  bool addMember(class MlzWriter& writer, std::string_view output, std::string_view name,
                 const struct PackedMember& member);
  void finishArchive(class MlzWriter& writer, std::string_view output);
  /// Converts members 0..count-1 of a step with produce (on the job's threads) and hands each
  /// result to consume in member order on this thread, counting it. False when cancelled or
  /// when consume refused a result (the step failed).
  template <class Result>
  bool forEachMember(std::string_view source, size_t count, const std::function<Result(size_t)>& produce,
                     const std::function<bool(size_t, Result&)>& consume);

  ConversionSettings m_settings;
  std::atomic<int> m_count{0};
  std::atomic<int> m_total{0};
  std::atomic<int> m_done{0};
  std::atomic<bool> m_totalKnown{false};
  std::atomic<bool> m_cancel{false};
  ProgressListener m_listener;
  mutable std::mutex m_nameMutex;
  std::string m_currentName;

  std::vector<std::pair<std::string, int>> m_planned;  ///< members per source, from planTotal
  UpdateList m_updates;
  std::vector<uint8_t> m_standInfo;
  std::vector<uint8_t> m_visualInfo;
  PictureTables m_tables;
  ConversionSummary m_summary;
};

}  // namespace sorel
