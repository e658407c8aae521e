// Test helper: opens the process log at TRACE level into a fresh temporary folder and reads the
// raw text back, so that messages with embedded line breaks can be matched exactly.
#pragma once

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "agent/log/log.h"

namespace tessera::testing {

// A fresh temporary directory, removed on destruction.
class TempDir {
 public:
  TempDir() {
    std::random_device rd;
    path_ = std::filesystem::temp_directory_path() /
            ("tessera_test_" + std::to_string(rd()) + "_" + std::to_string(rd()));
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::string str() const { return path_.string(); }
  // Writes a file below the directory ("/" separated relative path), creating parents.
  void Write(const std::string& relative, const std::string& content) const {
    std::filesystem::path file = path_ / relative;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << content;
  }

 private:
  std::filesystem::path path_;
};

class LogCapture {
 public:
  explicit LogCapture(BYTE level = LOG_LEVEL_TRACE) {
    CloseLogFile();
    FreeLogSettings();
    InitLogDefaults();
    SetLogParams("capture.log", dir_.str().c_str(), level);
    OpenLogFileNew();
  }
  ~LogCapture() {
    CloseLogFile();
    FreeLogSettings();
  }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  std::string Text() const {
    std::ifstream in(dir_.path() / "capture.log", std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str().substr(mark_);
  }
  // Whether "<tag> <message>" was written, e.g. Has("[ERROR]", "Cannot open DataDictionary File.\n").
  bool Has(const std::string& tag, const std::string& message) const {
    return Text().find(tag + " " + message) != std::string::npos;
  }
  size_t Count(const std::string& tag, const std::string& message) const {
    std::string text = Text(), needle = tag + " " + message;
    size_t count = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + needle.size())) ++count;
    return count;
  }
  // Later reads see only what is written after this call.
  void Mark() {
    mark_ = 0;
    mark_ = Text().size();
  }

 private:
  TempDir dir_;
  size_t mark_ = 0;
};

}  // namespace tessera::testing
