// The four dialects: each is its facts and its column-type hook over the shared builder.
#include "agent/log/format.h"
#include "tessera/db/dialect/column_types.h"
#include "tessera/db/dialect/statement_builder.h"
#include "tessera/db/query_generator.h"

namespace tessera::dialect {
namespace {

std::string Varchar(const ColumnDefn& column, int32_t extra, const DialectFacts& facts) {
  return Definition(column, hl::Sprintf("varchar(%d)", column.maxSize + extra), DefaultText(column, facts));
}

std::optional<std::string> FirebirdColumn(const ColumnDefn& c, const DialectFacts& f) {
  switch (c.type) {
    case 1: case 2: case 3: case 4: case 5: return Definition(c, "int", DefaultInteger(c));
    case 6: case 7: case 8: return Definition(c, "bigint", DefaultInteger(c));
    case 9: case 11: return Definition(c, "float", DefaultNumber(c));
    case 10: return Definition(c, "double precision", DefaultNumber(c));
    case 12: return Definition(c, "decimal(18,4)", DefaultNumber(c));
    case 13: return Definition(c, "numeric(18,4)", DefaultNumber(c));
    case 14: case 15: return Varchar(c, 0, f);
    case 16: return "\t" + c.name + " date";
    case 17: return "\t" + c.name + " time";
    case 18: return "\t" + c.name + " timestamp";
    case 19: return Definition(c, "SMALLINT", DefaultBoolean(c, "1", "0")) + " ";
    case 21: case 22: return "\t" + c.name + " BLOB SUB_TYPE TEXT ";
    default: return "\t" + c.name + " BLOB ";
  }
}

std::optional<std::string> SqliteColumn(const ColumnDefn& c, const DialectFacts& f) {
  switch (c.type) {
    case 1: case 2: case 3: case 4: case 5: return Definition(c, "int", DefaultInteger(c));
    // The driver reports "int" columns as 32-bit; wider values need "bigint" to come back whole.
    case 6: case 7: case 8: return Definition(c, "bigint", DefaultInteger(c));
    case 9: case 11: return Definition(c, "float", DefaultNumber(c));
    case 10: return Definition(c, "double", DefaultNumber(c));
    case 12: return Definition(c, "decimal(18,4)", DefaultNumber(c));
    case 13: return Definition(c, "numeric(18,4)", DefaultNumber(c));
    case 14: case 15: return Varchar(c, 0, f);
    case 16: case 17: case 18: return "\t" + c.name + " varchar(30)";
    case 19: return Definition(c, "boolean", DefaultBoolean(c, "1", "0")) + " ";
    case 21: case 22: return "\t" + c.name + " text ";
    default: return "\t" + c.name + " blob ";
  }
}

std::optional<std::string> MysqlColumn(const ColumnDefn& c, const DialectFacts& f) {
  switch (c.type) {
    case 1: case 3: case 5: return Definition(c, "int", DefaultInteger(c));
    case 2: case 4: case 6: return Definition(c, "int unsigned", DefaultInteger(c));
    case 7: return Definition(c, "bigint", DefaultInteger(c));
    case 8: return Definition(c, "bigint unsigned", DefaultInteger(c));
    case 9: case 11: return Definition(c, "float", DefaultNumber(c));
    case 10: return Definition(c, "double", DefaultNumber(c));
    case 12: return Definition(c, "decimal(18,4)", DefaultNumber(c));
    case 13: return Definition(c, "numeric(18,4)", DefaultNumber(c));
    case 14: case 15: return Varchar(c, 0, f);
    case 16: return "\t" + c.name + " date";
    case 17: return "\t" + c.name + " time";
    case 18: return "\t" + c.name + " datetime";
    case 19: return Definition(c, "tinyint", DefaultBoolean(c, "1", "0")) + " ";
    case 20: case 21: return Definition(c, "blob", DefaultText(c, f));
    case 22: return "\t" + c.name + " text ";
    default: return Definition(c, "blob", " ");
  }
}

std::optional<std::string> PgsqlColumn(const ColumnDefn& c, const DialectFacts& f) {
  switch (c.type) {
    case 1: case 2: case 3: case 4: case 5: return Definition(c, "int", DefaultInteger(c));
    case 6: case 7: return Definition(c, "bigint", DefaultInteger(c));
    case 8: return Definition(c, "numeric(20)", DefaultInteger(c));
    case 9: case 11: return Definition(c, "real", DefaultNumber(c));
    case 10: return Definition(c, "double precision", DefaultNumber(c));
    case 12: return Definition(c, "decimal(18,4)", DefaultNumber(c));
    case 13: return Definition(c, "numeric(18,4)", DefaultNumber(c));
    case 14: case 15: return Varchar(c, 1, f);
    case 16: return "\t" + c.name + " date";
    case 17: return "\t" + c.name + " time";
    case 18: return "\t" + c.name + " timestamp";
    case 19: return Definition(c, "boolean", DefaultBoolean(c, "'t'", "'f'")) + " ";
    case 21: case 22: return "\t" + c.name + " text ";
    default: return "\t" + c.name + " bytea ";
  }
}

}  // namespace

const DialectFacts& FirebirdFacts() {
  static const DialectFacts facts{
      "FIREBIRD", "Firebird", LimitForm::FirstSkip, "%s ", " %s ", "1", "0",
      /*escapeBackslash=*/false, /*quoteEveryUpdateKey=*/false, /*uniqueOnPrimaryKey=*/false,
      /*indexAfterForeignKey=*/false, /*foreignKeyTraces=*/true, /*insertTrace=*/false, ");",
      "Update query is @@@%s\n", "\n);\n\n", "@@@ Inside FirebirdGenUpdateQuery @@@\n",
      "@@@ Inside FirebirdGenInsertQuery @@@\n", "@@@ Inside FirebirdGenDeleteQuery @@@\n",
      "@@@ Inside FirebirdGenCreateQuery @@@\n", "@@@ Inside FirebirdConvResultsetToRowobject @@@\n", FirebirdColumn};
  return facts;
}

const DialectFacts& SqliteFacts() {
  static const DialectFacts facts{
      "SQLITE", "Sqlite", LimitForm::LimitOffset, "as %s ", " as %s ", "1", "0",
      false, false, true, false, true, false, ");",
      nullptr, "\n);\n\n", nullptr, nullptr, nullptr, nullptr,
      "@@@ Inside SqliteConvResultsetToRowobject @@@\n", SqliteColumn};
  return facts;
}

const DialectFacts& MysqlFacts() {
  static const DialectFacts facts{
      "MYSQL", "Mysql", LimitForm::LimitComma, "as %s ", " as %s ", "1", "0",
      true, true, true, true, false, true, ")",
      "Update query is @@@ %s\n", "\n) ENGINE = InnoDB;\n\n", "@@@ Inside MysqlGenUpdateQuery @@@\n",
      "@@@ Inside MysqlGenInsertQuery @@@\n", "@@@ Inside MysqlGenDelteQuery @@@\n",
      "@@@ Inside MysqlGenCreateQuery @@@\n", "@@@ Inside MysqlConvResultsetToRowobject @@@\n", MysqlColumn};
  return facts;
}

const DialectFacts& PgsqlFacts() {
  static const DialectFacts facts{
      "PGSQL", "Pgsql", LimitForm::LimitOffset, "as %s ", " as %s ", "TRUE", "FALSE",
      false, false, true, false, true, false, ");",
      "Update query is @@@%s\n", "\n);\n\n", "@@@ Inside PgsqlGenUpdateQuery @@@\n",
      "@@@ Inside PgsqlGenInsertQuery @@@\n", "@@@ Inside PgsqlGenDeleteQuery @@@\n",
      "@@@ Inside PgsqlGenCreateQuery @@@\n", "@@@ Inside PgsqlConvResultsetToRowobject @@@\n", PgsqlColumn};
  return facts;
}

}  // namespace tessera::dialect

