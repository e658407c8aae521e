// How: libxml2's global state is set up once per process (std::call_once): the parser is
// initialised and our input handler is registered, and neither is ever undone while the process
// works. Pushing and popping handlers around each parse, or cleaning the parser after each
// import, would change the process-wide handler table under another thread's parse.
#include "tessera/schema/xml_file_input.h"

#include <cstdio>
#include <cstring>
#include <mutex>

#include <libxml/parser.h>
#include <libxml/xmlIO.h>

#include "platform/win32.h"

namespace tessera {
namespace {

int MatchPlainPath(const char* filename) { return filename != nullptr && std::strstr(filename, "://") == nullptr; }

void* OpenPlainPath(const char* filename) { return hl_fopen(filename, "rb"); }

int ReadPlainPath(void* context, char* buffer, int length) {
  if (length <= 0) return 0;
  size_t n = std::fread(buffer, 1, static_cast<size_t>(length), static_cast<FILE*>(context));
  if (n == 0 && std::ferror(static_cast<FILE*>(context))) return -1;
  return static_cast<int>(n);
}

int ClosePlainPath(void* context) { return std::fclose(static_cast<FILE*>(context)) == 0 ? 0 : -1; }

}  // namespace

void EnsureXmlLibrary() {
  static std::once_flag once;
  std::call_once(once, [] {
    xmlInitParser();  // registers libxml2's default handlers first, so ours is tried before them
    xmlRegisterInputCallbacks(MatchPlainPath, OpenPlainPath, ReadPlainPath, ClosePlainPath);
  });
}

ScopedXmlFileInput::ScopedXmlFileInput() { EnsureXmlLibrary(); }

}  // namespace tessera
