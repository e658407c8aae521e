// This module is responsible for turning the agent configuration (gv_*) into the transport's
// settings value; it is the only transport file that reads process-wide configuration. Called
// by the entry points of request.cpp and upload.cpp (and, for the proxy, by the routing code).
#include "agent/config/agent_config.h"
#include "transport/transport_settings.h"

int gv_ifModifiedSinceEnabled = 0;
std::optional<hl::WString> gv_ifModifiedSinceTime;

namespace hl::transport {
namespace {

WString Wide(const OptString& text) {
  WString out;
  if (text) ChangeUtf8ToWideStr(text->c_str(), out);
  return out;
}

bool IsYes(const OptString& text) {
  return text && text->size() == 3 && (((*text)[0] | 0x20) == 'y') && (((*text)[1] | 0x20) == 'e') &&
         (((*text)[2] | 0x20) == 's');
}

}  // namespace

TransportSettings CurrentTransportSettings() {
  TransportSettings settings;
  settings.connectTimeoutMs = gv_httpConnectionTimeout;
  settings.requestTimeoutMs = gv_httpRequestTimeout;
  settings.ifModifiedSinceEnabled = gv_ifModifiedSinceEnabled == 1;
  settings.ifModifiedSinceTime = gv_ifModifiedSinceTime;
  return settings;
}

ProxySettings CurrentProxySettings() {
  ProxySettings proxy;
  proxy.enabled = IsYes(gv_proxyEnabled);
  if (!proxy.enabled) return proxy;
  proxy.user = Wide(gv_proxyUserName);
  if (gv_proxyPassword) ChangeUtf8ToWideSecretStr(gv_proxyPassword->c_str(), proxy.password);
  proxy.server = Wide(gv_proxyServerName);
  proxy.bypass = Wide(gv_proxyByPass);
  return proxy;
}

}  // namespace hl::transport
