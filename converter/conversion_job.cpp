#include "converter/conversion_job.h"

#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <new>

#include <condition_variable>
#include <optional>
#include <thread>

#include <algorithm>
#include <chrono>

#include "converter/audio_conversion.h"
#include "converter/mlz_writer.h"
#include "converter/movie_copy.h"
#include "converter/mp3_encoder.h"
#include "converter/pac_archive.h"
#include "engine/resources/sjis_text.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/text.h"

namespace sorel {

namespace {
constexpr const char* kGameExecutable = "Lumenwish.exe";

/// "what: the system's reason" for the failure that just set errno (just "what" without one).
std::string withReason(std::string what, int err) {
  if (err != 0) what += std::string(": ") + std::strerror(err);
  return what;
}

/// Removes the temporaries ("<name>.part") of the files a conversion writes that a run killed
/// while writing left in the data folders. Every run writes its files anew, so none of them is
/// of use, and a run with other settings would never write them over.
void removeStaleTemporaries(const std::string& data) {
  constexpr std::string_view kTemporary = ".part";
  for (const char* sub : {"", "\\bgm", "\\se", "\\sys", "\\jmv"}) {
    const std::string folder = data + sub;
    for (const std::string& name : platform::listFolder(folder)) {
      if (name.size() <= kTemporary.size() || !std::string_view(name).ends_with(kTemporary)) continue;
      const std::string_view ext = extensionOf(std::string_view(name).substr(0, name.size() - kTemporary.size()));
      if (sameName(ext, ".mlz") || sameName(ext, ".mp3") || sameName(ext, ".jmv"))
        platform::removeFile(folder + "\\" + name);
    }
  }
}

constexpr const char* kNoMemory = "not enough memory to convert it";

/// The member's result made by make, or fail()'s when an allocation failed: memory running out
/// fails that member, never the job.
template <class Make, class Fail>
auto orNoMemory(Make make, Fail fail) -> decltype(make()) {
  try {
    return make();
  } catch (const std::bad_alloc&) {
    return fail();
  }
}

std::string unpackProblem(PacError err) { return std::string("cannot be unpacked: ") + pacErrorText(err); }

/// Processor time of the calling thread in microseconds.
uint64_t threadCpuUs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return uint64_t(t.tv_sec) * 1000000u + uint64_t(t.tv_nsec) / 1000u;
}
}

StartRefusal checkStart(std::string_view gameFolder, std::string_view encoderVersion) {
  if (gameFolder.empty()) return StartRefusal::NoGameFolder;
  if (encoderVersion.empty()) return StartRefusal::NoEncoder;
  const std::string exe = withBackslash(gameFolder) + kGameExecutable;
  return platform::fileExists(exe) ? StartRefusal::None : StartRefusal::NoGame;
}

StartMessage startMessage(StartRefusal refusal) {
  switch (refusal) {
    case StartRefusal::NoEncoder: return {"<< GOGO.DLL >>が見つかりませんでした。", "ＤＬＬ異常"};
    case StartRefusal::NoGame: return {"『Lumenwish』のフォルダを指定して下さい。", "フォルダ異常"};
    case StartRefusal::NoOutput: return {"出力先のフォルダに書き込めません。", "フォルダ異常"};
    default: return {};
  }
}

std::string checkOutputFolder(const std::string& outputFolderHost) {
  namespace fs = std::filesystem;
  const fs::path out(outputFolderHost);
  for (const fs::path& folder : {out, out / "data", out / "data" / "bgm", out / "data" / "se", out / "data" / "sys"}) {
    std::error_code ec;
    if (fs::exists(folder, ec) && !fs::is_directory(folder, ec))
      return "cannot write into " + folder.string() + ": it is a file, not a folder";
    if (!fs::is_directory(folder, ec)) {
      fs::create_directories(folder, ec);
      if (ec) return "cannot create the folder " + folder.string() + ": " + ec.message();
    }
    const fs::path probe = folder / (".convSorel-write-test-" + std::to_string(::getpid()));
    int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return "cannot write into " + folder.string() + ": " + std::strerror(errno);
    ::close(fd);
    ::unlink(probe.c_str());
  }
  return {};
}

std::string encoderLine(std::string_view encoderVersion) { return "GOGO.DLL : " + std::string(encoderVersion); }

