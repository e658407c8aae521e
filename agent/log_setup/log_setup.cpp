#include "agent/log_setup/log_setup.h"

#include <memory>
#include <mutex>
#include <vector>

#include "agent/config/agent_config.h"
#include "agent/log/object_lock.h"
#include "agent/registry/registry.h"

DWORD gv_eventEnabled = 1;

namespace {

// Every start's settings live until the process ends: a timer callback may still hold them.
std::mutex g_settingsMutex;
std::vector<std::unique_ptr<LogRotationSettings>> g_rotationSettings;

LogRotationSettings* NewRotationSettings() {
  std::lock_guard guard(g_settingsMutex);
  g_rotationSettings.push_back(std::make_unique<LogRotationSettings>());
  return g_rotationSettings.back().get();
}

}  // namespace

int InitLogger(const char* fileName, const char* folder, int openMode) {
  InitMutex();
  DWORD eventEnabled = 1;
  if (ReadDwordRegistryData(HKEY_LOCAL_MACHINE, gv_RegKey.c_str(), "HLEventEnabled", &eventEnabled) != 0)
    eventEnabled = 1;
  gv_eventEnabled = eventEnabled;
  if (!InitLogDefaults()) return 13;
  DWORD level = 0;
  BYTE logLevel = LOG_LEVEL_ERROR;
  if (ReadDwordRegistryData(HKEY_LOCAL_MACHINE, gv_RegKey.c_str(), "HLAgentLogLevel", &level) == 0)
    logLevel = static_cast<BYTE>(level & 0xFF);
  if (!SetLogParams(fileName, folder, logLevel)) return 13;
  bool opened = openMode == 2 ? OpenLogFileNew() : OpenLogFileAppend();
  return opened ? 0 : 13;
}

int StartLogger(LogRotationSettings* settings) {
  StartLogRotation(settings);
  return InitLogger(settings->fileName.c_str(), settings->folder.c_str(), settings->openMode);
}

int StartAgentLog(const char* fileName) {
  LONG rc = ReadRegSZ(HKEY_LOCAL_MACHINE, gv_RegKey.c_str(), "HLAgentInstallDir", gv_agentInstallDir);
  if (rc != 0) return rc;
  SetLogInstallFolder(gv_agentInstallDir.value_or("").c_str());
  LogRotationSettings& settings = *NewRotationSettings();
  settings.fileName = fileName ? fileName : "computer.log";
  settings.folder = gv_agentInstallDir.value_or("") + "logs";
  settings.maxFiles = 5;
  settings.maxSize = 2000000;
  settings.period = 900000;
  settings.openMode = 1;
  settings.useTimer = 1;
  StartLogger(&settings);
  return 0;
}
