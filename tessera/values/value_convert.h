// Conversions between the textual form of a value and its in-memory form (Value), by type code.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "tessera/values/apr_headers.h"

#include "platform/win32.h"
#include "tessera/values/value.h"

namespace tessera {

// Text to in-memory form for `typeCode`; `length` goes in as the text's byte count (used by the
// raw-byte codes 0, 12, 13, 20, 21) and comes out as the value's length (0 on failure).
//   1-6: StringToInt32 at the type's width (low bytes); 7, 8: StringToInt64, 8 bytes;
//   9, 11: float; 10: double; 14, 15, 22: the string; 16-18: ConvertStringToCrvDateTime, length 11;
//   19: "TRUE" -> 1, "FALSE" -> 0 (any case), other text fails; length 1.
// A null text, a code above 22 or a failed conversion give a NULL Value.
Value ConvertStringToValue(const char* text, int32_t& length, BYTE typeCode);

// In-memory form to text: "NULL" for a NULL value; nullopt for code 0 or a code above 22.
//   1, 3, 5 "%d"; 2, 4, 6 "%u"; 7, 8 the full 64-bit value; 9-11 "%f"; 12-15, 20-22 the text;
//   16-18 the date/time text; 19 "'t'" for 1, else "'f'".
std::optional<std::string> ConvertValueToString(const Value& value, BYTE typeCode);

// The same text allocated from `pool` (for the SQL generators) for codes 1-15 and 19; null for
// code 0, codes 16-18 and codes from 20, and when no pool is given. A NULL value gives "NULL".
const char* ConvertValueToPoolString(const Value& value, BYTE typeCode, apr_pool_t* pool);

}  // namespace tessera
