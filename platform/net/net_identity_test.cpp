// Computer name, Winsock start-up, adapters, join information and domain controller of the stand-in.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/core/machine.h"
#include "platform/net/net_internal.h"
#include "platform/core/core_internal.h"
#include "platform/win32.h"
#include "tests/support/temp_machine.h"

namespace {

using hl::test::TempMachine;
using nlohmann::json;

std::string ComputerName(COMPUTER_NAME_FORMAT format) {
  WCHAR buffer[64] = {};
  DWORD size = 64;
  if (!GetComputerNameExW(format, buffer, &size)) return "<failed>";
  EXPECT_EQ(size, hl::platform::WideLength(buffer));
  return hl::platform::Utf16ToUtf8(buffer);
}

TEST(ComputerNameTest, FormatsOfTheConfiguredName) {
  TempMachine machine;
  machine.WriteMachineJson({{"computerName", "ws-0042-long-hostname"}, {"dnsDomain", "corp.example"}});
  EXPECT_EQ(ComputerName(ComputerNamePhysicalDnsHostname), "ws-0042-long-hostname");
  EXPECT_EQ(ComputerName(ComputerNameNetBIOS), "WS-0042-LONG-HO");  // 15 characters, upper case
  EXPECT_EQ(ComputerName(ComputerNamePhysicalDnsDomain), "corp.example");
  EXPECT_EQ(ComputerName(ComputerNameDnsFullyQualified), "ws-0042-long-hostname.corp.example");
}

TEST(ComputerNameTest, SmallBufferAsksForTheSizeWithTerminator) {
  TempMachine machine;
  machine.WriteMachineJson({{"computerName", "WS-0042"}});
  WCHAR buffer[4] = {};
  DWORD size = 4;
  EXPECT_FALSE(GetComputerNameExW(ComputerNamePhysicalDnsHostname, buffer, &size));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MORE_DATA));
  EXPECT_EQ(size, 8u);
  EXPECT_FALSE(GetComputerNameExW(ComputerNameMax, buffer, &size));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(ComputerNameTest, HostNameWhenNotConfiguredAndFaults) {
  TempMachine machine;
  EXPECT_EQ(ComputerName(ComputerNamePhysicalDnsHostname), hl::platform::HostComputerName());
  EXPECT_FALSE(hl::platform::HostComputerName().empty());
  machine.WriteMachineJson({{"faults", {{"GetComputerNameExW", 5}}}});
  WCHAR buffer[64];
  DWORD size = 64;
  EXPECT_FALSE(GetComputerNameExW(ComputerNamePhysicalDnsHostname, buffer, &size));
  EXPECT_EQ(WSAGetLastError(), 5);
}

TEST(WinsockTest, StartupNegotiatesAndCleanupBalances) {
  TempMachine machine;
  WSADATA data;
  ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
  EXPECT_EQ(data.wVersion, MAKEWORD(2, 2));
  ASSERT_EQ(WSAStartup(MAKEWORD(3, 0), &data), 0);
  EXPECT_EQ(data.wVersion, MAKEWORD(2, 2));
  EXPECT_EQ(WSAStartup(MAKEWORD(0, 9), &data), WSAVERNOTSUPPORTED);
  EXPECT_EQ(WSACleanup(), 0);
  EXPECT_EQ(WSACleanup(), 0);
  EXPECT_EQ(WSACleanup(), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
  machine.WriteMachineJson({{"faults", {{"WSAStartup", WSASYSNOTREADY}}}});
  EXPECT_EQ(WSAStartup(MAKEWORD(2, 2), &data), WSASYSNOTREADY);
}

// Sizes and fills the adapter list as callers do.
std::vector<unsigned char> FetchAdapters(ULONG* result) {
  ULONG size = 0;
  *result = GetAdaptersInfo(nullptr, &size);
  if (*result != ERROR_BUFFER_OVERFLOW) return {};
  std::vector<unsigned char> block(size + 64);
  ULONG given = size;
  *result = GetAdaptersInfo(reinterpret_cast<PIP_ADAPTER_INFO>(block.data()), &given);
  return block;
}

TEST(AdaptersTest, ChainsOfConfiguredAdapters) {
  TempMachine machine;
  machine.WriteMachineJson(json::parse(R"({"adapters": [
      {"index": 7, "hardwareAddress": "00:1a:2b:3c:4d:5e", "name": "eth0",
       "addresses": [{"ip": "10.0.0.42", "mask": "255.255.255.0", "context": 16777226},
                     {"ip": "10.0.1.42", "mask": "255.255.0.0", "context": 2}]},
      {"index": 9, "hardwareAddress": "de-ad-be-ef", "addresses": []}]})"));
  ULONG size = 0;
  ASSERT_EQ(GetAdaptersInfo(nullptr, &size), static_cast<ULONG>(ERROR_BUFFER_OVERFLOW));
  EXPECT_EQ(size, 2 * sizeof(IP_ADAPTER_INFO) + sizeof(IP_ADDR_STRING));
  std::vector<unsigned char> tooSmall(size - 1);
  ULONG smaller = size - 1;
  EXPECT_EQ(GetAdaptersInfo(reinterpret_cast<PIP_ADAPTER_INFO>(tooSmall.data()), &smaller),
            static_cast<ULONG>(ERROR_BUFFER_OVERFLOW));
  EXPECT_EQ(smaller, size);

  ULONG result = 0;
  auto block = FetchAdapters(&result);
  ASSERT_EQ(result, static_cast<ULONG>(ERROR_SUCCESS));
  auto* first = reinterpret_cast<PIP_ADAPTER_INFO>(block.data());
  EXPECT_EQ(first->Index, 7u);
  EXPECT_STREQ(first->AdapterName, "eth0");
  ASSERT_EQ(first->AddressLength, 6u);
  EXPECT_EQ(first->Address[0], 0x00);
  EXPECT_EQ(first->Address[5], 0x5e);
  EXPECT_STREQ(first->IpAddressList.IpAddress.String, "10.0.0.42");
  EXPECT_STREQ(first->IpAddressList.IpMask.String, "255.255.255.0");
  EXPECT_EQ(first->IpAddressList.Context, 16777226u);
  ASSERT_NE(first->IpAddressList.Next, nullptr);
  EXPECT_STREQ(first->IpAddressList.Next->IpAddress.String, "10.0.1.42");
  EXPECT_EQ(first->IpAddressList.Next->Context, 2u);
  EXPECT_EQ(first->IpAddressList.Next->Next, nullptr);
  // Every pointer stays inside the caller's block.
  auto inside = [&](const void* p) {
    auto* b = static_cast<const unsigned char*>(p);
    return b >= block.data() && b < block.data() + size;
  };
  EXPECT_TRUE(inside(first->IpAddressList.Next));
  PIP_ADAPTER_INFO second = first->Next;
  ASSERT_NE(second, nullptr);
  EXPECT_TRUE(inside(second));
  EXPECT_EQ(second->Index, 9u);
  EXPECT_EQ(second->AddressLength, 4u);
  EXPECT_EQ(second->Address[3], 0xef);
  EXPECT_STREQ(second->IpAddressList.IpAddress.String, "0.0.0.0");
  EXPECT_EQ(second->Next, nullptr);
}

