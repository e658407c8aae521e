#include "tessera/schema/build_table_defn.h"

#include <optional>
#include <string>

#include "agent/log/log.h"
#include "tessera/schema/data_dictionary.h"
#include "tessera/values/number_text.h"
#include "tessera/values/string_utils.h"
#include "tessera/values/value_convert.h"

namespace tessera {
namespace {

// Names (type and generator names): surrounding white space does not matter in them.
std::optional<std::string> TokenText(const XmlTagInfo& node) {
  const std::string* text = node.FirstText();
  if (text == nullptr) return std::nullopt;
  size_t first = text->find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return std::string();
  size_t last = text->find_last_not_of(" \t\r\n");
  return text->substr(first, last - first + 1);
}

// Flags, numbers and bounds are read exactly as they stand.
std::string ExactText(const XmlTagInfo& node) {
  const std::string* text = node.FirstText();
  return text ? *text : std::string();
}

const char* CStr(const std::optional<std::string>& text) { return text ? text->c_str() : nullptr; }

// The fields of one column element, read from its (flattened) children.
struct ColumnFields {
  std::optional<std::string> typeName, description, defaultText, generatorName;
  int32_t maxSize = 0;
  BYTE nullable = 1;
  BYTE unique = 0;
  std::unique_ptr<AllowedValues> allowed;
};

// False when a range lacks its `to`.
bool ReadColumnFields(const XmlTagInfo& column, ColumnFields& f) {
  const std::vector<XmlTagInfo>& children = column.children;
  for (size_t i = 0; i < children.size(); ++i) {
    const XmlTagInfo& child = children[i];
    const std::string& tag = child.tagName;
    if (tag == "data-type") {
      f.typeName = TokenText(child);
    } else if (tag == "nullable") {
      f.nullable = EqualsIgnoreCase(TokenText(child).value_or(""), "true") ? 1 : 0;
    } else if (tag == "max-size") {
      // Read exactly as it stands: " 12 " is not a number (-1).
      f.maxSize = StringToInteger(ExactText(child).c_str());
    } else if (tag == "description") {
      f.description = child.FirstText() ? std::optional<std::string>(*child.FirstText()) : std::nullopt;
    } else if (tag == "default-value") {
      f.defaultText = child.FirstText() ? std::optional<std::string>(*child.FirstText()) : std::nullopt;
    } else if (tag == "generator-name") {
      f.generatorName = TokenText(child);
      if (f.generatorName && f.generatorName->empty()) f.generatorName.reset();
    } else if (tag == "unique") {
      f.unique = ExactText(child) == "true" ? 1 : 0;  // only the exact text "true"
    } else if (tag == "value") {
      f.allowed = std::make_unique<AllowedValues>();
      f.allowed->values = child.textValues;
      f.allowed->isRange = 0;
    } else if (tag == "from") {
      if (i + 1 >= children.size() || children[i + 1].tagName != "to") {
        LogError("In the allowed values attribute, 'to' tag is missing.\n");
        return false;
      }
      f.allowed = std::make_unique<AllowedValues>();
      f.allowed->values = {ExactText(child), ExactText(children[i + 1])};  // the bounds as they stand
      f.allowed->isRange = 1;
      ++i;
    }
  }
  return true;
}

// The column definitions of the `columns` node; false when the table must be dropped.
bool BuildColumns(const XmlTagInfo* columns, const std::string& tableName, ColumnVector& out) {
  if (columns == nullptr) return true;
  for (const XmlTagInfo& column : columns->children) {
    const std::string* name = column.Attribute("name");
    if (name == nullptr) {
      LogError("A column without a name in table %s is skipped.\n", tableName);
      continue;
    }
    ColumnFields f;
    if (!ReadColumnFields(column, f)) return false;
    BYTE type = CRV_SQL_NOT_SUPPORTED_TYPE;
    if (!f.typeName) {
      LogError("Column data type not supported - Error while creating column definition.\n");
    } else {
      type = GetDataTypeCode(f.typeName->c_str());
      if (type == CRV_SQL_NOT_SUPPORTED_TYPE && !EqualsIgnoreCase(*f.typeName, "CRV_SQL_NOT_SUPPORTED_TYPE"))
        LogError("Unknown data type %s of column %s.%s; its values are kept as raw bytes.\n", *f.typeName, tableName,
                 *name);
    }
    auto defn = CreateColumnDefn(name->c_str(), type, f.maxSize, CStr(f.defaultText), CStr(f.description),
                                 CStr(f.generatorName));
    if (f.defaultText && defn->defaultValue.IsNull())
      LogError("Default value %s of column %s.%s cannot be converted to its type; the column has no default.\n",
               *f.defaultText, tableName, *name);
    defn->unique = f.unique;
    defn->nullable = f.nullable;
    defn->allowedValues = std::move(f.allowed);
    if (out.AddData(std::move(defn)) != 1) {
      LogError("Cannot copy allowed values.\n");
      return false;
    }
  }
  return true;
}

void BuildPrimaryKey(const XmlTagInfo* primaryKey, ConstraintDefn& constraints) {
  if (primaryKey == nullptr) return;
  for (const XmlTagInfo& column : primaryKey->children) constraints.primaryKeys.push_back(TokenText(column).value_or(""));
  constraints.primaryKeyCount = static_cast<int32_t>(constraints.primaryKeys.size());
}

void BuildForeignKeys(const XmlTagInfo* foreignKeys, const std::string& tableName, ConstraintDefn& constraints) {
  if (foreignKeys == nullptr) return;
  for (const XmlTagInfo& foreignKey : foreignKeys->children) {
    if (foreignKey.children.empty() || foreignKey.children.front().tagName != "fk-columns") {
      LogDebug("fk-columns tag not found \n");
      continue;
    }
    const std::string* referenceTable = foreignKey.Attribute("reference-table-name");
    if (referenceTable == nullptr) {
      LogError("A foreign key of table %s without reference-table-name is skipped.\n", tableName);
      continue;
    }
    const std::string* bidirectional = foreignKey.Attribute("isbidirectional");
    const XmlTagInfo* fkConstraints = foreignKey.Child("fk-constraints");
    BYTE cascade = fkConstraints && TokenText(*fkConstraints).value_or("") == "ON-DELETE-CASCADE" ? 1 : 0;
    bool first = true;
    for (const XmlTagInfo& pair : foreignKey.children.front().children) {
      if (pair.children.size() < 2) continue;
      auto fk = std::make_unique<ForeignKeyDefn>();
      fk->localColumn = TokenText(pair.children[0]).value_or("");
      fk->referenceColumn = TokenText(pair.children[1]).value_or("");
      fk->referenceTable = *referenceTable;
      fk->onDeleteCascade = cascade;
      fk->bidirectional = first && bidirectional && *bidirectional == "true" ? 1 : 0;
      first = false;
      AddForeignKeyDefn(constraints, std::move(fk));
    }
  }
}

}  // namespace

std::unique_ptr<ColumnDefn> CreateColumnDefn(const char* name, BYTE type, int32_t maxSize, const char* defaultText,
                                             const char* description, const char* generatorName) {
  auto column = std::make_unique<ColumnDefn>();
  column->name = name ? name : "";
  if ((type == CRV_SQL_CHAR || type == CRV_SQL_NCHAR) && maxSize > kMaxCharColumnSize) type = CRV_SQL_TEXT;
  column->type = type;
  column->maxSize = maxSize;
  if (defaultText != nullptr) {
    int32_t length = static_cast<int32_t>(std::char_traits<char>::length(defaultText));
    column->defaultValue = ConvertStringToValue(defaultText, length, type);
    column->defaultLength = length;
  }
  if (description) column->description = description;
  if (generatorName) column->generatorName = generatorName;
  return column;
}

std::unique_ptr<TableDefn> CreateTableDefn(const char* name, const char* description,
                                           std::unique_ptr<ColumnVector> columns,
                                           std::unique_ptr<ConstraintDefn> constraints) {
  auto table = std::make_unique<TableDefn>();
  table->name = name ? name : "";
  if (description) table->description = description;
  table->columns = columns ? std::move(columns) : std::make_unique<ColumnVector>();
  table->constraints = constraints ? std::move(constraints) : std::make_unique<ConstraintDefn>();
  return table;
}

bool BuildTableDefn(const XmlTagInfo& table) {
  const std::string* name = table.Attribute("name");
  if (name == nullptr) {
    LogError("A table without a name attribute is skipped.\n");
    return false;
  }
  std::optional<std::string> description;
  if (const XmlTagInfo* d = table.Child("description"); d && d->FirstText()) description = *d->FirstText();

  auto columns = std::make_unique<ColumnVector>();
  if (!BuildColumns(table.Child("columns"), *name, *columns)) return false;
  auto constraints = std::make_unique<ConstraintDefn>();
  BuildPrimaryKey(table.Child("primary-key"), *constraints);
  BuildForeignKeys(table.Child("foreign-keys"), *name, *constraints);

  auto defn = CreateTableDefn(name->c_str(), CStr(description), std::move(columns), std::move(constraints));
  if (!AddTableDefn(std::move(defn))) return false;
  LogTrace("\t@@@@ Loaded Table definition Successfully @@@@\n");
  return true;
}

}  // namespace tessera
