// CreateThread and thread handles.
#include <memory>
#include <system_error>
#include <thread>

#include "platform/core/core_internal.h"
#include "platform/system/system_sync_internal.h"
#include "platform/system/win_system.h"

namespace hl::platform {
namespace {

// A thread handle's object: signaled once the thread function has returned.
class ThreadObject : public WaitableObject {
 public:
  DWORD Wait(DWORD milliseconds) override {
    std::unique_lock lock(mutex_);
    return WaitUntil(changed_, lock, DeadlineAfter(milliseconds), [&] { return done_; }) ? WAIT_OBJECT_0
                                                                                          : WAIT_TIMEOUT;
  }
  void Started(DWORD id) {
    std::lock_guard lock(mutex_);
    id_ = id;
    changed_.notify_all();
  }
  DWORD WaitForId() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return id_ != 0; });
    return id_;
  }
  void Finished(DWORD exitCode) {
    std::lock_guard lock(mutex_);
    exitCode_ = exitCode;
    done_ = true;
    changed_.notify_all();
  }
  DWORD ExitCode() {
    std::lock_guard lock(mutex_);
    return done_ ? exitCode_ : static_cast<DWORD>(STILL_ACTIVE);
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  DWORD id_ = 0;
  bool done_ = false;
  DWORD exitCode_ = 0;
};

}  // namespace
}  // namespace hl::platform

using hl::platform::ThreadObject;

HANDLE CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter,
                    DWORD dwCreationFlags, LPDWORD lpThreadId) {
  if (lpStartAddress == nullptr) return hl::platform::Fail(ERROR_INVALID_PARAMETER, static_cast<HANDLE>(nullptr));
  // Suspended creation needs ResumeThread, which the stand-in does not offer.
  if (dwCreationFlags & CREATE_SUSPENDED) return hl::platform::Fail(ERROR_NOT_SUPPORTED, static_cast<HANDLE>(nullptr));
  auto state = std::make_shared<ThreadObject>();
  try {
    std::thread([state, lpStartAddress, lpParameter] {
      state->Started(GetCurrentThreadId());
      DWORD exitCode = lpStartAddress(lpParameter);
      hl::platform::AbandonOwnedMutexes();  // before the handle is signalled, as on Windows
      state->Finished(exitCode);
    }).detach();  // the handle, not a join, tells when it ends
  } catch (const std::system_error&) {
    return hl::platform::Fail(ERROR_NOT_ENOUGH_MEMORY, static_cast<HANDLE>(nullptr));
  }
  DWORD id = state->WaitForId();
  if (lpThreadId != nullptr) *lpThreadId = id;
  return hl::platform::RegisterHandle(std::move(state));
}

BOOL GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode) {
  if (lpExitCode == nullptr) return hl::platform::Fail(ERROR_INVALID_PARAMETER, FALSE);
  if (hThread == GetCurrentThread()) {
    *lpExitCode = STILL_ACTIVE;
    return TRUE;
  }
  auto thread = hl::platform::LookupHandleAs<ThreadObject>(hThread);
  if (!thread) return hl::platform::Fail(ERROR_INVALID_HANDLE, FALSE);
  *lpExitCode = thread->ExitCode();
  return TRUE;
}
