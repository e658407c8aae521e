// Hexadecimal digits, nibble splitting and the store's XOR key scrambling.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/win32.h"

namespace tessera {

// The value of a hexadecimal digit; any other character is returned unchanged.
int GetHexValue(char c);
// The value of a hexadecimal digit; 0 for any other character.
int ConvertToDecimalFromHexa(char c);
// Packs pairs of hexadecimal digits into bytes written over the start of `text`; returns the
// number of bytes written (length / 2). Non-digits count as 0.
int32_t ConvertToHexValue(char* text, int32_t length);
// Splits each byte into its two 4-bit halves, high first, one per output byte.
std::vector<BYTE> ConvertToStringFromHex(const BYTE* bytes, int32_t length);
// XORs every byte with the low byte of k = key + 9 (reduced modulo 255 when 256 or more);
// applying it twice with the same key restores the buffer.
void EncryptDecryptKey(BYTE* buffer, int32_t length, int key);

}  // namespace tessera
