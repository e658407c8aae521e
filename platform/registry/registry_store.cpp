// How: the registry lives in the machine folder's registry.reg and is cached in memory with the
// file's identity (device, inode, size, modification and change times). Every read compares that
// identity with the file and re-reads it when another process has changed it. A change takes, in
// order, the in-process mutex and an flock on registry.lock beside the file (so two processes
// never interleave a read-modify-write), re-reads the file if needed, applies the change to the
// tree, formats the whole file in the encoding it was read in, writes it to a temporary file,
// fsyncs and renames it over the old one: a crash leaves the old file or the new one, never a mix.
// A malformed file is never written back.
#include "platform/registry/registry_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <string>

#include "platform/core/machine.h"
#include "platform/registry/registry_file.h"
#include "platform/registry/registry_text.h"
#include "platform/registry/registry_view.h"

namespace hl::platform::reg {
namespace {

namespace fs = std::filesystem;

struct ImplicitKey {
  Hive hive;
  std::initializer_list<const char16_t*> path;
  bool only64;
};

const ImplicitKey kImplicitKeys[] = {
    {Hive::LocalMachine, {u"HARDWARE"}, false},
    {Hive::LocalMachine, {u"SAM"}, false},
    {Hive::LocalMachine, {u"SECURITY"}, false},
    {Hive::LocalMachine, {u"SOFTWARE"}, false},
    {Hive::LocalMachine, {u"SOFTWARE", u"WOW6432Node"}, true},
    {Hive::LocalMachine, {u"SYSTEM"}, false},
    // Keys of every Windows installation that programs open or write into as existing ones.
    {Hive::LocalMachine, {u"SOFTWARE", u"Microsoft"}, false},
    {Hive::LocalMachine, {u"SOFTWARE", u"Microsoft", u"Windows"}, false},
    {Hive::LocalMachine, {u"SOFTWARE", u"Microsoft", u"Windows", u"CurrentVersion"}, false},
    {Hive::LocalMachine, {u"SOFTWARE", u"Microsoft", u"Windows NT"}, false},
    {Hive::LocalMachine, {u"SOFTWARE", u"Microsoft", u"Windows NT", u"CurrentVersion"}, false},
    {Hive::LocalMachine, {u"SOFTWARE", u"WOW6432Node", u"Microsoft"}, true},
    {Hive::LocalMachine, {u"SOFTWARE", u"WOW6432Node", u"Microsoft", u"Windows"}, true},
    {Hive::LocalMachine, {u"SOFTWARE", u"WOW6432Node", u"Microsoft", u"Windows", u"CurrentVersion"}, true},
    {Hive::LocalMachine, {u"SOFTWARE", u"WOW6432Node", u"Microsoft", u"Windows NT"}, true},
    {Hive::LocalMachine, {u"SOFTWARE", u"WOW6432Node", u"Microsoft", u"Windows NT", u"CurrentVersion"}, true},
    {Hive::LocalMachine, {u"SYSTEM", u"CurrentControlSet"}, false},
    {Hive::LocalMachine, {u"SYSTEM", u"CurrentControlSet", u"Control"}, false},
    {Hive::LocalMachine, {u"SYSTEM", u"CurrentControlSet", u"Control", u"ProductOptions"}, false},
    {Hive::LocalMachine, {u"SYSTEM", u"CurrentControlSet", u"Control", u"Session Manager"}, false},
    {Hive::LocalMachine, {u"SYSTEM", u"CurrentControlSet", u"Control", u"Session Manager", u"Memory Management"},
     false},
    {Hive::LocalMachine, {u"SYSTEM", u"CurrentControlSet", u"Services"}, false},
    {Hive::Users, {u".DEFAULT"}, false},
};

void EnsureImplicitKeys(Tree& tree, bool os64) {
  for (const auto& implicit : kImplicitKeys) {
    if (implicit.only64 && !os64) continue;
    Key* key = &tree.Root(implicit.hive);
    for (const char16_t* part : implicit.path) key = &key->CreateSubkey(part);
  }
}

// What identifies one version of the file without reading it.
struct Identity {
  bool exists = false;
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  timespec mtime{};
  timespec ctime{};
  bool operator==(const Identity& o) const {
    return exists == o.exists && device == o.device && inode == o.inode && size == o.size &&
           mtime.tv_sec == o.mtime.tv_sec && mtime.tv_nsec == o.mtime.tv_nsec && ctime.tv_sec == o.ctime.tv_sec &&
           ctime.tv_nsec == o.ctime.tv_nsec;
  }
};

Identity FromStat(const struct stat& st) {
  Identity id;
  id.exists = true;
  id.device = st.st_dev;
  id.inode = st.st_ino;
  id.size = st.st_size;
  id.mtime = st.st_mtim;
  id.ctime = st.st_ctim;
  return id;
}

// File times come from a coarse clock, so a change within the same tick can leave the identity
// unchanged: a version this young is compared by content as well.
bool Young(const Identity& id) {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return now.tv_sec - id.mtime.tv_sec < 3;
}

LONG ErrnoToError(int error) {
  switch (error) {
    case EACCES:
    case EPERM:
    case EROFS: return ERROR_ACCESS_DENIED;
    case ENOSPC:
    case EDQUOT: return ERROR_DISK_FULL;
    default: return ERROR_REGISTRY_IO_FAILED;
  }
}

class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  void reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }
  int release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

bool ReadAll(int fd, std::string& out) {
  out.clear();
  char buffer[65536];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    out.append(buffer, static_cast<size_t>(n));
  }
}

