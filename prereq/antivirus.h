// The search for an active antivirus product: the Security Center's product list (workstations),
// the installed products and Windows Defender's own status (servers).
// Used on one thread: ConnectWmiNamespace -> one scan -> DisconnectWmi (-> defenderStatusCheck).
#pragma once

#include <string>

#include "platform/win32.h"

// Initialises COM for the multithreaded apartment and connects the process-wide WMI service to
// `ns` (WSTR("root\\SecurityCenter2") or WSTR("root\\CIMV2")). Returns the last HRESULT; on
// failure there is no service and the scans log that the connection failed.
HRESULT ConnectWmiNamespace(const WCHAR* ns);

// Security Center scan: *found = 1 when some AntivirusProduct's state says enabled; never cleared.
// Returns 0, or the query's failure HRESULT.
HRESULT LoadInstalledUpdatesUsingWMI(BYTE* found);

// Installed-products scan: *found = 1 at the first Win32_Product whose name is a known antivirus
// name; never cleared.
void FindAntivirusInInstalledProducts(BYTE* found);

// True when one of the known antivirus names occurs in `name` (case-sensitive substring).
bool IsKnownAntivirusName(const char* name);

// 1 when Windows Defender's client library reports Defender enabled, else 0.
BYTE defenderStatusCheck();

// Releases the WMI service (when there is one) and uninitialises COM.
void DisconnectWmi();

// The text of a WMI property value: a string gives its text, null or absent gives "-".
std::basic_string<WCHAR> WmiValueToText(const VARIANT& value);

// 1 when `path` opens for reading with no sharing (existing files only) and is not empty, else 0.
int IsFileExist(const char* path);
