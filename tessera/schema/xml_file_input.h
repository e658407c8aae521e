// Lets libxml2 open the store's paths the way the rest of the product opens files (hl_fopen:
// Windows paths such as "..\data\x.xml" or "C:\..." work on the stand-in as on Windows).
#pragma once

namespace tessera {

// While alive, libxml2 opens plain file paths (anything that is not a "scheme://" URI) through
// hl_fopen; paths it cannot open still fall through to libxml2's own handlers. Use around
// xmlNewTextReaderFilename / xmlParseFile on the initialising thread.
class ScopedXmlFileInput {
 public:
  ScopedXmlFileInput();
  ~ScopedXmlFileInput();
  ScopedXmlFileInput(const ScopedXmlFileInput&) = delete;
  ScopedXmlFileInput& operator=(const ScopedXmlFileInput&) = delete;

 private:
  bool registered_ = false;
};

}  // namespace tessera
