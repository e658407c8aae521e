// Shared pieces of the Tessera-against-SQLite benchmarks: a reporter that remembers each
// benchmark's time per iteration so that main can print the ratio of a pair measured in one run.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace bench {

class RecordingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    // A single run, or with --benchmark_repetitions the median of the repetitions.
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      const double seconds = run.GetAdjustedRealTime() / 1e9 * TimeUnitDivisor(run.time_unit);
      if (run.run_type == Run::RT_Iteration && medians_.count(run.run_name.str()) == 0)
        seconds_[run.run_name.str()] = seconds;
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
        seconds_[run.run_name.str()] = seconds;
        medians_.insert(run.run_name.str());
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  // Seconds per iteration of a benchmark (by its full name), or 0 when it did not run.
  double Seconds(const std::string& name) const {
    auto it = seconds_.find(name);
    return it == seconds_.end() ? 0 : it->second;
  }

 private:
  static double TimeUnitDivisor(benchmark::TimeUnit unit) {
    switch (unit) {
      case benchmark::kNanosecond: return 1;
      case benchmark::kMicrosecond: return 1e3;
      case benchmark::kMillisecond: return 1e6;
      case benchmark::kSecond: return 1e9;
    }
    return 1;
  }
  std::map<std::string, double> seconds_;
  std::set<std::string> medians_;
};

// Runs the registered benchmarks and prints "<label>: Tessera / SQLite time = x" for each pair.
inline int RunAndCompare(int argc, char** argv, const std::vector<std::pair<std::string, std::string>>& pairs,
                         const std::string& label) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RecordingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  for (const auto& [tessera, sqlite] : pairs) {
    const double t = reporter.Seconds(tessera), s = reporter.Seconds(sqlite);
    if (t > 0 && s > 0)
      std::printf("%s: %s / %s time ratio = %.2f (Tessera is %.2fx %s)\n", label.c_str(), tessera.c_str(), sqlite.c_str(),
                  t / s, t > s ? t / s : s / t, t > s ? "slower" : "faster");
  }
  benchmark::Shutdown();
  return 0;
}

}  // namespace bench
