#include "tessera/db/persistence_steps.h"

#include "tessera/db/default_data.h"
#include "tessera/db/table_load.h"
#include "tessera/seqgen/seq_gen_state.h"

namespace tessera {

StoreLoadSteps PersistenceSteps() {
  StoreLoadSteps steps;
  steps.sequenceGenerator = &SequenceGenerator;
  steps.loadAllTables = &LoadAllTables;
  steps.saveDefaultData = &SaveDefaultData;
  steps.unloadAllTables = &UnLoadAllTable;
  return steps;
}

}  // namespace tessera
