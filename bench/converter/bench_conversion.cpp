// The whole conversion of a full-size game: sorel-mkgame --scale N writes the game once (kept
// between runs), then convSorel --batch converts it with one and with two jobs. Each run is a
// program of its own, so that its peak memory is its own.
//
// Counters: members/s, peak MiB (maximum resident set), cpu s (user + system of the run), and
// for the two-job run the speed-up over the one-job run in wall time. On a machine that others
// share, wall time follows their load; compare cpu s and repeat the runs (--benchmark_repetitions).
//
// BM_ThreadSpan runs the same job inside this process and reports the processor time of all its
// threads and of its longest chain (the job's thread plus each step's busiest worker): the
// speed-up the threads allow when each has a free core, which a loaded machine cannot show.
//
//   SOREL_BENCH_SCALE   the game's scale (default 4; 16 makes a game of about 200 MB)
//   SOREL_BENCH_GAME    the folder of the game (default /tmp/sorel-bench-game-<scale>)
#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "converter/conversion_job.h"
#include "platform/files.h"

namespace {

namespace fs = std::filesystem;

int scale() {
  const char* s = std::getenv("SOREL_BENCH_SCALE");
  int v = s ? std::atoi(s) : 4;
  return v > 0 ? v : 4;
}

std::string gameFolder() {
  if (const char* g = std::getenv("SOREL_BENCH_GAME"); g && *g) return g;
  return "/tmp/sorel-bench-game-" + std::to_string(scale());
}

/// Makes the game unless an earlier run left it complete (Lumenwish.exe is written last).
bool ensureGame(std::string& why) {
  const std::string game = gameFolder();
  if (fs::exists(game + "/Lumenwish.exe")) return true;
  const std::string cmd = std::string(SOREL_BIN_DIR) + "/sorel-mkgame -q --scale " + std::to_string(scale()) + " '" +
                          game + "'";
  if (std::system(cmd.c_str()) != 0) {
    why = "sorel-mkgame failed: " + cmd;
    return false;
  }
  return true;
}

struct Run {
  double wallSeconds = 0;
  double cpuSeconds = 0;
  double peakMiB = 0;
  long members = 0;
  bool ok = false;
};

/// One convSorel --batch run in a child process, its standard output in a file.
Run convert(int jobs, const std::string& out) {
  Run r;
  fs::remove_all(out);
  fs::create_directories(out);
  const std::string log = out + "/log.txt";
  const std::string jobsArg = std::to_string(jobs);
  const std::string exe = std::string(SOREL_BIN_DIR) + "/convSorel";
  const std::string game = gameFolder();
  auto start = std::chrono::steady_clock::now();
  pid_t pid = fork();
  if (pid == 0) {
    if (!std::freopen(log.c_str(), "w", stdout)) _exit(127);
    execl(exe.c_str(), exe.c_str(), "--batch", "--jobs", jobsArg.c_str(), "--size", "640", "--quality", "90", "--game",
          game.c_str(), "--out", out.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  if (pid < 0 || wait4(pid, &status, 0, &usage) < 0) return r;
  r.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  r.cpuSeconds = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
                 usage.ru_stime.tv_usec / 1e6;
  r.peakMiB = usage.ru_maxrss / 1024.0;
  std::ifstream in(log);
  std::stringstream text;
  text << in.rdbuf();
  std::smatch m;
  const std::string s = text.str();
  if (std::regex_search(s, m, std::regex("([0-9]+) members \\("))) r.members = std::stol(m[1]);
  r.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0 && r.members > 0;
  return r;
}

double g_oneJobWall = 0;

void BM_ConvertFullSizeGame(benchmark::State& state) {
  std::string why;
  if (!ensureGame(why)) {
    state.SkipWithError(why.c_str());
    return;
  }
  const int jobs = static_cast<int>(state.range(0));
  const std::string out = "/tmp/sorel-bench-out-" + std::to_string(getpid()) + "-" + std::to_string(jobs);
  Run last;
  double wall = 0, cpu = 0, peak = 0;
  for (auto _ : state) {
    last = convert(jobs, out);
    if (!last.ok) {
      state.SkipWithError("convSorel failed");
      break;
    }
    state.SetIterationTime(last.wallSeconds);
    wall += last.wallSeconds;
    cpu += last.cpuSeconds;
    peak = std::max(peak, last.peakMiB);
  }
  fs::remove_all(out);
  if (!last.ok) return;
  const double runs = static_cast<double>(state.iterations());
  state.counters["members"] = static_cast<double>(last.members);
  state.counters["members/s"] = last.members * runs / wall;
  state.counters["peak MiB"] = peak;
  state.counters["cpu s"] = cpu / runs;
  if (jobs == 1) g_oneJobWall = wall / runs;
  else if (g_oneJobWall > 0) state.counters["speed-up"] = g_oneJobWall / (wall / runs);
}

double g_oneJobCpu = 0;

void BM_ThreadSpan(benchmark::State& state) {
  std::string why;
  if (!ensureGame(why)) {
    state.SkipWithError(why.c_str());
    return;
  }
  const int jobs = static_cast<int>(state.range(0));
  const std::string out = "/tmp/sorel-bench-span-" + std::to_string(getpid()) + "-" + std::to_string(jobs);
  sorel::ConversionSummary summary;
  for (auto _ : state) {
    fs::remove_all(out);
    fs::create_directories(out);
    sorel::ConversionSettings s;
    s.gameFolder = platform::systemPath(gameFolder()).value_or("");
    s.outputFolder = platform::systemPath(out).value_or("");
    s.sizeFactor = 100;
    s.qualityIndex = 2;
    s.jobs = jobs;
    sorel::ConversionJob job(s);
    job.runJob();
    summary = job.summary();
  }
  fs::remove_all(out);
  const double cpu = summary.cpuUs / 1e6, span = summary.spanUs / 1e6;
  state.counters["cpu s"] = cpu;
  state.counters["span s"] = span;
  // This run's own ratio is free of the run-to-run drift of processor time on a busy machine.
  state.counters["parallelism"] = span > 0 ? cpu / span : 0;
  if (jobs == 1) g_oneJobCpu = cpu;
  else if (g_oneJobCpu > 0) state.counters["speed-up"] = g_oneJobCpu / span;
}

BENCHMARK(BM_ThreadSpan)->Arg(1)->Arg(2)->Unit(benchmark::kSecond)->Iterations(1);

// One job first: the two-job run reports its speed-up over it.
BENCHMARK(BM_ConvertFullSizeGame)->Arg(1)->Arg(2)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
