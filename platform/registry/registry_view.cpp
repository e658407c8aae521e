#include "platform/registry/registry_view.h"

#include <initializer_list>

#include "platform/core/machine.h"
#include "platform/registry/registry_text.h"

namespace hl::platform::reg {
namespace {

// Keys under HKLM\SOFTWARE that both views share (prefixes, relative to SOFTWARE).
const std::initializer_list<std::initializer_list<const char16_t*>> kSharedKeys = {
    {u"Classes"},
    {u"Clients"},
    {u"Policies"},
    {u"Microsoft", u"COM3"},
    {u"Microsoft", u"OLE"},
    {u"Microsoft", u"RPC"},
    {u"Microsoft", u"Windows NT", u"CurrentVersion", u"Fonts"},
    {u"Microsoft", u"Windows NT", u"CurrentVersion", u"ProfileList"},
    {u"Microsoft", u"Windows NT", u"CurrentVersion", u"Time Zones"},
};

bool IsShared(const Path& logical) {
  for (const auto& shared : kSharedKeys) {
    if (logical.size() < shared.size() + 1) continue;
    size_t i = 1;
    bool match = true;
    for (const char16_t* part : shared) {
      if (!NamesEqual(logical[i++], part)) {
        match = false;
        break;
      }
    }
    if (match) return true;
  }
  return false;
}

bool Truthy(const nlohmann::json& value, bool fallback) {
  if (value.is_boolean()) return value.get<bool>();
  if (value.is_number()) return value.get<double>() != 0;
  return fallback;
}

}  // namespace

ProcessModel CurrentProcessModel() {
  ProcessModel model;
  auto machine = CurrentMachine();
  const nlohmann::json& os = machine->Section("os");
  if (!os.is_object()) return model;
  int architecture = 9;
  if (auto it = os.find("architecture"); it != os.end() && it->is_number_integer()) architecture = it->get<int>();
  model.os64 = architecture == 9 || architecture == 6 || architecture == 12;
  bool wow64 = true;
  if (auto it = os.find("wow64"); it != os.end()) wow64 = Truthy(*it, true);
  model.process32 = !model.os64 || wow64;
  return model;
}

View DefaultView(const ProcessModel& model) { return model.Wow64() ? View::Wow32 : View::Native; }

Path Redirect(Hive hive, const Path& logical, View view, const ProcessModel& model) {
  if (!model.os64 || view != View::Wow32 || hive != Hive::LocalMachine) return logical;
  if (logical.empty() || !NamesEqual(logical[0], u"SOFTWARE")) return logical;
  if (logical.size() >= 2 && NamesEqual(logical[1], u"WOW6432Node")) return logical;
  if (IsShared(logical)) return logical;
  Path real;
  real.reserve(logical.size() + 1);
  real.push_back(logical[0]);
  real.push_back(u"WOW6432Node");
  real.insert(real.end(), logical.begin() + 1, logical.end());
  return real;
}

}  // namespace hl::platform::reg
