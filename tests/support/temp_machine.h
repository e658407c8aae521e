// A machine folder in a fresh temporary directory, for tests.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "tests/support/temp_dir.h"

namespace hl::test {

class TempMachine {
 public:
  TempMachine();   // creates the folder (with drive_c/) and makes it the current machine
  ~TempMachine();  // removes it and clears HL_MACHINE
  TempMachine(const TempMachine&) = delete;
  TempMachine& operator=(const TempMachine&) = delete;

  const std::filesystem::path& root() const { return dir_.path(); }
  // Writes registry.reg as UTF-8 text; the header line is added when missing.
  void WriteRegistry(std::string_view regText);
  std::string ReadRegistry() const;
  void WriteMachineJson(const nlohmann::json& config);
  // Writes a file under the machine folder (relative path, "/" separated); parents are created.
  void WriteFile(const std::string& relativePath, std::string_view content);
  // Makes this folder current again (after another TempMachine or an environment change).
  void Activate();

 private:
  TempDir dir_{"hl-machine-"};
};

}  // namespace hl::test
