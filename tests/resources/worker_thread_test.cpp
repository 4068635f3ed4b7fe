#include "engine/resources/worker_thread.h"

#include <atomic>
#include <vector>

#include <gtest/gtest.h>

namespace sorel {
namespace {

class Recorder : public WorkerThread {
 public:
  ~Recorder() override { close(); }
  std::vector<std::string> events;
  std::atomic<bool> release{false};
  std::thread::id startedId, runId;

 protected:
  void onStarted(std::thread::id id) override {
    startedId = id;
    events.push_back("started");
  }
  void beforeRun() override { events.push_back("before"); }
  int run() override {
    runId = std::this_thread::get_id();
    events.push_back("run");
    while (!release) std::this_thread::yield();
    return 7;
  }
  void afterRun() override { events.push_back("after"); }
};

TEST(WorkerThread, HooksRunInOrderAndTheExitCodeIsKept) {
  Recorder r;
  EXPECT_FALSE(r.isRunning());
  ASSERT_TRUE(r.start());
  EXPECT_FALSE(r.start());  // one thread at a time
  EXPECT_TRUE(r.isRunning());
  EXPECT_FALSE(r.wait(10));
  r.release = true;
  EXPECT_TRUE(r.wait());
  EXPECT_FALSE(r.isRunning());
  EXPECT_EQ(r.exitCode(), 7);
  r.close();
  EXPECT_EQ(r.events, (std::vector<std::string>{"started", "before", "run", "after"}));
  EXPECT_EQ(r.startedId, r.runId);
}

}  // namespace
}  // namespace sorel
