// The Firebird dialect's statements for the example dictionary, run by Firebird's own isql-fb
// on an embedded database: every CREATE, INSERT, UPDATE, SELECT and DELETE must be accepted.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "sample_rows.h"
#include "tessera/db/query_generator.h"
#include "tessera/db/tessera_root.h"
#include "tessera/query/select_query.h"
#include "tessera/schema/dict_loader.h"
#include "tests/support/log_capture.h"

namespace tessera {
namespace {

namespace fs = std::filesystem;

std::string IsqlPath() {
  for (const char* path : {"/usr/bin/isql-fb", "/usr/lib/firebird/3.0/bin/isql"})
    if (fs::exists(path)) return path;
  return {};
}

// "select first 5  * from T\nwhere  <first column> =  <row 1's value> "
std::string SelectRowOne(const TableDefn& table) {
  SelectQueryPtr query(CreateSelectQuery());
  apr_pool_t* pool = query->pool;
  AddTable(query.get(), CreateTableEntry(table.name.c_str(), nullptr, pool));
  const ColumnDefn& first = *table.columns->head()->data;
  SelectColumn* column = CreateSelectColumn(nullptr, nullptr, first.name.c_str(), nullptr, first.type, 0, pool);
  SetCriteria(query.get(), CreateCriterion(column, dbtest::SampleValue(table, first, 1), QUERY_OP_EQUAL, pool));
  query->limit = 5;
  return FirebirdQueryGenerator().genSelectQuery(query.get()).value_or("-- no select") + ";\n";
}

TEST(FirebirdIsql, EngineAcceptsEveryGeneratedStatementOfTheExampleDictionary) {
  std::string isql = IsqlPath();
  ASSERT_FALSE(isql.empty()) << "isql-fb is not installed (packages firebird3.0-utils, firebird3.0-server-core)";
  InitDataDictionary();
  SetTesseraRoot((std::string(HL_SOURCE_DIR) + "/examples/tessera").c_str());
  ASSERT_TRUE(LoadAllDataDictFiles());
  ClearTesseraRoot();
  std::vector<const TableDefn*> tables;
  for (const auto& table : GetDataDictionary()) tables.push_back(table.get());
  ASSERT_EQ(tables.size(), 8u);

  hl::test::TempDir dir;
  const QueryGenerator& fb = FirebirdQueryGenerator();
  std::ostringstream script;
  script << "CREATE DATABASE '" << (dir.path() / "store.fdb").string() << "';\n";
  for (const TableDefn* table : tables) script << fb.genCreateQuery(table->name.c_str()).value_or("-- no create\n");
  script << "COMMIT;\n";
  for (const TableDefn* table : tables)
    for (int i = 0; i < 3; ++i)
      script << fb.genInsertQuery(table->name.c_str(), dbtest::SampleRow(*table, i, i == 2).get()).value_or("--") << "\n";
  for (const TableDefn* table : tables) {
    auto row = dbtest::SampleRow(*table, 0);
    if (auto update = fb.genUpdateQuery(table->name.c_str(), row.get())) script << *update << ";\n";
    script << SelectRowOne(*table);
  }
  for (auto it = tables.rbegin(); it != tables.rend(); ++it)
    for (int i = 0; i < 3; ++i)
      if (auto remove = fb.genDeleteQuery((*it)->name.c_str(), dbtest::SampleRow(**it, i).get())) script << *remove << ";\n";
  script << "select 'LEFT', count(*) from Computer;\nCOMMIT;\n";
  dir.Write("script.sql", script.str());

  std::string output = (dir.path() / "out.txt").string();
  std::string command = "ISC_USER=SYSDBA " + isql + " -q -bail -i '" + (dir.path() / "script.sql").string() +
                        "' > '" + output + "' 2>&1 < /dev/null";
  int status = std::system(command.c_str());
  std::ifstream in(output);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(status, 0) << "isql-fb refused the script:\n" << text.str() << "\n--- script ---\n" << script.str();
  EXPECT_EQ(text.str().find("Statement failed"), std::string::npos) << text.str();
  EXPECT_NE(text.str().find("1-x'); DROP TABLE T; --"), std::string::npos) << "the select finds row 1:\n" << text.str();
  EXPECT_TRUE(std::regex_search(text.str(), std::regex("LEFT +0\\s"))) << "every row deleted:\n" << text.str();
  FreeDataDictionary();
}

}  // namespace
}  // namespace tessera
