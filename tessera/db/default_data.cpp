#include "tessera/db/default_data.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <memory>
#include <string>
#include <vector>

#include "agent/log/log.h"
#include "tessera/db/table_save.h"
#include "tessera/db/tessera_root.h"
#include "tessera/db/text_file_reader.h"
#include "tessera/values/string_utils.h"
#include "tessera/xml/xml_import.h"

namespace tessera {
namespace {

constexpr size_t kTablesPerSave = 50;

struct DocFree {
  void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};

// "..\data\<name>" when that opens, else "<root>/data/<name>".
std::string DataPath(const std::string& name) {
  std::string local = "..\\data\\" + name;
  if (FilePtr probe{std::fopen(local.c_str(), "r")}) return local;
  const char* root = GetTesseraRoot();
  return root ? hl::Sprintf("%s/data/%s", root, name) : local;
}

void SaveNames(std::vector<std::string>& names) {
  for (const std::string& name : names) SaveTable(name.c_str());
  names.clear();
}

}  // namespace

bool SaveDefaultData() {
  LogTrace("\t@@@@@ Inside SaveDefaultData @@@@@\n");
  FilePtr list = OpenDataFile("..\\data\\defaultdata.txt", "defaultdata.txt");
  if (!list) {
    LogError("No default data to be prepopulated.\n");
    return true;
  }
  bool result = true;
  for (std::string token; ReadToken(list.get(), token);) result = SaveDataInXML(DataPath(token).c_str());
  return result;
}

bool SaveDataInXML(const char* path) {
  LogTrace("@@@@@ Inside SaveDataInXML @@@@@\n");
  if (path == nullptr) return false;
  if (!LoadTableDataFromXMLFile(path)) {
    LogError("Cannot create DO from %s.\n", path);
    return false;
  }
  std::unique_ptr<xmlDoc, DocFree> doc(xmlReadFile(path, nullptr, XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
  xmlNode* root = doc ? xmlDocGetRootElement(doc.get()) : nullptr;
  if (root == nullptr) {
    LogError("Error: could not parse file : %s\n", path);
    return false;
  }
  std::vector<std::string> seen;   // every distinct tag so far
  std::vector<std::string> batch;  // collected since the last save
  for (xmlNode* child = root->children; child != nullptr; child = child->next) {
    if (child->type != XML_ELEMENT_NODE) continue;
    std::string tag = reinterpret_cast<const char*>(child->name);
    bool known = false;
    for (const std::string& name : seen) known = known || EqualsIgnoreCase(name, tag);
    if (known) continue;
    seen.push_back(tag);
    batch.push_back(tag);
    if (batch.size() == kTablesPerSave) SaveNames(batch);
  }
  SaveNames(batch);
  return true;
}

}  // namespace tessera
