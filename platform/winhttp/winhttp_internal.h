// Internal pieces of the WinHTTP stand-in: the session, connect and request objects behind
// HINTERNET values, the pure URL and proxy helpers, and the fault switch.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/core/handles.h"
#include "platform/system/win_system.h"
#include "platform/winhttp/curl_transport.h"
#include "platform/winhttp/win_winhttp.h"

namespace hl::platform::winhttp {

struct Timeouts {
  DWORD resolve = 0;
  DWORD connect = 60000;
  DWORD send = 30000;
  DWORD receive = 30000;
  DWORD response = 90000;
};

// Common base of the three kinds of handle; each answers its own options.
struct InternetObject : KernelObject {
  virtual DWORD Type() const = 0;
  // 0 or an error code; nullopt when the option is not one this object knows.
  virtual std::optional<DWORD> SetOption(DWORD option, const void* buffer, DWORD length);
  virtual std::optional<DWORD> QueryOption(DWORD option, void* buffer, DWORD* length);
  Timeouts timeouts;
};

struct Session : InternetObject {
  DWORD Type() const override { return WINHTTP_HANDLE_TYPE_SESSION; }
  std::optional<DWORD> SetOption(DWORD option, const void* buffer, DWORD length) override;
  std::optional<DWORD> QueryOption(DWORD option, void* buffer, DWORD* length) override;
  std::string userAgent;
  bool namedProxy = false;
  std::string proxyList;
  std::string bypassList;
  DWORD secureProtocols = 0;
};

struct Connection : InternetObject {
  DWORD Type() const override { return WINHTTP_HANDLE_TYPE_CONNECT; }
  std::shared_ptr<Session> session;  // a child keeps its parent alive
  std::string server;                // as given (UTF-8)
  INTERNET_PORT port = 0;
};

enum class RequestState { Opened, Sent, Received };

struct Request : InternetObject {
  DWORD Type() const override { return WINHTTP_HANDLE_TYPE_REQUEST; }
  std::optional<DWORD> SetOption(DWORD option, const void* buffer, DWORD length) override;
  std::optional<DWORD> QueryOption(DWORD option, void* buffer, DWORD* length) override;
  std::shared_ptr<Connection> connection;
  std::string verb = "GET";
  std::string path = "/";
  std::string accept;  // joined accept types, empty for none
  DWORD flags = 0;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string proxyUser;
  std::string proxyPassword;
  bool proxyUserSet = false;
  DWORD securityFlags = 0;
  DWORD disabledFeatures = 0;
  DWORD redirectPolicy = WINHTTP_OPTION_REDIRECT_POLICY_DISALLOW_HTTPS_TO_HTTP;
  DWORD maxRedirects = 10;
  RequestState state = RequestState::Opened;
  std::unique_ptr<CurlTransfer> transfer;
  bool Secure() const { return (flags & WINHTTP_FLAG_SECURE) != 0; }
  std::string Url() const;  // scheme://server:port/path
};

// Handle lookup: the object, or null with the last error set (6 closed, 12018 wrong type).
template <class T>
std::shared_ptr<T> Lookup(HINTERNET handle) {
  auto object = std::dynamic_pointer_cast<InternetObject>(LookupHandle(handle));
  if (!object) {
    ::SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  auto typed = std::dynamic_pointer_cast<T>(object);
  if (!typed) ::SetLastError(ERROR_WINHTTP_INCORRECT_HANDLE_TYPE);
  return typed;
}

// ---- pure helpers (winhttp_url.cpp) ----
struct HostPort {
  std::string host;
  INTERNET_PORT port = 0;
};
// The address a host name stands for: a literal address as it is, "localhost" as 127.0.0.1,
// other names from the "hosts" object (name -> address, case-insensitive); nullopt otherwise.
std::optional<std::string> ResolveHost(std::string_view host, const nlohmann::json& hosts);
bool IsLiteralAddress(std::string_view host);
// True for 127.0.0.0/8, ::1 and ::ffff:127.x.y.z: the only addresses a machine folder reaches.
bool IsLoopbackAddress(std::string_view address);
// True when `host` matches an entry of a WinHTTP bypass list ("<local>", "*.x", exact names).
bool BypassMatches(std::string_view host, std::string_view bypassList);
// The proxy to use for a scheme from a WinHTTP proxy list ("p:8080", "http=p1:80;https=p2:443").
std::optional<HostPort> PickProxy(std::string_view proxyList, bool secure);
// "host" or "[v6]" as it goes into a URL.
std::string UrlHost(std::string_view host);
// Splits "Name: value\r\nName2: value2" into trimmed pairs; false when a line has no name.
bool ParseHeaderLines(std::string_view text, std::vector<std::pair<std::string, std::string>>& out);

// ---- faults (winhttp_faults.cpp) ----
// The error machine.json "faults" injects into this call of `api` on `url`, if any.
std::optional<DWORD> InjectedWinHttpFault(std::string_view api, std::string_view url = {});

// UTF-16 text (NUL-terminated, or `length` characters when not -1) as UTF-8.
std::string Narrow(const WCHAR* text, DWORD length = static_cast<DWORD>(-1));

}  // namespace hl::platform::winhttp
