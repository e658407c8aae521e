// Timer queues: each queue runs its callbacks one after another on its own thread.
//
// Deleting a queue without waiting only marks it; its thread leaves as soon as no callback runs, so a
// timer that was still sleeping never fires afterwards. The thread owns the queue's state, which
// therefore lives exactly as long as something may still use it.
#include <atomic>
#include <cstdlib>
#include <map>
#include <memory>
#include <system_error>
#include <thread>

#include "platform/core/core_internal.h"
#include "platform/system/win_system.h"

namespace hl::platform {
namespace {

using Clock = std::chrono::steady_clock;

// Set when the process begins to exit: no callback starts after that, since the objects that callbacks
// use are being destroyed.
std::atomic<bool> g_exiting{false};
std::once_flag g_exitHook;

std::atomic<uintptr_t> g_nextTimer{0x40000000};

struct Timer {
  Clock::time_point due;
  DWORD period = 0;  // 0: one-shot
  WAITORTIMERCALLBACK callback = nullptr;
  PVOID parameter = nullptr;
};

struct QueueState {
  std::mutex mutex;
  std::condition_variable changed;
  std::map<uintptr_t, Timer> timers;
  bool deleted = false;
  bool finished = false;
  uintptr_t running = 0;  // the timer whose callback runs now
  std::thread::id thread;
  std::shared_ptr<EventObject> completion;  // set when the queue's thread has left
  std::multimap<uintptr_t, std::shared_ptr<EventObject>> timerCompletions;  // deleted while running

  // The queue's thread: fires due timers until the queue is deleted.
  static void Run(std::shared_ptr<QueueState> self) {
    std::unique_lock lock(self->mutex);
    self->thread = std::this_thread::get_id();
    while (!self->deleted && !g_exiting) {
      auto next = self->timers.end();
      for (auto it = self->timers.begin(); it != self->timers.end(); ++it)
        if (next == self->timers.end() || it->second.due < next->second.due) next = it;
      if (next == self->timers.end()) {
        self->changed.wait(lock);
        continue;
      }
      if (const Clock::time_point due = next->second.due; Clock::now() < due) {
        self->changed.wait_until(lock, due);  // a copy: the timer may be deleted meanwhile
        continue;
      }
      uintptr_t id = next->first;
      Timer timer = next->second;
      if (timer.period == 0) {
        self->timers.erase(next);
      } else {
        next->second.due = std::max(timer.due + std::chrono::milliseconds(timer.period), Clock::now());
      }
      self->running = id;
      lock.unlock();
      timer.callback(timer.parameter, TRUE);
      lock.lock();
      self->running = 0;
      auto [first, last] = self->timerCompletions.equal_range(id);
      for (auto it = first; it != last; ++it) it->second->Set();
      self->timerCompletions.erase(first, last);
      self->changed.notify_all();
    }
    self->timers.clear();
    for (auto& entry : self->timerCompletions) entry.second->Set();
    self->timerCompletions.clear();
    self->finished = true;
    self->changed.notify_all();
    if (self->completion) self->completion->Set();
  }

  static std::shared_ptr<QueueState> Start() {
    std::call_once(g_exitHook, [] { std::atexit([] { g_exiting = true; }); });
    auto state = std::make_shared<QueueState>();
    std::thread(Run, state).detach();
    return state;
  }

  // Marks the queue deleted; waits for its thread to leave when `wait` is set (unless called from a
  // callback of this queue, which would wait for itself).
  void Delete(bool wait, std::shared_ptr<EventObject> event) {
    std::unique_lock lock(mutex);
    deleted = true;
    if (event) {
      if (finished) {
        event->Set();
      } else {
        completion = std::move(event);
      }
    }
    changed.notify_all();
    if (wait && thread != std::this_thread::get_id()) changed.wait(lock, [&] { return finished; });
  }
};

// The handle's object; losing the last handle deletes the queue without waiting.
struct TimerQueueObject : KernelObject {
  explicit TimerQueueObject(std::shared_ptr<QueueState> s) : state(std::move(s)) {}
  ~TimerQueueObject() override { state->Delete(false, nullptr); }
  std::shared_ptr<QueueState> state;
};

std::shared_ptr<QueueState> DefaultQueue() {
  static const std::shared_ptr<QueueState> queue = QueueState::Start();
  return queue;
}

std::shared_ptr<QueueState> QueueOf(HANDLE handle) {
  if (handle == nullptr) return DefaultQueue();
  auto object = LookupHandleAs<TimerQueueObject>(handle);
  return object ? object->state : nullptr;
}

}  // namespace
}  // namespace hl::platform

