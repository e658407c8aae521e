// The antivirus search of the prereq tool, run end to end: the real executable on machine folders
// describing Security Center products, installed products and the Defender client library.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/run_tool.h"
#include "tests/support/temp_machine.h"

namespace {

namespace fs = std::filesystem;
using hl::test::ReadHostFile;
using nlohmann::json;
using Lines = std::vector<std::string>;

const char* kLogPath = "drive_c/Program Files (x86)/Harborline/Agent/logs/hlprereqhandler.log";
const fs::path kLibDir = fs::path(HL_BIN_DIR).parent_path() / "lib";
const int kAvFound = 15613 % 256;  // the shell sees the low 8 bits of 15613

const std::string kKeyNotFound =
    "[INFO] Key not found ::: HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\QualityCompat,"
    "cadca5fe-87d3-4b96-b7fb-a231484277cc ";
const std::string kScConnected = "[INFO] GetValuesUsingWMIQuery : Connected to ROOT\\SecurityCenter2 WMI namespace";
const std::string kCimConnected = "[INFO] GetValuesUsingWMIQuery : Connected to ROOT\\CIMV2 WMI namespace";
const std::string kCleanDebug = "[DEBUG] GetValuesUsingWMIQuery : Going to clean the allocated resources .";
const std::string kCleanInfo = "[INFO] GetValuesUsingWMIQuery : Going to clean the allocated resources .";
const std::string kNoConnection =
    "[ERROR] LoadInstalledUpdatesUsingWMI : WMI Connection failed. So ignoring WMI checks";
const std::string kDefenderBanner = "[INFO] @@@@@@@@ Inside defenderStatusCheck Method @@@@@@@@ ";
const std::string kX86Library = "c:\\Program Files (x86)\\Windows Defender\\MpClient.dll";
const std::string kLibrary = "c:\\Program Files\\Windows Defender\\MpClient.dll";

std::string Value(int position, const std::string& name) {
  return "[INFO] GetValuesUsingWMIQuery : The required Value is given by " + std::to_string(position) + " : " + name;
}
std::string DisplayName(const std::string& name) {
  return "[INFO] GetValuesUsingWMIQuery : The required Value is given by: " + name;
}
std::string State(const std::string& text) { return "[INFO] GetValuesUsingWMIQuery : state : " + text; }
std::string IsAvFound(int found) { return "[INFO] isAVFound : " + std::to_string(found) + " "; }

// One run of the tool on a copy of an example machine whose machine.json the test adjusts.
class AntivirusRun : public ::testing::Test {
 protected:
  void Use(const std::string& example) {
    hl::test::CopyTree(fs::path(HL_SOURCE_DIR) / "examples" / "machines" / example, machine_->root());
    config_ = json::parse(ReadHostFile(machine_->root() / "machine.json"));
    config_.erase("defenderLibrary");
  }
  void Workstation(json products) {
    Use("workstation-antivirus-disabled");
    config_["wmi"] = {{"root\\SecurityCenter2", {{"AntivirusProduct", std::move(products)}}}};
  }
  void Server(json products) {
    Use("server-no-antivirus");
    config_["wmi"] = {{"root\\CIMV2", {{"Win32_Product", std::move(products)}}}};
  }
  // Installs a Defender client library fixture as C:\<folder>\Windows Defender\MpClient.dll.
  void InstallDefender(const std::string& hostFolder, const char* fixture = "libmpclient_fixture.so") {
    fs::path target = machine_->root() / "drive_c" / hostFolder / "Windows Defender";
    fs::create_directories(target);
    fs::copy_file(kLibDir / fixture, target / "MpClient.dll", fs::copy_options::overwrite_existing);
  }

  hl::test::ToolRun Run() {
    machine_->WriteMachineJson(config_);
    return hl::test::RunTool(HL_PREREQ_EXE, {"-p", "KB5005565"}, machine_->root());
  }

