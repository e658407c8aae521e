// Service Control Manager of the stand-in: the services machine.json lists, controls logged
// to services.log in the machine folder so that tests can see what was sent.
#include <cstring>
#include <fstream>
#include <mutex>
#include <optional>
#include <string>

#include "platform/core/handles.h"
#include "platform/core/machine.h"
#include "platform/core/core_internal.h"
#include "platform/services/win_services.h"

namespace {

using hl::platform::Fail;

struct ScObject : hl::platform::KernelObject {
  DWORD access = 0;
};
struct ScManagerObject : ScObject {};
struct ServiceObject : ScObject {
  std::string name;  // as the machine lists it
  DWORD state = SERVICE_RUNNING;
};

struct ServiceEntry {
  std::string name;
  DWORD state = SERVICE_RUNNING;
};

DWORD StateFromText(const std::string& text) {
  if (hl::platform::EqualsNoCase(text, "stopped")) return SERVICE_STOPPED;
  if (hl::platform::EqualsNoCase(text, "paused")) return SERVICE_PAUSED;
  return SERVICE_RUNNING;
}

// "services": [ "Name", { "name": "Name", "state": "running" | "stopped" | "paused" } ]
std::optional<ServiceEntry> FindService(const std::string& name) {
  auto machine = hl::platform::CurrentMachine();
  const auto& services = machine->Section("services");
  if (!services.is_array()) return std::nullopt;
  for (const auto& item : services) {
    ServiceEntry entry;
    if (item.is_string()) {
      entry.name = item.get<std::string>();
    } else if (item.is_object() && item.contains("name") && item["name"].is_string()) {
      entry.name = item["name"].get<std::string>();
      if (item.contains("state") && item["state"].is_string()) entry.state = StateFromText(item["state"].get<std::string>());
    } else {
      continue;
    }
    if (hl::platform::EqualsNoCase(entry.name, name)) return entry;
  }
  return std::nullopt;
}

// The access a control code needs; nullopt for codes that are no control at all.
std::optional<DWORD> AccessForControl(DWORD control) {
  switch (control) {
    case SERVICE_CONTROL_STOP:
      return SERVICE_STOP;
    case SERVICE_CONTROL_PAUSE:
    case SERVICE_CONTROL_CONTINUE:
      return SERVICE_PAUSE_CONTINUE;
    case SERVICE_CONTROL_INTERROGATE:
      return SERVICE_INTERROGATE;
    default:
      if (control >= 128 && control <= 255) return SERVICE_USER_DEFINED_CONTROL;
      return std::nullopt;
  }
}

// Generic rights map onto the specific ones as the SCM maps them.
DWORD ExpandServiceAccess(DWORD access) {
  constexpr DWORD kGenericAll = 0x10000000, kGenericExecute = 0x20000000;
  if (access & kGenericAll) access |= SERVICE_ALL_ACCESS;
  if (access & kGenericExecute) access |= SERVICE_START | SERVICE_STOP | SERVICE_PAUSE_CONTINUE |
                                          SERVICE_USER_DEFINED_CONTROL;
  return access;
}

std::mutex g_logMutex;

bool RecordControl(const std::string& service, DWORD control) {
  auto machine = hl::platform::CurrentMachine();
  if (!machine->present()) return true;
  std::lock_guard lock(g_logMutex);
  std::ofstream out(machine->root / "services.log", std::ios::app | std::ios::binary);
  out << service << ' ' << control << '\n';
  return static_cast<bool>(out);
}

SC_HANDLE ToScHandle(HANDLE handle) { return reinterpret_cast<SC_HANDLE>(handle); }
HANDLE FromScHandle(SC_HANDLE handle) { return reinterpret_cast<HANDLE>(handle); }

}  // namespace

