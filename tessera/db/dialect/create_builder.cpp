// CREATE TABLE text for a dictionary table, shared by the four dialects.
//
// Each column's type text comes from the dialect's columnDefinition hook; the builder adds the
// NOT NULL and UNIQUE modifiers, the primary key and the foreign keys. Consecutive foreign-key
// records that name one reference table (with different reference columns) form one composite
// FOREIGN KEY line; ON DELETE CASCADE is written only when the dictionary asks for it.
#include <vector>

#include "agent/log/log.h"
#include "tessera/db/dialect/statement_builder.h"
#include "tessera/schema/data_dictionary.h"
#include "tessera/values/string_utils.h"

namespace tessera::dialect {
namespace {

bool IsKeyColumn(const TableDefn& table, const std::string& column) {
  if (!table.constraints) return false;
  for (const std::string& key : table.constraints->primaryKeys)
    if (EqualsIgnoreCase(key, column)) return true;
  return false;
}

struct ForeignKeyGroup {
  std::vector<const ForeignKeyDefn*> pairs;
  bool cascade = false;
};

bool GroupHasReference(const ForeignKeyGroup& group, const std::string& referenceColumn) {
  for (const ForeignKeyDefn* pair : group.pairs)
    if (EqualsIgnoreCase(pair->referenceColumn, referenceColumn)) return true;
  return false;
}

std::vector<ForeignKeyGroup> GroupForeignKeys(const ForeignKeyVector& foreignKeys) {
  std::vector<ForeignKeyGroup> groups;
  for (const auto& key : foreignKeys) {
    bool joins = !groups.empty() && EqualsIgnoreCase(groups.back().pairs.front()->referenceTable, key->referenceTable) &&
                 !GroupHasReference(groups.back(), key->referenceColumn);
    if (!joins) groups.emplace_back();
    groups.back().pairs.push_back(key.get());
    groups.back().cascade = groups.back().cascade || key->onDeleteCascade != 0;
  }
  return groups;
}

template <class Field>
std::string JoinPairs(const ForeignKeyGroup& group, Field field) {
  std::string out;
  for (const ForeignKeyDefn* pair : group.pairs) out += (out.empty() ? "" : ",") + pair->*field;
  return out;
}

std::string ForeignKeySection(const TableDefn& table, const ForeignKeyVector& foreignKeys, const DialectFacts& facts) {
  LogTrace("Foreign key Constraints\n");
  LogTrace("********************************\n");
  std::string out = ",\n";
  std::vector<ForeignKeyGroup> groups = GroupForeignKeys(foreignKeys);
  for (size_t g = 0; g < groups.size(); ++g) {
    const ForeignKeyGroup& group = groups[g];
    std::string local = JoinPairs(group, &ForeignKeyDefn::localColumn);
    std::string reference = JoinPairs(group, &ForeignKeyDefn::referenceColumn);
    const std::string& referenceTable = group.pairs.front()->referenceTable;
    if (facts.foreignKeyTraces) {
      LogTrace("Column Name : %s\n", local);
      LogTrace("Ref Column  : %s\n", reference);
      LogTrace("Tablename : %s\n", referenceTable);
    }
    if (g > 0) out += ",\n";
    out += hl::Sprintf("\tFOREIGN KEY(%s) REFERENCES %s (%s)", local, referenceTable, reference);
    if (group.cascade) out += " ON DELETE CASCADE";
    if (facts.indexAfterForeignKey) out += hl::Sprintf(",\n\tINDEX %s_IDX%d (%s)", table.name, static_cast<int32_t>(g), local);
  }
  return out;
}

}  // namespace

std::optional<std::string> BuildCreate(const char* tableName, const DialectFacts& facts) {
  if (facts.createEntry) LogTrace(facts.createEntry);
  const TableDefn* table = tableName ? GetTableDefn(tableName) : nullptr;
  if (table == nullptr || table->ColumnCount() == 0) return std::nullopt;
  LogTrace("Table Name : %s\n", table->name);
  LogTrace("Description: %s\n", table->description.value_or(""));
  LogTrace("---------------------------------------\n\n");

  const std::vector<std::string> noKeys;
  const std::vector<std::string>& keys = table->constraints ? table->constraints->primaryKeys : noKeys;
  std::string sql = hl::Sprintf("CREATE TABLE %s(\n", tableName);
  int32_t count = table->ColumnCount(), index = 0;
  for (const auto& column : *table->columns) {
    LogTrace("Column Name : %s\n", column->name);
    LogTrace("Column Type : %d\n", static_cast<int32_t>(column->type));
    LogTrace("Unique Flag : %s\n", column->unique ? "TRUE" : "FALSE");
    LogTrace("Description : %s\n", column->description.value_or(""));
    LogTrace("---------------------------------------\n\n");
    std::optional<std::string> definition = facts.columnDefinition(*column, facts);
    sql += definition ? *definition : "\t" + column->name;
    if (!column->nullable) sql += " NOT NULL";
    if (column->unique && (facts.uniqueOnPrimaryKey || !IsKeyColumn(*table, column->name))) sql += " UNIQUE";
    sql += ++index < count || !keys.empty() ? ",\n" : "\n";
  }
  if (!keys.empty()) {
    std::string names;
    for (const std::string& key : keys) {
      names += (names.empty() ? "" : ", ") + key;
      LogTrace("Primary key : %s\n\n", key);
    }
    sql += "\tPRIMARY KEY(" + names + ")";
  }
  if (table->constraints && table->constraints->foreignKeys && !table->constraints->foreignKeys->empty())
    sql += ForeignKeySection(*table, *table->constraints->foreignKeys, facts);
  sql += facts.createEnd;
  LogTrace("Create query is\n%s\n", sql);
  return sql;
}

}  // namespace tessera::dialect
