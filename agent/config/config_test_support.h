// Test helpers for the configuration and identity tests: a machine with a complete agent
// configuration, a log opened in the machine folder, and registry text built from values.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>

#include "agent/config/agent_config.h"
#include "agent/log/log.h"
#include "tests/support/temp_machine.h"

namespace hl::test {

// Registry values of the agent key and its subkeys; a value of nullopt is left out.
struct AgentRegistry {
  std::map<std::string, std::optional<std::string>> agent = {
      {"HLAgentInstallDir", "C:\\Program Files (x86)\\Harborline\\Agent"},
      {"EnableDistributionServer", "no"},
      {"HLAgentVersion", "9.4.1.220"},
      {"AgentServiceName", "HLAgentSvc"},
      {"MSPName", "Northwind Managed Services"},
      {"CustomerName", "Contoso Ltd"},
      {"CustomerId", "CUST042"},
      {"HLProductCode", "HLEE"},
      {"RemoteOfficeName", "Head Office"},
      {"RemoteOfficeID", "7"},
      {"EnableRemoteOfficeMgmt", "NO"},
      {"DataTransferRate_KBps", "1024"},
      {"EnableDSRoute", "no"},
      {"EnableChecksum", "yes"},
      {"ProxyEnabled", "no"},
  };
  std::map<std::string, std::optional<DWORD>> agentDwords = {
      {"HTTPRequestTimeout", 45000}, {"HTTPConnectionTimeout", 20000}, {"ImagedComputer", 0}};
  std::map<std::string, std::optional<std::string>> serverInfo = {
      {"HLServerName", "hl-server.corp.example"},
      {"HLServerInstalledTime", "2021-03-04 10:00:00"},
      {"HLServerFlatName", "HLSERVER"},
      {"HLServerIPAddress", "10.0.0.10"},
      {"HLServerSecIPAddress", "10.0.0.11"},
      {"HLLastAccessName", "hl-server.corp.example"},
      {"HLServerPort", "8020"},
      {"HLServerSecurePort", "8383"},
      {"HLServerProtocol", "http"},
  };
  std::map<std::string, std::optional<std::string>> systemDetails = {{"HLAgentResourceID", "1001"}};

  // The distribution server items of a configured one.
  void AddDistributionServer() {
    agent["EnableDistributionServer"] = "yes";
    serverInfo["DistributionServerName"] = "hl-ds.branch.example";
    serverInfo["DistributionServerFlatName"] = "HLDS";
    serverInfo["DistributionLastAccessName"] = "hl-ds.branch.example";
    serverInfo["DistributionServerPort"] = "8040";
    serverInfo["DistributionServerIPAddress"] = "10.1.0.20";
    serverInfo["DistributionServerSecIPAddress"] = "10.1.0.21";
  }

  static std::string Quote(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
      if (c == '\\' || c == '"') out.push_back('\\');
      out.push_back(c);
    }
    return out + "\"";
  }

  std::string Text() const {
    // The tool is a 32-bit process on 64-bit Windows: its Software key is the WOW6432Node one.
    const std::string root = "HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Corvanta\\Harborline\\HLAgent";
    std::string text = "Windows Registry Editor Version 5.00\r\n\r\n[" + root + "]\r\n";
    for (const auto& [name, value] : agent)
      if (value) text += Quote(name) + "=" + Quote(*value) + "\r\n";
    for (const auto& [name, value] : agentDwords) {
      if (!value) continue;
      char hex[9];
      std::snprintf(hex, sizeof hex, "%08x", *value);
      text += Quote(name) + "=dword:" + hex + "\r\n";
    }
    text += "\r\n[" + root + "\\ServerInfo]\r\n";
    for (const auto& [name, value] : serverInfo)
      if (value) text += Quote(name) + "=" + Quote(*value) + "\r\n";
    text += "\r\n[" + root + "\\SystemDetails]\r\n";
    for (const auto& [name, value] : systemDetails)
      if (value) text += Quote(name) + "=" + Quote(*value) + "\r\n";
    return text + "\r\n";
  }
};

// A machine of its own with the log open at TRACE level in <machine>/logs/t.log.
class ConfigTestBase : public ::testing::Test {
 public:
  void SetUp() override {
    hl::ResetAgentConfig();
    machine_.WriteMachineJson(DefaultMachineJson());
    std::filesystem::create_directories(LogDir());
    ASSERT_TRUE(InitLogDefaults());
    ASSERT_TRUE(SetLogParams("t.log", LogDir().c_str(), 4));
    ASSERT_TRUE(OpenLogFileNew());
  }
  void TearDown() override {
    CloseLogFile();
    FreeLogSettings();
    hl::ResetAgentConfig();
  }

  static nlohmann::json DefaultMachineJson() {
    return nlohmann::json::parse(R"({
      "computerName": "WS-0042",
      "join": {"name": "CORP ", "status": 3},
      "domainController": {"name": "\\\\DC01", "address": "\\\\10.0.0.5", "domainName": "CORP",
                           "forestName": "corp.example", "dcSiteName": "HQ", "clientSiteName": "HQ"},
      "adapters": [{"index": 7, "hardwareAddress": "00:1a:2b:3c:4d:5e",
                    "addresses": [{"ip": "10.0.0.42", "mask": "255.255.255.0", "context": 16777226}]}],
      "services": ["HLAgentSvc"]
    })");
  }
  // Replaces or adds top-level sections of the default machine.json.
  void PatchMachine(const nlohmann::json& patch) {
    nlohmann::json config = DefaultMachineJson();
    config.merge_patch(patch);
    machine_.WriteMachineJson(config);
  }

  std::filesystem::path LogDir() const { return machine_.root() / "logs"; }
  // Everything logged so far (the log is closed; later lines are not recorded).
  std::string Log() {
    CloseLogFile();
    return ReadTextFile(LogDir() / "t.log");
  }
  void WriteRegistry(const AgentRegistry& registry) { machine_.WriteRegistry(registry.Text()); }
  // The stored data of a value as the registry file shows it, e.g. "\"0\"" for a string.
  std::string RegistryText() const { return machine_.ReadRegistry(); }

  TempMachine machine_;
};

inline bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

}  // namespace hl::test
