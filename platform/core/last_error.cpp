// Per-thread last error, the pseudo handles and the generic handle close.
#include "platform/core/handles.h"
#include "platform/core/core_internal.h"
#include "platform/system/win_system.h"

namespace {
thread_local DWORD t_lastError = ERROR_SUCCESS;
}  // namespace

DWORD GetLastError() { return t_lastError; }

void SetLastError(DWORD dwErrCode) { t_lastError = dwErrCode; }

HANDLE GetCurrentProcess() { return reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1)); }

HANDLE GetCurrentThread() { return reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-2)); }

BOOL CloseHandle(HANDLE hObject) {
  // The pseudo handles of the current process and thread need no closing; Windows accepts them.
  if (hObject == GetCurrentProcess() || hObject == GetCurrentThread()) return TRUE;
  if (hObject == nullptr || !hl::platform::ReleaseHandle(hObject)) return hl::platform::Fail(ERROR_INVALID_HANDLE, FALSE);
  return TRUE;
}
