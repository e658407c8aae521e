#include "tessera/values/snmp_utils.h"

#include "agent/log/format.h"
#include "tessera/values/text_scan.h"
#include "tessera/values/trace.h"

namespace tessera {

std::optional<std::string> ConvertToStringFromDateTime(const BYTE* octets, int32_t length) {
  TraceEntry("ConvertToStringFromDateTime");
  if (octets == nullptr || (length != 8 && length != 11)) return std::nullopt;
  int year = (octets[0] << 8) | octets[1];
  std::string text = hl::Sprintf("%d-%d-%d,%d:%d:%d.%d", year, octets[2], octets[3], octets[4], octets[5],
                                 octets[6], octets[7]);
  if (length == 11) text += hl::Sprintf(",%c%d:%d", static_cast<char>(octets[8]), octets[9], octets[10]);
  return text;
}

std::vector<BYTE> ConvertToDateTimeFromString(const char* text, int32_t length) {
  TraceEntry("ConvertToDateTimeFromString");
  if (text == nullptr || length <= 0) return {};
  std::string_view view(text, static_cast<size_t>(length));
  std::string bounded(view.substr(0, view.find('\0')));
  std::vector<ScanField> f;
  int fields = ScanText(bounded.c_str(), "%d-%d-%d,%d:%d:%d.%d,%c%d:%d", f);
  if (fields != 7 && fields != 10) return {};
  std::vector<BYTE> octets = {static_cast<BYTE>(f[0].number >> 8), static_cast<BYTE>(f[0].number),
                              static_cast<BYTE>(f[1].number),      static_cast<BYTE>(f[2].number),
                              static_cast<BYTE>(f[3].number),      static_cast<BYTE>(f[4].number),
                              static_cast<BYTE>(f[5].number),      static_cast<BYTE>(f[6].number)};
  if (fields == 10) {
    octets.push_back(static_cast<BYTE>(f[7].text[0]));
    octets.push_back(static_cast<BYTE>(f[8].number));
    octets.push_back(static_cast<BYTE>(f[9].number));
  }
  return octets;
}

Counter64 ConvertToCounter64FromULongLong(uint64_t value) {
  TraceEntry("ConvertToCounter64FromULongLong");
  return Counter64{static_cast<uint32_t>(value >> 32), static_cast<uint32_t>(value)};
}

uint64_t ConvertToULongLongFromCounter64(const Counter64& value) {
  TraceEntry("ConvertToULongLongFromCounter64");
  return (static_cast<uint64_t>(value.high) << 32) | value.low;
}

bool ConvertToCounter64(Counter64& pair, const BYTE* octets, int32_t length) {
  TraceEntry("ConvertToCounter64");
  if (octets == nullptr || length < 0) return false;
  if (length == 9) {
    ++octets;
    --length;
  }
  if (length > 8) return false;
  uint64_t value = 0;
  for (int32_t i = 0; i < length; ++i) value = (value << 8) | octets[i];
  pair = ConvertToCounter64FromULongLong(value);
  return true;
}

int32_t ConvertToInteger(const BYTE* octets, int32_t length) {
  TraceEntry("ConvertToInteger");
  if (octets == nullptr || length > 4) return -1;
  uint32_t value = 0;
  for (int32_t i = 0; i < length; ++i) value = (value << 8) | octets[i];
  return static_cast<int32_t>(value);
}

}  // namespace tessera
