#include "prereq/prereq.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "agent/config/agent_config.h"
#include "agent/log/log.h"
#include "agent/log_setup/log_setup.h"
#include "agent/osinfo/osinfo.h"
#include "agent/registry/registry.h"
#include "prereq/antivirus.h"

namespace {

constexpr const char* kCompatKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\QualityCompat";
constexpr const char* kCompatValue = "cadca5fe-87d3-4b96-b7fb-a231484277cc";
constexpr const char* kMemoryManagementKey = "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Memory Management";
constexpr const char* kVirtualizationKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Virtualization";

// Searches for an active antivirus product with the source that suits the operating system.
BYTE SearchAntivirus(bool server) {
  BYTE isAVFound = 0;
  if (!server) {
    ConnectWmiNamespace(WSTR("root\\SecurityCenter2"));
    LoadInstalledUpdatesUsingWMI(&isAVFound);
    LogInfo("isAVFound : %d \n", isAVFound);
    DisconnectWmi();
  } else {
    ConnectWmiNamespace(WSTR("root\\CIMV2"));
    FindAntivirusInInstalledProducts(&isAVFound);
    DisconnectWmi();
    if (isAVFound == 0) isAVFound = defenderStatusCheck();
    LogInfo("isAVFound : %d \n", isAVFound);
  }
  return isAVFound;
}

}  // namespace

int ParseClearJavaDetection(const char* text) {
  if (text == nullptr || *text == '\0') return 0;
  const char* p = text;
  if (*p == '+' || *p == '-') ++p;
  if (*p == '\0') return -1;
  for (const char* q = p; *q; ++q)
    if (*q < '0' || *q > '9') return -1;
  errno = 0;
  long long value = std::strtoll(text, nullptr, 10);
  if (errno == ERANGE || value < INT_MIN || value > INT_MAX) return -1;
  return static_cast<int>(value);
}

void ParsePrereqOptions(int argc, const char* const* argv, PrereqSettings& settings) {
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (arg == nullptr || arg[0] != '-') continue;
    char option = arg[1];
    if (std::strchr("plvcsdxj", option) == nullptr || option == '\0') continue;
    if (i + 1 >= argc) break;  // no value to read: the option is ignored
    const char* value = argv[++i];
    switch (option) {
      case 'p':
        settings.patchName = value;
        LogInfo("patchName :%s\n", settings.patchName);
        break;
      case 'l':
        settings.productName = value;
        LogInfo("productName : %s\n", settings.productName);
        break;
      case 'v':
        settings.productVersion = value;
        LogInfo("productVersion : %s\n", settings.productVersion);
        break;
      case 'c':
        settings.clearJavaDetection = ParseClearJavaDetection(value);
        LogInfo("Java detection need to be cleared");
        break;
      case 's':
        settings.calledFromSoftwareDeployment = 1;
        LogInfo("called from software deployment");
        break;
      case 'd':
        settings.dependencyFileName = value;
        LogInfo("dependencyFileName : %s\n", settings.dependencyFileName);
        break;
      case 'x':
        settings.javaArchitecture = value;
        LogInfo("javaArchitecture : %s\n", settings.javaArchitecture);
        break;
      case 'j':
        settings.javaLatestInstalledVersion = value;
        LogInfo("javaLatestInstalledVersion : %s\n", settings.javaLatestInstalledVersion);
        break;
    }
  }
}

int IsServerOS() {
  std::optional<std::string> name = GetOSNameEx();
  LogInfo("IsServerOS : Os Name %s\n", name.value_or(""));  // a missing name is logged empty
  if (name && name->find("Windows Server") != std::string::npos) {
    LogInfo("IsServerOS : TRUE\n");
    return 1;
  }
  LogInfo("IsServerOS : FALSE\n");
  return 0;
}

void enableProtectioninServerOS() {
  LONG rc = writeValue(HKEY_LOCAL_MACHINE, kMemoryManagementKey, "FeatureSettingsOverride", "0", REG_DWORD);
  LogInfo("enableProtectioninServerOS : FeatureSettingsOverride : %d \n", rc);
  rc = writeValue(HKEY_LOCAL_MACHINE, kMemoryManagementKey, "FeatureSettingsOverrideMask", "3", REG_DWORD);
  LogInfo("enableProtectioninServerOS : FeatureSettingsOverrideMask : %d \n", rc);
  // Hyper-V reads this value as the text "1.0"; a DWORD would leave the mitigation off.
  rc = writeValueEx(HKEY_LOCAL_MACHINE, kVirtualizationKey, "MinVmVersionForCpuBasedMitigations", "1.0", REG_SZ);
  LogInfo("enableProtectioninServerOS : MinVmVersionForCpuBasedMitigations : %d \n", rc);
}

int PrereqMain(int argc, char** argv) {
  if (ReadRegSZ(HKEY_LOCAL_MACHINE, gv_RegKey.c_str(), "HLAgentInstallDir", gv_agentInstallDir) != 0)
    return kExitAgentMissing;

  StartAgentLog("hlprereqhandler.log");
  if (InitializeAgentParameters() != 0) LogError("Harborline Agent info is not available in this machine.\n");
  hl::Printf("gv_RegKey : %s\n", gv_RegKey);

  PrereqSettings settings;
  ParsePrereqOptions(argc, argv, settings);
  GetOSNameEx();
  LogInfo(" gv_IsWow64 : %d \n", gv_IsWow64);
  const bool server = IsServerOS() != 0;

  const bool use64BitView = !(settings.javaArchitecture && *settings.javaArchitecture == "32");
  std::string compatText;
  if (GetRegKeyValue(kCompatKey, kCompatValue, compatText, use64BitView) == kRegValueRead) {
    LogInfo("Key found ::: %s,%s \n", kCompatKey, kCompatValue);
    if (server) enableProtectioninServerOS();
    ShutdownAgentLog();
    return kExitPrerequisiteMet;
  }

  LogInfo("Key not found ::: %s,%s \n", kCompatKey, kCompatValue);
  if (SearchAntivirus(server) != 0) {
    LogInfo("Return code : 15613 \n");
    ShutdownAgentLog();
    return kExitAntivirusFound;
  }
  if (server) enableProtectioninServerOS();
  LogInfo("Return code : 0 \n");
  ShutdownAgentLog();
  return kExitPrerequisiteMet;
}
