// Operating-system identification: display name and family.
#pragma once

#include <optional>
#include <string>

#include "platform/win32.h"

// Display name such as "Windows Server 2012 R2 Standard Edition (x64)"; none when the version
// cannot be read. Nonzero arguments stand in for the system's version numbers.
std::optional<std::string> GetOSNameEx(DWORD major = 0, DWORD minor = 0);
int GetOsFamily();
int isWin7orWin8();
