// The request handle: open, headers to send, options, send, write, receive, read.
// The request decides everything about the exchange (address, proxy, headers, TLS checks,
// time-outs) and hands it to one CurlTransfer, which is replaced on every send.
#include <algorithm>
#include <cstring>

#include "platform/core/core_internal.h"
#include "platform/core/machine.h"
#include "platform/winhttp/winhttp_internal.h"

namespace hl::platform::winhttp {

std::optional<DWORD> WriteDwordOption(DWORD value, void* buffer, DWORD* length);

namespace {

bool HasHeader(const std::vector<std::pair<std::string, std::string>>& headers, std::string_view name) {
  for (const auto& h : headers)
    if (EqualsNoCase(h.first, name)) return true;
  return false;
}

// Applies header lines with the WinHttpAddRequestHeaders modifiers; 0 or an error code.
DWORD AddHeaders(Request& request, std::string_view text, DWORD modifiers) {
  std::vector<std::pair<std::string, std::string>> lines;
  if (!ParseHeaderLines(text, lines)) return ERROR_WINHTTP_INVALID_HEADER;
  auto& headers = request.headers;
  for (auto& [name, value] : lines) {
    auto it = std::find_if(headers.begin(), headers.end(), [&](const auto& h) { return EqualsNoCase(h.first, name); });
    bool exists = it != headers.end();
    if (modifiers & WINHTTP_ADDREQ_FLAG_REPLACE) {
      if (!exists && !(modifiers & WINHTTP_ADDREQ_FLAG_ADD)) return ERROR_WINHTTP_HEADER_NOT_FOUND;
      std::erase_if(headers, [&](const auto& h) { return EqualsNoCase(h.first, name); });
      if (!value.empty()) headers.emplace_back(name, value);
    } else if (modifiers & WINHTTP_ADDREQ_FLAG_ADD_IF_NEW) {
      if (exists) return ERROR_WINHTTP_HEADER_ALREADY_EXISTS;
      headers.emplace_back(name, value);
    } else if (exists && (modifiers & (WINHTTP_ADDREQ_FLAG_COALESCE_WITH_COMMA | WINHTTP_ADDREQ_FLAG_COALESCE_WITH_SEMICOLON))) {
      it->second += (modifiers & WINHTTP_ADDREQ_FLAG_COALESCE_WITH_SEMICOLON) ? "; " : ", ";
      it->second += value;
    } else {
      headers.emplace_back(name, value);
    }
  }
  return 0;
}

std::string WithPort(const std::string& host, INTERNET_PORT port, bool secure) {
  if (port == (secure ? 443 : 80)) return UrlHost(host);
  return UrlHost(host) + ":" + std::to_string(port);
}

// Everything the exchange needs, decided from the handles and the machine; 0 or an error.
DWORD BuildPlan(const Request& request, uint64_t totalLength, TransferPlan& plan) {
  const Connection& connection = *request.connection;
  const Session& session = *connection.session;
  auto machine = CurrentMachine();
  const nlohmann::json& hosts = machine->Section("hosts");
  bool secure = request.Secure();
  INTERNET_PORT port = connection.port != INTERNET_DEFAULT_PORT ? connection.port : (secure ? 443 : 80);
  std::string host = connection.server;

  std::optional<HostPort> proxy;
  if (session.namedProxy && !BypassMatches(host, session.bypassList)) proxy = PickProxy(session.proxyList, secure);

  std::optional<std::string> address = ResolveHost(host, hosts);
  if (!address) return ERROR_WINHTTP_NAME_NOT_RESOLVED;  // no name ever reaches DNS
  // A simulated computer is on loopback only: nothing leaves this host.
  if (!IsLoopbackAddress(*address)) return ERROR_WINHTTP_CANNOT_CONNECT;
  std::string urlHost = host;
  if (proxy) {
    std::optional<std::string> proxyAddress = ResolveHost(proxy->host, hosts);
    if (!proxyAddress) return ERROR_WINHTTP_NAME_NOT_RESOLVED;
    if (!IsLoopbackAddress(*proxyAddress)) return ERROR_WINHTTP_CANNOT_CONNECT;
    plan.proxy = "http://" + UrlHost(*proxyAddress) + ":" + std::to_string(proxy->port);
    plan.proxyCredentials = request.proxyUserSet;
    plan.proxyUser = request.proxyUser;
    plan.proxyPassword = request.proxyPassword;
    // The proxy would look the name up itself: it gets the address, the server its name.
    if (!IsLiteralAddress(host) && !EqualsNoCase(host, "localhost")) {
      urlHost = *address;
      if (!HasHeader(request.headers, "Host")) plan.headers.push_back("Host: " + WithPort(host, port, secure));
    }
  } else if (!IsLiteralAddress(host)) {
    plan.resolve.push_back(host + ":" + std::to_string(port) + ":" + UrlHost(*address));
  }
  plan.url = std::string(secure ? "https://" : "http://") + UrlHost(urlHost) + ":" + std::to_string(port) + request.path;

  plan.method = request.verb;
  plan.userAgent = session.userAgent;
  plan.hasBody = totalLength > 0 || request.verb == "POST" || request.verb == "PUT";
  plan.totalLength = totalLength;
  plan.headers.push_back(request.accept.empty() ? "Accept:" : "Accept: " + request.accept);
  if ((request.flags & WINHTTP_FLAG_REFRESH) != 0) {
    if (!HasHeader(request.headers, "Pragma")) plan.headers.push_back("Pragma: no-cache");
    if (!HasHeader(request.headers, "Cache-Control")) plan.headers.push_back("Cache-Control: no-cache");
  }
  if (!HasHeader(request.headers, "Connection"))
    plan.headers.push_back((request.disabledFeatures & WINHTTP_DISABLE_KEEP_ALIVE) ? "Connection: close"
                                                                                  : "Connection: Keep-Alive");
  for (const auto& [name, value] : request.headers) plan.headers.push_back(name + ": " + value);
  plan.headers.push_back("Expect:");  // WinHTTP never waits for 100-continue
  if (plan.hasBody && !HasHeader(request.headers, "Content-Type")) plan.headers.push_back("Content-Type:");

  plan.verifyHost = (request.securityFlags & SECURITY_FLAG_IGNORE_CERT_CN_INVALID) == 0;
  plan.verifyPeer = (request.securityFlags & (SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_DATE_INVALID |
                                              SECURITY_FLAG_IGNORE_CERT_WRONG_USAGE)) == 0;
  plan.secureProtocols = session.secureProtocols;
  plan.connectTimeoutMs = request.timeouts.connect;
  plan.sendTimeoutMs = request.timeouts.send;
  plan.receiveTimeoutMs = request.timeouts.receive;
  plan.responseTimeoutMs = request.timeouts.response;
  plan.followRedirects = (request.disabledFeatures & WINHTTP_DISABLE_REDIRECTS) == 0 &&
                         request.redirectPolicy != WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
  plan.redirectsHttpsOnly = secure && request.redirectPolicy == WINHTTP_OPTION_REDIRECT_POLICY_DISALLOW_HTTPS_TO_HTTP;
  plan.maxRedirects = static_cast<long>(request.maxRedirects);
  return 0;
}

std::optional<DWORD> ReadString(const void* buffer, DWORD length, std::string& out) {
  if (buffer == nullptr && length != 0) return ERROR_INVALID_PARAMETER;
  out = length == 0 ? std::string() : Narrow(static_cast<const WCHAR*>(buffer), length);
  while (!out.empty() && out.back() == '\0') out.pop_back();
  return 0;
}

std::optional<DWORD> ReadDwordValue(const void* buffer, DWORD length, DWORD& value) {
  if (buffer == nullptr) return ERROR_INVALID_PARAMETER;
  if (length < sizeof(DWORD)) return ERROR_INSUFFICIENT_BUFFER;
  std::memcpy(&value, buffer, sizeof(DWORD));
  return 0;
}

}  // namespace

std::string Request::Url() const {
  bool secure = Secure();
  INTERNET_PORT port = connection->port != INTERNET_DEFAULT_PORT ? connection->port : (secure ? 443 : 80);
  return std::string(secure ? "https://" : "http://") + WithPort(connection->server, port, secure) + path;
}

std::optional<DWORD> Request::SetOption(DWORD option, const void* buffer, DWORD length) {
  DWORD value = 0;
  switch (option) {
    case WINHTTP_OPTION_SECURITY_FLAGS: {
      if (auto e = ReadDwordValue(buffer, length, value); *e != 0) return e;
      const DWORD settable = SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_WRONG_USAGE |
                             SECURITY_FLAG_IGNORE_CERT_CN_INVALID | SECURITY_FLAG_IGNORE_CERT_DATE_INVALID;
      if ((value & ~(settable | SECURITY_FLAG_SECURE)) != 0) return ERROR_INVALID_PARAMETER;
      securityFlags = value & settable;
      return 0;
    }
    case WINHTTP_OPTION_PROXY_USERNAME:
      proxyUserSet = true;
      return ReadString(buffer, length, proxyUser);
    case WINHTTP_OPTION_PROXY_PASSWORD:
      proxyUserSet = true;
      return ReadString(buffer, length, proxyPassword);
    case WINHTTP_OPTION_USERNAME:
    case WINHTTP_OPTION_PASSWORD: {
      std::string ignored;  // server authentication is not supported; accepted as Windows does
      return ReadString(buffer, length, ignored);
    }
    case WINHTTP_OPTION_DISABLE_FEATURE:
      if (auto e = ReadDwordValue(buffer, length, value); *e != 0) return e;
      if (state != RequestState::Opened) return ERROR_WINHTTP_INCORRECT_HANDLE_STATE;
      disabledFeatures |= value;
      return 0;
    case WINHTTP_OPTION_REDIRECT_POLICY:
      if (auto e = ReadDwordValue(buffer, length, value); *e != 0) return e;
      if (value > WINHTTP_OPTION_REDIRECT_POLICY_ALWAYS) return ERROR_INVALID_PARAMETER;
      redirectPolicy = value;
      return 0;
    case WINHTTP_OPTION_MAX_HTTP_AUTOMATIC_REDIRECTS:
      if (auto e = ReadDwordValue(buffer, length, value); *e != 0) return e;
      maxRedirects = value;
      return 0;
    default: return InternetObject::SetOption(option, buffer, length);
  }
}

std::optional<DWORD> Request::QueryOption(DWORD option, void* buffer, DWORD* length) {
  switch (option) {
    case WINHTTP_OPTION_SECURITY_FLAGS:
      return WriteDwordOption(securityFlags | (Secure() ? SECURITY_FLAG_SECURE : 0), buffer, length);
    case WINHTTP_OPTION_REDIRECT_POLICY: return WriteDwordOption(redirectPolicy, buffer, length);
    case WINHTTP_OPTION_MAX_HTTP_AUTOMATIC_REDIRECTS: return WriteDwordOption(maxRedirects, buffer, length);
    case WINHTTP_OPTION_URL: {
      if (length == nullptr) return ERROR_INVALID_PARAMETER;
      std::u16string url = Utf8ToUtf16(transfer ? transfer->EffectiveUrl() : Url());
      DWORD needed = static_cast<DWORD>((url.size() + 1) * sizeof(WCHAR));
      if (buffer == nullptr || *length < needed) {
        *length = needed;
        return ERROR_INSUFFICIENT_BUFFER;
      }
      std::memcpy(buffer, url.c_str(), needed);
      *length = needed - sizeof(WCHAR);
      return 0;
    }
    default: return InternetObject::QueryOption(option, buffer, length);
  }
}

}  // namespace hl::platform::winhttp

