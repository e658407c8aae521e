// The local computer's identity in the configuration.
#include "agent/config/config_internal.h"
#include "agent/log/log.h"
#include "agent/machine/identity.h"

namespace {

std::string TrimWhiteSpace(const std::string& text) {
  auto space = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
  size_t begin = 0, end = text.size();
  while (begin < end && space(text[begin])) ++begin;
  while (end > begin && space(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

}  // namespace

int InitializeLocalMachineDetails() {
  std::string name;
  if (GetLocalComputerName(name) != 1) {
    LogError("InitializeLocalMachineDetails : Error occured while retrieving the local computer name !!! \n");
    return 13;
  }
  gv_localComputerName = name;

  std::string nameSpace;
  int joined = 0;
  if (GetComputerNameSpace(nameSpace, joined) != 1) {
    LogError("InitializeLocalMachineDetails : Error occured while retrieving the name space !!! \n");
    return 13;
  }
  gv_clientNamespace = TrimWhiteSpace(nameSpace);
  gv_domainJoined = joined;

  std::string ips, macs, masks;
  if (GetMACandIPAddress(ips, macs, masks) == 0) {
    gv_localIPAddress = ips;
    gv_localMACAddress = macs;
    gv_localSubnetMask = masks;
  } else {
    LogError("InitializeLocalMachineDetails : Error while fetching Local machine IP and MAC Addresses! \n");
  }

  std::string controller;
  if (GetComputerLogonServer(controller) == 0)
    gv_domainController = controller;
  else
    LogError("InitializeLocalMachineDetails : Error while fetching computer domain controller ! \n");
  return 0;
}
