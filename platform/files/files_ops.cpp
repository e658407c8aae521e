// Whole-file and directory operations: copy, move, delete, directories, attributes, temporary folder.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/files/files_internal.h"
#include "platform/core/machine.h"
#include "platform/core/core_internal.h"
#include "platform/system/win_system.h"

namespace {

using hl::platform::Fail;
namespace fs = std::filesystem;

bool SameEntry(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// Copies the data of `from` into `to` (both open); false with the last error set.
bool CopyData(int from, int to) {
  std::vector<char> buffer(1 << 16);
  for (;;) {
    ssize_t n = ::read(from, buffer.data(), buffer.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return Fail(ERROR_READ_FAULT, false);
    }
    if (n == 0) return true;
    for (ssize_t done = 0; done < n;) {
      ssize_t w = ::write(to, buffer.data() + done, static_cast<size_t>(n - done));
      if (w < 0) {
        if (errno == EINTR) continue;
        return Fail(errno == ENOSPC ? static_cast<DWORD>(ERROR_DISK_FULL) : static_cast<DWORD>(ERROR_WRITE_FAULT),
                    false);
      }
      done += w;
    }
  }
}

BOOL Copy(const char* api, const std::string& source, const std::string& target, bool failIfExists) {
  if (auto fault = hl::platform::InjectedFault(api, source)) return Fail(*fault, FALSE);
  auto from = hl::platform::MapFilePath(source);
  if (!from) return FALSE;
  auto to = hl::platform::MapFilePath(target);
  if (!to) return FALSE;
  struct stat src {}, dst {};
  if (::stat(from->c_str(), &src) != 0) return Fail(hl::platform::ErrorFromErrno(errno, *from), FALSE);
  if (S_ISDIR(src.st_mode)) return Fail(ERROR_ACCESS_DENIED, FALSE);
  bool targetExists = ::stat(to->c_str(), &dst) == 0;
  if (targetExists && failIfExists) return Fail(ERROR_FILE_EXISTS, FALSE);
  if (targetExists && S_ISDIR(dst.st_mode)) return Fail(ERROR_ACCESS_DENIED, FALSE);
  // Copying a file onto itself would truncate it before reading; Windows refuses it as in use.
  if (targetExists && SameEntry(src, dst)) return Fail(ERROR_SHARING_VIOLATION, FALSE);

  DWORD error = ERROR_SUCCESS;
  bool existed = false;
  auto in = hl::platform::OpenFileObject(*from, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         OPEN_EXISTING, 0, error, existed);
  if (!in) return Fail(error, FALSE);
  auto out = hl::platform::OpenFileObject(*to, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                          failIfExists ? CREATE_NEW : CREATE_ALWAYS, 0, error, existed);
  if (!out) return Fail(error, FALSE);
  if (!CopyData(in->fd(), out->fd())) return FALSE;
  // Like CopyFile: the copy keeps the source's last write time and permissions.
  struct timespec times[2] = {src.st_atim, src.st_mtim};
  ::futimens(out->fd(), times);
  ::fchmod(out->fd(), src.st_mode & 07777);
  return TRUE;
}

BOOL Move(const std::string& source, const std::string& target, DWORD flags) {
  if (auto fault = hl::platform::InjectedFault("MoveFileA", source)) return Fail(*fault, FALSE);
  auto from = hl::platform::MapFilePath(source);
  if (!from) return FALSE;
  auto to = hl::platform::MapFilePath(target);
  if (!to) return FALSE;
  struct stat src {}, dst {};
  if (::lstat(from->c_str(), &src) != 0) return Fail(hl::platform::ErrorFromErrno(errno, *from), FALSE);
  bool targetExists = ::lstat(to->c_str(), &dst) == 0;
  if (targetExists && SameEntry(src, dst)) {
    // The same entry under another spelling: only the case of the name changes.
    fs::path renamed = to->parent_path() / fs::path(target.substr(target.find_last_of("\\/") + 1));
    if (::rename(from->c_str(), renamed.c_str()) != 0) return Fail(hl::platform::ErrorFromErrno(errno, *from), FALSE);
    return TRUE;
  }
  if (targetExists) {
    if (!(flags & MOVEFILE_REPLACE_EXISTING) || S_ISDIR(dst.st_mode) || S_ISDIR(src.st_mode))
      return Fail(ERROR_ALREADY_EXISTS, FALSE);
    if (DWORD sharing = hl::platform::CheckSharing(*to, {false, false, true}, 0); sharing != ERROR_SUCCESS)
      return Fail(ERROR_ACCESS_DENIED, FALSE);
  }
  hl::platform::DataAccess erase;
  erase.erase = true;
  if (DWORD sharing = hl::platform::CheckSharing(*from, erase, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
      sharing != ERROR_SUCCESS)
    return Fail(sharing, FALSE);
  if (hl::platform::MissingEntryError(*to) == ERROR_PATH_NOT_FOUND) return Fail(ERROR_PATH_NOT_FOUND, FALSE);
  if (::rename(from->c_str(), to->c_str()) == 0) return TRUE;
  if (errno == EXDEV && S_ISREG(src.st_mode) && (flags & MOVEFILE_COPY_ALLOWED)) {
    if (!Copy("MoveFileA", source, target, !(flags & MOVEFILE_REPLACE_EXISTING))) return FALSE;
    if (::unlink(from->c_str()) != 0) return Fail(hl::platform::ErrorFromErrno(errno, *from), FALSE);
    return TRUE;
  }
  return Fail(hl::platform::ErrorFromErrno(errno, *from), FALSE);
}

BOOL Delete(const char* api, const std::string& name) {
  if (auto fault = hl::platform::InjectedFault(api, name)) return Fail(*fault, FALSE);
  auto path = hl::platform::MapFilePath(name);
  if (!path) return FALSE;
  struct stat st {};
  if (::lstat(path->c_str(), &st) != 0) return Fail(hl::platform::ErrorFromErrno(errno, *path), FALSE);
  if (S_ISDIR(st.st_mode)) return Fail(ERROR_ACCESS_DENIED, FALSE);
  hl::platform::DataAccess erase;
  erase.erase = true;
  if (DWORD sharing = hl::platform::CheckSharing(*path, erase, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
      sharing != ERROR_SUCCESS)
    return Fail(sharing, FALSE);
  if (::unlink(path->c_str()) != 0) return Fail(hl::platform::ErrorFromErrno(errno, *path), FALSE);
  return TRUE;
}

BOOL MakeDirectory(const char* api, const std::string& name) {
  if (auto fault = hl::platform::InjectedFault(api, name)) return Fail(*fault, FALSE);
  auto path = hl::platform::MapFilePath(name);
  if (!path) return FALSE;
  if (::mkdir(path->c_str(), 0777) == 0) return TRUE;
  if (errno == EEXIST) return Fail(ERROR_ALREADY_EXISTS, FALSE);
  if (errno == ENOENT) return Fail(ERROR_PATH_NOT_FOUND, FALSE);
  return Fail(hl::platform::ErrorFromErrno(errno, *path), FALSE);
}

BOOL RemoveDirectoryNamed(const char* api, const std::string& name) {
  if (auto fault = hl::platform::InjectedFault(api, name)) return Fail(*fault, FALSE);
  auto path = hl::platform::MapFilePath(name);
  if (!path) return FALSE;
  struct stat st {};
  if (::lstat(path->c_str(), &st) != 0) return Fail(hl::platform::ErrorFromErrno(errno, *path), FALSE);
  if (!S_ISDIR(st.st_mode)) return Fail(ERROR_DIRECTORY, FALSE);
  hl::platform::DataAccess erase;
  erase.erase = true;
  if (DWORD sharing = hl::platform::CheckSharing(*path, erase, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
      sharing != ERROR_SUCCESS)
    return Fail(sharing, FALSE);
  if (::rmdir(path->c_str()) == 0) return TRUE;
  if (errno == ENOTEMPTY || errno == EEXIST) return Fail(ERROR_DIR_NOT_EMPTY, FALSE);
  return Fail(hl::platform::ErrorFromErrno(errno, *path), FALSE);
}

DWORD Attributes(const char* api, const std::string& name) {
  if (auto fault = hl::platform::InjectedFault(api, name)) return Fail(*fault, INVALID_FILE_ATTRIBUTES);
  auto path = hl::platform::MapFilePath(name);
  if (!path) return INVALID_FILE_ATTRIBUTES;
  struct stat st {};
  if (::stat(path->c_str(), &st) != 0) return Fail(hl::platform::ErrorFromErrno(errno, *path), INVALID_FILE_ATTRIBUTES);
  return hl::platform::AttributesOf(st);
}

std::string Narrow(LPCWSTR text) { return hl::platform::Utf16ToUtf8(text); }

}  // namespace

namespace hl::platform {

DWORD AttributesOf(const struct stat& st) {
  DWORD attributes = S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
  if (!(st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH))) attributes |= FILE_ATTRIBUTE_READONLY;
  return attributes;
}

}  // namespace hl::platform

BOOL CopyFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, BOOL bFailIfExists) {
  if (lpExistingFileName == nullptr || lpNewFileName == nullptr) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  return Copy("CopyFileA", lpExistingFileName, lpNewFileName, bFailIfExists != FALSE);
}

BOOL CopyFileW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, BOOL bFailIfExists) {
  if (lpExistingFileName == nullptr || lpNewFileName == nullptr) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  return Copy("CopyFileW", Narrow(lpExistingFileName), Narrow(lpNewFileName), bFailIfExists != FALSE);
}

BOOL MoveFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName) {
  if (lpExistingFileName == nullptr || lpNewFileName == nullptr) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  return Move(lpExistingFileName, lpNewFileName, MOVEFILE_COPY_ALLOWED);
}

