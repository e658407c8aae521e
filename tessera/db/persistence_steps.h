// The store's persistence plugged into InitTessera: sequences primed from SeqGenState, the
// listed tables loaded, default data saved into a fresh database, tables unloaded at shutdown.
#pragma once

#include "tessera/db/init_tessera.h"

namespace tessera {

// SequenceGenerator, LoadAllTables, SaveDefaultData and UnLoadAllTable as InitTessera's steps.
StoreLoadSteps PersistenceSteps();

}  // namespace tessera
