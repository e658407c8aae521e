#include "agent/log/log.h"

#include <memory>
#include <mutex>
#include <optional>

#include "agent/config/agent_config.h"
#include "agent/log/log_internal.h"
#include "agent/log/object_lock.h"
#include "agent/machine/text.h"
#include "agent/registry/registry.h"

FILE* gv_logFilePtr = nullptr;
DWORD gv_eventEnabled = 1;

namespace {

struct LoggerState {
  std::optional<std::string> fileName;
  std::optional<std::string> folder;
  std::optional<std::string> path;
  BYTE level = LOG_LEVEL_DEBUG;
  std::unique_ptr<char> lockToken;  // its address keys the logger's object lock
  std::string root;                 // the store's root folder, when set
};

// Guards the fields above against a concurrent set-up or shutdown; never held while writing.
std::mutex g_stateMutex;
LoggerState g_logger;


// Opens the log stream with the given C runtime mode.
bool OpenLogFile(const char* mode) {
  if (gv_logFilePtr != nullptr) {
    LogTrace("gv_logFilePtr already Set\n");
    return true;
  }
  std::string path;
  {
    std::optional<std::string> folder, name;
    std::string root;
    {
      std::lock_guard guard(g_stateMutex);
      folder = g_logger.folder;
      name = g_logger.fileName;
      root = g_logger.root;
    }
    const char* fileName = name ? name->c_str() : "";
    if (folder) {
      MakeDirectoryTree(folder->c_str());
      path = hl::Sprintf("%s/%s", *folder, fileName);
    } else if (!root.empty()) {
      std::string logs = hl::Sprintf("%s/logs", root);
      MakeDirectoryTree(logs.c_str());
      path = hl::Sprintf("%s/logs/%s", root, fileName);
    } else {
      hl_mkdir("../logs");
      path = hl::Sprintf("%s/%s", "../logs", fileName);
    }
  }
  FILE* stream = hl_fopen(path.c_str(), mode);
  {
    std::lock_guard guard(g_stateMutex);
    g_logger.path = path;
  }
  if (stream == nullptr) return false;
  std::string opened = hl::Sprintf("Log open time: %s\n", GetLogTimestamp());
  std::fwrite(opened.data(), 1, opened.size(), stream);
  std::fflush(stream);
  gv_logFilePtr = stream;
  return true;
}

std::unique_ptr<LogRotationSettings> g_rotationSettings;  // lives until the process ends
HANDLE g_timerQueue = nullptr;
HANDLE g_rotationTimer = nullptr;

}  // namespace

const void* LoggerLockToken() {
  std::lock_guard guard(g_stateMutex);
  return g_logger.lockToken.get();
}

void LogWrite(LogLevel threshold, const char* tag, std::string_view format, std::span<const hl::FormatArg> args) {
  if (gv_logFilePtr == nullptr) return;
  const void* token = nullptr;
  {
    std::lock_guard guard(g_stateMutex);
    if (g_logger.level < threshold) return;
    token = g_logger.lockToken.get();
  }
  if (token == nullptr) return;
  std::string line = hl::Sprintf("[ %s ] [ %lu ] %s ", GetLogTimestamp(), GetCurrentThreadId(), tag);
  line += hl::FormatPrintf(format, args);
  hl::ObjectLockGuard lock(token);
  if (FILE* stream = gv_logFilePtr) {  // re-read: a close may have run while waiting
    std::fwrite(line.data(), 1, line.size(), stream);
    std::fflush(stream);
  }
}

bool InitLogDefaults() {
  std::lock_guard guard(g_stateMutex);
  if (gv_logFilePtr == nullptr && !g_logger.fileName) {
    g_logger.fileName = "tessera.log";
    g_logger.lockToken = std::make_unique<char>('\0');
    g_logger.folder.reset();
    g_logger.path.reset();
    g_logger.level = LOG_LEVEL_DEBUG;
  } else if (gv_logFilePtr != nullptr) {
    g_logger.level = LOG_LEVEL_DEBUG;
  }
  return true;
}

bool SetLogParams(const char* fileName, const char* folder, BYTE level) {
  std::lock_guard guard(g_stateMutex);
  g_logger.fileName = fileName ? std::optional<std::string>(fileName) : std::nullopt;
  g_logger.folder = folder ? std::optional<std::string>(folder) : std::nullopt;
  g_logger.level = level;
  return true;
}

bool OpenLogFileNew() { return OpenLogFile("w"); }
bool OpenLogFileAppend() { return OpenLogFile("a+"); }

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