int effectiveJobs(int jobs) {
  if (jobs > 0) return std::min(jobs, 64);
  return static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 64u));
}

std::string probeEncoder() {
  Mp3EncoderModule encoder;
  encoder.load();
  std::string version = encoder.version();
  encoder.unload();
  return version;
}

ConversionJob::ConversionJob(ConversionSettings settings) : m_settings(std::move(settings)) {
  for (std::string* folder : {&m_settings.gameFolder, &m_settings.outputFolder}) *folder = withBackslash(*folder);
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

bool ConversionJob::openArchive(MlzWriter& writer, std::string_view source, std::string_view output,
                                size_t members) {
  errno = 0;
  if (writer.open(outputPath(output), static_cast<uint32_t>(members))) {
    writer.setSizeLimit(m_settings.archiveSizeLimit);
    return true;
  }
  m_summary.failures.push_back(withReason(std::string(output) + ": cannot be created", errno));
  passMembers(source);
  return false;
}

bool ConversionJob::addMember(MlzWriter& writer, std::string_view output, std::string_view name,
                              const PackedMember& member) {
  errno = 0;
  if (writer.add(name, member)) return true;
  // The step ends here and its archive is dropped: an archive without all its members would
  // hand the engine empty entries.
  const int err = errno;
  const uint64_t limit = std::min(m_settings.archiveSizeLimit, MlzWriter::kMaxArchiveBytes);
  const std::string most = limit == MlzWriter::kMaxArchiveBytes ? "4 GiB" : std::to_string(limit) + " bytes";
  m_summary.failures.push_back(writer.full()
                                   ? std::string(output) + ": cannot be written: it would pass the " + most +
                                         " an archive can hold"
                                   : withReason(std::string(output) + ": cannot be written", err));
  return false;
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
  const uint64_t cpuStarted = threadCpuUs();
  m_count = 0;
  m_total = 0;

  const std::string data = m_settings.outputFolder + "data";
  for (const char* sub : {"", "\\bgm", "\\se", "\\sys"}) platform::createFolder(data + sub);
  removeStaleTemporaries(data);
  planTotal();

  // Step 1: the update list, whatever the content groups. An update that cannot be read leaves
  // the game's own member in place: the conversion says so.
  std::vector<UpdateProblem> updateProblems;
  m_updates.build(m_settings.gameFolder, &updateProblems);
  if (m_settings.pictures)
    for (const UpdateProblem& p : updateProblems)
      m_summary.failures.push_back("Update.pac: " + (p.member.empty() ? std::string() : p.member + ": ") + p.reason +
                                   "; Script.mlz keeps the game's own " + (p.member.empty() ? "members" : "member"));

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
    // The movies go with the pictures: copied as they are into data\jmv\, unless the job was
    // cancelled (a cancelled job starts nothing new).
    if (!m_cancel.load()) {
      MovieCopyResult movies =
          copyMovies(m_settings.gameFolder, m_settings.outputFolder + "data\\", [this] { return m_cancel.load(); });
      m_summary.movieFiles += movies.files;
      m_summary.bytesWritten += movies.bytes;
      for (std::string& f : movies.failures) m_summary.failures.push_back(std::move(f));
    }
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

  m_summary.cancelled = m_cancel.load();
  const uint64_t own = threadCpuUs() - cpuStarted;
  m_summary.cpuUs += own;
  m_summary.spanUs += own;
  m_summary.elapsedMs = platform::tickCount() - started;
  setCurrent("");
  m_done.store(1, std::memory_order_release);
}

std::vector<std::string_view> ConversionJob::selectedSources() const {
  std::vector<std::string_view> sources;
  if (m_settings.pictures)
    for (std::string_view s : {"Script.pac", "Table.pac", "BG.pac", "Stand.pac", "Visual.pac", "Face.pac",
                               "Thumbnail.pac", "System.pac"})
      sources.push_back(s);
  if (m_settings.music)
    for (std::string_view s : {"BGM.pac", "SE.pac", "SystemVoice.pac"}) sources.push_back(s);
  if (m_settings.voices) sources.push_back("Voice.pac");
  return sources;
}

void ConversionJob::planTotal() {
  m_planned.clear();
  int total = 0;
  for (std::string_view source : selectedSources()) {
    PacArchive pac;
    const std::string path = sourcePath(source);
    if (!platform::fileExists(path) || !pac.open(path)) continue;
    m_planned.emplace_back(std::string(source), static_cast<int>(pac.memberCount()));
    total += static_cast<int>(pac.memberCount());
  }
  m_total = total;
  m_totalKnown.store(true, std::memory_order_release);
}

namespace {
int plannedMembers(const std::vector<std::pair<std::string, int>>& planned, std::string_view source) {
  for (const auto& [name, members] : planned)
    if (name == source) return members;
  return 0;
}
}  // namespace

void ConversionJob::passMembers(std::string_view source) { m_count += plannedMembers(m_planned, source); }

bool ConversionJob::openSource(std::string_view source, PacArchive& pac) {
  if (m_cancel.load()) return false;
  const std::string path = sourcePath(source);
  if (!platform::fileExists(path)) {
    // An absent archive skips its step; the summary names it.
    m_summary.skipped.push_back(std::string(source));
    return false;
  }
  if (!pac.open(path)) {
    m_summary.failures.push_back(std::string(source) + ": not a readable archive");
    passMembers(source);
    return false;
  }
  // An archive replaced since the planning pass: the total follows what the step really has.
  const int members = static_cast<int>(pac.memberCount());
  if (int planned = plannedMembers(m_planned, source); planned != members) m_total += members - planned;
  if (m_listener) m_listener({std::string(source), 0, members});
  return true;
}

template <class Result>
bool ConversionJob::forEachMember(std::string_view source, size_t count, const std::function<Result(size_t)>& produce,
                                  const std::function<bool(size_t, Result&)>& consume) {
  StepProgress progress{std::string(source), 0, static_cast<int>(count)};
  auto consumed = [&](size_t i, Result& r) {
    if (!consume(i, r)) return false;
    ++m_summary.members;
    ++m_count;
    ++progress.done;
    if (m_listener) m_listener(progress);
    return true;
  };
  // A step whose archive failed at member i passes it and the members after it: the count still
  // reaches the total.
  auto passRest = [&](size_t i) {
    m_count += static_cast<int>(count - i);
    return false;
  };
  const size_t jobs = static_cast<size_t>(effectiveJobs(m_settings.jobs));
  if (jobs <= 1 || count <= 1) {
    for (size_t i = 0; i < count; ++i) {
      if (m_cancel.load()) return false;
      Result r = produce(i);
      if (!consumed(i, r)) return passRest(i);
    }
    return true;
  }

  // Workers take members in order and park their results by index; this thread writes them in
  // member order, so the output never depends on which worker finished first. At most `window`
  // results wait, which bounds the memory to a few members per worker.
  const size_t window = 2 * jobs + 2;
  std::vector<std::optional<Result>> slots(count);
  std::mutex mutex;
  std::condition_variable changed;
  size_t next = 0, written = 0;
  bool stop = false;  // set by this thread when it stops writing: the workers then stop too
  std::vector<uint64_t> workerCpu(std::min(jobs, count), 0);
  auto worker = [&](size_t self) {
    const uint64_t cpuStarted = threadCpuUs();
    struct Account {
      uint64_t& out;
      uint64_t from;
      ~Account() { out = threadCpuUs() - from; }
    } account{workerCpu[self], cpuStarted};
    for (;;) {
      size_t i;
      {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return stop || next >= count || next < written + window; });
        if (stop || next >= count || m_cancel.load()) return;
        i = next++;
      }
      Result r = produce(i);
      std::lock_guard lock(mutex);
      slots[i].emplace(std::move(r));
      changed.notify_all();
    }
  };
  std::vector<std::thread> threads;
  for (size_t t = 0; t < workerCpu.size(); ++t) threads.emplace_back(worker, t);
  size_t i = 0;
  for (; i < count; ++i) {
    std::optional<Result> r;
    {
      std::unique_lock lock(mutex);
      // cancel() does not signal: look at the flag every 50 ms while waiting.
      while (!slots[i] && !m_cancel.load()) changed.wait_for(lock, std::chrono::milliseconds(50));
      if (m_cancel.load()) break;
      r = std::move(slots[i]);
      slots[i].reset();
    }
    if (!consumed(i, *r)) {
      passRest(i);
      break;
    }
    std::lock_guard lock(mutex);
    ++written;
    changed.notify_all();
  }
  {
    std::lock_guard lock(mutex);
    stop = true;
    changed.notify_all();
  }
  // Members already taken are finished before the step returns: nothing runs on after it.
  for (auto& t : threads) t.join();
  uint64_t busiest = 0;
  for (uint64_t c : workerCpu) {
    m_summary.cpuUs += c;
    busiest = std::max(busiest, c);
  }
  m_summary.spanUs += busiest;
  return i == count;
}

