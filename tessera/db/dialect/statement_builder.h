// The shared statement builder: one function per statement, parameterised by a dialect's facts.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "tessera/db/dialect/dialect_facts.h"
#include "tessera/db/result_set.h"
#include "tessera/query/select_query.h"
#include "tessera/table/row_object.h"

namespace tessera::dialect {

std::optional<std::string> BuildSelect(const SelectQuery* query, const DialectFacts& facts);
// Update and delete are refused (an ERROR line, nullopt) when no key condition can be written:
// such a statement would reach every row of the table.
std::optional<std::string> BuildUpdate(const char* tableName, const RowObject* row, const DialectFacts& facts);
std::optional<std::string> BuildInsert(const char* tableName, const RowObject* row, const DialectFacts& facts);
std::optional<std::string> BuildDelete(const char* tableName, const RowObject* row, const DialectFacts& facts);
std::optional<std::string> BuildCreate(const char* tableName, const DialectFacts& facts);
// A value delivered as `reportedType` in the in-memory form of `columnType`.
Value ConvertToColumnType(const Value& value, BYTE reportedType, BYTE columnType);
// A persisted row in the table's dictionary forms from the result set's current row.
std::unique_ptr<RowObject> BuildRowFromResult(const ResultSet* resultSet, const char* tableName,
                                              const DialectFacts& facts);

}  // namespace tessera::dialect
