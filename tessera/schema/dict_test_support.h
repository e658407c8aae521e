// Shared set-up of the dictionary tests: an empty dictionary, no store root, and a temporary
// data folder in which documents are written.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "tessera/db/tessera_root.h"
#include "tessera/schema/data_dictionary.h"
#include "tessera/schema/dict_loader.h"
#include "tests/support/log_capture.h"

namespace tessera::test {

using hl::test::TempDir;

class DictionaryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearTesseraRoot();
    InitDataDictionary();
  }
  void TearDown() override {
    FreeDataDictionary();
    ClearTesseraRoot();
  }

  // Writes data/<name> with the tables wrapped in a data-dictionary root; returns its path.
  std::string WriteDocument(const std::string& name, const std::string& tables) {
    dir_.Write("data/" + name, "<?xml version=\"1.0\"?>\n<data-dictionary>\n" + tables + "</data-dictionary>\n");
    return dir_.str() + "/data/" + name;
  }
  std::string LoadTables(const std::string& tables) {
    std::string path = WriteDocument("doc" + std::to_string(++documents_) + ".xml", tables);
    EXPECT_TRUE(LoadDataDictFromXMLFile(path.c_str()));
    return path;
  }
  const ColumnDefn* Column(const char* table, const char* column) { return GetColumnDefnEntry(table, column); }

  TempDir dir_;
  int documents_ = 0;
};

// A table with the given column elements (and anything after the columns).
inline std::string Table(const std::string& name, const std::string& columns, const std::string& after = "") {
  return "<table name=\"" + name + "\"><columns>" + columns + "</columns>" + after + "</table>\n";
}

inline std::string Col(const std::string& name, const std::string& children) {
  return "<column name=\"" + name + "\">" + children + "</column>";
}

}  // namespace tessera::test
