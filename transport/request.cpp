// This module is responsible for the request core: opening a GET or HEAD exchange with the
// agent's proxy, TLS and time-out settings, the send loop with its resend and reopen rules,
// the status and header queries, and closing the handles. Called by the download and routing
// code; calls WinHTTP through platform/win32.h, the OS identification and the agent log.
//
// How the retries go: one exchange may be reopened once (new session, connection and
// request) after a login failure, a cancelled send or an unparsable answer; every other send
// failure ends the call. Receive failures asking for a resend wait and count an attempt; five
// attempts at most. The result is the latest failure met on the way (0 when none), or 407.
#include <vector>

#include "agent/log/log.h"
#include "agent/osinfo/osinfo.h"
#include "transport/request_internal.h"
#include "transport/transport_settings.h"

namespace hl::transport {
namespace {

constexpr DWORD kIgnoreCertificateErrors = SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_WRONG_USAGE |
                                           SECURITY_FLAG_IGNORE_CERT_CN_INVALID |
                                           SECURITY_FLAG_IGNORE_CERT_DATE_INVALID;

void CloseOne(HINTERNET& handle) {
  if (handle != kNoHandle) WinHttpCloseHandle(handle);
  handle = kNoHandle;
}

// Why an attempt at opening the exchange ended.
enum class Outcome { Done, Reopen, Fail };

struct Exchange {
  const TransportSettings& settings;
  int proxyFlag;
  bool secure;
  const WCHAR* serverName;
  int port;
  const WCHAR* proxyServerName;
  const WCHAR* proxyBypass;
  const WCHAR* proxyUserName;
  const WCHAR* proxyPassword;
  const WCHAR* objectPath;
  const WCHAR* destFilePath;
  int requestType;
  BYTE keepAlive;
  HttpRequestHandles& handles;
  DWORD lastError = 0;
  bool reopened = false;
  int result = 0;

  int Fail(const char* line, DWORD code) {
    LogError(line, static_cast<int>(code));
    HttpGetLastError(code);
    result = static_cast<int>(code);
    return result;
  }

  // Steps 2 to 10: session, connection, request, headers and options. 0 or the failure.
  int Open() {
    DWORD flags = WINHTTP_FLAG_REFRESH;
    if (proxyFlag == 1) {
      LogDebug("GetInternetRequestHandle : Proxy Server Name : %S \n", proxyServerName);
      handles.hSession = WinHttpOpen(WSTR("HarborlineAgent"), WINHTTP_ACCESS_TYPE_NAMED_PROXY, proxyServerName,
                                     proxyBypass, 0);
    } else {
      handles.hSession = WinHttpOpen(WSTR("HarborlineAgent"), WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                     WINHTTP_NO_PROXY_BYPASS, 0);
    }
    if (handles.hSession == nullptr) {
      handles.hSession = kNoHandle;
      return Fail("GetInternetRequestHandle :  Error in WinHttpOpen --> %d \n", GetLastError());
    }
    if (secure) {
      SetSecureProtocols(handles.hSession);
      flags |= WINHTTP_FLAG_SECURE;
    }
    handles.hConnect = WinHttpConnect(handles.hSession, serverName, static_cast<INTERNET_PORT>(port), 0);
    if (handles.hConnect == nullptr) {
      DWORD error = GetLastError();
      handles.hConnect = kNoHandle;
      CloseOne(handles.hSession);
      return Fail("GetInternetRequestHandle :  Error in WinHttpConnect --> %d \n", error);
    }
    LPCWSTR acceptTypes[] = {WSTR("*/*"), nullptr};
    handles.hRequest = WinHttpOpenRequest(handles.hConnect, handles.requestMode == 2 ? WSTR("HEAD") : WSTR("GET"),
                                          objectPath, nullptr, WINHTTP_NO_REFERER, acceptTypes, flags);
    if (handles.hRequest == nullptr) {
      DWORD error = GetLastError();
      handles.hRequest = kNoHandle;
      CloseOne(handles.hConnect);
      CloseOne(handles.hSession);
      return Fail("GetInternetRequestHandle :  Error in WinHttpOpenRequest --> %d \n", error);
    }
    AddHeaders();
    if (requestType == GET_DATA &&
        !SetDword(WINHTTP_OPTION_CONNECT_TIMEOUT, static_cast<DWORD>(settings.connectTimeoutMs)))
      return Fail("GetInternetRequestHandle :  Error in WinHttpSetOption --> %d \n", GetLastError());
    if (secure) {
      DWORD securityFlags = 0, size = sizeof(securityFlags);
      if (!WinHttpQueryOption(handles.hRequest, WINHTTP_OPTION_SECURITY_FLAGS, &securityFlags, &size) ||
          !SetDword(WINHTTP_OPTION_SECURITY_FLAGS, securityFlags | kIgnoreCertificateErrors))
        return Fail("GetInternetRequestHandle :  Error in WinHttpSetOption --> %d \n", GetLastError());
      LogDebug("GetInternetRequestHandle :  The request is updated with the internet option security flags. \n");
    }
    if (proxyFlag == 1) {
      if (!SetText(WINHTTP_OPTION_PROXY_USERNAME, proxyUserName) || !SetText(WINHTTP_OPTION_PROXY_PASSWORD, proxyPassword))
        return Fail("GetInternetRequestHandle :  Error in WinHttpSetOption --> %d \n", GetLastError());
    }
    return 0;
  }

