// Reference tokens of the XML import: an attribute text Table:Column:Key stands for the
// identifier generated for Key, the same one wherever the token appears in one document.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/win32.h"
#include "tessera/schema/table_defn.h"
#include "tessera/values/hash_table.h"
#include "tessera/values/value.h"

namespace tessera {

// Token text (and "table:column:key" aliases) -> identifier, for one import.
using AutoIdMap = HashTable<int32_t>;
inline constexpr int32_t kAutoIdMapBuckets = 50;

// A text holding two or more ":" is a reference token.
bool IsReferenceToken(std::string_view text);

struct ReferenceToken {
  std::string_view table;   // before the first ":"
  std::string_view column;  // between the first and the second ":"
  std::string_view key;     // after the second ":" (may hold more ":")
};
// The parts of a token; false when the text is no token.
bool SplitReferenceToken(std::string_view text, ReferenceToken& token);

// The value a token gives column `column` of table `tableName`:
//  - text and raw-byte codes (12-15, 20-22): the Key;
//  - date/time codes (16-18): the whole text converted (date-time texts hold colons);
//  - Workflow_Statements.NEXT_STATEMENT_ID with Key "0": 0;
//  - the integer codes: the identifier of the token, mapped in `map` (see the source for the
//    search), in the column's import form.
// A token whose table or column is not in the dictionary logs "Unable to get Column details for
// AutoID generation \n" and leaves `value` NULL (still success). 99 when memory runs out.
BYTE ConvertReferenceToken(AutoIdMap& map, const char* tableName, const ColumnDefn& column, const std::string& token,
                           Value& value);

// An attribute text for a column: a token through ConvertReferenceToken, any other text through
// AllocateAndCopyColumnValue.
BYTE ConvertAttributeText(AutoIdMap& map, const char* tableName, const ColumnDefn& column, const std::string& text,
                          Value& value);

}  // namespace tessera
