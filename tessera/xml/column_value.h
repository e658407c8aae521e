// Column values of the XML conversion: attribute text to value for the import, and the value
// comparison the buffer writer uses to leave out defaults.
#pragma once

#include <cstdint>

#include "platform/win32.h"
#include "tessera/values/value.h"

namespace tessera {

// Status bytes of the store's operations.
inline constexpr BYTE kTesseraFailure = 0;
inline constexpr BYTE kTesseraSuccess = 1;
inline constexpr BYTE kTesseraNoMemory = 99;

// Converts one attribute text into the value of a column of `typeCode`; `length` receives the
// value's byte length (0 when there is no value). A null text traces "value parameter in
// AllocateAndCopyColumnValue is NULL \n" and fails.
//   1-6            StringToInt32, 4 bytes
//   7, 8           StringToInt64, 8 bytes
//   9, 10, 11      StringToReal, 8-byte double
//   12, 13, 20, 21 the text's bytes as supplied
//   14, 15, 22     the string
//   16             "%d-%d-%d" into a CrvDate, length 4
//   17             "%d:%d:%d" into a CrvTime, length 3
//   18             "%d-%d-%d %d:%d:%d" into a CrvDateTime, length 11 (fields not read are 0)
//   19             0 for "false" (any case), else 1; length 1
//   0, above 22    no value (success)
BYTE AllocateAndCopyColumnValue(Value& value, int32_t& length, BYTE typeCode, const char* text);

// True when the two values differ. 1, 2, 3, 5, 6 compare 32-bit integers; 9 and 10 compare as
// single-precision floats that differ when |a - b| >= 1e-10; 14, 15, 19, 22 compare as strings;
// 16, 17, 18 compare year, month, day, hour, minute and second (a missing part counts as zeros).
// A NULL equals only a NULL. Any other code logs "Invalid type.  Cannot compare values.\n" at
// ERROR and gives false.
bool CompareValues(BYTE typeCode, const Value& a, const Value& b);

// Whether two values of a column are the same: CompareValues for the codes it knows, the number
// for the other integer codes (4, 7, 8, whatever width they are stored at) and for code 11 (as
// code 9), the stored bytes for the rest; never the invalid-type message.
bool SameColumnValue(BYTE typeCode, const Value& a, const Value& b);

}  // namespace tessera
