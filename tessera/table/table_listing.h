// Listings of tables, views and selections: the column names, then one line per row with each
// value followed by a tab ("NULL" for a NULL value).
#pragma once

#include <optional>
#include <string>

#include "tessera/table/result_data.h"

namespace tessera {

// DEBUG listings, one log line per listing line. PrintTableData of a view lists the view;
// PrintResultData skips rows flagged deleted.
void PrintTableData(const char* tableName);
void PrintCustomViewData(const char* viewName);
void PrintResultData(const ResultData* result);

// The same text as PrintTableData / PrintCustomViewData, logged at TRACE as
// "String Value of Relvar Data\n %s\n" and returned; none when the table is missing or has no
// columns.
std::optional<std::string> ToStringTableData(const char* tableName);
std::optional<std::string> ToStringCustomViewData(const char* viewName);

}  // namespace tessera
