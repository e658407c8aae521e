#include "tessera/schema/dict_loader.h"

#include <cstdio>
#include <memory>
#include <string>

#include "agent/log/log.h"
#include "platform/win32.h"
#include "tessera/db/tessera_root.h"
#include "tessera/schema/dict_xml_reader.h"

namespace tessera {
namespace {

const char* const kListFileName = "datadictionary.txt";

struct FileCloser {
  void operator()(FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

bool IsSpace(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

// The next white-space separated token, read whole however long it is; false at the end.
bool ReadToken(FILE* list, std::string& token) {
  token.clear();
  int c;
  while ((c = std::fgetc(list)) != EOF && IsSpace(c)) {
  }
  while (c != EOF && !IsSpace(c)) {
    token += static_cast<char>(c);
    c = std::fgetc(list);
  }
  return !token.empty();
}

bool PathFits(const std::string& path) {
  if (static_cast<int32_t>(path.size()) <= kMaxDictPathLength) return true;
  LogError("Data dictionary path is too long (%d characters, at most %d); skipped: %s\n",
           static_cast<int32_t>(path.size()), kMaxDictPathLength, path);
  return false;
}

// Loads each document the list names; `join` forms its path.
template <class Join>
void LoadListedFiles(FILE* list, Join join) {
  std::string token;
  while (ReadToken(list, token)) {
    if (static_cast<int32_t>(token.size()) > kMaxDictFileNameLength) {
      LogError("Data dictionary file name is too long (%d characters, at most %d); skipped: %.64s...\n",
               static_cast<int32_t>(token.size()), kMaxDictFileNameLength, token);
      continue;
    }
    std::string path = join(token);
    if (!PathFits(path)) continue;
    LogDebug("Opening %s\n", path);
    LoadDataDictFromXMLFile(path.c_str());
  }
}

}  // namespace

bool LoadAllDataDictFiles() {
  LogTrace("\t@@@@@ Inside LoadAllDataDictFiles() @@@@@\n");
  FilePtr list(hl_fopen("..\\data\\datadictionary.txt", "r"));
  if (list) {
    LoadListedFiles(list.get(), [](const std::string& name) { return "..\\data\\" + name; });
    return true;
  }
  const char* root = GetTesseraRoot();
  if (root != nullptr) {
    std::string listPath = hl::Sprintf("%s/data/%s", root, kListFileName);
    if (PathFits(listPath)) {
      LogDebug("Opening %s\n", listPath);
      list.reset(hl_fopen(listPath.c_str(), "r"));
    }
  }
  if (!list) {
    LogError("Cannot open DataDictionary File.\n");
    return false;
  }
  std::string rootText = root;
  LoadListedFiles(list.get(), [&rootText](const std::string& name) { return hl::Sprintf("%s/data/%s", rootText, name); });
  return true;
}

bool LoadDataDictFiles(const char* directory) {
  LogTrace("\t@@@@@ Inside LoadDataDictFiles() @@@@@\n");
  if (directory == nullptr) return false;
  std::string dir = directory;
  std::string listPath = hl::Sprintf("%s\\%s", dir, kListFileName);
  if (!PathFits(listPath)) return false;
  FilePtr list(hl_fopen(listPath.c_str(), "r"));
  if (!list) return false;
  LoadListedFiles(list.get(), [&dir](const std::string& name) { return hl::Sprintf("%s\\%s", dir, name); });
  return true;
}

bool LoadDataDictFromXMLFile(const char* path) {
  LogTrace("\nInside LoadDataDictFromXMLFile() \n\n");
  if (path == nullptr) return false;
  return XmlDataParser(path);
}

bool XmlDataParser(const char* path) {
  LogTrace("\n Inside XmlDataParser\n");
  ParseDataDictFile(path);
  return true;
}

}  // namespace tessera
