// A registry for one test, on whichever system the test runs.
//
// On the simulated computer it is a fresh machine folder whose registry.reg holds the imported
// text. On Windows it is the system's own registry: the imported keys are written through the
// registry API, and the test's roots are deleted before and after the test. Tests keep every key
// they create below one of those roots (kScratchRoots), so nothing else of the system is touched:
//
//   hl::test::ScratchRegistry registry;
//   registry.Import("[HKEY_LOCAL_MACHINE\\SYSTEM\\HarborlineTest\\Keys]\n\"Count\"=dword:00000005\n");
//
// The text is a registry file's key and value lines (UTF-8): strings, dword:, hex: and hex(N):,
// "@" for the default value, lines continued with "\". Paths are literal: a key under
// SOFTWARE\WOW6432Node is the 32-bit view's key.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace hl::test {

// The keys a test may create, as full paths in the 64-bit view.
inline constexpr const char* kScratchRoots[] = {
    "HKEY_LOCAL_MACHINE\\SYSTEM\\HarborlineTest",
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\HarborlineTest",
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\HarborlineTest",
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\.harborlinetest",
    "HKEY_CURRENT_USER\\Software\\HarborlineTest",
};

class TempMachine;

class ScratchRegistry {
 public:
  ScratchRegistry();
  ~ScratchRegistry();
  ScratchRegistry(const ScratchRegistry&) = delete;
  ScratchRegistry& operator=(const ScratchRegistry&) = delete;

  // Adds the keys and values of `regText`; a key outside the scratch roots fails the test.
  void Import(std::string_view regText);

 private:
#ifndef _WIN32
  std::unique_ptr<TempMachine> machine_;
#endif
};

}  // namespace hl::test
