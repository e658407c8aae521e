// Operations for a pool of worker threads: create a thread, find an idle one, let a worker
// suspend itself until it is resumed, sleep.
//
// A worker suspends itself (SuspendWorker on its own record) and another thread wakes it with
// ResumeWorker. The wake-up is kept until the worker waits for it, so a resume that comes just
// before the worker suspends is not lost.
#pragma once

#include <cstdint>

#include "platform/win32.h"

namespace tessera {

enum ThreadState : BYTE {
  THREAD_STATE_FREE = 0,
  THREAD_STATE_IDLE = 1,
  THREAD_STATE_RUNNING = 2,
};

// CheckThreadPool results.
inline constexpr int kThreadPoolIdleFound = 1;
inline constexpr int kThreadPoolMayGrow = 4;
inline constexpr int kThreadPoolFull = 5;

struct ThreadInfo {
  ThreadInfo() = default;
  ~ThreadInfo();  // closes the handles
  ThreadInfo(const ThreadInfo&) = delete;
  ThreadInfo& operator=(const ThreadInfo&) = delete;

  BYTE state = THREAD_STATE_FREE;
  HANDLE thread = nullptr;  // owned: closed when the record is released
  HANDLE wake = nullptr;    // owned: the event a suspended worker waits on
};

void InitThreadInfo();
// Sets every record free and prepares its wake-up event.
void ClearThreadInfo(ThreadInfo* infos, int32_t count);
// Every record in use becomes free; its thread handle is closed.
void ReleaseThreadInfo(ThreadInfo* infos, int32_t count);

// A thread started at once with default security and stack; null (with "Unable to create
// Thread\n") when it cannot be created.
HANDLE CreateNewThread(LPTHREAD_START_ROUTINE startRoutine, LPVOID argument);
// 1 with the index of the first idle record in `outIndex`; else 4 when count < maximum, 5 when not.
int CheckThreadPool(const ThreadInfo* infos, int32_t count, int32_t* outIndex, int32_t maximum);
// Called by the worker on its own record: idle (1) until resumed, then running (2).
void SuspendWorker(ThreadInfo* info);
// Wakes the worker of the record.
void ResumeWorker(ThreadInfo* info);
// Sleeps microseconds / 1000 milliseconds.
void SleepMicroseconds(DWORD microseconds);

}  // namespace tessera
