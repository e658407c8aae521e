// Lets libxml2 open the store's paths the way the rest of the product opens files (hl_fopen:
// Windows paths such as "..\data\x.xml" or "C:\..." work on the stand-in as on Windows).
#pragma once

namespace tessera {

// Initialises libxml2 and registers the handler that opens plain file paths (anything that is not
// a "scheme://" URI) through hl_fopen, once per process; paths it cannot open still fall through to
// libxml2's own handlers. Safe from any thread; nothing is undone while the process works.
void EnsureXmlLibrary();

// Kept for the parsing call sites: makes sure the set-up above has run.
class ScopedXmlFileInput {
 public:
  ScopedXmlFileInput();
  ScopedXmlFileInput(const ScopedXmlFileInput&) = delete;
  ScopedXmlFileInput& operator=(const ScopedXmlFileInput&) = delete;
};

}  // namespace tessera