bool WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// Writes a temporary file beside the target, flushes it and renames it over the target.
LONG WriteAtomically(fs::path target, const std::string& bytes) {
  std::error_code ec;
  if (fs::is_symlink(target, ec)) {
    fs::path real = fs::canonical(target, ec);
    if (!ec) target = real;  // replace the file the link names, keep the link
  }
  static std::atomic<unsigned> counter{0};
  fs::path temp = target.parent_path() /
                  (".registry.reg." + std::to_string(::getpid()) + "." + std::to_string(counter++) + ".tmp");
  Fd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
  if (fd.get() < 0) return ErrnoToError(errno);
  struct stat old {};
  if (::stat(target.c_str(), &old) == 0) ::fchmod(fd.get(), old.st_mode & 07777);
  int error = 0;
  if (!WriteAll(fd.get(), bytes) || ::fsync(fd.get()) != 0) error = errno ? errno : EIO;
  if (::close(fd.release()) != 0 && !error) error = errno;
  if (!error && ::rename(temp.c_str(), target.c_str()) != 0) error = errno;
  if (error) {
    ::unlink(temp.c_str());
    return ErrnoToError(error);
  }
  // The data is flushed before the rename, so a crash leaves the old file or the new one, never a
  // partial one; the directory itself is not synced (that would double the cost of every change).
  return ERROR_SUCCESS;
}

struct State {
  std::mutex mutex;
  fs::path root;  // machine folder the cached tree belongs to
  bool loaded = false;
  Identity identity;
  std::string bytes;  // the file contents the tree stands for
  bool bad = false;
  ParsedFile file;

  fs::path FilePath() const { return root / "registry.reg"; }

  void UseMachine(const Machine& machine) {
    if (machine.root != root) {
      root = machine.root;
      loaded = false;
    }
  }

  void SetEmpty(const Identity& id) {
    file = ParsedFile{};
    bytes.clear();
    identity = id;
    bad = false;
    loaded = true;
  }

  // Brings the tree up to date with the file. checkContent: compare the bytes even when the file
  // looks unchanged (done under the lock before every write).
  LONG Refresh(bool os64, bool checkContent) {
    LONG result = RefreshFile(checkContent);
    if (result == ERROR_SUCCESS) EnsureImplicitKeys(file.tree, os64);
    return result;
  }

