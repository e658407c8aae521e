// Object identifiers (arrays of 32-bit unsigned sub-identifiers) and dotted IP address texts.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/win32.h"

namespace tessera {

using Oid = std::vector<uint32_t>;

// "." before each sub-identifier: {1, 3, 6} gives ".1.3.6". `byteLength` goes in as the byte size
// of the array (4 per sub-identifier) and comes out as the text length.
std::string ConvertToStringFromOID(const uint32_t* subIds, int32_t& byteLength);
// The same text for `count` sub-identifiers into `out`; returns its length.
int32_t ConvertToStringFromOid(const uint32_t* subIds, int32_t count, std::string& out);
// Parses dotted text into sub-identifiers: an object identifier must start with "."; every part
// must be a decimal number (an empty part is refused). Text without a dot logs
// "Incorrect format of IpAddress\n" or "Incorrect format of OID\n". Returns the number of parts,
// -1 on error.
int32_t ConvertToOidOrIpFromString(Oid& out, const char* text, bool isIp);
// Dotted decimal text of sub-identifiers from .. to-1.
std::string ConvertToIpAddressFromOid(const uint32_t* subIds, int32_t from, int32_t to);
// Exactly three dots, no leading dot, no two dots in a row, every part decimal digits of value 0-255.
bool IsValidIPAddress(const char* text, int32_t length);
// Starts with "." and has more than one dot.
bool IsValidOid(const char* text, int32_t length);
// Element-wise unsigned comparison, then by length: 1 when a > b, -1 when a < b, 0 when equal.
int CompareOid(const uint32_t* a, int32_t countA, const uint32_t* b, int32_t countB);

// Copy of `count` sub-identifiers.
Oid CopyOid(const uint32_t* source, int32_t count);
// Splice: writes `count` sub-identifiers of `source` into `target` from `position` on (growing it).
void SetNOid(Oid& target, int32_t position, const uint32_t* source, int32_t count);
// Number of dots in a dotted text (the number of sub-identifiers of ".1.3.6").
int32_t GetOidLength(const char* text);
// The first sub-identifier greater than `value`; nullopt when none.
std::optional<uint32_t> GetNextSubId(const uint32_t* subIds, int32_t count, uint32_t value);
// Replaces `target` with a copy of `count` sub-identifiers; 1, or 99 on allocation failure.
int ReallocateAndSetOID(Oid& target, const uint32_t* source, int32_t count);
// Widens each character (as an unsigned byte) to a sub-identifier: `length` characters / a C string.
Oid CopyStringToOid(const char* text, int32_t length);
Oid CopyStringToOID(const char* text);
// Narrows each sub-identifier to a character (value mod 255).
std::string ConvertToCharArray(const uint32_t* subIds, int32_t count);
// DEBUG listings: "OID : %s\n" with the dotted text; "Stream : %s\n" with the bytes in hex.
void PrintOid(const uint32_t* subIds, int32_t count);
void PrintStream(const BYTE* bytes, int32_t length);

}  // namespace tessera
