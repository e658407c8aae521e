// Main-server and distribution-server items of ServerInfo.
#include <gtest/gtest.h>

#include "agent/config/config_test_support.h"
#include "agent/registry/registry.h"

namespace {

using hl::test::AgentRegistry;
using hl::test::Contains;

class ServerDetailsTest : public hl::test::ConfigTestBase {};

TEST_F(ServerDetailsTest, PortsFollowTheProtocol) {
  struct Case {
    std::optional<std::string> protocol;
    std::optional<std::string> securePort;
    const char* expectedProtocol;
    int expectedSecure;
    int expectedPort;
  } cases[] = {
      {"https", std::nullopt, "https", 8383, 8383},  // 8020 + 363
      {"http", std::nullopt, "http", 8383, 8020},
      {"HTTP", "9443", "HTTP", 9443, 8020},           // compared without regard to case
      {"https", "9443", "https", 9443, 9443},
      {"ftp", "9443", "http", 9443, 8020},            // three characters: not a protocol
      {std::nullopt, "9443", "http", 9443, 8020},
  };
  for (const auto& c : cases) {
    hl::ResetAgentConfig();
    AgentRegistry registry;
    registry.serverInfo["HLServerProtocol"] = c.protocol;
    registry.serverInfo["HLServerSecurePort"] = c.securePort;
    WriteRegistry(registry);
    ASSERT_EQ(InitializeServerDetailsFromRegistry(), 0);
    EXPECT_EQ(gv_serverProtocol, c.expectedProtocol);
    EXPECT_EQ(gv_serverHttpPort, 8020);
    EXPECT_EQ(gv_serverSecurePort, c.expectedSecure);
    EXPECT_EQ(gv_serverPort, c.expectedPort) << c.protocol.value_or("(missing)");
  }
}

TEST_F(ServerDetailsTest, ShortSecondaryAddressesAreDropped) {
  struct Case {
    const char* stored;
    bool kept;
  } cases[] = {{"", false}, {"ab", false}, {"a.b", true}, {"10.0.0.11", true}};
  for (const auto& c : cases) {
    hl::ResetAgentConfig();
    AgentRegistry registry;
    registry.serverInfo["HLServerSecIPAddress"] = c.stored;
    WriteRegistry(registry);
    ASSERT_EQ(InitializeServerDetailsFromRegistry(), 0);
    EXPECT_EQ(gv_serverSecIPAddress.has_value(), c.kept) << c.stored;
  }
  const struct {
    const char* stored;
    bool kept;
  } dsCases[] = {{"a.b", false}, {"a.bc", true}};
  for (const auto& c : dsCases) {
    hl::ResetAgentConfig();
    AgentRegistry registry;
    registry.AddDistributionServer();
    registry.serverInfo["DistributionServerSecIPAddress"] = c.stored;
    WriteRegistry(registry);
    ASSERT_EQ(InitializeServerDetailsFromRegistry(), 0);
    ASSERT_EQ(InitializeDSServerDetailsFromRegistry(), 0);
    EXPECT_EQ(gv_dsSecIPAddress.has_value(), c.kept) << c.stored;
  }
}

TEST_F(ServerDetailsTest, MissingValuesFatalOrTolerated) {
  struct Case {
    const char* value;
    int result;
    const char* line;
  } cases[] = {
      {"HLServerName", 13, "InitializeServerDetailsFromRegistry : Error while fetching server name from registry! \n"},
      {"HLServerPort", 13, "InitializeServerDetailsFromRegistry : Error while fetching server port from registry! \n"},
      {"HLServerInstalledTime", 0,
       "InitializeServerDetailsFromRegistry : Error while fetching server installed time from registry! \n"},
      {"HLServerFlatName", 0, "InitializeServerDetailsFromRegistry : Error while fetching server name from registry! \n"},
      {"HLServerIPAddress", 0,
       "InitializeServerDetailsFromRegistry : Error while fetching server ipaddress from registry! \n"},
      {"HLServerSecIPAddress", 0,
       "InitializeServerDetailsFromRegistry : Error while fetching server Secondary ipaddress from registry! \n"},
      {"HLLastAccessName", 0, "InitializeServerDetailsFromRegistry : Error while fetching server name from registry! \n"},
  };
  for (const auto& c : cases) {
    hl::ResetAgentConfig();
    ASSERT_TRUE(OpenLogFileNew());
    AgentRegistry registry;
    registry.serverInfo[c.value] = std::nullopt;
    WriteRegistry(registry);
    EXPECT_EQ(InitializeServerDetailsFromRegistry(), c.result) << c.value;
    EXPECT_TRUE(Contains(Log(), std::string("[ERROR] ") + c.line)) << c.value;
  }
}

TEST_F(ServerDetailsTest, DistributionServerSpeaksTheMainProtocol) {
  AgentRegistry registry;
  registry.AddDistributionServer();
  registry.serverInfo["HLServerProtocol"] = "https";
  registry.serverInfo["DistributionServerProtocol"] = "http";  // overwritten by the main protocol
  WriteRegistry(registry);
  ASSERT_EQ(InitializeServerDetailsFromRegistry(), 0);
  ASSERT_EQ(InitializeDSServerDetailsFromRegistry(), 0);
  EXPECT_EQ(gv_dsProtocol, "https");
  EXPECT_EQ(gv_dsHttpPort, 8040);
  EXPECT_EQ(gv_dsSecurePort, 8403);
  EXPECT_EQ(gv_dsPort, 8403);
  OptString stored;
  ASSERT_EQ(ReadRegSZ(HKEY_LOCAL_MACHINE, (gv_RegKey + "\\ServerInfo").c_str(), "DistributionServerProtocol", stored), 0);
  EXPECT_EQ(stored, "https");
  EXPECT_TRUE(Contains(Log(), "[DEBUG] InitializeDSServerDetailsFromRegistry : Reading reporting server regsirty entries\n"));
}

TEST_F(ServerDetailsTest, DistributionServerMissingValues) {
  struct Case {
    const char* value;
    int result;
    const char* line;
  } cases[] = {
      {"DistributionServerName", 13,
       "InitializeDSServerDetailsFromRegistry : Error while fetching Reporting server name from registry! \n"},
      {"DistributionServerPort", 13,
       "InitializeDSServerDetailsFromRegistry : Error while fetching Reporting server port from registry! \n"},
      {"DistributionServerFlatName", 0,
       "InitializeDSServerDetailsFromRegistry : Error while fetching Reporting server flat name from registry! \n"},
      {"DistributionLastAccessName", 0,
       "InitializeDSServerDetailsFromRegistry : Error while fetching Reporting server last access name from "
       "registry! \n"},
      {"DistributionServerIPAddress", 0,
       "InitializeDSServerDetailsFromRegistry : Error while fetching Reporting server ipaddress from registry! \n"},
      {"DistributionServerSecIPAddress", 0,
       "InitializeDSServerDetailsFromRegistry : Error while fetching Reporting secondary server ipaddress from "
       "registry! \n"},
  };
  for (const auto& c : cases) {
    hl::ResetAgentConfig();
    ASSERT_TRUE(OpenLogFileNew());
    AgentRegistry registry;
    registry.AddDistributionServer();
    registry.serverInfo[c.value] = std::nullopt;
    WriteRegistry(registry);
    EXPECT_EQ(InitializeDSServerDetailsFromRegistry(), c.result) << c.value;
    EXPECT_TRUE(Contains(Log(), std::string("[ERROR] ") + c.line)) << c.value;
  }
}

TEST_F(ServerDetailsTest, LastAccessNamesAreWritten) {
  WriteRegistry(AgentRegistry());
  EXPECT_EQ(SetLastAccessName("10.0.0.11"), 0);
  EXPECT_EQ(SetDSLastAccessName("hl-ds2"), 0);
  const std::string key = gv_RegKey + "\\ServerInfo";
  OptString value;
  ASSERT_EQ(ReadRegSZ(HKEY_LOCAL_MACHINE, key.c_str(), "HLLastAccessName", value), 0);
  EXPECT_EQ(value, "10.0.0.11");
  ASSERT_EQ(ReadRegSZ(HKEY_LOCAL_MACHINE, key.c_str(), "DistributionLastAccessName", value), 0);
  EXPECT_EQ(value, "hl-ds2");
}

TEST_F(ServerDetailsTest, MissingLastAccessNameGivesTheWriterResult) {
  EXPECT_EQ(SetLastAccessName(nullptr), 13);
  EXPECT_EQ(SetDSLastAccessName(nullptr), 13);
  std::string log = Log();
  size_t first = log.find("[INFO] writeValue : Valuename or Valuedata is Empty \n");
  ASSERT_NE(first, std::string::npos) << log;
  EXPECT_NE(log.find("[INFO] writeValue : Valuename or Valuedata is Empty \n", first + 1), std::string::npos);
}

}  // namespace
