// Helpers for the WinHTTP stand-in's tests: handles closed in reverse order, whole-body reads,
// header queries, and the peers shared by the tests of one process (started on first use).
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/win32.h"
#include "tests/support/peers.h"

namespace hl::test {

inline std::u16string Widen(const std::string& text) { return std::u16string(text.begin(), text.end()); }
inline std::string NarrowAscii(const std::u16string& text) { return std::string(text.begin(), text.end()); }

struct Exchange {
  HINTERNET session = nullptr, connect = nullptr, request = nullptr;
  Exchange() = default;
  Exchange(const Exchange&) = delete;
  Exchange& operator=(const Exchange&) = delete;
  ~Exchange() {
    if (request) WinHttpCloseHandle(request);
    if (connect) WinHttpCloseHandle(connect);
    if (session) WinHttpCloseHandle(session);
  }
};

struct OpenArgs {
  std::string host = "127.0.0.1";
  int port = 0;
  std::string verb = "GET";
  std::string path = "/";
  DWORD flags = WINHTTP_FLAG_REFRESH;
  DWORD access = WINHTTP_ACCESS_TYPE_NO_PROXY;
  std::string proxy;
  std::string bypass;
};

inline std::unique_ptr<Exchange> OpenExchange(const OpenArgs& a) {
  auto e = std::make_unique<Exchange>();
  std::u16string proxy = Widen(a.proxy), bypass = Widen(a.bypass);
  e->session = WinHttpOpen(WSTR("HarborlineAgent"), a.access, a.proxy.empty() ? nullptr : proxy.c_str(),
                           a.bypass.empty() ? nullptr : bypass.c_str(), 0);
  if (!e->session) return e;
  e->connect = WinHttpConnect(e->session, Widen(a.host).c_str(), static_cast<INTERNET_PORT>(a.port), 0);
  if (!e->connect) return e;
  e->request = WinHttpOpenRequest(e->connect, Widen(a.verb).c_str(), Widen(a.path).c_str(), nullptr, nullptr,
                                  nullptr, a.flags);
  return e;
}

// Sends (no body) and receives; 0 or the error of the failing call.
inline DWORD SendAndReceive(HINTERNET request) {
  if (!WinHttpSendRequest(request, nullptr, 0, nullptr, 0, 0, 0)) return GetLastError();
  if (!WinHttpReceiveResponse(request, nullptr)) return GetLastError();
  return 0;
}

// Reads the body to its end through QueryDataAvailable/ReadData; `error` gets a failure.
inline std::string ReadBody(HINTERNET request, DWORD* error = nullptr, DWORD* largestAvailable = nullptr) {
  std::string body;
  if (error) *error = 0;
  for (;;) {
    DWORD available = 0;
    if (!WinHttpQueryDataAvailable(request, &available)) {
      if (error) *error = GetLastError();
      return body;
    }
    if (largestAvailable && available > *largestAvailable) *largestAvailable = available;
    if (available == 0) return body;
    std::string piece(available, '\0');
    DWORD read = 0;
    if (!WinHttpReadData(request, piece.data(), available, &read)) {
      if (error) *error = GetLastError();
      return body;
    }
    if (read == 0) return body;
    body.append(piece.data(), read);
  }
}

inline std::u16string QueryText(HINTERNET request, DWORD level, DWORD* error = nullptr) {
  DWORD size = 0;
  if (error) *error = 0;
  if (WinHttpQueryHeaders(request, level, nullptr, nullptr, &size, nullptr) || GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
    if (error) *error = GetLastError();
    return {};
  }
  std::u16string text(size / sizeof(WCHAR), u'\0');
  if (!WinHttpQueryHeaders(request, level, nullptr, text.data(), &size, nullptr)) {
    if (error) *error = GetLastError();
    return {};
  }
  text.resize(size / sizeof(WCHAR));
  return text;
}

inline DWORD QueryNumber(HINTERNET request, DWORD level, DWORD* error = nullptr) {
  DWORD value = 0, size = sizeof(value);
  if (error) *error = 0;
  if (!WinHttpQueryHeaders(request, level | WINHTTP_QUERY_FLAG_NUMBER, nullptr, &value, &size, nullptr) && error)
    *error = GetLastError();
  return value;
}

// Peers shared by the tests of one process; a peer that cannot start fails the test.
inline HttpTestServer* SharedHttpServer() {
  static std::unique_ptr<HttpTestServer> server;
  static std::string error;
  if (!server && error.empty()) {
    server = std::make_unique<HttpTestServer>();
    if (!server->Start(error)) server.reset();
  }
  if (!server) ADD_FAILURE() << "test HTTP server unavailable: " << error;
  return server.get();
}

inline NginxPeer* SharedNginx() {
  static std::unique_ptr<NginxPeer> nginx;
  static std::string error;
  if (!nginx && error.empty()) {
    nginx = std::make_unique<NginxPeer>();
    if (!nginx->Start(error)) nginx.reset();
  }
  if (!nginx) ADD_FAILURE() << "nginx unavailable: " << error;
  return nginx.get();
}

inline ProxyPeer* SharedProxy(const std::string& user, const std::string& password) {
  static std::unique_ptr<ProxyPeer> proxy;
  static std::string error;
  if (!proxy && error.empty()) {
    proxy = std::make_unique<ProxyPeer>();
    if (!proxy->Start(user, password, error)) proxy.reset();
  }
  if (!proxy) ADD_FAILURE() << "squid unavailable: " << error;
  return proxy.get();
}

}  // namespace hl::test
