// OpenProcess and the query calls on process handles.
//
// How: a process is read from /proc/<pid>/stat. Its start time there (clock ticks after boot)
// together with the boot time of /proc/stat gives the creation time as a FILETIME; the start
// ticks also tell a process from a later one that got the same id. A zombie (ended, not yet
// reaped) has ended: its exit status is in the same file. A handle keeps what it last saw, so
// it still answers once the process has gone entirely.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <exception>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/core/core_internal.h"
#include "platform/system/win_system.h"

namespace hl::platform {
namespace {

constexpr ULONGLONG kUnixEpochAsFileTime = 116444736000000000ULL;  // 1601 to 1970 in 100 ns
constexpr ULONGLONG kFileTimeUnitsPerSecond = 10000000ULL;

struct ProcStat {
  char state = '?';
  ULONGLONG userTicks = 0;
  ULONGLONG kernelTicks = 0;
  ULONGLONG startTicks = 0;
  int exitStatus = 0;  // waitpid form; meaningful for a zombie only
};

std::optional<std::string> ReadWholeFile(const std::string& path) {
  std::ifstream in(path);
  if (!in) return std::nullopt;
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The fields of /proc/<pid>/stat; nullopt when no process or thread has that id.
std::optional<ProcStat> ReadProcStat(DWORD pid) {
  std::optional<std::string> text = ReadWholeFile("/proc/" + std::to_string(pid) + "/stat");
  if (!text) return std::nullopt;
  // The command name is in parentheses and may itself hold spaces and parentheses.
  size_t close = text->rfind(')');
  if (close == std::string::npos) return std::nullopt;
  std::istringstream rest(text->substr(close + 1));
  std::vector<std::string> fields;  // fields[0] is the state, the third field of the file
  for (std::string field; rest >> field;) fields.push_back(field);
  if (fields.size() < 20 || fields[0].empty()) return std::nullopt;
  ProcStat stat;
  stat.state = fields[0][0];
  try {
    stat.userTicks = std::stoull(fields[11]);
    stat.kernelTicks = std::stoull(fields[12]);
    stat.startTicks = std::stoull(fields[19]);
    if (fields.size() > 49) stat.exitStatus = std::stoi(fields[49]);
  } catch (const std::exception&) {  // not the layout of this kernel's file
    return std::nullopt;
  }
  return stat;
}

// True when `pid` is a process (thread group leader), not another thread of one.
bool IsProcessId(DWORD pid) {
  std::optional<std::string> status = ReadWholeFile("/proc/" + std::to_string(pid) + "/status");
  if (!status) return false;
  size_t at = status->find("\nTgid:");
  if (at == std::string::npos) return false;
  return std::strtoul(status->c_str() + at + 6, nullptr, 10) == pid;
}

ULONGLONG BootTimeSeconds() {
  static const ULONGLONG boot = [] {
    std::optional<std::string> text = ReadWholeFile("/proc/stat");
    size_t at = text ? text->find("\nbtime ") : std::string::npos;
    return at == std::string::npos ? 0ULL : std::strtoull(text->c_str() + at + 7, nullptr, 10);
  }();
  return boot;
}

ULONGLONG TicksToFileTimeUnits(ULONGLONG ticks) {
  static const ULONGLONG perSecond = static_cast<ULONGLONG>(sysconf(_SC_CLK_TCK) > 0 ? sysconf(_SC_CLK_TCK) : 100);
  return ticks * kFileTimeUnitsPerSecond / perSecond;
}

FILETIME ToFileTime(ULONGLONG value) {
  FILETIME ft{};
  ft.dwLowDateTime = static_cast<DWORD>(value);
  ft.dwHighDateTime = static_cast<DWORD>(value >> 32);
  return ft;
}

bool HasEnded(char state) { return state == 'Z' || state == 'X'; }

DWORD ExitCodeOf(int status) {
  if (WIFEXITED(status)) return static_cast<DWORD>(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return 128u + static_cast<DWORD>(WTERMSIG(status));
  return 0;
}

class ProcessObject : public KernelObject {
 public:
  ProcessObject(DWORD pid, const ProcStat& stat) : pid_(pid), startTicks_(stat.startTicks) { Update(stat); }

  ULONGLONG CreationTime() const {
    return kUnixEpochAsFileTime + BootTimeSeconds() * kFileTimeUnitsPerSecond + TicksToFileTimeUnits(startTicks_);
  }

  // Reads the process again; false once it has ended.
  bool Refresh() {
    std::lock_guard lock(mutex_);
    if (ended_) return false;
    std::optional<ProcStat> stat = ReadProcStat(pid_);
    if (!stat || stat->startTicks != startTicks_) {
      ended_ = true;  // reaped, or the id now names a later process
      return false;
    }
    Update(*stat);
    return !ended_;
  }

  DWORD exitCode() {
    std::lock_guard lock(mutex_);
    return exitCode_;
  }
  void Times(ULONGLONG& kernel, ULONGLONG& user) {
    std::lock_guard lock(mutex_);
    kernel = TicksToFileTimeUnits(kernelTicks_);
    user = TicksToFileTimeUnits(userTicks_);
  }

 private:
  void Update(const ProcStat& stat) {
    kernelTicks_ = stat.kernelTicks;
    userTicks_ = stat.userTicks;
    if (HasEnded(stat.state)) {
      ended_ = true;
      exitCode_ = ExitCodeOf(stat.exitStatus);
    }
  }

  std::mutex mutex_;
  const DWORD pid_;
  const ULONGLONG startTicks_;
  ULONGLONG kernelTicks_ = 0, userTicks_ = 0;
  bool ended_ = false;
  DWORD exitCode_ = 0;
};

std::shared_ptr<ProcessObject> OpenObject(DWORD pid) {
  std::optional<ProcStat> stat = ReadProcStat(pid);
  if (!stat || !IsProcessId(pid)) return nullptr;
  return std::make_shared<ProcessObject>(pid, *stat);
}

// The object behind a handle; the current process's pseudo handle gets a fresh one.
std::shared_ptr<ProcessObject> ObjectOf(HANDLE handle) {
  if (handle == GetCurrentProcess()) return OpenObject(GetCurrentProcessId());
  return LookupHandleAs<ProcessObject>(handle);
}

}  // namespace
}  // namespace hl::platform

HANDLE OpenProcess(DWORD dwDesiredAccess, BOOL, DWORD dwProcessId) {
  using hl::platform::Fail;
  constexpr DWORD kOffered = PROCESS_QUERY_INFORMATION | PROCESS_QUERY_LIMITED_INFORMATION;
  if (dwDesiredAccess == 0 || (dwDesiredAccess & ~kOffered) != 0) return Fail(ERROR_ACCESS_DENIED, HANDLE{nullptr});
  if (dwProcessId == 0) return Fail(ERROR_INVALID_PARAMETER, HANDLE{nullptr});
  std::shared_ptr<hl::platform::ProcessObject> object = hl::platform::OpenObject(dwProcessId);
  if (!object) return Fail(ERROR_INVALID_PARAMETER, HANDLE{nullptr});
  return hl::platform::RegisterHandle(std::move(object));
}

BOOL GetExitCodeProcess(HANDLE hProcess, LPDWORD lpExitCode) {
  using hl::platform::Fail;
  if (lpExitCode == nullptr) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  if (hProcess == GetCurrentProcess()) {
    *lpExitCode = STILL_ACTIVE;
    return TRUE;
  }
  auto process = hl::platform::LookupHandleAs<hl::platform::ProcessObject>(hProcess);
  if (!process) return Fail(ERROR_INVALID_HANDLE, FALSE);
  *lpExitCode = process->Refresh() ? static_cast<DWORD>(STILL_ACTIVE) : process->exitCode();
  return TRUE;
}

BOOL GetProcessTimes(HANDLE hProcess, LPFILETIME lpCreationTime, LPFILETIME lpExitTime, LPFILETIME lpKernelTime,
                     LPFILETIME lpUserTime) {
  using hl::platform::Fail;
  if (!lpCreationTime || !lpExitTime || !lpKernelTime || !lpUserTime) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  auto process = hl::platform::ObjectOf(hProcess);
  if (!process) return Fail(ERROR_INVALID_HANDLE, FALSE);
  process->Refresh();
  ULONGLONG kernel = 0, user = 0;
  process->Times(kernel, user);
  *lpCreationTime = hl::platform::ToFileTime(process->CreationTime());
  *lpExitTime = hl::platform::ToFileTime(0);  // the moment of the end is not kept by the system
  *lpKernelTime = hl::platform::ToFileTime(kernel);
  *lpUserTime = hl::platform::ToFileTime(user);
  return TRUE;
}
