#include "prereq/antivirus.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "agent/config/agent_config.h"
#include "agent/log/log.h"
#include "tests/support/temp_machine.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using Lines = std::vector<std::string>;

// A temporary machine with a DEBUG log at C:\Agent\logs\av.log; the log's lines come back as
// "[LEVEL] text" without time stamps.
class AntivirusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    hl::ResetAgentConfig();
    fs::create_directories(machine_.root() / "drive_c" / "Agent" / "logs");
    ASSERT_TRUE(InitLogDefaults());
    ASSERT_TRUE(SetLogParams("av.log", "C:\\Agent\\logs", LOG_LEVEL_DEBUG));
    ASSERT_TRUE(OpenLogFileNew());
    liveBefore_ = hl::platform::LiveComObjects();
  }
  void TearDown() override {
    CloseLogFile();
    FreeLogSettings();
    EXPECT_EQ(hl::platform::LiveComObjects(), liveBefore_) << "a COM object was not released";
    EXPECT_FALSE(hl::platform::ComInitialized()) << "COM initialisation not undone";
  }

  Lines LogLines() {
    CloseLogFile();
    std::istringstream in(hl::test::ReadTextFile(machine_.root() / "drive_c/Agent/logs/av.log"));
    Lines lines;
    std::regex stamp(R"(^\[ [^\]]* \] \[ \d+ \] (\[[A-Z]+\] .*)$)");
    for (std::string line; std::getline(in, line);) {
      std::smatch m;
      if (std::regex_match(line, m, stamp)) lines.push_back(m[1]);
    }
    EXPECT_TRUE(OpenLogFileAppend());
    return lines;
  }

  // Machine with the given Security Center products and installed products.
  void Products(json antivirus, json installed) {
    machine_.WriteMachineJson({{"wmi",
                                {{"root\\SecurityCenter2", {{"AntivirusProduct", std::move(antivirus)}}},
                                 {"root\\CIMV2", {{"Win32_Product", std::move(installed)}}}}}});
  }

  BYTE ScanSecurityCenter() {
    BYTE found = 0;
    ConnectWmiNamespace(WSTR("root\\SecurityCenter2"));
    EXPECT_EQ(LoadInstalledUpdatesUsingWMI(&found), 0);
    DisconnectWmi();
    return found;
  }

  BYTE ScanInstalled() {
    BYTE found = 0;
    ConnectWmiNamespace(WSTR("root\\CIMV2"));
    FindAntivirusInInstalledProducts(&found);
    DisconnectWmi();
    return found;
  }

  hl::test::TempMachine machine_;
  long liveBefore_ = 0;
};

const std::string kScConnected = "[INFO] GetValuesUsingWMIQuery : Connected to ROOT\\SecurityCenter2 WMI namespace";
const std::string kCimConnected = "[INFO] GetValuesUsingWMIQuery : Connected to ROOT\\CIMV2 WMI namespace";
const std::string kCleanDebug = "[DEBUG] GetValuesUsingWMIQuery : Going to clean the allocated resources .";
const std::string kCleanInfo = "[INFO] GetValuesUsingWMIQuery : Going to clean the allocated resources .";
const std::string kNoConnection =
    "[ERROR] LoadInstalledUpdatesUsingWMI : WMI Connection failed. So ignoring WMI checks";

