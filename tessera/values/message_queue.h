// A message queue: an unordered Vector used first-in first-out.
#pragma once

#include <new>
#include <optional>

#include "agent/log/log.h"
#include "tessera/values/vector.h"

namespace tessera {

// Appends the message; a failed cell allocation logs "Buffer allocation is failed !!!\n" and gives 0.
template <class T>
int AddRcvdMsgToQueue(Vector<T>& queue, T message) {
  std::unique_ptr<VectorNode<T>> cell;
  try {
    cell = std::make_unique<VectorNode<T>>(std::move(message));
  } catch (const std::bad_alloc&) {
    LogError("Buffer allocation is failed !!!\n");
    return 0;
  }
  return queue.AddElement(cell);
}

// Under the queue's lock, removes the head and returns its message; nullopt when empty.
template <class T>
std::optional<T> ReadMsgFromQueueForProcessing(Vector<T>& queue) {
  return queue.TakeFirst();
}

}  // namespace tessera
