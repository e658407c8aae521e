// A 64 MiB download from nginx through the transport as the prereq tool sets it up (the
// hl_download_driver child, DownloadMode 1), killed with SIGKILL at random points several
// times and run again until it succeeds: the final file must equal the served one, and every
// restart must continue from the size its registry record holds, never from the start and
// never held back by the in-progress mark the killed run left.
//
// The kill points are random partial-file sizes plus a random delay (seeded; the seed is
// printed and HL_KILL_SEED replays it); nginx paces the answers so the kills land mid-transfer.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/peers.h"
#include "tests/support/run_tool.h"
#include "tests/support/temp_machine.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr size_t kFileSize = 64u << 20;
constexpr size_t kMiB = 1u << 20;
constexpr int kKills = 4;
const char* kAgentDir = "drive_c/Program Files (x86)/Harborline/Agent";

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// registry.reg as sections (key path in lower case) of raw values by name.
using RegValues = std::map<std::string, std::string>;
std::map<std::string, RegValues> ParseRegistry(const std::string& text) {
  std::map<std::string, RegValues> sections;
  RegValues* current = nullptr;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() > 2 && line.front() == '[' && line.back() == ']') {
      current = &sections[Lower(line.substr(1, line.size() - 2))];
    } else if (current && line.size() > 1 && line.front() == '"') {
      size_t end = 1;
      std::string name;
      while (end < line.size() && line[end] != '"') {
        if (line[end] == '\\' && end + 1 < line.size()) ++end;
        name += line[end++];
      }
      if (end + 1 < line.size() && line[end + 1] == '=') (*current)[name] = line.substr(end + 2);
    }
  }
  return sections;
}

// A REG_SZ value's text ("\"...\"" unescaped).
std::string SzText(const std::string& raw) {
  std::string out;
  for (size_t i = 1; i + 1 < raw.size(); ++i) {
    if (raw[i] == '\\' && i + 2 < raw.size()) ++i;
    out += raw[i];
  }
  return out;
}

// The download's record as registry.reg holds it.
struct Record {
  std::string id;
  std::optional<unsigned long> partialSize;
  std::optional<std::string> owner;
  bool inProgress = false;
};

std::optional<Record> ReadRecord(const fs::path& machine, const std::string& url) {
  auto sections = ParseRegistry(ReadText(machine / "registry.reg"));
  for (const auto& [path, values] : sections) {
    if (path.size() < 13 || path.compare(path.size() - 13, 13, "\\filemetadata") != 0) continue;
    auto idValue = values.find(url);
    if (idValue == values.end()) continue;
    Record record;
    record.id = SzText(idValue->second);
    auto sub = sections.find(path + "\\" + Lower(record.id));
    if (sub != sections.end()) {
      const RegValues& v = sub->second;
      if (auto it = v.find("PartialFileSize"); it != v.end() && it->second.rfind("dword:", 0) == 0)
        record.partialSize = std::stoul(it->second.substr(6), nullptr, 16);
      if (auto it = v.find("downloadOwner"); it != v.end()) record.owner = SzText(it->second);
      record.inProgress = v.count("downloadInProgress") > 0;
    }
    return record;
  }
  return std::nullopt;
}

std::string Sha256Of(const fs::path& file) {
  std::string command = "sha256sum '" + file.string() + "'";
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return "";
  char digest[65] = {};
  size_t got = std::fread(digest, 1, 64, pipe);
  pclose(pipe);
  return got == 64 ? std::string(digest, 64) : "";
}

size_t LargestFileIn(const fs::path& folder) {
  size_t largest = 0;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code sizeError;
    size_t size = static_cast<size_t>(fs::file_size(it->path(), sizeError));
    if (!sizeError) largest = std::max(largest, size);
  }
  return largest;
}

// The start of every ranged request nginx served for `uri`, in order.
std::vector<unsigned long> RangeStarts(const fs::path& rangesLog, const std::string& uri) {
  std::vector<unsigned long> starts;
  std::istringstream lines(ReadText(rangesLog));
  const std::string prefix = "GET " + uri + " ";
  for (std::string line; std::getline(lines, line);) {
    size_t at = line.find("\"bytes=");
    if (line.rfind(prefix, 0) != 0 || at == std::string::npos) continue;
    starts.push_back(std::stoul(line.substr(at + 7)));
  }
  return starts;
}

