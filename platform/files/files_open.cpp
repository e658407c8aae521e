// File objects, the sharing rules among this process's handles, and the CreateFile open itself.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <mutex>
#include <vector>

#include "platform/files/files_internal.h"
#include "platform/core/core_internal.h"
#include "platform/system/win_system.h"

namespace hl::platform {

// Open files by device and inode, with what each handle does and allows. Windows checks sharing only
// for handles that touch the data (read, write, delete); the others neither conflict nor count.
struct SharingTable {
  std::mutex mutex;
  std::map<std::pair<dev_t, ino_t>, std::vector<const FileObject*>> open;

  static SharingTable& Get() {
    static SharingTable table;
    return table;
  }

  static bool Conflicts(const DataAccess& a, DWORD aShare, const DataAccess& b, DWORD bShare) {
    return (a.read && !(bShare & FILE_SHARE_READ)) || (a.write && !(bShare & FILE_SHARE_WRITE)) ||
           (a.erase && !(bShare & FILE_SHARE_DELETE)) || (b.read && !(aShare & FILE_SHARE_READ)) ||
           (b.write && !(aShare & FILE_SHARE_WRITE)) || (b.erase && !(aShare & FILE_SHARE_DELETE));
  }

  // Caller holds the mutex.
  bool Allows(dev_t device, ino_t inode, const DataAccess& access, DWORD share) const {
    if (!access.any()) return true;
    auto it = open.find({device, inode});
    if (it == open.end()) return true;
    for (const FileObject* other : it->second)
      if (Conflicts(access, share, other->access_, other->share_)) return false;
    return true;
  }

  void Add(FileObject* file) {
    if (!file->access_.any()) return;
    open[{file->device_, file->inode_}].push_back(file);
    file->registered_ = true;
  }

  void Remove(FileObject* file) {
    if (!file->registered_) return;
    auto it = open.find({file->device_, file->inode_});
    if (it == open.end()) return;
    std::erase(it->second, file);
    if (it->second.empty()) open.erase(it);
  }
};

DataAccess AccessOf(DWORD desiredAccess) {
  DataAccess access;
  bool all = desiredAccess & GENERIC_ALL;
  access.read = all || (desiredAccess & (GENERIC_READ | GENERIC_EXECUTE | FILE_READ_DATA | FILE_EXECUTE));
  access.write = all || (desiredAccess & (GENERIC_WRITE | FILE_WRITE_DATA | FILE_APPEND_DATA));
  access.erase = all || (desiredAccess & DELETE);
  return access;
}

FileObject::FileObject(int fd, DataAccess access, DWORD share, bool append, bool directory,
                       std::filesystem::path hostPath, bool deleteOnClose)
    : fd_(fd),
      access_(access),
      share_(share),
      append_(append),
      directory_(directory),
      hostPath_(std::move(hostPath)),
      deleteOnClose_(deleteOnClose) {
  struct stat st {};
  if (::fstat(fd_, &st) == 0) {
    device_ = st.st_dev;
    inode_ = st.st_ino;
  }
}

FileObject::~FileObject() {
  SharingTable& table = SharingTable::Get();
  std::lock_guard lock(table.mutex);
  table.Remove(this);
  if (deleteOnClose_) {
    if (directory_) {
      ::rmdir(hostPath_.c_str());
    } else {
      ::unlink(hostPath_.c_str());
    }
  }
  ::close(fd_);
}

DWORD CheckSharing(const std::filesystem::path& path, DataAccess access, DWORD share) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return ERROR_SUCCESS;
  SharingTable& table = SharingTable::Get();
  std::lock_guard lock(table.mutex);
  return table.Allows(st.st_dev, st.st_ino, access, share) ? ERROR_SUCCESS : ERROR_SHARING_VIOLATION;
}

std::shared_ptr<FileObject> OpenFileObject(const std::filesystem::path& path, DWORD desiredAccess, DWORD shareMode,
                                           DWORD disposition, DWORD flags, DWORD& error, bool& existed) {
  existed = false;
  if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING) {
    error = ERROR_INVALID_PARAMETER;
    return nullptr;
  }
  const DataAccess access = AccessOf(desiredAccess);
  if (disposition == TRUNCATE_EXISTING && !access.write) {
    error = ERROR_INVALID_PARAMETER;
    return nullptr;
  }
  const bool deleteOnClose = flags & FILE_FLAG_DELETE_ON_CLOSE;
  // Appending without plain write access moves every write to the end, as FILE_APPEND_DATA does.
  const bool append = (desiredAccess & FILE_APPEND_DATA) && !(desiredAccess & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA));

  SharingTable& table = SharingTable::Get();
  std::lock_guard lock(table.mutex);  // the check and the open are one step for this process
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) {
    existed = true;
    if (disposition == CREATE_NEW) {
      error = ERROR_FILE_EXISTS;
      return nullptr;
    }
    if (S_ISDIR(st.st_mode)) {
      // Directories open only with backup semantics, and never for replacing.
      if (!(flags & FILE_FLAG_BACKUP_SEMANTICS) || disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING) {
        error = ERROR_ACCESS_DENIED;
        return nullptr;
      }
    }
    if (!table.Allows(st.st_dev, st.st_ino, access, shareMode)) {
      error = ERROR_SHARING_VIOLATION;
      return nullptr;
    }
  } else if (errno != ENOENT) {
    error = ErrorFromErrno(errno, path);
    return nullptr;
  } else if (disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING) {
    error = MissingEntryError(path);
    return nullptr;
  } else if (MissingEntryError(path) == ERROR_PATH_NOT_FOUND) {
    error = ERROR_PATH_NOT_FOUND;
    return nullptr;
  }

  const bool directory = existed && S_ISDIR(st.st_mode);
  int oflags = O_CLOEXEC;
  if (directory) {
    oflags |= O_RDONLY | O_DIRECTORY;
  } else {
    oflags |= access.write ? (access.read ? O_RDWR : O_WRONLY) : O_RDONLY;
    if (append) oflags |= O_APPEND;
    if (!existed) oflags |= O_CREAT | O_EXCL;
    if (existed && (disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING)) oflags |= O_TRUNC;
  }
  // Replacing a file needs write access to it on Windows too; CREATE_ALWAYS with read access only still
  // truncates, so open for writing underneath and keep the handle's own rights.
  if (!directory && (oflags & O_TRUNC) && !access.write) oflags = (oflags & ~O_RDONLY) | O_RDWR;
  int fd = ::open(path.c_str(), oflags, 0666);
  if (fd < 0) {
    error = errno == EEXIST ? ERROR_FILE_EXISTS : ErrorFromErrno(errno, path);
    return nullptr;
  }
  auto file = std::make_shared<FileObject>(fd, access, shareMode, append, directory, path, deleteOnClose);
  table.Add(file.get());
  error = ERROR_SUCCESS;
  return file;
}

}  // namespace hl::platform
