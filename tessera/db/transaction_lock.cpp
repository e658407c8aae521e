#include "tessera/db/transaction_lock.h"

namespace tessera {

std::mutex& StoreTransactionLock() {
  static std::mutex lock;
  return lock;
}

}  // namespace tessera
