// Computer name, Winsock start-up, IP Helper and NetAPI subsets of the stand-in. Answers come
// from the machine folder's machine.json:
//   "computerName": "WS-0042", "dnsDomain": "corp.example",
//   "join": { "name": "CORP ", "status": 3 },
//   "domainController": { "name": "\\\\DC01", "address": "\\\\10.0.0.5", "domainName": "CORP",
//                         "forestName": "corp.example", "dcSiteName": "HQ", "clientSiteName": "HQ" },
//   "adapters": [ { "index": 7, "hardwareAddress": "00:1a:2b:3c:4d:5e",
//                   "addresses": [ { "ip": "10.0.0.42", "mask": "255.255.255.0", "context": 16777226 } ] } ],
// Missing sections: the host's name and adapters, workgroup "WORKGROUP", no domain controller.
#pragma once

#include <ctime>

#include "platform/com/win_com.h"  // GUID
#include "platform/core/win_types.h"

#ifndef ERROR_NO_DATA
#define ERROR_NO_DATA 232L
#endif

// ---- Computer name ----
typedef enum _COMPUTER_NAME_FORMAT : int {
  ComputerNameNetBIOS,
  ComputerNameDnsHostname,
  ComputerNameDnsDomain,
  ComputerNameDnsFullyQualified,
  ComputerNamePhysicalNetBIOS,
  ComputerNamePhysicalDnsHostname,
  ComputerNamePhysicalDnsDomain,
  ComputerNamePhysicalDnsFullyQualified,
  ComputerNameMax
} COMPUTER_NAME_FORMAT;

// nSize: buffer size in characters on entry; the length without terminator on success, the
// size needed (terminator included) with ERROR_MORE_DATA when the buffer is too small.
BOOL GetComputerNameExW(COMPUTER_NAME_FORMAT NameType, LPWSTR lpBuffer, LPDWORD nSize);

// ---- Winsock start-up ----
#define WSADESCRIPTION_LEN 256
#define WSASYS_STATUS_LEN 128
#define SOCKET_ERROR (-1)
#define WSASYSNOTREADY 10091L
#define WSAVERNOTSUPPORTED 10092L
#define WSANOTINITIALISED 10093L
#define WSAEFAULT 10014L

typedef struct WSAData {  // the 64-bit layout
  WORD wVersion;
  WORD wHighVersion;
  unsigned short iMaxSockets;
  unsigned short iMaxUdpDg;
  char* lpVendorInfo;
  char szDescription[WSADESCRIPTION_LEN + 1];
  char szSystemStatus[WSASYS_STATUS_LEN + 1];
} WSADATA, *LPWSADATA;

int WSAStartup(WORD wVersionRequested, LPWSADATA lpWSAData);
int WSACleanup();
int WSAGetLastError();

// ---- IP Helper ----
#define MAX_ADAPTER_DESCRIPTION_LENGTH 128
#define MAX_ADAPTER_NAME_LENGTH 256
#define MAX_ADAPTER_ADDRESS_LENGTH 8
#define MIB_IF_TYPE_OTHER 1
#define MIB_IF_TYPE_ETHERNET 6
#define MIB_IF_TYPE_TOKENRING 9
#define MIB_IF_TYPE_FDDI 15
#define MIB_IF_TYPE_PPP 23
#define MIB_IF_TYPE_LOOPBACK 24
#define MIB_IF_TYPE_SLIP 28
#define IF_TYPE_IEEE80211 71

typedef struct {
  char String[4 * 4];
} IP_ADDRESS_STRING, *PIP_ADDRESS_STRING, IP_MASK_STRING, *PIP_MASK_STRING;

typedef struct _IP_ADDR_STRING {
  struct _IP_ADDR_STRING* Next;
  IP_ADDRESS_STRING IpAddress;
  IP_MASK_STRING IpMask;
  DWORD Context;
} IP_ADDR_STRING, *PIP_ADDR_STRING;

typedef struct _IP_ADAPTER_INFO {
  struct _IP_ADAPTER_INFO* Next;
  DWORD ComboIndex;
  char AdapterName[MAX_ADAPTER_NAME_LENGTH + 4];
  char Description[MAX_ADAPTER_DESCRIPTION_LENGTH + 4];
  UINT AddressLength;
  BYTE Address[MAX_ADAPTER_ADDRESS_LENGTH];
  DWORD Index;
  UINT Type;
  UINT DhcpEnabled;
  PIP_ADDR_STRING CurrentIpAddress;
  IP_ADDR_STRING IpAddressList;
  IP_ADDR_STRING GatewayList;
  IP_ADDR_STRING DhcpServer;
  BOOL HaveWins;
  IP_ADDR_STRING PrimaryWinsServer;
  IP_ADDR_STRING SecondaryWinsServer;
  time_t LeaseObtained;
  time_t LeaseExpires;
} IP_ADAPTER_INFO, *PIP_ADAPTER_INFO;

// The adapters (loopback excluded) as one block: adapter records first, then the extra address
// records they point to. Too small a buffer: ERROR_BUFFER_OVERFLOW with the size needed in
// *SizePointer. No adapter: ERROR_NO_DATA. Faults: "GetAdaptersInfo" for every call,
// "GetAdaptersInfo:size" for a sizing call only, "GetAdaptersInfo:query" for a filling call only.
ULONG GetAdaptersInfo(PIP_ADAPTER_INFO AdapterInfo, PULONG SizePointer);

// ---- NetAPI ----
typedef DWORD NET_API_STATUS;
#define NERR_Success 0
typedef enum _NETSETUP_JOIN_STATUS : int {
  NetSetupUnknownStatus = 0,
  NetSetupUnjoined,
  NetSetupWorkgroupName,
  NetSetupDomainName
} NETSETUP_JOIN_STATUS, *PNETSETUP_JOIN_STATUS;

// Only the local computer (lpServer null or empty). The name is freed with NetApiBufferFree.
NET_API_STATUS NetGetJoinInformation(LPCWSTR lpServer, LPWSTR* lpNameBuffer, PNETSETUP_JOIN_STATUS BufferType);
NET_API_STATUS NetApiBufferFree(LPVOID Buffer);

#define DS_FORCE_REDISCOVERY 0x00000001
#define DS_DIRECTORY_SERVICE_REQUIRED 0x00000010
#define DS_IP_REQUIRED 0x00000200
#define DS_RETURN_DNS_NAME 0x40000000
#define DS_RETURN_FLAT_NAME 0x80000000
#define DS_INET_ADDRESS 1
#define DS_NETBIOS_ADDRESS 2

typedef struct _DOMAIN_CONTROLLER_INFOA {
  LPSTR DomainControllerName;
  LPSTR DomainControllerAddress;
  ULONG DomainControllerAddressType;
  GUID DomainGuid;
  LPSTR DomainName;
  LPSTR DnsForestName;
  ULONG Flags;
  LPSTR DcSiteName;
  LPSTR ClientSiteName;
} DOMAIN_CONTROLLER_INFOA, *PDOMAIN_CONTROLLER_INFOA;

// One block (record and texts), freed with NetApiBufferFree. No domain controller:
// ERROR_NO_SUCH_DOMAIN. A DomainName other than the controller's domain or forest: the same.
DWORD DsGetDcNameA(LPCSTR ComputerName, LPCSTR DomainName, GUID* DomainGuid, LPCSTR SiteName, ULONG Flags,
                   PDOMAIN_CONTROLLER_INFOA* DomainControllerInfo);
