// The machine folder: one directory that stands for one Windows computer.
//   registry.reg  - its registry (all hives)
//   machine.json  - everything else (OS version, WMI, adapters, faults, ...)
//   drive_c/, drive_d/ ... - its drives
// HL_MACHINE names the folder. This header is internal to the stand-in and to tests.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "platform/core/win_types.h"

namespace hl::platform {

struct Machine {
  std::filesystem::path root;     // empty when no machine folder is set
  nlohmann::json config;          // machine.json, or an empty object
  bool present() const { return !root.empty(); }
  // The section `name` of machine.json, or null.
  const nlohmann::json& Section(std::string_view name) const;
};

// The current machine; read from HL_MACHINE on first use.
std::shared_ptr<const Machine> CurrentMachine();

// Forget the cached machine so the next call reads HL_MACHINE again (tests switch folders).
void ResetMachine();

// Injected failure for an API call, from machine.json "faults":
//   { "RegSetValueExW": 5, "CreateFileA:C:\\Agent\\logs": 3, "ExecQuery": "0x80041017" }
// A key "Api:subject" applies when the call's subject equals the given subject or lies below it
// (compared without regard to case, "\\" and "/" alike); a key "Api" applies to every call.
std::optional<DWORD> InjectedFault(std::string_view api, std::string_view subject = {});

// Maps a Windows path to a host path: "C:\\X\\y" -> <root>/drive_c/X/y with existing components
// matched without regard to case; relative paths stay relative (separators converted); POSIX
// absolute paths pass through. nullopt when the path names a drive and no machine folder is set,
// or names a form the stand-in does not support (UNC, devices).
std::optional<std::filesystem::path> MapPath(std::string_view windowsPath);

// Case-insensitive comparison of UTF-8 texts (ASCII letters folded), as Windows names compare.
bool EqualsNoCase(std::string_view a, std::string_view b);

}  // namespace hl::platform
