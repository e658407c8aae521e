#include "agent/log/log.h"
#include "agent/log_setup/log_setup.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>

#include "agent/config/agent_config.h"
#include "agent/log/object_lock.h"
#include "agent/log/log_test_support.h"
#include "tests/support/temp_machine.h"

namespace {

namespace fs = std::filesystem;
using hl::test::ReadHostFile;
using hl::test::TempMachine;

class LogTest : public hl::test::AgentLogTest {
 protected:
  void MakeFile(const std::string& name, size_t size) const {
    std::ofstream out(LogsDir() / name, std::ios::binary);
    std::string data(size, 'x');
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
  }
};

TEST_F(LogTest, LineShapeOpenAndCloseLines) {
  Open(LOG_LEVEL_TRACE);
  LogInfo("hello %s %d\n", "world", 5);
  CloseLogFile();
  std::string text = Contents();
  std::regex shape(
      "Log open time: \\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}:\\d{3}\n"
      "\\[ \\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}:\\d{3} \\] \\[ \\d+ \\] \\[INFO\\] hello world 5\n"
      "Log close time: .*\n");
  EXPECT_TRUE(std::regex_match(text, shape)) << text;
}

TEST_F(LogTest, LevelsGateEachWriter) {
  struct Case {
    BYTE level;
    bool info, error, debug, trace;
  } cases[] = {{0, false, false, false, false},
               {1, true, false, false, false},
               {2, true, true, false, false},
               {3, true, true, true, false},
               {4, true, true, true, true}};
  for (const Case& c : cases) {
    Open(c.level);
    LogInfo("i-line\n");
    LogError("e-line\n");
    LogDebug("d-line\n");
    LogTrace("t-line\n");
    CloseLogFile();
    std::string text = Contents();
    EXPECT_EQ(text.find("[INFO] i-line") != std::string::npos, c.info) << int(c.level);
    EXPECT_EQ(text.find("[ERROR] e-line") != std::string::npos, c.error) << int(c.level);
    EXPECT_EQ(text.find("[DEBUG] d-line") != std::string::npos, c.debug) << int(c.level);
    EXPECT_EQ(text.find("[TRACE] t-line") != std::string::npos, c.trace) << int(c.level);
    EXPECT_NE(text.find("Log open time:"), std::string::npos);
    FreeLogSettings();
  }
}

TEST_F(LogTest, NothingIsWrittenWithoutAnOpenLogOrLockToken) {
  LogError("dropped\n");  // no log open: a no-op
  Open(LOG_LEVEL_TRACE);
  LogInfo("kept\n");
  CloseLogFile();
  LogInfo("after close\n");
  std::string text = Contents();
  EXPECT_EQ(text.find("dropped"), std::string::npos);
  EXPECT_EQ(text.find("after close"), std::string::npos);
  EXPECT_NE(text.find("kept"), std::string::npos);
}

TEST_F(LogTest, SecondOpenKeepsTheStream) {
  Open(LOG_LEVEL_TRACE);
  EXPECT_TRUE(OpenLogFileAppend());
  CloseLogFile();
  std::string text = Contents();
  EXPECT_NE(text.find("[TRACE] gv_logFilePtr already Set\n"), std::string::npos);
  EXPECT_EQ(text.find("Log open time:"), text.rfind("Log open time:"));
}

TEST_F(LogTest, InitLoggerTakesTheLowByteOfTheRegistryLevel) {
  machine_.WriteRegistry(
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Corvanta\\Harborline\\HLAgent]\r\n"
      "\"HLAgentLogLevel\"=dword:00000102\r\n");
  ASSERT_EQ(InitLogger("lvl.log", "C:\\Agent\\logs", 2), 0);
  EXPECT_EQ(GetLogLevel(), 2);
  CloseLogFile();
  FreeLogSettings();
  machine_.WriteRegistry("");
  ASSERT_EQ(InitLogger("lvl.log", "C:\\Agent\\logs", 1), 0);
  EXPECT_EQ(GetLogLevel(), 2) << "a missing level means INFO and ERROR only";
}

TEST_F(LogTest, OpenFailureMakesInitLoggerFail) {
  machine_.WriteMachineJson({{"faults", {{"hl_fopen", 5}}}});
  EXPECT_EQ(InitLogger("x.log", "C:\\Agent\\logs", 1), 13);
  EXPECT_EQ(gv_logFilePtr.load(), nullptr);
}

