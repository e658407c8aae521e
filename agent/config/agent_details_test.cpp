// Agent identity, limits and flags of the agent key.
#include <gtest/gtest.h>

#include "agent/config/config_internal.h"
#include "agent/config/config_test_support.h"
#include "agent/registry/registry.h"

namespace {

using hl::test::AgentRegistry;
using hl::test::Contains;

class AgentDetailsTest : public hl::test::ConfigTestBase {
 protected:
  // The agent details read after the machine details they depend on.
  int Run(const AgentRegistry& registry) {
    hl::ResetAgentConfig();
    WriteRegistry(registry);
    if (InitializeLocalMachineDetails() != 0) return -1;
    return InitializeAgentDetails();
  }
  OptString AgentValue(const char* name) {
    OptString value;
    ReadRegSZ(HKEY_LOCAL_MACHINE, gv_RegKey.c_str(), name, value);
    return value;
  }
};

TEST_F(AgentDetailsTest, TransferRateAndWhatIsWrittenBack) {
  struct Case {
    std::optional<std::string> stored;
    DWORD rate;
    std::optional<std::string> storedAfter;
  } cases[] = {
      {"3072", 3072, "3072"}, {"3073", 0, "0"}, {std::nullopt, 0, "0"}, {"", 0, "0"},
      {"0", 0, "0"},          {"512", 512, "512"}, {"-1", 0, "0"},  // above 3072 when read unsigned
  };
  for (const auto& c : cases) {
    AgentRegistry registry;
    registry.agent["DataTransferRate_KBps"] = c.stored;
    ASSERT_EQ(Run(registry), 0);
    EXPECT_EQ(gv_dataTransferRateKBps, c.rate) << c.stored.value_or("(missing)");
    EXPECT_EQ(AgentValue("DataTransferRate_KBps"), c.storedAfter) << c.stored.value_or("(missing)");
  }
}

TEST_F(AgentDetailsTest, DistributionRouteFlag) {
  struct Case {
    std::optional<std::string> stored;
    int flag;
    std::optional<std::string> storedAfter;
  } cases[] = {{std::nullopt, 0, "no"}, {"YES", 1, "YES"}, {"yes", 1, "yes"}, {"no", 0, "no"},
               {"", 0, ""},             {"true", 0, "true"}};
  for (const auto& c : cases) {
    AgentRegistry registry;
    registry.agent["EnableDSRoute"] = c.stored;
    ASSERT_EQ(Run(registry), 0);
    EXPECT_EQ(gv_enableDSRoute, c.flag) << c.stored.value_or("(missing)");
    EXPECT_EQ(AgentValue("EnableDSRoute"), c.storedAfter);
  }
}

TEST_F(AgentDetailsTest, ChecksumFlag) {
  struct Case {
    std::optional<std::string> stored;
    int flag;
  } cases[] = {{std::nullopt, 1}, {"yes", 1}, {"YES", 1}, {"no", 0}, {"1", 0}, {"", 0}};
  for (const auto& c : cases) {
    AgentRegistry registry;
    registry.agent["EnableChecksum"] = c.stored;
    ASSERT_EQ(Run(registry), 0);
    EXPECT_EQ(gv_checksumEnabled, c.flag) << c.stored.value_or("(missing)");
  }
}

TEST_F(AgentDetailsTest, RequiredValues) {
  struct Case {
    const char* value;
    const char* line;
  } cases[] = {
      {"HLAgentVersion", "InitializeAgentDetails : Error while fetching agent version from registry! \n"},
      {"AgentServiceName", "InitializeAgentDetails : Error while fetching agent service name from registry! \n"},
      {"MSPName", "InitializeAgentDetails : Error while fetching msp name from registry! \n"},
      {"CustomerName", "InitializeAgentDetails : Error while fetching customer name from registry! \n"},
      {"CustomerId", "InitializeAgentDetails : Error while fetching customer Id from registry! \n"},
      {"HLProductCode", "InitializeAgentDetails : Error while fetching product Code from registry! \n"},
      {"HLAgentInstallDir", "InitializeAgentDetails : Error while fetching agent install directory from registry! \n"},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(OpenLogFileNew());
    AgentRegistry registry;
    registry.agent[c.value] = std::nullopt;
    EXPECT_EQ(Run(registry), 13) << c.value;
    EXPECT_TRUE(Contains(Log(), std::string("[ERROR] ") + c.line)) << c.value;
  }
}

TEST_F(AgentDetailsTest, EmptyCustomerIdIsMissing) {
  AgentRegistry registry;
  registry.agent["CustomerId"] = "";
  EXPECT_EQ(Run(registry), 13);
  std::string log = Log();
  size_t first = log.find("[ERROR] GetCustomerId: error while retrieving customerid\n");
  size_t second = log.find("[ERROR] InitializeAgentDetails : Error while fetching customer Id from registry! \n");
  ASSERT_NE(first, std::string::npos);
  ASSERT_NE(second, std::string::npos);
  EXPECT_LT(first, second);
}

TEST_F(AgentDetailsTest, ToleratedValuesAndDefaults) {
  AgentRegistry registry;
  registry.agent["RemoteOfficeName"] = std::nullopt;
  registry.agent["RemoteOfficeID"] = std::nullopt;
  registry.agent["EnableRemoteOfficeMgmt"] = std::nullopt;
  registry.agentDwords["HTTPRequestTimeout"] = std::nullopt;
  registry.agentDwords["HTTPConnectionTimeout"] = std::nullopt;
  registry.agentDwords["BlockCrashedConfig"] = 1;
  registry.agentDwords["ShutdownBlocked"] = 1;
  ASSERT_EQ(Run(registry), 0);
  EXPECT_EQ(gv_remoteOfficeName, std::nullopt);
  EXPECT_EQ(gv_enableRemoteOfficeMgmt, "NO");
  EXPECT_EQ(gv_httpRequestTimeout, 60000);
  EXPECT_EQ(gv_httpConnectionTimeout, 30000);
  EXPECT_EQ(gv_blockCrashedConfig, 1);
  EXPECT_EQ(gv_shutdownBlocked, 1);
  std::string log = Log();
  EXPECT_TRUE(Contains(log, "[ERROR] InitializeAgentDetails : Error while fetching branch office Name from registry! \n"));
  EXPECT_TRUE(Contains(log, "[ERROR] InitializeAgentDetails : Error while fetching branch office ID from registry! \n"));
  EXPECT_TRUE(Contains(log, "[DEBUG] InitializeAgentDetails : Some configuration is crashed (if value is one) : 1 \n"));
  EXPECT_TRUE(Contains(log, "[INFO] InitializeAgentDetails : BlockedShutdown value : 1 \n"));

  registry = AgentRegistry();
  ASSERT_EQ(Run(registry), 0);
  EXPECT_EQ(gv_httpRequestTimeout, 45000);
  EXPECT_EQ(gv_httpConnectionTimeout, 20000);
  EXPECT_EQ(gv_resourceId, "1001");
}

TEST_F(AgentDetailsTest, ClientDataPathIsLowerCased) {
  PatchMachine({{"join", {{"name", "  Corp-EU\t"}, {"status", 3}}}});
  AgentRegistry registry;
  registry.agent["CustomerId"] = "CuSt042";
  ASSERT_EQ(Run(registry), 0);
  EXPECT_EQ(gv_clientNamespace, "Corp-EU");
  EXPECT_EQ(gv_clientDataPath, "client-data/cust042/domains/corp-eu");
}

TEST_F(AgentDetailsTest, ImagedComputerValue) {
  AgentRegistry registry;
  WriteRegistry(registry);
  EXPECT_EQ(IsImagedComputer(), 0u);
  registry.agentDwords["ImagedComputer"] = std::nullopt;
  WriteRegistry(registry);
  EXPECT_EQ(IsImagedComputer(), 0u);
  registry.agentDwords["ImagedComputer"] = 1;
  WriteRegistry(registry);
  EXPECT_EQ(IsImagedComputer(), 1u);
}

TEST(Base64Test, DecodesOrGivesNothing) {
  struct Case {
    const char* text;
    const char* decoded;
  } cases[] = {
      {"", ""},           {"YQ==", "a"},   {"YWI=", "ab"},        {"YWJj", "abc"},   {"  YWJj\r\n", "abc"},
      {"YWJ", ""},        {"YW!j", ""},    {"YQ==YWJj", "a"},     {"=QQQ", ""},      {"YW=j", ""},
      {"UEBzc3cwcmQh", "P@ssw0rd!"},       {"c2VjcmV0", "secret"}, {"AGFi", ""},  // leading zero byte
  };
  for (const auto& c : cases) EXPECT_EQ(hl::config::DecodeBase64(c.text), c.decoded) << c.text;
}

}  // namespace
