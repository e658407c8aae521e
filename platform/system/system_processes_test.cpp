// Process handles: liveness, exit codes of ended (zombie and reaped) processes, creation
// times that stay the same and tell processes apart, and the refusals of OpenProcess.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/win32.h"

namespace {

ULONGLONG ValueOf(const FILETIME& ft) { return (static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime; }

ULONGLONG CreationOf(HANDLE process) {
  FILETIME creation{}, exit{}, kernel{}, user{};
  EXPECT_TRUE(GetProcessTimes(process, &creation, &exit, &kernel, &user));
  return ValueOf(creation);
}

DWORD ExitCodeOf(HANDLE process) {
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeProcess(process, &code));
  return code;
}

// Waits until the child has ended (a zombie) without reaping it.
void WaitUntilEnded(pid_t pid) {
  siginfo_t info{};
  ASSERT_EQ(waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT), 0);
}

pid_t StartSleeper() {
  pid_t pid = fork();
  if (pid == 0) {
    for (;;) pause();
  }
  return pid;
}

TEST(Processes, OwnProcessRunsAndKeepsOneCreationTime) {
  HANDLE self = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, GetCurrentProcessId());
  ASSERT_NE(self, nullptr) << GetLastError();
  EXPECT_EQ(ExitCodeOf(self), static_cast<DWORD>(STILL_ACTIVE));
  ULONGLONG created = CreationOf(self);
  FILETIME now{};
  GetSystemTimeAsFileTime(&now);
  EXPECT_LE(created, ValueOf(now));
  EXPECT_GT(created, 116444736000000000ULL + 1500000000ULL * 10000000ULL) << "not a time after 2017";
  EXPECT_EQ(CreationOf(self), created);
  EXPECT_EQ(CreationOf(GetCurrentProcess()), created) << "the pseudo handle names another process";
  EXPECT_EQ(ExitCodeOf(GetCurrentProcess()), static_cast<DWORD>(STILL_ACTIVE));
  EXPECT_TRUE(CloseHandle(self));
}

TEST(Processes, EndedChildReportsItsExitCodeAsZombieAndAfterReaping) {
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) _exit(7);
  WaitUntilEnded(pid);
  HANDLE zombie = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, static_cast<DWORD>(pid));
  ASSERT_NE(zombie, nullptr) << "a process not yet reaped can still be opened";
  EXPECT_EQ(ExitCodeOf(zombie), 7u) << "a zombie counted as running";
  ASSERT_EQ(waitpid(pid, nullptr, 0), pid);
  EXPECT_EQ(ExitCodeOf(zombie), 7u) << "the handle forgot the exit code once the process was reaped";
  EXPECT_TRUE(CloseHandle(zombie));

  SetLastError(0);
  EXPECT_EQ(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid)), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(Processes, RunningChildIsActiveUntilKilledAndKeepsItsCreationTime) {
  pid_t pid = StartSleeper();
  ASSERT_GT(pid, 0);
  HANDLE child = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(ExitCodeOf(child), static_cast<DWORD>(STILL_ACTIVE));
  ULONGLONG created = CreationOf(child);
  EXPECT_GE(created, CreationOf(GetCurrentProcess())) << "a child created before its parent";
  ASSERT_EQ(kill(pid, SIGKILL), 0);
  WaitUntilEnded(pid);
  EXPECT_EQ(ExitCodeOf(child), 128u + SIGKILL);
  EXPECT_EQ(CreationOf(child), created) << "an ended process changed its creation time";
  waitpid(pid, nullptr, 0);
  // Reaped before anyone looked: ended, with no code left to tell.
  pid_t second = StartSleeper();
  ASSERT_GT(second, 0);
  HANDLE other = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(second));
  ASSERT_NE(other, nullptr);
  kill(second, SIGKILL);
  waitpid(second, nullptr, 0);
  EXPECT_NE(ExitCodeOf(other), static_cast<DWORD>(STILL_ACTIVE));
  CloseHandle(other);
  CloseHandle(child);
}

TEST(Processes, OpenProcessRefusesThreadsUnknownIdsAndRightsNotOffered) {
  std::thread worker;
  DWORD liveThread = 0;
  bool stop = false;
  std::mutex m;
  std::condition_variable cv;
  worker = std::thread([&] {
    std::unique_lock lock(m);
    liveThread = GetCurrentThreadId();
    cv.notify_all();
    cv.wait(lock, [&] { return stop; });
  });
  {
    std::unique_lock lock(m);
    cv.wait(lock, [&] { return liveThread != 0; });
  }
  SetLastError(0);
  EXPECT_EQ(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, liveThread), nullptr)
      << "a thread opened as a process";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  {
    std::lock_guard lock(m);
    stop = true;
  }
  cv.notify_all();
  worker.join();

  EXPECT_EQ(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, 0), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, GetCurrentProcessId()), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

  DWORD code = 0;
  FILETIME a{}, b{}, c{}, d{};
  EXPECT_FALSE(GetExitCodeProcess(reinterpret_cast<HANDLE>(0x7777), &code));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(GetProcessTimes(reinterpret_cast<HANDLE>(0x7777), &a, &b, &c, &d));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

}  // namespace
