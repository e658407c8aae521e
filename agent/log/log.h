// The process-wide levelled log shared by the agent and the Tessera store.
#pragma once

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

// The open log stream, or null.
extern FILE* gv_logFilePtr;
// 1 unless the agent key's HLEventEnabled says otherwise (refreshed by InitLogger).
extern DWORD gv_eventEnabled;

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
// 0 on success, 13 on any failure. openMode 2 truncates, anything else appends.
int InitLogger(const char* fileName, const char* folder, int openMode);
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

// The agent's way to start the log: reads HLAgentInstallDir, rotates, arms the timer, opens.
int StartAgentLog(const char* fileName);
int StartLogger(LogRotationSettings* settings);
int ShutdownAgentLog();

// The store's root folder (set by the store); an open without a folder logs under "<root>/logs".
void SetLogRootFolder(const char* root);

// Current logger state, for the store and for tests.
BYTE GetLogLevel();
void SetLogLevel(BYTE level);
std::string GetLogFilePath();

// ---- Rotation ----
int LoggerTimerMethod(LogRotationSettings* settings);
void LoggerTimerRoutine(PVOID settings, BOOLEAN fired);
int RotateLoggerForEverRunningProcess(const char* folder, const char* fileName, int maxFiles, int maxSize);
int CheckLogSizeReached(const char* path, int maxSize);
int RotateSpecificLogs(const char* directory, const char* fileNames, int maxFiles);
int FindNoOfRepeatedFileNames(const char* directory, const char* base);
std::string MakeLogName(const char* directory, const char* fileName, int k);

// ---- Support ----
std::string GetLogTimestamp();
// 0 created, 1 already existed, else errno.
int MakeDirectoryTree(const char* folder);
