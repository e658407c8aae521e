#include "tessera/db/text_file_reader.h"

#include "agent/log/log.h"
#include "platform/win32.h"
#include "tessera/db/tessera_root.h"

namespace tessera {
namespace {
bool IsSpace(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }
}  // namespace

FilePtr OpenDataFile(const char* path, const char* fileName) {
  FilePtr file(path ? hl_fopen(path, "r") : nullptr);
  if (file) return file;
  const char* root = GetTesseraRoot();
  if (root == nullptr) return nullptr;
  std::string fallback = hl::Sprintf("%s/data/%s", root, fileName);
  LogDebug("Opening %s\n", fallback);
  file.reset(hl_fopen(fallback.c_str(), "r"));
  return file;
}

bool ReadToken(FILE* file, std::string& token) {
  token.clear();
  int c;
  while ((c = std::fgetc(file)) != EOF && IsSpace(c)) {
  }
  while (c != EOF && !IsSpace(c)) {
    token += static_cast<char>(c);
    c = std::fgetc(file);
  }
  if (c != EOF) std::ungetc(c, file);
  return !token.empty();
}

bool ReadRestOfLine(FILE* file, std::string& rest) {
  rest.clear();
  int c = std::fgetc(file);
  if (c == EOF) return false;
  while (c != EOF && c != '\n') {
    rest += static_cast<char>(c);
    c = std::fgetc(file);
  }
  if (!rest.empty() && rest.back() == '\r') rest.pop_back();
  return true;
}

}  // namespace tessera
