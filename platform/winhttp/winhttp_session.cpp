// WinHttpOpen, WinHttpConnect, WinHttpCloseHandle, time-outs and the option dispatch: each
// handle answers its own options, the common ones (time-outs, handle type) in the base.
#include <cstring>

#include "platform/core/core_internal.h"
#include "platform/winhttp/winhttp_internal.h"

namespace hl::platform::winhttp {
namespace {

std::optional<DWORD> ReadDword(const void* buffer, DWORD length, DWORD& value) {
  if (buffer == nullptr) return ERROR_INVALID_PARAMETER;
  if (length < sizeof(DWORD)) return ERROR_INSUFFICIENT_BUFFER;
  std::memcpy(&value, buffer, sizeof(DWORD));
  return std::nullopt;
}

}  // namespace

std::string Narrow(const WCHAR* text, DWORD length) {
  if (text == nullptr) return {};
  size_t count = length == static_cast<DWORD>(-1) ? WideLength(text) : length;
  return Utf16ToUtf8(std::u16string_view(text, count));
}

std::optional<DWORD> WriteDwordOption(DWORD value, void* buffer, DWORD* length) {
  if (length == nullptr) return ERROR_INVALID_PARAMETER;
  if (buffer == nullptr || *length < sizeof(DWORD)) {
    *length = sizeof(DWORD);
    return ERROR_INSUFFICIENT_BUFFER;
  }
  std::memcpy(buffer, &value, sizeof(DWORD));
  *length = sizeof(DWORD);
  return 0;
}

std::optional<DWORD> InternetObject::SetOption(DWORD option, const void* buffer, DWORD length) {
  DWORD* target = nullptr;
  switch (option) {
    case WINHTTP_OPTION_RESOLVE_TIMEOUT: target = &timeouts.resolve; break;
    case WINHTTP_OPTION_CONNECT_TIMEOUT: target = &timeouts.connect; break;
    case WINHTTP_OPTION_SEND_TIMEOUT: target = &timeouts.send; break;
    case WINHTTP_OPTION_RECEIVE_TIMEOUT: target = &timeouts.receive; break;
    case WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT: target = &timeouts.response; break;
    case WINHTTP_OPTION_HANDLE_TYPE: return ERROR_WINHTTP_OPTION_NOT_SETTABLE;
    default: return std::nullopt;
  }
  DWORD value = 0;
  if (auto error = ReadDword(buffer, length, value)) return error;
  *target = value;
  return 0;
}

std::optional<DWORD> InternetObject::QueryOption(DWORD option, void* buffer, DWORD* length) {
  switch (option) {
    case WINHTTP_OPTION_RESOLVE_TIMEOUT: return WriteDwordOption(timeouts.resolve, buffer, length);
    case WINHTTP_OPTION_CONNECT_TIMEOUT: return WriteDwordOption(timeouts.connect, buffer, length);
    case WINHTTP_OPTION_SEND_TIMEOUT: return WriteDwordOption(timeouts.send, buffer, length);
    case WINHTTP_OPTION_RECEIVE_TIMEOUT: return WriteDwordOption(timeouts.receive, buffer, length);
    case WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT: return WriteDwordOption(timeouts.response, buffer, length);
    case WINHTTP_OPTION_HANDLE_TYPE: return WriteDwordOption(Type(), buffer, length);
    default: return std::nullopt;
  }
}

std::optional<DWORD> Session::SetOption(DWORD option, const void* buffer, DWORD length) {
  if (option == WINHTTP_OPTION_SECURE_PROTOCOLS) {
    DWORD value = 0;
    if (auto error = ReadDword(buffer, length, value)) return error;
    const DWORD known = WINHTTP_FLAG_SECURE_PROTOCOL_SSL2 | WINHTTP_FLAG_SECURE_PROTOCOL_SSL3 |
                        WINHTTP_FLAG_SECURE_PROTOCOL_TLS1 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_1 |
                        WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3;
    if ((value & ~known) != 0) return ERROR_INVALID_PARAMETER;
    secureProtocols = value;
    return 0;
  }
  return InternetObject::SetOption(option, buffer, length);
}

std::optional<DWORD> Session::QueryOption(DWORD option, void* buffer, DWORD* length) {
  if (option == WINHTTP_OPTION_SECURE_PROTOCOLS) return WriteDwordOption(secureProtocols, buffer, length);
  return InternetObject::QueryOption(option, buffer, length);
}

}  // namespace hl::platform::winhttp

using namespace hl::platform;
using namespace hl::platform::winhttp;

