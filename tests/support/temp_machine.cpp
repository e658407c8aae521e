#include "tests/support/temp_machine.h"

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

#include "platform/core/machine.h"

namespace hl::test {

TempMachine::TempMachine() {
  std::filesystem::create_directories(root() / "drive_c");
  Activate();
}

TempMachine::~TempMachine() {
  unsetenv("HL_MACHINE");
  hl::platform::ResetMachine();
}

void TempMachine::Activate() {
  setenv("HL_MACHINE", root().c_str(), 1);
  hl::platform::ResetMachine();
}

void TempMachine::WriteRegistry(std::string_view regText) {
  std::string text(regText);
  if (text.rfind("Windows Registry Editor Version 5.00", 0) != 0)
    text = "Windows Registry Editor Version 5.00\r\n\r\n" + text;
  WriteFile("registry.reg", text);
}

std::string TempMachine::ReadRegistry() const { return ReadHostFile(root() / "registry.reg"); }

void TempMachine::WriteMachineJson(const nlohmann::json& config) {
  WriteFile("machine.json", config.dump(2));
  hl::platform::ResetMachine();
}

void TempMachine::WriteFile(const std::string& relativePath, std::string_view content) {
  auto path = root() / relativePath;
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

}  // namespace hl::test
