// LocalAlloc / GlobalAlloc: tracked blocks, so that a free of an unknown pointer fails as on Windows
// instead of corrupting the heap.
#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <new>

#include "platform/core/core_internal.h"
#include "platform/system/win_system.h"

namespace {

std::mutex g_blocksMutex;
std::map<const void*, std::unique_ptr<std::byte[]>>& Blocks() {
  static std::map<const void*, std::unique_ptr<std::byte[]>> blocks;
  return blocks;
}

void* Allocate(SIZE_T bytes) {
  std::unique_ptr<std::byte[]> block;
  try {
    // Always zero-filled: callers that did not ask for it cannot tell the difference.
    block = std::make_unique<std::byte[]>(bytes == 0 ? 1 : bytes);
  } catch (const std::bad_alloc&) {
    return hl::platform::Fail(ERROR_NOT_ENOUGH_MEMORY, static_cast<void*>(nullptr));
  }
  void* address = block.get();
  std::lock_guard lock(g_blocksMutex);
  Blocks().emplace(address, std::move(block));
  return address;
}

// NULL on success; the block itself (with ERROR_INVALID_HANDLE) when it was not allocated here.
void* Free(void* block) {
  if (block == nullptr) return nullptr;
  std::unique_ptr<std::byte[]> doomed;
  std::lock_guard lock(g_blocksMutex);
  auto it = Blocks().find(block);
  if (it == Blocks().end()) return hl::platform::Fail(ERROR_INVALID_HANDLE, block);
  doomed = std::move(it->second);
  Blocks().erase(it);
  return nullptr;
}

}  // namespace

HLOCAL LocalAlloc(UINT, SIZE_T uBytes) { return Allocate(uBytes); }
HLOCAL LocalFree(HLOCAL hMem) { return Free(hMem); }
HGLOBAL GlobalAlloc(UINT, SIZE_T dwBytes) { return Allocate(dwBytes); }
HGLOBAL GlobalFree(HGLOBAL hMem) { return Free(hMem); }
