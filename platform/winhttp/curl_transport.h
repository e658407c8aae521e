// One HTTP exchange driven step by step over libcurl, for the WinHTTP request object.
// This is the only part of the stand-in that sees libcurl; it speaks WinHTTP error codes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/core/win_types.h"

namespace hl::platform::winhttp {

inline constexpr DWORD kNoTimeout = 0xFFFFFFFF;

// Everything libcurl needs for one exchange, decided by the request object beforehand.
struct TransferPlan {
  std::string method = "GET";
  std::string url;                    // scheme://host:port/path as the request names it
  std::vector<std::string> resolve;   // "host:port:address" entries (the machine's hosts)
  std::string proxy;                  // "" for a direct exchange, else "http://address:port"
  std::string proxyUser;              // Basic credentials for the proxy, when set
  std::string proxyPassword;
  bool proxyCredentials = false;
  std::string userAgent;
  std::vector<std::string> headers;   // "Name: value" lines; "Name:" removes a default header
  bool hasBody = false;               // a Content-Length is sent (POST, or a total length > 0)
  uint64_t totalLength = 0;
  bool verifyPeer = true;
  bool verifyHost = true;
  DWORD secureProtocols = 0;          // WINHTTP_FLAG_SECURE_PROTOCOL_* mask; 0 = library default
  DWORD connectTimeoutMs = 60000;
  DWORD sendTimeoutMs = 30000;
  DWORD receiveTimeoutMs = 30000;
  DWORD responseTimeoutMs = 90000;
  bool followRedirects = true;
  bool redirectsHttpsOnly = false;    // an https origin may not be redirected to http
  long maxRedirects = 10;
};

// The final response's status line and headers, as received.
struct ResponseHead {
  std::string version = "HTTP/1.1";
  DWORD status = 0;
  std::string reason;
  std::string statusLine;
  std::vector<std::pair<std::string, std::string>> headers;  // name, value (trimmed)
  std::vector<std::string> rawLines;                         // header lines without CRLF
};

class CurlTransfer {
 public:
  explicit CurlTransfer(TransferPlan plan);
  ~CurlTransfer();
  CurlTransfer(const CurlTransfer&) = delete;
  CurlTransfer& operator=(const CurlTransfer&) = delete;

  // Connects (through the proxy and TLS as configured) and starts the request with the first
  // `optional` bytes of its body. 0 or an ERROR_WINHTTP_* code.
  DWORD Start(std::vector<char> optional);
  // Sends more of the body; returns once libcurl has taken all of it. 0 or an error code.
  DWORD Write(const void* data, size_t length);
  // Waits for the final response's headers. 0 or an error code.
  DWORD AwaitHeaders();
  const ResponseHead& Head() const;
  // Bytes readable now, waiting for some when none are buffered and the body has not ended.
  DWORD Available(size_t& count);
  // Copies up to `max` body bytes; 0 bytes at the end of the body.
  DWORD Read(void* buffer, size_t max, size_t& got);
  // The URL of the last exchange (after redirects).
  std::string EffectiveUrl() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace hl::platform::winhttp
