// Texts of system and product error codes, and the log lines that report them.
#pragma once

#include <string>

#include "platform/win32.h"

// The system text for a code (or the product's own table); logged, returned.
std::string GetErrorMessage(DWORD code);
void LogErrorMessage(DWORD code);
int LogErrorMessageA(DWORD code);
std::string GetCustomErrorMessage(DWORD code);
void LogLastError();
