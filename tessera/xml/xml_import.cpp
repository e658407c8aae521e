#include "tessera/xml/xml_import.h"

#include <new>

#include <libxml/parser.h>

#include "agent/log/log.h"
#include "tessera/schema/xml_file_input.h"
#include "tessera/xml/row_import.h"
#include "tessera/xml/xml_error_log.h"

namespace tessera {
namespace {

constexpr const char* kParseFailed = "error: could not parse file file.xml\n";

// The rows below the root element, with a map of tokens that lives for this import only.
bool ImportDocument(xmlDoc* document) {
  AutoIdMap map(kAutoIdMapBuckets);
  RowImport import(document, map);
  return import.ImportChildren(xmlDocGetRootElement(document));
}

// Frees the document (after a failed walk too, so nothing of it is kept). libxml2 itself is never
// cleaned up while the process works: another thread may be parsing.
void ReleaseDocument(xmlDoc* document) { xmlFreeDoc(document); }

}  // namespace

bool LoadTableDataFromXMLFile(const char* path) {
  LogTrace("@@@ Inside LoadTableDataFromXMLFile @@@\n");
  xmlDoc* document = nullptr;
  if (path != nullptr) {
    ScopedXmlFileInput fileInput;
    ScopedXmlErrorLog errors;
    document = xmlParseFile(path);
  }
  if (document == nullptr) {
    LogError(kParseFailed);
    return false;
  }
  const bool imported = ImportDocument(document);
  ReleaseDocument(document);
  if (!imported) LogError("Cannot construct table data from XML file.\n");
  return imported;
}

bool LoadTableDataFromXMLBuffer(const char* text, int32_t length) {
  LogTrace("@@@ Inside LoadTableDataFromXMLBuffer @@@\n");
  xmlDoc* document = nullptr;
  if (text != nullptr && length > 0) {
    ScopedXmlErrorLog errors;
    document = xmlParseMemory(text, length);
  }
  if (document == nullptr) {
    LogError(kParseFailed);
    return false;
  }
  const bool imported = ImportDocument(document);
  ReleaseDocument(document);
  if (!imported) LogError("Cannot construct table data from XML buffer.\n");
  return imported;
}

std::unique_ptr<AutoIdMap> LoadTableDataFromXMLNode(xmlDoc* document, xmlNode* node) {
  LogTrace("@@@ Inside LoadTableDataFromXMLNode @@@\n");
  std::unique_ptr<AutoIdMap> map;
  try {
    map = std::make_unique<AutoIdMap>(kAutoIdMapBuckets);
  } catch (const std::bad_alloc&) {
    map.reset();
  }
  if (map && node != nullptr) {
    RowImport import(document, *map);
    if (import.ImportChildren(node)) return map;
  }
  LogError("Cannot construct table data from buffer node.\n");
  return nullptr;
}

}  // namespace tessera
