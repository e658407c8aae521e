// How a table is saved: the statements of one table run in transactions of up to 2,000 rows, so
// that the engine commits once per batch instead of once per row. Row states change only once
// their batch is committed. When a statement fails, the engine may have aborted the whole
// transaction (PostgreSQL does), so the batch is rolled back and its statements, the failing
// one included, run again one by one, each committed alone: the good rows are saved, the
// failing row keeps its state for the next save, and batching resumes after it. A failed commit
// is handled the same way. Without transactions (the provider refuses to begin one) every
// statement commits alone.
#include "tessera/db/table_save.h"

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "agent/log/log.h"
#include "tessera/db/db_dispatch.h"
#include "tessera/db/table_connection.h"
#include "tessera/db/text_file_reader.h"
#include "tessera/db/tessera_root.h"
#include "tessera/db/transaction_lock.h"
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

  void Run(RowObject* row, bool deletes, std::optional<std::string> sql) {
    if (!sql) {
      Report(nullptr);
      return;
    }
    if (!transactional_ && !triedTransaction_) {
      triedTransaction_ = true;
      Begin();
    }
    if (!transactional_) {
      RunAlone({row, deletes, std::move(*sql)});
      return;
    }
    if (!ExecuteUpdate(handle_, sql->c_str())) {
      // The engine may have aborted the whole transaction: nothing of it is trusted.
      RollbackTransaction(handle_);
      lock_.unlock();
      Replay();
      RunAlone({row, deletes, std::move(*sql)});
      Begin();
      return;
    }
    pending_.push_back({row, deletes, std::move(*sql)});
    if (static_cast<int32_t>(pending_.size()) >= kSaveBatchRows) Commit(/*again=*/true);
  }

  void Finish() {
    if (transactional_) Commit(/*again=*/false);
  }

 private:
  struct Statement {
    RowObject* row;
    bool deletes;
    std::string sql;
  };

  static void Report(const std::string* sql) {
    LogError("Error in executing update query \n");
    LogError("QUERY : %s\n", sql ? sql->c_str() : "(null)");
  }

  void Apply(const Statement& statement) {
    if (statement.deletes) {
      statement.row->state = ROW_STATE_DELETED;
      RemoveRowObject(table_, statement.row);
    } else {
      statement.row->state = ROW_STATE_PERSISTED;
    }
  }

  // One statement in its own commit: its row's state follows its own result.
  void RunAlone(const Statement& statement) {
    if (ExecuteUpdate(handle_, statement.sql.c_str()))
      Apply(statement);
    else
      Report(&statement.sql);
  }

  // The statements of a rolled-back batch, again one by one.
  void Replay() {
    std::vector<Statement> batch = std::move(pending_);
    pending_.clear();
    for (const Statement& statement : batch) RunAlone(statement);
  }

  // A transaction on the handle, holding the store's transaction lock until it ends.
  void Begin() {
    lock_.lock();
    transactional_ = BeginTransaction(handle_);
    if (!transactional_) lock_.unlock();
  }

  void Commit(bool again) {
    const bool committed = CommitTransaction(handle_);
    if (!committed) RollbackTransaction(handle_);
    lock_.unlock();
    transactional_ = false;
    if (committed) {
      for (const Statement& statement : pending_) Apply(statement);
      pending_.clear();
    } else {
      LogError("Cannot commit the saved rows of %s; saving them one by one\n", table_);
      Replay();
    }
    if (again) Begin();
  }

  ConnectionHandle* handle_;
  const char* table_;
  bool triedTransaction_ = false;
  bool transactional_ = false;
  std::unique_lock<std::mutex> lock_{StoreTransactionLock(), std::defer_lock};
  std::vector<Statement> pending_;
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
