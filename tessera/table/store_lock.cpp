#include "tessera/table/store_lock.h"

namespace tessera {

const void* GetStoreLockObject() {
  static const char lockObject = 0;
  return &lockObject;
}

}  // namespace tessera
