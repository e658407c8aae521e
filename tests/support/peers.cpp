// How: each peer is a child process started with fork/exec in its own temporary folder
// (configuration, logs, pid file, certificates). The child asks the kernel for SIGKILL when
// the test process dies, so no peer outlives a crashed test; a clean stop sends SIGTERM and
// waits. Readiness is "the port accepts connections" (nginx, squid) or the "PORT <n>"
// line of the scriptable server.
#include "tests/support/peers.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "tests/support/temp_machine.h"

#ifndef HL_TEST_SUPPORT_DIR
#error HL_TEST_SUPPORT_DIR must name tests/support
#endif

namespace hl::test {
namespace {

std::string Python() { return access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3"; }

std::string Tail(const std::filesystem::path& file) {
  std::string text = ReadHostFile(file);
  return text.size() > 2000 ? text.substr(text.size() - 2000) : text;
}

void WriteText(const std::filesystem::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

// Runs a command to completion; its output goes to `log`.
bool RunCommand(const std::vector<std::string>& argv, const std::filesystem::path& log, std::string& error) {
  PeerProcess process;
  if (!process.Start(argv, log, error)) return false;
  for (int i = 0; i < 600 && process.Running(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  if (process.Running()) {
    error = argv[0] + " did not finish";
    return false;
  }
  return true;
}

// Certificates for the TLS servers: self-signed for localhost/127.0.0.1, for another host
// name, and one whose validity ended in 2020.
bool MakeCertificates(const std::filesystem::path& dir, std::string& error) {
  std::filesystem::path log = dir / "openssl.log";
  auto selfSigned = [&](const std::string& name, const std::string& cn, const std::string& san) {
    return RunCommand({"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout",
                       (dir / (name + ".key")).string(), "-out", (dir / (name + ".pem")).string(), "-days", "30",
                       "-subj", "/CN=" + cn, "-addext", "subjectAltName=" + san},
                      log, error) &&
           std::filesystem::exists(dir / (name + ".pem"));
  };
  if (!selfSigned("good", "localhost", "DNS:localhost,IP:127.0.0.1") ||
      !selfSigned("wronghost", "wrong.invalid", "DNS:wrong.invalid")) {
    error = "openssl could not make the test certificates: " + error + Tail(log);
    return false;
  }
  std::filesystem::create_directories(dir / "ca");
  WriteText(dir / "ca" / "index.txt", "");
  WriteText(dir / "ca" / "serial", "01\n");
  WriteText(dir / "ca.cnf",
            "[ca]\ndefault_ca = c\n[c]\ndatabase = " + (dir / "ca" / "index.txt").string() +
                "\nnew_certs_dir = " + (dir / "ca").string() + "\nserial = " + (dir / "ca" / "serial").string() +
                "\ndefault_md = sha256\npolicy = p\nunique_subject = no\n[p]\ncommonName = supplied\n");
  bool ok = RunCommand({"openssl", "req", "-new", "-newkey", "rsa:2048", "-nodes", "-keyout",
                        (dir / "expired.key").string(), "-out", (dir / "expired.csr").string(), "-subj", "/CN=localhost"},
                       log, error) &&
            RunCommand({"openssl", "ca", "-batch", "-config", (dir / "ca.cnf").string(), "-selfsign", "-keyfile",
                        (dir / "expired.key").string(), "-in", (dir / "expired.csr").string(), "-out",
                        (dir / "expired.pem").string(), "-startdate", "20200101000000Z", "-enddate", "20200201000000Z"},
                       log, error) &&
            std::filesystem::exists(dir / "expired.pem") && std::filesystem::file_size(dir / "expired.pem") > 0;
  if (!ok) error = "openssl could not make the expired certificate: " + error + Tail(log);
  return ok;
}

bool WaitAll(PeerProcess& process, const std::vector<int>& ports, const std::string& name,
             const std::filesystem::path& log, std::string& error) {
  for (int port : ports) {
    bool up = false;
    for (int i = 0; i < 100 && !up && process.Running(); ++i) up = WaitForListening(port, std::chrono::milliseconds(100));
    if (!up || !process.Running()) {
      error = name + " did not start listening on 127.0.0.1:" + std::to_string(port) + ": " + Tail(log);
      return false;
    }
  }
  return true;
}

}  // namespace

bool PeerProcess::Start(const std::vector<std::string>& argv, const std::filesystem::path& output, std::string& error) {
  pid_t parent = getpid();
  int fd = open(output.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  if (fd < 0) {
    error = "cannot create " + output.string();
    return false;
  }
  pid_t pid = fork();
  if (pid < 0) {
    close(fd);
    error = "fork failed";
    return false;
  }
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    dup2(fd, 1);
    dup2(fd, 2);
    int null = open("/dev/null", O_RDONLY);
    if (null >= 0) dup2(null, 0);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    dprintf(2, "cannot run %s\n", args[0]);
    _exit(127);
  }
  close(fd);
  pid_ = pid;
  return true;
}

bool PeerProcess::Running() {
  if (pid_ <= 0) return false;
  int status = 0;
  if (waitpid(pid_, &status, WNOHANG) == pid_) {
    pid_ = -1;
    return false;
  }
  return true;
}

void PeerProcess::Stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  for (int i = 0; i < 100; ++i) {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

int FreePort() {
  int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  socklen_t len = sizeof(addr);
  int port = 0;
  if (bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0 &&
      getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
    port = ntohs(addr.sin_port);
  close(s);
  return port;
}

bool WaitForListening(int port, std::chrono::milliseconds limit) {
  auto end = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < end) {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    bool ok = connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0;
    close(s);
    if (ok) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  return false;
}

std::filesystem::path MakeTempDir(const std::string& prefix) {
  std::random_device rd;
  for (;;) {
    auto dir = std::filesystem::temp_directory_path() / (prefix + std::to_string(rd()) + std::to_string(rd()));
    std::error_code ec;
    if (std::filesystem::create_directory(dir, ec)) return dir;
  }
}

// ---- the scriptable server ----
HttpTestServer::~HttpTestServer() {
  process_.Stop();
  std::error_code ec;
  if (!dir_.empty()) std::filesystem::remove_all(dir_, ec);
}

bool HttpTestServer::Start(std::string& error, const std::string& host) {
  host_ = host;
  dir_ = MakeTempDir("hl-httppeer-");
  std::filesystem::path log = dir_ / "server.log";
  std::string script = std::string(HL_TEST_SUPPORT_DIR) + "/http_peer.py";
  if (!process_.Start({Python(), script, "--host", host_, "--record", (dir_ / "records.jsonl").string()}, log, error)) return false;
  for (int i = 0; i < 400; ++i) {
    std::string text = ReadHostFile(log);
    if (size_t at = text.find("PORT "); at != std::string::npos && text.find('\n', at) != std::string::npos) {
      port_ = std::atoi(text.c_str() + at + 5);
      if (port_ > 0) return true;
    }
    if (!process_.Running()) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  error = "the test HTTP server (python3 " + script + ") did not start: " + Tail(log);
  return false;
}

std::vector<nlohmann::json> HttpTestServer::Records() const {
  std::vector<nlohmann::json> out;
  std::istringstream in(ReadHostFile(dir_ / "records.jsonl"));
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) out.push_back(nlohmann::json::parse(line, nullptr, false));
  return out;
}

void HttpTestServer::ClearRecords() const { WriteText(dir_ / "records.jsonl", ""); }

std::string RecordHeader(const nlohmann::json& record, const std::string& name, int* count) {
  std::string value;
  int seen = 0;
  for (const auto& header : record.value("headers", nlohmann::json::array())) {
    std::string n = header[0].get<std::string>();
    if (n.size() == name.size() && strncasecmp(n.c_str(), name.c_str(), n.size()) == 0) {
      if (seen++ == 0) value = header[1].get<std::string>();
    }
  }
  if (count) *count = seen;
  return value;
}

// ---- nginx ----
NginxPeer::~NginxPeer() {
  process_.Stop();
  std::error_code ec;
  if (!dir_.empty()) std::filesystem::remove_all(dir_, ec);
}

bool NginxPeer::Start(std::string& error) {
  dir_ = MakeTempDir("hl-nginx-");
  root_ = dir_ / "www";
  std::filesystem::create_directories(root_);
  std::filesystem::create_directories(dir_ / "tmp");
  if (!MakeCertificates(dir_, error)) return false;
  http_ = FreePort();
  tlsGood_ = FreePort();
  tlsWrongHost_ = FreePort();
  tlsExpired_ = FreePort();
  std::string d = dir_.string();
  auto tls = [&](int port, const std::string& name) {
    return "  server { listen 127.0.0.1:" + std::to_string(port) + " ssl; root " + root_.string() +
           "; ssl_certificate " + d + "/" + name + ".pem; ssl_certificate_key " + d + "/" + name + ".key; }\n";
  };
  // One process in the foreground: it keeps the user it was started as and writes only here.
  WriteText(dir_ / "nginx.conf",
            "daemon off;\nmaster_process off;\nworker_processes 1;\npid " + d + "/nginx.pid;\nerror_log " + d +
                "/error.log;\nevents { worker_connections 64; }\nhttp {\n  ssl_protocols TLSv1.2 TLSv1.3;\n  access_log " + d +
                "/access.log;\n  log_format ranges '$request_method $uri $status \"$http_range\"';\n  access_log " + d +
                "/ranges.log ranges;\n  log_format via '$request_method $uri $status \"$http_via\"';\n  access_log " + d +
                "/via.log via;\n  default_type application/octet-stream;\n  client_body_temp_path " + d +
                "/tmp/body;\n  proxy_temp_path " + d + "/tmp/proxy;\n  fastcgi_temp_path " + d +
                "/tmp/fastcgi;\n  uwsgi_temp_path " + d + "/tmp/uwsgi;\n  scgi_temp_path " + d +
                "/tmp/scgi;\n  server { listen 127.0.0.1:" + std::to_string(http_) + "; root " + root_.string() +
                (rateLimit_.empty() ? "" : "; limit_rate " + rateLimit_) + "; }\n" + tls(tlsGood_, "good") +
                tls(tlsWrongHost_, "wronghost") + tls(tlsExpired_, "expired") + "}\n");
  std::filesystem::path log = dir_ / "nginx.out";
  std::string exe = access("/usr/sbin/nginx", X_OK) == 0 ? "/usr/sbin/nginx" : "nginx";
  if (!process_.Start({exe, "-p", d, "-c", (dir_ / "nginx.conf").string(), "-e", d + "/error.log"}, log, error))
    return false;
  if (!WaitAll(process_, {http_, tlsGood_, tlsWrongHost_, tlsExpired_}, "nginx", log, error)) {
    error += Tail(dir_ / "error.log");
    return false;
  }
  return true;
}

// ---- squid ----
ProxyPeer::~ProxyPeer() {
  process_.Stop();
  std::error_code ec;
  if (!dir_.empty()) std::filesystem::remove_all(dir_, ec);
}

bool ProxyPeer::Start(const std::string& user, const std::string& password, std::string& error) {
  dir_ = MakeTempDir("hl-proxy-");
  port_ = FreePort();
  std::string d = dir_.string();
  std::filesystem::path hashLog = dir_ / "hash.out";
  if (!RunCommand({"openssl", "passwd", "-apr1", password}, hashLog, error)) return false;
  std::string hash = ReadHostFile(hashLog);
  while (!hash.empty() && (hash.back() == '\n' || hash.back() == '\r')) hash.pop_back();
  WriteText(dir_ / "passwd", user + ":" + hash + "\n");
  std::string helper = "/usr/lib/squid/basic_ncsa_auth";
  // Run as root, squid works as its own user: that user must reach this folder.
  bool root = geteuid() == 0;
  std::string config = "http_port 127.0.0.1:" + std::to_string(port_) + "\nauth_param basic program " + helper + " " +
                       d + "/passwd\nauth_param basic realm harborline-test\nacl authed proxy_auth REQUIRED\n"
                       "http_access allow authed\nhttp_access deny all\ncache deny all\npid_filename " + d +
                       "/squid.pid\naccess_log stdio:" + d + "/access.log\ncache_log " + d + "/cache.log\n"
                       "coredump_dir " + d + "\nshutdown_lifetime 0 seconds\ndns_nameservers 127.0.0.1\n";
  if (root) {
    config += "cache_effective_user proxy\n";
    if (std::system(("chown -R proxy " + d).c_str()) != 0) {
      error = "cannot hand " + d + " to the proxy user";
      return false;
    }
  }
  WriteText(dir_ / "squid.conf", config);
  if (root) std::system(("chown proxy " + d + "/squid.conf").c_str());
  std::filesystem::path log = dir_ / "squid.out";
  std::string exe = access("/usr/sbin/squid", X_OK) == 0 ? "/usr/sbin/squid" : "squid";
  if (!process_.Start({exe, "-N", "-f", (dir_ / "squid.conf").string()}, log, error)) return false;
  if (!WaitAll(process_, {port_}, "squid", log, error)) {
    error += Tail(dir_ / "cache.log");
    return false;
  }
  return true;
}

}  // namespace hl::test
