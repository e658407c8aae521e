// The management server and distribution server items of ServerInfo.
#include <cstring>

#include "agent/config/config_internal.h"
#include "agent/log/log.h"
#include "agent/registry/registry.h"

namespace {

using hl::config::DecimalValue;
using hl::config::EqualsNoCase;

constexpr int kSecurePortOffset = 363;

// Reads a ServerInfo value; when missing logs `missingLine` at ERROR and reports false.
bool ReadServerInfo(const char* valueName, OptString& field, const char* missingLine) {
  LONG result = ReadRegSZ(HKEY_LOCAL_MACHINE, hl::config::ServerInfoKey().c_str(), valueName, field);
  if (result == ERROR_SUCCESS) return true;
  LogError(missingLine);
  return false;
}

// "http" stands in for a missing protocol and for any text shorter than four characters.
void NormaliseProtocol(OptString& protocol) {
  if (!protocol || protocol->size() < 4) protocol = "http";
}

// A stored secondary address no longer than `maxDropped` characters is a placeholder.
void DropShortAddress(OptString& address, size_t maxDropped) {
  if (address && address->size() <= maxDropped) address.reset();
}

}  // namespace

int InitializeServerDetailsFromRegistry() {
  const std::string key = hl::config::ServerInfoKey();
  if (!ReadServerInfo("HLServerName", gv_serverName,
                      "InitializeServerDetailsFromRegistry : Error while fetching server name from registry! \n"))
    return 13;
  ReadServerInfo("HLServerInstalledTime", gv_serverInstalledTime,
                 "InitializeServerDetailsFromRegistry : Error while fetching server installed time from registry! \n");
  ReadServerInfo("HLServerFlatName", gv_serverFlatName,
                 "InitializeServerDetailsFromRegistry : Error while fetching server name from registry! \n");
  ReadServerInfo("HLServerIPAddress", gv_serverIPAddress,
                 "InitializeServerDetailsFromRegistry : Error while fetching server ipaddress from registry! \n");
  ReadServerInfo("HLServerSecIPAddress", gv_serverSecIPAddress,
                 "InitializeServerDetailsFromRegistry : Error while fetching server Secondary ipaddress from "
                 "registry! \n");
  DropShortAddress(gv_serverSecIPAddress, 2);
  ReadServerInfo("HLLastAccessName", gv_lastAccessName,
                 "InitializeServerDetailsFromRegistry : Error while fetching server name from registry! \n");

  OptString text;
  if (!ReadServerInfo("HLServerPort", text,
                      "InitializeServerDetailsFromRegistry : Error while fetching server port from registry! \n"))
    return 13;
  gv_serverHttpPort = DecimalValue(text);
  if (ReadRegSZ(HKEY_LOCAL_MACHINE, key.c_str(), "HLServerSecurePort", text) == ERROR_SUCCESS)
    gv_serverSecurePort = DecimalValue(text);
  else
    gv_serverSecurePort = gv_serverHttpPort + kSecurePortOffset;

  ReadRegSZ(HKEY_LOCAL_MACHINE, key.c_str(), "HLServerProtocol", gv_serverProtocol);
  NormaliseProtocol(gv_serverProtocol);
  gv_serverPort = EqualsNoCase(gv_serverProtocol, "http") ? gv_serverHttpPort : gv_serverSecurePort;
  return 0;
}

int InitializeDSServerDetailsFromRegistry() {
  LogDebug("InitializeDSServerDetailsFromRegistry : Reading reporting server regsirty entries\n");
  const std::string key = hl::config::ServerInfoKey();
  if (!ReadServerInfo("DistributionServerName", gv_dsName,
                      "InitializeDSServerDetailsFromRegistry : Error while fetching Reporting server name from "
                      "registry! \n"))
    return 13;
  ReadServerInfo("DistributionServerFlatName", gv_dsFlatName,
                 "InitializeDSServerDetailsFromRegistry : Error while fetching Reporting server flat name from "
                 "registry! \n");
  ReadServerInfo("DistributionLastAccessName", gv_dsLastAccessName,
                 "InitializeDSServerDetailsFromRegistry : Error while fetching Reporting server last access name "
                 "from registry! \n");

  OptString text;
  if (!ReadServerInfo("DistributionServerPort", text,
                      "InitializeDSServerDetailsFromRegistry : Error while fetching Reporting server port from "
                      "registry! \n"))
    return 13;
  gv_dsHttpPort = DecimalValue(text);
  if (ReadRegSZ(HKEY_LOCAL_MACHINE, key.c_str(), "DistributionServerSecurePort", text) == ERROR_SUCCESS)
    gv_dsSecurePort = DecimalValue(text);
  else
    gv_dsSecurePort = gv_dsHttpPort + kSecurePortOffset;

  ReadServerInfo("DistributionServerIPAddress", gv_dsIPAddress,
                 "InitializeDSServerDetailsFromRegistry : Error while fetching Reporting server ipaddress from "
                 "registry! \n");
  ReadServerInfo("DistributionServerSecIPAddress", gv_dsSecIPAddress,
                 "InitializeDSServerDetailsFromRegistry : Error while fetching Reporting secondary server ipaddress "
                 "from registry! \n");
  DropShortAddress(gv_dsSecIPAddress, 3);

  // The distribution server speaks the main server's protocol: store it, then read it back.
  writeValue(HKEY_LOCAL_MACHINE, key.c_str(), "DistributionServerProtocol",
             gv_serverProtocol ? gv_serverProtocol->c_str() : "http", REG_SZ);
  ReadRegSZ(HKEY_LOCAL_MACHINE, key.c_str(), "DistributionServerProtocol", gv_dsProtocol);
  NormaliseProtocol(gv_dsProtocol);
  gv_dsPort = EqualsNoCase(gv_dsProtocol, "http") ? gv_dsHttpPort : gv_dsSecurePort;
  return 0;
}

// A missing name goes to writeValue too: it logs its INFO line and answers 13.
int SetLastAccessName(const char* name) {
  return writeValue(HKEY_LOCAL_MACHINE, hl::config::ServerInfoKey().c_str(), "HLLastAccessName", name, REG_SZ);
}

int SetDSLastAccessName(const char* name) {
  return writeValue(HKEY_LOCAL_MACHINE, hl::config::ServerInfoKey().c_str(), "DistributionLastAccessName", name,
                    REG_SZ);
}
