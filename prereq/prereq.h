// The prereq tool: may a security update be deployed, as far as antivirus compatibility goes?
// Exit 0 yes, 15613 an active antivirus product has not declared compatibility, 13 no agent.
#pragma once

#include <optional>
#include <string>

#include "platform/win32.h"

// The command's settings, filled by the option parser (strings are copies of the arguments).
struct PrereqSettings {
  std::optional<std::string> patchName;                   // -p
  std::optional<std::string> productName;                 // -l
  std::optional<std::string> productVersion;              // -v
  int clearJavaDetection = 0;                             // -c
  BYTE calledFromSoftwareDeployment = 0;                  // -s
  std::optional<std::string> dependencyFileName;          // -d
  std::optional<std::string> javaArchitecture;            // -x
  std::optional<std::string> javaLatestInstalledVersion;  // -j
};

inline constexpr int kExitPrerequisiteMet = 0;
inline constexpr int kExitAgentMissing = 13;
inline constexpr int kExitAntivirusFound = 15613;

// Scans the arguments after the program name; each recognised option takes the next argument.
// An option given as the last argument has no value and is ignored.
void ParsePrereqOptions(int argc, const char* const* argv, PrereqSettings& settings);
// Signed decimal text: 0 when empty, -1 when it is not a number that fits an int.
int ParseClearJavaDetection(const char* text);

int IsServerOS();
void enableProtectioninServerOS();

// The whole run: start-up, decision, shutdown; returns the exit code.
int PrereqMain(int argc, char** argv);
