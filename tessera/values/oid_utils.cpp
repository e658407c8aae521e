#include "tessera/values/oid_utils.h"

#include <cstring>
#include <new>
#include <string_view>

#include "agent/log/log.h"
#include "tessera/values/trace.h"

namespace tessera {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A non-empty run of digits that fits 32 bits.
std::optional<uint32_t> ParsePart(std::string_view part) {
  if (part.empty()) return std::nullopt;
  unsigned long long value = 0;
  for (char c : part) {
    if (!IsDigit(c)) return std::nullopt;
    value = value * 10 + static_cast<unsigned>(c - '0');
    if (value > 0xFFFFFFFFull) return std::nullopt;
  }
  return static_cast<uint32_t>(value);
}

std::string DottedText(const uint32_t* subIds, int32_t from, int32_t to, bool leadingDot) {
  std::string text;
  for (int32_t i = from; i < to; ++i) {
    if (leadingDot || i > from) text += '.';
    text += std::to_string(subIds[i]);
  }
  return text;
}

}  // namespace

std::string ConvertToStringFromOID(const uint32_t* subIds, int32_t& byteLength) {
  TraceEntry("ConvertToStringFromOID");
  int32_t count = (subIds == nullptr || byteLength < 0) ? 0 : byteLength / 4;
  std::string text = count > 0 ? DottedText(subIds, 0, count, true) : std::string();
  byteLength = static_cast<int32_t>(text.size());
  return text;
}

int32_t ConvertToStringFromOid(const uint32_t* subIds, int32_t count, std::string& out) {
  TraceEntry("ConvertToStringFromOid");
  out = (subIds == nullptr || count <= 0) ? std::string() : DottedText(subIds, 0, count, true);
  return static_cast<int32_t>(out.size());
}

int32_t ConvertToOidOrIpFromString(Oid& out, const char* text, bool isIp) {
  TraceEntry("ConvertToOidOrIpFromString");
  out.clear();
  const char* formatError = isIp ? "Incorrect format of IpAddress\n" : "Incorrect format of OID\n";
  if (text == nullptr || std::strchr(text, '.') == nullptr || (!isIp && text[0] != '.')) {
    LogError(formatError);
    return -1;
  }
  std::string_view rest(text);
  if (!isIp) rest.remove_prefix(1);
  while (true) {
    size_t dot = rest.find('.');
    std::optional<uint32_t> part = ParsePart(rest.substr(0, dot));
    if (!part) {
      out.clear();
      return -1;
    }
    out.push_back(*part);
    if (dot == std::string_view::npos) break;
    rest.remove_prefix(dot + 1);
  }
  return static_cast<int32_t>(out.size());
}

std::string ConvertToIpAddressFromOid(const uint32_t* subIds, int32_t from, int32_t to) {
  TraceEntry("ConvertToIpAddressFromOid");
  if (subIds == nullptr || from < 0 || to <= from) return std::string();
  return DottedText(subIds, from, to, false);
}

bool IsValidIPAddress(const char* text, int32_t length) {
  TraceEntry("IsValidIPAddress");
  if (text == nullptr || length <= 0) return false;
  std::string_view address(text, static_cast<size_t>(length));
  address = address.substr(0, address.find('\0'));
  int dots = 0;
  size_t start = 0;
  for (size_t i = 0; i <= address.size(); ++i) {
    if (i < address.size() && address[i] != '.') continue;
    std::optional<uint32_t> part = ParsePart(address.substr(start, i - start));
    if (!part || *part > 255) return false;  // also a leading dot, two dots in a row, a trailing dot
    if (i < address.size()) ++dots;
    start = i + 1;
  }
  return dots == 3;
}

bool IsValidOid(const char* text, int32_t length) {
  TraceEntry("IsValidOid");
  if (text == nullptr || length <= 0 || text[0] != '.') return false;
  int dots = 0;
  for (int32_t i = 0; i < length && text[i] != '\0'; ++i)
    if (text[i] == '.') ++dots;
  return dots > 1;
}

int CompareOid(const uint32_t* a, int32_t countA, const uint32_t* b, int32_t countB) {
  TraceEntry("CompareOid");
  if (a == nullptr) countA = 0;
  if (b == nullptr) countB = 0;
  for (int32_t i = 0; i < countA && i < countB; ++i) {
    if (a[i] > b[i]) return 1;
    if (a[i] < b[i]) return -1;
  }
  if (countA > countB) return 1;
  if (countA < countB) return -1;
  return 0;
}

Oid CopyOid(const uint32_t* source, int32_t count) {
  TraceEntry("CopyOid");
  if (source == nullptr || count <= 0) return {};
  return Oid(source, source + count);
}

void SetNOid(Oid& target, int32_t position, const uint32_t* source, int32_t count) {
  TraceEntry("SetNOid");
  if (source == nullptr || position < 0 || count <= 0) return;
  size_t end = static_cast<size_t>(position) + static_cast<size_t>(count);
  if (target.size() < end) target.resize(end, 0);
  for (int32_t i = 0; i < count; ++i) target[static_cast<size_t>(position + i)] = source[i];
}

int32_t GetOidLength(const char* text) {
  TraceEntry("GetOidLength");
  if (text == nullptr) return 0;
  int32_t dots = 0;
  for (const char* p = text; *p != '\0'; ++p)
    if (*p == '.') ++dots;
  return dots;
}

std::optional<uint32_t> GetNextSubId(const uint32_t* subIds, int32_t count, uint32_t value) {
  TraceEntry("GetNextSubId");
  for (int32_t i = 0; subIds != nullptr && i < count; ++i)
    if (subIds[i] > value) return subIds[i];
  return std::nullopt;
}

int ReallocateAndSetOID(Oid& target, const uint32_t* source, int32_t count) {
  TraceEntry("ReallocateAndSetOID");
  try {
    target = CopyOid(source, count);
  } catch (const std::bad_alloc&) {
    LogError("Unable to allocate memory\n");
    return 99;
  }
  return 1;
}

Oid CopyStringToOid(const char* text, int32_t length) {
  TraceEntry("CopyStringToOid");
  Oid out;
  for (int32_t i = 0; text != nullptr && i < length; ++i) out.push_back(static_cast<unsigned char>(text[i]));
  return out;
}

Oid CopyStringToOID(const char* text) {
  TraceEntry("CopyStringToOID");
  return text ? CopyStringToOid(text, static_cast<int32_t>(std::strlen(text))) : Oid();
}

std::string ConvertToCharArray(const uint32_t* subIds, int32_t count) {
  TraceEntry("ConvertToCharArray");
  std::string out;
  for (int32_t i = 0; subIds != nullptr && i < count; ++i) out += static_cast<char>(subIds[i] % 255);
  return out;
}

void PrintOid(const uint32_t* subIds, int32_t count) {
  TraceEntry("PrintOid");
  std::string text;
  ConvertToStringFromOid(subIds, count, text);
  LogDebug("OID : %s\n", text);
}

void PrintStream(const BYTE* bytes, int32_t length) {
  TraceEntry("PrintStream");
  std::string text;
  for (int32_t i = 0; bytes != nullptr && i < length; ++i) text += hl::Sprintf("%02X ", bytes[i]);
  LogDebug("Stream : %s\n", text);
}

}  // namespace tessera
