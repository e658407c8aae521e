// Values as SQL text: escaped quoted literals and the per-dialect rendering of a value.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "tessera/db/dialect/dialect_facts.h"
#include "tessera/values/value.h"

namespace tessera::dialect {

// The text between single quotes with every quote doubled (and, for MYSQL, every backslash).
std::string QuoteLiteral(std::string_view text, const DialectFacts& facts);
// The escaped text without the surrounding quotes.
std::string EscapeLiteral(std::string_view text, const DialectFacts& facts);

// Types whose values are written as quoted literals in SET lists and inserts, in key
// conditions and in criteria.
bool QuotedInSet(BYTE type);       // 14-18, 20, 21, 22
bool QuotedInKey(BYTE type);       // 14-18, 20 (delete), 22
bool QuotedInCriteria(BYTE type);  // 14-18, 20, 21, 22

// The value as a statement writes it: "NULL" for a NULL value, the dialect's boolean literal,
// a quoted escaped literal when `quoted`, else the plain text. nullopt when the value cannot be
// written (type 0, or a type above 22).
std::optional<std::string> RenderValue(const Value& value, BYTE type, bool quoted, const DialectFacts& facts);

}  // namespace tessera::dialect