TEST_F(LogTest, RotationThresholdIsInclusive) {
  MakeFile("a.log", 1999999);
  EXPECT_EQ(RotateLoggerForEverRunningProcess("C:\\Agent\\logs", "a.log", 5, 2000000), 0);
  EXPECT_FALSE(fs::exists(LogsDir() / "a1.log"));
  EXPECT_EQ(fs::file_size(LogsDir() / "a.log"), 1999999u);

  MakeFile("a.log", 2000000);
  EXPECT_EQ(RotateLoggerForEverRunningProcess("C:\\Agent\\logs", "a.log", 5, 2000000), 0);
  EXPECT_EQ(fs::file_size(LogsDir() / "a1.log"), 2000000u);
  EXPECT_EQ(fs::file_size(LogsDir() / "a.log"), 0u) << "the live file is truncated in place";
}

TEST_F(LogTest, RotationShiftsFiveEntries) {
  MakeFile("a.log", 50);
  for (int k = 1; k <= 4; ++k) MakeFile("a" + std::to_string(k) + ".log", static_cast<size_t>(k));
  EXPECT_EQ(RotateSpecificLogs("C:\\Agent\\logs", "a.log", 5), 0);
  EXPECT_EQ(fs::file_size(LogsDir() / "a4.log"), 3u);  // 3 -> 4, the old 4 deleted
  EXPECT_EQ(fs::file_size(LogsDir() / "a3.log"), 2u);
  EXPECT_EQ(fs::file_size(LogsDir() / "a2.log"), 1u);
  EXPECT_EQ(fs::file_size(LogsDir() / "a1.log"), 50u);
  EXPECT_EQ(fs::file_size(LogsDir() / "a.log"), 0u);
}

TEST_F(LogTest, RotationWithSevenEntriesClampsToTheMaximum) {
  Open(LOG_LEVEL_TRACE, "trace.txt");  // a name without ".log" is never matched by the "a" pattern
  MakeFile("a.log", 50);
  for (int k = 1; k <= 4; ++k) MakeFile("a" + std::to_string(k) + ".log", static_cast<size_t>(k));
  MakeFile("a-other.txt", 9);
  MakeFile("abc.dat", 9);
  EXPECT_EQ(RotateSpecificLogs("C:\\Agent\\logs", "a.log", 5), 0);
  CloseLogFile();
  std::string text = Contents("trace.txt");
  EXPECT_NE(text.find("The return Value from FindNumberOfRepeatedFileNames method is : 7 \n"), std::string::npos);
  EXPECT_NE(text.find("Unable to delete the file C:\\Agent\\logs\\a6.log and the error code is :2\n"),
            std::string::npos)
      << text;
  EXPECT_EQ(fs::file_size(LogsDir() / "a4.log"), 3u);
  EXPECT_EQ(fs::file_size(LogsDir() / "a1.log"), 50u);
  EXPECT_TRUE(fs::exists(LogsDir() / "a-other.txt"));
}

TEST_F(LogTest, LogNamesAndPatterns) {
  EXPECT_EQ(MakeLogName("C:\\L", "hlprereqhandler.log", 3), "C:\\L\\hlprereqhandler3.log");
  EXPECT_EQ(MakeLogName("C:\\L", "noext", 1), "C:\\L\\1.log");
  MakeFile("b.log", 1);
  MakeFile("b1.log", 1);
  EXPECT_EQ(FindNoOfRepeatedFileNames("C:\\Agent\\logs", "b"), 2);
  EXPECT_EQ(FindNoOfRepeatedFileNames("C:\\Agent\\logs", "zzz"), -1);
}

TEST_F(LogTest, MakeDirectoryTreeResults) {
  EXPECT_EQ(MakeDirectoryTree("C:/Deep/er/tree"), 0);
  EXPECT_TRUE(fs::is_directory(machine_.root() / "drive_c" / "Deep" / "er" / "tree"));
  EXPECT_EQ(MakeDirectoryTree("C:/Deep/er/tree"), 1);
  EXPECT_EQ(MakeDirectoryTree("C:/Deep/er/tree/"), 1);
}

}  // namespace
