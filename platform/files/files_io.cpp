// CreateFile handles: open, size, read, write, file pointer, end of file, flush.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/files/files_internal.h"
#include "platform/core/machine.h"
#include "platform/core/core_internal.h"
#include "platform/system/win_system.h"

namespace {

using hl::platform::Fail;
using hl::platform::FileObject;

HANDLE Open(const char* api, const std::string& name, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
  if (auto fault = hl::platform::InjectedFault(api, name)) return Fail(*fault, INVALID_HANDLE_VALUE);
  auto path = hl::platform::MapFilePath(name);
  if (!path) return INVALID_HANDLE_VALUE;
  DWORD error = ERROR_SUCCESS;
  bool existed = false;
  auto file = hl::platform::OpenFileObject(*path, access, share, disposition, flags, error, existed);
  if (!file) return Fail(error, INVALID_HANDLE_VALUE);
  HANDLE handle = hl::platform::RegisterHandle(std::move(file));
  SetLastError(existed && (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS) ? ERROR_ALREADY_EXISTS
                                                                                       : ERROR_SUCCESS);
  return handle;
}

std::shared_ptr<FileObject> FileOf(HANDLE handle) { return hl::platform::LookupHandleAs<FileObject>(handle); }

bool SizeOf(const FileObject& file, LONGLONG& size) {
  struct stat st {};
  if (::fstat(file.fd(), &st) != 0) return false;
  size = file.directory() ? 0 : static_cast<LONGLONG>(st.st_size);
  return true;
}

// Moves the file pointer; false with the last error set when the position would be negative.
bool Seek(const FileObject& file, LONGLONG distance, DWORD method, LONGLONG& position) {
  LONGLONG base = 0;
  if (method == FILE_CURRENT) {
    off_t current = ::lseek(file.fd(), 0, SEEK_CUR);
    if (current < 0) return Fail(ERROR_INVALID_HANDLE, false);
    base = current;
  } else if (method == FILE_END) {
    if (!SizeOf(file, base)) return Fail(ERROR_INVALID_HANDLE, false);
  } else if (method != FILE_BEGIN) {
    return Fail(ERROR_INVALID_PARAMETER, false);
  }
  LONGLONG target = base + distance;
  if (target < 0) return Fail(ERROR_NEGATIVE_SEEK, false);
  if (::lseek(file.fd(), static_cast<off_t>(target), SEEK_SET) < 0) return Fail(ERROR_INVALID_PARAMETER, false);
  position = target;
  return true;
}

}  // namespace

HANDLE CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode, LPSECURITY_ATTRIBUTES,
                   DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes, HANDLE) {
  if (lpFileName == nullptr) return Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
  return Open("CreateFileA", lpFileName, dwDesiredAccess, dwShareMode, dwCreationDisposition, dwFlagsAndAttributes);
}

HANDLE CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode, LPSECURITY_ATTRIBUTES,
                   DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes, HANDLE) {
  if (lpFileName == nullptr) return Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
  return Open("CreateFileW", hl::platform::Utf16ToUtf8(lpFileName), dwDesiredAccess, dwShareMode,
              dwCreationDisposition, dwFlagsAndAttributes);
}

BOOL GetFileSizeEx(HANDLE hFile, PLARGE_INTEGER lpFileSize) {
  auto file = FileOf(hFile);
  if (!file) return Fail(ERROR_INVALID_HANDLE, FALSE);
  if (lpFileSize == nullptr) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  LONGLONG size = 0;
  if (!SizeOf(*file, size)) return Fail(ERROR_INVALID_HANDLE, FALSE);
  lpFileSize->QuadPart = size;
  return TRUE;
}

DWORD GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh) {
  auto file = FileOf(hFile);
  if (!file) return Fail(ERROR_INVALID_HANDLE, INVALID_FILE_SIZE);
  LONGLONG size = 0;
  if (!SizeOf(*file, size)) return Fail(ERROR_INVALID_HANDLE, INVALID_FILE_SIZE);
  DWORD low = static_cast<DWORD>(size);
  if (lpFileSizeHigh != nullptr) *lpFileSizeHigh = static_cast<DWORD>(static_cast<ULONGLONG>(size) >> 32);
  // INVALID_FILE_SIZE is also a valid low part: the last error tells the two apart.
  if (low == INVALID_FILE_SIZE) SetLastError(ERROR_SUCCESS);
  return low;
}

BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
              LPOVERLAPPED lpOverlapped) {
  if (lpNumberOfBytesRead != nullptr) *lpNumberOfBytesRead = 0;
  auto file = FileOf(hFile);
  if (!file) return Fail(ERROR_INVALID_HANDLE, FALSE);
  if (file->directory()) return Fail(ERROR_INVALID_FUNCTION, FALSE);
  if (!file->access().read) return Fail(ERROR_ACCESS_DENIED, FALSE);
  if (nNumberOfBytesToRead == 0) return TRUE;
  if (lpBuffer == nullptr) return Fail(ERROR_NOACCESS, FALSE);
  if (lpOverlapped != nullptr) {
    off_t offset = static_cast<off_t>((static_cast<ULONGLONG>(lpOverlapped->OffsetHigh) << 32) | lpOverlapped->Offset);
    if (::lseek(file->fd(), offset, SEEK_SET) < 0) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  }
  auto* out = static_cast<char*>(lpBuffer);
  size_t total = 0;
  while (total < nNumberOfBytesToRead) {
    ssize_t n = ::read(file->fd(), out + total, nNumberOfBytesToRead - total);
    if (n < 0) {
      if (errno == EINTR) continue;
      return Fail(errno == EISDIR ? static_cast<DWORD>(ERROR_INVALID_FUNCTION) : static_cast<DWORD>(ERROR_READ_FAULT),
                  FALSE);
    }
    if (n == 0) break;  // end of file: success with fewer bytes, as on Windows
    total += static_cast<size_t>(n);
  }
  if (lpNumberOfBytesRead != nullptr) *lpNumberOfBytesRead = static_cast<DWORD>(total);
  if (lpOverlapped != nullptr) lpOverlapped->InternalHigh = total;
  return TRUE;
}

BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite, LPDWORD lpNumberOfBytesWritten,
               LPOVERLAPPED lpOverlapped) {
  if (lpNumberOfBytesWritten != nullptr) *lpNumberOfBytesWritten = 0;
  auto file = FileOf(hFile);
  if (!file) return Fail(ERROR_INVALID_HANDLE, FALSE);
  if (file->directory()) return Fail(ERROR_INVALID_FUNCTION, FALSE);
  if (!file->access().write) return Fail(ERROR_ACCESS_DENIED, FALSE);
  if (nNumberOfBytesToWrite == 0) return TRUE;
  if (lpBuffer == nullptr) return Fail(ERROR_NOACCESS, FALSE);
  if (lpOverlapped != nullptr && !file->append()) {
    off_t offset = static_cast<off_t>((static_cast<ULONGLONG>(lpOverlapped->OffsetHigh) << 32) | lpOverlapped->Offset);
    if (::lseek(file->fd(), offset, SEEK_SET) < 0) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  }
  const auto* in = static_cast<const char*>(lpBuffer);
  size_t total = 0;
  while (total < nNumberOfBytesToWrite) {
    ssize_t n = ::write(file->fd(), in + total, nNumberOfBytesToWrite - total);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (lpNumberOfBytesWritten != nullptr) *lpNumberOfBytesWritten = static_cast<DWORD>(total);
      return Fail(errno == ENOSPC || errno == EDQUOT ? static_cast<DWORD>(ERROR_DISK_FULL)
                                                     : static_cast<DWORD>(ERROR_WRITE_FAULT),
                  FALSE);
    }
    total += static_cast<size_t>(n);
  }
  if (lpNumberOfBytesWritten != nullptr) *lpNumberOfBytesWritten = static_cast<DWORD>(total);
  if (lpOverlapped != nullptr) lpOverlapped->InternalHigh = total;
  return TRUE;
}

DWORD SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh, DWORD dwMoveMethod) {
  auto file = FileOf(hFile);
  if (!file) return Fail(ERROR_INVALID_HANDLE, INVALID_SET_FILE_POINTER);
  LONGLONG distance = lDistanceToMove;
  if (lpDistanceToMoveHigh != nullptr)
    distance = static_cast<LONGLONG>((static_cast<ULONGLONG>(static_cast<DWORD>(*lpDistanceToMoveHigh)) << 32) |
                                     static_cast<DWORD>(lDistanceToMove));
  LONGLONG position = 0;
  if (!Seek(*file, distance, dwMoveMethod, position)) return INVALID_SET_FILE_POINTER;
  if (lpDistanceToMoveHigh != nullptr) {
    *lpDistanceToMoveHigh = static_cast<LONG>(static_cast<ULONGLONG>(position) >> 32);
  } else if (position > 0xFFFFFFFEll) {
    // The position does not fit the one part the caller can receive.
    return Fail(ERROR_INVALID_PARAMETER, INVALID_SET_FILE_POINTER);
  }
  DWORD low = static_cast<DWORD>(position);
  if (low == INVALID_SET_FILE_POINTER) SetLastError(ERROR_SUCCESS);
  return low;
}

BOOL SetFilePointerEx(HANDLE hFile, LARGE_INTEGER liDistanceToMove, PLARGE_INTEGER lpNewFilePointer,
                      DWORD dwMoveMethod) {
  auto file = FileOf(hFile);
  if (!file) return Fail(ERROR_INVALID_HANDLE, FALSE);
  LONGLONG position = 0;
  if (!Seek(*file, liDistanceToMove.QuadPart, dwMoveMethod, position)) return FALSE;
  if (lpNewFilePointer != nullptr) lpNewFilePointer->QuadPart = position;
  return TRUE;
}

BOOL SetEndOfFile(HANDLE hFile) {
  auto file = FileOf(hFile);
  if (!file) return Fail(ERROR_INVALID_HANDLE, FALSE);
  if (file->directory() || !file->access().write) return Fail(ERROR_ACCESS_DENIED, FALSE);
  off_t position = ::lseek(file->fd(), 0, SEEK_CUR);
  if (position < 0 || ::ftruncate(file->fd(), position) != 0) return Fail(ERROR_WRITE_FAULT, FALSE);
  return TRUE;
}

BOOL FlushFileBuffers(HANDLE hFile) {
  auto file = FileOf(hFile);
  if (!file) return Fail(ERROR_INVALID_HANDLE, FALSE);
  if (!file->access().write) return Fail(ERROR_ACCESS_DENIED, FALSE);
  if (::fsync(file->fd()) != 0 && errno != EINVAL) return Fail(ERROR_WRITE_FAULT, FALSE);
  return TRUE;
}
