#include "tessera/xml/xml_export.h"

#include <cstdio>
#include <new>
#include <string_view>
#include <vector>

#include "agent/log/log.h"
#include "tessera/schema/data_dictionary.h"
#include "tessera/table/table_data.h"
#include "tessera/xml/column_value.h"
#include "tessera/xml/value_text.h"
#include "tessera/xml/xml_escape.h"

namespace tessera {
namespace {

struct WriteOptions {
  bool omitDefaults = false;
  bool referenceTokens = false;
};

// Builds one document in memory; the first value it cannot write fails the whole document.
class DocumentBuilder {
 public:
  explicit DocumentBuilder(WriteOptions options) : options_(options) {}

  bool Begin(const char* rootName) {
    if (rootName == nullptr || !IsPlainXmlName(rootName)) {
      LogError("Cannot write the root element name %s\n", rootName);
      return false;
    }
    root_ = rootName;
    text_ = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<" + root_ + ">\n";
    return true;
  }

  std::string End() {
    text_ += "</" + root_ + ">\n";
    return std::move(text_);
  }

  // The rows of a loaded table, whatever their state: a persisted row flagged deleted is still in
  // the table until the deletion is saved, as selections show it. A table without columns writes nothing.
  bool AddTable(const TableData& data) {
    const int32_t columns = data.DefinitionColumnCount();
    if (columns <= 0) return true;
    if (!IsPlainXmlName(data.name)) {
      LogError("Cannot write the table name %s as an XML element\n", data.name);
      return false;
    }
    const TableDefn* defn = data.kind == TABLE_DATA_KIND_TABLE ? data.tableDefn : nullptr;
    for (const RowObject* row = data.firstRow.get(); row != nullptr; row = row->next.get()) {
      text_ += "<" + data.name + " ";
      for (int32_t i = 0; i < columns; ++i) {
        const ColumnDefn* column = data.ColumnDefnAt(i);
        const Value* value = row->ValueAt(i);
        if (column == nullptr || value == nullptr || value->IsNull()) continue;
        if (!AddColumn(data.name, defn, *column, *value)) return false;
      }
      text_ += "/>\n";
    }
    return true;
  }

 private:
  bool AddColumn(const std::string& tableName, const TableDefn* defn, const ColumnDefn& column, const Value& value) {
    if (options_.omitDefaults && !column.defaultValue.IsNull() &&
        SameColumnValue(column.type, value, column.defaultValue))
      return true;
    std::optional<std::string> text = options_.referenceTokens
                                          ? ReferenceAttributeText(defn, tableName.c_str(), column, value)
                                          : PlainAttributeText(tableName.c_str(), column, value);
    if (!text) return true;  // a type the writers leave out
    if (!IsPlainXmlName(column.name)) {
      LogError("Cannot write the column name %s.%s as an XML attribute\n", tableName, column.name);
      return false;
    }
    text_ += column.name;
    text_ += "=\"";
    if (!AppendAttributeText(text_, *text)) {
      LogError("Cannot write %s.%s as XML: the value holds a character XML cannot carry\n", tableName, column.name);
      return false;
    }
    text_ += "\" ";
    return true;
  }

  WriteOptions options_;
  std::string root_;
  std::string text_;
};

// The loaded tables of the named list, each once, skipping names with no loaded table.
std::vector<const TableData*> NamedTables(const char* const* tableNames) {
  std::vector<const TableData*> tables;
  for (const char* const* name = tableNames; name != nullptr && *name != nullptr; ++name) {
    const TableData* data = GetTableDataByName(*name);
    if (data == nullptr) continue;
    bool seen = false;
    for (const TableData* t : tables) seen = seen || t == data;
    if (!seen) tables.push_back(data);
  }
  return tables;
}

// The loaded tables of the dictionary, in dictionary order, each once.
std::vector<const TableData*> DictionaryTables() {
  std::vector<const TableData*> tables;
  for (const auto& defn : GetDataDictionary()) {
    if (!defn) continue;
    const TableData* data = GetTableDataByName(defn->name.c_str());
    if (data == nullptr || data->kind != TABLE_DATA_KIND_TABLE) continue;
    bool seen = false;
    for (const TableData* t : tables) seen = seen || t == data;
    if (!seen) tables.push_back(data);
  }
  return tables;
}

std::optional<std::string> BuildDocument(const std::vector<const TableData*>& tables, const char* rootName,
                                         WriteOptions options) {
  DocumentBuilder builder(options);
  if (!builder.Begin(rootName)) return std::nullopt;
  for (const TableData* data : tables)
    if (!builder.AddTable(*data)) return std::nullopt;
  return builder.End();
}

// Writes the document to "<directory><rootName>.xml"; a file that cannot be written whole is
// removed again.
bool WriteDocumentFile(const std::string& document, const char* rootName, const char* directory) {
  const std::string path = std::string(directory ? directory : "") + rootName + ".xml";
  FILE* file = hl_fopen(path.c_str(), "wb");
  if (file == nullptr) {
    LogError("Error in opening %s\n", path);
    return false;
  }
  const bool written = std::fwrite(document.data(), 1, document.size(), file) == document.size();
  const bool closed = std::fclose(file) == 0;
  if (written && closed) return true;
  LogError("Error in writing %s\n", path);
  hl_remove(path.c_str());
  return false;
}

bool ExportToFile(const std::vector<const TableData*>& tables, const char* rootName, const char* directory,
                  WriteOptions options) {
  try {
    std::optional<std::string> document = BuildDocument(tables, rootName, options);
    return document && WriteDocumentFile(*document, rootName, directory);
  } catch (const std::bad_alloc&) {
    LogError("MEMORY_ALLOCATION_FAILURE\n");
    return false;
  }
}

}  // namespace

bool ConvertDOtoXML(const char* const* tableNames, const char* rootName, const char* directory) {
  LogTrace("@@@ Inside ConvertDOtoXML @@@\n");
  return ExportToFile(NamedTables(tableNames), rootName, directory, WriteOptions{});
}

bool ConvertTablesToXML(const char* rootName, const char* directory, BYTE referenceMode) {
  LogTrace("@@@ Inside ConvertTablesToXML @@@\n");
  WriteOptions options;
  options.referenceTokens = referenceMode == 1;
  return ExportToFile(DictionaryTables(), rootName, directory, options);
}

std::optional<std::string> ConvertDOtoXMLBuffer(const char* const* tableNames, const char* rootName) {
  LogTrace("@@@ Inside ConvertDOtoXMLBuffer @@@\n");
  try {
    WriteOptions options;
    options.omitDefaults = true;
    std::optional<std::string> document = BuildDocument(NamedTables(tableNames), rootName, options);
    if (document) LogDebug("\n%s\n", *document);
    return document;
  } catch (const std::bad_alloc&) {
    LogError("Memory allocation failed while copying TEXT value.\n");
    return std::nullopt;
  }
}

}  // namespace tessera
