// The local computer's identity: name, namespace (domain or workgroup), addresses and logon server.
#pragma once

#include <string>

#include "platform/win32.h"

// NetBIOS domain or workgroup name (untrimmed, UTF-8) and 1 when joined to a domain, else 0.
// 1 on success, 0 on failure.
int GetComputerNameSpace(std::string& nameSpace, int& domainJoined);

// Comma-separated IPv4 addresses, MAC addresses ("--" when none) and subnet masks of the
// adapters' addresses other than 0.0.0.0. 0 on success, else a system error code.
int GetMACandIPAddress(std::string& ipList, std::string& macList, std::string& maskList);

// The logon domain controller's name without its leading "\\". 0 or the DsGetDcNameA error.
int GetComputerLogonServer(std::string& domainController);

// The physical DNS host name in UTF-8. 1 on success, 0 on failure.
int GetLocalComputerName(std::string& computerName);

namespace hl {
// Each address list holds at most this many characters (its buffer bound less the terminator).
inline constexpr size_t kAddressListLimit = 0x7FFF - 1;
}  // namespace hl
