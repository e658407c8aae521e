// Downloads one file through the transport, set up the way the prereq tool sets it up: the
// install folder from the agent's registry key, the agent log, the agent's parameters; then
// InternetGetRequestEx, which hands the file to the resumable download when the agent's
// DownloadMode is 1. The kill-and-resume test runs it as a child process again and again.
//
// Usage: hl_download_driver <server> <port> <url path> <destination path>
// Exit status: 0 when the file was downloaded, 1 when the download failed, 2 for bad arguments,
// 3 when the machine has no agent.
#include <cstdio>
#include <cstdlib>

#include "agent/config/agent_config.h"
#include "agent/log/log.h"
#include "agent/log_setup/log_setup.h"
#include "agent/machine/text.h"
#include "agent/registry/registry.h"
#include "transport/download.h"

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: %s <server> <port> <url path> <destination path>\n", argv[0]);
    return 2;
  }
  if (ReadRegSZ(HKEY_LOCAL_MACHINE, gv_RegKey.c_str(), "HLAgentInstallDir", gv_agentInstallDir) != 0) return 3;
  StartAgentLog("hldownload.log");
  if (InitializeAgentParameters() != 0) LogError("Harborline Agent info is not available in this machine.\n");

  hl::WString server, url, destination;
  ChangeUtf8ToWideStr(argv[1], server);
  ChangeUtf8ToWideStr(argv[3], url);
  ChangeUtf8ToWideStr(argv[4], destination);
  int result = InternetGetRequestEx(0, "http", server.c_str(), std::atoi(argv[2]), nullptr, nullptr, nullptr, nullptr,
                                    url.c_str(), destination.c_str(), nullptr, DOWNLOAD_FILE, 1);
  std::printf("download result %d\n", result);
  ShutdownAgentLog();
  return result == 0 ? 0 : 1;
}
