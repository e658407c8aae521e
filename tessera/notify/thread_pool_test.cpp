#include "tessera/notify/thread_pool.h"

#include <gtest/gtest.h>

#include <atomic>

#include "tests/support/log_capture.h"

namespace tessera {
namespace {

struct Worker {
  ThreadInfo* info = nullptr;
  std::atomic<int> rounds{0};
  std::atomic<bool> stop{false};
};

// Runs a round, then suspends itself until resumed, until told to stop.
DWORD WINAPI WorkerMain(LPVOID argument) {
  auto* worker = static_cast<Worker*>(argument);
  while (!worker->stop.load()) {
    worker->rounds.fetch_add(1);
    SuspendWorker(worker->info);
  }
  return 7;
}

void WaitForState(const ThreadInfo& info, BYTE state) {
  for (int i = 0; i < 5000 && std::atomic_ref<BYTE>(const_cast<BYTE&>(info.state)).load() != state; ++i) Sleep(1);
}

TEST(ThreadPool, CheckThreadPoolCodes) {
  ThreadInfo infos[3];
  ClearThreadInfo(infos, 3);
  int32_t index = -1;
  EXPECT_EQ(CheckThreadPool(infos, 2, &index, 3), kThreadPoolMayGrow);
  EXPECT_EQ(CheckThreadPool(infos, 3, &index, 3), kThreadPoolFull);
  infos[0].state = THREAD_STATE_RUNNING;
  infos[2].state = THREAD_STATE_IDLE;
  EXPECT_EQ(CheckThreadPool(infos, 3, &index, 3), kThreadPoolIdleFound);
  EXPECT_EQ(index, 2);
  EXPECT_EQ(CheckThreadPool(infos, 2, &index, 2), kThreadPoolFull);  // the idle one is beyond count
  ReleaseThreadInfo(infos, 3);
  for (const ThreadInfo& info : infos) EXPECT_EQ(info.state, THREAD_STATE_FREE);
}

TEST(ThreadPool, WorkerSuspendsItselfAndResumes) {
  hl::test::LogCapture log;
  InitThreadInfo();
  EXPECT_TRUE(log.Has("[TRACE]", "\n\t@@@@@ Inside InitThreadInfo() @@@@@\n"));
  ThreadInfo info;
  ClearThreadInfo(&info, 1);
  Worker worker;
  worker.info = &info;
  info.state = THREAD_STATE_RUNNING;
  info.thread = CreateNewThread(WorkerMain, &worker);
  ASSERT_NE(info.thread, nullptr);
  WaitForState(info, THREAD_STATE_IDLE);
  EXPECT_EQ(info.state, THREAD_STATE_IDLE);
  EXPECT_EQ(worker.rounds.load(), 1);
  int32_t index = -1;
  EXPECT_EQ(CheckThreadPool(&info, 1, &index, 1), kThreadPoolIdleFound);
  EXPECT_EQ(index, 0);
  ResumeWorker(&info);
  for (int i = 0; i < 5000 && worker.rounds.load() < 2; ++i) Sleep(1);
  EXPECT_EQ(worker.rounds.load(), 2);
  worker.stop.store(true);
  ResumeWorker(&info);
  EXPECT_EQ(WaitForSingleObject(info.thread, 10000), WAIT_OBJECT_0);
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeThread(info.thread, &code));
  EXPECT_EQ(code, 7u);
  ReleaseThreadInfo(&info, 1);
  EXPECT_EQ(info.thread, nullptr);
}

// A resume that arrives before the worker suspends is kept, not lost.
TEST(ThreadPool, EarlyResumeIsNotLost) {
  ThreadInfo info;
  ClearThreadInfo(&info, 1);
  ResumeWorker(&info);
  SuspendWorker(&info);  // returns at once
  EXPECT_EQ(info.state, THREAD_STATE_RUNNING);
}

TEST(ThreadPool, CreateFailureAndSleep) {
  hl::test::LogCapture log;
  EXPECT_EQ(CreateNewThread(nullptr, nullptr), nullptr);
  EXPECT_TRUE(log.Has("[DEBUG]", "Unable to create Thread\n"));
  const DWORD start = GetTickCount();
  SleepMicroseconds(999);  // 0 ms
  SleepMicroseconds(20000);
  EXPECT_GE(GetTickCount() - start, 15u);
}

}  // namespace
}  // namespace tessera
