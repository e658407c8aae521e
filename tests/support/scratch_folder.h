// A folder for one test's files, on whichever system the test runs.
//
// On the simulated computer it is C:\<unique> on the drive of a fresh machine folder; on Windows
// a fresh folder below the system's temporary folder. Either way it is removed with everything in
// it afterwards. Tests name their files relative to it:
//
//   hl::test::ScratchFolder folder;
//   folder.Write("d\\f.txt", "12345");
//   HANDLE h = CreateFileA(folder.Path("d\\f.txt").c_str(), ...);   // "C:\hl-1234\d\f.txt"
//   EXPECT_EQ(folder.Read("d\\f.txt"), "12345");
//
// Write, Read and Exists go through std::filesystem on the host's own paths, so a test sets up
// and checks its files without the API it tests.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "platform/win32.h"

namespace hl::test {

class TempMachine;

class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  // The Windows path of `relative` ("\\" separated) in the folder; the folder itself when empty.
  std::string Path(std::string_view relative = {}) const;
  std::basic_string<WCHAR> WidePath(std::string_view relative = {}) const;
  // Writes a file (bytes as given), creating its parent folders.
  void Write(std::string_view relative, std::string_view content) const;
  void MakeFolder(std::string_view relative) const;
  // A whole file's bytes; empty when missing.
  std::string Read(std::string_view relative) const;
  bool Exists(std::string_view relative) const;

 private:
  std::filesystem::path HostPath(std::string_view relative) const;

#ifndef _WIN32
  std::unique_ptr<TempMachine> machine_;
#endif
  std::string windowsRoot_;           // "C:\hl-1234"
  std::filesystem::path hostRoot_;    // the same folder as the host names it
};

}  // namespace hl::test
