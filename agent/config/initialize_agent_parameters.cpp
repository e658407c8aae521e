// Start-up of the agent configuration: the process facts, then the registry and the local machine.
#include <vector>

#include "agent/config/config_internal.h"
#include "agent/log/log.h"
#include "agent/registry/registry.h"

namespace {

using hl::config::EqualsNoCase;

constexpr int kImagedComputer = 10047;

// TEMP into a 255-byte buffer: at most 254 characters, empty when unset or longer.
std::string ReadTempDir() {
  std::vector<char> buffer(255, '\0');
  DWORD length = GetEnvironmentVariableA("TEMP", buffer.data(), static_cast<DWORD>(buffer.size()));
  if (length == 0 || length >= buffer.size()) return std::string();
  return std::string(buffer.data(), length);
}

}  // namespace

int InitializeAgentParameters() {
  LogDebug("@@@@@@@ Inside InitializeAgentParameters Method @@@@@@@@ \n");
  gv_IsWow64 = ProcessRunsUnderWow64();
  gv_tempDir = ReadTempDir();

  if (InitializeServerDetailsFromRegistry() != 0) {
    LogError("InitializeAgentParameters : Error while fetching Server details from registry! \n");
    return 13;
  }
  if (ReadRegSZ(HKEY_LOCAL_MACHINE, gv_RegKey.c_str(), "EnableDistributionServer", gv_enableDistributionServer) !=
      ERROR_SUCCESS) {
    LogError("InitializeAgentParameters : Error while fetching Master Agent entry from registry! \n");
    return 13;
  }
  const bool distributionServer = EqualsNoCase(gv_enableDistributionServer, "yes");
  if (distributionServer) {
    if (InitializeDSServerDetailsFromRegistry() != 0) {
      LogError("InitializeAgentParameters : Error while fetching DS Server details from registry! \n");
      return 13;
    }
  } else {
    gv_dsProtocol = gv_serverProtocol;
    gv_dsPort = gv_serverPort;
  }
  if (InitializeLocalMachineDetails() != 0) {
    LogError("InitializeAgentParameters : Error while the local machine details ! \n");
    return 13;
  }
  if (ReadRegSZ(HKEY_LOCAL_MACHINE, gv_RegKey.c_str(), "ProxyEnabled", gv_proxyEnabled) != ERROR_SUCCESS)
    gv_proxyEnabled = "NO";
  if (EqualsNoCase(gv_proxyEnabled, "yes")) InitializeProxyDetails();
  if (InitializeAgentDetails() != 0) {
    LogError("InitializeAgentParameters : Error while the Agent details ! \n");
    return 13;
  }

  hl::config::LogConfigurationSummary();
  if (distributionServer) {
    hl::config::LogDistributionServerSummary();
    if (gv_enableDSRoute == 1) hl::config::ApplyDistributionServerRoute();
  }

  if (IsImagedComputer() == 1) {
    LogInfo("InitializeAgentParameters : Computer is detected as imaged One .. \n");
    return kImagedComputer;
  }
  LogDebug("InitializeAgentParameters : Computer is not an imaged one .. \n");
  LogDebug("@@@@@@@@ End Of InitializeAgentParameters Method @@@@@@@@ \n");
  return 0;
}
