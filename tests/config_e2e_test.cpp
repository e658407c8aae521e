// The agent configuration as the prereq tool loads it, end to end on machine folders.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "tests/support/run_tool.h"
#include "tests/support/temp_machine.h"

namespace {

namespace fs = std::filesystem;
using hl::test::ReadHostFile;
using hl::test::RunTool;
using hl::test::TempMachine;

const char* kLogPath = "drive_c/Agent/logs/hlprereqhandler.log";
// A 32-bit process on 64-bit Windows: the agent key lives under WOW6432Node.
const char* kAgentKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Corvanta\\Harborline\\HLAgent";

using Values = std::map<std::string, std::optional<std::string>>;  // name -> .reg data text, none: absent

std::string Sz(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') out.push_back('\\');
    out.push_back(c);
  }
  return out + "\"";
}

// A workstation whose antivirus is compatible, so that the run is about the configuration.
class ConfigRun : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(machine_.root() / "drive_c" / "Agent");  // the installed agent's folder
    machine_.WriteMachineJson(nlohmann::json::parse(R"({
      "computerName": "WS-0042",
      "join": {"name": "CORP ", "status": 3},
      "domainController": {"name": "\\\\SRV01", "address": "\\\\10.0.0.5", "domainName": "CORP",
                           "forestName": "corp.example", "dcSiteName": "HQ", "clientSiteName": "HQ"},
      "adapters": [{"index": 7, "hardwareAddress": "00:1a:2b:3c:4d:5e",
                    "addresses": [{"ip": "10.0.0.42", "mask": "255.255.255.0", "context": 16777226}]},
                   {"index": 9, "hardwareAddress": "de:ad:be:ef",
                    "addresses": [{"ip": "192.168.7.7", "mask": "255.255.255.0", "context": 3}]}],
      "services": ["HLAgentSvc"]
    })"));
  }

  std::string Section(const std::string& key, const Values& values) {
    std::string text = "[" + key + "]\r\n";
    for (const auto& [name, data] : values)
      if (data) text += Sz(name) + "=" + *data + "\r\n";
    return text + "\r\n";
  }

  void WriteRegistry() {
    machine_.WriteRegistry(Section(kAgentKey, agent_) + Section(std::string(kAgentKey) + "\\ServerInfo", server_) +
                           Section(std::string(kAgentKey) + "\\SystemDetails", system_) +
                           "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\QualityCompat]\r\n"
                           "\"cadca5fe-87d3-4b96-b7fb-a231484277cc\"=dword:00000000\r\n\r\n");
  }

  hl::test::ToolRun Run() {
    WriteRegistry();
    return RunTool(HL_PREREQ_EXE, {}, machine_.root());
  }
  std::string Log() const { return hl::test::ReadTextFile(machine_.root() / kLogPath); }
  bool Logged(const std::string& line) const { return Log().find(line) != std::string::npos; }

  TempMachine machine_;
  Values agent_ = {
      {"HLAgentInstallDir", Sz("C:\\Agent\\")}, {"HLAgentLogLevel", "dword:00000004"},
      {"HLAgentVersion", Sz("11.2.0.4417")},   {"AgentServiceName", Sz("HLAgentSvc")},
      {"MSPName", Sz("Northwind IT")},         {"CustomerName", Sz("Contoso")},
      {"CustomerId", Sz("CONTOSO-0042")},      {"HLProductCode", Sz("HLEE")},
      {"RemoteOfficeName", Sz("Head Office")}, {"RemoteOfficeID", Sz("1")},
      {"EnableDistributionServer", Sz("no")},  {"ProxyEnabled", Sz("no")},
      {"DataTransferRate_KBps", Sz("1024")},   {"EnableDSRoute", Sz("no")},
      {"EnableChecksum", Sz("yes")},           {"ImagedComputer", "dword:00000000"},
  };
  Values server_ = {
      {"HLServerName", Sz("hlserver.corp.example")}, {"HLServerFlatName", Sz("HLSERVER")},
      {"HLServerIPAddress", Sz("10.0.0.15")},        {"HLServerSecIPAddress", Sz("10.0.0.16")},
      {"HLLastAccessName", Sz("hlserver.corp.example")}, {"HLServerInstalledTime", Sz("2025-03-14 09:12:00")},
      {"HLServerPort", Sz("8020")},                  {"HLServerProtocol", Sz("https")},
  };
  Values system_ = {{"HLAgentResourceID", Sz("301")}, {"LocalDomainName", Sz("corp.example")}};
};

const char* kNotAvailable = "[ERROR] Harborline Agent info is not available in this machine.\n";

