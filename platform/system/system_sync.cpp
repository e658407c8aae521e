// Mutexes, events and waiting on kernel objects.
#include <algorithm>
#include <map>
#include <memory>
#include <vector>

#include "platform/core/core_internal.h"
#include "platform/system/system_sync_internal.h"
#include "platform/system/win_system.h"

namespace hl::platform {

DWORD EventObject::Wait(DWORD milliseconds) {
  std::unique_lock lock(mutex_);
  if (!WaitUntil(changed_, lock, DeadlineAfter(milliseconds), [&] { return signaled_; })) return WAIT_TIMEOUT;
  if (!manualReset_) signaled_ = false;
  return WAIT_OBJECT_0;
}

void EventObject::Set() {
  std::lock_guard lock(mutex_);
  signaled_ = true;
  if (manualReset_) {
    changed_.notify_all();
  } else {
    changed_.notify_one();
  }
}

void EventObject::Reset() {
  std::lock_guard lock(mutex_);
  signaled_ = false;
}

namespace {

class MutexObject;

// Mutexes owned by the current thread; the thread's end abandons them as on Windows.
struct OwnedMutexes {
  std::vector<std::weak_ptr<MutexObject>> mutexes;
  ~OwnedMutexes();
};
thread_local OwnedMutexes t_owned;

// A Windows mutex: owned by one thread, recursively acquirable by the owner.
class MutexObject : public WaitableObject, public std::enable_shared_from_this<MutexObject> {
 public:
  DWORD Wait(DWORD milliseconds) override {
    const DWORD self = GetCurrentThreadId();
    std::unique_lock lock(mutex_);
    if (owner_ != self) {
      if (!WaitUntil(released_, lock, DeadlineAfter(milliseconds), [&] { return owner_ == 0; })) return WAIT_TIMEOUT;
      owner_ = self;
      t_owned.mutexes.push_back(weak_from_this());
    }
    ++count_;
    if (abandoned_) {
      abandoned_ = false;
      return WAIT_ABANDONED;
    }
    return WAIT_OBJECT_0;
  }

  bool Release() {
    std::lock_guard lock(mutex_);
    if (owner_ != GetCurrentThreadId() || count_ == 0) return false;
    if (--count_ == 0) {
      owner_ = 0;
      Forget();
      released_.notify_one();
    }
    return true;
  }

  // Called at the end of the owning thread.
  void Abandon(DWORD thread) {
    std::lock_guard lock(mutex_);
    if (owner_ != thread) return;
    owner_ = 0;
    count_ = 0;
    abandoned_ = true;
    released_.notify_one();
  }

 private:
  void Forget() {
    auto& list = t_owned.mutexes;
    list.erase(std::remove_if(list.begin(), list.end(),
                              [this](const std::weak_ptr<MutexObject>& w) {
                                auto p = w.lock();
                                return !p || p.get() == this;
                              }),
               list.end());
  }

  std::mutex mutex_;
  std::condition_variable released_;
  DWORD owner_ = 0;
  unsigned count_ = 0;
  bool abandoned_ = false;
};

OwnedMutexes::~OwnedMutexes() { AbandonOwnedMutexes(); }

// Named objects share one namespace, as on Windows.
std::mutex g_namesMutex;
std::map<std::string, std::weak_ptr<KernelObject>> g_names;

// Creates or opens a named object; `make` builds a new one. Sets the last error as Windows does.
template <class T, class Make>
HANDLE CreateNamed(LPCSTR name, Make make) {
  if (name == nullptr || *name == '\0') {
    std::shared_ptr<T> object = make();
    SetLastError(ERROR_SUCCESS);
    return RegisterHandle(std::move(object));
  }
  std::lock_guard lock(g_namesMutex);
  auto it = g_names.find(name);
  if (it != g_names.end()) {
    if (auto existing = it->second.lock()) {
      if (!std::dynamic_pointer_cast<T>(existing)) return Fail(ERROR_INVALID_HANDLE, static_cast<HANDLE>(nullptr));
      HANDLE handle = RegisterHandle(std::move(existing));
      SetLastError(ERROR_ALREADY_EXISTS);
      return handle;
    }
  }
  std::shared_ptr<T> object = make();
  g_names[name] = object;
  SetLastError(ERROR_SUCCESS);
  return RegisterHandle(std::move(object));
}

}  // namespace

void AbandonOwnedMutexes() {
  const DWORD self = GetCurrentThreadId();
  std::vector<std::weak_ptr<MutexObject>> owned = std::move(t_owned.mutexes);
  t_owned.mutexes.clear();
  for (auto& weak : owned)
    if (auto m = weak.lock()) m->Abandon(self);
}

}  // namespace hl::platform

using hl::platform::EventObject;
using hl::platform::MutexObject;

HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL bInitialOwner, LPCSTR lpName) {
  bool created = false;
  std::shared_ptr<MutexObject> mine;
  HANDLE handle = hl::platform::CreateNamed<MutexObject>(lpName, [&] {
    created = true;
    mine = std::make_shared<MutexObject>();
    return mine;
  });
  if (handle != nullptr && created && bInitialOwner) {
    DWORD error = GetLastError();
    mine->Wait(0);
    SetLastError(error);
  }
  return handle;
}

HANDLE CreateMutexW(LPSECURITY_ATTRIBUTES lpMutexAttributes, BOOL bInitialOwner, LPCWSTR lpName) {
  if (lpName == nullptr) return CreateMutexA(lpMutexAttributes, bInitialOwner, nullptr);
  std::string name = hl::platform::Utf16ToUtf8(lpName);
  return CreateMutexA(lpMutexAttributes, bInitialOwner, name.c_str());
}

BOOL ReleaseMutex(HANDLE hMutex) {
  auto mutex = hl::platform::LookupHandleAs<MutexObject>(hMutex);
  if (!mutex) return hl::platform::Fail(ERROR_INVALID_HANDLE, FALSE);
  if (!mutex->Release()) return hl::platform::Fail(ERROR_NOT_OWNER, FALSE);
  return TRUE;
}

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES, BOOL bManualReset, BOOL bInitialState, LPCSTR lpName) {
  return hl::platform::CreateNamed<EventObject>(
      lpName, [&] { return std::make_shared<EventObject>(bManualReset != FALSE, bInitialState != FALSE); });
}

HANDLE CreateEventW(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset, BOOL bInitialState, LPCWSTR lpName) {
  if (lpName == nullptr) return CreateEventA(lpEventAttributes, bManualReset, bInitialState, nullptr);
  std::string name = hl::platform::Utf16ToUtf8(lpName);
  return CreateEventA(lpEventAttributes, bManualReset, bInitialState, name.c_str());
}

BOOL SetEvent(HANDLE hEvent) {
  auto event = hl::platform::LookupHandleAs<EventObject>(hEvent);
  if (!event) return hl::platform::Fail(ERROR_INVALID_HANDLE, FALSE);
  event->Set();
  return TRUE;
}

BOOL ResetEvent(HANDLE hEvent) {
  auto event = hl::platform::LookupHandleAs<EventObject>(hEvent);
  if (!event) return hl::platform::Fail(ERROR_INVALID_HANDLE, FALSE);
  event->Reset();
  return TRUE;
}

DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
  // The pseudo handles of the current process and thread never become signaled while the caller runs;
  // they are refused rather than left to block for ever.
  auto object = hl::platform::LookupHandleAs<hl::platform::WaitableObject>(hHandle);
  if (!object) return hl::platform::Fail(ERROR_INVALID_HANDLE, static_cast<DWORD>(WAIT_FAILED));
  return object->Wait(dwMilliseconds);
}
