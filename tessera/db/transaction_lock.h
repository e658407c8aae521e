// The lock held around every transaction the store runs on its own (identifier reservations,
// batches of a table save). Threads may share one connection handle, and a transaction belongs
// to the handle: without this lock one thread's commit would end another thread's batch.
#pragma once

#include <mutex>

namespace tessera {

std::mutex& StoreTransactionLock();

}  // namespace tessera
