// Test helper: the process log opened into a fresh folder and read back, either as raw text (so
// messages with embedded line breaks match exactly) or as lines "[LEVEL] text" with the time
// stamp and thread id removed. The log is a text-mode file (each "\n" stored as "\r\n"); it is
// read back as a text-mode reader would, so messages compare as they were logged.
//
//   hl::test::LogCapture log;                          // a temporary host folder
//   hl::test::LogCapture log(machine, LOG_LEVEL_INFO); // C:\testlogs of a test machine
//   EXPECT_TRUE(log.Has("[ERROR]", "Cannot open DataDictionary File.\n"));
//   EXPECT_TRUE(log.Has("[INFO] writeValue: Subkey : X "));
#pragma once

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "agent/log/log.h"
#include "tests/support/temp_dir.h"
#include "tests/support/temp_machine.h"

namespace hl::test {

class LogCapture {
 public:
  explicit LogCapture(BYTE level = LOG_LEVEL_TRACE) : path_(dir_.path() / "capture.log") {
    Open(dir_.str().c_str(), "capture.log", level);
  }
  explicit LogCapture(const TempMachine& machine, BYTE level = LOG_LEVEL_TRACE)
      : path_(machine.root() / "drive_c" / "testlogs" / "t.log") {
    std::filesystem::create_directories(path_.parent_path());
    Open("C:\\testlogs", "t.log", level);
  }
  ~LogCapture() {
    CloseLogFile();
    FreeLogSettings();
  }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  // The text written since the last Mark().
  std::string Text() const {
    std::string all = Read();
    return all.substr(std::min(mark_, all.size()));
  }
  // Later reads of Text() see only what is written after this call.
  void Mark() { mark_ = Read().size(); }
  // Whether "<tag> <message>" was written, e.g. Has("[ERROR]", "Cannot open DataDictionary File.\n").
  bool Has(const std::string& tag, const std::string& message) const { return Count(tag, message) > 0; }
  size_t Count(const std::string& tag, const std::string& message) const {
    const std::string text = Text(), needle = tag + " " + message;
    size_t count = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + needle.size())) ++count;
    return count;
  }

  // Every logged line as "[TAG] text" with its own trailing blanks kept.
  std::vector<std::string> Lines() const {
    std::vector<std::string> lines;
    const std::string text = Read();
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
  bool Has(const std::string& line) const { return Count(line) > 0; }
  size_t Count(const std::string& line) const {
    const std::vector<std::string> lines = Lines();
    return static_cast<size_t>(std::count(lines.begin(), lines.end(), line));
  }
  // Lines whose text contains `part`.
  std::vector<std::string> Matching(const std::string& part) const {
    std::vector<std::string> out;
    for (const std::string& line : Lines())
      if (line.find(part) != std::string::npos) out.push_back(line);
    return out;
  }
  // Every line joined, each ended by "\n".
  std::string All() const {
    std::string joined;
    for (const std::string& line : Lines()) joined += line + "\n";
    return joined;
  }

 private:
  std::string Read() const { return ReadTextFile(path_); }
  void Open(const char* folder, const char* name, BYTE level) {
    CloseLogFile();
    FreeLogSettings();
    InitLogDefaults();
    SetLogParams(name, folder, level);
    OpenLogFileNew();
  }

  TempDir dir_{"hl-log-"};
  std::filesystem::path path_;
  size_t mark_ = 0;
};

}  // namespace hl::test
