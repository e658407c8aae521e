// The database side of the sequence generator: batches of identifiers reserved in the table
// SeqGenState (SEQNAME, CURRENTBATCHEND), one batch of 300 per refill.
//
//   InitSequenceMap();
//   SequenceGenerator();                     // a fresh batch for every generated column
//   int32_t id = GenerateID("Patch", column);  // refills through UpdateSeqGen when exhausted
#pragma once

namespace tessera {

// Reserves the next batch of `sequenceName` on the connection of `tableName` (null: the default
// connection) and installs it in the SequenceMap. A new sequence starts at {1, 300}; an existing
// one whose CURRENTBATCHEND was e gets {e + 1, e + 300}. False (logged) when nothing was reserved.
bool UpdateSeqGen(const char* tableName, const char* sequenceName);

// Reserves a fresh batch for every generated column of the dictionary, in dictionary order.
// False only when a table of the dictionary has no columns.
bool SequenceGenerator();

}  // namespace tessera
