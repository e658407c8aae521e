#include "tessera/db/table_load.h"

#include <string>

#include "agent/log/log.h"
#include "tessera/db/db_dispatch.h"
#include "tessera/db/table_connection.h"
#include "tessera/db/text_file_reader.h"
#include "tessera/schema/data_dictionary.h"
#include "tessera/table/table_data.h"
#include "tessera/table/table_rows.h"
#include "tessera/values/string_utils.h"

namespace tessera {
namespace {

// Runs the query on the table's connection and gives the handle back at once.
ResultSetPtr RunSelect(const char* tableName, const std::string& query, std::string& dialect) {
  TableConnection connection(tableName);
  if (!connection.ok()) return nullptr;
  dialect = connection.dialect();
  return ExecuteQuery(connection.handle(), query.c_str());
}

// Converts and appends every row of the result under `targetName`; false at the first row that
// cannot be converted or added.
bool AddResultRows(ResultSet& rs, const char* dialect, const char* tableName, const char* targetName) {
  while (ResultSetNextRow(rs)) {
    std::unique_ptr<RowObject> row = ConvResultsetToRowobject(&rs, dialect, tableName);
    if (!row) {
      LogError("Cannot convert a row of %s\n", tableName);
      return false;
    }
    row->state = ROW_STATE_PERSISTED;
    if (!AddNewRow(targetName, row)) return false;
  }
  return true;
}

bool ContainsSelect(const std::string& text) {
  std::string lower = text;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower.find("select") != std::string::npos;
}

void LoadListLine(const std::string& line) {
  size_t blank = line.find(' ');
  if (blank == std::string::npos) {
    LoadTable(line.c_str());
    return;
  }
  std::string table = line.substr(0, blank);
  std::string rest = line.substr(blank + 1);
  if (ContainsSelect(rest)) {
    LogTrace("LOADTABLE_QUERY : %s\n", line);
    LoadTableByQuery(table.c_str(), rest.c_str());
  } else {
    LogTrace("LOADTABLE : %s\n", line);
    LoadTable(table.c_str());
  }
}

}  // namespace

bool LoadAllTables() {
  LogTrace("\t@@@@@ Inside LoadAllTables() @@@@@\n");
  FilePtr list = OpenDataFile("..\\data\\loadtablelist.txt", "loadtablelist.txt");
  if (!list) {
    LogError("Cannot open LoadTableList Entry File.\n");
    return false;
  }
  for (std::string line; ReadRestOfLine(list.get(), line);) {
    if (line.find_first_not_of(" \t") == std::string::npos) continue;  // blank line
    LoadListLine(line);
  }
  return true;
}

bool LoadTable(const char* tableName) {
  if (tableName == nullptr) return false;
  LogTrace("\nLoading Table : %s\n", tableName);
  std::string dialect;
  ResultSetPtr rs = RunSelect(tableName, hl::Sprintf("select * from %s", tableName), dialect);
  if (!rs) {
    LogError("Error in executing select query for %s\n", tableName);
    return false;
  }
  const TableDefn* defn = GetTableDefn(tableName);
  if (defn == nullptr) {
    LogError("Error in getting Table Definition for %s\n", tableName);
    return false;
  }
  if (rs->columnCount != defn->ColumnCount()) {
    LogError(
        "\nLoadTable Failed for %s table as there is mismatch between table definition in datadictionary and actual "
        "table in database\n",
        tableName);
    return false;
  }
  if (!CreateTable(tableName)) {
    LogError("CreateTable Failed \n");
    return false;
  }
  return AddResultRows(*rs, dialect.c_str(), tableName, tableName);
}

bool LoadTableByQuery(const char* tableName, const char* query) {
  LogTrace("\t@@@@@ Inside LoadTableByQuery() @@@@@\n");
  if (tableName == nullptr || query == nullptr) return false;
  LogTrace("\nLoading Table : %s\n", tableName);
  LogTrace("\nSelect Query  : %s\n", query);
  std::string dialect;
  ResultSetPtr rs = RunSelect(tableName, query, dialect);
  if (!rs) {
    LogError("Error in executing select query \n");
    return false;
  }
  if (!CreateTable(tableName)) {
    LogError("CreateTable Failed \n");
    return false;
  }
  return AddResultRows(*rs, dialect.c_str(), tableName, tableName);
}

bool LoadViewByQuery(const char* viewName, const char* tableName, const char* query) {
  LogTrace("@@@ Inside LoadViewByQuery @@@\n");
  if (viewName == nullptr || tableName == nullptr || query == nullptr) return false;
  LogTrace("\nLoading View Data : %s\n", viewName);
  std::string dialect;
  ResultSetPtr rs = RunSelect(tableName, query, dialect);
  if (!rs) {
    LogError("Error in executing select query \n");
    return false;
  }
  const TableDefn* defn = GetTableDefn(tableName);
  if (defn == nullptr || defn->ColumnCount() == 0) return false;
  auto columns = std::make_unique<ViewColumnVector>();
  for (const auto& column : *defn->columns) {
    LogTrace("%s\t", column->name);
    auto viewColumn = CreateViewColumnDefn(nullptr, 0, 0, column.get());
    if (!viewColumn) return false;
    columns->AddData(std::move(viewColumn));
  }
  auto viewDefn = CreateCustomViewDefn(1, {tableName}, std::move(columns));
  if (!viewDefn || !CreateCustomViewData(viewName, std::move(viewDefn))) return false;
  return AddResultRows(*rs, dialect.c_str(), tableName, viewName);
}

bool UnLoadTable(const char* tableName) {
  LogTrace("\t@@@@@ UnLoadTable() @@@@@\n");
  return tableName != nullptr && RemoveTableData(tableName);
}

void UnLoadAllTable() {
  LogTrace("@@@ Inside UnLoadAllTable @@@\n");
  FreeAllTableData();
}

bool ReloadTableData() {
  LogTrace("\t@@@@@ Inside ReloadTableData() @@@@@\n");
  return LoadAllTables();
}

}  // namespace tessera
