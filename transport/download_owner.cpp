// This module names the process that holds a resumable download's in-progress mark and tells
// whether that process still runs, so a mark left by a process that was killed does not block
// the download's resumption for the whole in-progress window.
//
// How: the owner text is "<process id>:<creation time>" with the creation time as the 64-bit
// value of the process's FILETIME. The process id alone is not enough: ids are reused, and a
// later process with the same id has another creation time. Only a clear answer counts as gone
// (no such process, an exit code, another creation time); any failure to ask counts as running.
#include <cstdlib>
#include <string>

#include "transport/download_internal.h"

namespace hl::transport {
namespace {

std::optional<ULONGLONG> CreationTimeOf(HANDLE process) {
  FILETIME creation{}, exit{}, kernel{}, user{};
  if (!GetProcessTimes(process, &creation, &exit, &kernel, &user)) return std::nullopt;
  return (static_cast<ULONGLONG>(creation.dwHighDateTime) << 32) | creation.dwLowDateTime;
}

}  // namespace

std::string CurrentDownloadOwner() {
  std::optional<ULONGLONG> created = CreationTimeOf(GetCurrentProcess());
  if (!created) return "";
  return std::to_string(GetCurrentProcessId()) + ":" + std::to_string(*created);
}

DownloadOwnerState GetDownloadOwnerState(const std::string& owner) {
  size_t colon = owner.find(':');
  if (colon == 0 || colon == std::string::npos || colon + 1 == owner.size()) return DownloadOwnerState::kUnknown;
  char* end = nullptr;
  unsigned long long pid = std::strtoull(owner.c_str(), &end, 10);
  if (end != owner.c_str() + colon || pid == 0 || pid > 0xFFFFFFFFull) return DownloadOwnerState::kUnknown;
  unsigned long long created = std::strtoull(owner.c_str() + colon + 1, &end, 10);
  if (*end != '\0' || owner[colon + 1] == '-') return DownloadOwnerState::kUnknown;

  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
  if (process == nullptr) {
    // No process has that id any more; other refusals (access) say it exists.
    return GetLastError() == ERROR_INVALID_PARAMETER ? DownloadOwnerState::kGone : DownloadOwnerState::kRunning;
  }
  DownloadOwnerState state = DownloadOwnerState::kRunning;
  DWORD exitCode = 0;
  std::optional<ULONGLONG> actual = CreationTimeOf(process);
  if (GetExitCodeProcess(process, &exitCode) && exitCode != static_cast<DWORD>(STILL_ACTIVE)) {
    state = DownloadOwnerState::kGone;
  } else if (actual && *actual != created) {
    state = DownloadOwnerState::kGone;  // the id now names a later process
  }
  CloseHandle(process);
  return state;
}

}  // namespace hl::transport
