// The text forms in which the XML writers put column values into attributes.
#pragma once

#include <optional>
#include <string>

#include "platform/win32.h"
#include "tessera/schema/table_defn.h"
#include "tessera/values/value.h"

namespace tessera {

// The attribute text of a value, before escaping; nullopt when the column is not written (a NULL
// value, code 0 or a code above 22, a date/time value without the part its code shows).
//   1, 3, 5 "%d"; 2, 4, 6 "%u"; 7, 8 the 64-bit value; 9, 11 "%f" of the float; 10 "%f" of the
//   double; 12-15, 20-22 the text; 16 the date, 17 the time, 18 the date and time (the store's
//   date and time texts); 19 "true" or "false".
std::optional<std::string> ColumnValueText(BYTE typeCode, const Value& value);

bool IsIntegerTypeCode(BYTE typeCode);   // 1-8
bool IsTextLikeTypeCode(BYTE typeCode);  // 12-15, 20-22

// The attribute text of a value as a plain export writes it: a text-like value holding two or
// more ":" would be read back as a reference token, so it is written as a token of its own
// table and column, whose Key the import takes as the text.
std::optional<std::string> PlainAttributeText(const char* tableName, const ColumnDefn& column, const Value& value);

// The attribute text in reference mode: a column with a generator as "table:column:value"
// (text values in double quotes), a foreign-key column as "referenceTable:referenceColumn:value";
// only integer and text-like columns are written as tokens, since the import reads the tokens of
// those types back (date/time, boolean and floating-point columns are written plainly).
std::optional<std::string> ReferenceAttributeText(const TableDefn* table, const char* tableName,
                                                  const ColumnDefn& column, const Value& value);

}  // namespace tessera
