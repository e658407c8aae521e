// Real network peers for the transport tests, started and stopped by the tests themselves:
// the scriptable loopback server (tests/support/http_peer.py), nginx serving static files and
// TLS with certificates made at run time, and squid as a forward proxy with Basic
// authentication. Every peer listens on 127.0.0.1 at a port picked free at run time and dies
// with the test process (also when it crashes). Start() returns false with a message saying
// why; tests then fail with that message.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace hl::test {

// A child process with its output in a file, stopped (TERM, then KILL) on destruction.
class PeerProcess {
 public:
  PeerProcess() = default;
  ~PeerProcess() { Stop(); }
  PeerProcess(const PeerProcess&) = delete;
  PeerProcess& operator=(const PeerProcess&) = delete;
  bool Start(const std::vector<std::string>& argv, const std::filesystem::path& output, std::string& error);
  bool Running();
  void Stop();

 private:
  pid_t pid_ = -1;
};

// A TCP port on 127.0.0.1 that nothing listens on at the time of the call.
int FreePort();
// Waits until 127.0.0.1:port accepts connections.
bool WaitForListening(int port, std::chrono::milliseconds limit);
// A fresh directory under the system's temporary folder, removed by the owner.
std::filesystem::path MakeTempDir(const std::string& prefix);

// The scriptable server; every request it receives is kept as a JSON record.
class HttpTestServer {
 public:
  ~HttpTestServer();
  // Listens on `host`: "127.0.0.1" or "::1".
  bool Start(std::string& error, const std::string& host = "127.0.0.1");
  int port() const { return port_; }
  std::string BaseUrl() const {
    return "http://" + (host_.find(':') != std::string::npos ? "[" + host_ + "]" : host_) + ":" + std::to_string(port_);
  }
  // Every request received so far: {"method","target","version","headers":[[n,v]...],"body_length","body"}.
  std::vector<nlohmann::json> Records() const;
  void ClearRecords() const;

 private:
  std::filesystem::path dir_;
  std::string host_ = "127.0.0.1";
  PeerProcess process_;
  int port_ = 0;
};

// The value of header `name` in a record, or "" (and the count of such headers through `count`).
std::string RecordHeader(const nlohmann::json& record, const std::string& name, int* count = nullptr);

// nginx with a static root, plain HTTP and three TLS servers offering TLS 1.2 and 1.3
// (self-signed for "localhost", for another host name, expired).
class NginxPeer {
 public:
  ~NginxPeer();
  // Limits each answer of the plain HTTP server to `rate` bytes per second (nginx syntax, e.g.
  // "16m"); set before Start.
  void SetRateLimit(const std::string& rate) { rateLimit_ = rate; }
  bool Start(std::string& error);
  const std::filesystem::path& root() const { return root_; }  // the static files
  int httpPort() const { return http_; }
  int tlsGoodPort() const { return tlsGood_; }
  int tlsWrongHostPort() const { return tlsWrongHost_; }
  int tlsExpiredPort() const { return tlsExpired_; }
  // One line per request served: method, path, status and the quoted Range header ("-" without).
  std::filesystem::path rangesLog() const { return dir_ / "ranges.log"; }
  // One line per request served: method, path, status and the quoted Via header ("-" without).
  std::filesystem::path viaLog() const { return dir_ / "via.log"; }

 private:
  std::filesystem::path dir_, root_;
  std::string rateLimit_;
  PeerProcess process_;
  int http_ = 0, tlsGood_ = 0, tlsWrongHost_ = 0, tlsExpired_ = 0;
};

// squid as a forward proxy requiring Basic authentication with the given credentials.
class ProxyPeer {
 public:
  ~ProxyPeer();
  bool Start(const std::string& user, const std::string& password, std::string& error);
  int port() const { return port_; }

 private:
  std::filesystem::path dir_;
  PeerProcess process_;
  int port_ = 0;
};

}  // namespace hl::test
