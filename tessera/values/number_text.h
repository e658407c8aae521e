// Numeric text parsers and integer-to-text helpers of the store.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tessera {

// Optional "+" or "-", then decimal digits to the end of the text; any other text gives 0.
// Values out of range wrap at the result's width.
int32_t StringToInt32(const char* text);
int64_t StringToInt64(const char* text);
// Optional sign, digits, optionally "." and fraction digits, to the end; else 0. The fraction is
// accumulated digit by digit (digit/10, digit/100, ...).
double StringToReal(const char* text);
// Digits with an optional leading sign, read from the last digit backwards; -1 for other text,
// 0 for an empty (or null) text. Used for max-size and object identifiers.
int32_t StringToInteger(const char* text);
// Digits with at most one "."; integer and fraction parts summed; 0 for other text.
double StringToDecimal(const char* text);

// Signed decimal text.
std::string ConvertToStringFromInteger(int32_t value);
// Unsigned decimal text; its length through `length`.
std::string ConvertToStringFromUnsignedInteger(uint32_t value, int32_t& length);
// kind 0: the signed integer (read at min(length, 4) bytes); kind 1: "TRUE" or "FALSE" of the
// first byte; other kinds, or a null value, give nullopt.
std::optional<std::string> ToString(const void* value, int32_t length, int kind);

}  // namespace tessera
