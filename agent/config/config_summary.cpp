// The configuration summary written at the end of start-up, and the distribution-server route.
#include "agent/config/config_internal.h"
#include "agent/log/log.h"

namespace hl::config {
namespace {

void LogStars() { LogInfo(std::string(66, '*') + " \n"); }

}  // namespace

void LogConfigurationSummary() {
  LogStars();
  LogInfo("Harborline Server Name                -> %s \n", gv_serverName);
  LogInfo("Harborline Server Flat Name           -> %s \n", gv_serverFlatName);
  LogInfo("Harborline Server IPAddress           -> %s \n", gv_serverIPAddress);
  LogInfo("Harborline Server Secondary IPAddress -> %s \n", gv_serverSecIPAddress);
  LogInfo("Harborline Last Access Name           -> %s \n", gv_lastAccessName);
  LogInfo("Harborline Server Port                -> %d \n", gv_serverPort);
  LogInfo("Harborline Server Protocol            -> %s \n", gv_serverProtocol);
  LogInfo("Harborline Agent Version              -> %s \n", gv_agentVersion);
  LogInfo("Harborline Agent InstallDir           -> %s \n", gv_agentInstallDir);
  LogInfo("Harborline Client Namespace           -> %s \n", gv_clientNamespace);
  LogInfo("Harborline Server Data Path           -> %s \n", gv_clientDataPath);
  LogInfo("Harborline MSP Name\t           -> %s \n", gv_mspName);
  LogInfo("Harborline Customer Name\t           -> %s \n", gv_customerName);
  LogInfo("Harborline Customer Id\t\t   -> %s \n", gv_customerId);
  LogInfo("Harborline Product Code               -> %s \n", gv_hlProductCode);
  LogInfo("Local Computer Name                       -> %s \n", gv_localComputerName);
  LogInfo("Local Computer IP Address                 -> %s \n", gv_localIPAddress);
  LogInfo("Local Computer MAC Address                -> %s \n", gv_localMACAddress);
  LogInfo("Local Computer Subnet Mask                -> %s \n", gv_localSubnetMask);
  LogInfo("HL Distribution Server Enabled            -> %s \n", gv_enableDistributionServer);
  LogInfo("The remote office name is                 -> %s \n", gv_remoteOfficeName);
  LogInfo("Harborline Agent HTTP Request Timeout -> %d \n", gv_httpRequestTimeout);
  LogInfo("Local Computer Domain controller          -> %s \n", gv_domainController);
  LogInfo("The Agent Machine Resource Id is given by -> %s \n", gv_resourceId);
  LogInfo("Agent Checksum Enabled\t\t               -> %d \n", gv_checksumEnabled);
  LogInfo("Agent Data Transfer Rate in KBps\t\t   -> %d \n", gv_dataTransferRateKBps);
  LogStars();
}

void LogDistributionServerSummary() {
  LogInfo("HL Distribution Server  Name      \t\t\t-> %s \n", gv_dsName);
  LogInfo("HL Distribution Server  IPAddress \t\t\t-> %s \n", gv_dsIPAddress);
  LogInfo("HL Distribution Server  Sec IPAddress         \t\t-> %s \n", gv_dsSecIPAddress);
  LogInfo("HL Distribution Server  Port      \t\t\t-> %d \n", gv_dsPort);
  LogInfo("HL Distribution Server  Last Access Name\t\t-> %s \n", gv_dsLastAccessName);
  LogInfo("HL Distribution Server  Protocol  \t\t\t-> %s \n", gv_dsProtocol);
  LogInfo("Remote Office ID                          -> %s \n", gv_remoteOfficeId);
  LogStars();
}

// All traffic goes to the distribution server: it takes the main server's names and addresses,
// and no proxy stands between. Ports and protocol stay the main server's.
void ApplyDistributionServerRoute() {
  gv_serverName = gv_dsName;
  gv_serverFlatName = gv_dsName;
  gv_serverIPAddress = gv_dsIPAddress;
  gv_serverSecIPAddress = gv_dsSecIPAddress;
  gv_lastAccessName = gv_dsLastAccessName;
  gv_proxyEnabled = "NO";
  LogInfo("Enable Distribution Server Route                       -> %d \n", gv_enableDSRoute);
  LogStars();
}

}  // namespace hl::config