void ConversionJob::copyStep(std::string_view source, std::string_view output, Copy kind) {
  PacArchive pac;
  if (!openSource(source, pac)) return;
  MlzWriter writer;
  if (!openArchive(writer, source, output, pac.memberCount())) return;
  // Every Script member of an update's name gets the update: the first exactly as the game
  // replaces it, a later one of the same name a copy (noted), never the emptied bytes.
  std::vector<const UpdateNode*> updates(pac.memberCount(), nullptr);
  if (kind == Copy::Script) {
    std::vector<const UpdateNode*> used;
    for (size_t i = 0; i < pac.memberCount(); ++i) {
      const UpdateNode* update = m_updates.findUpdate(pac.entry(i).name);
      if (!update) continue;
      updates[i] = update;
      if (std::find(used.begin(), used.end(), update) != used.end())
        m_summary.notes.push_back(std::string(output) + ": " + platform::cp932ToUtf8Lossy(pac.entry(i).name) +
                                  " appears again in " + std::string(source) +
                                  "; this member gets the update from Update.pac too");
      else
        used.push_back(update);
    }
  }
  struct Copied {
    std::vector<uint8_t> member;
    PackedMember packed;
    std::string problem;
  };
  std::function<Copied(size_t)> produce = [&](size_t i) {
    setCurrent(pac.entry(i).name);
    return orNoMemory(
        [&] {
          Copied c;
          PacError err = PacError::None;
          if (updates[i]) {
            c.member = updates[i]->bytes;
          } else if (auto bytes = pac.readMember(i, &err)) {
            c.member = std::move(*bytes);
          } else {
            c.problem = unpackProblem(err);
          }
          c.packed = MlzWriter::pack(c.member, true);
          return c;
        },
        [] { return Copied{{}, {}, kNoMemory}; });
  };
  std::function<bool(size_t, Copied&)> consume = [&](size_t i, Copied& c) {
    const std::string& name = pac.entry(i).name;
    if (!c.problem.empty()) m_summary.problems.push_back({std::string(output), name, c.problem});
    if (kind == Copy::Table) {
      if (sameName(name, "StandInfo.DAT")) m_standInfo = c.member;
      if (sameName(name, "VisualInfo.DAT")) m_visualInfo = c.member;
    }
    return addMember(writer, output, name, c.packed);
  };
  if (forEachMember(source, pac.memberCount(), produce, consume)) finishArchive(writer, output);
  else writer.abandon();
  // The updates are needed by this step only.
  if (kind == Copy::Script) m_updates.release();
}

