// The provider registry and the two active provider slots a ConnectionHandle names by index.
#pragma once

#include <cstdint>

#include "tessera/db/connection.h"

namespace tessera {

inline constexpr int32_t kActiveProviderSlots = 2;

// False with "InitDBProvider Failed as already initialized\n" when slot 0 is taken; otherwise
// empties both slots, registers and loads the ODBC provider (and tries "SQLITE", which no
// provider answers), and clears the connection parameters and pools.
bool InitDBProvider();
void RegisterDBProvider(const DBProvider& provider);
// Puts the registered provider of that exact name into the first empty slot.
bool LoadDBProvider(const char* name);
// Empties the slot holding that provider.
bool UnloadDBProvider(const char* name);
// The provider in a slot, or null.
const DBProvider* GetActiveProvider(int32_t slot);
// The first active slot whose provider has that exact name; -1 when none.
int32_t FindActiveProviderSlot(const char* name);
void EmptyProviderSlot(int32_t slot);
// Forgets the registry and empties the slots (store shutdown).
void FreeDBProviders();

}  // namespace tessera