  // Steps 6 and 7; failures are logged and the request goes on.
  void AddHeaders() {
    const WCHAR* connection = keepAlive ? WSTR("Connection: Keep-Alive") : WSTR("Connection: close");
    if (!WinHttpAddRequestHeaders(handles.hRequest, connection, static_cast<DWORD>(-1), WINHTTP_ADDREQ_FLAG_ADD)) {
      lastError = GetLastError();
      LogError("GetInternetRequestHandle :  Error in WinHttpAddRequestHeaders --> %d \n", static_cast<int>(lastError));
      HttpGetLastError(lastError);
    }
    if (handles.requestMode == 1) {
      if (!WinHttpAddRequestHeaders(handles.hRequest, handles.extraHeader.c_str(), static_cast<DWORD>(-1),
                                    WINHTTP_ADDREQ_FLAG_ADD)) {
        lastError = GetLastError();
        LogError("InternetGetRequestByBitrate :  Error in WinHttpAddRequestHeaders --> %d \n", static_cast<int>(lastError));
        HttpGetLastError(lastError);
      }
      return;
    }
    if (!settings.ifModifiedSinceEnabled || !settings.ifModifiedSinceTime) return;
    if (requestType != GET_DATA && CheckFileExists(destFilePath) == 2) {
      LogError("GetInternetRequestHandle: destination file is not present, hence if-modified-since header is not applied\n");
      return;
    }
    WString header = WSTR("If-Modified-Since: ") + *settings.ifModifiedSinceTime;
    LogDebug("GetInternetRequestHandle : %S\n", header);
    if (!WinHttpAddRequestHeaders(handles.hRequest, header.c_str(), static_cast<DWORD>(-1), WINHTTP_ADDREQ_FLAG_ADD)) {
      lastError = GetLastError();
      LogError("GetInternetRequestHandle :  Error in IF-MODIFIED-SINCE WinHttpAddRequestHeaders --> %d \n",
               static_cast<int>(lastError));
      HttpGetLastError(lastError);
    }
  }

  bool SetDword(DWORD option, DWORD value) {
    return WinHttpSetOption(handles.hRequest, option, &value, sizeof(value)) != FALSE;
  }

  // Only names and passwords longer than one character are set.
  bool SetText(DWORD option, const WCHAR* text) {
    if (text == nullptr) return true;
    DWORD length = static_cast<DWORD>(WideLength(text));
    if (length <= 1) return true;
    return WinHttpSetOption(handles.hRequest, option, const_cast<WCHAR*>(text), length) != FALSE;
  }

  // Step 11: the send loop.
  Outcome SendLoop() {
    for (int attempt = 0; attempt < 5; ++attempt) {
      if (requestType == GET_DATA && !SetDword(WINHTTP_OPTION_RECEIVE_TIMEOUT, static_cast<DWORD>(settings.requestTimeoutMs))) {
        Fail("GetInternetRequestHandle :  Error in WinHttpSetOption before send request --> %d \n", GetLastError());
        return Outcome::Fail;
      }
      if (!WinHttpSendRequest(handles.hRequest, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0)) {
        DWORD error = GetLastError();
        if ((error == ERROR_WINHTTP_LOGIN_FAILURE || error == ERROR_WINHTTP_OPERATION_CANCELLED)) {
          LogInfo("GetInternetRequestHandle : Going to close the request handle and going to resending the data to the server %S \n",
                  serverName);
          if (!reopened) {
            lastError = error;
            return Outcome::Reopen;
          }
        }
        Fail("GetInternetRequestHandle :  Error in WinHttpSendRequest -> %d \n", error);
        return Outcome::Fail;
      }
      if (WinHttpReceiveResponse(handles.hRequest, nullptr)) return Outcome::Done;
      DWORD error = GetLastError();
      if (error == ERROR_WINHTTP_RESEND_REQUEST) {
        lastError = error;
        LogInfo("GetInternetRequestHandle : Resending the data to the server %S \n", serverName);
        Sleep(settings.resendWaitMs);
        continue;
      }
      if (error == ERROR_WINHTTP_LOGIN_FAILURE || error == ERROR_WINHTTP_INVALID_SERVER_RESPONSE) {
        lastError = error;
        LogInfo("GetInternetRequestHandle : Going to close the request handle and going to resending the data to the server %S,as the error code received is %d \n",
                serverName, static_cast<int>(error));
        if (!reopened) return Outcome::Reopen;
        continue;
      }
      LogInfo("GetInternetRequestHandle :  Error - WinHttpReceiveResponse --> %d \n", static_cast<int>(error));
      HttpGetLastError(error);
      result = static_cast<int>(error);
      return Outcome::Fail;
    }
    return Outcome::Done;
  }

