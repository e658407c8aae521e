// Upload throughput and memory: a 256 MiB file posted with InternetSendRequestByBitRate in
// 64 KiB chunks to the loopback test server, beside `curl --data-binary @file` to the same
// server in the same run; and the upload's peak resident memory above what the process held
// before it (it should stay near one chunk, not the file size).
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/peers.h"
#include "tests/support/temp_machine.h"
#include "transport/transport_settings.h"

namespace {

constexpr size_t kFileSize = 256u << 20;
constexpr DWORD kChunk = 64 * 1024;
constexpr int kRuns = 3;

long StatusKb(const char* field) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + std::string(field).size());
  return -1;
}

// Starts a new peak (VmHWM) measurement from the current resident size.
void ResetPeak() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
}

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

}  // namespace

int main() {
  hl::test::TempMachine machine;
  hl::test::HttpTestServer server;
  std::string error;
  if (!server.Start(error)) {
    std::fprintf(stderr, "bench_upload: %s\n", error.c_str());
    return 1;
  }
  std::filesystem::path dir = hl::test::MakeTempDir("hl-bench-upload-");
  std::filesystem::path file = dir / "payload.bin";
  {
    std::ofstream out(file, std::ios::binary);
    std::vector<char> block(1 << 20);
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 131 % 251);
    for (size_t written = 0; written < kFileSize; written += block.size()) out.write(block.data(), block.size());
  }
  server.ClearRecords();

  hl::transport::TransportSettings settings;
  std::u16string url = u"/upload";
  double best = 1e9;
  long peakAboveBaseKb = 0, baseAtPeakKb = 0;
  for (int run = 0; run < kRuns; ++run) {
    long baseKb = StatusKb("VmRSS:");
    ResetPeak();
    auto start = std::chrono::steady_clock::now();
    int result = hl::transport::InternetSendRequestByBitRate(settings, 0, "http", u"127.0.0.1", server.port(), nullptr,
                                                             nullptr, nullptr, nullptr, url.c_str(),
                                                             file.string().c_str(), nullptr, kChunk);
    double took = Seconds(std::chrono::steady_clock::now() - start);
    long peakKb = StatusKb("VmHWM:");
    if (result != 0) {
      std::fprintf(stderr, "bench_upload: the upload failed with %d\n", result);
      return 1;
    }
    best = std::min(best, took);
    if (peakKb - baseKb >= peakAboveBaseKb) {
      peakAboveBaseKb = peakKb - baseKb;
      baseAtPeakKb = baseKb;
    }
  }

  std::string command = "curl -s -o /dev/null -H 'Expect:' --data-binary @" + file.string() + " " + server.BaseUrl() +
                        "/upload";
  double curlBest = 1e9;
  for (int run = 0; run < kRuns; ++run) {
    auto start = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0) {
      std::fprintf(stderr, "bench_upload: curl failed\n");
      return 1;
    }
    curlBest = std::min(curlBest, Seconds(std::chrono::steady_clock::now() - start));
  }
  auto records = server.Records();
  size_t complete = 0;
  for (const auto& r : records) complete += r.value("body_length", 0ull) == kFileSize ? 1 : 0;

  const double mib = static_cast<double>(kFileSize) / (1 << 20);
  std::printf("upload of %.0f MiB in %u KiB chunks to the loopback server (best of %d)\n", mib, kChunk / 1024, kRuns);
  std::printf("  InternetSendRequestByBitRate  %8.3f s  %8.1f MiB/s\n", best, mib / best);
  std::printf("  curl --data-binary @file      %8.3f s  %8.1f MiB/s\n", curlBest, mib / curlBest);
  std::printf("  throughput ratio (ours / curl) %.2f\n", curlBest / best);
  std::printf("  peak resident memory during the upload: %ld KiB above the %ld KiB before it (chunk %u KiB, file %zu KiB)\n",
              peakAboveBaseKb, baseAtPeakKb, kChunk / 1024, kFileSize / 1024);
  std::printf("  complete bodies received by the server: %zu of %d\n", complete, 2 * kRuns);
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
  return complete == 2 * kRuns ? 0 : 1;
}
