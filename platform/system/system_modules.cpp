// LoadLibrary / GetProcAddress: shared libraries through dlopen, plus the built-in kernel32 and advapi32.
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/core/machine.h"
#include "platform/core/core_internal.h"
#include "platform/system/system_version.h"
#include "platform/system/win_system.h"

namespace hl::platform {
namespace {

// Built-in modules: their handles are the addresses of these objects.
struct BuiltinModule {
  const char* name;
};
const BuiltinModule kKernel32{"kernel32"};
const BuiltinModule kAdvapi32{"advapi32"};

HMODULE HandleOf(const BuiltinModule& module) { return const_cast<BuiltinModule*>(&module); }

// The file name part of a path, without a ".dll" extension.
std::string ModuleBaseName(std::string_view path) {
  size_t slash = path.find_last_of("\\/");
  std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  if (name.size() > 4 && EqualsNoCase(name.substr(name.size() - 4), ".dll")) name.remove_suffix(4);
  return std::string(name);
}

const BuiltinModule* FindBuiltin(std::string_view path) {
  std::string base = ModuleBaseName(path);
  if (EqualsNoCase(base, kKernel32.name)) return &kKernel32;
  if (EqualsNoCase(base, kAdvapi32.name)) return &kAdvapi32;
  return nullptr;
}

template <class Function>
FARPROC AsProc(Function* function) {
  return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(function));
}

FARPROC BuiltinExport(const BuiltinModule* module, std::string_view name) {
  if (module == &kKernel32) {
    if (name == "IsWow64Process") return AsProc(&::IsWow64Process);
    if (name == "GetNativeSystemInfo") return AsProc(&::GetNativeSystemInfo);
    if (name == "GetProductInfo" && CurrentOsInfo().edition) return AsProc(&::GetProductInfo);
  }
  // advapi32: nothing the product looks up at run time is offered (no transacted registry).
  return nullptr;
}

struct LoadedModule {
  std::string path;  // host path
  int references = 0;
};

std::mutex g_modulesMutex;
std::map<void*, LoadedModule> g_modules;  // by dlopen handle

bool IsRegularFile(const std::filesystem::path& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Windows adds ".dll" to a name without extension; a trailing "." means "no extension".
std::string WithDefaultExtension(std::string name) {
  size_t slash = name.find_last_of("\\/");
  std::string_view last = slash == std::string::npos ? std::string_view(name) : std::string_view(name).substr(slash + 1);
  if (!last.empty() && last.back() == '.') {
    name.pop_back();
  } else if (last.find('.') == std::string_view::npos) {
    name += ".dll";
  }
  return name;
}

// Where a module name leads: a path as given, a bare name in the working directory, the program's
// directory, then the system directories of the machine.
std::optional<std::filesystem::path> Locate(const std::string& name) {
  bool hasPath = name.find_first_of("\\/") != std::string::npos || (name.size() >= 2 && name[1] == ':');
  std::vector<std::string> candidates{name};
  if (!hasPath) {
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) candidates.push_back((exe.parent_path() / name).string());
    candidates.push_back("C:\\Windows\\System32\\" + name);
    candidates.push_back("C:\\Windows\\" + name);
  }
  for (const auto& candidate : candidates) {
    auto mapped = MapPath(candidate);
    if (mapped && IsRegularFile(*mapped)) return mapped;
  }
  return std::nullopt;
}

HMODULE Load(const char* api, const std::string& requested) {
  if (requested.empty()) return Fail(ERROR_INVALID_PARAMETER, static_cast<HMODULE>(nullptr));
  if (auto fault = InjectedFault(api, requested)) return Fail(*fault, static_cast<HMODULE>(nullptr));
  if (const BuiltinModule* builtin = FindBuiltin(requested)) return HandleOf(*builtin);
  auto path = Locate(WithDefaultExtension(requested));
  if (!path) return Fail(ERROR_MOD_NOT_FOUND, static_cast<HMODULE>(nullptr));
  std::lock_guard lock(g_modulesMutex);
  dlerror();
  void* handle = dlopen(path->c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* why = dlerror();
    std::string reason = why ? why : "";
    // A missing dependency reads as a missing module on Windows, a missing import as a missing procedure.
    if (reason.find("cannot open shared object file") != std::string::npos)
      return Fail(ERROR_MOD_NOT_FOUND, static_cast<HMODULE>(nullptr));
    if (reason.find("undefined symbol") != std::string::npos)
      return Fail(ERROR_PROC_NOT_FOUND, static_cast<HMODULE>(nullptr));
    return Fail(ERROR_BAD_EXE_FORMAT, static_cast<HMODULE>(nullptr));
  }
  LoadedModule& module = g_modules[handle];
  module.path = path->string();
  ++module.references;
  return static_cast<HMODULE>(handle);
}

void* MainProgram() {
  static void* const handle = dlopen(nullptr, RTLD_NOW);
  return handle;
}

}  // namespace
}  // namespace hl::platform

