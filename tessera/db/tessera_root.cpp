#include "tessera/db/tessera_root.h"

#include <mutex>
#include <optional>

#include "agent/log/log.h"

namespace tessera {
namespace {

std::mutex g_rootMutex;
std::optional<std::string> g_root;

}  // namespace

void SetTesseraRoot(const char* path) {
  if (path == nullptr) {
    LogDebug("Default Path Used");
    return;
  }
  {
    std::lock_guard guard(g_rootMutex);
    g_root = path;
  }
  SetLogRootFolder(path);
}

const char* GetTesseraRoot() {
  std::lock_guard guard(g_rootMutex);
  return g_root ? g_root->c_str() : nullptr;
}

void ClearTesseraRoot() {
  {
    std::lock_guard guard(g_rootMutex);
    g_root.reset();
  }
  SetLogRootFolder(nullptr);
}

}  // namespace tessera