SC_HANDLE OpenSCManagerW(LPCWSTR lpMachineName, LPCWSTR lpDatabaseName, DWORD dwDesiredAccess) {
  if (auto fault = hl::platform::InjectedFault("OpenSCManagerW")) return Fail(*fault, static_cast<SC_HANDLE>(nullptr));
  if (lpMachineName != nullptr && lpMachineName[0] != u'\0')
    return Fail(static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE), static_cast<SC_HANDLE>(nullptr));
  if (lpDatabaseName != nullptr &&
      !hl::platform::EqualsNoCase(hl::platform::Utf16ToUtf8(lpDatabaseName), "ServicesActive"))
    return Fail(static_cast<DWORD>(ERROR_INVALID_NAME), static_cast<SC_HANDLE>(nullptr));
  auto manager = std::make_shared<ScManagerObject>();
  manager->access = dwDesiredAccess;
  SetLastError(ERROR_SUCCESS);
  return ToScHandle(hl::platform::RegisterHandle(manager));
}

SC_HANDLE OpenServiceW(SC_HANDLE hSCManager, LPCWSTR lpServiceName, DWORD dwDesiredAccess) {
  auto manager = hl::platform::LookupHandleAs<ScManagerObject>(FromScHandle(hSCManager));
  if (!manager) return Fail(static_cast<DWORD>(ERROR_INVALID_HANDLE), static_cast<SC_HANDLE>(nullptr));
  if (lpServiceName == nullptr) return Fail(static_cast<DWORD>(ERROR_INVALID_PARAMETER), static_cast<SC_HANDLE>(nullptr));
  std::string name = hl::platform::Utf16ToUtf8(lpServiceName);
  if (auto fault = hl::platform::InjectedFault("OpenServiceW", name))
    return Fail(*fault, static_cast<SC_HANDLE>(nullptr));
  auto entry = FindService(name);
  if (!entry) return Fail(static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST), static_cast<SC_HANDLE>(nullptr));
  auto service = std::make_shared<ServiceObject>();
  service->name = entry->name;
  service->state = entry->state;
  service->access = ExpandServiceAccess(dwDesiredAccess);
  SetLastError(ERROR_SUCCESS);
  return ToScHandle(hl::platform::RegisterHandle(service));
}

BOOL ControlService(SC_HANDLE hService, DWORD dwControl, LPSERVICE_STATUS lpServiceStatus) {
  auto service = hl::platform::LookupHandleAs<ServiceObject>(FromScHandle(hService));
  if (!service) return Fail(static_cast<DWORD>(ERROR_INVALID_HANDLE), FALSE);
  if (auto fault = hl::platform::InjectedFault("ControlService", service->name)) return Fail(*fault, FALSE);
  if (lpServiceStatus == nullptr) return Fail(static_cast<DWORD>(ERROR_INVALID_PARAMETER), FALSE);
  auto needed = AccessForControl(dwControl);
  if (!needed) return Fail(static_cast<DWORD>(ERROR_INVALID_PARAMETER), FALSE);
  if ((service->access & *needed) == 0) return Fail(static_cast<DWORD>(ERROR_ACCESS_DENIED), FALSE);
  if (service->state == SERVICE_STOPPED) return Fail(static_cast<DWORD>(ERROR_SERVICE_NOT_ACTIVE), FALSE);
  if (!RecordControl(service->name, dwControl)) return Fail(static_cast<DWORD>(ERROR_WRITE_FAULT), FALSE);
  std::memset(lpServiceStatus, 0, sizeof *lpServiceStatus);
  lpServiceStatus->dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  lpServiceStatus->dwCurrentState = service->state;
  lpServiceStatus->dwControlsAccepted = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PAUSE_CONTINUE;
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL CloseServiceHandle(SC_HANDLE hSCObject) {
  HANDLE handle = FromScHandle(hSCObject);
  if (!hl::platform::LookupHandleAs<ScObject>(handle) || !hl::platform::ReleaseHandle(handle))
    return Fail(static_cast<DWORD>(ERROR_INVALID_HANDLE), FALSE);
  return TRUE;
}
