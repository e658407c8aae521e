// How the log stays consistent across threads:
// - The names, folder, path, level and the "token set" flag live in one state record guarded by
//   g_stateMutex, which is never held while writing a line.
// - The lock token is one static byte: its address keys the logger's object lock and never moves,
//   so a writer that read the token just before the settings were freed still locks the right key.
// - The open stream is an atomic pointer. Writers format the message outside any lock, then take
//   the object lock, stamp the line (time and thread id, so lines are in time order), re-read the
//   stream and write. Open and close publish or clear the stream while holding the same object
//   lock (and g_openMutex, which keeps two openers from both opening), so a line never meets a
//   stream being closed.
// - The rotation timer's queue and handle are guarded by g_timerMutex. Shutdown deletes the queue
//   without waiting and marks rotation stopped; a callback already running finishes its check but
//   arms no further timer, and its lines go nowhere once the log is closed.
#include "agent/log/log.h"

#include <atomic>
#include <mutex>
#include <optional>

#include "agent/log/error_text.h"
#include "agent/log/log_internal.h"
#include "agent/log/object_lock.h"

std::atomic<FILE*> gv_logFilePtr{nullptr};

namespace {

struct LoggerState {
  std::optional<std::string> fileName;
  std::optional<std::string> folder;
  std::optional<std::string> path;
  BYTE level = LOG_LEVEL_DEBUG;
  bool hasToken = false;    // the lock token exists once the defaults are set
  std::string root;         // the store's root folder, when set
  std::string installDir;   // the agent's install folder, for a rotation without a folder
};

std::mutex g_stateMutex;
LoggerState g_logger;
char g_lockToken;  // its address keys the logger's object lock
std::mutex g_openMutex;

std::mutex g_timerMutex;
HANDLE g_timerQueue = nullptr;
HANDLE g_rotationTimer = nullptr;
bool g_rotationStopped = false;          // set by shutdown: callbacks still running arm nothing
thread_local bool t_inRotationCallback = false;

std::string ComposeLogPath() {
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
    return hl::Sprintf("%s/%s", *folder, fileName);
  }
  if (!root.empty()) {
    std::string logs = hl::Sprintf("%s/logs", root);
    MakeDirectoryTree(logs.c_str());
    return hl::Sprintf("%s/logs/%s", root, fileName);
  }
  hl_mkdir("../logs");
  return hl::Sprintf("%s/%s", "../logs", fileName);
}

// Opens the log stream with the given C runtime mode.
bool OpenLogFile(const char* mode) {
  std::lock_guard open(g_openMutex);
  if (gv_logFilePtr.load() != nullptr) {
    LogTrace("gv_logFilePtr already Set\n");
    return true;
  }
  std::string path = ComposeLogPath();
  FILE* stream = hl_fopen(path.c_str(), mode);
  {
    std::lock_guard guard(g_stateMutex);
    g_logger.path = path;
  }
  if (stream == nullptr) return false;
  hl::ObjectLockGuard lock(&g_lockToken);
  std::string opened = hl::Sprintf("Log open time: %s\n", GetLogTimestamp());
  std::fwrite(opened.data(), 1, opened.size(), stream);
  std::fflush(stream);
  gv_logFilePtr.store(stream);
  return true;
}

}  // namespace

const void* LoggerLockToken() {
  std::lock_guard guard(g_stateMutex);
  return g_logger.hasToken ? &g_lockToken : nullptr;
}

void LogWrite(LogLevel threshold, const char* tag, std::string_view format, std::span<const hl::FormatArg> args) {
  if (gv_logFilePtr.load() == nullptr) return;
  {
    std::lock_guard guard(g_stateMutex);
    if (g_logger.level < threshold || !g_logger.hasToken) return;
  }
  std::string message = hl::FormatPrintf(format, args);
  hl::ObjectLockGuard lock(&g_lockToken);
  FILE* stream = gv_logFilePtr.load();  // re-read: a close may have run while waiting
  if (stream == nullptr) return;
  std::string line = hl::Sprintf("[ %s ] [ %lu ] %s ", GetLogTimestamp(), GetCurrentThreadId(), tag);
  line += message;
  std::fwrite(line.data(), 1, line.size(), stream);
  std::fflush(stream);
}