TEST(AdaptersTest, AdaptersWithoutAUsableHardwareAddress) {
  TempMachine machine;
  machine.WriteMachineJson(json::parse(R"({"adapters": [
      {"index": 1, "addresses": [{"ip": "10.0.0.42", "mask": "255.255.255.0", "context": 1}]},
      {"index": 2, "hardwareAddress": ""},
      {"index": 3, "hardwareAddress": "zz:not:hex"},
      {"index": 4, "hardwareAddress": "00-11-22-33-44-55-66-77-88"}]})"));
  ::testing::internal::CaptureStderr();
  ULONG result = 0;
  auto block = FetchAdapters(&result);
  std::string warnings = ::testing::internal::GetCapturedStderr();
  ASSERT_EQ(result, static_cast<ULONG>(ERROR_SUCCESS));
  DWORD index = 1;
  for (auto* adapter = reinterpret_cast<PIP_ADAPTER_INFO>(block.data()); adapter; adapter = adapter->Next, ++index) {
    EXPECT_EQ(adapter->Index, index);
    EXPECT_EQ(adapter->AddressLength, 0u) << index;
    for (BYTE b : adapter->Address) EXPECT_EQ(b, 0) << index;
  }
  EXPECT_EQ(index, 5u);
  EXPECT_EQ(reinterpret_cast<PIP_ADAPTER_INFO>(block.data())->IpAddressList.IpAddress.String, std::string("10.0.0.42"));
  EXPECT_NE(warnings.find("zz:not:hex"), std::string::npos) << "a malformed address is reported: " << warnings;
}

TEST(AdaptersTest, NoAdaptersBadArgumentsAndFaults) {
  TempMachine machine;
  machine.WriteMachineJson({{"adapters", json::array()}});
  ULONG size = 0;
  EXPECT_EQ(GetAdaptersInfo(nullptr, &size), static_cast<ULONG>(ERROR_NO_DATA));
  EXPECT_EQ(GetAdaptersInfo(nullptr, nullptr), static_cast<ULONG>(ERROR_INVALID_PARAMETER));

  machine.WriteMachineJson(json::parse(R"({"adapters": [{"index": 1, "addresses": [{"ip": "10.0.0.1"}]}],
                                           "faults": {"GetAdaptersInfo:query": 31}})"));
  ULONG result = 0;
  FetchAdapters(&result);  // sizing passes, filling fails
  EXPECT_EQ(result, 31u);
  machine.WriteMachineJson(json::parse(R"({"adapters": [{"index": 1}], "faults": {"GetAdaptersInfo": 232}})"));
  EXPECT_EQ(GetAdaptersInfo(nullptr, &size), 232u);
}

