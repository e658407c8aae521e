// Runs an executable of the build on a machine folder, for end-to-end tests.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace hl::test {

struct ToolRun {
  int status = -1;  // the exit status as the shell sees it (8 bits), -1 when it did not exit
  std::string out;  // standard output
  std::string err;  // standard error
};

// Runs `exe args...` with HL_MACHINE set to `machine` (unset when empty) and waits for it.
// `cwd` (when not empty) is the working directory of the run.
ToolRun RunTool(const std::string& exe, const std::vector<std::string>& args, const std::filesystem::path& machine,
                const std::filesystem::path& cwd = {});

// Copies a whole folder (e.g. an example machine) to `to`.
void CopyTree(const std::filesystem::path& from, const std::filesystem::path& to);

}  // namespace hl::test
