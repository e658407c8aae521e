// Test helpers of the XML conversion: definitions with keys and foreign keys, the example
// dictionary, imports from text and reads of stored values.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "tessera/schema/data_dictionary.h"
#include "tessera/schema/dict_loader.h"
#include "tessera/seqgen/sequence_map.h"
#include "tessera/table/table_data.h"
#include "tessera/table/table_test_support.h"
#include "tests/support/log_capture.h"
#include "tessera/values/value_convert.h"
#include "tessera/xml/xml_import.h"

namespace tessera::test {

using hl::test::LogCapture;

struct ForeignKeySketch {
  std::string localColumn;
  std::string referenceTable;
  std::string referenceColumn;
};

// Adds a dictionary definition with primary and foreign keys.
inline void DefineKeyedTable(const std::string& name, std::initializer_list<ColumnSketch> columns,
                             std::vector<std::string> primaryKeys, std::vector<ForeignKeySketch> foreignKeys = {}) {
  auto defn = MakeTableDefn(name, columns, std::move(primaryKeys));
  for (const ForeignKeySketch& sketch : foreignKeys) {
    auto foreignKey = std::make_unique<ForeignKeyDefn>();
    foreignKey->localColumn = sketch.localColumn;
    foreignKey->referenceTable = sketch.referenceTable;
    foreignKey->referenceColumn = sketch.referenceColumn;
    AddForeignKeyDefn(*defn->constraints, std::move(foreignKey));
  }
  ASSERT_TRUE(AddTableDefn(std::move(defn)));
}

// Loads the dictionary documents of the example data directory.
inline void LoadExampleDictionary() {
  const std::string data = std::string(HL_SOURCE_DIR) + "/examples/tessera/data/";
  const int32_t before = GetDataDictionary().count();
  for (const char* file : {"agent_tables.xml", "inventory_tables.xml", "patch_tables.xml", "system_tables.xml"})
    ASSERT_TRUE(LoadDataDictFromXMLFile((data + file).c_str()));
  ASSERT_EQ(GetDataDictionary().count(), before + 8);
}

inline std::string ExampleDataPath(const std::string& file) {
  return std::string(HL_SOURCE_DIR) + "/examples/tessera/data/" + file;
}

inline bool Import(const std::string& document) {
  return LoadTableDataFromXMLBuffer(document.data(), static_cast<int32_t>(document.size()));
}

// A document with the XML declaration and a root element around `rows`.
inline std::string Doc(const std::string& rows) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Data>\n" + rows + "</Data>\n";
}

// The value of a column (case-insensitive) of the row at a 0-based position of a table.
inline const Value& ValueOf(const char* table, size_t row, const char* column) {
  static const Value none;
  std::vector<RowObject*> rows = RowsOf(table);
  const TableData* data = GetTableDataByName(table);
  if (data == nullptr || row >= rows.size()) return none;
  const int32_t index = data->FindColumn(column);
  const Value* value = rows[row]->ValueAt(index);
  return value ? *value : none;
}
inline int32_t IntOf(const char* table, size_t row, const char* column) {
  return static_cast<int32_t>(ValueOf(table, row, column).ReadSigned(4));
}
inline std::string TextOf(const char* table, size_t row, const char* column) {
  return std::string(ValueOf(table, row, column).bytes());
}
inline size_t RowCount(const char* table) { return RowsOf(table).size(); }

// A clean store with the log captured at TRACE.
class XmlStoreTest : public StoreTest {
 protected:
  void SetUp() override {
    StoreTest::SetUp();
    log_ = std::make_unique<LogCapture>();
  }
  void TearDown() override {
    log_.reset();
    StoreTest::TearDown();
  }
  // A sequence map holding one fresh batch {1, 300} per name.
  static void StartSequences(std::initializer_list<const char*> names) {
    ASSERT_TRUE(InitSequenceMap());
    for (const char* name : names) ASSERT_TRUE(InstallSequenceBatch(name, 1, 300));
  }
  LogCapture& log() { return *log_; }

 private:
  std::unique_ptr<LogCapture> log_;
};

}  // namespace tessera::test