  LONG RefreshFile(bool checkContent) {
    if (root.empty()) {
      if (!loaded) SetEmpty(Identity{});
      return ERROR_SUCCESS;
    }
    fs::path path = FilePath();
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) {
      if (errno != ENOENT) return ErrnoToError(errno);
      if (!loaded || identity.exists) SetEmpty(Identity{});  // a missing file is an empty registry
      return ERROR_SUCCESS;
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) return ErrnoToError(errno);
    Identity id = FromStat(st);
    if (loaded && id == identity && !checkContent && !Young(id)) return bad ? ERROR_BADDB : ERROR_SUCCESS;
    std::string current;
    if (!ReadAll(fd.get(), current)) return ErrnoToError(errno);
    if (loaded && current == bytes) {
      identity = id;
      return bad ? ERROR_BADDB : ERROR_SUCCESS;
    }
    ParsedFile parsed;
    ParseError error;
    loaded = true;
    identity = id;
    bytes = std::move(current);
    if (!ParseRegFile(bytes, parsed, error)) {
      // Refused once per version of the file; it is never written over while it is refused.
      std::fprintf(stderr,
                   "hl: %s: line %zu: %s; the registry file is refused (registry calls fail with "
                   "ERROR_BADDB) and left unchanged\n",
                   path.c_str(), error.line, error.message.c_str());
      bad = true;
      file = ParsedFile{};
      return ERROR_BADDB;
    }
    bad = false;
    file = std::move(parsed);
    return ERROR_SUCCESS;
  }
};

State& TheState() {
  static State state;
  return state;
}

}  // namespace

bool IsImplicitKey(Hive hive, const Path& path, bool os64) {
  for (const auto& implicit : kImplicitKeys) {
    if (implicit.hive != hive || implicit.path.size() != path.size() || (implicit.only64 && !os64)) continue;
    size_t i = 0;
    bool match = true;
    for (const char16_t* part : implicit.path) match = match && NamesEqual(path[i++], part);
    if (match) return true;
  }
  return false;
}

Store& Store::Instance() {
  static Store store;
  return store;
}

LONG Store::Read(const std::function<LONG(const Tree&)>& fn) {
  auto machine = CurrentMachine();
  bool os64 = CurrentProcessModel().os64;
  State& state = TheState();
  std::lock_guard lock(state.mutex);
  state.UseMachine(*machine);
  if (LONG result = state.Refresh(os64, false); result != ERROR_SUCCESS) return result;
  return fn(state.file.tree);
}

LONG Store::Modify(const std::function<LONG(Tree&, bool& changed)>& fn) {
  auto machine = CurrentMachine();
  bool os64 = CurrentProcessModel().os64;
  State& state = TheState();
  std::lock_guard lock(state.mutex);
  state.UseMachine(*machine);

  Fd lockFile;
  if (!state.root.empty()) {
    lockFile.reset(::open((state.root / "registry.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
    if (lockFile.get() < 0) return ErrnoToError(errno);
    while (::flock(lockFile.get(), LOCK_EX) != 0) {
      if (errno != EINTR) return ErrnoToError(errno);
    }
  }
  if (LONG result = state.Refresh(os64, true); result != ERROR_SUCCESS) return result;

  bool changed = false;
  LONG result = fn(state.file.tree, changed);
  if (!changed) return result;
  if (result != ERROR_SUCCESS || state.root.empty()) {
    state.loaded = false;  // drop the in-memory change; the next call reads the file again
    return result != ERROR_SUCCESS ? result : ERROR_ACCESS_DENIED;
  }
  std::string bytes = FormatRegFile(state.file.tree, state.file.encoding,
                                    [os64](Hive hive, const Path& path, const Key&) {
                                      return IsImplicitKey(hive, path, os64);  // asked only for keys without values
                                    });
  if (LONG written = WriteAtomically(state.FilePath(), bytes); written != ERROR_SUCCESS) {
    state.loaded = false;
    return written;
  }
  struct stat st {};
  if (::stat(state.FilePath().c_str(), &st) == 0) {
    state.identity = FromStat(st);
    state.bytes = std::move(bytes);
  } else {
    state.loaded = false;
  }
  return ERROR_SUCCESS;  // the lock is released when lockFile closes
}

}  // namespace hl::platform::reg
