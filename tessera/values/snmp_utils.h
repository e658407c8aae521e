// SNMP value forms: DateAndTime octets (RFC 2579), Counter64 halves and big-endian integers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/win32.h"

namespace tessera {

struct Counter64 {
  uint32_t high = 0;
  uint32_t low = 0;
  bool operator==(const Counter64&) const = default;
};

// 8 octets: "%d-%d-%d,%d:%d:%d.%d"; 11 octets: "%d-%d-%d,%d:%d:%d.%d,%c%d:%d". The year is the
// first two octets, big-endian. Other lengths give nullopt.
std::optional<std::string> ConvertToStringFromDateTime(const BYTE* octets, int32_t length);
// The reverse: 7 fields give 8 octets, 10 fields give 11; anything else gives an empty result.
std::vector<BYTE> ConvertToDateTimeFromString(const char* text, int32_t length);

Counter64 ConvertToCounter64FromULongLong(uint64_t value);
uint64_t ConvertToULongLongFromCounter64(const Counter64& value);
// Big-endian octets to a high/low pair (of 9 octets the first is skipped); false when more than
// 8 octets remain.
bool ConvertToCounter64(Counter64& pair, const BYTE* octets, int32_t length);
// Big-endian octets to an integer; -1 when length exceeds 4.
int32_t ConvertToInteger(const BYTE* octets, int32_t length);

}  // namespace tessera
