#include "tessera/table/table_data.h"

#include <new>
#include <string_view>

#include "agent/log/log.h"
#include "tessera/schema/data_dictionary.h"
#include "tessera/values/string_utils.h"

namespace tessera {

int32_t TableData::DefinitionColumnCount() const {
  if (kind == TABLE_DATA_KIND_TABLE) return tableDefn ? tableDefn->ColumnCount() : 0;
  return viewDefn && viewDefn->columns ? viewDefn->columns->count() : 0;
}

const ColumnDefn* TableData::ColumnDefnAt(int32_t index) const {
  if (index < 0) return nullptr;
  if (kind == TABLE_DATA_KIND_TABLE) {
    if (!tableDefn || !tableDefn->columns) return nullptr;
    const auto* cell = tableDefn->columns->ElementAt(index);
    return cell ? cell->data.get() : nullptr;
  }
  if (!viewDefn || !viewDefn->columns) return nullptr;
  const auto* cell = viewDefn->columns->ElementAt(index);
  return cell && cell->data ? cell->data->columnDefn : nullptr;
}

const char* TableData::ColumnNameAt(int32_t index) const {
  if (index < 0) return nullptr;
  if (kind == TABLE_DATA_KIND_TABLE) {
    const ColumnDefn* column = ColumnDefnAt(index);
    return column ? column->name.c_str() : nullptr;
  }
  if (!viewDefn || !viewDefn->columns) return nullptr;
  const auto* cell = viewDefn->columns->ElementAt(index);
  return cell && cell->data ? cell->data->columnName : nullptr;
}

int32_t TableData::FindColumn(const char* columnName) const {
  if (columnName == nullptr) return -1;
  const std::string_view wanted(columnName);
  int32_t index = 0;
  if (kind == TABLE_DATA_KIND_TABLE) {
    if (!tableDefn || !tableDefn->columns) return -1;
    for (const auto& column : *tableDefn->columns) {
      if (column && EqualsIgnoreCase(column->name, wanted)) return index;
      ++index;
    }
    return -1;
  }
  if (!viewDefn || !viewDefn->columns) return -1;
  for (const auto& column : *viewDefn->columns) {
    if (column && column->columnName && EqualsIgnoreCase(column->columnName, wanted)) return index;
    ++index;
  }
  return -1;
}

TableDataList& GetTableDataList() {
  static TableDataList list;
  return list;
}

void InitTableDataList() {
  FreeAllTableData();  // each with its own freeing (and its line), under the list's lock
  GetTableDataList().InitVector(nullptr);
}

namespace {

// Appends the TableData unless one of the same name (without regard to case) is there: the test
// and the append hold the list's lock together, so one name never gets two TableData.
bool AppendTableData(std::unique_ptr<TableData> tableData) {
  const std::string name = tableData->name;
  return GetTableDataList().AddDataUnless(std::move(tableData), [&name](const std::unique_ptr<TableData>& t) {
    return t && EqualsIgnoreCase(t->name, name);
  }) == 1;
}

// Whether the TableData reads anything of `defn`: a table of it, or a view showing its columns.
bool RefersTo(const TableData& tableData, const TableDefn& defn) {
  if (tableData.tableDefn == &defn) return true;
  if (!tableData.viewDefn || !tableData.viewDefn->columns || !defn.columns) return false;
  for (const auto& viewColumn : *tableData.viewDefn->columns) {
    if (!viewColumn || viewColumn->columnDefn == nullptr) continue;
    for (const auto& column : *defn.columns)
      if (column.get() == viewColumn->columnDefn) return true;
  }
  return false;
}

}  // namespace

bool CreateTable(const char* tableName) {
  LogTrace("@@@ Inside CreateTable @@@\n");
  if (tableName == nullptr) return false;
  const TableDefn* defn = GetTableDefn(tableName);
  if (defn == nullptr) return false;
  try {
    auto tableData = std::make_unique<TableData>();
    tableData->name = tableName;
    tableData->kind = TABLE_DATA_KIND_TABLE;
    tableData->tableDefn = defn;
    tableData->columnCount = defn->ColumnCount();
    return AppendTableData(std::move(tableData));
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool CreateCustomViewData(const char* viewName, std::unique_ptr<CustomViewDefn> viewDefn) {
  LogTrace("@@@ Inside CreateCustomViewData @@@\n");
  if (viewName == nullptr || !viewDefn) return false;
  try {
    auto tableData = std::make_unique<TableData>();
    tableData->name = viewName;
    tableData->kind = TABLE_DATA_KIND_VIEW;
    tableData->columnCount = viewDefn->columns ? viewDefn->columns->count() : 0;
    tableData->viewDefn = std::move(viewDefn);
    return AppendTableData(std::move(tableData));
  } catch (const std::bad_alloc&) {
    return false;
  }
}

std::unique_ptr<CustomViewDefn> CreateCustomViewDefn(BYTE tableCount, std::vector<std::string> tableNames,
                                                     std::unique_ptr<ViewColumnVector> columns) {
  LogTrace("@@@ Inside CreateCustomViewDefn @@@\n");
  try {
    auto defn = std::make_unique<CustomViewDefn>();
    defn->tableCount = tableCount;
    defn->tableNames = std::move(tableNames);
    defn->columns = columns ? std::move(columns) : std::make_unique<ViewColumnVector>();
    return defn;
  } catch (const std::bad_alloc&) {
    LogError("Could not allocate memory for CustomViewDefn\n");
    return nullptr;
  }
}

std::unique_ptr<ViewColumnDefn> CreateViewColumnDefn(const char* name, int32_t value, int32_t argumentCount,
                                                     const ColumnDefn* columnDefn) {
  LogTrace("@@@ Inside CreateViewColumnDefn @@@\n");
  try {
    auto column = std::make_unique<ViewColumnDefn>();
    column->columnName = name ? name : (columnDefn ? columnDefn->name.c_str() : nullptr);
    column->value = value;
    column->count = argumentCount;
    column->columnDefn = columnDefn;
    return column;
  } catch (const std::bad_alloc&) {
    LogError("Could not allocate memory for ViewColumnDefn\n");
    return nullptr;
  }
}

void FreeCustomViewDefn(std::unique_ptr<CustomViewDefn> viewDefn) { viewDefn.reset(); }

TableData* GetTableDataByName(const char* name) {
  if (name == nullptr) return nullptr;
  // FindFirst reads the list, its count included, under the list's lock: an empty list simply
  // finds nothing.
  const std::string_view wanted(name);
  auto* found = GetTableDataList().FindFirst([wanted](const std::unique_ptr<TableData>& t) { return t && EqualsIgnoreCase(t->name, wanted); });
  return found ? found->get() : nullptr;
}

signed char SortTableByName(const std::unique_ptr<TableData>& added, const std::unique_ptr<TableData>& existing) {
  const int order = added->name.compare(existing->name);
  return static_cast<signed char>(order < 0 ? -1 : (order > 0 ? 1 : 0));
}

const char* GetTableNameOfView(const char* name) {
  const TableData* tableData = GetTableDataByName(name);
  if (tableData != nullptr && tableData->kind == TABLE_DATA_KIND_VIEW && tableData->viewDefn &&
      !tableData->viewDefn->tableNames.empty())
    return tableData->viewDefn->tableNames.front().c_str();
  return name;
}

void FreeTableData(std::unique_ptr<TableData> tableData) {
  if (!tableData) return;
  LogDebug("\t %s is being freed\n", tableData->name);
  tableData.reset();
}

bool RemoveTableData(const char* name) {
  TableData* tableData = GetTableDataByName(name);
  if (tableData == nullptr) return false;
  LogDebug("\t %s is being freed\n", tableData->name);
  return GetTableDataList().DeleteLCDVector(tableData);  // the cell owns the TableData
}

void FreeAllTableData() {
  TableDataList& list = GetTableDataList();
  while (auto first = list.TakeFirst()) FreeTableData(std::move(*first));
}

void FreeTableDataOfDefinition(const TableDefn* defn) {
  if (defn == nullptr) return;
  TableDataList& list = GetTableDataList();
  auto refersToDefn = [defn](const std::unique_ptr<TableData>& t) { return t && RefersTo(*t, *defn); };
  for (auto* found = list.FindFirst(refersToDefn); found != nullptr; found = list.FindFirst(refersToDefn)) {
    const TableData* tableData = found->get();
    LogDebug("\t %s is being freed\n", tableData->name);
    list.DeleteLCDVector(tableData);  // the cell owns the TableData
  }
}

}  // namespace tessera
