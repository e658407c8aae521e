// Request routing against the scriptable server: target choice (main or distribution server,
// proxy only for the main one), URL paths per product edition, the fail-over chain over the
// target's addresses and the last access name written back.
#include <gtest/gtest.h>

#include "agent/config/agent_config.h"
#include "transport/routing.h"
#include "transport/transport_test_support.h"

namespace hl::test {
namespace {

class RoutingTest : public TransportTest {
 protected:
  void SetUp() override {
    TransportTest::SetUp();
    hl::ResetAgentConfig();
    WriteMachine({{"hosts", {{"sec.test", "127.0.0.1"}, {"srv.test", "127.0.0.1"}, {"flat.test", "127.0.0.1"}}}});
    gv_serverProtocol = "http";
    gv_serverPort = server_->port();
    gv_serverIPAddress = "127.0.0.1";
    gv_serverSecIPAddress = "sec.test";
    gv_serverName = "srv.test";
    gv_serverFlatName = "flat.test";
    gv_lastAccessName = "gone.test";  // not in the hosts table: 12007
    gv_hlProductCode = "HLEE";
    gv_tempDir = "C:\\Temp";
    machine_.WriteFile("drive_c/Temp/.keep", "");
  }
  void TearDown() override { hl::ResetAgentConfig(); }

  // The host names the server saw, in order.
  std::vector<std::string> HostsAsked() const {
    std::vector<std::string> out;
    for (const auto& r : server_->Records()) {
      std::string host = RecordHeader(r, "Host");
      out.push_back(host.substr(0, host.rfind(':')));
    }
    return out;
  }
  std::vector<std::string> Targets() const {
    std::vector<std::string> out;
    for (const auto& r : server_->Records()) out.push_back(r["target"]);
    return out;
  }
};

TEST_F(RoutingTest, FailOverChainRemembersTheAddressThatAnswered) {
  std::optional<std::string> answer;
  EXPECT_EQ(AgentSendRequestData("/ok?body=first", &answer, 1), 0);
  EXPECT_EQ(answer, "first");
  EXPECT_EQ(HostsAsked(), (std::vector<std::string>{"127.0.0.1"}));
  EXPECT_EQ(gv_lastAccessName, "127.0.0.1");
  EXPECT_NE(machine_.ReadRegistry().find("\"HLLastAccessName\"=\"127.0.0.1\""), std::string::npos)
      << machine_.ReadRegistry();
  EXPECT_TRUE(log_.Has("[INFO] AgentSendRequest : Last Access Address is 127.0.0.1 "));

  // The next call starts with the remembered address.
  server_->ClearRecords();
  EXPECT_EQ(AgentSendRequestData("/ok", &answer, 1), 0);
  EXPECT_EQ(HostsAsked(), (std::vector<std::string>{"127.0.0.1"}));

  // A 404 on the IP address still tries the secondary; a second 404 ends the chain.
  server_->ClearRecords();
  gv_lastAccessName = "gone.test";
  EXPECT_EQ(AgentSendRequestData("/status/404", &answer, 1), 404);
  EXPECT_EQ(HostsAsked(), (std::vector<std::string>{"127.0.0.1", "sec.test"}));
  EXPECT_EQ(gv_lastAccessName, "gone.test");

  // A two-character last access name is never tried; nor a short IP address.
  server_->ClearRecords();
  gv_lastAccessName = "ab";
  gv_serverIPAddress = "ip";
  EXPECT_EQ(AgentSendRequestData("/ok", &answer, 1), 0);
  EXPECT_EQ(HostsAsked(), (std::vector<std::string>{"sec.test"}));
  EXPECT_EQ(gv_lastAccessName, "sec.test");

  // Unresolvable names go on to the server and flat names.
  server_->ClearRecords();
  gv_lastAccessName = "gone.test";
  gv_serverIPAddress = "gone2.test";
  gv_serverSecIPAddress = "gone3.test";
  gv_serverName = "gone4.test";
  EXPECT_EQ(AgentSendRequestData("/ok", &answer, 1), 0);
  EXPECT_EQ(HostsAsked(), (std::vector<std::string>{"flat.test"}));
  EXPECT_EQ(gv_lastAccessName, "flat.test");

  // Nothing usable at all.
  gv_lastAccessName = gv_serverIPAddress = gv_serverSecIPAddress = gv_serverName = gv_serverFlatName = "x";
  EXPECT_EQ(AgentSendRequestData("/ok", &answer, 1), 12007);
}

TEST_F(RoutingTest, DistributionServerIsReachedWithoutProxyOnItsPort) {
  gv_enableDistributionServer = "YES";
  gv_dsProtocol = "http";
  gv_dsPort = server_->port();
  gv_serverPort = FreePort();
  gv_dsLastAccessName = "127.0.0.1";
  gv_proxyEnabled = "yes";
  gv_proxyServerName = "127.0.0.1:" + std::to_string(FreePort());  // nothing listens: a proxied request fails
  std::optional<std::string> answer;
  EXPECT_EQ(AgentSendRequest("/ok?body=ds", nullptr, &answer, GET_DATA, 1, 0, 0, kTransferWhole), 0);
  EXPECT_EQ(answer, "ds");
  EXPECT_EQ(Targets(), (std::vector<std::string>{"/ok?body=ds"})) << "sent through a proxy";
  EXPECT_NE(machine_.ReadRegistry().find("\"DistributionLastAccessName\"=\"127.0.0.1\""), std::string::npos);

  // The main-server flag overrides the distribution server: its port and its proxy.
  EXPECT_EQ(AgentSendRequestData("/ok", &answer, 1), 12029);
}

TEST_F(RoutingTest, UrlPathsPerProductEdition) {
  gv_lastAccessName = "127.0.0.1";
  gv_hlProductCode = "hlod";
  EXPECT_EQ(AgentSendRequest("patches\\kb123.cab", "C:\\HL\\out\\kb123.cab", nullptr, DOWNLOAD_FILE, 1, 1, 0,
                             kTransferWhole), 0);
  EXPECT_EQ(AgentSendRequest("/hl/agentSlot?id=4", "C:\\HL\\out\\slot", nullptr, DOWNLOAD_FILE, 1, 1, 0,
                             kTransferWhole), 0);
  std::optional<std::string> answer;
  EXPECT_EQ(AgentSendRequest("/data\\upload", "payload", &answer, POST_DATA, 1, 1, 0, kTransferWhole), 0);
  gv_hlProductCode = "RIDAV";
  EXPECT_EQ(AgentSendRequestData("agentinfo\\x.xml", &answer, 1), 0);
  gv_hlProductCode = "HLEE";
  EXPECT_EQ(AgentSendRequestData("/a\\b", &answer, 1), 0);
  EXPECT_EQ(Targets(), (std::vector<std::string>{"/clientdatarequest?fileName=patches/kb123.cab", "/hl/agentSlot?id=4",
                                                 "/data/upload", "/hl/agentinfo/x.xml", "/a/b"}));
  EXPECT_EQ(ReadHostFile(machine_.root() / "drive_c" / "HL" / "out" / "kb123.cab"), "hello");
  EXPECT_EQ(server_->Records()[2]["body"], "payload");
}

}  // namespace
}  // namespace hl::test
