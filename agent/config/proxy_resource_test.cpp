// Proxy items, the resource ID and the service notification.
#include <gtest/gtest.h>

#include <filesystem>

#include "agent/config/config_test_support.h"
#include "agent/registry/registry.h"

namespace {

using hl::test::AgentRegistry;
using hl::test::Contains;
using hl::test::ReadHostFile;

class ProxyTest : public hl::test::ConfigTestBase {
 protected:
  AgentRegistry WithProxy(std::optional<std::string> password) {
    AgentRegistry registry;
    registry.agent["ProxyEnabled"] = "yes";
    registry.agent["ProxyServerName"] = "proxy.corp.example:3128";
    registry.agent["ProxyUserName"] = "svc-agent";
    registry.agent["ProxyPassword"] = password;
    registry.agent["ProxyByPass"] = "<local>;*.corp.example";
    return registry;
  }
};

TEST_F(ProxyTest, PasswordIsDecodedAndNeverLogged) {
  WriteRegistry(WithProxy("  UEBzc3cwcmQh \t"));  // "P@ssw0rd!"
  ASSERT_EQ(InitializeAgentParameters(), 0);
  EXPECT_EQ(gv_proxyPassword, "P@ssw0rd!");
  EXPECT_EQ(gv_proxyUserName, "svc-agent");
  EXPECT_EQ(gv_proxyServerName, "proxy.corp.example:3128");
  EXPECT_EQ(gv_proxyByPass, "<local>;*.corp.example");
  std::string log = Log();
  for (const char* secret : {"UEBzc3cwcmQh", "P@ssw0rd!", "P@ss", "UEBz"}) EXPECT_FALSE(Contains(log, secret)) << secret;
  EXPECT_TRUE(Contains(log, "[DEBUG] Password from registry: ********\n"));
  EXPECT_TRUE(Contains(log, "[DEBUG] Encrypted password is: ********\n"));
  EXPECT_TRUE(Contains(log, "[DEBUG] Decrypted password is: ********\n"));
  const std::string stars = std::string(59, '*') + " \n";
  EXPECT_TRUE(Contains(log, "[INFO] " + stars));
  EXPECT_TRUE(Contains(log, "[INFO] Proxy Server Name -> proxy.corp.example:3128 \n"));
  EXPECT_TRUE(Contains(log, "[INFO] Proxy UserName    -> svc-agent \n"));
  EXPECT_TRUE(Contains(log, "[INFO] Proxy ByPass List -> <local>;*.corp.example \n"));
  EXPECT_TRUE(Contains(log, "[DEBUG] Cryptographic client Ok\r\n"));
  EXPECT_TRUE(std::filesystem::is_directory(machine_.root() / "crypt"));
}

TEST_F(ProxyTest, BadPasswordLengthGivesEmptyPassword) {
  WriteRegistry(WithProxy("c2VjcmV"));
  ASSERT_EQ(InitializeAgentParameters(), 0);
  EXPECT_EQ(gv_proxyPassword, "");
  std::string log = Log();
  EXPECT_FALSE(Contains(log, "c2VjcmV"));
  EXPECT_TRUE(Contains(log, "[DEBUG] Decrypted password is: \n"));
}

TEST_F(ProxyTest, MissingProxyValuesBecomeNone) {
  AgentRegistry registry = WithProxy(std::nullopt);
  registry.agent["ProxyByPass"] = std::nullopt;
  registry.agent["ProxyUserName"] = std::nullopt;
  WriteRegistry(registry);
  ASSERT_EQ(InitializeAgentParameters(), 0);
  EXPECT_EQ(gv_proxyByPass, std::nullopt);  // the "<local>" default is replaced too
  EXPECT_EQ(gv_proxyUserName, std::nullopt);
  EXPECT_EQ(gv_proxyPassword, "");
  EXPECT_TRUE(Contains(Log(), "[INFO] Proxy ByPass List -> (null) \n"));
}

TEST_F(ProxyTest, ProxyNotEnabled) {
  AgentRegistry registry = WithProxy("c2VjcmV0");
  registry.agent["ProxyEnabled"] = std::nullopt;
  WriteRegistry(registry);
  ASSERT_EQ(InitializeAgentParameters(), 0);
  EXPECT_EQ(gv_proxyEnabled, "NO");
  EXPECT_EQ(gv_proxyPassword, "");
  EXPECT_EQ(gv_proxyByPass, "<local>");
  EXPECT_FALSE(Contains(Log(), "Password from registry"));
}

TEST_F(ProxyTest, CryptographicFailureChangesNothingElse) {
  PatchMachine({{"faults", {{"CryptAcquireContextA", 5}}}});
  WriteRegistry(WithProxy("c2VjcmV0"));
  ASSERT_EQ(InitializeAgentParameters(), 0);
  EXPECT_EQ(gv_proxyPassword, "secret");
  EXPECT_TRUE(Contains(Log(), "[DEBUG] Cryptographic client error\r\n"));
}

class ResourceIdTest : public hl::test::ConfigTestBase {
 protected:
  // The client data path and computer name that start-up would have formed.
  void Prepare(const AgentRegistry& registry) {
    WriteRegistry(registry);
    gv_clientDataPath = "client-data/cust042/domains/corp";
    gv_clientNamespace = "CORP";
    gv_localComputerName = "WS-0042";
  }
};

TEST_F(ResourceIdTest, FromTheRegistry) {
  Prepare(AgentRegistry());
  OptString id;
  EXPECT_EQ(GetResourceID(id), 0);
  EXPECT_EQ(id, "1001");
  EXPECT_FALSE(Contains(Log(), "GetResourceID"));
}

TEST_F(ResourceIdTest, RequestPathWithTheRegisteredDomainName) {
  AgentRegistry registry;
  registry.systemDetails["HLAgentResourceID"] = std::nullopt;
  registry.systemDetails["LocalDomainName"] = "Corp.Example";
  Prepare(registry);
  OptString id;
  EXPECT_EQ(GetResourceID(id), 13);
  EXPECT_EQ(id, std::nullopt);
  std::string log = Log();
  EXPECT_TRUE(Contains(log, "[ERROR] GetResourceID : Unable to get the HL Agent Resource ID from Registry , So trying "
                            "to get the same from server .\n"));
  EXPECT_TRUE(Contains(log, "[INFO] gv_clientDataPath: client-data/cust042/domains/corp\n"));
  EXPECT_TRUE(Contains(log, "[INFO] gv_localComputerName: WS-0042\n"));
  EXPECT_TRUE(Contains(log, "[INFO] localComputerLwr: WS-0042\n"));
  EXPECT_TRUE(Contains(log, "[INFO] domainNameFromReg: Corp.Example\n"));
  EXPECT_TRUE(Contains(log, "[INFO] clientDataPathTemp: client-data/cust042/domains/Corp.Example"));
  EXPECT_TRUE(Contains(log, "[INFO] lower_CDPath: client-data/cust042/domains/corp.example\n"));
  EXPECT_TRUE(Contains(log, "[INFO] lower_compName: ws-0042\n"));
  EXPECT_TRUE(
      Contains(log, "[INFO] resourceIdXmlPath: /client-data/cust042/domains/corp.example/resources/ws-0042.xml\n"));
}

TEST_F(ResourceIdTest, RequestPathWithoutDomainNameKeepsTheNamespace) {
  AgentRegistry registry;
  registry.systemDetails["HLAgentResourceID"] = std::nullopt;
  Prepare(registry);
  gv_clientDataPath = "client-data/CUST042/domains/corp";
  OptString id;
  EXPECT_EQ(GetResourceID(id), 13);
  std::string log = Log();
  EXPECT_FALSE(Contains(log, "domainNameFromReg"));
  EXPECT_TRUE(Contains(log, "[INFO] resourceIdXmlPath: /client-data/cust042/domains/corp/resources/ws-0042.xml\n"));
}

TEST_F(ResourceIdTest, LogoffEventDoesNotAskTheServer) {
  AgentRegistry registry;
  registry.systemDetails["HLAgentResourceID"] = std::nullopt;
  Prepare(registry);
  gv_eventName = "logoff";
  OptString id;
  EXPECT_EQ(GetResourceID(id), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(Contains(Log(), "resourceIdXmlPath"));
}

TEST_F(ResourceIdTest, SettingTheIdNotifiesTheAgentService) {
  Prepare(AgentRegistry());
  gv_agentServiceName = "HLAgentSvc";
  SetAgentResourceID("2002");
  OptString id;
  ASSERT_EQ(ReadRegSZ(HKEY_LOCAL_MACHINE, (gv_RegKey + "\\SystemDetails").c_str(), "HLAgentResourceID", id), 0);
  EXPECT_EQ(id, "2002");
  EXPECT_EQ(ReadHostFile(machine_.root() / "services.log"), "HLAgentSvc 147\n");
  std::string log = Log();
  EXPECT_TRUE(Contains(log, "[INFO] SendServiceMsg : Service HLAgentSvc Opened successfully\n"));
  EXPECT_TRUE(Contains(log, "[INFO] SendServiceMsg : Notification is succeeded\n"));
}

TEST_F(ResourceIdTest, ServiceMessageFailures) {
  EXPECT_EQ(SendServiceMsg(147, WSTR("NoSuchSvc")), 0);
  PatchMachine({{"services", {{{"name", "HLAgentSvc"}, {"state", "stopped"}}}}});
  EXPECT_EQ(SendServiceMsg(147, WSTR("HLAgentSvc")), 0);
  PatchMachine({{"faults", {{"OpenSCManagerW", 5}}}});
  EXPECT_EQ(SendServiceMsg(147, WSTR("HLAgentSvc")), 0);
  std::string log = Log();
  EXPECT_TRUE(Contains(log, "[ERROR] SendServiceMsg : Failed to open the Service\n"));
  EXPECT_TRUE(Contains(log, "[ERROR] SendServiceMsg : Notification failed 1062 \n"));
  EXPECT_TRUE(Contains(log, "[ERROR] SendServiceMsg : Failed to open Service Control Manager\n"));
  EXPECT_EQ(ReadHostFile(machine_.root() / "services.log"), "");
}

}  // namespace
