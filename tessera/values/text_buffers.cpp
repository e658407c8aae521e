#include "tessera/values/text_buffers.h"

#include <cstring>
#include <new>

#include "agent/log/log.h"
#include "tessera/values/trace.h"

namespace tessera {

void FreeStringArray(std::vector<std::string>& array) {
  TraceEntry("FreeStringArray");
  std::vector<std::string>().swap(array);
}

int ReallocateAndSetString(std::string& target, const char* text, int32_t length) {
  TraceEntry("ReallocateAndSetString");
  if (text == nullptr || length < 0) return 0;
  try {
    target.assign(text, static_cast<size_t>(length));
  } catch (const std::bad_alloc&) {
    LogError("Unable to allocate memory\n");
    return 99;
  }
  return 1;
}

int AllocateByteCopy(std::vector<BYTE>& target, const void* bytes, int32_t length) {
  TraceEntry("AllocateByteCopy");
  if ((bytes == nullptr && length > 0) || length < 0) return 0;
  try {
    std::vector<BYTE> copy(static_cast<size_t>(length) + 1, 0);
    if (length > 0) std::memcpy(copy.data(), bytes, static_cast<size_t>(length));
    target = std::move(copy);
  } catch (const std::bad_alloc&) {
    LogError("Unable to allocate memory\n");
    return 99;
  }
  return 1;
}

int AllocateAndStrcpy(std::string& target, const char* text) {
  TraceEntry("AllocateAndStrcpy");
  if (text == nullptr) return 0;
  try {
    target = text;
  } catch (const std::bad_alloc&) {
    LogError("Unable to allocate memory\n");
    return 99;
  }
  return 1;
}

std::optional<std::string> ToLowerString(const char* text) {
  TraceEntry("ToLowerString");
  if (text == nullptr) return std::nullopt;
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

std::optional<std::string> ToUpperString(const char* text) {
  TraceEntry("ToUpperString");
  if (text == nullptr) return std::nullopt;
  std::string out(text);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

bool IsDirectory(const char* path) {
  TraceEntry("IsDirectory");
  if (path == nullptr) return false;
  DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace tessera
