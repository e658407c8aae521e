// The settings the transport works with, as one plain value. The functions of transport.h
// fill it from the agent configuration (settings_adapter.cpp) and call the variants below,
// whose logic reads no process-wide state, so tests pass the settings they need.
#pragma once

#include <optional>

#include "transport/transport.h"

namespace hl::transport {

struct TransportSettings {
  int connectTimeoutMs = 30000;   // GET_DATA and POST_DATA connect phase
  int requestTimeoutMs = 60000;   // GET_DATA and POST_DATA receive
  bool ifModifiedSinceEnabled = false;
  std::optional<WString> ifModifiedSinceTime;
  DWORD resendWaitMs = 5000;      // wait after WinHTTP asks for a resend; only tests shorten it
};

// The agent's proxy, converted to UTF-16 for WinHTTP.
struct ProxySettings {
  bool enabled = false;
  WString server, bypass, user, password;
};

// From the agent configuration (gv_*) and the If-Modified-Since state.
TransportSettings CurrentTransportSettings();
// From gv_proxy*; the password is converted without ever being logged.
ProxySettings CurrentProxySettings();

int GetInternetRequestHandle(const TransportSettings& settings, int proxyFlag, const char* protocol,
                             const WCHAR* serverName, int port, const WCHAR* proxyServerName,
                             const WCHAR* proxyBypass, const WCHAR* proxyUserName, const WCHAR* proxyPassword,
                             const WCHAR* objectPath, const WCHAR* destFilePath, int requestType, BYTE keepAlive,
                             HttpRequestHandles& handles);

int InternetSendRequestEx(const TransportSettings& settings, BYTE proxyFlag, const char* protocol,
                          const WCHAR* serverName, int port, const WCHAR* proxyServerName, const WCHAR* proxyBypass,
                          const WCHAR* proxyUserName, const WCHAR* proxyPassword, const WCHAR* urlPath,
                          const char* data, std::optional<std::string>* response, int requestType, BYTE keepAlive,
                          DWORD postSize);

int InternetSendRequestByBitRate(const TransportSettings& settings, BYTE proxyFlag, const char* protocol,
                                 const WCHAR* serverName, int port, const WCHAR* proxyServerName,
                                 const WCHAR* proxyBypass, const WCHAR* proxyUserName, const WCHAR* proxyPassword,
                                 const WCHAR* urlPath, const char* filePath, std::optional<std::string>* response,
                                 DWORD chunkSize);

}  // namespace hl::transport
