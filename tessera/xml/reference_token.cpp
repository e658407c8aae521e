#include "tessera/xml/reference_token.h"

#include <new>
#include <optional>
#include <vector>

#include "agent/log/log.h"
#include "tessera/schema/data_dictionary.h"
#include "tessera/seqgen/sequence_map.h"
#include "tessera/values/number_text.h"
#include "tessera/values/string_utils.h"
#include "tessera/xml/column_value.h"
#include "tessera/xml/schema_lookup.h"

namespace tessera {
namespace {

// A foreign-key chain longer than this is a cycle in the dictionary.
constexpr int kMaxForeignKeyHops = 64;

std::string MapKey(std::string_view table, std::string_view column, std::string_view key) {
  std::string text;
  text.reserve(table.size() + column.size() + key.size() + 2);
  text.append(table).append(1, ':').append(column).append(1, ':').append(key);
  return text;
}

bool IsTextLikeType(BYTE code) {
  return code == 12 || code == 13 || code == 14 || code == 15 || code == 20 || code == 21 || code == 22;
}

// Follows the token's table and column along their foreign keys until a hop is already mapped
// or its sequence gives a value; every hop passed on the way is mapped to the identifier found.
// Without one, the Key read as a decimal integer is the identifier.
int32_t ChaseIdentifier(AutoIdMap& map, const TableDefn* table, const ColumnDefn* column, std::string_view key) {
  std::vector<std::string> passed;
  std::optional<int32_t> id;
  for (int hop = 0; table && column && hop < kMaxForeignKeyHops; ++hop) {
    std::string hopKey = MapKey(table->name, column->name, key);
    if (const int32_t* mapped = map.Get(hopKey)) {
      id = *mapped;
      break;
    }
    const int32_t generated = GenerateID(table->name.c_str(), column);
    passed.push_back(std::move(hopKey));
    if (generated != -1) {
      id = generated;
      break;
    }
    const ForeignKeyDefn* foreignKey = FindForeignKeyOf(table, column->name);
    if (foreignKey == nullptr) break;
    table = GetTableDefn(foreignKey->referenceTable.c_str());
    column = FindColumnNoCase(table, foreignKey->referenceColumn);
  }
  if (!id) return StringToInt32(std::string(key).c_str());
  for (const std::string& hopKey : passed) map.Put(hopKey, *id);
  return *id;
}

int32_t TokenIdentifier(AutoIdMap& map, const char* tableName, const ColumnDefn& column, const std::string& text,
                        const ReferenceToken& token, bool& known) {
  known = true;
  const std::string ownKey = MapKey(tableName, column.name, token.key);
  if (const int32_t* found = map.Get(text)) {
    const int32_t id = *found;
    map.Put(ownKey, id);
    return id;
  }
  // A sequence that cannot give a value (-1) counts as none: the chase below then finds the
  // identifier of a related sequence, or the Key itself.
  int32_t id = column.generatorName ? GenerateID(tableName, &column) : -1;
  if (id == -1) {
    const TableDefn* table = token.table.empty() ? nullptr : GetTableDefn(std::string(token.table).c_str());
    const ColumnDefn* tokenColumn = token.column.empty() ? nullptr : FindColumnNoCase(table, token.column);
    if (tokenColumn == nullptr) {
      LogError("Unable to get Column details for AutoID generation \n");
      known = false;
      return -1;
    }
    id = ChaseIdentifier(map, table, tokenColumn, token.key);
  }
  map.Put(ownKey, id);
  map.Put(text, id);
  return id;
}

}  // namespace

bool IsReferenceToken(std::string_view text) {
  const size_t first = text.find(':');
  return first != std::string_view::npos && text.find(':', first + 1) != std::string_view::npos;
}

bool SplitReferenceToken(std::string_view text, ReferenceToken& token) {
  const size_t first = text.find(':');
  if (first == std::string_view::npos) return false;
  const size_t second = text.find(':', first + 1);
  if (second == std::string_view::npos) return false;
  token.table = text.substr(0, first);
  token.column = text.substr(first + 1, second - first - 1);
  token.key = text.substr(second + 1);
  return true;
}

BYTE ConvertReferenceToken(AutoIdMap& map, const char* tableName, const ColumnDefn& column, const std::string& token,
                           Value& value) {
  value = Value();
  ReferenceToken parts;
  if (!SplitReferenceToken(token, parts)) {
    int32_t length = 0;
    return AllocateAndCopyColumnValue(value, length, column.type, token.c_str());
  }
  try {
    int32_t length = 0;
    const BYTE code = column.type;
    if (IsTextLikeType(code)) {
      value = Value::FromText(parts.key);
      return kTesseraSuccess;
    }
    if (code == 16 || code == 17 || code == 18) return AllocateAndCopyColumnValue(value, length, code, token.c_str());
    if (code == 0 || code > 22) return kTesseraSuccess;  // unsupported type: no value
    if (EqualsIgnoreCase(tableName, "Workflow_Statements") && EqualsIgnoreCase(column.name, "NEXT_STATEMENT_ID") &&
        parts.key == "0") {
      return AllocateAndCopyColumnValue(value, length, code, "0");
    }
    bool known = false;
    const int32_t id = TokenIdentifier(map, tableName, column, token, parts, known);
    if (!known) return kTesseraSuccess;  // the column stays empty
    return AllocateAndCopyColumnValue(value, length, code, std::to_string(id).c_str());
  } catch (const std::bad_alloc&) {
    value = Value();
    return kTesseraNoMemory;
  }
}

BYTE ConvertAttributeText(AutoIdMap& map, const char* tableName, const ColumnDefn& column, const std::string& text,
                          Value& value) {
  if (IsReferenceToken(text)) return ConvertReferenceToken(map, tableName, column, text, value);
  int32_t length = 0;
  return AllocateAndCopyColumnValue(value, length, column.type, text.c_str());
}

}  // namespace tessera
