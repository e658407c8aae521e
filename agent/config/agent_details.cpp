// The agent's identity, limits and flags from the agent key.
#include "agent/config/config_internal.h"
#include "agent/log/log.h"
#include "agent/machine/text.h"
#include "agent/registry/registry.h"

namespace {

using hl::config::EqualsNoCase;

constexpr DWORD kMaxTransferRateKBps = 3072;

// Reads a required agent-key value; when missing logs `missingLine` at ERROR and reports false.
bool ReadRequired(const char* valueName, OptString& field, const char* missingLine) {
  if (ReadRegSZ(HKEY_LOCAL_MACHINE, gv_RegKey.c_str(), valueName, field) == ERROR_SUCCESS) return true;
  LogError(missingLine);
  return false;
}

void ReadOptional(const char* valueName, OptString& field, const char* missingLine) {
  ReadRequired(valueName, field, missingLine);
}

// A text value that falls back to `fallback` when missing.
void ReadWithDefault(const char* valueName, OptString& field, const char* fallback) {
  if (ReadRegSZ(HKEY_LOCAL_MACHINE, gv_RegKey.c_str(), valueName, field) != ERROR_SUCCESS) field = fallback;
}

// A DWORD value into an int field that keeps its initial value when missing.
void ReadDword(const char* valueName, int& field) {
  DWORD value = static_cast<DWORD>(field);
  ReadDwordRegistryData(HKEY_LOCAL_MACHINE, gv_RegKey.c_str(), valueName, &value);
  field = static_cast<int>(value);
}

LONG WriteAgentText(const char* valueName, const char* text) {
  return writeValue(HKEY_LOCAL_MACHINE, gv_RegKey.c_str(), valueName, text, REG_SZ);
}

std::string LowerAscii(const std::string& text) {
  std::string lower = text;
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return lower;
}

}  // namespace

namespace hl::config {

void ReadDataTransferRate() {
  OptString text;
  LONG result = ReadRegSZ(HKEY_LOCAL_MACHINE, gv_RegKey.c_str(), "DataTransferRate_KBps", text);
  bool writeZero = result != ERROR_SUCCESS || text->empty();
  gv_dataTransferRateKBps = writeZero ? 0 : static_cast<DWORD>(DecimalValue(text));
  if (gv_dataTransferRateKBps > kMaxTransferRateKBps) {
    gv_dataTransferRateKBps = 0;
    writeZero = true;
  }
  if (writeZero) WriteAgentText("DataTransferRate_KBps", hl::Sprintf("%u", gv_dataTransferRateKBps).c_str());
}

LONG ReadEnableDSRoute() {
  OptString text;
  LONG result = ReadRegSZ(HKEY_LOCAL_MACHINE, gv_RegKey.c_str(), "EnableDSRoute", text);
  if (result != ERROR_SUCCESS) {
    gv_enableDSRoute = 0;
    return WriteAgentText("EnableDSRoute", "no");
  }
  if (!text->empty()) gv_enableDSRoute = EqualsNoCase(text, "yes") ? 1 : 0;
  return result;
}

void FormClientDataPath() {
  std::string customer = LowerAscii(gv_customerId.value_or(""));
  std::string nameSpace = ToLowerUtf8(gv_clientNamespace ? gv_clientNamespace->c_str() : "");
  gv_clientDataPath = "client-data/" + customer + "/domains/" + nameSpace;
}

}  // namespace hl::config

int GetCustomerId(OptString& customerId) {
  LONG result = ReadRegSZ(HKEY_LOCAL_MACHINE, gv_RegKey.c_str(), "CustomerId", customerId);
  if (result != ERROR_SUCCESS || customerId->empty()) {
    LogError("GetCustomerId: error while retrieving customerid\n");
    return 13;
  }
  return 0;
}

DWORD IsImagedComputer() {
  DWORD imaged = 0;
  ReadDwordRegistryData(HKEY_LOCAL_MACHINE, gv_RegKey.c_str(), "ImagedComputer", &imaged);
  return imaged;
}

int InitializeAgentDetails() {
  if (!ReadRequired("HLAgentVersion", gv_agentVersion,
                    "InitializeAgentDetails : Error while fetching agent version from registry! \n") ||
      !ReadRequired("AgentServiceName", gv_agentServiceName,
                    "InitializeAgentDetails : Error while fetching agent service name from registry! \n") ||
      !ReadRequired("MSPName", gv_mspName, "InitializeAgentDetails : Error while fetching msp name from registry! \n") ||
      !ReadRequired("CustomerName", gv_customerName,
                    "InitializeAgentDetails : Error while fetching customer name from registry! \n"))
    return 13;
  if (GetCustomerId(gv_customerId) != 0) {
    LogError("InitializeAgentDetails : Error while fetching customer Id from registry! \n");
    return 13;
  }
  if (!ReadRequired("HLProductCode", gv_hlProductCode,
                    "InitializeAgentDetails : Error while fetching product Code from registry! \n") ||
      !ReadRequired("HLAgentInstallDir", gv_agentInstallDir,
                    "InitializeAgentDetails : Error while fetching agent install directory from registry! \n"))
    return 13;

  ReadOptional("RemoteOfficeName", gv_remoteOfficeName,
               "InitializeAgentDetails : Error while fetching branch office Name from registry! \n");
  ReadOptional("RemoteOfficeID", gv_remoteOfficeId,
               "InitializeAgentDetails : Error while fetching branch office ID from registry! \n");
  ReadWithDefault("EnableRemoteOfficeMgmt", gv_enableRemoteOfficeMgmt, "NO");
  ReadDword("HTTPRequestTimeout", gv_httpRequestTimeout);
  ReadDword("HTTPConnectionTimeout", gv_httpConnectionTimeout);
  hl::config::ReadDataTransferRate();
  if (hl::config::ReadEnableDSRoute() != ERROR_SUCCESS)
    LogError("InitializeAgentDetails : Error while fetching GetEnableDSRoute from registry! \n");
  ReadDword("BlockCrashedConfig", gv_blockCrashedConfig);
  LogDebug("InitializeAgentDetails : Some configuration is crashed (if value is one) : %d \n", gv_blockCrashedConfig);
  ReadDword("ShutdownBlocked", gv_shutdownBlocked);
  LogInfo("InitializeAgentDetails : BlockedShutdown value : %d \n", gv_shutdownBlocked);

  hl::config::FormClientDataPath();
  GetResourceID(gv_resourceId);  // a missing ID is logged there; start-up goes on without it

  OptString checksum;
  if (ReadRegSZ(HKEY_LOCAL_MACHINE, gv_RegKey.c_str(), "EnableChecksum", checksum) == ERROR_SUCCESS)
    gv_checksumEnabled = EqualsNoCase(checksum, "yes") ? 1 : 0;
  else
    gv_checksumEnabled = 1;
  return 0;
}
