// Owned copies of texts and bytes, case folding, and the directory test.
// The copy operations return 1 on success, 99 on allocation failure ("Unable to allocate
// memory\n" at ERROR) and 0 for a null source.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/win32.h"

namespace tessera {

// Frees every string and the array itself (empties it).
void FreeStringArray(std::vector<std::string>& array);
// Replaces `target` with a copy of `length` bytes of `text`.
int ReallocateAndSetString(std::string& target, const char* text, int32_t length);
// `length` bytes followed by one zero byte (target.size() == length + 1).
int AllocateByteCopy(std::vector<BYTE>& target, const void* bytes, int32_t length);
int AllocateAndStrcpy(std::string& target, const char* text);
// Copies with ASCII letters folded; nullopt for a null text.
std::optional<std::string> ToLowerString(const char* text);
std::optional<std::string> ToUpperString(const char* text);
// Whether the path names a directory.
bool IsDirectory(const char* path);

}  // namespace tessera
