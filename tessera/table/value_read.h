// Little-endian integer reads of stored values at a given width, never past the stored length.
#pragma once

#include <cstdint>
#include <cstring>

#include "platform/win32.h"

namespace tessera {

// The first `n` bytes (0..8) as an unsigned little-endian integer.
inline unsigned long long LoadUnsignedLE(const BYTE* p, int32_t n) {
  switch (n) {
    case 1: return p[0];
    case 2: { uint16_t v; std::memcpy(&v, p, 2); return v; }
    case 4: { uint32_t v; std::memcpy(&v, p, 4); return v; }
    case 8: { uint64_t v; std::memcpy(&v, p, 8); return v; }
    default: break;
  }
  unsigned long long raw = 0;
  for (int32_t i = (n > 8 ? 8 : n) - 1; i >= 0; --i) raw = (raw << 8) | p[i];
  return raw;
}

// The first `n` bytes (0..8) as a signed little-endian integer, sign-extended.
inline long long LoadSignedLE(const BYTE* p, int32_t n) {
  switch (n) {
    case 1: return static_cast<signed char>(p[0]);
    case 2: { int16_t v; std::memcpy(&v, p, 2); return v; }
    case 4: { int32_t v; std::memcpy(&v, p, 4); return v; }
    case 8: { int64_t v; std::memcpy(&v, p, 8); return v; }
    default: break;
  }
  if (n <= 0) return 0;
  if (n > 8) n = 8;
  unsigned long long raw = LoadUnsignedLE(p, n);
  if (n < 8 && (raw & (1ULL << (n * 8 - 1))) != 0) raw |= ~0ULL << (n * 8);
  return static_cast<long long>(raw);
}

}  // namespace tessera
