// The C runtime's fopen, _mkdir and remove on Windows paths. Streams of hl_fopen take part in the
// sharing rules like the runtime's handles do (read and write shared, delete not).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/files/files_internal.h"
#include "platform/core/machine.h"
#include "platform/core/core_internal.h"
#include "platform/system/win_system.h"

namespace {

using hl::platform::FileObject;

// An injected fault as the runtime reports it.
int FaultErrno(DWORD code) {
  if (code == ERROR_ACCESS_DENIED) return EACCES;
  if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return ENOENT;
  return EIO;
}

// A stream of hl_fopen: its file object, kept alive until fclose, and the runtime's text mode.
// Without "b" in the mode the Windows runtime writes "\n" as "\r\n" and reads "\r\n" as "\n".
struct Stream {
  std::shared_ptr<FileObject> file;
  bool text = false;
  int pending = -1;  // a byte read ahead after a '\r' that was not followed by '\n'
};

std::mutex g_streamsMutex;
std::map<const Stream*, std::unique_ptr<Stream>>& Streams() {
  static std::map<const Stream*, std::unique_ptr<Stream>> streams;
  return streams;
}

ssize_t ReadRaw(Stream& stream, char* buffer, size_t size) {
  if (!stream.file->access().read) {
    errno = EBADF;
    return -1;
  }
  ssize_t n;
  do {
    n = ::read(stream.file->fd(), buffer, size);
  } while (n < 0 && errno == EINTR);
  return n;
}

ssize_t StreamRead(void* cookie, char* buffer, size_t size) {
  auto& stream = *static_cast<Stream*>(cookie);
  if (!stream.text) return ReadRaw(stream, buffer, size);
  size_t filled = 0;
  if (stream.pending >= 0 && size > 0) {
    buffer[filled++] = static_cast<char>(stream.pending);
    stream.pending = -1;
  }
  ssize_t n = filled < size ? ReadRaw(stream, buffer + filled, size - filled) : 0;
  if (n < 0) return filled > 0 ? static_cast<ssize_t>(filled) : -1;
  size_t end = filled + static_cast<size_t>(n), out = 0;
  for (size_t i = 0; i < end; ++i) {
    if (buffer[i] != '\r') {
      buffer[out++] = buffer[i];
    } else if (i + 1 < end) {
      if (buffer[i + 1] != '\n') buffer[out++] = '\r';
    } else {
      // A '\r' at the end of what was read: the next byte decides.
      char next;
      ssize_t more = ReadRaw(stream, &next, 1);
      if (more == 1 && next == '\n') {
        buffer[out++] = '\n';
      } else {
        buffer[out++] = '\r';
        if (more == 1) stream.pending = static_cast<unsigned char>(next);
      }
    }
  }
  return static_cast<ssize_t>(out);
}

bool WriteAll(int fd, const char* data, size_t size) {
  size_t done = 0;
  while (done < size) {
    ssize_t n = ::write(fd, data + done, size - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

ssize_t StreamWrite(void* cookie, const char* buffer, size_t size) {
  auto& stream = *static_cast<Stream*>(cookie);
  if (!stream.file->access().write) {
    errno = EBADF;
    return -1;
  }
  if (!stream.text) return WriteAll(stream.file->fd(), buffer, size) ? static_cast<ssize_t>(size) : -1;
  std::string translated;
  translated.reserve(size + size / 16 + 2);
  for (size_t i = 0; i < size; ++i) {
    if (buffer[i] == '\n') translated += '\r';
    translated += buffer[i];
  }
  return WriteAll(stream.file->fd(), translated.data(), translated.size()) ? static_cast<ssize_t>(size) : -1;
}

int StreamSeek(void* cookie, off64_t* position, int whence) {
  auto& stream = *static_cast<Stream*>(cookie);
  stream.pending = -1;
  off_t result = ::lseek(stream.file->fd(), static_cast<off_t>(*position), whence);
  if (result < 0) return -1;
  *position = result;
  return 0;
}

int StreamClose(void* cookie) {
  std::unique_ptr<Stream> doomed;
  std::lock_guard lock(g_streamsMutex);
  auto it = Streams().find(static_cast<Stream*>(cookie));
  if (it != Streams().end()) {
    doomed = std::move(it->second);
    Streams().erase(it);
  }
  return 0;
}

struct Mode {
  DWORD access = 0;
  DWORD disposition = 0;
  bool text = true;  // the runtime's default translation mode is text
  bool valid = false;
};

// Parses an fopen mode as the Windows runtime accepts it ("r", "w", "a", "+", "b", "t", "x", ...).
Mode ParseMode(const char* text) {
  Mode mode;
  if (text == nullptr) return mode;
  bool plus = false, exclusive = false;
  char kind = text[0];
  for (const char* p = text + 1; *p != '\0'; ++p) {
    if (*p == '+') {
      plus = true;
    } else if (*p == 'x') {
      exclusive = true;
    } else if (*p == 'b') {
      mode.text = false;
    } else if (*p == 't') {
      mode.text = true;
    } else if (*p == ',') {
      break;  // ",ccs=..." encodings are not modelled
    } else if (std::string_view("btcnNSRTD").find(*p) == std::string_view::npos) {
      return mode;
    }
  }
  switch (kind) {
    case 'r':
      mode.access = GENERIC_READ | (plus ? GENERIC_WRITE : 0);
      mode.disposition = OPEN_EXISTING;
      break;
    case 'w':
      mode.access = GENERIC_WRITE | (plus ? GENERIC_READ : 0);
      mode.disposition = exclusive ? CREATE_NEW : CREATE_ALWAYS;
      break;
    case 'a':
      mode.access = FILE_APPEND_DATA | (plus ? GENERIC_READ : 0);
      mode.disposition = OPEN_ALWAYS;
      break;
    default: return mode;
  }
  mode.valid = true;
  return mode;
}

// The common start of the path-only runtime calls: argument check, injected fault, mapping.
// nullopt with errno set when the call must fail.
std::optional<std::filesystem::path> CrtPath(const char* api, const char* path) {
  if (path == nullptr) {
    errno = EINVAL;
    return std::nullopt;
  }
  if (auto fault = hl::platform::InjectedFault(api, path)) {
    errno = FaultErrno(*fault);
    return std::nullopt;
  }
  auto mapped = hl::platform::MapFilePath(path);
  if (!mapped) errno = ENOENT;
  return mapped;
}

}  // namespace

FILE* hl_fopen(const char* path, const char* mode) {
  if (path == nullptr) {
    errno = EINVAL;
    return nullptr;
  }
  if (auto fault = hl::platform::InjectedFault("hl_fopen", path)) {
    errno = FaultErrno(*fault);
    return nullptr;
  }
  Mode parsed = ParseMode(mode);
  if (!parsed.valid) {
    errno = EINVAL;
    return nullptr;
  }
  auto mapped = hl::platform::MapFilePath(path);
  if (!mapped) {
    errno = hl::platform::ErrnoFromError(GetLastError());
    return nullptr;
  }
  DWORD error = ERROR_SUCCESS;
  bool existed = false;
  auto file = hl::platform::OpenFileObject(*mapped, parsed.access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                           parsed.disposition, 0, error, existed);
  if (!file) {
    errno = hl::platform::ErrnoFromError(error);
    return nullptr;
  }
  cookie_io_functions_t functions{StreamRead, StreamWrite, StreamSeek, StreamClose};
  const char* hostMode = (parsed.access & GENERIC_READ) && (parsed.access & (GENERIC_WRITE | FILE_APPEND_DATA)) ? "r+"
                         : (parsed.access & GENERIC_READ)                                                     ? "r"
                                                                                                              : "w";
  auto owned = std::make_unique<Stream>();
  owned->file = std::move(file);
  owned->text = parsed.text;
  Stream* cookie = owned.get();
  {
    std::lock_guard lock(g_streamsMutex);
    Streams().emplace(cookie, std::move(owned));
  }
  FILE* stream = fopencookie(cookie, hostMode, functions);
  if (stream == nullptr) {
    int saved = errno;
    StreamClose(cookie);
    errno = saved;
  }
  return stream;
}

int hl_mkdir(const char* path) {
  auto mapped = CrtPath("hl_mkdir", path);
  if (!mapped) return -1;
  if (::mkdir(mapped->c_str(), 0777) == 0) return 0;
  // _mkdir reports EEXIST for an existing entry and ENOENT for a missing parent.
  errno = errno == EEXIST ? EEXIST : errno == ENOENT || errno == ENOTDIR ? ENOENT : EACCES;
  return -1;
}

int hl_remove(const char* path) {
  auto mapped = CrtPath("hl_remove", path);
  if (!mapped) return -1;
  struct stat st {};
  if (::lstat(mapped->c_str(), &st) != 0) {
    errno = ENOENT;
    return -1;
  }
  if (S_ISDIR(st.st_mode)) {  // remove() deletes files only on Windows
    errno = EACCES;
    return -1;
  }
  hl::platform::DataAccess erase;
  erase.erase = true;
  if (hl::platform::CheckSharing(*mapped, erase, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE) !=
      ERROR_SUCCESS) {
    errno = EACCES;
    return -1;
  }
  if (::unlink(mapped->c_str()) != 0) {
    errno = errno == ENOENT ? ENOENT : EACCES;
    return -1;
  }
  return 0;
}
