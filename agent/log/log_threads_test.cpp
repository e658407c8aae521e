// The log and the object lock under several threads (also run under ThreadSanitizer).
#include <gtest/gtest.h>

#include <atomic>
#include <deque>
#include <filesystem>
#include <limits>
#include <regex>
#include <thread>
#include <vector>

#include "agent/config/agent_config.h"
#include "agent/log/log.h"
#include "agent/log/object_lock.h"
#include "agent/log_setup/log_setup.h"
#include "agent/log/log_test_support.h"
#include "tests/support/temp_machine.h"

namespace {

namespace fs = std::filesystem;
using hl::test::ReadHostFile;
using hl::test::ReadTextFile;
using hl::test::TempMachine;

class LogThreadsTest : public hl::test::AgentLogTest {
 protected:
  void Open(const char* name) { AgentLogTest::Open(LOG_LEVEL_TRACE, name); }
};

// Rotation settings outlive every test: a timer callback may still read them after shutdown.
LogRotationSettings* LastingSettings() {
  static std::deque<LogRotationSettings> all;
  return &all.emplace_back();
}

TEST_F(LogThreadsTest, TimerRotatesOnAnotherThreadAndShutdownDoesNotWait) {
  LogRotationSettings* settings = LastingSettings();
  settings->fileName = "timed.log";
  settings->folder = "C:\\Agent\\logs";
  settings->maxSize = 200;
  settings->period = 100;
  ASSERT_EQ(StartLogger(settings), 0);
  for (int i = 0; i < 10; ++i) LogInfo("filling the live log with line %d of ten\n", i);
  for (int i = 0; i < 100 && !fs::exists(LogsDir() / "timed1.log"); ++i) Sleep(20);
  EXPECT_TRUE(fs::exists(LogsDir() / "timed1.log")) << "the timer's check rotated the live file";
  Sleep(150);  // at least one more check has run and armed the next one
  ULONGLONG before = GetTickCount64();
  EXPECT_EQ(ShutdownAgentLog(), 0);
  EXPECT_LT(GetTickCount64() - before, 2000u);
  EXPECT_EQ(gv_logFilePtr.load(), nullptr);
  // No check is armed after shutdown: a callback running at that moment ends within its own work.
  Sleep(2 * settings->period);
  std::string backups;  // later checks rotate again (the rotation lines fill the live file too)
  for (int k = 1; k <= 4; ++k) backups += ReadTextFile(LogsDir() / ("timed" + std::to_string(k) + ".log"));
  EXPECT_NE(backups.find("filling the live log"), std::string::npos);
  EXPECT_NE(backups.find("[INFO] LoggerTimerRoutine : Inside LoggerTimerRoutine Method\n"), std::string::npos);
  std::string live = ReadTextFile(LogsDir() / "timed.log");
  Sleep(3 * settings->period);
  EXPECT_EQ(ReadTextFile(LogsDir() / "timed.log"), live) << "nothing rotates or writes after shutdown";
}

// Lines carry the time they were written: stamped under the lock, they are in time order.
TEST_F(LogThreadsTest, LinesOfSeveralThreadsAreInTimeOrder) {
  Open("order.log");
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([t] {
      for (int i = 0; i < 150; ++i) LogInfo("thread %d line %d\n", t, i);
    });
  for (auto& t : threads) t.join();
  CloseLogFile();
  std::string text = ReadTextFile(LogsDir() / "order.log");
  std::regex stamp("\\n\\[ (\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}:\\d{3}) \\]");
  std::vector<std::string> stamps;
  for (auto it = std::sregex_iterator(text.begin(), text.end(), stamp); it != std::sregex_iterator(); ++it)
    stamps.push_back((*it)[1]);
  ASSERT_EQ(stamps.size(), 600u);
  EXPECT_TRUE(std::is_sorted(stamps.begin(), stamps.end()));
}

// Threads log and take object locks while the log shuts down and starts again under them.
TEST_F(LogThreadsTest, LoggingAndLockingWhileTheLogShutsDown) {
  Open("stress.log");
  static int shared;
  long counter = 0;  // changed only under the object lock on `shared`
  std::atomic<bool> stop{false};
  std::vector<std::thread> threads;
  constexpr int kThreads = 6;
  std::atomic<long> increments{0};
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      int own = 0;
      while (!stop.load()) {
        LogInfo("worker %d writes\n", t);
        {
          hl::ObjectLockGuard guard(&shared);
          ++counter;
        }
        increments.fetch_add(1);
        hl::ObjectLockGuard mine(&own);
      }
    });
  for (int round = 0; round < 30; ++round) {
    Sleep(2);
    EXPECT_EQ(ShutdownAgentLog(), 0);
    Open("stress.log");
  }
  stop = true;
  for (auto& t : threads) t.join();
  EXPECT_EQ(counter, increments.load()) << "the object lock kept its exclusion across shutdowns";
  EXPECT_EQ(UnlockObject(&shared), 2) << "no address is left locked";
}

TEST(ObjectLock, SecondLockerWaitsForTheFirst) {
  static int target;
  ASSERT_EQ(LockObject(&target), 1);
  std::atomic<bool> acquired{false};
  std::thread other([&] {
    LockObject(&target);
    acquired = true;
    UnlockObject(&target);
  });
  Sleep(50);
  EXPECT_FALSE(acquired.load());
  EXPECT_EQ(UnlockObject(&target), 4);
  other.join();
  EXPECT_TRUE(acquired.load());
  EXPECT_EQ(UnlockObject(&target), 2) << "unlocking a free address changes nothing";
}

TEST(ObjectLock, ManyThreadsKeepMutualExclusion) {
  static int target;
  int counter = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 100; ++i) {
        hl::ObjectLockGuard guard(&target);
        ++counter;
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(counter, 400);
}

TEST(ObjectLock, WaitCounterRestartsInsteadOfOverflowing) {
  EXPECT_EQ(NextWaitCounter(0), 10);
  EXPECT_EQ(NextWaitCounter(-10), 10);
  EXPECT_EQ(NextWaitCounter(990), 1000);
  constexpr LONG kMax = std::numeric_limits<LONG>::max();
  EXPECT_EQ(NextWaitCounter(kMax - 10), kMax);
  EXPECT_EQ(NextWaitCounter(kMax - 5), 10);
  EXPECT_EQ(NextWaitCounter(kMax), 10);
}

}  // namespace
