// This module is responsible for POSTing to the server: a buffer held in memory
// (InternetSendRequestEx) or a whole file streamed from disk one chunk at a time
// (InternetSendRequestByBitRate). Called by the routing code; calls WinHTTP through
// platform/win32.h, the request core's shared pieces and the agent log.
//
// How: both posts run one engine; they differ in their log prefix, their options and how one
// attempt sends the body. Each call opens its own session, connection and request, may
// replace the request once (login failure, cancelled send, unparsable answer), makes at most
// five attempts, and closes everything before it returns. A 200 answer's body is read whole
// into a growing buffer, whatever Content-Length said.
#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "agent/log/log.h"
#include "transport/request_internal.h"
#include "transport/transport_settings.h"

namespace hl::transport {
namespace {

constexpr DWORD kIgnoreCertificateErrors = SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_WRONG_USAGE |
                                           SECURITY_FLAG_IGNORE_CERT_CN_INVALID |
                                           SECURITY_FLAG_IGNORE_CERT_DATE_INVALID;
constexpr size_t kHeaderBufferChars = 2048;

std::string Narrow(const WCHAR* text) {
  std::string out;
  if (text) ChangeWideToUtf8Str(text, out);
  return out;
}

struct Target {
  BYTE proxyFlag;
  bool secure;
  const WCHAR* serverName;
  int port;
  const WCHAR* proxyServerName;
  const WCHAR* proxyBypass;
  const WCHAR* proxyUserName;
  const WCHAR* proxyPassword;
  const WCHAR* urlPath;
};

// How one kind of post differs from the other.
struct PostKind {
  std::string prefix;             // "InternetSendRequestEx" or "InternetSendRequestByBitRate"
  bool keepAlive = true;
  bool timeouts = false;          // the configured connect and receive time-outs apply
  bool multipartHeader = false;   // "Content-Type: multipart/form-data" before each attempt
  // Sends the request with its body; false when WinHttpSendRequest failed (last error set),
  // true when it was sent or when nothing could be sent (the receive then fails).
  std::function<bool(HINTERNET request)> sendBody;
};

class Post {
 public:
  Post(const TransportSettings& settings, const Target& target, PostKind kind, std::optional<std::string>* response)
      : settings_(settings), t_(target), kind_(std::move(kind)), response_(response) {}

  int Run() {
    if (OpenSession() && OpenRequest()) Exchange();
    CloseAll();
    return result_;
  }

 private:
  std::string Line(const char* text) const { return kind_.prefix + text; }

  void Failed(const char* text, DWORD code) {
    LogError(Line(text), static_cast<int>(code));
    HttpGetLastError(code);
    result_ = static_cast<int>(code);
  }

  bool OpenSession() {
    if (t_.proxyFlag) {
      LogInfo(Line(" : Proxy Server Name : %S \n"), t_.proxyServerName);
      session_ = WinHttpOpen(WSTR("HarborlineAgent"), WINHTTP_ACCESS_TYPE_NAMED_PROXY, t_.proxyServerName,
                             t_.proxyBypass, 0);
    } else {
      session_ = WinHttpOpen(WSTR("HarborlineAgent"), WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                             WINHTTP_NO_PROXY_BYPASS, 0);
    }
    if (!session_) {
      Failed(" :  Error in WinHttpOpen --> %d \n", GetLastError());
      return false;
    }
    flags_ = WINHTTP_FLAG_REFRESH;
    if (t_.secure) {
      SetSecureProtocols(session_);
      flags_ |= WINHTTP_FLAG_SECURE;
    }
    connect_ = WinHttpConnect(session_, t_.serverName, static_cast<INTERNET_PORT>(t_.port), 0);
    if (!connect_) {
      Failed(" :  Error in WinHttpConnect --> %d \n", GetLastError());
      return false;
    }
    return true;
  }

  bool OpenRequest() {
    request_ = WinHttpOpenRequest(connect_, WSTR("POST"), t_.urlPath, nullptr, WINHTTP_NO_REFERER,
                                  WINHTTP_DEFAULT_ACCEPT_TYPES, flags_);
    if (!request_) {
      Failed(" :  Error in WinHttpOpenRequest --> %d \n", GetLastError());
      return false;
    }
    return true;
  }

