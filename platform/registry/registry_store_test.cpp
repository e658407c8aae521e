// The store under concurrent writers: threads of one process and two processes on one machine folder.
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/registry/registry_test_support.h"
#include "platform/registry/win_registry.h"
#include "tests/support/temp_machine.h"

namespace hl::platform::reg {
namespace {

using test::Create;
using test::GetDword;
using test::Open;
using test::ScopedKey;
using test::SetDword;

constexpr int kValuesPerWriter = 60;

// Writes kValuesPerWriter values named "<prefix><n>"; returns the number of failed calls.
int WriteValues(const std::string& prefix) {
  int failures = 0;
  ScopedKey key;
  if (Create(HKEY_CURRENT_USER, "Concurrent", key) != ERROR_SUCCESS) return kValuesPerWriter;
  for (int i = 0; i < kValuesPerWriter; ++i) {
    if (SetDword(key.get(), (prefix + std::to_string(i)).c_str(), static_cast<DWORD>(i)) != ERROR_SUCCESS)
      ++failures;
  }
  return failures;
}

void ExpectAllValues(const std::vector<std::string>& prefixes) {
  ScopedKey key;
  ASSERT_EQ(Open(HKEY_CURRENT_USER, "Concurrent", key), ERROR_SUCCESS);
  for (const auto& prefix : prefixes) {
    for (int i = 0; i < kValuesPerWriter; ++i) {
      DWORD number = 0xFFFFFFFF;
      std::string name = prefix + std::to_string(i);
      ASSERT_EQ(GetDword(key.get(), name.c_str(), number), ERROR_SUCCESS) << name;
      EXPECT_EQ(number, static_cast<DWORD>(i)) << name;
    }
  }
}

TEST(RegistryStore, TwoProcessesWritingAtOnceLoseNothing) {
  hl::test::TempMachine machine;
  machine.WriteRegistry("[HKEY_CURRENT_USER\\Concurrent]\r\n\"existing\"=dword:00000001\r\n");
  std::vector<std::string> prefixes = {"parent", "child"};
  std::fflush(nullptr);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) _exit(WriteValues("child") == 0 ? 0 : 1);
  int parentFailures = WriteValues("parent");
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(parentFailures, 0);
  ExpectAllValues(prefixes);
  DWORD number = 0;
  ScopedKey key;
  ASSERT_EQ(Open(HKEY_CURRENT_USER, "Concurrent", key), ERROR_SUCCESS);
  EXPECT_EQ(GetDword(key.get(), "existing", number), ERROR_SUCCESS);

  // What the file holds, read afresh by a new process, is complete too.
  std::fflush(nullptr);
  pid_t reader = fork();
  ASSERT_GE(reader, 0);
  if (reader == 0) {
    ScopedKey fresh;
    if (Open(HKEY_CURRENT_USER, "Concurrent", fresh) != ERROR_SUCCESS) _exit(2);
    DWORD values = 0;
    char name[64];
    for (;; ++values) {
      DWORD length = sizeof name;
      if (RegEnumValueA(fresh.get(), values, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        break;
    }
    _exit(values == 2 * kValuesPerWriter + 1 ? 0 : 3);
  }
  ASSERT_EQ(waitpid(reader, &status, 0), reader);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  for (const auto& entry : std::filesystem::directory_iterator(machine.root()))
    EXPECT_NE(entry.path().extension(), ".tmp") << entry.path();
}

TEST(RegistryStore, ThreadsWritingAtOnceLoseNothing) {
  hl::test::TempMachine machine;
  std::vector<std::string> prefixes = {"a", "b", "c", "d"};
  std::vector<int> failures(prefixes.size());
  std::vector<std::thread> threads;
  for (size_t i = 0; i < prefixes.size(); ++i)
    threads.emplace_back([&, i] { failures[i] = WriteValues(prefixes[i]); });
  for (auto& thread : threads) thread.join();
  for (int count : failures) EXPECT_EQ(count, 0);
  ExpectAllValues(prefixes);
}

}  // namespace
}  // namespace hl::platform::reg
