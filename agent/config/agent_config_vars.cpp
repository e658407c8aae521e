#include "agent/config/agent_config.h"

std::string gv_RegKey = "Software\\Corvanta\\Harborline\\HLAgent";
int gv_IsWow64 = 0;
std::string gv_tempDir;

OptString gv_serverName;
OptString gv_serverInstalledTime;
OptString gv_serverFlatName;
OptString gv_serverIPAddress;
OptString gv_serverSecIPAddress;
OptString gv_lastAccessName;
int gv_serverHttpPort = 0;
int gv_serverSecurePort = 0;
OptString gv_serverProtocol = "http";
int gv_serverPort = 0;

OptString gv_enableDistributionServer;
OptString gv_dsName;
OptString gv_dsFlatName;
OptString gv_dsIPAddress;
OptString gv_dsSecIPAddress;
OptString gv_dsLastAccessName;
int gv_dsHttpPort = 0;
int gv_dsSecurePort = 0;
int gv_dsPort = 0;
OptString gv_dsProtocol = "http";

OptString gv_proxyEnabled = "NO";
OptString gv_proxyServerName;
OptString gv_proxyUserName = "";
OptString gv_proxyPassword = "";
OptString gv_proxyByPass = "<local>";

OptString gv_agentVersion;
OptString gv_agentServiceName;
OptString gv_agentInstallDir;
OptString gv_mspName;
OptString gv_customerName;
OptString gv_customerId;
OptString gv_hlProductCode = "HLEE";
OptString gv_remoteOfficeName;
OptString gv_remoteOfficeId;
OptString gv_enableRemoteOfficeMgmt = "NO";

int gv_httpRequestTimeout = 60000;
int gv_httpConnectionTimeout = 30000;
DWORD gv_dataTransferRateKBps = 1024;
int gv_enableDSRoute = 0;
int gv_blockCrashedConfig = 0;
int gv_shutdownBlocked = 0;
int gv_checksumEnabled = 1;

OptString gv_resourceId;
OptString gv_clientNamespace;
int gv_domainJoined = 1;
OptString gv_localComputerName;
OptString gv_localIPAddress;
OptString gv_localMACAddress;
OptString gv_localSubnetMask;
OptString gv_domainController;
OptString gv_clientDataPath;
OptString gv_eventName;

namespace hl {
void ResetAgentConfig() {
  gv_RegKey = "Software\\Corvanta\\Harborline\\HLAgent";
  gv_IsWow64 = 0;
  gv_tempDir.clear();
  gv_serverName = gv_serverInstalledTime = gv_serverFlatName = gv_serverIPAddress = std::nullopt;
  gv_serverSecIPAddress = gv_lastAccessName = std::nullopt;
  gv_serverHttpPort = gv_serverSecurePort = gv_serverPort = 0;
  gv_serverProtocol = "http";
  gv_enableDistributionServer = gv_dsName = gv_dsFlatName = gv_dsIPAddress = std::nullopt;
  gv_dsSecIPAddress = gv_dsLastAccessName = std::nullopt;
  gv_dsHttpPort = gv_dsSecurePort = gv_dsPort = 0;
  gv_dsProtocol = "http";
  gv_proxyEnabled = "NO";
  gv_proxyServerName = std::nullopt;
  gv_proxyUserName = "";
  gv_proxyPassword = "";
  gv_proxyByPass = "<local>";
  gv_agentVersion = gv_agentServiceName = gv_agentInstallDir = gv_mspName = std::nullopt;
  gv_customerName = gv_customerId = std::nullopt;
  gv_hlProductCode = "HLEE";
  gv_remoteOfficeName = gv_remoteOfficeId = std::nullopt;
  gv_enableRemoteOfficeMgmt = "NO";
  gv_httpRequestTimeout = 60000;
  gv_httpConnectionTimeout = 30000;
  gv_dataTransferRateKBps = 1024;
  gv_enableDSRoute = gv_blockCrashedConfig = gv_shutdownBlocked = 0;
  gv_checksumEnabled = 1;
  gv_resourceId = gv_clientNamespace = std::nullopt;
  gv_domainJoined = 1;
  gv_localComputerName = gv_localIPAddress = gv_localMACAddress = gv_localSubnetMask = std::nullopt;
  gv_domainController = gv_clientDataPath = gv_eventName = std::nullopt;
}
}  // namespace hl
