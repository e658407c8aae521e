// Internal pieces shared by the stand-in's system and file sources (not for product code).
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/core/handles.h"
#include "platform/system/win_system.h"
#include "platform/core/win_types.h"

namespace hl::platform {

// A kernel object that WaitForSingleObject can wait on.
struct WaitableObject : KernelObject {
  // Waits up to `milliseconds` (INFINITE: no limit): WAIT_OBJECT_0, WAIT_ABANDONED or WAIT_TIMEOUT.
  virtual DWORD Wait(DWORD milliseconds) = 0;
};

// An event object (manual or automatic reset).
class EventObject : public WaitableObject {
 public:
  EventObject(bool manualReset, bool initialState) : manualReset_(manualReset), signaled_(initialState) {}
  DWORD Wait(DWORD milliseconds) override;
  void Set();
  void Reset();

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  const bool manualReset_;
  bool signaled_;
};

// The point in time `milliseconds` from now; nullopt for INFINITE.
std::optional<std::chrono::steady_clock::time_point> DeadlineAfter(DWORD milliseconds);

// Waits on `cv` until `ready()` holds or the deadline passes; returns ready().
template <class Predicate>
bool WaitUntil(std::condition_variable& cv, std::unique_lock<std::mutex>& lock,
               const std::optional<std::chrono::steady_clock::time_point>& deadline, Predicate ready) {
  if (!deadline) {
    cv.wait(lock, ready);
    return true;
  }
  return cv.wait_until(lock, *deadline, ready);
}

// UTF-16 <-> UTF-8 for the wide forms of the API; invalid sequences become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);
std::u16string Utf8ToUtf16(std::string_view text);
// Length of a NUL-terminated UTF-16 text.
size_t WideLength(const WCHAR* text);

// Sets the thread's last error and returns `result`, for one-line failure returns.
template <class T>
T Fail(DWORD error, T result) {
  ::SetLastError(error);
  return result;
}

}  // namespace hl::platform
