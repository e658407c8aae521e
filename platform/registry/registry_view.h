// WOW64 registry views of the stand-in: which process the machine describes, and how a key path
// under HKEY_LOCAL_MACHINE\SOFTWARE is redirected for the 32-bit view.
#pragma once

#include "platform/registry/registry_tree.h"

namespace hl::platform::reg {

// machine.json "os": {"wow64": bool, "architecture": N}. Architecture 9 (x64), 6 (IA64) or 12 (ARM64)
// is 64-bit Windows, anything else a 32-bit computer; "wow64" (default true) makes the process 32-bit
// on 64-bit Windows. Nothing said: a 32-bit process on 64-bit Windows.
struct ProcessModel {
  bool os64 = true;
  bool process32 = true;
  bool Wow64() const { return os64 && process32; }
};
ProcessModel CurrentProcessModel();

enum class View { Native, Wow32 };

// The view a process opens keys in when it passes no flag.
View DefaultView(const ProcessModel& model);

// The key a logical path reaches in a view. In the 32-bit view on 64-bit Windows, SOFTWARE and its
// subkeys go to SOFTWARE\WOW6432Node, except WOW6432Node itself (no double redirection) and the
// shared keys (Classes, Clients, Policies and a few Microsoft keys, as Windows 7 and later share them).
Path Redirect(Hive hive, const Path& logical, View view, const ProcessModel& model);

}  // namespace hl::platform::reg