BOOL MoveFileExA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, DWORD dwFlags) {
  if (lpExistingFileName == nullptr || lpNewFileName == nullptr) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  return Move(lpExistingFileName, lpNewFileName, dwFlags);
}

BOOL DeleteFileA(LPCSTR lpFileName) {
  if (lpFileName == nullptr) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  return Delete("DeleteFileA", lpFileName);
}

BOOL DeleteFileW(LPCWSTR lpFileName) {
  if (lpFileName == nullptr) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  return Delete("DeleteFileW", Narrow(lpFileName));
}

BOOL CreateDirectoryA(LPCSTR lpPathName, LPSECURITY_ATTRIBUTES) {
  if (lpPathName == nullptr) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  return MakeDirectory("CreateDirectoryA", lpPathName);
}

BOOL CreateDirectoryW(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES) {
  if (lpPathName == nullptr) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  return MakeDirectory("CreateDirectoryW", Narrow(lpPathName));
}

BOOL RemoveDirectoryA(LPCSTR lpPathName) {
  if (lpPathName == nullptr) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  return RemoveDirectoryNamed("RemoveDirectoryA", lpPathName);
}

BOOL RemoveDirectoryW(LPCWSTR lpPathName) {
  if (lpPathName == nullptr) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  return RemoveDirectoryNamed("RemoveDirectoryW", Narrow(lpPathName));
}

