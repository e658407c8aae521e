// Mutexes, events, threads, timer queues and time.
#include <gtest/gtest.h>

#include <atomic>
#include <deque>
#include <string>

#include "platform/win32.h"
#include "tests/support/wine.h"

namespace {

DWORD WINAPI TryLock(LPVOID mutex) { return WaitForSingleObject(static_cast<HANDLE>(mutex), 0); }

TEST(Mutex, RecursiveOwnershipAndReleaseByTheOwnerOnly) {
  HANDLE m = CreateMutexA(nullptr, FALSE, nullptr);
  ASSERT_NE(m, nullptr);
  EXPECT_FALSE(ReleaseMutex(m));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_OWNER));
  EXPECT_EQ(WaitForSingleObject(m, INFINITE), static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_EQ(WaitForSingleObject(m, 0), static_cast<DWORD>(WAIT_OBJECT_0));  // recursive
  HANDLE other = CreateThread(nullptr, 0, TryLock, m, 0, nullptr);
  ASSERT_NE(other, nullptr);
  EXPECT_EQ(WaitForSingleObject(other, INFINITE), static_cast<DWORD>(WAIT_OBJECT_0));
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeThread(other, &code));
  EXPECT_EQ(code, static_cast<DWORD>(WAIT_TIMEOUT));  // held by this thread
  CloseHandle(other);
  EXPECT_TRUE(ReleaseMutex(m));
  EXPECT_TRUE(ReleaseMutex(m));
  EXPECT_FALSE(ReleaseMutex(m));
  other = CreateThread(nullptr, 0, TryLock, m, 0, nullptr);
  WaitForSingleObject(other, INFINITE);
  GetExitCodeThread(other, &code);
  EXPECT_EQ(code, static_cast<DWORD>(WAIT_OBJECT_0));  // free now
  CloseHandle(other);
  // That thread ended while owning it: the next owner learns it was abandoned.
  EXPECT_EQ(WaitForSingleObject(m, 0), static_cast<DWORD>(WAIT_ABANDONED));
  EXPECT_TRUE(ReleaseMutex(m));
  EXPECT_TRUE(CloseHandle(m));
}

// A thread's handle is signalled only once the mutexes it still owned are abandoned.
TEST(Mutex, AThreadThatHasEndedHasAbandonedItsMutexes) {
  HANDLE m = CreateMutexA(nullptr, FALSE, nullptr);
  ASSERT_NE(m, nullptr);
  for (int i = 0; i < 300; ++i) {
    HANDLE owner = CreateThread(nullptr, 0, TryLock, m, 0, nullptr);
    ASSERT_NE(owner, nullptr);
    ASSERT_EQ(WaitForSingleObject(owner, INFINITE), static_cast<DWORD>(WAIT_OBJECT_0));
    CloseHandle(owner);
    ASSERT_EQ(WaitForSingleObject(m, 0), static_cast<DWORD>(WAIT_ABANDONED)) << "round " << i;
    ASSERT_TRUE(ReleaseMutex(m));
  }
  EXPECT_TRUE(CloseHandle(m));
}

