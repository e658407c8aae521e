#include "platform/core/machine.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <vector>

namespace hl::platform {
namespace {

std::mutex g_machineMutex;
std::shared_ptr<const Machine> g_machine;

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::shared_ptr<const Machine> LoadMachine() {
  auto machine = std::make_shared<Machine>();
  machine->config = nlohmann::json::object();
  const char* folder = std::getenv("HL_MACHINE");
  if (folder == nullptr || *folder == '\0') {
    static std::once_flag warned;
    std::call_once(warned, [] {
      std::fprintf(stderr,
                   "hl: no machine folder is set; this process sees an empty computer "
                   "(set HL_MACHINE=<folder> with registry.reg, machine.json and drive_c/)\n");
    });
    return machine;
  }
  std::error_code ec;
  machine->root = std::filesystem::absolute(folder, ec);
  if (ec) machine->root = folder;
  std::ifstream in(machine->root / "machine.json");
  if (in) {
    try {
      machine->config = nlohmann::json::parse(in, nullptr, true, true);
      if (!machine->config.is_object()) throw nlohmann::json::type_error::create(302, "not an object", nullptr);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "hl: %s: ignored, not valid JSON: %s\n", (machine->root / "machine.json").c_str(),
                   e.what());
      machine->config = nlohmann::json::object();
    }
  }
  return machine;
}

// Splits a Windows or POSIX path at "\\" and "/", dropping empty components.
std::vector<std::string> SplitPath(std::string_view path) {
  std::vector<std::string> parts;
  std::string current;
  for (char c : path) {
    if (c == '\\' || c == '/') {
      if (!current.empty()) parts.push_back(std::move(current));
      current.clear();
    } else {
      current.push_back(c);
    }
  }
  if (!current.empty()) parts.push_back(std::move(current));
  return parts;
}

// Appends components to base, matching existing entries without regard to case.
std::filesystem::path ResolveComponents(std::filesystem::path base, const std::vector<std::string>& parts,
                                        bool clampAtBase) {
  std::vector<std::string> clean;
  for (const auto& part : parts) {
    if (part == ".") continue;
    if (part == ".." && clampAtBase) {
      if (!clean.empty()) clean.pop_back();
      continue;
    }
    clean.push_back(part);
  }
  bool matching = true;
  for (const auto& part : clean) {
    std::filesystem::path next = base / part;
    std::error_code ec;
    if (matching && part != ".." && !std::filesystem::exists(next, ec)) {
      bool found = false;
      for (std::filesystem::directory_iterator it(base.empty() ? "." : base, ec), end; !ec && it != end;
           it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (EqualsNoCase(name, part)) {
          next = base / name;
          found = true;
          break;
        }
      }
      if (!found) matching = false;  // the rest cannot exist either
    }
    base = std::move(next);
  }
  return base;
}

std::optional<DWORD> FaultValue(const nlohmann::json& value) {
  if (value.is_number_integer()) return static_cast<DWORD>(value.get<long long>());
  if (value.is_string()) {
    const std::string& text = value.get_ref<const std::string&>();
    char* end = nullptr;
    unsigned long long parsed = std::strtoull(text.c_str(), &end, 0);
    if (end != text.c_str() && *end == '\0') return static_cast<DWORD>(parsed);
  }
  return std::nullopt;
}

bool SubjectWithin(std::string_view subject, std::string_view prefix) {
  auto sep = [](char c) { return c == '\\' || c == '/'; };
  if (prefix.size() > subject.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    char a = subject[i], b = prefix[i];
    if (sep(a) && sep(b)) continue;
    if (FoldAscii(a) != FoldAscii(b)) return false;
  }
  return prefix.size() == subject.size() || sep(subject[prefix.size()]) || (!prefix.empty() && sep(prefix.back()));
}

}  // namespace

const nlohmann::json& Machine::Section(std::string_view name) const {
  static const nlohmann::json null;
  auto it = config.find(name);
  return it == config.end() ? null : *it;
}

std::shared_ptr<const Machine> CurrentMachine() {
  std::lock_guard lock(g_machineMutex);
  if (!g_machine) g_machine = LoadMachine();
  return g_machine;
}

void ResetMachine() {
  std::lock_guard lock(g_machineMutex);
  g_machine.reset();
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  return true;
}

std::optional<DWORD> InjectedFault(std::string_view api, std::string_view subject) {
  auto machine = CurrentMachine();
  const nlohmann::json& faults = machine->Section("faults");
  if (!faults.is_object()) return std::nullopt;
  std::optional<DWORD> general;
  for (auto it = faults.begin(); it != faults.end(); ++it) {
    std::string_view key = it.key();
    size_t colon = key.find(':');
    std::string_view name = key.substr(0, colon);
    if (!EqualsNoCase(name, api)) continue;
    if (colon == std::string_view::npos) {
      general = FaultValue(it.value());
    } else if (SubjectWithin(subject, key.substr(colon + 1))) {
      return FaultValue(it.value());
    }
  }
  return general;
}

std::optional<std::filesystem::path> MapPath(std::string_view path) {
  if (path.empty()) return std::filesystem::path();
  if (path.front() == '/') return std::filesystem::path(std::string(path));
  if (path.size() >= 2 && (path[0] == '\\' || path[0] == '/') && (path[1] == '\\' || path[1] == '/'))
    return std::nullopt;  // UNC and device paths
  bool hasDrive = path.size() >= 2 && path[1] == ':' &&
                  ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
  bool rooted = path.front() == '\\';
  if (hasDrive || rooted) {
    auto machine = CurrentMachine();
    if (!machine->present()) return std::nullopt;
    char drive = hasDrive ? FoldAscii(path[0]) : 'c';
    std::string_view rest = hasDrive ? path.substr(2) : path;
    std::filesystem::path base = machine->root / (std::string("drive_") + drive);
    return ResolveComponents(base, SplitPath(rest), true);
  }
  return ResolveComponents(std::filesystem::path(), SplitPath(path), false);
}

}  // namespace hl::platform