  bool SetDword(DWORD option, DWORD value) { return WinHttpSetOption(request_, option, &value, sizeof(value)) != FALSE; }

  // Steps 6 and 7: the connection header and the options; false ends the call.
  bool Prepare() {
    const WCHAR* connection = kind_.keepAlive ? WSTR("Connection: Keep-Alive") : WSTR("Connection: close");
    if (!WinHttpAddRequestHeaders(request_, connection, static_cast<DWORD>(-1), WINHTTP_ADDREQ_FLAG_ADD)) {
      DWORD error = GetLastError();
      LogError(Line(" :  Error in WinHttpAddRequestHeaders --> %d \n"), static_cast<int>(error));
      HttpGetLastError(error);
    }
    bool ok = true;
    if (kind_.timeouts) ok = SetDword(WINHTTP_OPTION_CONNECT_TIMEOUT, static_cast<DWORD>(settings_.connectTimeoutMs));
    if (ok && t_.secure) {
      DWORD securityFlags = 0, size = sizeof(securityFlags);
      ok = WinHttpQueryOption(request_, WINHTTP_OPTION_SECURITY_FLAGS, &securityFlags, &size) &&
           SetDword(WINHTTP_OPTION_SECURITY_FLAGS, securityFlags | kIgnoreCertificateErrors);
      if (ok) LogDebug(Line(" :  The request is updated with the internet option security flags. \n"));
    }
    if (ok && t_.proxyFlag && t_.proxyUserName && WideLength(t_.proxyUserName) > 1) {
      ok = WinHttpSetOption(request_, WINHTTP_OPTION_PROXY_USERNAME, const_cast<WCHAR*>(t_.proxyUserName),
                            static_cast<DWORD>(WideLength(t_.proxyUserName)));
      if (ok && t_.proxyPassword && WideLength(t_.proxyPassword) > 1)
        ok = WinHttpSetOption(request_, WINHTTP_OPTION_PROXY_PASSWORD, const_cast<WCHAR*>(t_.proxyPassword),
                              static_cast<DWORD>(WideLength(t_.proxyPassword)));
    }
    if (!ok) Failed(" :  Error in WinHttpSetOption --> %d \n", GetLastError());
    return ok;
  }

  // Replaces the request once; false when it may not or the new one cannot be opened.
  bool Reopen() {
    if (reopened_) return false;
    reopened_ = true;
    WinHttpCloseHandle(request_);
    request_ = nullptr;
    return OpenRequest();
  }

  void Exchange() {
    for (;;) {
      if (!Prepare()) return;
      bool again = false;
      bool received = false;
      for (int attempt = 0; attempt < 5 && !again && !received; ++attempt) {
        if (kind_.timeouts && !SetDword(WINHTTP_OPTION_RECEIVE_TIMEOUT, static_cast<DWORD>(settings_.requestTimeoutMs))) {
          DWORD error = GetLastError();
          LogError(Line(" :  Error in WinHttpSetOption before send request--> %d \n"), static_cast<int>(error));
          HttpGetLastError(error);
        }
        // Replaced rather than added, so that a resend carries one Content-Type.
        if (kind_.multipartHeader &&
            !WinHttpAddRequestHeaders(request_, WSTR("Content-Type: multipart/form-data"), static_cast<DWORD>(-1),
                                      WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE)) {
          DWORD error = GetLastError();
          LogError(Line(" :  Error in WinHttpAddRequestHeaders (second Header ) --> %d \n"), static_cast<int>(error));
          HttpGetLastError(error);
        }
        if (!kind_.sendBody(request_)) {
          DWORD error = GetLastError();
          if (error == ERROR_WINHTTP_LOGIN_FAILURE || error == ERROR_WINHTTP_OPERATION_CANCELLED) {
            LogInfo(Line(" : Going to close the request handle and going to resending the data to the server %S \n"),
                    t_.serverName);
            if (!reopened_) {
              if (!Reopen()) return;
              again = true;
              continue;
            }
          }
          Failed(" :  Error in WinHttpSendRequest -> %d \n", error);
          return;
        }
        if (WinHttpReceiveResponse(request_, nullptr)) {
          received = true;
          continue;
        }
        DWORD error = GetLastError();
        if (error == ERROR_WINHTTP_RESEND_REQUEST) {
          LogInfo(Line(" : Resending the data to the server %S \n"), t_.serverName);
          Sleep(settings_.resendWaitMs);
        } else if (error == ERROR_WINHTTP_LOGIN_FAILURE || error == ERROR_WINHTTP_INVALID_SERVER_RESPONSE) {
          LogInfo(Line(" : Going to close the request handle and going to resending the data to the server %S,as the error code received is %d \n"),
                  t_.serverName, static_cast<int>(error));
          if (!reopened_) {
            if (!Reopen()) return;
            again = true;
          }
        } else {
          LogInfo(Line(" :  Error - WinHttpReceiveResponse --> %d \n"), static_cast<int>(error));
          HttpGetLastError(error);
          result_ = static_cast<int>(error);
          return;
        }
      }
      if (!again) break;
    }
    Answer();
  }

