#include "tessera/schema/xml_file_input.h"

#include <cstdio>
#include <cstring>

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

ScopedXmlFileInput::ScopedXmlFileInput() {
  xmlInitParser();  // registers libxml2's default handlers first, so ours is tried before them
  registered_ = xmlRegisterInputCallbacks(MatchPlainPath, OpenPlainPath, ReadPlainPath, ClosePlainPath) >= 0;
}

ScopedXmlFileInput::~ScopedXmlFileInput() {
  if (registered_) xmlPopInputCallbacks();
}

}  // namespace tessera
