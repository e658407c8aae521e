// The whole start-up: order, fatal steps, summary, distribution-server route, imaged computers.
#include <gtest/gtest.h>

#include <vector>

#include "agent/config/config_test_support.h"
#include "agent/registry/registry.h"

namespace {

using hl::test::AgentRegistry;
using hl::test::Contains;

class InitializeAgentParametersTest : public hl::test::ConfigTestBase {};

// True when the parts occur in `text` in this order.
bool InOrder(const std::string& text, const std::vector<std::string>& parts) {
  size_t at = 0;
  for (const auto& part : parts) {
    at = text.find(part, at);
    if (at == std::string::npos) return false;
    at += part.size();
  }
  return true;
}

const std::string kStars = std::string(66, '*') + " \n";

TEST_F(InitializeAgentParametersTest, CompleteConfigurationAndSummary) {
  WriteRegistry(AgentRegistry());
  PatchMachine({{"environment", {{"TEMP", "C:\\Windows\\Temp"}}}});
  ASSERT_EQ(InitializeAgentParameters(), 0);
  EXPECT_EQ(gv_tempDir, "C:\\Windows\\Temp");
  EXPECT_EQ(gv_serverName, "hl-server.corp.example");
  EXPECT_EQ(gv_serverPort, 8020);
  EXPECT_EQ(gv_dsProtocol, "http");  // copies of the main server's without a distribution server
  EXPECT_EQ(gv_dsPort, 8020);
  EXPECT_EQ(gv_localComputerName, "WS-0042");
  EXPECT_EQ(gv_clientNamespace, "CORP");
  EXPECT_EQ(gv_domainJoined, 1);
  EXPECT_EQ(gv_localIPAddress, "10.0.0.42");
  EXPECT_EQ(gv_localMACAddress, "00:1a:2b:3c:4d:5e");
  EXPECT_EQ(gv_localSubnetMask, "255.255.255.0");
  EXPECT_EQ(gv_domainController, "DC01");
  EXPECT_EQ(gv_clientDataPath, "client-data/cust042/domains/corp");
  EXPECT_EQ(gv_resourceId, "1001");
  std::string log = Log();
  EXPECT_TRUE(InOrder(log, {
      "[DEBUG] @@@@@@@ Inside InitializeAgentParameters Method @@@@@@@@ \n",
      "[INFO] " + kStars,
      "[INFO] Harborline Server Name                -> hl-server.corp.example \n",
      "[INFO] Harborline Server Flat Name           -> HLSERVER \n",
      "[INFO] Harborline Server IPAddress           -> 10.0.0.10 \n",
      "[INFO] Harborline Server Secondary IPAddress -> 10.0.0.11 \n",
      "[INFO] Harborline Last Access Name           -> hl-server.corp.example \n",
      "[INFO] Harborline Server Port                -> 8020 \n",
      "[INFO] Harborline Server Protocol            -> http \n",
      "[INFO] Harborline Agent Version              -> 9.4.1.220 \n",
      "[INFO] Harborline Agent InstallDir           -> C:\\Program Files (x86)\\Harborline\\Agent \n",
      "[INFO] Harborline Client Namespace           -> CORP \n",
      "[INFO] Harborline Server Data Path           -> client-data/cust042/domains/corp \n",
      "[INFO] Harborline MSP Name\t           -> Northwind Managed Services \n",
      "[INFO] Harborline Customer Name\t           -> Contoso Ltd \n",
      "[INFO] Harborline Customer Id\t\t   -> CUST042 \n",
      "[INFO] Harborline Product Code               -> HLEE \n",
      "[INFO] Local Computer Name                       -> WS-0042 \n",
      "[INFO] Local Computer IP Address                 -> 10.0.0.42 \n",
      "[INFO] Local Computer MAC Address                -> 00:1a:2b:3c:4d:5e \n",
      "[INFO] Local Computer Subnet Mask                -> 255.255.255.0 \n",
      "[INFO] HL Distribution Server Enabled            -> no \n",
      "[INFO] The remote office name is                 -> Head Office \n",
      "[INFO] Harborline Agent HTTP Request Timeout -> 45000 \n",
      "[INFO] Local Computer Domain controller          -> DC01 \n",
      "[INFO] The Agent Machine Resource Id is given by -> 1001 \n",
      "[INFO] Agent Checksum Enabled\t\t               -> 1 \n",
      "[INFO] Agent Data Transfer Rate in KBps\t\t   -> 1024 \n",
      "[INFO] " + kStars,
      "[DEBUG] InitializeAgentParameters : Computer is not an imaged one .. \n",
      "[DEBUG] @@@@@@@@ End Of InitializeAgentParameters Method @@@@@@@@ \n",
  })) << log;
  EXPECT_FALSE(Contains(log, "HL Distribution Server  Name"));
}

TEST_F(InitializeAgentParametersTest, TempFolderOfAtMost254Characters) {
  WriteRegistry(AgentRegistry());
  const std::string longest = "C:\\" + std::string(251, 't');  // 254 characters
  PatchMachine({{"environment", {{"TEMP", longest}}}});
  ASSERT_EQ(InitializeAgentParameters(), 0);
  EXPECT_EQ(gv_tempDir, longest);
  hl::ResetAgentConfig();
  PatchMachine({{"environment", {{"TEMP", longest + "x"}}}});
  ASSERT_EQ(InitializeAgentParameters(), 0);
  EXPECT_EQ(gv_tempDir, "");  // does not fit: left empty rather than cut
  hl::ResetAgentConfig();
  nlohmann::json config = DefaultMachineJson();
  config["environment"] = {{"TEMP", nullptr}};  // hides the variable
  machine_.WriteMachineJson(config);
  ASSERT_EQ(InitializeAgentParameters(), 0);
  EXPECT_EQ(gv_tempDir, "");
}

TEST_F(InitializeAgentParametersTest, ImagedComputerAfterTheWholeSummary) {
  AgentRegistry registry;
  registry.agentDwords["ImagedComputer"] = 1;
  WriteRegistry(registry);
  ASSERT_EQ(InitializeAgentParameters(), 10047);
  std::string log = Log();
  EXPECT_TRUE(InOrder(log, {"[INFO] Agent Data Transfer Rate in KBps\t\t   -> 1024 \n", "[INFO] " + kStars,
                            "[INFO] InitializeAgentParameters : Computer is detected as imaged One .. \n"}));
  EXPECT_FALSE(Contains(log, "End Of InitializeAgentParameters"));
}

TEST_F(InitializeAgentParametersTest, DistributionServerSummaryAndRoute) {
  AgentRegistry registry;
  registry.AddDistributionServer();
  registry.serverInfo["HLServerProtocol"] = "https";
  registry.agent["EnableDSRoute"] = "YES";
  registry.agent["ProxyEnabled"] = "yes";
  registry.agent["ProxyServerName"] = "proxy:3128";
  WriteRegistry(registry);
  ASSERT_EQ(InitializeAgentParameters(), 0);
  EXPECT_EQ(gv_serverName, "hl-ds.branch.example");
  EXPECT_EQ(gv_serverFlatName, "hl-ds.branch.example");
  EXPECT_EQ(gv_serverIPAddress, "10.1.0.20");
  EXPECT_EQ(gv_serverSecIPAddress, "10.1.0.21");
  EXPECT_EQ(gv_lastAccessName, "hl-ds.branch.example");
  EXPECT_EQ(gv_proxyEnabled, "NO");
  EXPECT_EQ(gv_serverPort, 8383);  // ports and protocol stay the main server's
  EXPECT_EQ(gv_serverProtocol, "https");
  EXPECT_EQ(gv_dsPort, 8403);
  std::string log = Log();
  EXPECT_TRUE(InOrder(log, {
      "[INFO] Harborline Server Name                -> hl-server.corp.example \n",
      "[INFO] HL Distribution Server Enabled            -> yes \n",
      "[INFO] " + kStars,
      "[INFO] HL Distribution Server  Name      \t\t\t-> hl-ds.branch.example \n",
      "[INFO] HL Distribution Server  IPAddress \t\t\t-> 10.1.0.20 \n",
      "[INFO] HL Distribution Server  Sec IPAddress         \t\t-> 10.1.0.21 \n",
      "[INFO] HL Distribution Server  Port      \t\t\t-> 8403 \n",
      "[INFO] HL Distribution Server  Last Access Name\t\t-> hl-ds.branch.example \n",
      "[INFO] HL Distribution Server  Protocol  \t\t\t-> https \n",
      "[INFO] Remote Office ID                          -> 7 \n",
      "[INFO] " + kStars,
      "[INFO] Enable Distribution Server Route                       -> 1 \n",
      "[INFO] " + kStars,
  })) << log;
}

TEST_F(InitializeAgentParametersTest, DistributionServerWithoutRoute) {
  AgentRegistry registry;
  registry.AddDistributionServer();
  WriteRegistry(registry);
  ASSERT_EQ(InitializeAgentParameters(), 0);
  EXPECT_EQ(gv_serverName, "hl-server.corp.example");
  EXPECT_EQ(gv_dsPort, 8040);
  std::string log = Log();
  EXPECT_TRUE(Contains(log, "[INFO] HL Distribution Server  Name      \t\t\t-> hl-ds.branch.example \n"));
  EXPECT_FALSE(Contains(log, "Enable Distribution Server Route"));
}

TEST_F(InitializeAgentParametersTest, RouteFlagWithoutDistributionServerChangesNothing) {
  AgentRegistry registry;
  registry.agent["EnableDSRoute"] = "yes";
  registry.serverInfo["HLServerProtocol"] = "https";
  WriteRegistry(registry);
  ASSERT_EQ(InitializeAgentParameters(), 0);
  EXPECT_EQ(gv_enableDSRoute, 1);
  EXPECT_EQ(gv_serverName, "hl-server.corp.example");
  EXPECT_EQ(gv_dsProtocol, "https");
  EXPECT_EQ(gv_dsPort, 8383);
  EXPECT_FALSE(Contains(Log(), "Enable Distribution Server Route"));
}

TEST_F(InitializeAgentParametersTest, FatalStepsAndTheirLines) {
  struct Case {
    const char* name;
    void (*change)(AgentRegistry&, InitializeAgentParametersTest&);
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"server name", [](AgentRegistry& r, InitializeAgentParametersTest&) { r.serverInfo["HLServerName"] = std::nullopt; },
       {"[ERROR] InitializeServerDetailsFromRegistry : Error while fetching server name from registry! \n",
        "[ERROR] InitializeAgentParameters : Error while fetching Server details from registry! \n"}},
      {"distribution flag",
       [](AgentRegistry& r, InitializeAgentParametersTest&) { r.agent["EnableDistributionServer"] = std::nullopt; },
       {"[ERROR] InitializeAgentParameters : Error while fetching Master Agent entry from registry! \n"}},
      {"distribution server",
       [](AgentRegistry& r, InitializeAgentParametersTest&) {
         r.AddDistributionServer();
         r.serverInfo["DistributionServerPort"] = std::nullopt;
       },
       {"[ERROR] InitializeDSServerDetailsFromRegistry : Error while fetching Reporting server port from registry! \n",
        "[ERROR] InitializeAgentParameters : Error while fetching DS Server details from registry! \n"}},
      {"computer name",
       [](AgentRegistry&, InitializeAgentParametersTest& t) { t.PatchMachine({{"faults", {{"GetComputerNameExW", 5}}}}); },
       {"[ERROR] InitializeLocalMachineDetails : Error occured while retrieving the local computer name !!! \n",
        "[ERROR] InitializeAgentParameters : Error while the local machine details ! \n"}},
      {"namespace",
       [](AgentRegistry&, InitializeAgentParametersTest& t) {
         t.PatchMachine({{"faults", {{"NetGetJoinInformation", 2453}}}});
       },
       {"[ERROR] InitializeLocalMachineDetails : Error occured while retrieving the name space !!! \n",
        "[ERROR] InitializeAgentParameters : Error while the local machine details ! \n"}},
      {"customer id", [](AgentRegistry& r, InitializeAgentParametersTest&) { r.agent["CustomerId"] = ""; },
       {"[ERROR] GetCustomerId: error while retrieving customerid\n",
        "[ERROR] InitializeAgentDetails : Error while fetching customer Id from registry! \n",
        "[ERROR] InitializeAgentParameters : Error while the Agent details ! \n"}},
  };
  for (const Case& c : cases) {
    hl::ResetAgentConfig();
    machine_.WriteMachineJson(DefaultMachineJson());
    ASSERT_TRUE(OpenLogFileNew());
    AgentRegistry registry;
    c.change(registry, *this);
    WriteRegistry(registry);
    EXPECT_EQ(InitializeAgentParameters(), 13) << c.name;
    std::string log = Log();
    EXPECT_TRUE(InOrder(log, c.lines)) << c.name << "\n" << log;
    EXPECT_FALSE(Contains(log, kStars)) << c.name;
  }
}

