// Per-thread last error and the generic handle close.
#include "platform/handles.h"
#include "platform/system_internal.h"
#include "platform/win_system.h"

namespace {
thread_local DWORD t_lastError = ERROR_SUCCESS;
}  // namespace

DWORD GetLastError() { return t_lastError; }

void SetLastError(DWORD dwErrCode) { t_lastError = dwErrCode; }

BOOL CloseHandle(HANDLE hObject) {
  // The pseudo handles of the current process and thread need no closing; Windows accepts them.
  if (hObject == GetCurrentProcess() || hObject == GetCurrentThread()) return TRUE;
  if (hObject == nullptr || !hl::platform::ReleaseHandle(hObject)) return hl::platform::Fail(ERROR_INVALID_HANDLE, FALSE);
  return TRUE;
}
