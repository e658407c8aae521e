// How a table is saved: the statements of one table run in transactions of up to 500 rows.
// Each statement is wrapped in a savepoint, so that a failing row is rolled back alone and the
// rest of the batch still commits (PostgreSQL otherwise aborts the whole transaction at the
// first error). Row states change only once their batch is committed; when a commit (or the
// savepoint bookkeeping) fails, the batch is rolled back, its rows keep their states for the
// next save, and the remaining rows of this save run one statement per autocommit instead.
// Without transactions (the provider refuses to begin one) every statement commits alone.
#include "tessera/db/table_save.h"

#include <optional>
#include <string>
#include <vector>

#include "agent/log/log.h"
#include "tessera/db/db_dispatch.h"
#include "tessera/db/table_connection.h"
#include "tessera/db/text_file_reader.h"
#include "tessera/db/tessera_root.h"
#include "tessera/table/store_lock.h"
#include "tessera/table/table_data.h"
#include "tessera/table/table_rows.h"

namespace tessera {
namespace {

enum class RowStatement { None, Insert, Update, Delete };

RowStatement StatementFor(BYTE state) {
  if (state == (ROW_STATE_PERSISTED | ROW_STATE_MODIFIED)) return RowStatement::Update;
  if ((state & ROW_STATE_PERSISTED) && (state & ROW_STATE_DELETED)) return RowStatement::Delete;
  if (state == ROW_STATE_NEW || state == (ROW_STATE_NEW | ROW_STATE_MODIFIED)) return RowStatement::Insert;
  return RowStatement::None;
}

std::optional<std::string> TextFor(RowStatement statement, const char* tableName, const RowObject* row) {
  switch (statement) {
    case RowStatement::Update: return GenerateUpdateQuery(tableName, row);
    case RowStatement::Delete: return GenerateDeleteQuery(tableName, row);
    case RowStatement::Insert: return GenerateInsertQuery(tableName, row);
    case RowStatement::None: break;
  }
  return std::nullopt;
}

class BatchWriter {
 public:
  BatchWriter(ConnectionHandle* handle, const char* tableName) : handle_(handle), table_(tableName) {}

  void Run(RowObject* row, bool deletes, const std::optional<std::string>& sql) {
    if (!transactional_ && !triedTransaction_) {
      triedTransaction_ = true;
      transactional_ = BeginTransaction(handle_);
    }
    if (transactional_ && !ExecuteUpdate(handle_, "SAVEPOINT TESSERA_ROW")) {
      Abandon();
    }
    const bool ok = sql && ExecuteUpdate(handle_, sql->c_str());
    if (!ok) {
      LogError("Error in executing update query \n");
      LogError("QUERY : %s\n", sql ? sql->c_str() : "(null)");
    }
    if (transactional_ && !ExecuteUpdate(handle_, ok ? "RELEASE SAVEPOINT TESSERA_ROW" : "ROLLBACK TO SAVEPOINT TESSERA_ROW")) {
      Abandon();
      return;
    }
    if (!ok) return;
    if (!transactional_) {
      Apply(row, deletes);
      return;
    }
    pending_.push_back({row, deletes});
    if (static_cast<int32_t>(pending_.size()) >= kSaveBatchRows) Commit(/*again=*/true);
  }

  void Finish() {
    if (transactional_) Commit(/*again=*/false);
  }

 private:
  struct Saved {
    RowObject* row;
    bool deletes;
  };

  void Apply(RowObject* row, bool deletes) {
    if (deletes) {
      row->state = ROW_STATE_DELETED;
      RemoveRowObject(table_, row);
    } else {
      row->state = ROW_STATE_PERSISTED;
    }
  }

  void Commit(bool again) {
    if (!CommitTransaction(handle_)) {
      LogError("Cannot commit the saved rows of %s; they are saved again next time\n", table_);
      pending_.clear();
      transactional_ = false;
      return;
    }
    for (const Saved& saved : pending_) Apply(saved.row, saved.deletes);
    pending_.clear();
    transactional_ = again && BeginTransaction(handle_);
  }

  // The transaction can no longer be trusted: roll it back and go on one statement at a time.
  void Abandon() {
    LogError("Cannot keep the saved rows of %s in one transaction; they are saved again next time\n", table_);
    RollbackTransaction(handle_);
    pending_.clear();
    transactional_ = false;
  }

  ConnectionHandle* handle_;
  const char* table_;
  bool triedTransaction_ = false;
  bool transactional_ = false;
  std::vector<Saved> pending_;
};

}  // namespace

bool SaveTable(const char* tableName) {
  LogTrace("@@@ Inside SaveTable @@@\n");
  TableData* tableData = GetTableDataByName(tableName);
  if (tableData == nullptr) return false;
  StoreLockGuard lock;
  TableConnection connection(tableName);
  if (!connection.ok()) return false;

  // The rows in list order, taken before any of them leaves the table.
  std::vector<RowObject*> rows;
  for (RowObject* row = tableData->firstRow.get(); row != nullptr; row = row->next.get()) rows.push_back(row);
  BatchWriter writer(connection.handle(), tableData->name.c_str());
  for (RowObject* row : rows) {
    RowStatement statement = StatementFor(row->state);
    if (statement == RowStatement::None) continue;
    writer.Run(row, statement == RowStatement::Delete, TextFor(statement, tableName, row));
  }
  writer.Finish();
  return true;
}

bool SaveAllTables() {
  LogTrace("@@@ Inside SaveAllTables @@@\n");
  std::vector<std::string> names;
  for (const auto& table : GetTableDataList()) names.push_back(table->name);
  for (const std::string& name : names) SaveTable(name.c_str());
  return true;
}

bool SaveTablesFromList() {
  LogTrace("\t@@@@@ Inside SaveTablesFromList @@@@@\n");
  FilePtr list;
  if (const char* root = GetTesseraRoot()) {
    std::string path = hl::Sprintf("%s/data/%s", root, "savetableslist.txt");
    LogDebug("Opening %s\n", path);
    list.reset(std::fopen(path.c_str(), "r"));
  }
  if (!list) {
    LogError("No tables to be saved.\n");
    return true;
  }
  for (std::string line; ReadRestOfLine(list.get(), line);) {
    std::string name = line.substr(0, line.find(' '));
    if (!name.empty()) SaveTable(name.c_str());
  }
  return true;
}

}  // namespace tessera
