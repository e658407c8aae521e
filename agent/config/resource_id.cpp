// The agent's resource ID: from SystemDetails, else asked of the management server.
#include "agent/config/config_internal.h"
#include "agent/log/log.h"
#include "agent/machine/text.h"
#include "agent/registry/registry.h"

namespace {

constexpr DWORD kResourceIdChangedControl = 147;

// Steps 1 to 4 of the request: the server path of this computer's resource document,
// "/<client data path>/resources/<computer name>.xml", all in lower case.
std::string ResourceIdXmlPath() {
  LogInfo("gv_clientDataPath: %s\n", gv_clientDataPath);
  LogInfo("gv_localComputerName: %s\n", gv_localComputerName);
  LogInfo("clientDataPathTemp: %s\n", gv_clientDataPath);
  LogInfo("localComputerLwr: %s\n", gv_localComputerName);

  const char* clientDataPath = gv_clientDataPath ? gv_clientDataPath->c_str() : "";
  std::string lowerPath;
  std::optional<hl::WString> wideDomain;
  std::string domainName;
  if (ReadRegSZEx(HKEY_LOCAL_MACHINE, hl::config::SystemDetailsKey().c_str(), "LocalDomainName", wideDomain) ==
          ERROR_SUCCESS &&
      ChangeWideToUtf8Str(wideDomain->c_str(), domainName)) {
    LogInfo("domainNameFromReg: %s\n", domainName);
    std::string replaced = FindAndReplaceWithNoCase(
        clientDataPath, gv_clientNamespace ? gv_clientNamespace->c_str() : "", domainName.c_str());
    LogInfo("clientDataPathTemp: %s", replaced);
    lowerPath = ToLowerUtf8(replaced.c_str());
    LogInfo("lower_CDPath: %s\n", lowerPath);
  } else {
    // Without a registered domain name the path keeps the namespace it was formed with.
    lowerPath = ToLowerUtf8(clientDataPath);
  }

  std::string lowerName = ToLowerUtf8(gv_localComputerName ? gv_localComputerName->c_str() : "");
  LogInfo("lower_compName: %s\n", lowerName);
  std::string path = hl::Sprintf("/%s/%s/%s%s", lowerPath, "resources", lowerName, ".xml");
  LogInfo("resourceIdXmlPath: %s\n", path);
  return path;
}

}  // namespace

namespace {
ResourceIdFetcher g_resourceIdFetcher = nullptr;
}  // namespace

void SetResourceIdFetcher(ResourceIdFetcher fetcher) { g_resourceIdFetcher = fetcher; }

int GetResourceIDFromServer(OptString& resourceId) {
  resourceId.reset();
  std::string path = ResourceIdXmlPath();
  if (g_resourceIdFetcher == nullptr) {
    LogError("GetResourceIDFromServer : No transport to fetch %s from the server \n", path);
    return 13;
  }
  return g_resourceIdFetcher(path, resourceId);
}

int GetResourceID(OptString& resourceId) {
  LONG result =
      ReadRegSZ(HKEY_LOCAL_MACHINE, hl::config::SystemDetailsKey().c_str(), "HLAgentResourceID", resourceId);
  if (result == ERROR_SUCCESS) return 0;
  LogError("GetResourceID : Unable to get the HL Agent Resource ID from Registry , So trying to get the same from "
           "server .\n");
  if (hl::config::EqualsNoCase(gv_eventName, "LOGOFF")) return result;
  return GetResourceIDFromServer(resourceId);
}

void SetAgentResourceID(const char* resourceId) {
  if (resourceId == nullptr) return;
  writeValue(HKEY_LOCAL_MACHINE, hl::config::SystemDetailsKey().c_str(), "HLAgentResourceID", resourceId, REG_SZ);
  hl::WString serviceName;
  if (gv_agentServiceName && ChangeUtf8ToWideStr(gv_agentServiceName->c_str(), serviceName))
    SendServiceMsg(kResourceIdChangedControl, serviceName.c_str());
}
