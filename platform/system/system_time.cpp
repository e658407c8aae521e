// Clocks, sleeping and the identity of the current process and thread.
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "platform/core/core_internal.h"
#include "platform/system/win_system.h"

namespace {

// 100-nanosecond intervals between 1601-01-01 and 1970-01-01.
constexpr ULONGLONG kUnixEpochAsFileTime = 116444736000000000ULL;

SYSTEMTIME ToSystemTime(const struct tm& t, long nanoseconds) {
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(t.tm_year + 1900);
  st.wMonth = static_cast<WORD>(t.tm_mon + 1);
  st.wDayOfWeek = static_cast<WORD>(t.tm_wday);
  st.wDay = static_cast<WORD>(t.tm_mday);
  st.wHour = static_cast<WORD>(t.tm_hour);
  st.wMinute = static_cast<WORD>(t.tm_min);
  st.wSecond = static_cast<WORD>(t.tm_sec > 59 ? 59 : t.tm_sec);  // Windows has no leap second
  st.wMilliseconds = static_cast<WORD>(nanoseconds / 1000000);
  return st;
}

ULONGLONG MonotonicMilliseconds() {
  struct timespec ts {};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<ULONGLONG>(ts.tv_sec) * 1000ULL + static_cast<ULONGLONG>(ts.tv_nsec) / 1000000ULL;
}

}  // namespace

namespace hl::platform {

std::optional<std::chrono::steady_clock::time_point> DeadlineAfter(DWORD milliseconds) {
  if (milliseconds == INFINITE) return std::nullopt;
  return std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
}

}  // namespace hl::platform

void GetLocalTime(LPSYSTEMTIME lpSystemTime) {
  struct timespec ts {};
  clock_gettime(CLOCK_REALTIME, &ts);
  struct tm local {};
  localtime_r(&ts.tv_sec, &local);
  *lpSystemTime = ToSystemTime(local, ts.tv_nsec);
}

void GetSystemTime(LPSYSTEMTIME lpSystemTime) {
  struct timespec ts {};
  clock_gettime(CLOCK_REALTIME, &ts);
  struct tm utc {};
  gmtime_r(&ts.tv_sec, &utc);
  *lpSystemTime = ToSystemTime(utc, ts.tv_nsec);
}

void GetSystemTimeAsFileTime(LPFILETIME lpSystemTimeAsFileTime) {
  struct timespec ts {};
  clock_gettime(CLOCK_REALTIME, &ts);
  ULONGLONG value = kUnixEpochAsFileTime + static_cast<ULONGLONG>(ts.tv_sec) * 10000000ULL +
                    static_cast<ULONGLONG>(ts.tv_nsec) / 100ULL;
  lpSystemTimeAsFileTime->dwLowDateTime = static_cast<DWORD>(value);
  lpSystemTimeAsFileTime->dwHighDateTime = static_cast<DWORD>(value >> 32);
}

void Sleep(DWORD dwMilliseconds) {
  if (dwMilliseconds == 0) {
    std::this_thread::yield();
    return;
  }
  if (dwMilliseconds == INFINITE) {
    for (;;) std::this_thread::sleep_for(std::chrono::hours(24));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(dwMilliseconds));
}

DWORD GetTickCount() { return static_cast<DWORD>(MonotonicMilliseconds()); }

ULONGLONG GetTickCount64() { return MonotonicMilliseconds(); }

DWORD GetCurrentThreadId() {
  // The kernel's thread id: small, decimal, stable for the thread's life, distinct between live threads.
  thread_local const DWORD id = static_cast<DWORD>(syscall(SYS_gettid));
  return id;
}

DWORD GetCurrentProcessId() { return static_cast<DWORD>(getpid()); }

