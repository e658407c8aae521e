// The prereq tool on a machine without a resource ID: it asks the management server (nginx
// on loopback, reached through the machine's hosts table) for the computer's resource
// document, stores the ID it names and tells the agent service (control 147).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <string>

#include "tests/support/peers.h"
#include "tests/support/run_tool.h"
#include "tests/support/temp_machine.h"

namespace {

namespace fs = std::filesystem;
using hl::test::ReadHostFile;

const char* kLogPath = "drive_c/Program Files (x86)/Harborline/Agent/logs/hlprereqhandler.log";
const char* kDocumentPath = "client-data/contoso-0042/domains/contoso/resources/ws-0042.xml";

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

class ResourceIdRun : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(nginx_.Start(error)) << "nginx unavailable: " << error;
    hl::test::CopyTree(fs::path(HL_SOURCE_DIR) / "examples" / "machines" / "workstation-compatible",
                          machine_.root());
    // No resource ID; every server address on loopback, the name through the hosts table.
    std::string reg = machine_.ReadRegistry();
    reg = ReplaceAll(reg, "\"HLAgentResourceID\"=\"301\"\r\n", "");
    reg = ReplaceAll(reg, "\"HLAgentResourceID\"=\"301\"\n", "");
    reg = ReplaceAll(reg, "10.20.0.15", "127.0.0.1");
    reg = ReplaceAll(reg, "10.20.0.16", "127.0.0.1");
    reg = ReplaceAll(reg, "\"HLServerPort\"=\"8020\"", "\"HLServerPort\"=\"" + std::to_string(nginx_.httpPort()) + "\"");
    reg = ReplaceAll(reg, "\"HLServerProtocol\"=\"https\"", "\"HLServerProtocol\"=\"http\"");
    ASSERT_EQ(reg.find("HLAgentResourceID"), std::string::npos);
    machine_.WriteRegistry(reg);
    std::ifstream in(machine_.root() / "machine.json");
    nlohmann::json config = nlohmann::json::parse(in);
    config["hosts"] = {{"hlserver.contoso.example", "127.0.0.1"}, {"HLSERVER", "127.0.0.1"}};
    machine_.WriteMachineJson(config);
  }
  void Serve(const std::string& document) {
    fs::path file = nginx_.root() / kDocumentPath;
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << document;
  }
  hl::test::ToolRun Run() { return hl::test::RunTool(HL_PREREQ_EXE, {}, machine_.root()); }
  std::string Log() const { return hl::test::ReadTextFile(machine_.root() / kLogPath); }
  std::string ServicesLog() const { return ReadHostFile(machine_.root() / "services.log"); }
  bool Logged(const std::string& line) const { return Log().find(line) != std::string::npos; }

  hl::test::NginxPeer nginx_;
  hl::test::TempMachine machine_;
};

TEST_F(ResourceIdRun, IdFromTheServerIsStoredAndTheServiceTold) {
  Serve(ReadHostFile(fs::path(HL_SOURCE_DIR) / "examples" / "tessera" / "data" / "agentparams_resource_id.xml"));
  auto run = Run();
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(Logged(std::string("[INFO] resourceIdXmlPath: /") + kDocumentPath + "\n")) << Log();
  EXPECT_TRUE(Logged("[INFO] GetResourceIDFromServer : The Resource ID from the server is given  by "
                     "4f1c9b2e-7a3d-4c55-9e0b-2d6f8a1c3e47 \n"))
      << Log();
  EXPECT_NE(machine_.ReadRegistry().find("\"HLAgentResourceID\"=\"4f1c9b2e-7a3d-4c55-9e0b-2d6f8a1c3e47\""),
            std::string::npos);
  EXPECT_NE(ServicesLog().find("HLAgentSvc 147\n"), std::string::npos) << ServicesLog();
  EXPECT_TRUE(Logged("[INFO] The Agent Machine Resource Id is given by -> 4f1c9b2e-7a3d-4c55-9e0b-2d6f8a1c3e47 \n"));
  EXPECT_NE(ReadHostFile(nginx_.rangesLog()).find("GET /" + std::string(kDocumentPath) + " 200"), std::string::npos);
}

TEST_F(ResourceIdRun, DocumentWithoutTheRowOrMissingLeavesTheIdEmpty) {
  Serve("<?xml version=\"1.0\"?>\n<AgentparamsList>\n"
        "  <Agentparams PARAM_NAME=\"RESOURCE_REVISION\" param_Value=\"3\"/>\n</AgentparamsList>\n");
  auto run = Run();
  EXPECT_EQ(run.status, 0) << run.err;
  std::string log = Log();
  EXPECT_TRUE(log.find("[ERROR] GetResourceIDFromServer :No rows found corresponding to the resource id in the "
                       "resource id xml .\n") != std::string::npos ||
              log.find("[ERROR] GetResourceIDFromServer : No row objects corresponding to the resource id is found \n") !=
                  std::string::npos)
      << log;
  EXPECT_EQ(machine_.ReadRegistry().find("HLAgentResourceID"), std::string::npos);
  EXPECT_EQ(ServicesLog().find(" 147"), std::string::npos);

  fs::remove(nginx_.root() / kDocumentPath);
  run = Run();
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(Logged(std::string("[ERROR] GetResourceIDFromServer : Unable to get the reource id xml from /") +
                     kDocumentPath + " path and the error code is 404 \n"))
      << Log();
  EXPECT_EQ(machine_.ReadRegistry().find("HLAgentResourceID"), std::string::npos);
}

}  // namespace
