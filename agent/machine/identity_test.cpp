#include "agent/machine/identity.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "agent/config/config_test_support.h"

namespace {

using hl::test::Contains;
using nlohmann::json;

class IdentityTest : public hl::test::ConfigTestBase {};

TEST_F(IdentityTest, NamespaceAndJoinStatus) {
  struct Case {
    int status;
    const char* line;
    int flag;
  } cases[] = {
      {0, "GetComputerNameSpace : The status is unknown. \n", 0},
      {1, "GetComputerNameSpace :The computer is not joined. \n", 0},
      {2, "GetComputerNameSpace :The computer is joined to a workgroup. \n", 0},
      {3, "GetComputerNameSpace :The computer is joined to a domain. \n", 1},
      {7, "GetComputerNameSpace : The status is not determined .\n", 0},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(OpenLogFileNew());
    PatchMachine({{"join", {{"name", "CORP "}, {"status", c.status}}}});
    std::string nameSpace;
    int flag = -1;
    ASSERT_EQ(GetComputerNameSpace(nameSpace, flag), 1);
    EXPECT_EQ(nameSpace, "CORP ");  // trimming is the caller's business
    EXPECT_EQ(flag, c.flag) << c.status;
    EXPECT_TRUE(Contains(Log(), std::string("[INFO] ") + c.line)) << c.status;
  }
}

TEST_F(IdentityTest, NamespaceFailure) {
  PatchMachine({{"faults", {{"NetGetJoinInformation", 2453}}}});
  std::string nameSpace;
  int flag = 0;
  EXPECT_EQ(GetComputerNameSpace(nameSpace, flag), 0);
  EXPECT_TRUE(Contains(Log(), "[ERROR] GetComputerNameSpace : Failed to retrive the namespace -> 2453 \n"));
}

TEST_F(IdentityTest, AddressListsSkipUnsetAddressesAndShortHardwareAddresses) {
  PatchMachine(json::parse(R"({"adapters": [
      {"index": 3, "hardwareAddress": "00:1A:2B:3C:4D:5E",
       "addresses": [{"ip": "10.0.0.42", "mask": "255.255.255.0", "context": 1},
                     {"ip": "0.0.0.0", "mask": "0.0.0.0", "context": 2},
                     {"ip": "10.0.1.42", "mask": "255.255.0.0", "context": 3}]},
      {"index": 4, "hardwareAddress": "de:ad:be:ef", "addresses": [{"ip": "192.168.5.5", "mask": "255.255.255.0"}]},
      {"index": 5, "hardwareAddress": "02:00:00:00:00:01", "addresses": []}]})"));
  std::string ips, macs, masks;
  ASSERT_EQ(GetMACandIPAddress(ips, macs, masks), 0);
  EXPECT_EQ(ips, "10.0.0.42,10.0.1.42,192.168.5.5");
  EXPECT_EQ(macs, "00:1a:2b:3c:4d:5e,00:1a:2b:3c:4d:5e");  // once per address, none for 4 bytes
  EXPECT_EQ(masks, "255.255.255.0,255.255.0.0,255.255.255.0");
  std::string log = Log();
  EXPECT_TRUE(Contains(log, "[INFO] ipAddress :3         1         10.0.0.42           255.255.255.0\n")) << log;
  EXPECT_TRUE(Contains(log, "[DEBUG] GetMACandIPAddress : Local Machine MAC ADDRESS : 00:1a:2b:3c:4d:5e,00:1a:2b:3c:4d:5e \n"));
  EXPECT_TRUE(Contains(log, "[DEBUG] GetMACandIPAddress : Local Machine IP ADDRESS  : 10.0.0.42,10.0.1.42,192.168.5.5 \n"));
  EXPECT_TRUE(Contains(log, "[DEBUG] GetMACandIPAddress : Local Machine Subnet Mask : 255.255.255.0,255.255.0.0,255.255.255.0 \n"));
}

TEST_F(IdentityTest, NoUsableAddressGivesDashes) {
  PatchMachine(json::parse(R"({"adapters": [{"index": 1, "hardwareAddress": "00:1a:2b:3c:4d:5e",
      "addresses": [{"ip": "0.0.0.0", "mask": "0.0.0.0"}]}]})"));
  std::string ips, macs, masks;
  ASSERT_EQ(GetMACandIPAddress(ips, macs, masks), 0);
  EXPECT_EQ(ips, "");
  EXPECT_EQ(macs, "--");
  EXPECT_EQ(masks, "");
}

