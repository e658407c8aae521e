// Test helper: an agent log opened into a temporary machine folder, read back as lines of
// the form "[LEVEL] text" (timestamp and thread id removed).
#pragma once

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "agent/log/log.h"
#include "tests/support/temp_machine.h"

namespace hl::testing {

class CapturedLog {
 public:
  explicit CapturedLog(const TempMachine& machine, BYTE level = LOG_LEVEL_TRACE)
      : path_(machine.root() / "drive_c" / "testlogs" / "t.log") {
    std::filesystem::create_directories(path_.parent_path());
    InitLogDefaults();
    SetLogParams("t.log", "C:\\testlogs", level);
    OpenLogFileNew();
  }
  ~CapturedLog() {
    CloseLogFile();
    FreeLogSettings();
  }
  CapturedLog(const CapturedLog&) = delete;
  CapturedLog& operator=(const CapturedLog&) = delete;

  // Every logged line as "[TAG] text" with its own trailing blanks kept.
  std::vector<std::string> Lines() const {
    std::vector<std::string> lines;
    std::string text = ReadHostFile(path_);
    size_t start = 0;
    while (start < text.size()) {
      size_t end = text.find('\n', start);
      if (end == std::string::npos) end = text.size();
      std::string line = text.substr(start, end - start);
      start = end + 1;
      // "[ <time> ] [ <thread> ] [TAG] text"
      size_t first = line.find(" ] [ ");
      size_t second = first == std::string::npos ? first : line.find(" ] ", first + 5);
      if (line.rfind("[ ", 0) != 0 || second == std::string::npos) continue;
      lines.push_back(line.substr(second + 3));
    }
    return lines;
  }
  bool Has(const std::string& line) const {
    std::vector<std::string> lines = Lines();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }
  size_t Count(const std::string& line) const {
    std::vector<std::string> lines = Lines();
    return static_cast<size_t>(std::count(lines.begin(), lines.end(), line));
  }
  // Lines whose text contains `part`.
  std::vector<std::string> Matching(const std::string& part) const {
    std::vector<std::string> out;
    for (const std::string& line : Lines()) {
      if (line.find(part) != std::string::npos) out.push_back(line);
    }
    return out;
  }
  std::string All() const {
    std::string joined;
    for (const std::string& line : Lines()) joined += line + "\n";
    return joined;
  }

 private:
  std::filesystem::path path_;
};

}  // namespace hl::testing
