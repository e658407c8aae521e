// Computer name, Winsock start-up, IP Helper, NetAPI, Service Control Manager and CryptoAPI
// subsets of the stand-in. Answers come from the machine folder's machine.json:
//   "computerName": "WS-0042", "dnsDomain": "corp.example",
//   "join": { "name": "CORP ", "status": 3 },
//   "domainController": { "name": "\\\\DC01", "address": "\\\\10.0.0.5", "domainName": "CORP",
//                         "forestName": "corp.example", "dcSiteName": "HQ", "clientSiteName": "HQ" },
//   "adapters": [ { "index": 7, "hardwareAddress": "00:1a:2b:3c:4d:5e",
//                   "addresses": [ { "ip": "10.0.0.42", "mask": "255.255.255.0", "context": 16777226 } ] } ],
//   "services": [ "HLAgentSvc", { "name": "Other", "state": "stopped" } ]
// Missing sections: the host's name and adapters, workgroup "WORKGROUP", no domain controller,
// no services. Controls sent to services are appended to <machine>/services.log; key containers
// live under <machine>/crypt/.
#pragma once

#include <ctime>

#include "platform/com/win_com.h"  // GUID
#include "platform/core/win_types.h"

#ifndef ERROR_NO_DATA
#define ERROR_NO_DATA 232L
#endif
#ifndef RPC_S_SERVER_UNAVAILABLE
#define RPC_S_SERVER_UNAVAILABLE 1722L
#endif
#ifndef ERROR_INVALID_SERVICE_CONTROL
#define ERROR_INVALID_SERVICE_CONTROL 1052L
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

// ---- Service Control Manager ----
struct SC_HANDLE__;
typedef SC_HANDLE__* SC_HANDLE;
typedef SC_HANDLE* LPSC_HANDLE;

#define SC_MANAGER_CONNECT 0x0001
#define SC_MANAGER_CREATE_SERVICE 0x0002
#define SC_MANAGER_ENUMERATE_SERVICE 0x0004
#define SC_MANAGER_ALL_ACCESS 0xF003F
#define SERVICE_QUERY_CONFIG 0x0001
#define SERVICE_CHANGE_CONFIG 0x0002
#define SERVICE_QUERY_STATUS 0x0004
#define SERVICE_ENUMERATE_DEPENDENTS 0x0008
#define SERVICE_START 0x0010
#define SERVICE_STOP 0x0020
#define SERVICE_PAUSE_CONTINUE 0x0040
#define SERVICE_INTERROGATE 0x0080
#define SERVICE_USER_DEFINED_CONTROL 0x0100
#define SERVICE_ALL_ACCESS 0xF01FF
#define SERVICE_CONTROL_STOP 0x00000001
#define SERVICE_CONTROL_PAUSE 0x00000002
#define SERVICE_CONTROL_CONTINUE 0x00000003
#define SERVICE_CONTROL_INTERROGATE 0x00000004
#define SERVICE_WIN32_OWN_PROCESS 0x00000010
#define SERVICE_STOPPED 0x00000001
#define SERVICE_RUNNING 0x00000004
#define SERVICE_PAUSED 0x00000007
#define SERVICE_ACCEPT_STOP 0x00000001
#define SERVICE_ACCEPT_PAUSE_CONTINUE 0x00000002

typedef struct _SERVICE_STATUS {
  DWORD dwServiceType;
  DWORD dwCurrentState;
  DWORD dwControlsAccepted;
  DWORD dwWin32ExitCode;
  DWORD dwServiceSpecificExitCode;
  DWORD dwCheckPoint;
  DWORD dwWaitHint;
} SERVICE_STATUS, *LPSERVICE_STATUS;

// Local machine only (lpMachineName null or empty); database null or "ServicesActive".
SC_HANDLE OpenSCManagerW(LPCWSTR lpMachineName, LPCWSTR lpDatabaseName, DWORD dwDesiredAccess);
// A service not listed in machine.json fails with ERROR_SERVICE_DOES_NOT_EXIST.
SC_HANDLE OpenServiceW(SC_HANDLE hSCManager, LPCWSTR lpServiceName, DWORD dwDesiredAccess);
// Each control accepted appends "<ServiceName> <code>" to services.log.
BOOL ControlService(SC_HANDLE hService, DWORD dwControl, LPSERVICE_STATUS lpServiceStatus);
BOOL CloseServiceHandle(SC_HANDLE hSCObject);

// ---- CryptoAPI key containers ----
typedef ULONG_PTR HCRYPTPROV;
typedef ULONG_PTR HCRYPTKEY;
typedef unsigned int ALG_ID;

#define PROV_RSA_FULL 1
#define MS_DEF_PROV_A "Microsoft Base Cryptographic Provider v1.0"
#define MS_ENHANCED_PROV_A "Microsoft Enhanced Cryptographic Provider v1.0"
#define MS_STRONG_PROV_A "Microsoft Strong Cryptographic Provider"
#define CRYPT_VERIFYCONTEXT 0xF0000000
#define CRYPT_NEWKEYSET 0x00000008
#define CRYPT_DELETEKEYSET 0x00000010
#define CRYPT_MACHINE_KEYSET 0x00000020
#define CRYPT_SILENT 0x00000040
#define CRYPT_EXPORTABLE 0x00000001
#define AT_KEYEXCHANGE 1
#define AT_SIGNATURE 2

#define NTE_BAD_UID (static_cast<HRESULT>(0x80090001L))
#define NTE_BAD_KEY (static_cast<HRESULT>(0x80090003L))
#define NTE_BAD_ALGID (static_cast<HRESULT>(0x80090008L))
#define NTE_BAD_FLAGS (static_cast<HRESULT>(0x80090009L))
#define NTE_NO_KEY (static_cast<HRESULT>(0x8009000DL))
#define NTE_EXISTS (static_cast<HRESULT>(0x8009000FL))
#define NTE_BAD_KEYSET (static_cast<HRESULT>(0x80090016L))
#define NTE_PROV_TYPE_NOT_DEF (static_cast<HRESULT>(0x80090017L))
#define NTE_KEYSET_NOT_DEF (static_cast<HRESULT>(0x80090019L))
#define NTE_BAD_KEYSET_PARAM (static_cast<HRESULT>(0x8009001FL))

// Container null: the user's default container (machine.json "userName", else "User").
// Missing container without CRYPT_NEWKEYSET: NTE_BAD_KEYSET; existing one with it: NTE_EXISTS.
BOOL CryptAcquireContextA(HCRYPTPROV* phProv, LPCSTR szContainer, LPCSTR szProvider, DWORD dwProvType,
                          DWORD dwFlags);
// A key pair not generated yet: NTE_NO_KEY.
BOOL CryptGetUserKey(HCRYPTPROV hProv, DWORD dwKeySpec, HCRYPTKEY* phUserKey);
// AT_SIGNATURE and AT_KEYEXCHANGE pairs are stored in the container; other algorithms are session keys.
BOOL CryptGenKey(HCRYPTPROV hProv, ALG_ID Algid, DWORD dwFlags, HCRYPTKEY* phKey);
BOOL CryptDestroyKey(HCRYPTKEY hKey);
BOOL CryptReleaseContext(HCRYPTPROV hProv, DWORD dwFlags);