TEST(AntivirusNames, CaseSensitiveSubstringsOfTheList) {
  struct Case {
    const char* name;
    bool known;
  } cases[] = {
      {"Avast Antivirus", true},         {"avast! Antivirus", false},
      {"AVAST ANTIVIRUS", false},        {"McAfee Agent", true},
      {"Sophos Endpoint Agent", true},   {"Norton Security Ultra", true},
      {"Webroot Client Service", true},  {"Webroot", false},
      {"Microsoft security essentials", true},
      {"Microsoft Security Essentials", false},
      {"Windows Defender", true},        {"ESET NOD32 Antivirus", true},
      {"ESET Endpoint Security", false}, {"AVG Internet Security", true},
      {"K7 Antivirus Premium", true},    {"G Data Antivirus", true},
      {"Kaspersky Endpoint Security", true},
      {"Bitdefender Antivirus Plus", true},
      {"Avira Antivirus", true},         {"Emsisoft Anti-Malware", true},
      {"F-Secure SAFE", true},           {"Malwarebytes", true},
      {"Panda Dome", true},              {"Trend Micro Apex One", true},
      {"AppGuard", true},                {"MicroWorld eScan", true},
      {"Symantec Endpoint Protection", true},
      {"7-Zip 19.00", false},            {"-", false},
      {"", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsKnownAntivirusName(c.name), c.known) << c.name;
  EXPECT_FALSE(IsKnownAntivirusName(nullptr));
}

TEST(AntivirusValues, TextOfAWmiValue) {
  VARIANT v;
  VariantInit(&v);
  EXPECT_EQ(WmiValueToText(v), u"-") << "absent";
  v.vt = VT_NULL;
  EXPECT_EQ(WmiValueToText(v), u"-");
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocString(WSTR("McAfee Agent"));
  EXPECT_EQ(WmiValueToText(v), u"McAfee Agent");
  VariantClear(&v);
  v.vt = VT_BSTR;
  v.bstrVal = nullptr;
  EXPECT_EQ(WmiValueToText(v), u"") << "a null BSTR is the empty text";
  v.vt = VT_I4;
  v.lVal = -12;
  EXPECT_EQ(WmiValueToText(v), u"-12");
}

TEST_F(AntivirusTest, SecurityCenterStatesDecideByTheSecondHexDigit) {
  struct Case {
    json state;
    const char* logged;
    bool enabled;
  } cases[] = {
      {0x061100, "1   61100", true},  {0x060100, "0   60100", false}, {0x041000, "1   41000", true},
      {0x0, "    0", false},          {0x1F000, "f   1f000", false}, {0x10, "0   10", false},
      {0x11, "1   11", true},         {nullptr, "    0", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.logged);
    Products(json::array({{{"displayName", "Contoso AV"}, {"productState", c.state}}}), json::array());
    size_t before = LogLines().size();
    EXPECT_EQ(ScanSecurityCenter(), c.enabled ? 1 : 0);
    Lines all = LogLines();
    Lines expected = {kScConnected, "[INFO] GetValuesUsingWMIQuery : The required Value is given by: Contoso AV",
                      std::string("[INFO] GetValuesUsingWMIQuery : state : ") + c.logged};
    if (c.enabled) expected.push_back("[INFO] GetValuesUsingWMIQuery : Enabled ");
    expected.push_back(kCleanDebug);
    EXPECT_EQ(Lines(all.begin() + static_cast<long>(before), all.end()), expected);
  }
}

TEST_F(AntivirusTest, AnyEnabledProductIsEnoughAndEveryProductIsRead) {
  Products(json::array({{{"displayName", "Windows Defender"}, {"productState", 0x061100}},
                        {{"displayName", "Contoso AV"}, {"productState", 0x060100}},
                        {{"productState", 0x041000}}}),
           json::array());
  EXPECT_EQ(ScanSecurityCenter(), 1);
  Lines expected = {kScConnected,
                    "[INFO] GetValuesUsingWMIQuery : The required Value is given by: Windows Defender",
                    "[INFO] GetValuesUsingWMIQuery : state : 1   61100",
                    "[INFO] GetValuesUsingWMIQuery : Enabled ",
                    "[INFO] GetValuesUsingWMIQuery : The required Value is given by: Contoso AV",
                    "[INFO] GetValuesUsingWMIQuery : state : 0   60100",
                    "[INFO] GetValuesUsingWMIQuery : The required Value is given by: -",
                    "[INFO] GetValuesUsingWMIQuery : state : 1   41000",
                    "[INFO] GetValuesUsingWMIQuery : Enabled ",
                    kCleanDebug};
  EXPECT_EQ(LogLines(), expected);
}

TEST_F(AntivirusTest, NoProductLeavesTheFlagAndStillCleans) {
  machine_.WriteMachineJson(json::object());  // a workstation: both namespaces, no instances
  BYTE found = 1;
  ConnectWmiNamespace(WSTR("root\\SecurityCenter2"));
  EXPECT_EQ(LoadInstalledUpdatesUsingWMI(&found), 0);
  DisconnectWmi();
  EXPECT_EQ(found, 1) << "never cleared";
  EXPECT_EQ(LogLines(), (Lines{kScConnected, kCleanDebug}));
}

TEST_F(AntivirusTest, InstalledProductsStopAtTheFirstMatch) {
  Products(json::array(), json::array({{{"Name", "7-Zip 19.00"}},
                                       json::object(),
                                       {{"Name", "avast! Antivirus"}},
                                       {{"Name", "AVAST ANTIVIRUS"}},
                                       {{"Name", "McAfee Agent"}},
                                       {{"Name", "Sophos Endpoint Agent"}}}));
  EXPECT_EQ(ScanInstalled(), 1);
  Lines expected = {kCimConnected,
                    "[INFO] enum",
                    "[INFO] GetValuesUsingWMIQuery : The required Value is given by 1 : 7-Zip 19.00",
                    "[INFO] GetValuesUsingWMIQuery : The required Value is given by 2 : -",
                    "[INFO] GetValuesUsingWMIQuery : The required Value is given by 3 : avast! Antivirus",
                    "[INFO] GetValuesUsingWMIQuery : The required Value is given by 4 : AVAST ANTIVIRUS",
                    "[INFO] GetValuesUsingWMIQuery : The required Value is given by 5 : McAfee Agent",
                    "[INFO] It is AV",
                    kCleanInfo};
  EXPECT_EQ(LogLines(), expected);
}

TEST_F(AntivirusTest, NoListedProductLeavesTheFlag) {
  Products(json::array(), json::array({{{"Name", "Microsoft Security Essentials"}}}));
  EXPECT_EQ(ScanInstalled(), 0);
  Lines lines = LogLines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), kCleanInfo);
}

