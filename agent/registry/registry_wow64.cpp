#include "agent/registry/registry.h"

typedef BOOL(WINAPI* LPFN_ISWOW64PROCESS)(HANDLE, PBOOL);

int ProcessRunsUnderWow64() {
  // Looked up at run time: older kernels do not export IsWow64Process.
  if (LoadLibraryA("kernel32.dll") == nullptr) return 0;
  FARPROC proc = GetProcAddress(GetModuleHandleA("kernel32"), "IsWow64Process");
  // Through void*: the exported address has the real signature, FARPROC is only its carrier.
  auto isWow64Process = reinterpret_cast<LPFN_ISWOW64PROCESS>(reinterpret_cast<void*>(proc));
  if (isWow64Process == nullptr) return 0;
  BOOL wow64 = FALSE;
  if (!isWow64Process(GetCurrentProcess(), &wow64)) return 0;
  return wow64 ? 1 : 0;
}
