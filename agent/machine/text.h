// Text conversions (UTF-8 <-> UTF-16) and text utilities.
#pragma once

#include <string>

#include "agent/log/error_text.h"  // the error texts, reached through this header too
#include "platform/win32.h"

namespace hl {
using WString = std::basic_string<WCHAR>;
}

// 1 on success, 0 on failure (missing input logs an ERROR line).
int ChangeToWideStr(const char* utf8, hl::WString& out);
bool ChangeUtf8ToWideStr(const char* utf8, hl::WString& out);
// The same conversion for secrets (passwords): the input is never logged.
bool ChangeUtf8ToWideSecretStr(const char* utf8, hl::WString& out);
bool ChangeWideToUtf8Str(const WCHAR* wide, std::string& out);
int ChangeAnsiToUTF8Str(const char* text, std::string& out);

std::string ToLowerUtf8(const char* utf8);
std::string FindAndReplaceWithNoCase(const char* input, const char* oldString, const char* newString);
std::string ReplaceChar(const char* text, char from, char to);
ULONGLONG StringToUInt64(const char* text);
