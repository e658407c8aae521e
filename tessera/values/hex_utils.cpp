#include "tessera/values/hex_utils.h"

#include "tessera/values/trace.h"

namespace tessera {

int GetHexValue(char c) {
  TraceEntry("GetHexValue");
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return c;
}

int ConvertToDecimalFromHexa(char c) {
  TraceEntry("ConvertToDecimalFromHexa");
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 0;
}

int32_t ConvertToHexValue(char* text, int32_t length) {
  TraceEntry("ConvertToHexValue");
  if (text == nullptr || length < 2) return 0;
  int32_t count = length / 2;
  for (int32_t i = 0; i < count; ++i) {
    int high = ConvertToDecimalFromHexa(text[2 * i]);
    int low = ConvertToDecimalFromHexa(text[2 * i + 1]);
    text[i] = static_cast<char>((high << 4) | low);
  }
  return count;
}

std::vector<BYTE> ConvertToStringFromHex(const BYTE* bytes, int32_t length) {
  TraceEntry("ConvertToStringFromHex");
  std::vector<BYTE> out;
  if (bytes == nullptr || length <= 0) return out;
  out.reserve(static_cast<size_t>(length) * 2);
  for (int32_t i = 0; i < length; ++i) {
    out.push_back(static_cast<BYTE>(bytes[i] >> 4));
    out.push_back(static_cast<BYTE>(bytes[i] & 0x0F));
  }
  return out;
}

void EncryptDecryptKey(BYTE* buffer, int32_t length, int key) {
  TraceEntry("EncryptDecryptKey");
  if (buffer == nullptr) return;
  long long k = static_cast<long long>(key) + 9;
  if (k >= 256) k %= 255;
  BYTE mask = static_cast<BYTE>(k & 0xFF);
  for (int32_t i = 0; i < length; ++i) buffer[i] ^= mask;
}

}  // namespace tessera
