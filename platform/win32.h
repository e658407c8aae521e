// The one header through which product code reaches the Windows API.
// On Windows it is the SDK; elsewhere it is the stand-in of this folder, which answers
// from the machine folder named by HL_MACHINE.
#pragma once

#ifdef _WIN32
#include <windows.h>
#include <winreg.h>
#include <cstdio>
#include <direct.h>
#include <objbase.h>
#include <oleauto.h>
#include <wbemidl.h>
#define WSTR(s) L##s
#define hl_fopen fopen
#define hl_mkdir _mkdir
#define hl_remove remove
#else
#include "platform/win_types.h"
#include "platform/win_system.h"
#include "platform/win_files.h"
#include "platform/win_registry.h"
#include "platform/win_com.h"
#endif