TEST_F(ConfigRun, NormalStartUpLogsTheSummary) {
  auto run = Run();
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("gv_RegKey : Software\\Corvanta\\Harborline\\HLAgent\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("7         16777226  10.0.0.42           255.255.255.0\n"), std::string::npos) << run.out;
  std::string log = Log();
  EXPECT_EQ(log.find(kNotAvailable), std::string::npos) << log;
  for (const char* line : {
           "[INFO] Harborline Server Port                -> 8383 \n",  // secure port 8020 + 363 for https
           "[INFO] Harborline Server Protocol            -> https \n",
           "[INFO] Harborline Client Namespace           -> CORP \n",
           "[INFO] Harborline Server Data Path           -> client-data/contoso-0042/domains/corp \n",
           "[INFO] Local Computer Name                       -> WS-0042 \n",
           "[INFO] Local Computer IP Address                 -> 10.0.0.42,192.168.7.7 \n",
           "[INFO] Local Computer MAC Address                -> 00:1a:2b:3c:4d:5e \n",  // none for 4 bytes
           "[INFO] Local Computer Domain controller          -> SRV01 \n",
           "[INFO] The Agent Machine Resource Id is given by -> 301 \n",
           "[INFO] Agent Data Transfer Rate in KBps\t\t   -> 1024 \n",
           "[DEBUG] @@@@@@@@ End Of InitializeAgentParameters Method @@@@@@@@ \n",
       })
    EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
}

TEST_F(ConfigRun, EmptyCustomerIdMakesTheAgentInfoUnavailable) {
  agent_["CustomerId"] = Sz("");
  auto run = Run();
  EXPECT_EQ(run.status, 0);  // the decision does not depend on the configuration
  EXPECT_TRUE(Logged("[ERROR] GetCustomerId: error while retrieving customerid\n"));
  EXPECT_TRUE(Logged("[ERROR] InitializeAgentDetails : Error while fetching customer Id from registry! \n"));
  EXPECT_TRUE(Logged(kNotAvailable));
  EXPECT_FALSE(Logged("Harborline Server Name                -> "));
  EXPECT_TRUE(Logged("[INFO] Key found ::: "));
}

TEST_F(ConfigRun, ImagedComputerIsReportedAfterTheSummary) {
  agent_["ImagedComputer"] = "dword:00000001";
  auto run = Run();
  EXPECT_EQ(run.status, 0);
  std::string log = Log();
  size_t summary = log.find("Agent Data Transfer Rate in KBps");
  size_t imaged = log.find("[INFO] InitializeAgentParameters : Computer is detected as imaged One .. \n");
  size_t unavailable = log.find(kNotAvailable);
  ASSERT_NE(summary, std::string::npos);
  ASSERT_NE(imaged, std::string::npos);
  ASSERT_NE(unavailable, std::string::npos);
  EXPECT_LT(summary, imaged);
  EXPECT_LT(imaged, unavailable);
}

TEST_F(ConfigRun, ValuesWrittenBack) {
  agent_["DataTransferRate_KBps"] = Sz("3073");
  agent_["EnableDSRoute"] = std::nullopt;
  auto run = Run();
  EXPECT_EQ(run.status, 0);
  std::string reg = machine_.ReadRegistry();
  EXPECT_NE(reg.find("\"DataTransferRate_KBps\"=\"0\""), std::string::npos) << reg;
  EXPECT_NE(reg.find("\"EnableDSRoute\"=\"no\""), std::string::npos) << reg;
  EXPECT_TRUE(Logged("[INFO] Agent Data Transfer Rate in KBps\t\t   -> 0 \n"));
}

TEST_F(ConfigRun, DistributionServerRouteWithProxyPasswordKeptOutOfTheLog) {
  agent_["EnableDistributionServer"] = Sz("yes");
  agent_["EnableDSRoute"] = Sz("YES");
  agent_["ProxyEnabled"] = Sz("yes");
  agent_["ProxyServerName"] = Sz("proxy.corp.example:3128");
  agent_["ProxyUserName"] = Sz("svc-agent");
  agent_["ProxyPassword"] = Sz("UEBzc3cwcmQh");  // "P@ssw0rd!"
  server_["DistributionServerName"] = Sz("hlds.branch.example");
  server_["DistributionServerPort"] = Sz("8040");
  server_["DistributionServerIPAddress"] = Sz("10.1.0.20");
  server_["DistributionServerSecIPAddress"] = Sz("10.1");  // four characters stay
  auto run = Run();
  EXPECT_EQ(run.status, 0);
  std::string log = Log();
  EXPECT_EQ(log.find("UEBzc3cwcmQh"), std::string::npos);
  EXPECT_EQ(log.find("P@ssw0rd!"), std::string::npos);
  EXPECT_NE(log.find("[DEBUG] Password from registry: ********\n"), std::string::npos);
  EXPECT_NE(log.find("[INFO] Proxy UserName    -> svc-agent \n"), std::string::npos);
  EXPECT_NE(log.find("[INFO] HL Distribution Server  Sec IPAddress         \t\t-> 10.1 \n"), std::string::npos);
  EXPECT_NE(log.find("[INFO] HL Distribution Server  Port      \t\t\t-> 8403 \n"), std::string::npos);
  EXPECT_NE(log.find("[INFO] Enable Distribution Server Route                       -> 1 \n"), std::string::npos);
  EXPECT_NE(machine_.ReadRegistry().find("\"DistributionServerProtocol\"=\"https\""), std::string::npos);
}

TEST_F(ConfigRun, MissingResourceIdFormsTheRequestPathAndGoesOn) {
  system_["HLAgentResourceID"] = std::nullopt;
  // The tool now asks the server: every address it may try stays on loopback, where nothing answers.
  server_["HLServerIPAddress"] = Sz("127.0.0.1");
  server_["HLServerSecIPAddress"] = Sz("127.0.0.1");
  auto run = Run();
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(Logged("[INFO] resourceIdXmlPath: /client-data/contoso-0042/domains/corp.example/resources/ws-0042.xml\n"));
  EXPECT_TRUE(Logged("[INFO] The Agent Machine Resource Id is given by -> (null) \n"));
  EXPECT_FALSE(Logged(kNotAvailable));
}

}  // namespace