  // Steps 9 and 10: headers, status, and the body of a 200 answer.
  void Answer() {
    std::vector<WCHAR> headers;
    if (int error = QueryRawHeaders(request_, headers); error != 0) {
      Failed(" :  Error in WinHttpQueryHeaders --> %d \n", static_cast<DWORD>(error));
      return;
    }
    LogDebug(Line(" :  Header Informations : \n %S \n"), headers.data());
    DWORD status = 0;
    if (!QueryStatusCode(request_, status)) {
      DWORD error = GetLastError();
      LogError(Line(" : WinHttpQueryHeaders failed with the error code while getting http status code %d \n"),
               static_cast<int>(error));
      result_ = static_cast<int>(error);
      return;
    }
    if (status == 407) {
      LogError(Line(" : Proxy Credentials are failed to authenticate %d \n"), static_cast<int>(status));
      result_ = 407;
      return;
    }
    if (status != 200) {
      LogError(Line(" : Failed to post the data to the server %s with http status code %d \n"), Narrow(t_.serverName),
               static_cast<int>(status));
      result_ = static_cast<int>(status);
      return;
    }
    LogInfo(Line(" : Successfully posted the data to the server %S \n"), t_.serverName);
    result_ = 0;
    if (response_ == nullptr) return;
    LogInfo(Line(" : Reading the response sent by the server %S \n"), t_.serverName);
    DWORD contentLength = 0, size = sizeof(contentLength);
    if (!WinHttpQueryHeaders(request_, WINHTTP_QUERY_CONTENT_LENGTH | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &contentLength, &size, WINHTTP_NO_HEADER_INDEX)) {
      DWORD error = GetLastError();
      // An answer without Content-Length (chunked, or ended by closing) is read all the same.
      if (error != ERROR_WINHTTP_HEADER_NOT_FOUND) {
        LogError(Line(" :  WinHttpQueryHeaders failed with the error code while getting content length -> %d \n"),
                 static_cast<int>(error));
        HttpGetLastError(error);
        result_ = static_cast<int>(error);
        return;
      }
    }
    std::string body;
    body.reserve(std::min<DWORD>(contentLength, 1u << 20));
    std::vector<char> piece(8192);
    for (;;) {
      DWORD read = 0;
      if (!WinHttpReadData(request_, piece.data(), static_cast<DWORD>(piece.size()), &read)) {
        DWORD error = GetLastError();
        // A body cut short is not a successful answer.
        LogError(Line(" :  Error in WinHttpReadData --> %d \n"), static_cast<int>(error));
        HttpGetLastError(error);
        result_ = static_cast<int>(error);
        return;
      }
      if (read == 0) break;
      body.append(piece.data(), read);
      std::string text(piece.data(), read);
      LogDebug(Line(" : Received response from server %S: \n %s \n"), t_.serverName, text);
      LogDebug(Line(" :  No Of Bytes -> %d \n"), static_cast<int>(read));
    }
    *response_ = std::move(body);
  }