void ConversionJob::pictureStep(std::string_view source, std::string_view outputBase, PictureArchive kind) {
  PacArchive pac;
  if (!openSource(source, pac)) return;
  const std::string output = pictureArchiveName(outputBase, m_settings.sizeFactor);
  MlzWriter writer;
  if (!openArchive(writer, source, output, pac.memberCount())) return;
  PictureConverter converter(kind, pac, m_tables, opaqueVisualNames(), m_settings.sizeFactor,
                             m_settings.qualityIndex);
  struct Picture {
    ConvertedMember member;
    PackedMember packed;
  };
  std::function<Picture(size_t)> produce = [&](size_t i) {
    setCurrent(pac.entry(i).name);
    return orNoMemory(
        [&] {
          Picture p{converter.convert(i), {}};
          p.packed = MlzWriter::pack(p.member.bytes, true);
          p.member.bytes.clear();
          return p;
        },
        [&] { return Picture{converter.failed(i, kNoMemory), {}}; });
  };
  std::function<bool(size_t, Picture&)> consume = [&](size_t i, Picture& p) {
    if (!p.member.problem.empty()) m_summary.problems.push_back({output, pac.entry(i).name, p.member.problem});
    else if (p.member.picture) ++m_summary.pictures;
    return addMember(writer, output, p.member.name, p.packed);
  };
  if (forEachMember(source, pac.memberCount(), produce, consume)) finishArchive(writer, output);
  else writer.abandon();
}

