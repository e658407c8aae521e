#include "tests/support/temp_machine.h"

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

#include "platform/core/machine.h"

namespace hl::testing {

TempMachine::TempMachine() {
  std::random_device rd;
  auto base = std::filesystem::temp_directory_path();
  for (;;) {
    root_ = base / ("hl-machine-" + std::to_string(rd()) + std::to_string(rd()));
    std::error_code ec;
    if (std::filesystem::create_directory(root_, ec)) break;
  }
  std::filesystem::create_directories(root_ / "drive_c");
  Activate();
}

TempMachine::~TempMachine() {
  std::error_code ec;
  std::filesystem::remove_all(root_, ec);
  unsetenv("HL_MACHINE");
  hl::platform::ResetMachine();
}

void TempMachine::Activate() {
  setenv("HL_MACHINE", root_.c_str(), 1);
  hl::platform::ResetMachine();
}

void TempMachine::WriteRegistry(std::string_view regText) {
  std::string text(regText);
  if (text.rfind("Windows Registry Editor Version 5.00", 0) != 0)
    text = "Windows Registry Editor Version 5.00\r\n\r\n" + text;
  WriteFile("registry.reg", text);
}

std::string TempMachine::ReadRegistry() const { return ReadHostFile(root_ / "registry.reg"); }

void TempMachine::WriteMachineJson(const nlohmann::json& config) {
  WriteFile("machine.json", config.dump(2));
  hl::platform::ResetMachine();
}

void TempMachine::WriteFile(const std::string& relativePath, std::string_view content) {
  auto path = root_ / relativePath;
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

std::string ReadHostFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

}  // namespace hl::testing
