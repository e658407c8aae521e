// The in-memory side of the sequence generator: the SequenceMap of batches and the operations
// that hand out identifiers from them.
//
// Each sequence (keyed by its generator name, case-sensitive) holds a batch {next, last}; a value
// is handed out by returning `next` and incrementing it, and the batch is exhausted when
// last < next. Batches are reserved in the database by the refill operation (UpdateSeqGen),
// which the database layer installs with SetSequenceRefill; without one, an exhausted or missing
// batch gives -1.
#pragma once

#include <cstdint>
#include <memory>

#include "tessera/schema/table_defn.h"
#include "tessera/values/hash_table.h"

namespace tessera {

inline constexpr int32_t kSequenceBatchSize = 300;
inline constexpr int32_t kSequenceMapBuckets = 50;
inline constexpr const char* kInstanceSequenceKey = "INSTANCE_ID";

struct SequenceBatch {
  int32_t next = 0;  // next value to hand out
  int32_t last = 0;  // last value of the batch
};

using SequenceMap = HashTable<std::unique_ptr<SequenceBatch>>;

// The process-wide map (no buckets until InitSequenceMap).
SequenceMap& GetSequenceMap();
// Creates the map with 50 buckets (dropping any earlier entries).
bool InitSequenceMap();
// Frees every entry and its batch.
void FreeSequenceMap();

// Reserves the next batch of one sequence in the database and installs it (UpdateSeqGen); the
// table name may be null (the instance sequence). True when a batch was installed.
using SequenceRefill = bool (*)(const char* tableName, const char* sequenceName);
// Installs the refill operation (null removes it).
void SetSequenceRefill(SequenceRefill refill);

// Stores {next, last} as the sequence's batch, replacing an earlier one in place (so that a
// caller holding the entry sees the new batch). False when the map has no buckets.
bool InstallSequenceBatch(const char* sequenceName, int32_t next, int32_t last);

// The next value of the column's sequence (its generator name), or -1 when no value can be
// given: no generator, no map entry, no batch, or an exhausted batch that cannot be refilled.
int32_t GenerateID(const char* tableName, const ColumnDefn* columnDefn);
// The next value of the "INSTANCE_ID" sequence, or -1.
int32_t GenerateInstanceID();

}  // namespace tessera
