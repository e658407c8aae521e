// The registry store: the tree of the current machine's registry.reg, kept in memory and re-read
// when the file changes; every change is written back atomically under a lock on the machine folder.
#pragma once

#include <functional>

#include "platform/registry/registry_tree.h"
#include "platform/core/win_types.h"

namespace hl::platform::reg {

// Keys that always exist on Windows (HKLM\SOFTWARE, HKLM\SYSTEM, ...): present in an empty registry,
// never deleted, and left out of the file while they hold no values.
bool IsImplicitKey(Hive hive, const Path& path, bool os64);

class Store {
 public:
  static Store& Instance();

  // Runs fn on the current tree (re-read first when the file changed). A refused (malformed) file
  // gives ERROR_BADDB without calling fn.
  LONG Read(const std::function<LONG(const Tree&)>& fn);

  // Runs fn under the machine folder's lock on the tree as the file holds it now. When fn succeeds
  // and sets `changed`, the file is rewritten atomically; if that cannot be done the change is
  // discarded and the write error returned. Without a machine folder nothing can be persisted, so a
  // change fails with ERROR_ACCESS_DENIED.
  LONG Modify(const std::function<LONG(Tree&, bool& changed)>& fn);

 private:
  Store() = default;
};

}  // namespace hl::platform::reg