  // The log's lines as "[LEVEL] text", without time stamps and the open and close lines.
  Lines LogLines() const {
    std::istringstream in(hl::test::ReadTextFile(machine_->root() / kLogPath));
    std::regex stamp(R"(^\[ [^\]]* \] \[ \d+ \] (\[[A-Z]+\] .*)$)");
    Lines lines;
    for (std::string line; std::getline(in, line);) {
      std::smatch m;
      if (std::regex_match(line, m, stamp)) lines.push_back(m[1]);
    }
    return lines;
  }
  // The lines of the search: from "Key not found" to the "isAVFound" line, both included.
  Lines SearchLines() const {
    Lines all = LogLines();
    auto begin = std::find(all.begin(), all.end(), kKeyNotFound);
    auto end = std::find_if(begin, all.end(), [](const std::string& l) { return l.rfind("[INFO] isAVFound :", 0) == 0; });
    if (begin == all.end() || end == all.end()) return all;  // shows the whole log in the failure
    return Lines(begin, end + 1);
  }
  bool Logged(const std::string& line) const {
    Lines all = LogLines();
    return std::find(all.begin(), all.end(), line) != all.end();
  }
  // None of the three mitigation values was written (the log shows no write either). The
  // registry as a whole may change: the agent configuration records values of its own.
  bool NoMitigationWrites() const {
    std::string reg = machine_->ReadRegistry();
    for (const char* name : {"\"FeatureSettingsOverride\"", "\"FeatureSettingsOverrideMask\"",
                             "\"MinVmVersionForCpuBasedMitigations\""})
      if (reg.find(name) != std::string::npos) return false;
    for (const std::string& line : LogLines())
      if (line.find("enableProtectioninServerOS") != std::string::npos) return false;
    return true;
  }

  // A fresh, empty machine folder (each case of a table starts from its own).
  void FreshMachine() {
    machine_.reset();
    machine_ = std::make_unique<hl::test::TempMachine>();
  }

