// Paced downloads: InternetGetRequestByBitrate fetching a file from nginx on loopback at
// 64, 256 and 1024 KB/s; the achieved rate beside the target of one block of rate x 500
// bytes per 600 ms (rate x 500 / 0.6 bytes per second), and their ratio.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/peers.h"
#include "tests/support/temp_machine.h"
#include "transport/download.h"

int main() {
  hl::test::TempMachine machine;
  machine.WriteMachineJson({{"os", {{"platformId", 2}, {"majorVersion", 10}, {"minorVersion", 0}}}});
  hl::test::NginxPeer nginx;
  std::string error;
  if (!nginx.Start(error)) {
    std::fprintf(stderr, "bench_paced_download: %s\n", error.c_str());
    return 1;
  }
  bool ok = true;
  std::printf("paced download from nginx on loopback, about 10 blocks per rate\n");
  for (DWORD rate : {64u, 256u, 1024u}) {
    const size_t size = static_cast<size_t>(rate) * 500 * 10;
    std::string name = "paced" + std::to_string(rate) + ".bin";
    {
      std::ofstream out(nginx.root() / name, std::ios::binary);
      std::vector<char> data(size, 'p');
      out.write(data.data(), static_cast<std::streamsize>(data.size()));
    }
    hl::transport::DownloadSettings settings;
    settings.agentInstallDir = "C:\\HL\\";
    settings.dataTransferRateKBps = rate;
    std::u16string url = u"/" + std::u16string(name.begin(), name.end());
    hl::transport::DownloadTarget t;
    t.serverName = u"127.0.0.1";
    t.port = nginx.httpPort();
    t.urlPath = url.c_str();
    t.destFilePath = u"C:\\Bench\\paced.bin";
    auto start = std::chrono::steady_clock::now();
    int result = hl::transport::InternetGetRequestByBitrate(settings, t, nullptr);
    double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (result != 0) {
      std::fprintf(stderr, "bench_paced_download: %u KB/s failed with %d\n", rate, result);
      ok = false;
      continue;
    }
    double achieved = static_cast<double>(size) / took / 1000.0;
    double target = rate * 500 / 0.6 / 1000.0;
    std::printf("  rate %4u KB/s: achieved %8.1f kB/s, target %8.1f kB/s, ratio %.2f\n", rate, achieved, target,
                achieved / target);
  }
  return ok ? 0 : 1;
}