class DriverRun {
 public:
  DriverRun(const std::vector<std::string>& args, const fs::path& output) {
    std::vector<std::string> argv = {HL_DOWNLOAD_DRIVER_EXE};
    argv.insert(argv.end(), args.begin(), args.end());
    pid_ = fork();
    if (pid_ == 0) {
      int fd = open(output.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
      if (fd >= 0) {
        dup2(fd, 1);
        dup2(fd, 2);
      }
      std::vector<char*> raw;
      for (std::string& a : argv) raw.push_back(a.data());
      raw.push_back(nullptr);
      execv(raw[0], raw.data());
      _exit(127);
    }
  }
  ~DriverRun() {
    if (pid_ > 0 && !status_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  pid_t pid() const { return pid_; }
  // The wait status once the child has ended.
  std::optional<int> Poll() {
    if (!status_ && pid_ > 0) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) status_ = status;
    }
    return status_;
  }
  int KillAndReap() {
    kill(pid_, SIGKILL);
    int status = 0;
    waitpid(pid_, &status, 0);
    status_ = status;
    return status;
  }

 private:
  pid_t pid_ = -1;
  std::optional<int> status_;
};

class DownloadKillResume : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* fixed = std::getenv("HL_KILL_SEED");
    seed_ = fixed ? static_cast<unsigned>(std::strtoul(fixed, nullptr, 10)) : std::random_device{}();
    std::printf("kill-and-resume seed %u (HL_KILL_SEED=%u replays it)\n", seed_, seed_);
    RecordProperty("seed", std::to_string(seed_));

    nginx_.SetRateLimit("16m");  // 4 s for the whole file: every kill point lies mid-transfer
    std::string error;
    ASSERT_TRUE(nginx_.Start(error)) << "nginx unavailable: " << error;
    std::mt19937_64 bytes(seed_);
    std::ofstream out(nginx_.root() / "big.bin", std::ios::binary);
    std::vector<std::uint64_t> block(kMiB / sizeof(std::uint64_t));
    for (size_t written = 0; written < kFileSize; written += kMiB) {
      for (auto& word : block) word = bytes();
      out.write(reinterpret_cast<const char*>(block.data()), kMiB);
    }
    out.close();
    ASSERT_EQ(fs::file_size(nginx_.root() / "big.bin"), kFileSize);

    hl::test::CopyTree(fs::path(HL_SOURCE_DIR) / "examples" / "machines" / "workstation-compatible",
                       machine_.root());
    const std::string settings = "HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Corvanta\\Harborline\\HLAgent\\Settings";
    machine_.WriteRegistry(machine_.ReadRegistry() + "\r\n[" + settings + "]\r\n" +
                           "\"DownloadMode\"=dword:00000001\r\n");
  }

  std::vector<std::string> Args() const {
    return {"127.0.0.1", std::to_string(nginx_.httpPort()), "/big.bin", "C:\\Downloads\\big.bin"};
  }
  fs::path Repository() const { return machine_.root() / kAgentDir / "DownloadRepository"; }
  std::string ToolLog() const { return ReadText(machine_.root() / kAgentDir / "logs" / "hldownload.log"); }
  std::string DriverOutput() const { return ReadText(output_); }

  unsigned seed_ = 0;
  hl::test::NginxPeer nginx_;
  hl::test::TempMachine machine_;
  fs::path output_ = machine_.root() / "driver.out";
};

size_t Count(const std::string& text, const std::string& needle) {
  size_t count = 0;
  for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + needle.size())) ++count;
  return count;
}

