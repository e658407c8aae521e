// How: each worker owns a ThreadInfo with a state byte and an auto-reset wake event. A worker
// that has finished its job marks itself idle and blocks on its event (SuspendWorker); the owner
// finds an idle worker by scanning the state bytes (CheckThreadPool), hands it the next job and
// sets the event (ResumeWorker). The state byte is the only field both sides touch, so it is read
// and written atomically; the events are created once and closed with the ThreadInfo.
#include "tessera/notify/thread_pool.h"

#include <atomic>

#include "agent/log/log.h"

namespace tessera {
namespace {

// The state byte is read by the pool's owner while the worker changes it.
void StoreState(ThreadInfo* info, BYTE state) {
  std::atomic_ref<BYTE>(info->state).store(state);
}

}  // namespace

ThreadInfo::~ThreadInfo() {
  if (thread != nullptr) CloseHandle(thread);
  if (wake != nullptr) CloseHandle(wake);
}

void InitThreadInfo() { LogTrace("\n\t@@@@@ Inside InitThreadInfo() @@@@@\n"); }

void ClearThreadInfo(ThreadInfo* infos, int32_t count) {
  if (infos == nullptr) return;
  for (int32_t i = 0; i < count; ++i) {
    StoreState(&infos[i], THREAD_STATE_FREE);
    if (infos[i].wake == nullptr) infos[i].wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  }
}

void ReleaseThreadInfo(ThreadInfo* infos, int32_t count) {
  if (infos == nullptr) return;
  for (int32_t i = 0; i < count; ++i) {
    if (infos[i].state == THREAD_STATE_FREE) continue;
    StoreState(&infos[i], THREAD_STATE_FREE);
    if (infos[i].thread != nullptr) CloseHandle(infos[i].thread);
    infos[i].thread = nullptr;
  }
}

HANDLE CreateNewThread(LPTHREAD_START_ROUTINE startRoutine, LPVOID argument) {
  LogTrace("\n\t@@@@@ Inside CreateNewThread() @@@@@\n");
  HANDLE thread = startRoutine ? CreateThread(nullptr, 0, startRoutine, argument, 0, nullptr) : nullptr;
  if (thread == nullptr) LogDebug("Unable to create Thread\n");
  return thread;
}

int CheckThreadPool(const ThreadInfo* infos, int32_t count, int32_t* outIndex, int32_t maximum) {
  LogTrace("\n\t@@@@@ Inside CheckThreadPool() @@@@@\n");
  for (int32_t i = 0; infos != nullptr && i < count; ++i) {
    if (std::atomic_ref<BYTE>(const_cast<BYTE&>(infos[i].state)).load() == THREAD_STATE_IDLE) {
      if (outIndex != nullptr) *outIndex = i;
      return kThreadPoolIdleFound;
    }
  }
  return count < maximum ? kThreadPoolMayGrow : kThreadPoolFull;
}

void SuspendWorker(ThreadInfo* info) {
  if (info == nullptr) return;
  StoreState(info, THREAD_STATE_IDLE);
  if (info->wake != nullptr) WaitForSingleObject(info->wake, INFINITE);
  StoreState(info, THREAD_STATE_RUNNING);
}

void ResumeWorker(ThreadInfo* info) {
  if (info != nullptr && info->wake != nullptr) SetEvent(info->wake);
}

void SleepMicroseconds(DWORD microseconds) { Sleep(microseconds / 1000); }

}  // namespace tessera
