// The process-wide levelled log shared by the agent and the Tessera store.
#pragma once

#include <atomic>
#include <cstdio>
#include <span>
#include <string>

#include "agent/log/format.h"
#include "platform/win32.h"

enum LogLevel : BYTE {
  LOG_LEVEL_NONE = 0,
  LOG_LEVEL_INFO = 1,
  LOG_LEVEL_ERROR = 2,
  LOG_LEVEL_DEBUG = 3,
  LOG_LEVEL_TRACE = 4,
};

// The open log stream, or null (read by any thread, changed by open and close).
extern std::atomic<FILE*> gv_logFilePtr;

// Writes one line when a log is open, the lock token exists and the level is at least `threshold`.
void LogWrite(LogLevel threshold, const char* tag, std::string_view format, std::span<const hl::FormatArg> args);

namespace hl::detail {
template <class... A>
void LogAt(LogLevel threshold, const char* tag, std::string_view format, const A&... args) {
  if constexpr (sizeof...(A) == 0) {
    LogWrite(threshold, tag, format, {});
  } else {
    const FormatArg list[] = {FormatArg(args)...};
    LogWrite(threshold, tag, format, list);
  }
}
}  // namespace hl::detail

template <class... A>
void LogInfo(std::string_view format, const A&... args) {
  hl::detail::LogAt(LOG_LEVEL_INFO, "[INFO]", format, args...);
}
template <class... A>
void LogError(std::string_view format, const A&... args) {
  hl::detail::LogAt(LOG_LEVEL_ERROR, "[ERROR]", format, args...);
}
template <class... A>
void LogDebug(std::string_view format, const A&... args) {
  hl::detail::LogAt(LOG_LEVEL_DEBUG, "[DEBUG]", format, args...);
}
template <class... A>
void LogTrace(std::string_view format, const A&... args) {
  hl::detail::LogAt(LOG_LEVEL_TRACE, "[TRACE]", format, args...);
}

// ---- Set-up and shutdown ----
bool InitLogDefaults();
bool SetLogParams(const char* fileName, const char* folder, BYTE level);
bool OpenLogFileNew();
bool OpenLogFileAppend();
void CloseLogFile();
void FreeLogSettings();

struct LogRotationSettings {
  std::string fileName = "computer.log";
  std::string folder;
  int maxFiles = 5;
  int maxSize = 2000000;
  int period = 900000;  // milliseconds
  int openMode = 1;     // 1 append, 2 truncate
  BYTE useTimer = 1;
};

// With use-timer: creates the timer queue, checks the live file and arms the one-shot timer;
// without: one check. (InitLogger and the agent's start, which read the registry, build on it.)
void StartLogRotation(LogRotationSettings* settings);
// Deletes the timer queue without waiting, closes the log, frees the settings, closes the mutex.
int ShutdownAgentLog();

// The store's root folder (set by the store); an open without a folder logs under "<root>/logs".
void SetLogRootFolder(const char* root);
// The agent's install folder (ends with a separator); a rotation without a folder uses its "logs".
void SetLogInstallFolder(const char* installDir);
std::string GetLogInstallFolder();

// Current logger state, for the store and for tests.
BYTE GetLogLevel();
void SetLogLevel(BYTE level);
std::string GetLogFilePath();

// ---- Rotation ----
int LoggerTimerMethod(LogRotationSettings* settings);
VOID CALLBACK LoggerTimerRoutine(PVOID settings, BOOLEAN fired);
int RotateLoggerForEverRunningProcess(const char* folder, const char* fileName, int maxFiles, int maxSize);
int CheckLogSizeReached(const char* path, int maxSize);
int RotateSpecificLogs(const char* directory, const char* fileNames, int maxFiles);
int FindNoOfRepeatedFileNames(const char* directory, const char* base);
std::string MakeLogName(const char* directory, const char* fileName, int k);

// ---- Support ----
std::string GetLogTimestamp();
// 0 created, 1 already existed, else errno.
int MakeDirectoryTree(const char* folder);
