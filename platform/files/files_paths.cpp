// Path checks and the mapping of host errors to Windows and C runtime codes.
#include <sys/stat.h>

#include <cerrno>

#include "platform/files/files_internal.h"
#include "platform/core/machine.h"
#include "platform/core/core_internal.h"
#include "platform/system/win_system.h"

namespace hl::platform {

std::optional<std::filesystem::path> MapFilePath(std::string_view windowsPath) {
  if (windowsPath.empty()) return Fail(ERROR_PATH_NOT_FOUND, std::optional<std::filesystem::path>());
  size_t start = (windowsPath.size() >= 2 && windowsPath[1] == ':') ? 2 : 0;
  for (size_t i = start; i < windowsPath.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(windowsPath[i]);
    if (c < 32 || c == '<' || c == '>' || c == ':' || c == '"' || c == '|' || c == '?' || c == '*')
      return Fail(ERROR_INVALID_NAME, std::optional<std::filesystem::path>());
  }
  auto mapped = MapPath(windowsPath);
  if (!mapped) return Fail(ERROR_PATH_NOT_FOUND, std::optional<std::filesystem::path>());
  return mapped;
}

DWORD MissingEntryError(const std::filesystem::path& path) {
  std::filesystem::path parent = path.parent_path();
  if (parent.empty()) return ERROR_FILE_NOT_FOUND;  // relative to the working directory, which exists
  struct stat st {};
  if (::stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return ERROR_FILE_NOT_FOUND;
  return ERROR_PATH_NOT_FOUND;
}

DWORD ErrorFromErrno(int error, const std::filesystem::path& path) {
  switch (error) {
    case 0: return ERROR_SUCCESS;
    case ENOENT: return MissingEntryError(path);
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS: return ERROR_ACCESS_DENIED;
    case EEXIST: return ERROR_FILE_EXISTS;
    case ENOTEMPTY: return ERROR_DIR_NOT_EMPTY;
    case ENOSPC:
    case EDQUOT: return ERROR_DISK_FULL;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case EXDEV: return ERROR_NOT_SAME_DEVICE;
    case EBUSY:
    case ETXTBSY: return ERROR_SHARING_VIOLATION;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EBADF: return ERROR_INVALID_HANDLE;
    case ELOOP: return ERROR_PATH_NOT_FOUND;
    default: return ERROR_GEN_FAILURE;
  }
}

int ErrnoFromError(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_NO_MORE_FILES:
    case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_INVALID_NAME: return ENOENT;
    case ERROR_TOO_MANY_OPEN_FILES: return EMFILE;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return EACCES;
    case ERROR_INVALID_HANDLE: return EBADF;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY: return ENOMEM;
    case ERROR_NOT_SAME_DEVICE: return EXDEV;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return EEXIST;
    case ERROR_DISK_FULL: return ENOSPC;
    case ERROR_DIR_NOT_EMPTY: return ENOTEMPTY;
    case ERROR_INVALID_PARAMETER: return EINVAL;
    default: return (error >= 19 && error <= 36) ? EACCES : EINVAL;
  }
}

FILETIME FileTimeOf(const struct timespec& time) {
  constexpr ULONGLONG kUnixEpochAsFileTime = 116444736000000000ULL;
  ULONGLONG value = kUnixEpochAsFileTime + static_cast<ULONGLONG>(time.tv_sec) * 10000000ULL +
                    static_cast<ULONGLONG>(time.tv_nsec) / 100ULL;
  return FILETIME{static_cast<DWORD>(value), static_cast<DWORD>(value >> 32)};
}

}  // namespace hl::platform
