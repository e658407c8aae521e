// Saving tables from the store to the database by the state of each row.
//
//   SaveTable("Patch");        // one statement per new, changed or deleted row
//   SaveAllTables();           // every loaded table, in list order
//   SaveTablesFromList();      // the tables "savetableslist.txt" names
#pragma once

#include <cstdint>

namespace tessera {

// Rows saved per transaction: a commit after this many successful statements.
inline constexpr int32_t kSaveBatchRows = 2000;

// Under the store lock, walks the rows in list order: state 5 (persisted, modified) is updated,
// a persisted row flagged deleted (1 and 8) is deleted, state 2 or 6 (new) is inserted; other
// states are left alone. A row whose statement succeeded and was committed gets state 1 (a
// deleted one leaves the table); a row whose statement failed keeps its state so that the next
// save tries it again. False only when the table is not loaded or has no connection.
bool SaveTable(const char* tableName);
// SaveTable for every loaded table, in list order; true.
bool SaveAllTables();
// SaveTable for the first word of each line of "<root>/data/savetableslist.txt"; true, also
// when the list is missing ("No tables to be saved.\n").
bool SaveTablesFromList();

}  // namespace tessera