TEST_F(DownloadKillResume, KilledRunsResumeFromTheirRecordUntilTheFileIsWhole) {
  std::mt19937 random(seed_);
  // One kill point in each of kKills bands of the file, so every run gets further than the last.
  std::vector<size_t> killAt;
  std::vector<int> extraDelayMs;
  for (int i = 0; i < kKills; ++i) {
    size_t low = (3 + 13 * i) * kMiB;
    killAt.push_back(std::uniform_int_distribution<size_t>(low, low + 9 * kMiB)(random));
    extraDelayMs.push_back(std::uniform_int_distribution<int>(0, 150)(random));
  }

  std::vector<unsigned long> recorded;  // PartialFileSize after each kill
  for (int run = 0; run < kKills; ++run) {
    SCOPED_TRACE("run " + std::to_string(run) + ", kill after " + std::to_string(killAt[run]) + " bytes + " +
                 std::to_string(extraDelayMs[run]) + " ms");
    DriverRun driver(Args(), output_);
    ASSERT_GT(driver.pid(), 0);
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    while (LargestFileIn(Repository()) < killAt[run]) {
      ASSERT_FALSE(driver.Poll().has_value()) << "the download ended before its kill point\n" << DriverOutput();
      ASSERT_LT(Clock::now(), deadline) << "the partial file stopped growing\n" << DriverOutput();
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(extraDelayMs[run]));
    int status = driver.KillAndReap();
    ASSERT_TRUE(WIFSIGNALED(status)) << "the run ended by itself before the kill\n" << DriverOutput();

    std::optional<Record> record = ReadRecord(machine_.root(), "/big.bin");
    ASSERT_TRUE(record.has_value()) << "no record after the kill";
    ASSERT_TRUE(record->partialSize.has_value()) << "the record holds no size";
    EXPECT_GT(*record->partialSize, 0u);
    EXPECT_LT(*record->partialSize, kFileSize) << "the kill did not land mid-transfer";
    recorded.push_back(*record->partialSize);
    if (run > 0) {
      // From the second run on the record exists when the run starts: the run marks it as its own.
      EXPECT_TRUE(record->inProgress) << "the killed run left no in-progress mark";
      ASSERT_TRUE(record->owner.has_value()) << "the killed run's mark names no owner";
      EXPECT_EQ(record->owner->rfind(std::to_string(driver.pid()) + ":", 0), 0u)
          << "the mark names " << *record->owner << ", not the killed run " << driver.pid();
    }
  }

  DriverRun last(Args(), output_);
  const auto deadline = Clock::now() + std::chrono::seconds(30);
  std::optional<int> status;
  while (!(status = last.Poll()) && Clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_TRUE(status.has_value()) << "the last run did not finish\n" << DriverOutput();
  ASSERT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << DriverOutput();

  const fs::path downloaded = machine_.root() / "drive_c" / "Downloads" / "big.bin";
  ASSERT_TRUE(fs::exists(downloaded)) << DriverOutput();
  EXPECT_EQ(fs::file_size(downloaded), kFileSize);
  const std::string served = Sha256Of(nginx_.root() / "big.bin");
  ASSERT_EQ(served.size(), 64u) << "sha256sum did not run";
  EXPECT_EQ(Sha256Of(downloaded), served) << "the resumed file differs from the served one";

  // The first run starts at 0; every later one where its predecessor's record left off.
  std::vector<unsigned long> expected = {0};
  expected.insert(expected.end(), recorded.begin(), recorded.end());
  EXPECT_EQ(RangeStarts(nginx_.rangesLog(), "/big.bin"), expected) << ReadText(nginx_.rangesLog());
  const std::string log = ToolLog();
  for (unsigned long from : recorded) {
    EXPECT_NE(log.find("Content-Range Header message: Range: bytes=" + std::to_string(from) + "-"), std::string::npos)
        << "no run resumed from " << from;
  }
  // The first run leaves no mark (its record is made by its first save); each later killed run does.
  EXPECT_EQ(Count(log, "download in progress flag left by a process that no longer runs; resuming"),
            static_cast<size_t>(kKills - 1));
  EXPECT_EQ(log.find("Another download in progress"), std::string::npos) << "a restart stood aside for a dead run";

  EXPECT_FALSE(ReadRecord(machine_.root(), "/big.bin").has_value()) << "the record outlived the download";
  EXPECT_EQ(LargestFileIn(Repository()), 0u) << "the partial file outlived the download";
}

}  // namespace