TEST_F(AntivirusTest, LongNamesAreCutTo259Characters) {
  std::string longName(300, 'x');
  longName.replace(270, 6, "Sophos");  // beyond the 259 characters used
  Products(json::array({{{"displayName", longName}, {"productState", 0}}}), json::array({{{"Name", longName}}}));
  EXPECT_EQ(ScanInstalled(), 0);
  ScanSecurityCenter();
  std::string cut(259, 'x');
  Lines lines = LogLines();
  EXPECT_EQ(lines[2], "[INFO] GetValuesUsingWMIQuery : The required Value is given by 1 : " + cut);
  EXPECT_EQ(lines[5], "[INFO] GetValuesUsingWMIQuery : The required Value is given by: " + cut);
}

TEST_F(AntivirusTest, ConnectionFailuresAreLoggedAndScansSkip) {
  struct Case {
    json faults;
    json os;
    const char* error;
    HRESULT result;
  } cases[] = {
      {{{"CoInitializeEx", "0x80004005"}}, json::object(),
       "[ERROR] GetValuesUsingWMIQuery : Failed to initialize COM library. Error code = 0x80004005", E_FAIL},
      {{{"CoCreateInstance", "0x80040154"}}, json::object(),
       "[ERROR] GetValuesUsingWMIQuery : Failed to create IWbemLocator object. Err code = 0x80040154",
       REGDB_E_CLASSNOTREG},
      {{{"ConnectServer:root\\SecurityCenter2", "0x80041003"}}, json::object(),
       "[ERROR] GetValuesUsingWMIQuery :Could not connect. Error code = 0x80041003", WBEM_E_ACCESS_DENIED},
      {json::object(), {{"productType", 3}},
       "[ERROR] GetValuesUsingWMIQuery :Could not connect. Error code = 0x8004100e", WBEM_E_INVALID_NAMESPACE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.error);
    machine_.WriteMachineJson({{"faults", c.faults}, {"os", c.os}});
    size_t before = LogLines().size();
    EXPECT_EQ(ConnectWmiNamespace(WSTR("root\\SecurityCenter2")), c.result);
    BYTE found = 0;
    EXPECT_EQ(LoadInstalledUpdatesUsingWMI(&found), 0);
    FindAntivirusInInstalledProducts(&found);
    DisconnectWmi();
    EXPECT_EQ(found, 0);
    Lines all = LogLines();
    EXPECT_EQ(Lines(all.begin() + static_cast<long>(before), all.end()),
              (Lines{c.error, kNoConnection, kNoConnection}));
  }
}

TEST_F(AntivirusTest, ProxyBlanketFailureIsLoggedAndTheScanGoesOn) {
  machine_.WriteMachineJson({{"faults", {{"CoSetProxyBlanket", "0x80070005"}}},
                             {"wmi", {{"root\\CIMV2", {{"Win32_Product", {{{"Name", "Symantec Endpoint"}}}}}}}}});
  EXPECT_EQ(ConnectWmiNamespace(WSTR("ROOT\\CIMV2")), E_ACCESSDENIED);
  BYTE found = 0;
  FindAntivirusInInstalledProducts(&found);
  DisconnectWmi();
  EXPECT_EQ(found, 1);
  Lines lines = LogLines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0], kCimConnected);
  EXPECT_EQ(lines[1], "[ERROR] GetValuesUsingWMIQuery :Could not set proxy blanket. Error code = 0x80070005");
}

