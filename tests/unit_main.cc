// The main of every unit-test program: GoogleTest with a watchdog.  A test
// that runs past its time (a lookup that never ends, a read that blocks)
// ends the program with the test's name, instead of hanging the run until
// CTest's own time-out names only the program.
//
// SETUP_TEST_TIMEOUT sets the seconds one test may take (default 120; 0
// turns the watchdog off, as the long stress runs do).  The watchdog is a
// thread, not an alarm: tests arm alarms of their own.
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

#include <gtest/gtest.h>

namespace {

using Clock = std::chrono::steady_clock;

// Shared with the watching thread, and never destroyed: the thread may
// still wait on it while the program ends.
struct Watch {
  long limit;
  std::mutex lock;
  std::condition_variable wake;
  std::string name;
  Clock::time_point deadline;
  bool running = false;
};
Watch *theWatch;

void watch(Watch *w) {
  std::unique_lock<std::mutex> hold(w->lock);
  for (;;) {
    if (!w->running) {
      w->wake.wait(hold);
      continue;
    }
    Clock::time_point deadline = w->deadline;
    if (w->wake.wait_until(hold, deadline) == std::cv_status::timeout && w->running &&
        w->deadline == deadline) {
      // The test's own output first; then the line a reader of the run
      // looks for.
      fflush(stdout);
      fprintf(stderr, "\n[  TIMEOUT ] %s ran longer than %ld s\n", w->name.c_str(), w->limit);
      fflush(stderr);
      _exit(124);
    }
  }
}

class Watchdog : public testing::EmptyTestEventListener {
 public:
  explicit Watchdog(long seconds) : w_(theWatch = new Watch) {
    w_->limit = seconds;
    std::thread(watch, w_).detach();
  }
  void OnTestStart(const testing::TestInfo &test) override {
    std::lock_guard<std::mutex> hold(w_->lock);
    w_->name = std::string(test.test_suite_name()) + "." + test.name();
    w_->deadline = Clock::now() + std::chrono::seconds(w_->limit);
    w_->running = true;
    w_->wake.notify_all();
  }
  void OnTestEnd(const testing::TestInfo &) override {
    std::lock_guard<std::mutex> hold(w_->lock);
    w_->running = false;
    w_->wake.notify_all();
  }

 private:
  Watch *w_;
};

}  // namespace

int main(int argc, char **argv) {
  testing::InitGoogleTest(&argc, argv);
  const char *setting = getenv("SETUP_TEST_TIMEOUT");
  long seconds = setting && *setting ? strtol(setting, nullptr, 10) : 120;
  // Owned by GoogleTest once appended; it lives as long as the program.
  if (seconds > 0) testing::UnitTest::GetInstance()->listeners().Append(new Watchdog(seconds));
  return RUN_ALL_TESTS();
}
