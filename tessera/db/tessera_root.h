// The store's root folder: its data directory is "<root>/data", its log folder "<root>/logs".
#pragma once

#include <string>

namespace tessera {

// An absent path logs "Default Path Used" at DEBUG and keeps the current root; otherwise the
// root becomes a copy of `path` and the log is told about it (SetLogRootFolder).
void SetTesseraRoot(const char* path);
// The current root, or null when none has been set.
const char* GetTesseraRoot();
// Forgets the root (store shutdown and tests); the log forgets it too.
void ClearTesseraRoot();

}  // namespace tessera
