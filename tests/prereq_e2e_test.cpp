// The prereq tool run end to end on copies of the example machines.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>

#include "tests/support/run_tool.h"
#include "tests/support/temp_machine.h"

namespace {

namespace fs = std::filesystem;
using hl::test::ReadHostFile;
using hl::test::RunTool;
using hl::test::TempMachine;

const char* kLogPath = "drive_c/Program Files (x86)/Harborline/Agent/logs/hlprereqhandler.log";

// A temporary copy of an example machine.
class PrereqRun : public ::testing::Test {
 protected:
  void UseExample(const std::string& name) {
    hl::test::CopyTree(fs::path(HL_SOURCE_DIR) / "examples" / "machines" / name, machine_.root());
  }
  hl::test::ToolRun Run(const std::vector<std::string>& args = {}) {
    return RunTool(HL_PREREQ_EXE, args, machine_.root());
  }
  std::string Log() const { return hl::test::ReadTextFile(machine_.root() / kLogPath); }
  std::string Registry() const { return machine_.ReadRegistry(); }
  // The data of `"name"=...` inside the key section `[key]` of registry.reg, or "" when absent.
  std::string RegValue(const std::string& key, const std::string& name) const {
    std::string reg = Registry();
    std::string header = "[" + key + "]";
    size_t at = reg.find(header + "\r\n");
    if (at == std::string::npos) at = reg.find(header + "\n");
    if (at == std::string::npos) return "";
    size_t end = reg.find("\n[", at + 1);
    std::string section = reg.substr(at, end == std::string::npos ? std::string::npos : end - at);
    std::string needle = "\n\"" + name + "\"=";
    size_t v = section.find(needle);
    if (v == std::string::npos) return "";
    size_t lineEnd = section.find_first_of("\r\n", v + needle.size());
    return section.substr(v + needle.size(), lineEnd - v - needle.size());
  }
  TempMachine machine_;
};

const std::string kMemoryKey = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Memory Management";
const std::string kVirtKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Virtualization";

TEST_F(PrereqRun, NoAgentAnswers13WithoutALog) {
  UseExample("no-agent");
  auto run = Run({"-p", "KB5005565"});
  EXPECT_EQ(run.status, 13);
  EXPECT_EQ(run.out, "");
  EXPECT_FALSE(fs::exists(machine_.root() / kLogPath));
}

TEST_F(PrereqRun, NoMachineFolderIsAnEmptyComputer) {
  auto run = RunTool(HL_PREREQ_EXE, {}, {});
  EXPECT_EQ(run.status, 13);
  EXPECT_NE(run.err.find("HL_MACHINE"), std::string::npos) << run.err;
}

TEST_F(PrereqRun, CompatibleWorkstationAnswers0WithoutSearchOrWrites) {
  UseExample("workstation-compatible");
  std::string before = Registry();
  auto run = Run();
  EXPECT_EQ(run.status, 0);
  // The adapter listing of the machine identity also goes to standard output, before this line.
  EXPECT_NE(run.out.find("gv_RegKey : Software\\Corvanta\\Harborline\\HLAgent\n"), std::string::npos) << run.out;
  std::string log = Log();
  EXPECT_NE(log.find("[INFO] Key found ::: HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\"
                     "QualityCompat,cadca5fe-87d3-4b96-b7fb-a231484277cc \n"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("[INFO] IsServerOS : Os Name Windows 10 Professional Edition (x64)\n"), std::string::npos);
  EXPECT_NE(log.find("[INFO] IsServerOS : FALSE\n"), std::string::npos);
  EXPECT_NE(log.find("[INFO]  gv_IsWow64 : 1 \n"), std::string::npos);
  EXPECT_EQ(log.find("Return code"), std::string::npos);
  EXPECT_EQ(log.find("enableProtectioninServerOS"), std::string::npos);
  EXPECT_EQ(Registry(), before);
  EXPECT_EQ(log.rfind("Log close time: "), log.size() - std::string("Log close time: 2026-01-01 00:00:00:000\n").size());
}

TEST_F(PrereqRun, CompatibleServerWritesTheThreeMitigations) {
  UseExample("server-2016-compatible");
  auto run = Run();
  EXPECT_EQ(run.status, 0);
  std::string log = Log();
  EXPECT_NE(log.find("IsServerOS : Os Name Windows Server 2016 Standard Edition (x64)\n"), std::string::npos);
  EXPECT_NE(log.find("[INFO] IsServerOS : TRUE\n"), std::string::npos);
  EXPECT_NE(log.find("[INFO] enableProtectioninServerOS : FeatureSettingsOverride : 0 \n"), std::string::npos);
  EXPECT_NE(log.find("[INFO] enableProtectioninServerOS : FeatureSettingsOverrideMask : 0 \n"), std::string::npos);
  EXPECT_NE(log.find("[INFO] enableProtectioninServerOS : MinVmVersionForCpuBasedMitigations : 0 \n"),
            std::string::npos);
  EXPECT_EQ(log.find("Return code"), std::string::npos);
  EXPECT_EQ(RegValue(kMemoryKey, "FeatureSettingsOverride"), "dword:00000000");
  EXPECT_EQ(RegValue(kMemoryKey, "FeatureSettingsOverrideMask"), "dword:00000003");
  // The third value lives in the native 64-bit view, as the text Hyper-V reads.
  EXPECT_EQ(RegValue(kVirtKey, "MinVmVersionForCpuBasedMitigations"), "\"1.0\"");
  EXPECT_EQ(RegValue("HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Microsoft\\Windows NT\\CurrentVersion\\Virtualization",
                     "MinVmVersionForCpuBasedMitigations"),
            "");
}

TEST_F(PrereqRun, DeniedMitigationWriteIsLoggedAndTheOthersStillHappen) {
  UseExample("server-2016-compatible");
  auto json = nlohmann::json::parse(ReadHostFile(machine_.root() / "machine.json"));
  json["faults"] = {{"RegCreateKeyExW:" + kMemoryKey, 5}, {"RegCreateKeyExA:" + kMemoryKey, 5},
                    {"RegSetValueExW:" + kMemoryKey, 5}};
  machine_.WriteMachineJson(json);
  auto run = Run();
  EXPECT_EQ(run.status, 0);
  std::string log = Log();
  EXPECT_NE(log.find("enableProtectioninServerOS : FeatureSettingsOverride : 5 \n"), std::string::npos) << log;
  EXPECT_NE(log.find("enableProtectioninServerOS : FeatureSettingsOverrideMask : 5 \n"), std::string::npos);
  EXPECT_NE(log.find("enableProtectioninServerOS : MinVmVersionForCpuBasedMitigations : 0 \n"), std::string::npos);
  EXPECT_EQ(RegValue(kVirtKey, "MinVmVersionForCpuBasedMitigations"), "\"1.0\"");
}

TEST_F(PrereqRun, MissingValueWithoutAntivirusAnswers0) {
  UseExample("workstation-no-compat-value");
  auto run = Run();
  EXPECT_EQ(run.status, 0);
  std::string log = Log();
  EXPECT_NE(log.find("[INFO] Key not found ::: HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\"
                     "QualityCompat,cadca5fe-87d3-4b96-b7fb-a231484277cc \n"),
            std::string::npos);
  EXPECT_NE(log.find("[INFO] isAVFound : 0 \n"), std::string::npos);
  EXPECT_NE(log.find("[INFO] Return code : 0 \n"), std::string::npos);
}

TEST_F(PrereqRun, ArchitectureOptionChoosesTheView) {
  UseExample("workstation-no-compat-value");
  // The value only in the 32-bit (redirected) view.
  std::string reg = Registry();
  reg += "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\QualityCompat]\r\n"
         "\"cadca5fe-87d3-4b96-b7fb-a231484277cc\"=dword:00000000\r\n";
  machine_.WriteRegistry(reg);
  struct Case {
    std::vector<std::string> args;
    bool found;
  } cases[] = {{{}, false}, {{"-x", "32"}, true}, {{"-x", "64"}, false}, {{"-x", "32bit"}, false}};
  for (const auto& c : cases) {
    fs::remove(machine_.root() / kLogPath);
    auto run = Run(c.args);
    EXPECT_EQ(run.status, 0);
    std::string log = Log();
    EXPECT_EQ(log.find("Key found :::") != std::string::npos, c.found) << (c.args.empty() ? "" : c.args[1]);
  }
}

TEST_F(PrereqRun, OptionsAreLoggedAsScanned) {
  UseExample("workstation-compatible");
  auto run = Run({"-s", "-p", "KB1", "-lxyz", "Office", "x", "/p", "-c", "abc", "-v", "16.0", "-d", "dep.txt", "-j",
                  "1.8.0_351", "-q", "-x"});
  EXPECT_EQ(run.status, 0);
  std::string log = Log();
  EXPECT_EQ(log.find("patchName :"), std::string::npos) << "-s consumed -p; KB1 is skipped";
  EXPECT_NE(log.find("[INFO] called from software deployment[ "), std::string::npos) << log;
  EXPECT_NE(log.find("[INFO] productName : Office\n"), std::string::npos);
  EXPECT_NE(log.find("[INFO] Java detection need to be cleared[ "), std::string::npos);
  EXPECT_NE(log.find("[INFO] productVersion : 16.0\n"), std::string::npos);
  EXPECT_NE(log.find("[INFO] dependencyFileName : dep.txt\n"), std::string::npos);
  EXPECT_NE(log.find("[INFO] javaLatestInstalledVersion : 1.8.0_351\n"), std::string::npos);
  EXPECT_EQ(log.find("javaArchitecture :"), std::string::npos) << "a trailing option has no value";
}

TEST_F(PrereqRun, MissingInstallDirAnswers13AndTouchesNothing) {
  UseExample("workstation-compatible");
  std::string reg = Registry();
  size_t at = reg.find("\"HLAgentInstallDir\"");
  reg.erase(at, reg.find('\n', at) - at + 1);
  machine_.WriteRegistry(reg);
  auto run = Run();
  EXPECT_EQ(run.status, 13);
  EXPECT_FALSE(fs::exists(machine_.root() / "drive_c/Program Files (x86)/Harborline/Agent/logs"));
}

TEST_F(PrereqRun, EmptyInstallDirLogsRelativeToTheWorkingDirectory) {
  UseExample("workstation-compatible");
  std::string reg = Registry();
  size_t at = reg.find("\"HLAgentInstallDir\"");
  reg.replace(at, reg.find('\r', at) - at, "\"HLAgentInstallDir\"=\"\"");
  machine_.WriteRegistry(reg);
  fs::path cwd = machine_.root() / "cwd";
  fs::create_directories(cwd);
  auto run = RunTool(HL_PREREQ_EXE, {}, machine_.root(), cwd);
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(fs::exists(cwd / "logs" / "hlprereqhandler.log"));
}

TEST_F(PrereqRun, UnopenableLogFolderDoesNotStopTheRun) {
  UseExample("server-2016-compatible");
  auto json = nlohmann::json::parse(ReadHostFile(machine_.root() / "machine.json"));
  json["faults"] = {{"hl_mkdir", 5}, {"hl_fopen", 5}};
  machine_.WriteMachineJson(json);
  auto run = Run();
  EXPECT_EQ(run.status, 0);
  EXPECT_FALSE(fs::exists(machine_.root() / kLogPath));
  EXPECT_EQ(RegValue(kMemoryKey, "FeatureSettingsOverrideMask"), "dword:00000003");
}

TEST_F(PrereqRun, LogAppendsAcrossRuns) {
  UseExample("workstation-compatible");
  Run();
  Run();
  std::string log = Log();
  size_t first = log.find("Log open time:");
  EXPECT_NE(log.find("Log open time:", first + 1), std::string::npos);
}

}  // namespace
