// Shared fixture of the log tests: a temporary machine whose C:\Agent\logs receives the log.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "agent/config/agent_config.h"
#include "agent/log/log.h"
#include "tests/support/temp_machine.h"

namespace hl::test {

class AgentLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    hl::ResetAgentConfig();
    std::filesystem::create_directories(LogsDir());
  }
  void TearDown() override {
    CloseLogFile();
    FreeLogSettings();
  }
  std::filesystem::path LogsDir() const { return machine_.root() / "drive_c" / "Agent" / "logs"; }
  // Opens a fresh log at C:\Agent\logs\<name>.
  void Open(BYTE level, const char* name = "t.log") {
    ASSERT_TRUE(InitLogDefaults());
    ASSERT_TRUE(SetLogParams(name, "C:\\Agent\\logs", level));
    ASSERT_TRUE(OpenLogFileNew());
  }
  std::string Contents(const char* name = "t.log") const { return ReadTextFile(LogsDir() / name); }

  TempMachine machine_;
};

}  // namespace hl::test
