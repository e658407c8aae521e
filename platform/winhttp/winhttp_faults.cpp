// machine.json "faults" for the WinHTTP calls. Besides the plain form shared with the other
// families ("WinHttpSendRequest": 12017, every call fails), a fault can be limited to the first
// calls: {"error": 12017, "times": 2}. The count belongs to the machine as loaded: it starts
// again when the machine folder is read anew.
#include <map>
#include <mutex>

#include "platform/core/machine.h"
#include "platform/winhttp/winhttp_internal.h"

namespace hl::platform::winhttp {
namespace {

std::optional<DWORD> Code(const nlohmann::json& value) {
  if (value.is_number_integer()) return static_cast<DWORD>(value.get<long long>());
  if (value.is_string()) {
    const std::string& text = value.get_ref<const std::string&>();
    char* end = nullptr;
    unsigned long long parsed = std::strtoull(text.c_str(), &end, 0);
    if (end != text.c_str() && *end == '\0') return static_cast<DWORD>(parsed);
  }
  return std::nullopt;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return prefix.size() <= text.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

struct Counters {
  std::mutex mutex;
  std::weak_ptr<const Machine> machine;  // kept so that a new machine never shares its identity
  std::map<std::string, long long> used;
};

Counters& counters() {
  static Counters c;
  return c;
}

// Applies one entry: a code every time, or a code while its count lasts.
std::optional<DWORD> Apply(const std::string& key, const nlohmann::json& value, Counters& c) {
  if (!value.is_object()) return Code(value);
  auto error = value.find("error");
  if (error == value.end()) return std::nullopt;
  long long times = 1;
  if (auto t = value.find("times"); t != value.end() && t->is_number_integer()) times = t->get<long long>();
  long long& used = c.used[key];
  if (used >= times) return std::nullopt;
  ++used;
  return Code(*error);
}

}  // namespace

std::optional<DWORD> InjectedWinHttpFault(std::string_view api, std::string_view url) {
  auto machine = CurrentMachine();
  const nlohmann::json& faults = machine->Section("faults");
  if (!faults.is_object()) return std::nullopt;
  Counters& c = counters();
  std::lock_guard lock(c.mutex);
  bool same = !c.machine.expired() && !c.machine.owner_before(machine) && !machine.owner_before(c.machine);
  if (!same) {
    c.machine = machine;
    c.used.clear();
  }
  // The entry naming this URL comes before the one for every call.
  const nlohmann::json* general = nullptr;
  std::string generalKey;
  for (auto it = faults.begin(); it != faults.end(); ++it) {
    std::string_view key = it.key();
    size_t colon = key.find(':');
    if (!EqualsNoCase(key.substr(0, colon), api)) continue;
    if (colon == std::string_view::npos) {
      general = &it.value();
      generalKey = it.key();
    } else if (StartsWithNoCase(url, key.substr(colon + 1))) {
      if (auto code = Apply(it.key(), it.value(), c)) return code;
    }
  }
  if (general) return Apply(generalKey, *general, c);
  return std::nullopt;
}

}  // namespace hl::platform::winhttp
