#include "tests/support/run_tool.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

extern char** environ;

namespace hl::test {
namespace {

std::string Slurp(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

}  // namespace

ToolRun RunTool(const std::string& exe, const std::vector<std::string>& args, const std::filesystem::path& machine,
                const std::filesystem::path& cwd) {
  ToolRun run;
  char outTemplate[] = "/tmp/hl-run-out-XXXXXX";
  char errTemplate[] = "/tmp/hl-run-err-XXXXXX";
  int outFd = mkstemp(outTemplate);
  int errFd = mkstemp(errTemplate);
  if (outFd < 0 || errFd < 0) return run;

  std::vector<std::string> env;
  for (char** e = environ; *e; ++e)
    if (std::string(*e).rfind("HL_MACHINE=", 0) != 0) env.emplace_back(*e);
  if (!machine.empty()) env.push_back("HL_MACHINE=" + machine.string());
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);

  std::vector<std::string> argvStore{exe};
  argvStore.insert(argvStore.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argvStore) argv.push_back(a.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, outFd, 1);
  posix_spawn_file_actions_adddup2(&actions, errFd, 2);
  if (!cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
  pid_t pid = 0;
  int rc = posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(outFd);
  close(errFd);
  if (rc == 0) {
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);
    if (WIFEXITED(wstatus)) run.status = WEXITSTATUS(wstatus);
  }
  run.out = Slurp(outTemplate);
  run.err = Slurp(errTemplate);
  unlink(outTemplate);
  unlink(errTemplate);
  return run;
}

void CopyTree(const std::filesystem::path& from, const std::filesystem::path& to) {
  std::filesystem::create_directories(to);
  std::filesystem::copy(from, to,
                        std::filesystem::copy_options::recursive | std::filesystem::copy_options::overwrite_existing);
}

}  // namespace hl::test
