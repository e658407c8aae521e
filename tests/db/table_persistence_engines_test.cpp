// Tables loaded from and saved to every engine: the load list's line forms, refusals, saving by
// row state with failures retried, the save list, views, and the store surviving restarts with
// texts that carry quotes.
#include <set>
#include <thread>

#include "persistence_fixture.h"
#include "tessera/db/data_source_map.h"
#include "tessera/db/db_test_support.h"
#include "tessera/db/default_data.h"
#include "tessera/db/generic_statements.h"
#include "tessera/db/table_load.h"
#include "tessera/db/table_save.h"
#include "tessera/seqgen/sequence_map.h"
#include "tessera/table/table_rows.h"

namespace tessera::persisttest {
namespace {

const char* const kTable = "Agentparams";
const std::string kInjection = "x'); DROP TABLE Agentparams; --";

// A row of Agentparams: id (0: generated), name (empty: NULL), value; the given state.
std::unique_ptr<RowObject> Param(int32_t id, const std::string& name, const std::string& value, BYTE state) {
  std::vector<Value> values(5);
  if (id != 0) values[0] = Value::FromNumber<int32_t>(id);
  if (!name.empty()) values[1] = Value::FromText(name);
  values[2] = Value::FromText(value);
  values[3] = Value::FromText("STRING");
  auto row = CreateNewRowObject(std::move(values));
  row->state = state;
  return row;
}

class TablePersistenceTest : public PersistenceTest {
 protected:
  // The store up on an empty Agentparams holding rows 1 A a, 2 B b, 3 C c in the database only.
  void InitWithThreeParams() {
    Init();
    ASSERT_TRUE(Run("delete from Agentparams"));
    UnLoadAllTable();
    for (const char* values : {"1,'A','a'", "2,'B','b'", "3,'C','c'"})
      ASSERT_TRUE(Run(std::string("insert into Agentparams (PARAM_ID, PARAM_NAME, param_Value, PARAM_TYPE, "
                                  "UPDATED_AT) values (") +
                      values + ",'STRING','2024-01-01 00:00:00')"));
  }
  // (id, name, value) of the database rows, by id.
  std::vector<std::vector<std::string>> DatabaseParams() {
    return Rows("select PARAM_ID, PARAM_NAME, param_Value from Agentparams order by PARAM_ID");
  }
  static std::vector<std::string> MemoryNames() {
    std::vector<std::string> names;
    for (RowObject* row : LoadedRows(kTable)) names.push_back(Text(row, kTable, "PARAM_NAME"));
    return names;
  }
  static bool AllPersisted() {
    for (RowObject* row : LoadedRows(kTable))
      if (row->state != ROW_STATE_PERSISTED) return false;
    return true;
  }
};

TEST_P(TablePersistenceTest, TheLoadListTakesANameAQueryOrANameWithOtherWordsAndItsLastLineNeedsNoLineFeed) {
  InitWithThreeParams();
  struct Case {
    std::string list;
    size_t rows;
    const char* trace;
  } cases[] = {
      {"Agentparams select * from Agentparams where PARAM_NAME = 'B'", 1,
       "LOADTABLE_QUERY : Agentparams select * from Agentparams where PARAM_NAME = 'B'\n"},
      {"Agentparams", 3, nullptr},
      {"Agentparams whole table", 3, "LOADTABLE : Agentparams whole table\n"},
      {"ServerInfo\n\nAgentparams", 3, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.list);
    UnLoadAllTable();
    root_.Write("data/loadtablelist.txt", c.list);
    hl::test::LogCapture log;
    ASSERT_TRUE(LoadAllTables());
    EXPECT_EQ(LoadedRows(kTable).size(), c.rows);
    EXPECT_TRUE(AllPersisted());
    if (c.trace) {
      EXPECT_TRUE(log.Has("[TRACE]", c.trace));
    }
  }
  EXPECT_NE(GetTableDataByName("ServerInfo"), nullptr) << "the first of two lines";
  fs::remove(root_.path() / "data/loadtablelist.txt");
  hl::test::LogCapture log;
  EXPECT_FALSE(LoadAllTables());
  EXPECT_TRUE(log.Has("[ERROR]", "Cannot open LoadTableList Entry File.\n"));
}

TEST_P(TablePersistenceTest, ALoadedTableIsNotLoadedTwiceAndADatabaseTableWithAnotherShapeIsRefused) {
  InitWithThreeParams();
  ASSERT_TRUE(LoadTable(kTable));
  EXPECT_EQ(MemoryNames(), (std::vector<std::string>{"A", "B", "C"}));
  {
    hl::test::LogCapture log;
    EXPECT_FALSE(LoadTable(kTable));
    EXPECT_TRUE(log.Has("[ERROR]", "CreateTable Failed \n"));
    EXPECT_FALSE(LoadTableByQuery(kTable, "select * from Agentparams"));
    EXPECT_EQ(LoadedRows(kTable).size(), 3u);
  }
  ASSERT_TRUE(UnLoadTable(kTable));
  EXPECT_FALSE(UnLoadTable(kTable));
  ASSERT_TRUE(Run("alter table Agentparams add EXTRA_COLUMN integer"));
  hl::test::LogCapture log;
  EXPECT_FALSE(LoadTable(kTable));
  EXPECT_TRUE(log.Has("[ERROR]", "\nLoadTable Failed for Agentparams table as there is mismatch between table "
                                 "definition in datadictionary and actual table in database\n"));
  EXPECT_EQ(GetTableDataByName(kTable), nullptr);
  EXPECT_FALSE(LoadTable("NoSuchTable"));
  EXPECT_TRUE(log.Has("[ERROR]", "Error in executing select query for NoSuchTable\n"));
}

TEST_P(TablePersistenceTest, RowsAreSavedByTheirExactStateInRowOrder) {
  InitWithThreeParams();
  ASSERT_TRUE(CreateTable(kTable));
  std::unique_ptr<RowObject> rows[] = {
      Param(1, "A", "a", ROW_STATE_PERSISTED),
      Param(10, "N2", "new", ROW_STATE_NEW),
      Param(2, "B", "b changed", ROW_STATE_PERSISTED | ROW_STATE_MODIFIED),
      Param(3, "C", "c", ROW_STATE_PERSISTED | ROW_STATE_DELETED),
      Param(11, "N6", "new, changed", ROW_STATE_NEW | ROW_STATE_MODIFIED),
      Param(12, "N12", "deleted before it was saved", ROW_STATE_NEW | ROW_STATE_DELETED),
  };
  for (auto& row : rows) ASSERT_TRUE(AddNewRow(kTable, row));
  hl::test::LogCapture log;
  ASSERT_TRUE(SaveTable(kTable));
  // The statements, in the order they were generated.
  std::vector<std::string> kinds;
  const std::string text = log.Text();
  for (size_t at = text.find("Generated "); at != std::string::npos; at = text.find("Generated ", at + 1))
    kinds.push_back(text.substr(at + 10, 6));
  EXPECT_EQ(kinds, (std::vector<std::string>{"Insert", "Update", "Delete", "Insert"}));
  EXPECT_EQ(DatabaseParams(), (std::vector<std::vector<std::string>>{
                                  {"1", "A", "a"}, {"2", "B", "b changed"}, {"10", "N2", "new"}, {"11", "N6", "new, changed"}}));
  EXPECT_EQ(MemoryNames(), (std::vector<std::string>{"A", "N2", "B", "N6", "N12"}));
  std::vector<BYTE> states;
  for (RowObject* row : LoadedRows(kTable)) states.push_back(row->state);
  EXPECT_EQ(states, (std::vector<BYTE>{1, 1, 1, 1, ROW_STATE_NEW | ROW_STATE_DELETED}));
  // A second save has nothing left to write.
  hl::test::LogCapture again;
  ASSERT_TRUE(SaveTable(kTable));
  EXPECT_EQ(again.Text().find("Generated "), std::string::npos);
}

TEST_P(TablePersistenceTest, AFailingStatementKeepsItsRowsStateAndTheNextSaveRetriesIt) {
  InitWithThreeParams();
  ASSERT_TRUE(CreateTable(kTable));
  std::unique_ptr<RowObject> rows[] = {
      Param(1, "", "name taken away", ROW_STATE_PERSISTED | ROW_STATE_MODIFIED),  // NOT NULL violated
      Param(2, "B", "b changed", ROW_STATE_PERSISTED | ROW_STATE_MODIFIED),
      Param(20, "NEW", "after the failure", ROW_STATE_NEW),
  };
  for (auto& row : rows) ASSERT_TRUE(AddNewRow(kTable, row));
  {
    hl::test::LogCapture log;
    ASSERT_TRUE(SaveTable(kTable)) << "single failed statements do not fail the save";
    EXPECT_TRUE(log.Has("[ERROR]", "Error in executing update query \n"));
    EXPECT_TRUE(log.Has("[ERROR]", "QUERY : "));
  }
  std::vector<RowObject*> loaded = LoadedRows(kTable);
  ASSERT_EQ(loaded.size(), 3u);
  EXPECT_EQ(loaded[0]->state, ROW_STATE_PERSISTED | ROW_STATE_MODIFIED);
  EXPECT_EQ(loaded[1]->state, ROW_STATE_PERSISTED);
  EXPECT_EQ(loaded[2]->state, ROW_STATE_PERSISTED);
  EXPECT_EQ(DatabaseParams(), (std::vector<std::vector<std::string>>{
                                  {"1", "A", "a"}, {"2", "B", "b changed"}, {"3", "C", "c"}, {"20", "NEW", "after the failure"}}));
  ASSERT_TRUE(UpdateRowObject(kTable, loaded[0], "PARAM_NAME", Value::FromText("A again")));
  ASSERT_TRUE(SaveTable(kTable));
  EXPECT_EQ(loaded[0]->state, ROW_STATE_PERSISTED);
  EXPECT_EQ(DatabaseParams()[0], (std::vector<std::string>{"1", "A again", "name taken away"}));
}

TEST_P(TablePersistenceTest, TheSaveListNamesTablesByTheirFirstWordAndAMissingListSavesNothing) {
  InitWithThreeParams();
  ASSERT_TRUE(CreateTable(kTable));
  auto row = Param(30, "LISTED", "v", ROW_STATE_NEW);
  ASSERT_TRUE(AddNewRow(kTable, row));
  fs::remove(root_.path() / "data/savetableslist.txt");
  {
    hl::test::LogCapture log;
    EXPECT_TRUE(SaveTablesFromList());
    EXPECT_TRUE(log.Has("[ERROR]", "No tables to be saved.\n"));
    EXPECT_EQ(DatabaseParams().size(), 3u);
  }
  root_.Write("data/savetableslist.txt", "ServerInfo the servers\nAgentparams and more words");
  EXPECT_TRUE(SaveTablesFromList());
  EXPECT_EQ(DatabaseParams().size(), 4u) << "the last line has no line feed";
  EXPECT_FALSE(SaveTable("NotLoaded"));
  EXPECT_TRUE(SaveAllTables());
}

TEST_P(TablePersistenceTest, AViewIsLoadedFromAQueryOverATablesColumns) {
  InitWithThreeParams();
  ASSERT_TRUE(LoadViewByQuery("LaterParams", kTable, "select * from Agentparams where PARAM_ID > 1"));
  TableData* view = GetTableDataByName("LaterParams");
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->kind, TABLE_DATA_KIND_VIEW);
  EXPECT_EQ(view->DefinitionColumnCount(), 5);
  EXPECT_EQ(LoadedRows("LaterParams").size(), 2u);
  EXPECT_FALSE(LoadViewByQuery("LaterParams", kTable, "select * from Agentparams")) << "the name is taken";
  hl::test::LogCapture log;
  EXPECT_FALSE(LoadViewByQuery("Broken", kTable, "select * from NoSuchTable"));
  EXPECT_TRUE(log.Has("[ERROR]", "Error in executing select query \n"));
  EXPECT_TRUE(UnLoadTable("LaterParams"));
  // Reloading runs the load list again: Agentparams and ServerInfo come back.
  ASSERT_TRUE(ReloadTableData());
  EXPECT_EQ(LoadedRows(kTable).size(), 3u);
}

TEST_P(TablePersistenceTest, TheStoreSurvivesRestartsWithItsDefaultDataAndTheChangesSaved) {
  Init();
  ASSERT_TRUE(TesseraCreatedTables());
  // The default data was imported and saved: in memory as persisted rows and in the database.
  EXPECT_EQ(MemoryNames(), (std::vector<std::string>{"LOG_LEVEL", "REFRESH_INTERVAL"}));
  EXPECT_TRUE(AllPersisted());
  EXPECT_EQ(DatabaseParams().size(), 2u);
  EXPECT_EQ(Rows("select SERVER_NAME from ServerInfo"), (std::vector<std::vector<std::string>>{{"localhost"}}));
  const auto firstDatabase = DatabaseParams();
  DeInitTessera();

  Init();
  EXPECT_FALSE(TesseraCreatedTables());
  EXPECT_EQ(MemoryNames(), (std::vector<std::string>{"LOG_LEVEL", "REFRESH_INTERVAL"}));
  EXPECT_EQ(DatabaseParams(), firstDatabase) << "no default data is imported into an existing database";
  std::vector<RowObject*> loaded = LoadedRows(kTable);
  ASSERT_EQ(loaded.size(), 2u);
  ASSERT_TRUE(UpdateRowObject(kTable, loaded[0], "param_Value", Value::FromText(kInjection)));
  ASSERT_TRUE(DeleteRowObject(kTable, loaded[1]));
  auto added = Param(0, "O'Brien", "it's \\ his", ROW_STATE_NEW);
  ASSERT_TRUE(AddNewRow(kTable, added));
  ASSERT_TRUE(SaveAllTables());
  DeInitTessera();

  Init();
  EXPECT_EQ(MemoryNames(), (std::vector<std::string>{"LOG_LEVEL", "O'Brien"}));
  loaded = LoadedRows(kTable);
  ASSERT_EQ(loaded.size(), 2u);
  EXPECT_EQ(Text(loaded[0], kTable, "param_Value"), kInjection);
  EXPECT_EQ(Text(loaded[1], kTable, "param_Value"), "it's \\ his");
  EXPECT_GT(std::atoi(Text(loaded[1], kTable, "PARAM_ID").c_str()), 2) << "a generated identifier";
  EXPECT_EQ(Rows("select SERVER_NAME from ServerInfo").size(), 1u);
}

TEST_P(TablePersistenceTest, DefaultDataFilesThatCannotBeReadAreReported) {
  Init();
  fs::remove(root_.path() / "data/defaultdata.txt");
  {
    hl::test::LogCapture log;
    EXPECT_TRUE(SaveDefaultData());
    EXPECT_TRUE(log.Has("[ERROR]", "No default data to be prepopulated.\n"));
  }
  root_.Write("data/defaultdata.txt", "missing.xml");
  hl::test::LogCapture log;
  EXPECT_FALSE(SaveDefaultData());
  EXPECT_TRUE(log.Has("[ERROR]", "Cannot create DO from " + root_.str() + "/data/missing.xml.\n"));
}

TEST_P(TablePersistenceTest, AnXmlFileSavesTheTablesOfTheRootsChildrenOnly) {
  Init();
  ASSERT_TRUE(SaveDataInXML((root_.path() / "data/inventory_with_deployments.xml").string().c_str()));
  // Computer is a child of the root; NetworkAdapter rows are nested in it and stay unsaved.
  EXPECT_EQ(Number("select count(*) from Computer"), 1);
  EXPECT_EQ(Number("select count(*) from NetworkAdapter"), 0);
  std::vector<RowObject*> adapters = LoadedRows("NetworkAdapter");
  ASSERT_EQ(adapters.size(), 2u);
  EXPECT_EQ(adapters[0]->state, ROW_STATE_NEW);
  ASSERT_EQ(LoadedRows("Computer").size(), 1u);
  EXPECT_EQ(LoadedRows("Computer")[0]->state, ROW_STATE_PERSISTED);

  hl::test::LogCapture log;
  root_.Write("data/broken.xml", "<Inventory><Computer");
  EXPECT_FALSE(SaveDataInXML((root_.path() / "data/broken.xml").string().c_str()));
  EXPECT_TRUE(log.Has("[ERROR]", "Cannot create DO from "));
}

TEST_P(TablePersistenceTest, ASaveAndIdentifierRefillsOnOtherThreadsKeepTheirTransactionsApart) {
  InitWithThreeParams();
  ASSERT_TRUE(CreateTable(kTable));
  constexpr int kNew = 3000;
  for (int i = 0; i < kNew; ++i) {
    auto row = Param(100 + i, "P" + std::to_string(i), "v", ROW_STATE_NEW);
    ASSERT_TRUE(AddNewRow(kTable, row));
  }
  const ColumnDefn* patchId = GetColumnDefnEntry("Patch", "PATCH_ID");
  std::vector<int32_t> ids;
  std::thread refills([&] {
    for (int i = 0; i < 3000; ++i) ids.push_back(GenerateID("Patch", patchId));  // ten refills
  });
  ASSERT_TRUE(SaveTable(kTable));
  refills.join();
  EXPECT_TRUE(AllPersisted()) << "a refill's commit ended a batch of the save";
  EXPECT_EQ(Number("select count(*) from Agentparams"), kNew + 3);
  std::set<int32_t> distinct(ids.begin(), ids.end());
  EXPECT_EQ(distinct.size(), ids.size());
  EXPECT_EQ(distinct.count(-1), 0u);
}

TEST_P(TablePersistenceTest, IndexTablesOfTheReferencedRootRecordNewRowsAndForgetDeletedOnes) {
  Init();
  using dbtest::Col;
  AddTableDefn(dbtest::MakeTable("IDXROOT", {{"ID", CRV_SQL_INT, 0, false}}, {"ID"}));
  AddTableDefn(dbtest::MakeTable("IDXROOT_IDX", {{"ID", CRV_SQL_INT}, {"TABLE_NAME", CRV_SQL_CHAR, 64}}));
  AddTableDefn(dbtest::MakeTable("IDXCHILD", {{"CID", CRV_SQL_INT, 0, false}, {"ROOT_ID", CRV_SQL_INT}}, {"CID"},
                                 {{"ROOT_ID", "IDXROOT", "ID"}}));
  for (const char* table : {"IDXROOT", "IDXROOT_IDX", "IDXCHILD"}) {
    AddDataSourceMapEntry(CreateDataSourceMapEntry(table, "maindb"));
    ASSERT_TRUE(CreateTable(table, "maindb")) << table;
  }
  auto row = dbtest::Row({Value::FromNumber<int32_t>(1), Value::FromNumber<int32_t>(42)});
  hl::test::LogCapture log;
  ASSERT_TRUE(AddEntryToIndexTable("IDXCHILD", row.get()));
  EXPECT_TRUE(log.Has("[TRACE]", "Insert Query for IDXROOT_IDX: INSERT INTO IDXROOT_IDX VALUES (42, 'IDXCHILD')\n"));
  EXPECT_EQ(Rows("select ID, TABLE_NAME from IDXROOT_IDX"), (std::vector<std::vector<std::string>>{{"42", "IDXCHILD"}}));
  row->state = ROW_STATE_PERSISTED;
  ASSERT_TRUE(AddEntryToIndexTable("IDXCHILD", row.get())) << "a persisted row changes nothing";
  EXPECT_EQ(Number("select count(*) from IDXROOT_IDX"), 1);
  row->state = ROW_STATE_PERSISTED | ROW_STATE_DELETED;
  ASSERT_TRUE(AddEntryToIndexTable("IDXCHILD", row.get()));
  EXPECT_EQ(Number("select count(*) from IDXROOT_IDX"), 0);
  ASSERT_TRUE(Run("drop table IDXROOT_IDX"));
  row->state = ROW_STATE_NEW;
  EXPECT_FALSE(AddEntryToIndexTable("IDXCHILD", row.get()));
  EXPECT_TRUE(log.Has("[ERROR]", "Cannot Add Entry Into Index Table\n"));
}

INSTANTIATE_TEST_SUITE_P(Engines, TablePersistenceTest, ::testing::ValuesIn(kEngines), EngineName);

}  // namespace
}  // namespace tessera::persisttest