  std::unique_ptr<hl::test::TempMachine> machine_ = std::make_unique<hl::test::TempMachine>();
  json config_;
};

// ---- Workstations: the Security Center ----

TEST_F(AntivirusRun, WorkstationStatesDecide) {
  struct Case {
    json products;
    int status;
    Lines scan;  // lines between the connection and the cleaning line
  } cases[] = {
      {json::array({{{"displayName", "Windows Defender"}, {"productState", 0x061100}},
                    {{"displayName", "Contoso AV"}, {"productState", 0x060100}}}),
       kAvFound,
       {DisplayName("Windows Defender"), State("1   61100"), "[INFO] GetValuesUsingWMIQuery : Enabled ",
        DisplayName("Contoso AV"), State("0   60100")}},
      {json::array({{{"displayName", "Contoso AV"}, {"productState", 0x060100}}}), 0,
       {DisplayName("Contoso AV"), State("0   60100")}},
      {json::array({{{"displayName", "Contoso AV"}, {"productState", 0x041000}}}), kAvFound,
       {DisplayName("Contoso AV"), State("1   41000"), "[INFO] GetValuesUsingWMIQuery : Enabled "}},
      {json::array({{{"displayName", "Contoso AV"}, {"productState", 0}}}), 0,
       {DisplayName("Contoso AV"), State("    0")}},
      {json::array(), 0, {}},
      {json::array({{{"productState", 0x061100}}}), kAvFound,
       {DisplayName("-"), State("1   61100"), "[INFO] GetValuesUsingWMIQuery : Enabled "}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.products.dump());
    FreshMachine();
    Workstation(c.products);
    auto run = Run();
    EXPECT_EQ(run.status, c.status);
    Lines expected = {kKeyNotFound, kScConnected};
    expected.insert(expected.end(), c.scan.begin(), c.scan.end());
    expected.push_back(kCleanDebug);
    expected.push_back(IsAvFound(c.status == 0 ? 0 : 1));
    EXPECT_EQ(SearchLines(), expected);
    Lines all = LogLines();
    ASSERT_GE(all.size(), 1u);
    EXPECT_EQ(all.back(), c.status == 0 ? "[INFO] Return code : 0 " : "[INFO] Return code : 15613 ");
    EXPECT_FALSE(Logged(kDefenderBanner)) << "workstations do not ask Defender";
    EXPECT_TRUE(NoMitigationWrites()) << "no mitigation writes on a workstation";
  }
}

TEST_F(AntivirusRun, WorkstationWmiFailuresAnswer0) {
  struct Case {
    json faults;
    std::string error;
  } cases[] = {
      {{{"ConnectServer:root\\SecurityCenter2", "0x8004100E"}},
       "[ERROR] GetValuesUsingWMIQuery :Could not connect. Error code = 0x8004100e"},
      {{{"CoInitializeEx", "0x80004005"}},
       "[ERROR] GetValuesUsingWMIQuery : Failed to initialize COM library. Error code = 0x80004005"},
      {{{"CoCreateInstance", "0x80040154"}},
       "[ERROR] GetValuesUsingWMIQuery : Failed to create IWbemLocator object. Err code = 0x80040154"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.error);
    FreshMachine();
    Workstation(json::array({{{"displayName", "Windows Defender"}, {"productState", 0x061100}}}));
    config_["faults"] = c.faults;
    auto run = Run();
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(SearchLines(), (Lines{kKeyNotFound, c.error, kNoConnection, IsAvFound(0)}));
    EXPECT_TRUE(Logged("[INFO] Return code : 0 "));
  }
}

TEST_F(AntivirusRun, WorkstationQueryFailureAnswers0) {
  Workstation(json::array({{{"displayName", "Windows Defender"}, {"productState", 0x061100}}}));
  config_["faults"] = {{"ExecQuery:SELECT * FROM AntivirusProduct", "0x80041017"}};
  auto run = Run();
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(SearchLines(),
            (Lines{kKeyNotFound, kScConnected,
                   "[ERROR] GetValuesUsingWMIQuery : Query for the required wmi class is failed . Error code = "
                   "0x80041017",
                   kCleanDebug, IsAvFound(0)}));
}

// ---- Servers: installed products, then Defender ----

TEST_F(AntivirusRun, ServerListedProductStopsTheScanAndSkipsDefender) {
  struct Case {
    json products;
    Lines scan;
  } cases[] = {
      {json::array({{{"Name", "7-Zip 19.00"}}, {{"Name", "McAfee Agent"}}, {{"Name", "Sophos Endpoint Agent"}}}),
       {Value(1, "7-Zip 19.00"), Value(2, "McAfee Agent")}},
      {json::array({{{"Name", "avast! Antivirus"}}, {{"Name", "AVAST ANTIVIRUS"}}, json::object(),
                    {{"Name", "Sophos Endpoint Agent"}}}),
       {Value(1, "avast! Antivirus"), Value(2, "AVAST ANTIVIRUS"), Value(3, "-"), Value(4, "Sophos Endpoint Agent")}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.products.dump());
    FreshMachine();
    Server(c.products);
    config_["defender"] = {{"hresult", 0}, {"enabled", true}};
    InstallDefender("Program Files");
    auto run = Run();
    EXPECT_EQ(run.status, kAvFound);
    Lines expected = {kKeyNotFound, kCimConnected, "[INFO] enum"};
    expected.insert(expected.end(), c.scan.begin(), c.scan.end());
    expected.insert(expected.end(), {"[INFO] It is AV", kCleanInfo, IsAvFound(1)});
    EXPECT_EQ(SearchLines(), expected);
    EXPECT_FALSE(Logged(kDefenderBanner)) << "Defender is not asked once a product matched";
    EXPECT_EQ(LogLines().back(), "[INFO] Return code : 15613 ");
    EXPECT_TRUE(NoMitigationWrites()) << "no mitigation writes with 15613";
  }
}

TEST_F(AntivirusRun, ServerWithNothingFoundWritesTheMitigations) {
  Server(json::array({{{"Name", "avast! Antivirus"}}, {{"Name", "AVAST ANTIVIRUS"}}}));
  auto run = Run();
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(SearchLines(),
            (Lines{kKeyNotFound, kCimConnected, "[INFO] enum", Value(1, "avast! Antivirus"),
                   Value(2, "AVAST ANTIVIRUS"), kCleanInfo, kDefenderBanner,
                   "[DEBUG] IsFileExist : The File Name " + kX86Library + " is not found 3",
                   "[INFO] Dll path is " + kLibrary,
                   "[ERROR] Failed to load dll from path : \"" + kLibrary + "\" with error = 126", IsAvFound(0)}));
  Lines all = LogLines();
  auto at = std::find(all.begin(), all.end(), IsAvFound(0));
  Lines tail;
  for (auto it = at; it != all.end(); ++it)
    if (it->find("enableProtectioninServerOS : ") != std::string::npos || it->rfind("[INFO] Return code", 0) == 0)
      tail.push_back(*it);
  EXPECT_EQ(tail, (Lines{"[INFO] enableProtectioninServerOS : FeatureSettingsOverride : 0 ",
                         "[INFO] enableProtectioninServerOS : FeatureSettingsOverrideMask : 0 ",
                         "[INFO] enableProtectioninServerOS : MinVmVersionForCpuBasedMitigations : 0 ",
                         "[INFO] Return code : 0 "}));
  EXPECT_FALSE(NoMitigationWrites());
  EXPECT_NE(machine_->ReadRegistry().find("\"FeatureSettingsOverrideMask\"=dword:00000003"), std::string::npos);
}

TEST_F(AntivirusRun, ServerDefenderAnswers) {
  const std::string x86Exists = "[DEBUG] IsFileExist : The File " + kX86Library + " size is given by : ";
  const std::string x86Missing = "[DEBUG] IsFileExist : The File Name " + kX86Library + " is not found 3";
  struct Case {
    const char* name;
    json defender;
    const char* folder;   // where the library is installed
    const char* fixture;  // which library
    int status;
    std::string last;  // the Defender check's last line
  } cases[] = {
      {"enabled", {{"hresult", 0}, {"enabled", true}}, "Program Files", "libmpclient_fixture.so", kAvFound,
       "[INFO] Windows Defender is Enabled"},
      {"enabled x86", {{"hresult", 0}, {"enabled", true}}, "Program Files (x86)", "libmpclient_fixture.so", kAvFound,
       "[INFO] Windows Defender is Enabled"},
      {"disabled", {{"hresult", 0}, {"enabled", false}}, "Program Files", "libmpclient_fixture.so", 0,
       "[INFO] Windows Defender is Disabled"},
      {"BOOL other than 1", {{"hresult", 0}, {"enabled", 2}}, "Program Files", "libmpclient_fixture.so", 0,
       "[INFO] Windows Defender is Disabled"},
      {"failing", {{"hresult", "0x80070005"}, {"enabled", true}}, "Program Files", "libmpclient_fixture.so", 0,
       "[ERROR] Function WDStatus failed with HRESULT  = 2147942405"},
      {"no WDStatus", json::object(), "Program Files", "libmpclient_nostatus_fixture.so", 0,
       "[ERROR] GetProcAddress failed with error = 127"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FreshMachine();
    Server(json::array({{{"Name", "7-Zip 19.00"}}}));
    config_["defender"] = c.defender;
    InstallDefender(c.folder, c.fixture);
    auto run = Run();
    EXPECT_EQ(run.status, c.status);
    bool x86 = std::string(c.folder) == "Program Files (x86)";
    std::string path = x86 ? kX86Library : kLibrary;
    Lines search = SearchLines();
    Lines expected = {kKeyNotFound, kCimConnected, "[INFO] enum", Value(1, "7-Zip 19.00"), kCleanInfo,
                      kDefenderBanner};
    ASSERT_GT(search.size(), expected.size());
    if (x86) {
      EXPECT_EQ(search[expected.size()].rfind(x86Exists, 0), 0u) << search[expected.size()];
      expected.push_back(search[expected.size()]);
    } else {
      expected.push_back(x86Missing);
    }
    expected.push_back("[INFO] Dll path is " + path);
    expected.push_back("[INFO] DLL loaded successfully from path : \"" + path + "\"");
    if (c.last.find("GetProcAddress") == std::string::npos)
      expected.push_back("[INFO] GetProcAddress successful for function name : \"WDStatus\"");
    expected.push_back(c.last);
    expected.push_back(IsAvFound(c.status == 0 ? 0 : 1));
    EXPECT_EQ(search, expected);
    EXPECT_EQ(NoMitigationWrites(), c.status != 0);
  }
}

TEST_F(AntivirusRun, ServerEmptyLibraryFallsBackToTheSecondLocation) {
  Server(json::array());
  config_["defender"] = {{"hresult", 0}, {"enabled", true}};
  machine_->WriteFile("drive_c/Program Files (x86)/Windows Defender/MpClient.dll", "");
  InstallDefender("Program Files");
  auto run = Run();
  EXPECT_EQ(run.status, kAvFound);
  EXPECT_TRUE(Logged("[DEBUG] IsFileExist : The File " + kX86Library + " size is given by : 0"));
  EXPECT_TRUE(Logged("[DEBUG] IsFileExist : The required file (" + kX86Library +
                     ") size is 0 bytes. Hence returning file not found."));
  EXPECT_TRUE(Logged("[INFO] Dll path is " + kLibrary));
  EXPECT_TRUE(Logged("[INFO] Windows Defender is Enabled"));
}

TEST_F(AntivirusRun, ServerWmiFailureStillAsksDefender) {
  Server(json::array({{{"Name", "McAfee Agent"}}}));
  config_["faults"] = {{"ConnectServer:root\\CIMV2", "0x80041003"}};
  config_["defender"] = {{"hresult", 0}, {"enabled", false}};
  InstallDefender("Program Files");
  auto run = Run();
  EXPECT_EQ(run.status, 0);
  Lines search = SearchLines();
  ASSERT_GE(search.size(), 4u);
  EXPECT_EQ(Lines(search.begin(), search.begin() + 4),
            (Lines{kKeyNotFound, "[ERROR] GetValuesUsingWMIQuery :Could not connect. Error code = 0x80041003",
                   kNoConnection, kDefenderBanner}));
  EXPECT_EQ(search[search.size() - 2], "[INFO] Windows Defender is Disabled");
  EXPECT_TRUE(Logged("[INFO] Return code : 0 "));
}

TEST_F(AntivirusRun, ServerWithoutWmiSectionHasAnEmptyProductList) {
  Use("server-no-antivirus");
  config_.erase("wmi");
  auto run = Run();
  EXPECT_EQ(run.status, 0);
  Lines search = SearchLines();
  ASSERT_GE(search.size(), 5u);
  EXPECT_EQ(Lines(search.begin(), search.begin() + 5),
            (Lines{kKeyNotFound, kCimConnected, "[INFO] enum", kCleanInfo, kDefenderBanner}));
}

// ---- The example machines of the search, with the library installed as the demo does ----

TEST_F(AntivirusRun, ExampleMachinesGiveTheirOutcome) {
  struct Case {
    const char* example;
    int status;
    bool mitigations;
    bool defenderAsked;
  } cases[] = {
      {"workstation-antivirus-enabled", kAvFound, false, false},
      {"workstation-antivirus-disabled", 0, false, false},
      {"server-listed-antivirus", kAvFound, false, false},
      {"server-defender-enabled", kAvFound, false, true},
      {"server-no-antivirus", 0, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.example);
    FreshMachine();
    hl::test::CopyTree(fs::path(HL_SOURCE_DIR) / "examples" / "machines" / c.example, machine_->root());
    json config = json::parse(ReadHostFile(machine_->root() / "machine.json"));
    if (config.contains("defenderLibrary")) {
      std::string where = config["defenderLibrary"];  // "C:\\<folder>\\Windows Defender\\MpClient.dll"
      std::string folder = where.substr(3, where.find("\\Windows Defender") - 3);
      InstallDefender(folder, config.value("defenderLibraryKind", "") == "noWDStatus"
                                  ? "libmpclient_nostatus_fixture.so"
                                  : "libmpclient_fixture.so");
    }
    auto run = hl::test::RunTool(HL_PREREQ_EXE, {}, machine_->root());
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(NoMitigationWrites(), !c.mitigations);
    EXPECT_EQ(Logged(kDefenderBanner), c.defenderAsked);
    Lines all = LogLines();
    ASSERT_FALSE(all.empty());
    EXPECT_EQ(all.back(), c.status == 0 ? "[INFO] Return code : 0 " : "[INFO] Return code : 15613 ");
  }
}

}  // namespace
