#include "prereq/prereq.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/support/log_capture.h"

namespace {

PrereqSettings Parse(std::vector<const char*> args) {
  args.insert(args.begin(), "hlprereqhandler");
  PrereqSettings settings;
  ParsePrereqOptions(static_cast<int>(args.size()), args.data(), settings);
  return settings;
}

TEST(PrereqOptions, EachOptionTakesTheNextArgument) {
  auto s = Parse({"-p", "KB1", "-l", "Office", "-v", "16", "-c", "3", "-s", "ignored", "-d", "dep", "-x", "32", "-j",
                  "1.8"});
  EXPECT_EQ(s.patchName, "KB1");
  EXPECT_EQ(s.productName, "Office");
  EXPECT_EQ(s.productVersion, "16");
  EXPECT_EQ(s.clearJavaDetection, 3);
  EXPECT_EQ(s.calledFromSoftwareDeployment, 1);
  EXPECT_EQ(s.dependencyFileName, "dep");
  EXPECT_EQ(s.javaArchitecture, "32");
  EXPECT_EQ(s.javaLatestInstalledVersion, "1.8");
}

TEST(PrereqOptions, ScanningRules) {
  EXPECT_FALSE(Parse({}).patchName);
  EXPECT_FALSE(Parse({"-s", "-p", "KB1"}).patchName) << "-s consumes -p, KB1 is not an option";
  EXPECT_EQ(Parse({"-pxyz", "KB2"}).patchName, "KB2") << "only the second character counts";
  EXPECT_FALSE(Parse({"x", "/p", "KB3"}).patchName);
  EXPECT_EQ(Parse({"-q", "-p", "KB4"}).patchName, "KB4") << "unknown letters are skipped alone";
  EXPECT_EQ(Parse({"-p", "A", "-p", "B"}).patchName, "B");
  EXPECT_FALSE(Parse({"-p"}).patchName) << "a trailing option has no value";
  EXPECT_FALSE(Parse({"-", "-p"}).patchName);
}

TEST(PrereqOptions, ClearJavaDetectionText) {
  struct Case {
    const char* text;
    int value;
  } cases[] = {{"", 0}, {"0", 0}, {"12", 12}, {"+7", 7}, {"-4", -4}, {"abc", -1}, {"12abc", -1},
               {"-", -1}, {"99999999999", -1}, {" 1", -1}};
  for (const auto& c : cases) EXPECT_EQ(ParseClearJavaDetection(c.text), c.value) << c.text;
}

TEST(PrereqServerCheck, MissingOsNameIsLoggedEmpty) {
  hl::test::TempMachine machine;
  machine.WriteMachineJson({{"os", {{"versionFails", true}}}});
  hl::test::LogCapture log(machine);
  EXPECT_EQ(IsServerOS(), 0);
  EXPECT_TRUE(log.Has("[INFO] IsServerOS : Os Name ")) << log.All();
  EXPECT_TRUE(log.Matching("(null)").empty()) << log.All();
}

}  // namespace
