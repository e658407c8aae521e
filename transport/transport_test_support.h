// Fixture for the transport tests: a machine folder, the agent log captured at TRACE, the
// shared loopback peers, and settings whose resend wait is short.
#pragma once

#include <gtest/gtest.h>

#include "tests/support/log_capture.h"
#include "platform/winhttp/winhttp_test_support.h"
#include "transport/transport_settings.h"

namespace hl::test {

inline nlohmann::json WindowsOs(int major, int minor) {
  return {{"platformId", 2},  {"majorVersion", major}, {"minorVersion", minor}, {"productType", 1},
          {"edition", 48},    {"architecture", 9},     {"suiteMask", 0},        {"csdVersion", ""},
          {"wow64", true}};
}

class TransportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    machine_.WriteMachineJson({{"os", WindowsOs(10, 0)}});
    server_ = SharedHttpServer();
    ASSERT_NE(server_, nullptr);
    server_->ClearRecords();
    settings_.resendWaitMs = 10;
  }
  void WriteMachine(nlohmann::json extra) {
    extra["os"] = extra.contains("os") ? extra["os"] : WindowsOs(10, 0);
    machine_.WriteMachineJson(extra);
  }
  std::u16string Port() const { return Widen(std::to_string(server_->port())); }

  TempMachine machine_;
  LogCapture log_{machine_, LOG_LEVEL_TRACE};
  HttpTestServer* server_ = nullptr;
  hl::transport::TransportSettings settings_;
};

}  // namespace hl::test