HMODULE LoadLibraryA(LPCSTR lpLibFileName) {
  if (lpLibFileName == nullptr) return hl::platform::Fail(ERROR_INVALID_PARAMETER, static_cast<HMODULE>(nullptr));
  return hl::platform::Load("LoadLibraryA", lpLibFileName);
}

HMODULE LoadLibraryW(LPCWSTR lpLibFileName) {
  if (lpLibFileName == nullptr) return hl::platform::Fail(ERROR_INVALID_PARAMETER, static_cast<HMODULE>(nullptr));
  return hl::platform::Load("LoadLibraryW", hl::platform::Utf16ToUtf8(lpLibFileName));
}

HMODULE GetModuleHandleA(LPCSTR lpModuleName) {
  using namespace hl::platform;
  if (lpModuleName == nullptr) return static_cast<HMODULE>(MainProgram());
  if (const BuiltinModule* builtin = FindBuiltin(lpModuleName)) return HandleOf(*builtin);
  // A loaded module is found by its file name, compared without regard to case.
  std::string wanted = ModuleBaseName(WithDefaultExtension(lpModuleName));
  std::lock_guard lock(g_modulesMutex);
  for (const auto& [handle, module] : g_modules)
    if (EqualsNoCase(ModuleBaseName(module.path), wanted)) return static_cast<HMODULE>(handle);
  return Fail(ERROR_MOD_NOT_FOUND, static_cast<HMODULE>(nullptr));
}

FARPROC GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
  using namespace hl::platform;
  // Lookups by ordinal (a value below 0x10000 in place of the name) have no meaning here.
  if (lpProcName == nullptr || reinterpret_cast<uintptr_t>(lpProcName) < 0x10000)
    return Fail(ERROR_PROC_NOT_FOUND, static_cast<FARPROC>(nullptr));
  if (hModule == HandleOf(kKernel32) || hModule == HandleOf(kAdvapi32)) {
    FARPROC proc = BuiltinExport(static_cast<const BuiltinModule*>(hModule), lpProcName);
    return proc ? proc : Fail(ERROR_PROC_NOT_FOUND, static_cast<FARPROC>(nullptr));
  }
  void* handle = hModule == nullptr ? MainProgram() : hModule;
  {
    std::lock_guard lock(g_modulesMutex);
    if (handle != MainProgram() && g_modules.find(handle) == g_modules.end())
      return Fail(ERROR_MOD_NOT_FOUND, static_cast<FARPROC>(nullptr));
  }
  dlerror();
  void* symbol = dlsym(handle, lpProcName);
  if (symbol == nullptr) return Fail(ERROR_PROC_NOT_FOUND, static_cast<FARPROC>(nullptr));
  return reinterpret_cast<FARPROC>(symbol);
}

BOOL FreeLibrary(HMODULE hLibModule) {
  using namespace hl::platform;
  if (hLibModule == HandleOf(kKernel32) || hLibModule == HandleOf(kAdvapi32)) return TRUE;
  std::lock_guard lock(g_modulesMutex);
  auto it = g_modules.find(hLibModule);
  if (it == g_modules.end()) return Fail(ERROR_MOD_NOT_FOUND, FALSE);
  if (--it->second.references == 0) g_modules.erase(it);
  dlclose(hLibModule);
  return TRUE;
}
