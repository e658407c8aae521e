// GetComputerNameExW and the Winsock start-up calls of the stand-in.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>

#include "platform/core/machine.h"
#include "platform/net/net_internal.h"
#include "platform/core/core_internal.h"
#include "platform/win32.h"

namespace hl::platform {

std::string HostComputerName() {
  char buffer[256] = {};
  if (gethostname(buffer, sizeof buffer - 1) != 0) return "localhost";
  std::string name(buffer);
  size_t dot = name.find('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

}  // namespace hl::platform

namespace {

using hl::platform::Fail;

constexpr size_t kMaxNetBiosLength = 15;  // MAX_COMPUTERNAME_LENGTH

struct ComputerNames {
  std::string host;    // DNS host label
  std::string domain;  // DNS domain, may be empty
};

// machine.json "computerName" (a bare name or a full DNS name) and "dnsDomain", else the host's.
ComputerNames CurrentNames() {
  auto machine = hl::platform::CurrentMachine();
  ComputerNames names;
  const auto& configured = machine->Section("computerName");
  std::string full = configured.is_string() ? configured.get<std::string>() : hl::platform::HostComputerName();
  size_t dot = full.find('.');
  names.host = full.substr(0, dot);
  if (dot != std::string::npos) names.domain = full.substr(dot + 1);
  const auto& domain = machine->Section("dnsDomain");
  if (domain.is_string()) names.domain = domain.get<std::string>();
  return names;
}

std::string NameOfFormat(COMPUTER_NAME_FORMAT format, const ComputerNames& names) {
  switch (format) {
    case ComputerNameNetBIOS:
    case ComputerNamePhysicalNetBIOS: {
      std::string netbios = names.host.substr(0, kMaxNetBiosLength);
      std::transform(netbios.begin(), netbios.end(), netbios.begin(),
                     [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; });
      return netbios;
    }
    case ComputerNameDnsHostname:
    case ComputerNamePhysicalDnsHostname:
      return names.host;
    case ComputerNameDnsDomain:
    case ComputerNamePhysicalDnsDomain:
      return names.domain;
    default:
      return names.domain.empty() ? names.host : names.host + "." + names.domain;
  }
}

std::atomic<int> g_winsockStarts{0};

}  // namespace

BOOL GetComputerNameExW(COMPUTER_NAME_FORMAT NameType, LPWSTR lpBuffer, LPDWORD nSize) {
  if (auto fault = hl::platform::InjectedFault("GetComputerNameExW")) return Fail(*fault, FALSE);
  if (nSize == nullptr || static_cast<int>(NameType) < 0 || NameType >= ComputerNameMax)
    return Fail(ERROR_INVALID_PARAMETER, FALSE);
  std::u16string name = hl::platform::Utf8ToUtf16(NameOfFormat(NameType, CurrentNames()));
  DWORD needed = static_cast<DWORD>(name.size() + 1);
  if (lpBuffer == nullptr || *nSize < needed) {
    *nSize = needed;
    return Fail(ERROR_MORE_DATA, FALSE);
  }
  std::copy(name.begin(), name.end(), lpBuffer);
  lpBuffer[name.size()] = u'\0';
  *nSize = static_cast<DWORD>(name.size());
  return TRUE;
}

int WSAStartup(WORD wVersionRequested, LPWSADATA lpWSAData) {
  if (auto fault = hl::platform::InjectedFault("WSAStartup")) return static_cast<int>(*fault);
  if (lpWSAData == nullptr) return WSAEFAULT;
  const WORD highest = MAKEWORD(2, 2);
  BYTE major = LOBYTE(wVersionRequested), minor = HIBYTE(wVersionRequested);
  if (major == 0) return WSAVERNOTSUPPORTED;
  bool aboveHighest = major > 2 || (major == 2 && minor > 2);
  std::memset(lpWSAData, 0, sizeof *lpWSAData);
  lpWSAData->wVersion = aboveHighest ? highest : wVersionRequested;
  lpWSAData->wHighVersion = highest;
  std::strcpy(lpWSAData->szDescription, "WinSock 2.0");
  std::strcpy(lpWSAData->szSystemStatus, "Running");
  ++g_winsockStarts;
  return 0;
}

int WSACleanup() {
  int current = g_winsockStarts.load();
  while (current > 0 && !g_winsockStarts.compare_exchange_weak(current, current - 1)) {
  }
  if (current <= 0) return Fail(static_cast<DWORD>(WSANOTINITIALISED), SOCKET_ERROR);
  return 0;
}

int WSAGetLastError() { return static_cast<int>(GetLastError()); }