  // Steps 12 and 13; 0 when the status is known and not 407.
  int ReadStatus() {
    std::vector<WCHAR> headers;
    int error = QueryRawHeaders(handles.hRequest, headers);
    if (error != 0) return Fail("GetInternetRequestHandle :  Error in WinHttpQueryHeaders --> %d \n", static_cast<DWORD>(error));
    LogDebug("GetInternetRequestHandle :  Header Informations : \n %S \n", headers.data());
    DWORD status = 0;
    if (!QueryStatusCode(handles.hRequest, status)) {
      DWORD code = GetLastError();
      LogError("GetInternetRequestHandle : WinHttpQueryHeaders failed with the error code while getting http status code %d \n",
               static_cast<int>(code));
      result = static_cast<int>(code);
      return result;
    }
    handles.statusCode = static_cast<int>(status);
    if (status == 407) {
      LogError("GetInternetRequestHandle : Proxy Credentials are failed to authenticate %d \n", static_cast<int>(status));
      result = 407;
      return result;
    }
    return 0;
  }

  int Run() {
    for (;;) {
      if (Open() != 0) return result;
      Outcome outcome = SendLoop();
      if (outcome == Outcome::Fail) return result;
      if (outcome == Outcome::Reopen) {
        // A new session, connection and request; the old ones are closed, not left behind.
        reopened = true;
        CloseOne(handles.hRequest);
        CloseOne(handles.hConnect);
        CloseOne(handles.hSession);
        continue;
      }
      break;
    }
    if (ReadStatus() != 0) return result;
    LogDebug("@@@@@@@@ End of GetInternetRequestHandle Method @@@@@@@@ \n");
    return static_cast<int>(lastError);
  }
};

}  // namespace

size_t WideLength(const WCHAR* text) {
  size_t n = 0;
  while (text[n] != 0) ++n;
  return n;
}

int QueryRawHeaders(HINTERNET request, std::vector<WCHAR>& headers) {
  DWORD size = 0;
  WinHttpQueryHeaders(request, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER,
                      &size, WINHTTP_NO_HEADER_INDEX);
  DWORD error = GetLastError();
  if (error != ERROR_INSUFFICIENT_BUFFER) return static_cast<int>(error);
  // Size x 4 + 8 bytes, zero-filled: always terminated.
  DWORD bytes = size * 4 + 8;
  headers.assign(bytes / sizeof(WCHAR) + 1, 0);
  if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX, headers.data(), &bytes,
                           WINHTTP_NO_HEADER_INDEX))
    return static_cast<int>(GetLastError());
  return 0;
}

bool QueryStatusCode(HINTERNET request, DWORD& status) {
  DWORD size = sizeof(status);
  return WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER, WINHTTP_HEADER_NAME_BY_INDEX,
                             &status, &size, WINHTTP_NO_HEADER_INDEX) != FALSE;
}

bool IsHttps(const char* protocol) {
  if (protocol == nullptr) return false;
  const char* https = "https";
  for (int i = 0; i < 5; ++i)
    if ((protocol[i] | 0x20) != https[i]) return false;
  return protocol[5] == '\0';
}

int GetInternetRequestHandle(const TransportSettings& settings, int proxyFlag, const char* protocol,
                             const WCHAR* serverName, int port, const WCHAR* proxyServerName,
                             const WCHAR* proxyBypass, const WCHAR* proxyUserName, const WCHAR* proxyPassword,
                             const WCHAR* objectPath, const WCHAR* destFilePath, int requestType, BYTE keepAlive,
                             HttpRequestHandles& handles) {
  LogDebug("@@@@@@@@ Inside GetInternetRequestHandle Method @@@@@@@@ \n");
  Exchange exchange{settings,      proxyFlag,   IsHttps(protocol), serverName,  port,
                    proxyServerName, proxyBypass, proxyUserName,   proxyPassword, objectPath,
                    destFilePath,  requestType, keepAlive,         handles};
  return exchange.Run();
}

}  // namespace hl::transport