using hl::platform::QueueState;
using hl::platform::TimerQueueObject;

HANDLE CreateTimerQueue() {
  try {
    return hl::platform::RegisterHandle(std::make_shared<TimerQueueObject>(QueueState::Start()));
  } catch (const std::system_error&) {
    return hl::platform::Fail(ERROR_NOT_ENOUGH_MEMORY, static_cast<HANDLE>(nullptr));
  }
}

BOOL CreateTimerQueueTimer(PHANDLE phNewTimer, HANDLE TimerQueue, WAITORTIMERCALLBACK Callback, PVOID Parameter,
                           DWORD DueTime, DWORD Period, ULONG Flags) {
  if (phNewTimer == nullptr || Callback == nullptr) return hl::platform::Fail(ERROR_INVALID_PARAMETER, FALSE);
  auto queue = hl::platform::QueueOf(TimerQueue);
  if (!queue) return hl::platform::Fail(ERROR_INVALID_HANDLE, FALSE);
  hl::platform::Timer timer;
  timer.due = hl::platform::Clock::now() + std::chrono::milliseconds(DueTime);
  timer.period = (Flags & WT_EXECUTEONLYONCE) ? 0 : Period;
  timer.callback = Callback;
  timer.parameter = Parameter;
  uintptr_t id = hl::platform::g_nextTimer.fetch_add(4);
  {
    std::lock_guard lock(queue->mutex);
    if (queue->deleted) return hl::platform::Fail(ERROR_INVALID_HANDLE, FALSE);
    queue->timers.emplace(id, timer);
    queue->changed.notify_all();
  }
  *phNewTimer = reinterpret_cast<HANDLE>(id);
  return TRUE;
}

BOOL DeleteTimerQueueTimer(HANDLE TimerQueue, HANDLE Timer, HANDLE CompletionEvent) {
  auto queue = hl::platform::QueueOf(TimerQueue);
  if (!queue) return hl::platform::Fail(ERROR_INVALID_HANDLE, FALSE);
  std::shared_ptr<hl::platform::EventObject> event;
  if (CompletionEvent != nullptr && CompletionEvent != INVALID_HANDLE_VALUE) {
    event = hl::platform::LookupHandleAs<hl::platform::EventObject>(CompletionEvent);
    if (!event) return hl::platform::Fail(ERROR_INVALID_HANDLE, FALSE);
  }
  uintptr_t id = reinterpret_cast<uintptr_t>(Timer);
  std::unique_lock lock(queue->mutex);
  if (queue->timers.erase(id) == 0 && queue->running != id) return hl::platform::Fail(ERROR_INVALID_PARAMETER, FALSE);
  bool running = queue->running == id;
  if (running && CompletionEvent == INVALID_HANDLE_VALUE && queue->thread != std::this_thread::get_id()) {
    queue->changed.wait(lock, [&] { return queue->running != id; });
    running = false;
  }
  if (event) {
    if (running) {
      queue->timerCompletions.emplace(id, std::move(event));
    } else {
      event->Set();
    }
  }
  // As on Windows: without a completion event, a callback still running is reported as pending.
  if (running && CompletionEvent == nullptr) return hl::platform::Fail(ERROR_IO_PENDING, FALSE);
  return TRUE;
}

BOOL DeleteTimerQueueEx(HANDLE TimerQueue, HANDLE CompletionEvent) {
  auto object = hl::platform::LookupHandleAs<TimerQueueObject>(TimerQueue);
  if (!object) return hl::platform::Fail(ERROR_INVALID_HANDLE, FALSE);
  std::shared_ptr<hl::platform::EventObject> event;
  if (CompletionEvent != nullptr && CompletionEvent != INVALID_HANDLE_VALUE) {
    event = hl::platform::LookupHandleAs<hl::platform::EventObject>(CompletionEvent);
    if (!event) return hl::platform::Fail(ERROR_INVALID_HANDLE, FALSE);
  }
  hl::platform::ReleaseHandle(TimerQueue);
  object->state->Delete(CompletionEvent == INVALID_HANDLE_VALUE, std::move(event));
  return TRUE;
}

BOOL DeleteTimerQueue(HANDLE TimerQueue) { return DeleteTimerQueueEx(TimerQueue, nullptr); }
