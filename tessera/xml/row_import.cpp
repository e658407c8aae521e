#include "tessera/xml/row_import.h"

#include <new>
#include <string>
#include <vector>

#include "agent/log/log.h"
#include "tessera/schema/data_dictionary.h"
#include "tessera/table/row_object.h"
#include "tessera/table/table_data.h"
#include "tessera/table/table_rows.h"
#include "tessera/values/string_utils.h"
#include "tessera/xml/column_value.h"
#include "tessera/xml/element_attributes.h"

namespace tessera {
namespace {


// The value text the elements around the row give a column without an attribute: its
// ParentRef, or else its KeyRef.
const std::string* RelatedValue(const std::vector<ParentRef>& parents, const std::vector<KeyRef>& keys,
                                const std::string& column) {
  for (const ParentRef& ref : parents)
    if (ref.value && EqualsIgnoreCase(ref.localColumn, column)) return &*ref.value;
  for (const KeyRef& ref : keys)
    if (ref.value && EqualsIgnoreCase(ref.column, column)) return &*ref.value;
  return nullptr;
}

}  // namespace

// Created from the dictionary definition, under the definition's own name, when absent; null
// when the dictionary has none.
TableData* RowImport::TableOfTag(const std::string& tag, bool& created) {
  created = false;
  for (const auto& [known, data] : tablesByTag_)
    if (known == tag) return data;
  TableData* data = GetTableDataByName(tag.c_str());
  if (data == nullptr) {
    const TableDefn* defn = GetTableDefn(tag.c_str());
    if (defn == nullptr || !CreateTable(defn->name.c_str())) return nullptr;
    created = true;
    data = GetTableDataByName(defn->name.c_str());
    if (data == nullptr) return nullptr;
  }
  tablesByTag_.emplace_back(tag, data);
  return data;
}

bool RowImport::ImportChildren(xmlNode* node) {
  xmlNode* current = node ? node->children : nullptr;
  while (current != nullptr) {
    if (IsElementNode(current)) {
      if (!ImportRow(current)) {
        LogError("Cannot create and add a new row while constructing tabledata from XML file.\n");
        return false;
      }
      if (current->children != nullptr) {
        current = current->children;
        continue;
      }
    }
    // Next sibling, or the next sibling of the nearest ancestor that has one.
    while (current != nullptr && current->next == nullptr) {
      current = current->parent;
      if (current == node) return true;
    }
    if (current != nullptr) current = current->next;
  }
  return true;
}

void RowImport::ForgetCreatedTable(bool created, const std::string& tableName) {
  if (!created) return;
  TableData* data = GetTableDataByName(tableName.c_str());
  std::erase_if(tablesByTag_, [data](const auto& entry) { return entry.second == data; });
  RemoveTableData(tableName.c_str());
}

bool RowImport::ImportRow(const xmlNode* element) {
  bool created = false;
  std::string tableName;
  try {
    const ElementAttributes attributes = ReadElementAttributes(document_, element);
    TableData* data = TableOfTag(attributes.tag, created);
    if (data == nullptr) {
      if (attributes.tag.find("List") != std::string::npos) return true;  // a wrapper element
      LogError("No table can be found or created for the element %s\n", attributes.tag);
      return false;
    }
    tableName = data->name;
    const TableDefn* defn = data->kind == TABLE_DATA_KIND_TABLE ? data->tableDefn : nullptr;

    std::vector<ParentRef> parents = BuildParentRefs(defn);
    search_.ResolveParentRefs(element, parents);
    std::vector<KeyRef> keys = BuildKeyRefs(defn);
    search_.ResolveKeyRefs(element, keys);

    const int32_t columnCount = data->DefinitionColumnCount();
    std::vector<Value> values(static_cast<size_t>(columnCount > 0 ? columnCount : 0));
    for (int32_t i = 0; i < columnCount; ++i) {
      const ColumnDefn* column = data->ColumnDefnAt(i);
      if (column == nullptr) continue;
      Value value;
      const std::string* text = attributes.Find(column->name);
      if (text != nullptr && ConvertAttributeText(map_, tableName.c_str(), *column, *text, value) == kTesseraNoMemory)
        throw std::bad_alloc();
      if (value.IsNull() && !column->defaultValue.IsNull()) value = column->defaultValue;
      if (text == nullptr) {
        if (const std::string* related = RelatedValue(parents, keys, column->name)) {
          Value supplied;
          if (ConvertAttributeText(map_, tableName.c_str(), *column, *related, supplied) == kTesseraNoMemory)
            throw std::bad_alloc();
          if (!supplied.IsNull()) value = std::move(supplied);
        }
      }
      values[static_cast<size_t>(i)] = std::move(value);
    }
    std::unique_ptr<RowObject> row = CreateNewRowObject(std::move(values));
    if (row && AddNewRow(tableName.c_str(), row)) return true;
    ForgetCreatedTable(created, tableName);
    return false;
  } catch (const std::bad_alloc&) {
    LogError("MEMORY_ALLOCATION_FAILURE\n");
    ForgetCreatedTable(created, tableName);
    return false;
  }
}

}  // namespace tessera