DWORD GetFileAttributesA(LPCSTR lpFileName) {
  if (lpFileName == nullptr) return Fail(ERROR_INVALID_PARAMETER, INVALID_FILE_ATTRIBUTES);
  return Attributes("GetFileAttributesA", lpFileName);
}

DWORD GetFileAttributesW(LPCWSTR lpFileName) {
  if (lpFileName == nullptr) return Fail(ERROR_INVALID_PARAMETER, INVALID_FILE_ATTRIBUTES);
  return Attributes("GetFileAttributesW", Narrow(lpFileName));
}

DWORD GetTempPathA(DWORD nBufferLength, LPSTR lpBuffer) {
  // As Windows: TMP, then TEMP, then USERPROFILE, then the Windows directory; always with a final separator.
  std::string path;
  for (const char* name : {"TMP", "TEMP", "USERPROFILE"}) {
    char value[MAX_PATH * 4];
    DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
    if (n > 0 && n < sizeof value) {
      path.assign(value, n);
      break;
    }
  }
  if (path.empty()) path = "C:\\Windows\\";
  if (path.back() != '\\' && path.back() != '/') path.push_back(path.front() == '/' ? '/' : '\\');
  DWORD length = static_cast<DWORD>(path.size());
  if (lpBuffer == nullptr || nBufferLength <= length) return length + 1;
  std::memcpy(lpBuffer, path.c_str(), path.size() + 1);
  return length;
}