void ConversionJob::noteBitrate(std::string_view group, const SoundTarget& target) {
  if (target.kbps == target.requestedKbps) return;
  m_summary.notes.push_back(std::string(group) + ": " + std::to_string(target.requestedKbps) +
                            " kbit/s does not exist at " + std::to_string(target.format.rate) + " Hz; encoded at " +
                            std::to_string(target.kbps) + " kbit/s");
}

namespace {
struct EncodedSound {
  std::vector<uint8_t> mp3;
  std::string problem;
};
}  // namespace

void ConversionJob::soundStep(std::string_view source, std::string_view folder, const SoundTarget& target) {
  PacArchive pac;
  if (!openSource(source, pac)) return;
  const std::string where = "data\\" + std::string(folder);
  auto fileOf = [&](size_t i) { return replaceExtension(untilNul(pac.entry(i).name), ".mp3"); };
  // The name becomes a file name: it must not lead out of the sound folder.
  auto plainName = [](const std::string& file) { return !lastCharOf(file, '\\') && !lastCharOf(file, '/'); };
  std::function<EncodedSound(size_t)> produce = [&](size_t i) {
    setCurrent(pac.entry(i).name);
    return orNoMemory(
        [&] {
          EncodedSound s;
          PacError err = PacError::None;
          if (!plainName(fileOf(i))) s.problem = "not a plain file name";
          else if (auto bytes = pac.readMember(i, &err)) s.mp3 = convertSound(*bytes, target, s.problem);
          else s.problem = unpackProblem(err);
          return s;
        },
        [] { return EncodedSound{{}, kNoMemory}; });
  };
  std::function<bool(size_t, EncodedSound&)> consume = [&](size_t i, EncodedSound& s) {
    const std::string file = fileOf(i);
    const bool plain = plainName(file);
    const std::string filePath = outputPath(std::string(folder) + "\\" + file);
    errno = 0;
    if (!s.mp3.empty() && platform::writeWholeFile(filePath, s.mp3, false)) {
      ++m_summary.sounds;
      ++m_summary.soundFiles;
      m_summary.bytesWritten += s.mp3.size();
    } else {
      if (s.problem.empty()) s.problem = withReason("cannot be written", errno);
      // No file rather than one from an earlier run: the folder matches this conversion.
      if (plain) platform::removeFile(filePath);
      m_summary.problems.push_back({where, pac.entry(i).name, s.problem, false});
    }
    return true;
  };
  forEachMember(source, pac.memberCount(), produce, consume);
}

void ConversionJob::voiceStep(const SoundTarget& target) {
  PacArchive pac;
  if (!openSource("Voice.pac", pac)) return;
  const std::string output = "voice.mlz";
  MlzWriter writer;
  if (!openArchive(writer, "Voice.pac", output, pac.memberCount())) return;
  std::function<EncodedSound(size_t)> produce = [&](size_t i) {
    setCurrent(pac.entry(i).name);
    return orNoMemory(
        [&] {
          EncodedSound s;
          PacError err = PacError::None;
          if (auto bytes = pac.readMember(i, &err)) s.mp3 = convertSound(*bytes, target, s.problem);
          else s.problem = unpackProblem(err);
          return s;
        },
        [] { return EncodedSound{{}, kNoMemory}; });
  };
  std::function<bool(size_t, EncodedSound&)> consume = [&](size_t i, EncodedSound& s) {
    const std::string& name = pac.entry(i).name;
    // Every source member keeps its entry: one that gave no MP3 is an empty member.
    if (s.mp3.empty()) m_summary.problems.push_back({output, name, s.problem});
    else ++m_summary.sounds;
    return addMember(writer, output, replaceExtension(untilNul(name), ".mp3"), MlzWriter::pack(s.mp3, false));
  };
  if (forEachMember(std::string_view("Voice.pac"), pac.memberCount(), produce, consume)) finishArchive(writer, output);
  else writer.abandon();
}

}  // namespace sorel