TEST_F(AntivirusTest, QueryFailuresAreLoggedWithTheirCode) {
  machine_.WriteMachineJson({{"faults",
                              {{"ExecQuery:SELECT * FROM AntivirusProduct", "0x80041017"},
                               {"ExecQuery:SELECT * FROM Win32_Product", "0x80041004"}}}});
  BYTE found = 0;
  ConnectWmiNamespace(WSTR("root\\SecurityCenter2"));
  EXPECT_EQ(LoadInstalledUpdatesUsingWMI(&found), WBEM_E_INVALID_QUERY);
  DisconnectWmi();
  ConnectWmiNamespace(WSTR("root\\CIMV2"));
  FindAntivirusInInstalledProducts(&found);
  DisconnectWmi();
  EXPECT_EQ(found, 0);
  const std::string queryFailed =
      "[ERROR] GetValuesUsingWMIQuery : Query for the required wmi class is failed . Error code = 0x";
  EXPECT_EQ(LogLines(), (Lines{kScConnected, queryFailed + "80041017", kCleanDebug, kCimConnected,
                               queryFailed + "80041004", kCleanInfo}));
}

TEST_F(AntivirusTest, ReconnectingReleasesTheEarlierConnection) {
  machine_.WriteMachineJson(json::object());
  EXPECT_EQ(ConnectWmiNamespace(WSTR("root\\SecurityCenter2")), S_OK);
  EXPECT_EQ(ConnectWmiNamespace(WSTR("root\\CIMV2")), S_OK);
  DisconnectWmi();
  DisconnectWmi();  // a second disconnect has nothing left to release
}

TEST_F(AntivirusTest, FileExistsOnlyWhenItOpensAndIsNotEmpty) {
  machine_.WriteFile("drive_c/Data/full.bin", "MZ");
  machine_.WriteFile("drive_c/Data/empty.bin", "");
  EXPECT_EQ(IsFileExist("C:\\Data\\full.bin"), 1);
  EXPECT_EQ(IsFileExist("c:\\data\\FULL.BIN"), 1);
  EXPECT_EQ(IsFileExist("C:\\Data\\empty.bin"), 0);
  EXPECT_EQ(IsFileExist("C:\\Data\\missing.bin"), 0);
  EXPECT_EQ(IsFileExist("C:\\Data"), 0) << "a folder is not a file";
  EXPECT_EQ(IsFileExist(nullptr), 0);
  Lines lines = LogLines();
  Lines expected = {
      "[DEBUG] IsFileExist : The File C:\\Data\\full.bin size is given by : 2",
      "[DEBUG] IsFileExist : The File c:\\data\\FULL.BIN size is given by : 2",
      "[DEBUG] IsFileExist : The File C:\\Data\\empty.bin size is given by : 0",
      "[DEBUG] IsFileExist : The required file (C:\\Data\\empty.bin) size is 0 bytes. Hence returning file not found.",
      "[DEBUG] IsFileExist : The File Name C:\\Data\\missing.bin is not found 2",
  };
  ASSERT_GE(lines.size(), expected.size() + 1);
  EXPECT_EQ(Lines(lines.begin(), lines.begin() + 5), expected);
  EXPECT_EQ(lines[5].rfind("[DEBUG] IsFileExist : The File Name C:\\Data is not found ", 0), 0u) << lines[5];
}

TEST_F(AntivirusTest, DefenderLibraryMissingAtBothLocations) {
  EXPECT_EQ(defenderStatusCheck(), 0);
  Lines lines = LogLines();
  Lines expected = {
      "[INFO] @@@@@@@@ Inside defenderStatusCheck Method @@@@@@@@ ",
      "[DEBUG] IsFileExist : The File Name c:\\Program Files (x86)\\Windows Defender\\MpClient.dll is not found 3",
      "[INFO] Dll path is c:\\Program Files\\Windows Defender\\MpClient.dll",
      "[ERROR] Failed to load dll from path : \"c:\\Program Files\\Windows Defender\\MpClient.dll\" with error = 126",
  };
  EXPECT_EQ(lines, expected);
}

}  // namespace
