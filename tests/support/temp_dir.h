// A fresh temporary directory for a test, removed with everything in it on destruction.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace hl::test {

class TempDir {
 public:
  // Creates <system temp>/<prefix><random>; the name is new, never an existing folder.
  explicit TempDir(std::string_view prefix = "hl-test-");
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string str() const { return path_.string(); }
  // Writes a file below the directory ("/" separated relative path), creating its parents.
  void Write(const std::string& relative, std::string_view content) const;

 private:
  std::filesystem::path path_;
};

// Reads a whole host file; empty when missing.
std::string ReadHostFile(const std::filesystem::path& path);
// A file written in the Windows runtime's text mode, read as such a reader would: "\r\n" as "\n".
std::string ReadTextFile(const std::filesystem::path& path);

}  // namespace hl::test
