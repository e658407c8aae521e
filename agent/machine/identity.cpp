#include "agent/machine/identity.h"

#include <cstring>
#include <vector>

#include "agent/log/log.h"
#include "agent/machine/text.h"

namespace {

// The fixed text fields of the IP Helper records are not trusted to be terminated.
template <size_t N>
std::string FieldText(const char (&field)[N]) {
  return std::string(field, strnlen(field, N));
}

std::string FormatHardwareAddress(const IP_ADAPTER_INFO& adapter) {
  static const char digits[] = "0123456789abcdef";
  UINT length = adapter.AddressLength < MAX_ADAPTER_ADDRESS_LENGTH ? adapter.AddressLength
                                                                   : MAX_ADAPTER_ADDRESS_LENGTH;
  std::string text;
  for (UINT i = 0; i < length; ++i) {
    if (i > 0) text.push_back(':');
    text.push_back(digits[adapter.Address[i] >> 4]);
    text.push_back(digits[adapter.Address[i] & 0x0F]);
  }
  return text;
}

size_t AppendedSize(const std::string& list, const std::string& item) {
  return list.size() + (list.empty() ? 0 : 1) + item.size();
}

void Append(std::string& list, const std::string& item) {
  if (!list.empty()) list.push_back(',');
  list += item;
}

}  // namespace

int GetComputerNameSpace(std::string& nameSpace, int& domainJoined) {
  LPWSTR name = nullptr;
  NETSETUP_JOIN_STATUS status = NetSetupUnknownStatus;
  NET_API_STATUS result = NetGetJoinInformation(nullptr, &name, &status);
  if (result != NERR_Success) {
    LogError("GetComputerNameSpace : Failed to retrive the namespace -> %d \n", result);
    return 0;
  }
  ChangeWideToUtf8Str(name, nameSpace);
  NetApiBufferFree(name);
  domainJoined = 0;
  switch (static_cast<int>(status)) {
    case NetSetupUnknownStatus:
      LogInfo("GetComputerNameSpace : The status is unknown. \n");
      break;
    case NetSetupUnjoined:
      LogInfo("GetComputerNameSpace :The computer is not joined. \n");
      break;
    case NetSetupWorkgroupName:
      LogInfo("GetComputerNameSpace :The computer is joined to a workgroup. \n");
      break;
    case NetSetupDomainName:
      LogInfo("GetComputerNameSpace :The computer is joined to a domain. \n");
      domainJoined = 1;
      break;
    default:
      LogInfo("GetComputerNameSpace : The status is not determined .\n");
      break;
  }
  return 1;
}

int GetMACandIPAddress(std::string& ipList, std::string& macList, std::string& maskList) {
  ipList.clear();
  macList.clear();
  maskList.clear();
  ULONG size = 0;
  ULONG result = GetAdaptersInfo(nullptr, &size);
  if (result != ERROR_SUCCESS && result != ERROR_BUFFER_OVERFLOW) {
    LogError("GetMACandIPAddress : GetAdaptersInfo sizing failed with error %d\n", result);
    return static_cast<int>(result);
  }
  auto* adapters = static_cast<PIP_ADAPTER_INFO>(GlobalAlloc(GMEM_ZEROINIT, size));
  if (adapters == nullptr) {
    LogError("GetMACandIPAddress : Memory allocation error\n");
    return static_cast<int>(GetLastError());
  }
  result = GetAdaptersInfo(adapters, &size);
  if (result != ERROR_SUCCESS) {
    LogError("GetMACandIPAddress : GetAdaptersInfo failed with error %d\n", result);
    GlobalFree(adapters);
    return static_cast<int>(result);
  }

  for (const IP_ADAPTER_INFO* adapter = adapters; adapter != nullptr; adapter = adapter->Next) {
    std::string mac = FormatHardwareAddress(*adapter);
    for (const IP_ADDR_STRING* entry = &adapter->IpAddressList; entry != nullptr; entry = entry->Next) {
      std::string ip = FieldText(entry->IpAddress.String);
      std::string mask = FieldText(entry->IpMask.String);
      hl::Printf("%-10.d%-10.d%-20.20s%s\n", adapter->Index, entry->Context, ip, mask);
      LogInfo("ipAddress :%-10.d%-10.d%-20.20s%s\n", adapter->Index, entry->Context, ip, mask);
      if (ip == "0.0.0.0") continue;
      bool withMac = mac.size() == 17;  // a 6-byte address
      // All three lists take the entry or none does, so that they stay in step.
      if (AppendedSize(ipList, ip) > hl::kAddressListLimit || AppendedSize(maskList, mask) > hl::kAddressListLimit ||
          (withMac && AppendedSize(macList, mac) > hl::kAddressListLimit)) {
        LogError("GetMACandIPAddress : Address list is full, %s is not added\n", ip);
        continue;
      }
      Append(ipList, ip);
      if (withMac) Append(macList, mac);
      Append(maskList, mask);
    }
  }
  if (macList.empty()) macList = "--";

  GlobalFree(adapters);
  LogDebug("GetMACandIPAddress : Local Machine MAC ADDRESS : %s \n", macList);
  LogDebug("GetMACandIPAddress : Local Machine IP ADDRESS  : %s \n", ipList);
  LogDebug("GetMACandIPAddress : Local Machine Subnet Mask : %s \n", maskList);
  return 0;
}

int GetComputerLogonServer(std::string& domainController) {
  PDOMAIN_CONTROLLER_INFOA info = nullptr;
  DWORD result = DsGetDcNameA(nullptr, nullptr, nullptr, nullptr, DS_RETURN_FLAT_NAME, &info);
  if (result != ERROR_SUCCESS) {
    LogError("GetComputerLogonServer: Error while fetching DC name! %d \n", result);
    return static_cast<int>(result);
  }
  LogDebug("GetComputerLogonServer : DomainControllerName :%s \n", info->DomainControllerName);
  LogDebug("DomainControllerAddress :%s\n", info->DomainControllerAddress);
  LogDebug("DomainName :%s\n", info->DomainName);
  LogDebug("DnsForestName :%s\n", info->DnsForestName);
  LogDebug("DcSiteName :%s\n", info->DcSiteName);
  LogDebug("ClientSiteName :%s\n", info->ClientSiteName);
  // Names come as "\\DC01"; strip only backslashes that are there.
  const char* name = info->DomainControllerName != nullptr ? info->DomainControllerName : "";
  for (int i = 0; i < 2 && *name == '\\'; ++i) ++name;
  domainController = name;
  NetApiBufferFree(info);
  return 0;
}

int GetLocalComputerName(std::string& computerName) {
  WSADATA wsaData;
  bool winsockStarted = WSAStartup(0x0202, &wsaData) == 0;
  std::vector<WCHAR> name(64, u'\0');
  DWORD size = static_cast<DWORD>(name.size());
  if (!GetComputerNameExW(ComputerNamePhysicalDnsHostname, name.data(), &size)) {
    LogError("GetLocalComputerName: Error while getting computername! %d \n", WSAGetLastError());
    if (winsockStarted) WSACleanup();
    return 0;
  }
  LogDebug("GetLocalComputerName: Computer Name: %ws \n", name.data());
  ChangeWideToUtf8Str(name.data(), computerName);
  LogInfo("GetLocalComputerName : Computer Name : %s\n", computerName);
  if (winsockStarted) WSACleanup();
  return 1;
}