HINTERNET WinHttpOpen(LPCWSTR pszAgentW, DWORD dwAccessType, LPCWSTR pszProxyW, LPCWSTR pszProxyBypassW,
                      DWORD dwFlags) {
  if (auto fault = InjectedWinHttpFault("WinHttpOpen")) return Fail<HINTERNET>(*fault, nullptr);
  if ((dwFlags & WINHTTP_FLAG_ASYNC) != 0) return Fail<HINTERNET>(ERROR_INVALID_PARAMETER, nullptr);
  auto session = std::make_shared<Session>();
  session->userAgent = Narrow(pszAgentW);
  if (dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY) {
    if (pszProxyW == nullptr || *pszProxyW == 0) return Fail<HINTERNET>(ERROR_INVALID_PARAMETER, nullptr);
    session->namedProxy = true;
    session->proxyList = Narrow(pszProxyW);
    session->bypassList = Narrow(pszProxyBypassW);
  } else if (dwAccessType != WINHTTP_ACCESS_TYPE_NO_PROXY && dwAccessType != WINHTTP_ACCESS_TYPE_DEFAULT_PROXY &&
             dwAccessType != WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY) {
    return Fail<HINTERNET>(ERROR_INVALID_PARAMETER, nullptr);
  }
  SetLastError(ERROR_SUCCESS);
  return RegisterHandle(session);
}

HINTERNET WinHttpConnect(HINTERNET hSession, LPCWSTR pswzServerName, INTERNET_PORT nServerPort, DWORD) {
  auto session = Lookup<Session>(hSession);
  if (!session) return nullptr;
  if (pswzServerName == nullptr || *pswzServerName == 0) return Fail<HINTERNET>(ERROR_WINHTTP_INVALID_URL, nullptr);
  std::string server = Narrow(pswzServerName);
  if (auto fault = InjectedWinHttpFault("WinHttpConnect", server)) return Fail<HINTERNET>(*fault, nullptr);
  auto connection = std::make_shared<Connection>();
  connection->session = session;
  connection->server = server;
  connection->port = nServerPort;
  connection->timeouts = session->timeouts;
  SetLastError(ERROR_SUCCESS);
  return RegisterHandle(connection);
}

BOOL WinHttpCloseHandle(HINTERNET hInternet) {
  if (auto fault = InjectedWinHttpFault("WinHttpCloseHandle")) {
    ReleaseHandle(hInternet);
    return Fail(*fault, FALSE);
  }
  if (!std::dynamic_pointer_cast<InternetObject>(LookupHandle(hInternet))) return Fail(ERROR_INVALID_HANDLE, FALSE);
  ReleaseHandle(hInternet);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL WinHttpSetOption(HINTERNET hInternet, DWORD dwOption, LPVOID lpBuffer, DWORD dwBufferLength) {
  auto object = Lookup<InternetObject>(hInternet);
  if (!object) return FALSE;
  if (auto fault = InjectedWinHttpFault("WinHttpSetOption")) return Fail(*fault, FALSE);
  std::optional<DWORD> result = object->SetOption(dwOption, lpBuffer, dwBufferLength);
  if (!result) return Fail(ERROR_WINHTTP_INCORRECT_HANDLE_TYPE, FALSE);
  if (*result != 0) return Fail(*result, FALSE);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL WinHttpQueryOption(HINTERNET hInternet, DWORD dwOption, LPVOID lpBuffer, LPDWORD lpdwBufferLength) {
  auto object = Lookup<InternetObject>(hInternet);
  if (!object) return FALSE;
  if (auto fault = InjectedWinHttpFault("WinHttpQueryOption")) return Fail(*fault, FALSE);
  std::optional<DWORD> result = object->QueryOption(dwOption, lpBuffer, lpdwBufferLength);
  if (!result) return Fail(ERROR_WINHTTP_INCORRECT_HANDLE_TYPE, FALSE);
  if (*result != 0) return Fail(*result, FALSE);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL WinHttpSetTimeouts(HINTERNET hInternet, int nResolveTimeout, int nConnectTimeout, int nSendTimeout,
                        int nReceiveTimeout) {
  auto object = Lookup<InternetObject>(hInternet);
  if (!object) return FALSE;
  if (nResolveTimeout < -1 || nConnectTimeout < -1 || nSendTimeout < -1 || nReceiveTimeout < -1)
    return Fail(ERROR_INVALID_PARAMETER, FALSE);
  auto value = [](int ms) { return ms == -1 ? kNoTimeout : static_cast<DWORD>(ms); };
  object->timeouts.resolve = value(nResolveTimeout);
  object->timeouts.connect = value(nConnectTimeout);
  object->timeouts.send = value(nSendTimeout);
  object->timeouts.receive = value(nReceiveTimeout);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}