  void CloseAll() {
    struct Entry {
      HINTERNET* handle;
      const char* text;
    } entries[] = {
        {&request_, " :  Error in WinHttpCloseHandle hRequest --> %d \n"},
        {&connect_, " :  Error in WinHttpCloseHandle hConnect --> %d \n"},
        {&session_, " :  Error in WinHttpCloseHandle hSession --> %d \n"},
    };
    for (Entry& e : entries) {
      if (*e.handle == nullptr) continue;
      if (!WinHttpCloseHandle(*e.handle)) {
        DWORD error = GetLastError();
        LogError(Line(e.text), static_cast<int>(error));
        HttpGetLastError(error);
      }
      *e.handle = nullptr;
    }
  }

  const TransportSettings& settings_;
  Target t_;
  PostKind kind_;
  std::optional<std::string>* response_;
  HINTERNET session_ = nullptr, connect_ = nullptr, request_ = nullptr;
  DWORD flags_ = 0;
  bool reopened_ = false;
  int result_ = 0;
};

}  // namespace

int InternetSendRequestEx(const TransportSettings& settings, BYTE proxyFlag, const char* protocol,
                          const WCHAR* serverName, int port, const WCHAR* proxyServerName, const WCHAR* proxyBypass,
                          const WCHAR* proxyUserName, const WCHAR* proxyPassword, const WCHAR* urlPath,
                          const char* data, std::optional<std::string>* response, int requestType, BYTE keepAlive,
                          DWORD postSize) {
  if (response) response->reset();
  LogDebug("@@@@@@@@ Inside InternetSendRequestEx Method @@@@@@@@ \n");
  LogInfo("InternetSendRequestEx : Harborline Server & Port -> %S : %d \n", serverName, port);
  LogDebug("InternetSendRequestEx : URL to Post -> %S \n", urlPath);
  LogDebug("InternetSendRequestEx : Data to Send -> \n %s \n", data);
  int result = 13;
  if (data != nullptr) {
    DWORD size = (requestType == POST_MULTIPART_DATA && postSize != 0) ? postSize : static_cast<DWORD>(std::strlen(data));
    LogDebug("InternetSendRequestEx : dwPostSize: %d \n", static_cast<int>(size));
    PostKind kind;
    kind.prefix = "InternetSendRequestEx";
    kind.keepAlive = keepAlive != 0;
    kind.timeouts = requestType == POST_DATA;
    kind.multipartHeader = requestType == POST_MULTIPART_DATA;
    kind.sendBody = [data, size](HINTERNET request) {
      return WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, const_cast<char*>(data), size, size, 0) != FALSE;
    };
    Target target{proxyFlag, IsHttps(protocol), serverName, port, proxyServerName, proxyBypass,
                  proxyUserName, proxyPassword, urlPath};
    result = Post(settings, target, std::move(kind), response).Run();
  }
  LogDebug("@@@@@@@@ End Of InternetSendRequestEx Method @@@@@@@@ \n");
  return result;
}