namespace tessera {
namespace {

template <const dialect::DialectFacts& (*Facts)()>
QueryGenerator MakeGenerator() {
  return QueryGenerator{
      Facts().name,
      [](const SelectQuery* q) { return dialect::BuildSelect(q, Facts()); },
      [](const char* t, const RowObject* r) { return dialect::BuildUpdate(t, r, Facts()); },
      [](const char* t, const RowObject* r) { return dialect::BuildInsert(t, r, Facts()); },
      [](const char* t, const RowObject* r) { return dialect::BuildDelete(t, r, Facts()); },
      [](const char* t) { return dialect::BuildCreate(t, Facts()); },
      [](const ResultSet* rs, const char* t) { return dialect::BuildRowFromResult(rs, t, Facts()); },
  };
}

}  // namespace

const QueryGenerator& FirebirdQueryGenerator() {
  static const QueryGenerator generator = MakeGenerator<dialect::FirebirdFacts>();
  return generator;
}
const QueryGenerator& SqliteQueryGenerator() {
  static const QueryGenerator generator = MakeGenerator<dialect::SqliteFacts>();
  return generator;
}
const QueryGenerator& MysqlQueryGenerator() {
  static const QueryGenerator generator = MakeGenerator<dialect::MysqlFacts>();
  return generator;
}
const QueryGenerator& PgsqlQueryGenerator() {
  static const QueryGenerator generator = MakeGenerator<dialect::PgsqlFacts>();
  return generator;
}

}  // namespace tessera
