// Kernel-object handle table of the stand-in: HANDLE values name objects owned here.
#pragma once

#include <memory>

#include "platform/core/win_types.h"

namespace hl::platform {

struct KernelObject {
  virtual ~KernelObject() = default;
};

HANDLE RegisterHandle(std::shared_ptr<KernelObject> object);
std::shared_ptr<KernelObject> LookupHandle(HANDLE handle);
template <class T>
std::shared_ptr<T> LookupHandleAs(HANDLE handle) {
  return std::dynamic_pointer_cast<T>(LookupHandle(handle));
}
// Removes the handle; false when it was not a live handle.
bool ReleaseHandle(HANDLE handle);

}  // namespace hl::platform
