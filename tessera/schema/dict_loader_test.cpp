// The list file and where it is looked for; the example data directory.
#include <gtest/gtest.h>

#include <filesystem>

#include "tessera/schema/dict_test_support.h"
#include "tests/support/temp_machine.h"

namespace tessera {
namespace {

using test::Col;
using test::DictionaryTest;
using test::Table;

// Runs a scope in another working directory.
class WorkingDirectory {
 public:
  explicit WorkingDirectory(const std::filesystem::path& path) : saved_(std::filesystem::current_path()) {
    std::filesystem::current_path(path);
  }
  ~WorkingDirectory() { std::filesystem::current_path(saved_); }

 private:
  std::filesystem::path saved_;
};

TEST_F(DictionaryTest, ListFromTheStoreRootLoadsEveryNamedDocument) {
  WriteDocument("a.xml", Table("Alpha", Col("X", "")));
  WriteDocument("b.xml", Table("Beta", Col("Y", "")) + Table("Gamma", Col("Z", "")));
  dir_.Write("data/datadictionary.txt", "a.xml\n\n  missing.xml\tb.xml");
  WorkingDirectory cwd(dir_.path());  // no ..\data here
  SetTesseraRoot(dir_.str().c_str());
  hl::test::LogCapture log;
  EXPECT_TRUE(LoadAllDataDictFiles());
  ASSERT_EQ(GetDataDictionary().count(), 3);
  EXPECT_EQ(GetDataDictionary().ElementAt(0)->data->name, "Alpha");
  EXPECT_EQ(GetDataDictionary().ElementAt(2)->data->name, "Gamma") << "dictionary order is reading order";
  std::string root = dir_.str();
  EXPECT_TRUE(log.Has("[TRACE]", "\t@@@@@ Inside LoadAllDataDictFiles() @@@@@\n"));
  EXPECT_TRUE(log.Has("[DEBUG]", "Opening " + root + "/data/datadictionary.txt\n"));
  EXPECT_TRUE(log.Has("[DEBUG]", "Opening " + root + "/data/b.xml\n"));
  EXPECT_TRUE(log.Has("[ERROR]", "Unable to open " + root + "/data/missing.xml\n"));
}

TEST_F(DictionaryTest, TheRelativeDataFolderComesFirst) {
  dir_.Write("data/datadictionary.txt", "rel.xml\n");
  WriteDocument("rel.xml", Table("Relative", Col("X", "")));
  std::filesystem::create_directories(dir_.path() / "bin");
  WorkingDirectory cwd(dir_.path() / "bin");
  hl::test::LogCapture log;
  EXPECT_TRUE(LoadAllDataDictFiles());
  EXPECT_NE(GetTableDefn("relative"), nullptr);
  EXPECT_TRUE(log.Has("[DEBUG]", "Opening ..\\data\\rel.xml\n"));
}

TEST_F(DictionaryTest, NoListFileFails) {
  WorkingDirectory cwd(dir_.path());
  hl::test::LogCapture log;
  EXPECT_FALSE(LoadAllDataDictFiles()) << "no root set";
  SetTesseraRoot(dir_.str().c_str());
  EXPECT_FALSE(LoadAllDataDictFiles());
  EXPECT_EQ(log.Count("[ERROR]", "Cannot open DataDictionary File.\n"), 2u);
  EXPECT_FALSE(LoadDataDictFiles(dir_.str().c_str()));
  EXPECT_FALSE(LoadDataDictFiles(nullptr));
}

TEST_F(DictionaryTest, NamesThatDoNotFitAreRefusedNotCut) {
  std::string longName(300, 'n');
  std::string cut = longName.substr(0, kMaxDictFileNameLength);
  // A document named like the cut-off name must never be read in place of the long one.
  WriteDocument(cut, Table("Truncated", Col("X", "")));
  WriteDocument("ok.xml", Table("Fine", Col("X", "")));
  dir_.Write("data/datadictionary.txt", longName + "\nok.xml\n");
  WorkingDirectory cwd(dir_.path());
  SetTesseraRoot(dir_.str().c_str());
  hl::test::LogCapture log;
  EXPECT_TRUE(LoadAllDataDictFiles());
  EXPECT_EQ(GetTableDefn("Truncated"), nullptr);
  EXPECT_NE(GetTableDefn("Fine"), nullptr) << "the rest of the list is read";
  EXPECT_TRUE(log.Has("[ERROR]", "Data dictionary file name is too long (300 characters, at most 255); skipped: "));

  // A name that fits but makes the path too long.
  FreeDataDictionary();
  std::string name(250, 'p');
  WriteDocument(name, Table("TooDeep", Col("X", "")));
  dir_.Write("data/datadictionary.txt", name);
  EXPECT_TRUE(LoadAllDataDictFiles());
  EXPECT_EQ(GetDataDictionary().count(), 0);
  EXPECT_TRUE(log.Has("[ERROR]", "Data dictionary path is too long ("));
}

TEST_F(DictionaryTest, ADirectoryOnTheMachineWithWindowsPaths) {
  hl::test::TempMachine machine;
  machine.WriteFile("drive_c/Tessera/data/datadictionary.txt", "win.xml\r\n");
  machine.WriteFile("drive_c/Tessera/data/win.xml",
                    "<data-dictionary>" + Table("Windows", Col("X", "<data-type>TEXT</data-type>")) +
                        "</data-dictionary>");
  hl::test::LogCapture log;
  EXPECT_TRUE(LoadDataDictFiles("C:\\Tessera\\data"));
  EXPECT_NE(GetTableDefn("Windows"), nullptr) << log.Text();
  EXPECT_TRUE(log.Has("[DEBUG]", "Opening C:\\Tessera\\data\\win.xml\n"));
  EXPECT_TRUE(log.Has("[TRACE]", "\t@@@@@ Inside LoadDataDictFiles() @@@@@\n"));
}

TEST_F(DictionaryTest, TheExampleDataDirectoryLoadsCleanly) {
  std::string root = std::string(HL_SOURCE_DIR) + "/examples/tessera";
  WorkingDirectory cwd(dir_.path());
  SetTesseraRoot(root.c_str());
  hl::test::LogCapture log;
  ASSERT_TRUE(LoadAllDataDictFiles());
  EXPECT_EQ(log.Text().find("[ERROR]"), std::string::npos) << log.Text();
  EXPECT_EQ(GetDataDictionary().count(), 8);
  const ColumnDefn* name = GetColumnDefnEntry("Agentparams", "PARAM_NAME");
  const ColumnDefn* value = GetColumnDefnEntry("Agentparams", "param_Value");
  ASSERT_TRUE(name && value);
  EXPECT_EQ(name->type, CRV_SQL_CHAR);
  EXPECT_EQ(value->type, CRV_SQL_TEXT);
  const TableDefn* adapter = GetTableDefn("NetworkAdapter");
  EXPECT_EQ(adapter->constraints->primaryKeyCount, 3);
  EXPECT_EQ(adapter->constraints->foreignKeys->count(), 2);
  // Every type code of the store that a dictionary can name is used somewhere.
  std::vector<bool> used(23, false);
  for (const auto& table : GetDataDictionary())
    for (const auto& column : *table->columns) used[column->type] = true;
  for (BYTE code = 1; code <= kMaxSqlDataType; ++code) {
    if (code == CRV_SQL_LONG_INT) continue;
    EXPECT_TRUE(used[code]) << int(code);
  }
}

}  // namespace
}  // namespace tessera