bool InitLogDefaults() {
  std::lock_guard guard(g_stateMutex);
  bool open = gv_logFilePtr.load() != nullptr;
  if (!open && !g_logger.fileName) {
    g_logger.fileName = "tessera.log";
    g_logger.hasToken = true;
    g_logger.folder.reset();
    g_logger.path.reset();
    g_logger.level = LOG_LEVEL_DEBUG;
  } else if (open) {
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

void CloseLogFile() {
  std::lock_guard open(g_openMutex);
  hl::ObjectLockGuard lock(&g_lockToken);
  if (FILE* stream = gv_logFilePtr.exchange(nullptr)) {
    std::string closed = hl::Sprintf("Log close time: %s\n", GetLogTimestamp());
    std::fwrite(closed.data(), 1, closed.size(), stream);
    std::fflush(stream);
    std::fclose(stream);
  }
}

void FreeLogSettings() {
  std::lock_guard guard(g_stateMutex);
  g_logger.fileName.reset();
  g_logger.folder.reset();
  g_logger.path.reset();
  g_logger.hasToken = false;
}

void SetLogRootFolder(const char* root) {
  std::lock_guard guard(g_stateMutex);
  g_logger.root = root ? root : "";
}

void SetLogInstallFolder(const char* installDir) {
  std::lock_guard guard(g_stateMutex);
  g_logger.installDir = installDir ? installDir : "";
}

std::string GetLogInstallFolder() {
  std::lock_guard guard(g_stateMutex);
  return g_logger.installDir;
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

void StartLogRotation(LogRotationSettings* settings) {
  if (settings->useTimer) {
    HANDLE queue = CreateTimerQueue();
    DWORD error = GetLastError();
    {
      std::lock_guard guard(g_timerMutex);
      g_timerQueue = queue;
      g_rotationStopped = false;
    }
    if (queue != nullptr) {
      LogInfo("ServiceMain : TimerQueue is created successfully \n");
    } else {
      LogError("ServiceMain : CreateTimerQueue is failed due to following error !! \n");
      LogErrorMessage(error);
    }
    LoggerTimerMethod(settings);
  } else {
    RotateLoggerForEverRunningProcess(settings->folder.c_str(), settings->fileName.c_str(), settings->maxFiles,
                                      settings->maxSize);
  }
}

int ShutdownAgentLog() {
  HANDLE queue = nullptr;
  {
    std::lock_guard guard(g_timerMutex);
    queue = g_timerQueue;
    g_timerQueue = nullptr;
    g_rotationTimer = nullptr;
    g_rotationStopped = true;
  }
  if (queue != nullptr && !DeleteTimerQueueEx(queue, nullptr)) {
    DWORD error = GetLastError();
    LogError("ServiceMain : DeleteTimerQueue is failed due to following error !! \n");
    LogErrorMessage(error);
  }
  CloseLogFile();
  FreeLogSettings();
  CloseObjectLockMutex();
  return 0;
}

int LoggerTimerMethod(LogRotationSettings* settings) {
  RotateLoggerForEverRunningProcess(settings->folder.c_str(), settings->fileName.c_str(), settings->maxFiles,
                                    settings->maxSize);
  DWORD error = 0;
  {
    std::lock_guard guard(g_timerMutex);
    if (!t_inRotationCallback) {
      g_rotationStopped = false;  // a direct call (re)starts the checks
    } else if (g_rotationStopped) {
      return 0;  // the log was shut down while this check ran
    }
    HANDLE timer = nullptr;
    if (CreateTimerQueueTimer(&timer, g_timerQueue, LoggerTimerRoutine, settings,
                              static_cast<DWORD>(settings->period), 0, WT_EXECUTEDEFAULT)) {
      g_rotationTimer = timer;
    } else {
      error = GetLastError();
    }
  }
  if (error != 0) {
    LogError("LoggerTimerMethod : CreateTimerQueueTimer failed due to following error \n");
    LogErrorMessage(error);
    return static_cast<int>(error);
  }
  LogDebug("LoggerTimerMethod : Registered the TimerRoutime callback in next %d minutes . \n",
           settings->period / 60000);
  return 0;
}

VOID CALLBACK LoggerTimerRoutine(PVOID settings, BOOLEAN /*fired*/) {
  t_inRotationCallback = true;
  LogInfo("LoggerTimerRoutine : Inside LoggerTimerRoutine Method\n");
  LoggerTimerMethod(static_cast<LogRotationSettings*>(settings));
  LogInfo("LoggerTimerRoutine : End of LoggerTimerRoutine Method\n");
  t_inRotationCallback = false;
}

std::string GetLogTimestamp() {
  SYSTEMTIME t{};
  GetLocalTime(&t);
  return hl::Sprintf("%d-%02d-%02d %02d:%02d:%02d:%03d", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond,
                     t.wMilliseconds);
}
