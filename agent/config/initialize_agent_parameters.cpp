// Start-up of the agent configuration: the process facts, then the registry and the local machine.
#include <vector>

#include "agent/config/agent_config.h"
#include "agent/log/log.h"

namespace {

// IsWow64Process is looked up at run time: older kernels do not export it.
int DetectWow64() {
  if (LoadLibraryA("kernel32.dll") == nullptr) return 0;
  FARPROC proc = GetProcAddress(GetModuleHandleA("kernel32"), "IsWow64Process");
  // Through void*: the exported address has the real signature, FARPROC is only its carrier.
  auto isWow64Process = reinterpret_cast<LPFN_ISWOW64PROCESS>(reinterpret_cast<void*>(proc));
  if (isWow64Process == nullptr) return 0;
  BOOL wow64 = FALSE;
  if (!isWow64Process(GetCurrentProcess(), &wow64)) return 0;
  return wow64 ? 1 : 0;
}

// TEMP into a 255-byte buffer: at most 254 characters, empty when unset or longer.
std::string ReadTempDir() {
  std::vector<char> buffer(255, '\0');
  DWORD length = GetEnvironmentVariableA("TEMP", buffer.data(), static_cast<DWORD>(buffer.size()));
  if (length == 0 || length >= buffer.size()) return std::string();
  return std::string(buffer.data(), length);
}

}  // namespace

int InitializeAgentParameters() {
  LogDebug("@@@@@@@ Inside InitializeAgentParameters Method @@@@@@@@ \n");
  gv_IsWow64 = DetectWow64();
  gv_tempDir = ReadTempDir();
  return 0;
}
