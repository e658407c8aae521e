#include "agent/log/object_lock.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <vector>

#include "agent/log/log.h"

namespace {

// The OS mutex guards the list; the std::mutex only guards the creation and closing of that handle.
std::mutex g_handleGuard;
HANDLE g_mutex = nullptr;
std::vector<const void*> g_locked;  // each address at most once, in locking order
std::atomic<LONG> g_waitCounter{0};

HANDLE ListMutex() {
  std::lock_guard guard(g_handleGuard);
  if (g_mutex == nullptr) g_mutex = CreateMutexA(nullptr, FALSE, nullptr);
  return g_mutex;
}

enum class Attempt { Acquired, Busy };

Attempt TryLock(const void* address) {
  HANDLE mutex = ListMutex();
  WaitForSingleObject(mutex, INFINITE);
  Attempt result = Attempt::Busy;
  if (std::find(g_locked.begin(), g_locked.end(), address) == g_locked.end()) {
    g_locked.push_back(address);
    result = Attempt::Acquired;
  }
  ReleaseMutex(mutex);
  return result;
}

}  // namespace

void InitMutex() {
  LogTrace("\n\t@@@@@ Inside InitMutex() @@@@@\n");
  ListMutex();
}

int LockObject(const void* address) {
  while (TryLock(address) == Attempt::Busy) {
    // The counter is shared by every waiter and never reset: early waits only yield, later ones sleep longer.
    LONG counter = g_waitCounter.fetch_add(10) + 10;
    if (counter <= 0) {  // zero (and, after ~200 million waits, wrap-around) restart at 10
      g_waitCounter.store(10);
      counter = 10;
    }
    Sleep(static_cast<DWORD>(counter) / 1000);
  }
  return 1;
}

int UnlockObject(const void* address) {
  HANDLE mutex = ListMutex();
  WaitForSingleObject(mutex, INFINITE);
  int result = 2;
  auto it = std::find(g_locked.begin(), g_locked.end(), address);
  if (it != g_locked.end()) {
    g_locked.erase(it);
    result = 4;
  }
  ReleaseMutex(mutex);
  return result;
}

void CloseObjectLockMutex() {
  std::lock_guard guard(g_handleGuard);
  if (g_mutex != nullptr) {
    CloseHandle(g_mutex);
    g_mutex = nullptr;
  }
}

LONG ObjectLockWaitCounter() { return g_waitCounter.load(); }
