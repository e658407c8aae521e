#include "tessera/db/db_provider.h"

#include <cstring>
#include <mutex>
#include <vector>

#include "agent/log/log.h"
#include "tessera/db/conn_params.h"
#include "tessera/db/connection_pool.h"
#include "tessera/db/odbc/odbc_provider.h"

namespace tessera {
namespace {
std::mutex g_providerMutex;
std::vector<const DBProvider*> g_registry;
const DBProvider* g_active[kActiveProviderSlots] = {nullptr, nullptr};
}  // namespace

bool InitDBProvider() {
  {
    std::lock_guard guard(g_providerMutex);
    if (g_active[0] != nullptr) {
      LogError("InitDBProvider Failed as already initialized\n");
      return false;
    }
    g_active[0] = g_active[1] = nullptr;
  }
  RegisterOdbcProvider();
  LoadDBProvider("ODBC");
  LoadDBProvider("SQLITE");
  FreeAllConnParams();
  CloseAllConnectionPools();
  return true;
}

void RegisterDBProvider(const DBProvider& provider) {
  std::lock_guard guard(g_providerMutex);
  for (const DBProvider* known : g_registry)
    if (known == &provider) return;
  g_registry.push_back(&provider);
}

bool LoadDBProvider(const char* name) {
  if (name == nullptr) return false;
  std::lock_guard guard(g_providerMutex);
  for (const DBProvider* provider : g_registry) {
    if (std::strcmp(provider->name, name) != 0) continue;
    for (const DBProvider*& slot : g_active) {
      if (slot == nullptr) {
        slot = provider;
        return true;
      }
    }
    return false;
  }
  return false;
}

bool UnloadDBProvider(const char* name) {
  if (name == nullptr) return false;
  std::lock_guard guard(g_providerMutex);
  for (const DBProvider*& slot : g_active) {
    if (slot != nullptr && std::strcmp(slot->name, name) == 0) {
      slot = nullptr;
      return true;
    }
  }
  return false;
}

const DBProvider* GetActiveProvider(int32_t slot) {
  if (slot < 0 || slot >= kActiveProviderSlots) return nullptr;
  std::lock_guard guard(g_providerMutex);
  return g_active[slot];
}

int32_t FindActiveProviderSlot(const char* name) {
  if (name == nullptr) return -1;
  std::lock_guard guard(g_providerMutex);
  for (int32_t i = 0; i < kActiveProviderSlots; ++i)
    if (g_active[i] != nullptr && std::strcmp(g_active[i]->name, name) == 0) return i;
  return -1;
}

void EmptyProviderSlot(int32_t slot) {
  if (slot < 0 || slot >= kActiveProviderSlots) return;
  std::lock_guard guard(g_providerMutex);
  g_active[slot] = nullptr;
}

void FreeDBProviders() {
  std::lock_guard guard(g_providerMutex);
  g_registry.clear();
  g_active[0] = g_active[1] = nullptr;
}

}  // namespace tessera
