// The agent's HTTP transport over WinHTTP: the request core shared by every exchange
// (sessions, retries, header and status queries, error texts) and the uploads (POST of a
// buffer, POST of a whole file streamed in chunks).
#pragma once

#include <optional>
#include <string>

#include "agent/machine/text.h"
#include "platform/win32.h"

// Request types of the transport.
inline constexpr int GET_DATA = 11001;
inline constexpr int POST_DATA = 11002;
inline constexpr int DOWNLOAD_FILE = 11003;
inline constexpr int POST_DATA_NO_TIMEOUT = 11004;
inline constexpr int POST_MULTIPART_DATA = 11005;
inline constexpr int POST_FILE = 11006;

// The value of a handle field that holds no open handle.
inline const HINTERNET kNoHandle = reinterpret_cast<HINTERNET>(static_cast<intptr_t>(-1));

// The three WinHTTP handles of one exchange and its status; owned by the caller.
struct HttpRequestHandles {
  HINTERNET hSession = kNoHandle;
  HINTERNET hConnect = kNoHandle;
  HINTERNET hRequest = kNoHandle;
  int requestMode = 0;        // 0 plain GET, 1 GET with extraHeader (ranged download), 2 HEAD
  hl::WString extraHeader;    // the one header line of mode 1
  int statusCode = 0;
};

// If-Modified-Since, process-wide: off unless the download code switches it on.
extern int gv_ifModifiedSinceEnabled;
extern std::optional<hl::WString> gv_ifModifiedSinceTime;

// Opens session, connection and GET/HEAD request with the agent's proxy, TLS and time-out
// settings, sends it with the retry rules and reads status and headers. 407 when the proxy
// refused the credentials; else 0 or the last WinHTTP error met on the way. `reserved` is ignored.
int GetInternetRequestHandle(int proxyFlag, const char* protocol, const WCHAR* serverName, int port,
                             const WCHAR* proxyServerName, const WCHAR* proxyBypass, const WCHAR* proxyUserName,
                             const WCHAR* proxyPassword, const WCHAR* objectPath, const WCHAR* destFilePath,
                             void* reserved, int requestType, BYTE keepAlive, HttpRequestHandles& handles);

// Closes hRequest, hConnect and hSession (those open) and marks them closed.
void CloseRequestHandles(HttpRequestHandles& handles);

// Restricts the session to TLS 1.0-1.2 on Windows 7 and 8; always 1.
int SetSecureProtocols(HINTERNET hSession);

// The response's Last-Modified text; 0 or the error code.
int GetFilelastmodifiedTime(HINTERNET hRequest, hl::WString& lastModified);

// 0 when the file exists, 2 when it does not, 13 without a path.
int CheckFileExists(const WCHAR* path);

// Logs the text of a WinHTTP error code (other codes through the system's texts).
void HttpGetLastError(DWORD code);

// POSTs `data` (types POST_DATA, POST_DATA_NO_TIMEOUT, POST_MULTIPART_DATA). When `response`
// is given, a 200 answer's body is read into it whole. 0 on 200, 407 on a proxy refusal, the
// HTTP status of any other answer, a WinHTTP error, or 13 without data.
int InternetSendRequestEx(BYTE proxyFlag, const char* protocol, const WCHAR* serverName, int port,
                          const WCHAR* proxyServerName, const WCHAR* proxyBypass, const WCHAR* proxyUserName,
                          const WCHAR* proxyPassword, const WCHAR* urlPath, const char* data,
                          std::optional<std::string>* response, int requestType, BYTE keepAlive, DWORD postSize);

// POSTs a whole file, read and written `chunkSize` bytes at a time. Results as for
// InternetSendRequestEx; 13 without a file path or for an empty (or 2 GiB and larger) file.
int InternetSendRequestByBitRate(BYTE proxyFlag, const char* protocol, const WCHAR* serverName, int port,
                                 const WCHAR* proxyServerName, const WCHAR* proxyBypass, const WCHAR* proxyUserName,
                                 const WCHAR* proxyPassword, const WCHAR* urlPath, const char* filePath,
                                 std::optional<std::string>* response, void* ignored1, void* ignored2,
                                 DWORD chunkSize);

// The size of an existing file that can be opened exclusively; false (size 0) otherwise.
bool GetFileSize64(const char* path, ULONGLONG& size);
