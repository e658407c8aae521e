// Internal pieces of the stand-in's file API: path checks, error mapping, file objects and sharing.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/core/handles.h"
#include "platform/files/win_files.h"
#include "platform/core/win_types.h"

namespace hl::platform {

// Maps a Windows path for a file call: characters Windows refuses in names give ERROR_INVALID_NAME,
// a path the stand-in cannot reach ERROR_PATH_NOT_FOUND. Sets the last error on failure.
std::optional<std::filesystem::path> MapFilePath(std::string_view windowsPath);

// The Windows code for a failed host call on `path`. A missing entry is ERROR_FILE_NOT_FOUND when its
// parent directory exists and ERROR_PATH_NOT_FOUND otherwise, as on Windows.
DWORD ErrorFromErrno(int error, const std::filesystem::path& path);
DWORD MissingEntryError(const std::filesystem::path& path);

// The C runtime's errno for a Windows code (as the runtime maps them after a failed system call).
int ErrnoFromError(DWORD error);

// What a handle may do with the file's data, for the sharing rules.
struct DataAccess {
  bool read = false;
  bool write = false;
  bool erase = false;
  bool any() const { return read || write || erase; }
};
DataAccess AccessOf(DWORD desiredAccess);

// An open file or directory (a CreateFile handle, or a stream of hl_fopen).
class FileObject : public KernelObject {
 public:
  FileObject(int fd, DataAccess access, DWORD share, bool append, bool directory, std::filesystem::path hostPath,
             bool deleteOnClose);
  ~FileObject() override;
  FileObject(const FileObject&) = delete;
  FileObject& operator=(const FileObject&) = delete;

  int fd() const { return fd_; }
  const DataAccess& access() const { return access_; }
  bool append() const { return append_; }
  bool directory() const { return directory_; }

 private:
  friend struct SharingTable;
  int fd_;
  DataAccess access_;
  DWORD share_;
  bool append_;
  bool directory_;
  std::filesystem::path hostPath_;
  bool deleteOnClose_;
  dev_t device_ = 0;
  ino_t inode_ = 0;
  bool registered_ = false;
};

// Opens like CreateFile (disposition, sharing among this process's handles, backup semantics).
// On failure returns null with the Windows code in `error`; `existed` tells whether the file was there.
std::shared_ptr<FileObject> OpenFileObject(const std::filesystem::path& path, DWORD desiredAccess, DWORD shareMode,
                                           DWORD disposition, DWORD flags, DWORD& error, bool& existed);

// Whether an operation needing `access` (with sharing `share`) on the entry at `path` is compatible with
// the handles open on it now; ERROR_SUCCESS or ERROR_SHARING_VIOLATION.
DWORD CheckSharing(const std::filesystem::path& path, DataAccess access, DWORD share);

// Windows attributes of a host entry.
DWORD AttributesOf(const struct stat& st);

// Whether a file name matches a FindFirstFile pattern, as Windows matches them ("*", "?", "*.*",
// "name*.*", trailing "."), without regard to case.
bool MatchesFilePattern(std::u16string_view pattern, std::u16string_view name);

// FILETIME of a POSIX time.
FILETIME FileTimeOf(const struct timespec& time);

}  // namespace hl::platform
