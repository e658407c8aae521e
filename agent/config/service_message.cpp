// User-defined controls to the agent's Windows service.
#include "agent/config/agent_config.h"
#include "agent/log/log.h"

int SendServiceMsg(DWORD controlCode, const WCHAR* serviceName) {
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
  if (manager == nullptr) {
    LogError("SendServiceMsg : Failed to open Service Control Manager\n");
    return 0;
  }
  SC_HANDLE service = OpenServiceW(manager, serviceName, SERVICE_USER_DEFINED_CONTROL);
  if (service == nullptr) {
    LogError("SendServiceMsg : Failed to open the Service\n");
    CloseServiceHandle(manager);
    return 0;
  }
  LogInfo("SendServiceMsg : Service %S Opened successfully\n", serviceName);
  SERVICE_STATUS status = {};
  int sent = 1;
  if (ControlService(service, controlCode, &status)) {
    LogInfo("SendServiceMsg : Notification is succeeded\n");
  } else {
    LogError("SendServiceMsg : Notification failed %d \n", GetLastError());
    sent = 0;
  }
  CloseServiceHandle(service);
  CloseServiceHandle(manager);
  return sent;
}
