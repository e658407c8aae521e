// The agent's configuration: process-wide values filled once at start-up by
// InitializeAgentParameters and read-only afterwards. A none string is std::nullopt.
#pragma once

#include <optional>
#include <string>

#include "platform/win32.h"

using OptString = std::optional<std::string>;

extern std::string gv_RegKey;  // "Software\\Corvanta\\Harborline\\HLAgent"
extern int gv_IsWow64;
extern std::string gv_tempDir;

extern OptString gv_serverName;
extern OptString gv_serverInstalledTime;
extern OptString gv_serverFlatName;
extern OptString gv_serverIPAddress;
extern OptString gv_serverSecIPAddress;
extern OptString gv_lastAccessName;
extern int gv_serverHttpPort;
extern int gv_serverSecurePort;
extern OptString gv_serverProtocol;
extern int gv_serverPort;

extern OptString gv_enableDistributionServer;
extern OptString gv_dsName;
extern OptString gv_dsFlatName;
extern OptString gv_dsIPAddress;
extern OptString gv_dsSecIPAddress;
extern OptString gv_dsLastAccessName;
extern int gv_dsHttpPort;
extern int gv_dsSecurePort;
extern int gv_dsPort;
extern OptString gv_dsProtocol;

extern OptString gv_proxyEnabled;
extern OptString gv_proxyServerName;
extern OptString gv_proxyUserName;
extern OptString gv_proxyPassword;
extern OptString gv_proxyByPass;

extern OptString gv_agentVersion;
extern OptString gv_agentServiceName;
extern OptString gv_agentInstallDir;
extern OptString gv_mspName;
extern OptString gv_customerName;
extern OptString gv_customerId;
extern OptString gv_hlProductCode;
extern OptString gv_remoteOfficeName;
extern OptString gv_remoteOfficeId;
extern OptString gv_enableRemoteOfficeMgmt;

extern int gv_httpRequestTimeout;
extern int gv_httpConnectionTimeout;
extern DWORD gv_dataTransferRateKBps;
extern int gv_enableDSRoute;
extern int gv_blockCrashedConfig;
extern int gv_shutdownBlocked;
extern int gv_checksumEnabled;

extern OptString gv_resourceId;
extern OptString gv_clientNamespace;
extern int gv_domainJoined;
extern OptString gv_localComputerName;
extern OptString gv_localIPAddress;
extern OptString gv_localMACAddress;
extern OptString gv_localSubnetMask;
extern OptString gv_domainController;
extern OptString gv_clientDataPath;
extern OptString gv_eventName;

// 0 complete, 10047 complete on an imaged computer, 13 a required value is missing.
int InitializeAgentParameters();

// The parts of the start-up, each 0 or 13 (InitializeProxyDetails always 0).
int InitializeServerDetailsFromRegistry();
int InitializeDSServerDetailsFromRegistry();
int InitializeLocalMachineDetails();
int InitializeProxyDetails();
int InitializeAgentDetails();

// 0 when CustomerId is there and not empty, else 13.
int GetCustomerId(OptString& customerId);
// 0 when the ID came from the registry or from the server, else the registry or transport error.
int GetResourceID(OptString& resourceId);
int GetResourceIDFromServer(OptString& resourceId);
// Fetches the resource document at `path` from the management server and takes the ID from it:
// installed by the program that links the transport (the configuration cannot depend on it).
using ResourceIdFetcher = int (*)(const std::string& path, OptString& resourceId);
void SetResourceIdFetcher(ResourceIdFetcher fetcher);
// Stores the ID under SystemDetails and tells the agent service (control 147).
void SetAgentResourceID(const char* resourceId);
// The server name that answered last, written to ServerInfo; the writeValue result.
int SetLastAccessName(const char* name);
int SetDSLastAccessName(const char* name);
// Sends a user-defined control to a local service: 1 on success, 0 on failure.
int SendServiceMsg(DWORD controlCode, const WCHAR* serviceName);
// The agent key's ImagedComputer value, 0 when missing.
DWORD IsImagedComputer();

namespace hl {
// Puts every configuration value back to its initial value (tests run several start-ups).
void ResetAgentConfig();
}  // namespace hl