void CloseLogFile() {
  const void* token = LoggerLockToken();
  std::unique_ptr<hl::ObjectLockGuard> lock;
  if (token != nullptr) lock = std::make_unique<hl::ObjectLockGuard>(token);
  if (FILE* stream = gv_logFilePtr) {
    std::string closed = hl::Sprintf("Log close time: %s\n", GetLogTimestamp());
    std::fwrite(closed.data(), 1, closed.size(), stream);
    std::fflush(stream);
    std::fclose(stream);
  }
  gv_logFilePtr = nullptr;
}

void FreeLogSettings() {
  std::lock_guard guard(g_stateMutex);
  g_logger.fileName.reset();
  g_logger.folder.reset();
  g_logger.path.reset();
  g_logger.lockToken.reset();
}

void SetLogRootFolder(const char* root) {
  std::lock_guard guard(g_stateMutex);
  g_logger.root = root ? root : "";
}

BYTE GetLogLevel() {
  std::lock_guard guard(g_stateMutex);
  return g_logger.level;
}

void SetLogLevel(BYTE level) {
  std::lock_guard guard(g_stateMutex);
  g_logger.level = level;
}

std::string GetLogFilePath() {
  std::lock_guard guard(g_stateMutex);
  return g_logger.path.value_or("");
}

int StartAgentLog(const char* fileName) {
  LONG rc = ReadRegSZ(HKEY_LOCAL_MACHINE, gv_RegKey.c_str(), "HLAgentInstallDir", gv_agentInstallDir);
  if (rc != 0) return rc;
  if (!g_rotationSettings) g_rotationSettings = std::make_unique<LogRotationSettings>();
  LogRotationSettings& settings = *g_rotationSettings;
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

int StartLogger(LogRotationSettings* settings) {
  if (settings->useTimer) {
    g_timerQueue = CreateTimerQueue();
    if (g_timerQueue != nullptr) {
      LogInfo("ServiceMain : TimerQueue is created successfully \n");
    } else {
      LogError("ServiceMain : CreateTimerQueue is failed due to following error !! \n");
      LogErrorMessage(GetLastError());
    }
    LoggerTimerMethod(settings);
  } else {
    RotateLoggerForEverRunningProcess(settings->folder.c_str(), settings->fileName.c_str(), settings->maxFiles,
                                      settings->maxSize);
  }
  return InitLogger(settings->fileName.c_str(), settings->folder.c_str(), settings->openMode);
}

int ShutdownAgentLog() {
  if (g_timerQueue != nullptr) {
    if (!DeleteTimerQueueEx(g_timerQueue, nullptr)) {
      LogError("ServiceMain : DeleteTimerQueue is failed due to following error !! \n");
      LogErrorMessage(GetLastError());
    }
    g_timerQueue = nullptr;
    g_rotationTimer = nullptr;
  }
  CloseLogFile();
  FreeLogSettings();
  CloseObjectLockMutex();
  return 0;
}

int LoggerTimerMethod(LogRotationSettings* settings) {
  RotateLoggerForEverRunningProcess(settings->folder.c_str(), settings->fileName.c_str(), settings->maxFiles,
                                    settings->maxSize);
  HANDLE timer = nullptr;
  if (!CreateTimerQueueTimer(&timer, g_timerQueue, LoggerTimerRoutine, settings, static_cast<DWORD>(settings->period),
                             0, WT_EXECUTEDEFAULT)) {
    DWORD error = GetLastError();
    LogError("LoggerTimerMethod : CreateTimerQueueTimer failed due to following error \n");
    LogErrorMessage(error);
    return static_cast<int>(error);
  }
  g_rotationTimer = timer;
  LogDebug("LoggerTimerMethod : Registered the TimerRoutime callback in next %d minutes . \n",
           settings->period / 60000);
  return 0;
}

void LoggerTimerRoutine(PVOID settings, BOOLEAN /*fired*/) {
  LogInfo("LoggerTimerRoutine : Inside LoggerTimerRoutine Method\n");
  LoggerTimerMethod(static_cast<LogRotationSettings*>(settings));
  LogInfo("LoggerTimerRoutine : End of LoggerTimerRoutine Method\n");
}

std::string GetLogTimestamp() {
  SYSTEMTIME t{};
  GetLocalTime(&t);
  return hl::Sprintf("%d-%02d-%02d %02d:%02d:%02d:%03d", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond,
                     t.wMilliseconds);
}