TEST(Mutex, NamedMutexesAreShared) {
  HANDLE a = CreateMutexA(nullptr, FALSE, "hl-test-mutex");
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
  HANDLE b = CreateMutexW(nullptr, FALSE, WSTR("hl-test-mutex"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_NE(a, b);
  EXPECT_EQ(WaitForSingleObject(a, 0), static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_TRUE(ReleaseMutex(b));  // the same object
  CloseHandle(a);
  CloseHandle(b);
}

TEST(Event, ManualAndAutomaticReset) {
  HANDLE manual = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE automatic = CreateEventA(nullptr, FALSE, TRUE, nullptr);
  EXPECT_EQ(WaitForSingleObject(manual, 10), static_cast<DWORD>(WAIT_TIMEOUT));
  SetEvent(manual);
  EXPECT_EQ(WaitForSingleObject(manual, 0), static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_EQ(WaitForSingleObject(manual, 0), static_cast<DWORD>(WAIT_OBJECT_0));
  ResetEvent(manual);
  EXPECT_EQ(WaitForSingleObject(manual, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(WaitForSingleObject(automatic, 0), static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_EQ(WaitForSingleObject(automatic, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  CloseHandle(manual);
  CloseHandle(automatic);
  EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

DWORD WINAPI ReportId(LPVOID out) {
  *static_cast<DWORD*>(out) = GetCurrentThreadId();
  return 7;
}

TEST(Thread, IdsExitCodesAndLastErrorPerThread) {
  DWORD seen = 0, id = 0;
  SetLastError(99);
  HANDLE t = CreateThread(nullptr, 0, ReportId, &seen, 0, &id);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(WaitForSingleObject(t, INFINITE), static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_EQ(seen, id);
  EXPECT_NE(id, GetCurrentThreadId());
  EXPECT_EQ(GetCurrentThreadId(), GetCurrentThreadId());
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeThread(t, &code));
  EXPECT_EQ(code, 7u);
  EXPECT_EQ(GetLastError(), 99u);  // untouched by the other thread
  CloseHandle(t);
}

struct Counter {
  std::atomic<int> calls{0};
  std::atomic<DWORD> thread{0};
  HANDLE queue = nullptr;
  HANDLE done = nullptr;
};

void CALLBACK Count(PVOID parameter, BOOLEAN fired) {
  auto* c = static_cast<Counter*>(parameter);
  EXPECT_TRUE(fired);
  c->thread = GetCurrentThreadId();
  if (++c->calls == 3) SetEvent(c->done);
}

TEST(TimerQueue, OneShotFiresOnceOnAnotherThread) {
  Counter c;
  c.done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE queue = CreateTimerQueue();
  ASSERT_NE(queue, nullptr);
  HANDLE timer = nullptr;
  ASSERT_TRUE(CreateTimerQueueTimer(&timer, queue, Count, &c, 10, 0, WT_EXECUTEDEFAULT));
  Sleep(200);
  EXPECT_EQ(c.calls, 1);
  EXPECT_NE(c.thread, GetCurrentThreadId());
  EXPECT_TRUE(DeleteTimerQueueEx(queue, INVALID_HANDLE_VALUE));
  CloseHandle(c.done);
}

TEST(TimerQueue, PeriodicTimerRepeats) {
  Counter c;
  c.done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE queue = CreateTimerQueue();
  HANDLE timer = nullptr;
  ASSERT_TRUE(CreateTimerQueueTimer(&timer, queue, Count, &c, 0, 5, WT_EXECUTEDEFAULT));
  EXPECT_EQ(WaitForSingleObject(c.done, 5000), static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_TRUE(DeleteTimerQueueEx(queue, INVALID_HANDLE_VALUE));
  int after = c.calls;
  Sleep(30);
  EXPECT_EQ(c.calls, after);  // nothing fires once the deletion has waited
  CloseHandle(c.done);
}

TEST(TimerQueue, DeletionWithoutWaitingReturnsAtOnceAndTheTimerNeverFires) {
  static Counter c;  // outlives the test: a late callback must still find it
  HANDLE queue = CreateTimerQueue();
  HANDLE timer = nullptr;
  ASSERT_TRUE(CreateTimerQueueTimer(&timer, queue, Count, &c, 50, 0, WT_EXECUTEDEFAULT));
  DWORD start = GetTickCount();
  // Wine reports ERROR_IO_PENDING for every deletion that does not wait.
  EXPECT_EQ(DeleteTimerQueueEx(queue, nullptr), hl::test::WindowsOrWine(TRUE, FALSE));
  EXPECT_LT(GetTickCount() - start, 40u);
  Sleep(120);
  EXPECT_EQ(c.calls, 0);
  EXPECT_FALSE(DeleteTimerQueueEx(queue, nullptr));  // the handle is gone
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

struct Slow {
  HANDLE started = nullptr;
  std::atomic<bool> finished{false};
};

void CALLBACK SlowCallback(PVOID parameter, BOOLEAN) {
  auto* s = static_cast<Slow*>(parameter);
  SetEvent(s->started);
  Sleep(200);
  s->finished = true;
}

TEST(TimerQueue, DeletionWithoutWaitingDoesNotWaitForARunningCallback) {
  // One record per run, kept until the process ends: a repeated run starts from a fresh flag, and a
  // callback still running never finds its record gone.
  static std::deque<Slow> runs;
  Slow& s = runs.emplace_back();
  s.started = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE queue = CreateTimerQueue();
  HANDLE timer = nullptr;
  ASSERT_TRUE(CreateTimerQueueTimer(&timer, queue, SlowCallback, &s, 0, 0, 0));
  ASSERT_EQ(WaitForSingleObject(s.started, 5000), static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_EQ(DeleteTimerQueueEx(queue, nullptr), hl::test::WindowsOrWine(TRUE, FALSE));
  EXPECT_FALSE(s.finished);
  Sleep(400);
  EXPECT_TRUE(s.finished);
  CloseHandle(s.started);
}

struct Chain {
  HANDLE queue = nullptr;
  HANDLE done = nullptr;
  std::atomic<int> calls{0};
};

void CALLBACK Rearm(PVOID parameter, BOOLEAN) {
  auto* c = static_cast<Chain*>(parameter);
  if (++c->calls == 3) {
    SetEvent(c->done);
    return;
  }
  HANDLE next = nullptr;
  EXPECT_TRUE(CreateTimerQueueTimer(&next, c->queue, Rearm, c, 5, 0, 0));
}

TEST(TimerQueue, CallbackArmsTheNextOneShotTimerInItsQueue) {
  Chain c;
  c.done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  c.queue = CreateTimerQueue();
  HANDLE timer = nullptr;
  ASSERT_TRUE(CreateTimerQueueTimer(&timer, c.queue, Rearm, &c, 5, 0, 0));
  EXPECT_EQ(WaitForSingleObject(c.done, 5000), static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_TRUE(DeleteTimerQueueEx(c.queue, INVALID_HANDLE_VALUE));
  EXPECT_EQ(c.calls, 3);
  CloseHandle(c.done);
}

TEST(TimerQueue, DefaultQueueAndBadArguments) {
  Counter c;
  c.done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE timer = nullptr;
  ASSERT_TRUE(CreateTimerQueueTimer(&timer, nullptr, Count, &c, 0, 1, 0));
  EXPECT_EQ(WaitForSingleObject(c.done, 5000), static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_TRUE(DeleteTimerQueueTimer(nullptr, timer, INVALID_HANDLE_VALUE));
  CloseHandle(c.done);
#ifndef _WIN32
  // The stand-in refuses what Windows does not check (and would crash on).
  EXPECT_FALSE(CreateTimerQueueTimer(nullptr, nullptr, Count, &c, 0, 0, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(CreateTimerQueueTimer(&timer, reinterpret_cast<HANDLE>(0x12345), Count, &c, 0, 0, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
#endif
}

TEST(Time, ClocksAgree) {
  SYSTEMTIME utc{}, local{};
  GetSystemTime(&utc);
  GetLocalTime(&local);
  EXPECT_GE(utc.wYear, 2024);
  EXPECT_LE(utc.wMilliseconds, 999);
  EXPECT_GE(local.wMonth, 1);
  FILETIME ft{};
  GetSystemTimeAsFileTime(&ft);
  ULONGLONG value = (static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  EXPECT_GT(value, 133000000000000000ULL);  // after 2022
  ULONGLONG before = GetTickCount64();
  Sleep(50);
  // The tick count moves in steps of up to 16 ms on Windows (and lags a little more under Wine).
  EXPECT_GE(GetTickCount64() - before, 30u);
}

}  // namespace
