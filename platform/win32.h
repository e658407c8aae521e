// The one header through which product code reaches the Windows API.
// On Windows it is the SDK; elsewhere it is the stand-in of this folder, which answers
// from the machine folder named by HL_MACHINE.
#pragma once

#ifdef _WIN32
#include <winsock2.h>  // before windows.h, which would pull in the old winsock.h
#include <windows.h>
#include <winreg.h>
#include <iphlpapi.h>
#include <lm.h>
#include <dsgetdc.h>
#include <wincrypt.h>
#include <cstdio>
#include <direct.h>
#include <objbase.h>
#include <oleauto.h>
#include <wbemidl.h>
#include <winhttp.h>
#define WSTR(s) L##s
#define hl_fopen fopen
#define hl_mkdir _mkdir
#define hl_remove remove
#else
#include "platform/core/win_types.h"
#include "platform/system/win_system.h"
#include "platform/files/win_files.h"
#include "platform/registry/win_registry.h"
#include "platform/com/win_com.h"
#include "platform/net/win_net.h"
#include "platform/services/win_services.h"
#include "platform/crypt/win_crypt.h"
#include "platform/winhttp/win_winhttp.h"
#endif