using namespace hl::platform;
using namespace hl::platform::winhttp;

HINTERNET WinHttpOpenRequest(HINTERNET hConnect, LPCWSTR pwszVerb, LPCWSTR pwszObjectName, LPCWSTR pwszVersion,
                             LPCWSTR, LPCWSTR* ppwszAcceptTypes, DWORD dwFlags) {
  auto connection = Lookup<Connection>(hConnect);
  if (!connection) return nullptr;
  if (auto fault = InjectedWinHttpFault("WinHttpOpenRequest", connection->server)) return Fail<HINTERNET>(*fault, nullptr);
  std::string version = Narrow(pwszVersion);
  if (!version.empty() && version != "HTTP/1.1" && version != "HTTP/1.0")
    return Fail<HINTERNET>(ERROR_INVALID_PARAMETER, nullptr);
  auto request = std::make_shared<Request>();
  request->connection = connection;
  request->timeouts = connection->timeouts;
  if (pwszVerb != nullptr && *pwszVerb != 0) request->verb = Narrow(pwszVerb);
  if (pwszObjectName != nullptr && *pwszObjectName != 0) {
    request->path = Narrow(pwszObjectName);
    if (request->path.front() != '/') request->path.insert(request->path.begin(), '/');
  }
  if (request->path.find_first_of(" \r\n") != std::string::npos) return Fail<HINTERNET>(ERROR_WINHTTP_INVALID_URL, nullptr);
  for (LPCWSTR* type = ppwszAcceptTypes; type != nullptr && *type != nullptr; ++type) {
    if (!request->accept.empty()) request->accept += ", ";
    request->accept += Narrow(*type);
  }
  request->flags = dwFlags;
  SetLastError(ERROR_SUCCESS);
  return RegisterHandle(request);
}

