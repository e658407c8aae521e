// Service Control Manager of the stand-in.
#include <gtest/gtest.h>

#include "platform/win32.h"
#include "tests/support/temp_machine.h"

namespace {

using hl::test::ReadHostFile;
using hl::test::TempMachine;
using nlohmann::json;

class ServicesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    machine_.WriteMachineJson(json::parse(R"({"services": ["HLAgentSvc", {"name": "Halted", "state": "stopped"}]})"));
  }
  std::string Log() const { return ReadHostFile(machine_.root() / "services.log"); }
  TempMachine machine_;
};

TEST_F(ServicesTest, UserControlIsRecordedOnePerLine) {
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
  ASSERT_NE(manager, nullptr);
  SC_HANDLE service = OpenServiceW(manager, WSTR("hlagentsvc"), SERVICE_USER_DEFINED_CONTROL);
  ASSERT_NE(service, nullptr);
  SERVICE_STATUS status;
  EXPECT_TRUE(ControlService(service, 147, &status));
  EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
  EXPECT_TRUE(ControlService(service, 200, &status));
  EXPECT_EQ(Log(), "HLAgentSvc 147\nHLAgentSvc 200\n");  // the listed name, not the caller's spelling
  EXPECT_TRUE(CloseServiceHandle(service));
  EXPECT_TRUE(CloseServiceHandle(manager));
  EXPECT_FALSE(CloseServiceHandle(manager));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(ServicesTest, FailuresAsOnWindows) {
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
  ASSERT_NE(manager, nullptr);
  EXPECT_EQ(OpenServiceW(manager, WSTR("NoSuchSvc"), SERVICE_USER_DEFINED_CONTROL), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));

  SC_HANDLE queryOnly = OpenServiceW(manager, WSTR("HLAgentSvc"), SERVICE_QUERY_STATUS);
  SERVICE_STATUS status;
  EXPECT_FALSE(ControlService(queryOnly, 147, &status));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  CloseServiceHandle(queryOnly);

  SC_HANDLE halted = OpenServiceW(manager, WSTR("Halted"), SERVICE_USER_DEFINED_CONTROL);
  EXPECT_FALSE(ControlService(halted, 147, &status));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_NOT_ACTIVE));
  EXPECT_FALSE(ControlService(halted, 77, &status));  // a reserved code is no control
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  CloseServiceHandle(halted);
  EXPECT_EQ(OpenServiceW(nullptr, WSTR("HLAgentSvc"), SERVICE_ALL_ACCESS), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  CloseServiceHandle(manager);
  EXPECT_EQ(Log(), "");

  EXPECT_EQ(OpenSCManagerW(WSTR("\\\\OTHER"), nullptr, SC_MANAGER_CONNECT), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE));
}

TEST_F(ServicesTest, FaultsReachEachCall) {
  machine_.WriteMachineJson(json::parse(R"({"services": ["HLAgentSvc"], "faults": {"ControlService:HLAgentSvc": 1053}})"));
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
  SC_HANDLE service = OpenServiceW(manager, WSTR("HLAgentSvc"), SERVICE_USER_DEFINED_CONTROL);
  SERVICE_STATUS status;
  EXPECT_FALSE(ControlService(service, 147, &status));
  EXPECT_EQ(GetLastError(), 1053u);
  CloseServiceHandle(service);
  CloseServiceHandle(manager);

  machine_.WriteMachineJson(json::parse(R"({"services": ["HLAgentSvc"], "faults": {"OpenServiceW": 5, "OpenSCManagerW": 1115}})"));
  EXPECT_EQ(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT), nullptr);
  EXPECT_EQ(GetLastError(), 1115u);
}

TEST(ServicesDefaultTest, NoServicesListed) {
  TempMachine machine;
  SC_HANDLE manager = OpenSCManagerW(nullptr, WSTR("ServicesActive"), SC_MANAGER_CONNECT);
  ASSERT_NE(manager, nullptr);
  EXPECT_EQ(OpenServiceW(manager, WSTR("HLAgentSvc"), SERVICE_USER_DEFINED_CONTROL), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
  CloseServiceHandle(manager);
}

}  // namespace
