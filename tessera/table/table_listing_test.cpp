#include "tessera/table/table_listing.h"

#include <gtest/gtest.h>

#include <string>

#include "tessera/table/select_rows.h"
#include "tessera/table/table_test_support.h"
#include "tests/support/log_capture.h"

namespace tessera {
namespace {

using test::AddRow;
using test::DefineTable;
using test::Int;
using test::Text;

const char* const kHeader = "ID\tNAME\tSCORE\tBORN\tAT\tWHEN\tOK\tBIG\tU4\tNOTE\t\n";

class TableListingTest : public test::StoreTest {
 protected:
  void SetUp() override {
    StoreTest::SetUp();
    DefineTable("Kinds", {{"ID", CRV_SQL_INT},
                          {"NAME", CRV_SQL_NCHAR},
                          {"SCORE", CRV_SQL_FLOAT},
                          {"BORN", CRV_SQL_DATE},
                          {"AT", CRV_SQL_TIME},
                          {"WHEN", CRV_SQL_DATETIME},
                          {"OK", CRV_SQL_BOOLEAN},
                          {"BIG", CRV_SQL_LONG_INT},
                          {"U4", CRV_SQL_UNSIGNED_SMALLINT},
                          {"NOTE", CRV_SQL_TEXT}});
    ASSERT_TRUE(CreateTable("Kinds"));
    row_ = AddRow("Kinds", {Int(1), Value(), Value::FromNumber<float>(1.5f), Value::FromDate(CrvDate{2024, 2, 29}),
                            Value::FromTime(CrvTime{7, 5, 0}),
                            Value::FromDateTime(CrvDateTime{CrvDate{2024, 2, 29}, CrvTime{7, 5, 0}}),
                            Value::FromNumber<BYTE>(1), Value::FromNumber<int64_t>(5), Value::FromNumber<uint16_t>(9),
                            Text("note")});
  }
  RowObject* row_ = nullptr;
};

TEST_F(TableListingTest, ToStringListsEveryTypeAndNull) {
  hl::test::LogCapture log;
  std::optional<std::string> text = ToStringTableData("kinds");
  ASSERT_TRUE(text);
  const std::string expected =
      std::string(kHeader) + "1\tNULL\t1.500000\t2024-02-29\t07:05:00\t2024-02-29 07:05:00\t1\t5\tnote\t\n";
  EXPECT_EQ(*text, expected);
  EXPECT_TRUE(log.Has("[TRACE]", "String Value of Relvar Data\n " + expected + "\n"));
}

TEST_F(TableListingTest, DateTimeValuesOfEitherProducerList) {
  // Defaults and conversions build a CrvDateTime for every date/time code.
  UpdateRowObject("Kinds", row_, "BORN", Value::FromDateTime(CrvDateTime{CrvDate{2001, 1, 2}, CrvTime{0, 0, 0}}));
  UpdateRowObject("Kinds", row_, "AT", Value::FromDateTime(CrvDateTime{CrvDate{0, 0, 0}, CrvTime{23, 59, 1}}));
  std::optional<std::string> text = ToStringTableData("Kinds");
  ASSERT_TRUE(text);
  EXPECT_NE(text->find("\t2001-01-02\t23:59:01\t"), std::string::npos) << *text;
}

TEST_F(TableListingTest, PrintListsLineByLineAndResultSkipsDeletedRows) {
  AddRow("Kinds", {Int(2), Text("gone"), Value(), Value(), Value(), Value(), Value(), Value(), Value(), Value()},
         ROW_STATE_PERSISTED);
  hl::test::LogCapture log;
  PrintTableData("Kinds");
  EXPECT_TRUE(log.Has("[DEBUG]", kHeader));
  EXPECT_TRUE(log.Has("[DEBUG]", "2\tgone\tNULL\tNULL\tNULL\tNULL\tNULL\tNULL\tNULL\tNULL\t\n"));
  RowObject* gone = test::RowsOf("Kinds").back();
  DeleteRowObject("Kinds", gone);
  auto result = SelectRows("Kinds", nullptr);
  log.Mark();
  PrintResultData(result.get());
  EXPECT_TRUE(log.Has("[DEBUG]", kHeader));
  EXPECT_FALSE(log.Has("[DEBUG]", "2\tgone"));
  // Result listings show code 7 only in PrintTableData.
  EXPECT_TRUE(log.Has("[DEBUG]", "1\tNULL\t1.500000\t2024-02-29\t07:05:00\t2024-02-29 07:05:00\t1\tnote\t\n"));
}

TEST_F(TableListingTest, ViewsListWithoutTheLongIntegerCode) {
  const TableDefn* defn = GetTableDefn("Kinds");
  auto columns = std::make_unique<ViewColumnVector>();
  for (const auto& column : *defn->columns) columns->AddData(CreateViewColumnDefn(nullptr, 0, 0, column.get()));
  ASSERT_TRUE(CreateCustomViewData("KindsView", CreateCustomViewDefn(1, {"Kinds"}, std::move(columns))));
  auto row = test::MakeRow({Int(3), Text("v"), Value(), Value(), Value(), Value(), Value::FromNumber<BYTE>(0),
                               Value::FromNumber<int64_t>(8), Value(), Value()});
  ASSERT_TRUE(AddNewRow("KindsView", row));
  const std::string expected = std::string(kHeader) + "3\tv\tNULL\tNULL\tNULL\tNULL\t0\tNULL\tNULL\t\n";
  EXPECT_EQ(ToStringCustomViewData("KindsView"), expected);
  EXPECT_EQ(ToStringTableData("KindsView"), expected);  // a view's listing
  hl::test::LogCapture log;
  PrintTableData("KindsView");
  EXPECT_TRUE(log.Has("[DEBUG]", "3\tv\tNULL\tNULL\tNULL\tNULL\t0\tNULL\tNULL\t\n"));
}

TEST_F(TableListingTest, MissingTablesAndTablesWithoutColumnsGiveNone) {
  EXPECT_FALSE(ToStringTableData("Nowhere"));
  EXPECT_FALSE(ToStringCustomViewData(nullptr));
  DefineTable("Bare", {});
  ASSERT_TRUE(CreateTable("Bare"));
  EXPECT_FALSE(ToStringTableData("Bare"));
}

TEST_F(TableListingTest, LargeTablesAreListedWhole) {
  std::string longText(5000, 'x');
  for (int i = 0; i < 200; ++i)
    AddRow("Kinds", {Int(i), Text(longText), Value(), Value(), Value(), Value(), Value(), Value(), Value(), Value()});
  std::optional<std::string> text = ToStringTableData("Kinds");
  ASSERT_TRUE(text);
  EXPECT_GT(text->size(), 200u * 5000u);
  EXPECT_NE(text->find("199\t" + longText + "\t"), std::string::npos);
}

}  // namespace
}  // namespace tessera