BOOL WinHttpAddRequestHeaders(HINTERNET hRequest, LPCWSTR lpszHeaders, DWORD dwHeadersLength, DWORD dwModifiers) {
  auto request = Lookup<Request>(hRequest);
  if (!request) return FALSE;
  if (lpszHeaders == nullptr || dwHeadersLength == 0) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  if (auto fault = InjectedWinHttpFault("WinHttpAddRequestHeaders", request->Url())) return Fail(*fault, FALSE);
  if (DWORD error = AddHeaders(*request, Narrow(lpszHeaders, dwHeadersLength), dwModifiers); error != 0)
    return Fail(error, FALSE);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL WinHttpSendRequest(HINTERNET hRequest, LPCWSTR lpszHeaders, DWORD dwHeadersLength, LPVOID lpOptional,
                        DWORD dwOptionalLength, DWORD dwTotalLength, DWORD_PTR) {
  auto request = Lookup<Request>(hRequest);
  if (!request) return FALSE;
  if (dwOptionalLength > 0 && lpOptional == nullptr) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  uint64_t total = std::max<uint64_t>(dwTotalLength, dwOptionalLength);
  request->transfer.reset();
  request->state = RequestState::Opened;
  if (auto fault = InjectedWinHttpFault("WinHttpSendRequest", request->Url())) return Fail(*fault, FALSE);
  if (lpszHeaders != nullptr && dwHeadersLength != 0) {
    DWORD error = AddHeaders(*request, Narrow(lpszHeaders, dwHeadersLength),
                             WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE);
    if (error != 0) return Fail(error, FALSE);
  }
  TransferPlan plan;
  if (DWORD error = BuildPlan(*request, total, plan); error != 0) return Fail(error, FALSE);
  auto transfer = std::make_unique<CurlTransfer>(std::move(plan));
  const char* optional = static_cast<const char*>(lpOptional);
  if (DWORD error = transfer->Start(std::vector<char>(optional, optional + dwOptionalLength)); error != 0)
    return Fail(error, FALSE);
  request->transfer = std::move(transfer);
  request->state = RequestState::Sent;
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL WinHttpWriteData(HINTERNET hRequest, LPCVOID lpBuffer, DWORD dwNumberOfBytesToWrite,
                      LPDWORD lpdwNumberOfBytesWritten) {
  auto request = Lookup<Request>(hRequest);
  if (!request) return FALSE;
  if (lpdwNumberOfBytesWritten) *lpdwNumberOfBytesWritten = 0;
  if (lpBuffer == nullptr && dwNumberOfBytesToWrite > 0) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  if (request->state != RequestState::Sent || !request->transfer) return Fail(ERROR_WINHTTP_INCORRECT_HANDLE_STATE, FALSE);
  if (auto fault = InjectedWinHttpFault("WinHttpWriteData", request->Url())) return Fail(*fault, FALSE);
  if (DWORD error = request->transfer->Write(lpBuffer, dwNumberOfBytesToWrite); error != 0) return Fail(error, FALSE);
  if (lpdwNumberOfBytesWritten) *lpdwNumberOfBytesWritten = dwNumberOfBytesToWrite;
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL WinHttpReceiveResponse(HINTERNET hRequest, LPVOID lpReserved) {
  auto request = Lookup<Request>(hRequest);
  if (!request) return FALSE;
  if (lpReserved != nullptr) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  if (request->state != RequestState::Sent || !request->transfer) return Fail(ERROR_WINHTTP_INCORRECT_HANDLE_STATE, FALSE);
  if (auto fault = InjectedWinHttpFault("WinHttpReceiveResponse", request->Url())) return Fail(*fault, FALSE);
  if (DWORD error = request->transfer->AwaitHeaders(); error != 0) return Fail(error, FALSE);
  request->state = RequestState::Received;
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL WinHttpQueryDataAvailable(HINTERNET hRequest, LPDWORD lpdwNumberOfBytesAvailable) {
  auto request = Lookup<Request>(hRequest);
  if (!request) return FALSE;
  if (request->state != RequestState::Received) return Fail(ERROR_WINHTTP_INCORRECT_HANDLE_STATE, FALSE);
  if (auto fault = InjectedWinHttpFault("WinHttpQueryDataAvailable", request->Url())) return Fail(*fault, FALSE);
  size_t count = 0;
  if (DWORD error = request->transfer->Available(count); error != 0) return Fail(error, FALSE);
  if (lpdwNumberOfBytesAvailable) *lpdwNumberOfBytesAvailable = static_cast<DWORD>(count);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL WinHttpReadData(HINTERNET hRequest, LPVOID lpBuffer, DWORD dwNumberOfBytesToRead, LPDWORD lpdwNumberOfBytesRead) {
  auto request = Lookup<Request>(hRequest);
  if (!request) return FALSE;
  if (lpdwNumberOfBytesRead) *lpdwNumberOfBytesRead = 0;
  if (lpBuffer == nullptr && dwNumberOfBytesToRead > 0) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  if (request->state != RequestState::Received) return Fail(ERROR_WINHTTP_INCORRECT_HANDLE_STATE, FALSE);
  if (auto fault = InjectedWinHttpFault("WinHttpReadData", request->Url())) return Fail(*fault, FALSE);
  size_t got = 0;
  if (DWORD error = request->transfer->Read(lpBuffer, dwNumberOfBytesToRead, got); error != 0) return Fail(error, FALSE);
  if (lpdwNumberOfBytesRead) *lpdwNumberOfBytesRead = static_cast<DWORD>(got);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}
