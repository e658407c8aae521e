// This module is responsible for request routing (AgentSendRequest): which server, which URL
// path, which transfer function, and the fail-over through the target's addresses.
//
// How: the first attempt uses the last access name; a retryable result (400, 12002, 12005,
// 12007, 12029) moves on to the IP address, then the secondary IP, the server name and the
// flat name, each only when longer than 2 characters. The IP address is always followed by
// the secondary one, whatever it answered; after that only retryable results go on. The
// address that answered becomes the target's last access name, stored in the registry.
#include "transport/routing.h"

#include <cstring>

#include "agent/config/agent_config.h"
#include "agent/log/log.h"
#include "agent/machine/text.h"
#include "transport/download.h"
#include "transport/transport.h"

namespace {

bool IsRetryable(int result) {
  return result == 400 || result == 12002 || result == 12005 || result == 12007 || result == 12029;
}
bool IsSuccess(int result) { return result == 0 || result == kNotModified; }

bool IsYesText(const OptString& text) { return text && ToLowerUtf8(text->c_str()) == "yes"; }

bool ContainsNoCase(const std::string& text, const char* part) {
  return ToLowerUtf8(text.c_str()).find(ToLowerUtf8(part)) != std::string::npos;
}

hl::WString Wide(const std::string& text) {
  hl::WString out;
  ChangeUtf8ToWideStr(text.c_str(), out);
  return out;
}

struct Target {
  bool mainServer;
  OptString* lastAccessName;
  std::string addresses[4];  // IP, secondary IP, server name, flat name
  std::string protocol;
  int port;
};

Target ChooseTarget(BYTE toMainServer) {
  if (toMainServer == 1 || !IsYesText(gv_enableDistributionServer))
    return {true, &gv_lastAccessName,
            {gv_serverIPAddress.value_or(""), gv_serverSecIPAddress.value_or(""), gv_serverName.value_or(""),
             gv_serverFlatName.value_or("")},
            gv_serverProtocol.value_or("http"), gv_serverPort};
  return {false, &gv_dsLastAccessName,
          {gv_dsIPAddress.value_or(""), gv_dsSecIPAddress.value_or(""), gv_dsName.value_or(""),
           gv_dsFlatName.value_or("")},
          gv_dsProtocol.value_or("http"), gv_dsPort};
}

std::string FormUrlPath(const std::string& path, int requestType, bool mainServer) {
  std::string code = gv_hlProductCode.value_or("");
  std::string lower = ToLowerUtf8(code.c_str());
  bool getType = requestType == GET_DATA || requestType == DOWNLOAD_FILE;
  if (lower == "ridav") {
    LogInfo("AgentSendRequest - gv_hlProductCode is [%s], requestType is GET_DATA / DOWNLOAD_FILE [%d] \n", code,
            requestType);
    return "hl/" + path;
  }
  if (lower != "hlod") {
    LogDebug("AgentSendRequest - Stand Alone / MSP build : gv_hlProductCode is [%s] \n", code);
    return path;
  }
  if (!mainServer || !getType) {
    LogInfo("AgentSendRequest - gv_hlProductCode is [%s], toHLServer is set to [%d]. Request Type is NOT GET_DATA / DOWNLOAD_FILE and is [%d]\n",
            code, mainServer ? 1 : 0, requestType);
    return path;
  }
  for (const char* servlet : {"/agentRequest?", "/agentSlot?", "/agenttrayicon?", "agentinfo?"}) {
    if (ContainsNoCase(path, servlet)) {
      LogInfo("AgentSendRequest - gv_hlProductCode is [%s], requestType is GET_DATA / DOWNLOAD_FILE [%d] and is servlet request \n",
              code, requestType);
      return path;
    }
  }
  return "clientdatarequest?fileName=" + path;
}

}  // namespace