TEST(AdaptersTest, HostAdaptersWhenNotConfigured) {
  TempMachine machine;
  ULONG size = 0;
  ULONG first = GetAdaptersInfo(nullptr, &size);
  if (first == ERROR_NO_DATA) GTEST_SKIP() << "the host has no interface besides loopback";
  ASSERT_EQ(first, static_cast<ULONG>(ERROR_BUFFER_OVERFLOW));
  ULONG result = 0;
  auto block = FetchAdapters(&result);
  ASSERT_EQ(result, static_cast<ULONG>(ERROR_SUCCESS));
  for (auto* a = reinterpret_cast<PIP_ADAPTER_INFO>(block.data()); a != nullptr; a = a->Next) {
    EXPECT_LE(a->AddressLength, static_cast<UINT>(MAX_ADAPTER_ADDRESS_LENGTH));
    EXPECT_NE(std::string(a->AdapterName), "lo");
    for (auto* ip = &a->IpAddressList; ip != nullptr; ip = ip->Next)
      EXPECT_LT(std::strlen(ip->IpAddress.String), sizeof ip->IpAddress.String);
  }
}

TEST(JoinInformationTest, ConfiguredDefaultAndFault) {
  TempMachine machine;
  LPWSTR name = nullptr;
  NETSETUP_JOIN_STATUS status = NetSetupUnknownStatus;
  ASSERT_EQ(NetGetJoinInformation(nullptr, &name, &status), static_cast<DWORD>(NERR_Success));
  EXPECT_EQ(hl::platform::Utf16ToUtf8(name), "WORKGROUP");
  EXPECT_EQ(status, NetSetupWorkgroupName);
  EXPECT_EQ(NetApiBufferFree(name), static_cast<DWORD>(NERR_Success));
  EXPECT_EQ(NetApiBufferFree(name), static_cast<DWORD>(ERROR_INVALID_PARAMETER));  // freed already

  machine.WriteMachineJson({{"join", {{"name", "CORP "}, {"status", 3}}}});
  ASSERT_EQ(NetGetJoinInformation(nullptr, &name, &status), static_cast<DWORD>(NERR_Success));
  EXPECT_EQ(hl::platform::Utf16ToUtf8(name), "CORP ");
  EXPECT_EQ(status, NetSetupDomainName);
  NetApiBufferFree(name);

  machine.WriteMachineJson({{"join", {{"name", "X"}, {"status", 9}}}});
  ASSERT_EQ(NetGetJoinInformation(nullptr, &name, &status), static_cast<DWORD>(NERR_Success));
  EXPECT_EQ(static_cast<int>(status), 9);
  NetApiBufferFree(name);

  machine.WriteMachineJson({{"faults", {{"NetGetJoinInformation", 2453}}}});
  EXPECT_EQ(NetGetJoinInformation(nullptr, &name, &status), 2453u);
}

TEST(DomainControllerTest, OneBlockWithEveryField) {
  TempMachine machine;
  PDOMAIN_CONTROLLER_INFOA info = nullptr;
  EXPECT_EQ(DsGetDcNameA(nullptr, nullptr, nullptr, nullptr, DS_RETURN_FLAT_NAME, &info),
            static_cast<DWORD>(ERROR_NO_SUCH_DOMAIN));
  machine.WriteMachineJson(json::parse(R"({"domainController": {"name": "\\\\DC01", "address": "\\\\10.0.0.5",
      "domainName": "CORP", "forestName": "corp.example", "dcSiteName": "HQ", "clientSiteName": "Branch"}})"));
  ASSERT_EQ(DsGetDcNameA(nullptr, nullptr, nullptr, nullptr, DS_RETURN_FLAT_NAME, &info), 0u);
  EXPECT_STREQ(info->DomainControllerName, "\\\\DC01");
  EXPECT_STREQ(info->DomainControllerAddress, "\\\\10.0.0.5");
  EXPECT_EQ(info->DomainControllerAddressType, static_cast<ULONG>(DS_INET_ADDRESS));
  EXPECT_STREQ(info->DomainName, "CORP");
  EXPECT_STREQ(info->DnsForestName, "corp.example");
  EXPECT_STREQ(info->DcSiteName, "HQ");
  EXPECT_STREQ(info->ClientSiteName, "Branch");
  EXPECT_EQ(NetApiBufferFree(info), static_cast<DWORD>(NERR_Success));
  EXPECT_EQ(DsGetDcNameA(nullptr, "OTHER", nullptr, nullptr, 0, &info), static_cast<DWORD>(ERROR_NO_SUCH_DOMAIN));
  ASSERT_EQ(DsGetDcNameA(nullptr, "corp.example", nullptr, nullptr, 0, &info), 0u);
  NetApiBufferFree(info);
  machine.WriteMachineJson(json::parse(R"({"domainController": {"name": "\\\\DC01"}, "faults": {"DsGetDcNameA": 1311}})"));
  EXPECT_EQ(DsGetDcNameA(nullptr, nullptr, nullptr, nullptr, DS_RETURN_FLAT_NAME, &info), 1311u);
}

}  // namespace
