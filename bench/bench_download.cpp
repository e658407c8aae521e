// Download throughput: a 256 MiB file served by nginx on loopback fetched with
// InternetGetRequestEx (plain and, with DownloadMode 1, resumable) beside `curl -o` fetching
// the same file in the same run; the ratio of the best of three of each.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "agent/registry/registry.h"
#include "tests/support/peers.h"
#include "tests/support/temp_machine.h"
#include "transport/download.h"

namespace {

constexpr size_t kFileSize = 256u << 20;
constexpr int kRuns = 3;

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

double Fetch(hl::transport::DownloadSettings& settings, int port, bool& ok) {
  hl::transport::DownloadTarget t;
  t.serverName = u"127.0.0.1";
  t.port = port;
  t.urlPath = u"/big.bin";
  t.destFilePath = u"C:\\Bench\\big.bin";
  auto start = std::chrono::steady_clock::now();
  int result = hl::transport::InternetGetRequestEx(settings, t, nullptr);
  double took = Seconds(std::chrono::steady_clock::now() - start);
  if (result != 0) std::fprintf(stderr, "bench_download: the download failed with %d\n", result);
  ok = ok && result == 0;
  return took;
}

}  // namespace

int main() {
  hl::test::TempMachine machine;
  machine.WriteMachineJson({{"os", {{"platformId", 2}, {"majorVersion", 10}, {"minorVersion", 0}}}});
  hl::test::NginxPeer nginx;
  std::string error;
  if (!nginx.Start(error)) {
    std::fprintf(stderr, "bench_download: %s\n", error.c_str());
    return 1;
  }
  {
    std::ofstream out(nginx.root() / "big.bin", std::ios::binary);
    std::vector<char> block(1 << 20);
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 131 % 251);
    for (size_t written = 0; written < kFileSize; written += block.size()) out.write(block.data(), block.size());
  }
  hl::transport::DownloadSettings settings;
  settings.agentInstallDir = "C:\\HL\\";
  bool ok = true;
  double plain = 1e9, resumable = 1e9, curlBest = 1e9;
  for (int run = 0; run < kRuns; ++run) plain = std::min(plain, Fetch(settings, nginx.httpPort(), ok));
  writeValue(HKEY_LOCAL_MACHINE, kAgentSettingsKey, "DownloadMode", "1", REG_DWORD);
  for (int run = 0; run < kRuns; ++run) resumable = std::min(resumable, Fetch(settings, nginx.httpPort(), ok));
  std::string target = (machine.root() / "curl.bin").string();
  std::string command = "curl -s -o '" + target + "' http://127.0.0.1:" + std::to_string(nginx.httpPort()) + "/big.bin";
  for (int run = 0; run < kRuns; ++run) {
    auto start = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0) {
      std::fprintf(stderr, "bench_download: curl failed\n");
      return 1;
    }
    curlBest = std::min(curlBest, Seconds(std::chrono::steady_clock::now() - start));
  }
  const double mib = static_cast<double>(kFileSize) / (1 << 20);
  std::printf("download of %.0f MiB from nginx on loopback (best of %d)\n", mib, kRuns);
  std::printf("  InternetGetRequestEx (plain)       %8.3f s  %8.1f MiB/s\n", plain, mib / plain);
  std::printf("  InternetGetRequestEx (resumable)   %8.3f s  %8.1f MiB/s\n", resumable, mib / resumable);
  std::printf("  curl -o file                       %8.3f s  %8.1f MiB/s\n", curlBest, mib / curlBest);
  std::printf("  throughput ratio (plain / curl)     %.2f\n", curlBest / plain);
  std::printf("  throughput ratio (resumable / curl) %.2f\n", curlBest / resumable);
  return ok ? 0 : 1;
}
