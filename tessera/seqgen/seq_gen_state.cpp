// How a batch is reserved: the whole reservation runs in one database transaction that first
// raises CURRENTBATCHEND by 300 in place and then reads the raised value back. The update takes
// the row's write lock, so two processes sharing the database serialise on it and each reads
// back its own end: their batches never overlap. A sequence without a row is inserted at 300;
// when another process inserts the same name first, the insert fails on the primary key, the
// transaction is rolled back and the reservation starts again (then finding the row).
//
// Within one process the reservations hold the store's transaction lock, because threads may
// share one connection handle, and a transaction belongs to the handle.
#include "tessera/seqgen/seq_gen_state.h"

#include <cstdlib>
#include <mutex>
#include <optional>
#include <string>

#include "agent/log/log.h"
#include "agent/log/object_lock.h"
#include "tessera/db/conn_params.h"
#include "tessera/db/connection_pool.h"
#include "tessera/db/data_source_map.h"
#include "tessera/db/db_dispatch.h"
#include "tessera/db/sql_escape.h"
#include "tessera/db/transaction_lock.h"
#include "tessera/schema/data_dictionary.h"
#include "tessera/seqgen/sequence_map.h"
#include "tessera/values/string_utils.h"
#include "tessera/values/value_convert.h"

namespace tessera {
namespace {

constexpr int kReservationAttempts = 3;

// The connection the sequence of `tableName` lives on: the table's mapped one, else the default.
std::string ConnectionFor(const char* tableName) {
  if (tableName != nullptr) {
    if (const DataSourceMapEntry* entry = GetDataSourceMapEntry(tableName)) return entry->connectionName;
    LogError("No DataSourceMap Entry for Table name %s \n", tableName);
  }
  const char* name = GetDefaultConnectionName();
  return name ? name : "";
}

// CURRENTBATCHEND of the first row; `hasRow` tells whether there is one.
std::optional<int32_t> ReadBatchEnd(ResultSet& rs, bool& hasRow) {
  hasRow = ResultSetNextRow(rs) != nullptr;
  if (!hasRow) return std::nullopt;
  int32_t length = 0;
  const Value* value = ResultSetColumnValue(rs, "CURRENTBATCHEND", length);
  if (value == nullptr || value->IsNull()) return std::nullopt;
  std::optional<std::string> text = ConvertValueToString(*value, ResultSetColumnType(rs, "CURRENTBATCHEND"));
  if (!text) return std::nullopt;
  char* end = nullptr;
  long long number = std::strtoll(text->c_str(), &end, 10);
  if (end == text->c_str()) return std::nullopt;
  return static_cast<int32_t>(number);
}

enum class Outcome { Reserved, Retry, Failed };

// One attempt inside one transaction; on Reserved `next`/`last` hold the batch.
Outcome ReserveOnce(ConnectionHandle* handle, const std::string& name, const std::string& escaped, int32_t& next,
                    int32_t& last) {
  const std::string select = hl::Sprintf("select * from SeqGenState where SEQNAME = '%s';", escaped);
  const std::string update = hl::Sprintf(
      "update SeqGenState set CURRENTBATCHEND = CURRENTBATCHEND + %d where SEQNAME = '%s';", kSequenceBatchSize,
      escaped);
  const bool inTransaction = BeginTransaction(handle);
  auto abandon = [&](Outcome outcome) {
    if (inTransaction) RollbackTransaction(handle);
    return outcome;
  };

  LogTrace("Update Query %s\n", update);
  if (!ExecuteUpdate(handle, update.c_str())) {
    abandon(Outcome::Failed);
    // Tell a missing table from another failure, as the operator will want to know which.
    if (!ExecuteQuery(handle, select.c_str()))
      LogError("Table doesn't Exists for UpdateSeqGen\n");
    else
      LogError("ExecuteUpdate Failed for update\n");
    return Outcome::Failed;
  }
  LogTrace("Query %s\n", select);
  ResultSetPtr rs = ExecuteQuery(handle, select.c_str());
  if (!rs) {
    LogError("Table doesn't Exists for UpdateSeqGen\n");
    return abandon(Outcome::Failed);
  }
  bool hasRow = false;
  std::optional<int32_t> end = ReadBatchEnd(*rs, hasRow);
  FreeResultSet(std::move(rs));
  if (hasRow) {
    if (!end) {
      LogError("Cannot read CURRENTBATCHEND of sequence %s\n", name);
      return abandon(Outcome::Failed);
    }
    next = *end - kSequenceBatchSize + 1;
    last = *end;
  } else {
    const std::string insert = hl::Sprintf("insert into SeqGenState values ('%s',%d);", escaped, kSequenceBatchSize);
    LogTrace("Insert Query %s\n", insert);
    if (!ExecuteUpdate(handle, insert.c_str())) {
      // Most likely another process created the sequence meanwhile: try again.
      abandon(Outcome::Retry);
      return Outcome::Retry;
    }
    next = 1;
    last = kSequenceBatchSize;
  }
  if (inTransaction && !CommitTransaction(handle)) {
    LogError("Cannot commit the batch reserved for sequence %s\n", name);
    return Outcome::Retry;
  }
  return Outcome::Reserved;
}

}  // namespace

bool UpdateSeqGen(const char* tableName, const char* sequenceName) {
  LogTrace("Inside UpdateSeqGen \n");
  if (sequenceName == nullptr) return false;
  const std::string name = sequenceName;
  const std::string connection = ConnectionFor(tableName);
  const ConnParams* params = GetConnParams(connection.c_str());
  const std::string escaped = EscapeSqlLiteral(name, params ? params->dbType.c_str() : nullptr);

  std::lock_guard guard(StoreTransactionLock());
  ConnectionHandle* handle = GetConnectionHandle(connection.empty() ? nullptr : connection.c_str());
  if (handle == nullptr) {
    LogError("Table doesn't Exists for UpdateSeqGen\n");
    return false;
  }
  int32_t next = 0, last = 0;
  Outcome outcome = Outcome::Retry;
  for (int attempt = 0; attempt < kReservationAttempts && outcome == Outcome::Retry; ++attempt)
    outcome = ReserveOnce(handle, name, escaped, next, last);
  ReleaseConnectionHandle(connection.empty() ? nullptr : connection.c_str());
  if (outcome == Outcome::Retry) {
    LogError("ExecuteUpdate Failed for insert\n");
    return false;
  }
  if (outcome == Outcome::Failed) return false;
  if (!InstallSequenceBatch(sequenceName, next, last)) {
    LogError("Memory allocation Failed\n");
    return false;
  }
  return true;
}

bool SequenceGenerator() {
  LogTrace("Inside SequenceGenerator\n");
  for (const auto& table : GetDataDictionary()) {
    if (table->ColumnCount() == 0) return false;
    for (const auto& column : *table->columns) {
      if (!column->generatorName) continue;
      hl::ObjectLockGuard lock(&GetSequenceMap());
      UpdateSeqGen(table->name.c_str(), column->generatorName->c_str());
    }
  }
  return true;
}

}  // namespace tessera