TEST_F(InitializeAgentParametersTest, ToleratedMachineFailures) {
  nlohmann::json config = DefaultMachineJson();
  config.erase("domainController");
  config["faults"] = {{"GetAdaptersInfo", 232}};
  machine_.WriteMachineJson(config);
  WriteRegistry(AgentRegistry());
  ASSERT_EQ(InitializeAgentParameters(), 0);
  EXPECT_EQ(gv_domainController, std::nullopt);
  EXPECT_EQ(gv_localIPAddress, std::nullopt);
  std::string log = Log();
  EXPECT_TRUE(Contains(log, "[ERROR] InitializeLocalMachineDetails : Error while fetching Local machine IP and MAC Addresses! \n"));
  EXPECT_TRUE(Contains(log, "[ERROR] InitializeLocalMachineDetails : Error while fetching computer domain controller ! \n"));
  EXPECT_TRUE(Contains(log, "[INFO] Local Computer Domain controller          -> (null) \n"));
}

TEST_F(InitializeAgentParametersTest, WorkgroupMachineWithoutAnything) {
  machine_.WriteMachineJson({{"computerName", "LAB-PC"}, {"adapters", nlohmann::json::array()}});
  WriteRegistry(AgentRegistry());
  ASSERT_EQ(InitializeAgentParameters(), 0);
  EXPECT_EQ(gv_clientNamespace, "WORKGROUP");
  EXPECT_EQ(gv_domainJoined, 0);
  EXPECT_EQ(gv_clientDataPath, "client-data/cust042/domains/workgroup");
}

}  // namespace