TEST_F(IdentityTest, AddressListsStayWithinTheirBound) {
  json addresses = json::array();
  for (int i = 0; i < 2100; ++i)
    addresses.push_back({{"ip", "10." + std::to_string(i / 250) + "." + std::to_string(i % 250) + ".1"},
                         {"mask", "255.255.255.255"}});
  PatchMachine({{"adapters", json::array({{{"index", 1}, {"hardwareAddress", "00:1a:2b:3c:4d:5e"},
                                           {"addresses", addresses}}})}});
  std::string ips, macs, masks;
  ASSERT_EQ(GetMACandIPAddress(ips, macs, masks), 0);
  EXPECT_LE(masks.size(), hl::kAddressListLimit);
  EXPECT_LE(macs.size(), hl::kAddressListLimit);
  auto items = [](const std::string& list) { return std::count(list.begin(), list.end(), ',') + 1; };
  EXPECT_EQ(items(ips), items(masks));  // the lists stay in step
  EXPECT_EQ(items(ips), items(macs));
  EXPECT_LT(items(ips), 2100);
  // An address that does not fit is left out of all three lists whole: every entry is complete.
  auto entries = [](const std::string& list) {
    std::vector<std::string> out;
    size_t start = 0;
    for (size_t comma; (comma = list.find(',', start)) != std::string::npos; start = comma + 1)
      out.push_back(list.substr(start, comma - start));
    out.push_back(list.substr(start));
    return out;
  };
  for (const std::string& ip : entries(ips)) EXPECT_TRUE(ip.size() >= 8 && ip.substr(ip.size() - 2) == ".1") << ip;
  for (const std::string& mask : entries(masks)) EXPECT_EQ(mask, "255.255.255.255");
  for (const std::string& mac : entries(macs)) EXPECT_EQ(mac.size(), entries(macs).front().size()) << mac;
  EXPECT_TRUE(Contains(Log(), "[ERROR] GetMACandIPAddress : Address list is full, "));
}

TEST_F(IdentityTest, AdapterFailures) {
  PatchMachine({{"faults", {{"GetAdaptersInfo:size", 232}}}});
  std::string ips, macs, masks;
  EXPECT_EQ(GetMACandIPAddress(ips, macs, masks), 232);
  EXPECT_TRUE(Contains(Log(), "[ERROR] GetMACandIPAddress : GetAdaptersInfo sizing failed with error 232\n"));
  PatchMachine({{"faults", {{"GetAdaptersInfo:query", 31}}}});
  ASSERT_TRUE(OpenLogFileNew());
  EXPECT_EQ(GetMACandIPAddress(ips, macs, masks), 31);
  EXPECT_TRUE(Contains(Log(), "[ERROR] GetMACandIPAddress : GetAdaptersInfo failed with error 31\n"));
}

TEST_F(IdentityTest, LogonServerLosesItsBackslashes) {
  PatchMachine(json::parse(R"({"domainController": {"name": "\\\\SRV01", "address": "\\\\10.0.0.9",
      "domainName": "CORP", "forestName": "corp.example", "dcSiteName": "HQ", "clientSiteName": "Branch"}})"));
  std::string dc;
  ASSERT_EQ(GetComputerLogonServer(dc), 0);
  EXPECT_EQ(dc, "SRV01");
  std::string log = Log();
  EXPECT_TRUE(Contains(log, "[DEBUG] GetComputerLogonServer : DomainControllerName :\\\\SRV01 \n"));
  EXPECT_TRUE(Contains(log, "[DEBUG] DomainControllerAddress :\\\\10.0.0.9\n"));
  EXPECT_TRUE(Contains(log, "[DEBUG] ClientSiteName :Branch\n"));
}

TEST_F(IdentityTest, NoDomainController) {
  machine_.WriteMachineJson({{"computerName", "WS-0042"}});
  std::string dc;
  EXPECT_EQ(GetComputerLogonServer(dc), 1355);
  EXPECT_TRUE(Contains(Log(), "[ERROR] GetComputerLogonServer: Error while fetching DC name! 1355 \n"));
}

TEST_F(IdentityTest, LocalComputerName) {
  std::string name;
  ASSERT_EQ(GetLocalComputerName(name), 1);
  EXPECT_EQ(name, "WS-0042");
  std::string log = Log();
  EXPECT_TRUE(Contains(log, "[DEBUG] GetLocalComputerName: Computer Name: WS-0042 \n"));
  EXPECT_TRUE(Contains(log, "[INFO] GetLocalComputerName : Computer Name : WS-0042\n"));
  // Winsock was cleaned up as often as it was started.
  EXPECT_EQ(WSACleanup(), SOCKET_ERROR);
}

TEST_F(IdentityTest, LocalComputerNameFailure) {
  PatchMachine({{"faults", {{"GetComputerNameExW", 1790}}}});
  std::string name;
  EXPECT_EQ(GetLocalComputerName(name), 0);
  EXPECT_TRUE(Contains(Log(), "[ERROR] GetLocalComputerName: Error while getting computername! 1790 \n"));
}

}  // namespace