int AgentSendRequest(const char* resourcePath, const char* text, std::optional<std::string>* answer, int requestType,
                     BYTE keepAlive, BYTE toMainServer, DWORD size, int transferKind) {
  Target target = ChooseTarget(toMainServer);
  std::string path = ReplaceChar(resourcePath ? resourcePath : "", '\\', '/');
  std::string urlUtf8;
  ChangeAnsiToUTF8Str(FormUrlPath(path, requestType, target.mainServer).c_str(), urlUtf8);
  LogInfo("AgentSendRequest : The url to get / send in UTF8 format is given by %s \n", urlUtf8);
  hl::WString url = Wide(urlUtf8);
  bool getType = requestType == GET_DATA || requestType == DOWNLOAD_FILE;
  hl::WString dest;
  if (getType && transferKind != kTransferNone && text) dest = Wide(text);

  bool proxy = IsYesText(gv_proxyEnabled) && target.mainServer;
  hl::WString proxyUser, proxyPassword, proxyServer, proxyBypass;
  if (proxy) {
    proxyUser = Wide(gv_proxyUserName.value_or(""));
    ChangeUtf8ToWideSecretStr(gv_proxyPassword.value_or("").c_str(), proxyPassword);
    proxyServer = Wide(gv_proxyServerName.value_or(""));
    proxyBypass = Wide(gv_proxyByPass.value_or(""));
  }
  const WCHAR* pServer = proxy ? proxyServer.c_str() : nullptr;
  const WCHAR* pBypass = proxy ? proxyBypass.c_str() : nullptr;
  const WCHAR* pUser = proxy ? proxyUser.c_str() : nullptr;
  const WCHAR* pPassword = proxy ? proxyPassword.c_str() : nullptr;
  const char* protocol = target.protocol.c_str();

  auto attempt = [&](const std::string& address) -> int {
    hl::WString server = Wide(address);
    int flag = proxy ? 1 : 0;
    switch (requestType) {
      case GET_DATA:
      case DOWNLOAD_FILE: {
        const WCHAR* destination = dest.empty() ? nullptr : dest.c_str();
        if (transferKind == kTransferWhole)
          return InternetGetRequestEx(flag, protocol, server.c_str(), target.port, pServer, pBypass, pUser, pPassword,
                                      url.c_str(), destination, answer, requestType, keepAlive);
        if (transferKind == kTransferPaced)
          return InternetGetRequestByBitrate(flag, protocol, server.c_str(), target.port, pServer, pBypass, pUser,
                                             pPassword, url.c_str(), destination, answer, requestType, keepAlive);
        return 0;
      }
      case POST_DATA:
      case POST_DATA_NO_TIMEOUT:
        return InternetSendRequestEx(static_cast<BYTE>(flag), protocol, server.c_str(), target.port, pServer, pBypass,
                                     pUser, pPassword, url.c_str(), text, answer, requestType, keepAlive,
                                     text ? static_cast<DWORD>(std::strlen(text)) : 0);
      case POST_MULTIPART_DATA:
        return InternetSendRequestEx(static_cast<BYTE>(flag), protocol, server.c_str(), target.port, pServer, pBypass,
                                     pUser, pPassword, url.c_str(), text, answer, requestType, keepAlive, size);
      case POST_FILE:
        return InternetSendRequestByBitRate(static_cast<BYTE>(flag), protocol, server.c_str(), target.port, pServer,
                                            pBypass, pUser, pPassword, url.c_str(), text, answer, nullptr, nullptr,
                                            size);
      default:
        LogError("AgentSendRequest : unknown request type %d \n", requestType);
        return 13;
    }
  };

  std::string lastAccess = target.lastAccessName->value_or("");
  int result = lastAccess.size() > 2 ? attempt(lastAccess) : 12007;
  if (IsRetryable(result)) {
    for (int i = 0; i < 4; ++i) {
      const std::string& address = target.addresses[i];
      if (address.size() > 2) {
        result = attempt(address);
        if (IsSuccess(result)) {
          *target.lastAccessName = address;
          break;
        }
      }
      // The IP address's failure of any kind still leads to the secondary address.
      if (i > 0 && !IsRetryable(result)) break;
    }
  }
  if (IsSuccess(result)) {
    const std::string name = target.lastAccessName->value_or("");
    if (target.mainServer) SetLastAccessName(name.c_str());
    else SetDSLastAccessName(name.c_str());
    LogInfo("AgentSendRequest : Last Access Address is %s \n", name);
  }
  return result;
}

int AgentSendRequestData(const char* resourcePath, std::optional<std::string>* answer, BYTE keepAlive) {
  return AgentSendRequest(resourcePath, nullptr, answer, GET_DATA, keepAlive, 1, 0, kTransferWhole);
}