int InternetSendRequestByBitRate(const TransportSettings& settings, BYTE proxyFlag, const char* protocol,
                                 const WCHAR* serverName, int port, const WCHAR* proxyServerName,
                                 const WCHAR* proxyBypass, const WCHAR* proxyUserName, const WCHAR* proxyPassword,
                                 const WCHAR* urlPath, const char* filePath, std::optional<std::string>* response,
                                 DWORD chunkSize) {
  if (response) response->reset();
  LogDebug("***************** Inside InternetSendRequestByBitRate Method ***************** \n");
  LogInfo("InternetSendRequestByBitRate : Harborline Server & Port -> %S : %d \n", serverName, port);
  LogDebug("InternetSendRequestByBitRate : URL to Post -> %S \n", urlPath);
  int result = 13;
  ULONGLONG fileSize = 0;
  if (filePath != nullptr) {
    LogDebug("InternetSendRequestByBitRate : Data to Send -> \n %s \n", filePath);
    GetFileSize64(filePath, fileSize);
    if (fileSize == 0) {
      LogError("InternetSendRequestByBitRate: File Size is zero: %d\n", 0);
    } else if (fileSize > 0x7FFFFFFFull) {
      // The announced length is 32 bits: a larger file would be announced wrongly.
      LogError("InternetSendRequestByBitRate: File Size is too large: %s\n", std::to_string(fileSize));
    } else {
      LogDebug("InternetSendRequestByBitRate : dwPostSize: %d \n", static_cast<int>(fileSize));
      PostKind kind;
      kind.prefix = "InternetSendRequestByBitRate";
      kind.sendBody = [filePath, fileSize, chunkSize](HINTERNET request) {
        FILE* file = hl_fopen(filePath, "rb");
        if (file == nullptr) return true;  // nothing is sent; the receive that follows fails
        std::vector<char> chunk(chunkSize);
        std::string text = "Content-type: multipart/form-data; filesize=\"" + std::to_string(fileSize) + "\"";
        if (text.size() >= kHeaderBufferChars) text.resize(kHeaderBufferChars - 1);
        hl::WString header(text.begin(), text.end());
        LogInfo("InternetSendRequestByBitRate: Header buffer: %s", text);
        bool sent = WinHttpSendRequest(request, header.c_str(), static_cast<DWORD>(-1), WINHTTP_NO_REQUEST_DATA, 0,
                                       static_cast<DWORD>(fileSize), 0) != FALSE;
        DWORD error = GetLastError();
        ULONGLONG remaining = sent ? fileSize : 0;
        while (remaining > 0) {
          size_t want = static_cast<size_t>(std::min<ULONGLONG>(chunkSize, remaining));
          size_t got = want == 0 ? 0 : std::fread(chunk.data(), 1, want, file);
          if (got == 0) break;
          DWORD written = 0;
          if (!WinHttpWriteData(request, chunk.data(), static_cast<DWORD>(got), &written)) break;
          remaining -= got;
        }
        std::fclose(file);
        SetLastError(error);
        return sent;
      };
      Target target{proxyFlag, IsHttps(protocol), serverName, port, proxyServerName, proxyBypass,
                    proxyUserName, proxyPassword, urlPath};
      result = Post(settings, target, std::move(kind), response).Run();
    }
  }
  LogDebug("***************** End Of InternetSendRequestByBitRate Method ***************** \n");
  return result;
}

}  // namespace hl::transport

int InternetSendRequestEx(BYTE proxyFlag, const char* protocol, const WCHAR* serverName, int port,
                          const WCHAR* proxyServerName, const WCHAR* proxyBypass, const WCHAR* proxyUserName,
                          const WCHAR* proxyPassword, const WCHAR* urlPath, const char* data,
                          std::optional<std::string>* response, int requestType, BYTE keepAlive, DWORD postSize) {
  return hl::transport::InternetSendRequestEx(hl::transport::CurrentTransportSettings(), proxyFlag, protocol, serverName,
                                              port, proxyServerName, proxyBypass, proxyUserName, proxyPassword, urlPath,
                                              data, response, requestType, keepAlive, postSize);
}

int InternetSendRequestByBitRate(BYTE proxyFlag, const char* protocol, const WCHAR* serverName, int port,
                                 const WCHAR* proxyServerName, const WCHAR* proxyBypass, const WCHAR* proxyUserName,
                                 const WCHAR* proxyPassword, const WCHAR* urlPath, const char* filePath,
                                 std::optional<std::string>* response, void*, void*, DWORD chunkSize) {
  return hl::transport::InternetSendRequestByBitRate(hl::transport::CurrentTransportSettings(), proxyFlag, protocol,
                                                     serverName, port, proxyServerName, proxyBypass, proxyUserName,
                                                     proxyPassword, urlPath, filePath, response, chunkSize);
}

bool GetFileSize64(const char* path, ULONGLONG& size) {
  size = 0;
  if (path == nullptr) return false;
  HANDLE file = CreateFileA(path, READ_CONTROL, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER value{};
  bool ok = GetFileSizeEx(file, &value) != FALSE;
  CloseHandle(file);
  if (ok && value.QuadPart > 0) size = static_cast<ULONGLONG>(value.QuadPart);
  return ok;
}