int GetInternetRequestHandle(int proxyFlag, const char* protocol, const WCHAR* serverName, int port,
                             const WCHAR* proxyServerName, const WCHAR* proxyBypass, const WCHAR* proxyUserName,
                             const WCHAR* proxyPassword, const WCHAR* objectPath, const WCHAR* destFilePath, void*,
                             int requestType, BYTE keepAlive, HttpRequestHandles& handles) {
  return hl::transport::GetInternetRequestHandle(hl::transport::CurrentTransportSettings(), proxyFlag, protocol,
                                                 serverName, port, proxyServerName, proxyBypass, proxyUserName,
                                                 proxyPassword, objectPath, destFilePath, requestType, keepAlive,
                                                 handles);
}

void CloseRequestHandles(HttpRequestHandles& handles) {
  struct Entry {
    HINTERNET* handle;
    const char* line;
  } entries[] = {
      {&handles.hRequest, "Error in WinHttpCloseHandle hRequest --> %d \n"},
      {&handles.hConnect, "Error in WinHttpCloseHandle hConnect --> %d \n"},
      {&handles.hSession, "Error in WinHttpCloseHandle hSession --> %d \n"},
  };
  for (Entry& e : entries) {
    if (*e.handle == kNoHandle) continue;
    if (!WinHttpCloseHandle(*e.handle)) LogDebug(e.line, static_cast<int>(GetLastError()));
    *e.handle = kNoHandle;
  }
}

int SetSecureProtocols(HINTERNET hSession) {
  if (isWin7orWin8() != 1) return 1;
  LogInfo("SetSecureProtocols : Configuring security protocols \n");
  DWORD protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_1 |
                    WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2;
  if (WinHttpSetOption(hSession, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof(protocols))) {
    LogInfo("SetSecureProtocols :  Security protocols configured successfully \n");
  } else {
    DWORD error = GetLastError();
    LogError("SetSecureProtocols :  Error in WinHttpSetOption for security protocols --> %d \n", static_cast<int>(error));
    HttpGetLastError(error);
  }
  return 1;
}

int GetFilelastmodifiedTime(HINTERNET hRequest, hl::WString& lastModified) {
  LogDebug("@@@@@@@@@@@ Inside GetFilelastmodifiedTime Method   @@@@@@@@@@@@@\n");
  int result = 0;
  DWORD size = 0;
  WinHttpQueryHeaders(hRequest, WINHTTP_QUERY_LAST_MODIFIED, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER,
                      &size, WINHTTP_NO_HEADER_INDEX);
  DWORD error = GetLastError();
  if (error != ERROR_INSUFFICIENT_BUFFER) {
    LogError("GetFilelastmodifiedTime: Could n't query HEADER for last modified time\n");
    result = static_cast<int>(error);
  } else {
    DWORD bytes = size * 4 + 2;
    std::vector<WCHAR> buffer(bytes / sizeof(WCHAR) + 1, 0);
    if (WinHttpQueryHeaders(hRequest, WINHTTP_QUERY_LAST_MODIFIED, WINHTTP_HEADER_NAME_BY_INDEX, buffer.data(), &bytes,
                            WINHTTP_NO_HEADER_INDEX)) {
      LogDebug("GetFilelastmodifiedTime : File last modified time: %S\n", buffer.data());
      lastModified.assign(buffer.data());
    } else {
      error = GetLastError();
      LogError("GetFilelastmodifiedTime: Error in WinHttpQueryHeaders --> %d \n", static_cast<int>(error));
      HttpGetLastError(error);
      result = static_cast<int>(error);
    }
  }
  LogDebug("@@@@@@@@@@@ End of GetFilelastmodifiedTime Method   @@@@@@@@@@@@@\n");
  return result;
}

int CheckFileExists(const WCHAR* path) {
  if (path == nullptr) return 13;
  LogDebug("@@@@@@@@ Inside CheckFileExists Method @@@@@@@@ \n");
  LogDebug("FileName to search -> %S \n", path);
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(path, &data);
  int result = 0;
  if (find == INVALID_HANDLE_VALUE) {
    LogError("CheckFileExists -> Invalid File Handle. %d \n", static_cast<int>(GetLastError()));
    result = 2;
  } else {
    FindClose(find);
  }
  LogDebug("@@@@@@@@ End Of CheckFileExists Method @@@@@@@@ \n");
  return result;
}
