#include "tessera/values/crv_datetime.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/support/log_capture.h"
#include "tests/support/env_var.h"

namespace tessera {
namespace {

TEST(CrvDateTime, TextForms) {
  CrvDate d = CreateCrvDate(2024, 3, 7);
  CrvTime t = CreateCrvTime(7, 5, 0);
  EXPECT_EQ(CrvDateToString(&d), "2024-03-07");
  EXPECT_EQ(CrvTimeToString(&t), "07:05:00");
  CrvDateTime onlyTime;
  onlyTime.time = t;
  EXPECT_EQ(CrvDateTimeToString(&onlyTime), "07:05:00");
  CrvDateTime onlyDate;
  onlyDate.date = d;
  EXPECT_EQ(CrvDateTimeToString(&onlyDate), "2024-03-07");
  CrvDateTime both = CreateCrvDateTime(99, 1, 2, 3, 4, 5);
  EXPECT_EQ(CrvDateTimeToString(&both), "0099-01-02 03:04:05");
  CrvDateTime none;
  EXPECT_EQ(CrvDateTimeToString(&none), std::nullopt);
  EXPECT_EQ(CrvDateToString(nullptr), std::nullopt);
  EXPECT_EQ(CrvTimeToString(nullptr), std::nullopt);
  EXPECT_EQ(CrvDateTimeToString(nullptr), std::nullopt);
  EXPECT_EQ(CrvValueToString(CrvValue(d)), "2024-03-07");
}

TEST(CrvDateTime, TheThreeTextVariantsClassifyByCharacters) {
  // Date and time.
  auto full = ConvertStringToCrvDateTime("2023-12-31 23:59:58");
  ASSERT_TRUE(full);
  EXPECT_EQ(*full, CreateCrvDateTime(2023, 12, 31, 23, 59, 58));
  auto gen = ConvertStringToCrvGenDateTime("2023-12-31 23:59:58");
  EXPECT_EQ(*gen, *full);
  auto value = ConvertStringToCrvValue("2023-12-31 23:59:58");
  ASSERT_TRUE(value && std::holds_alternative<CrvDateTime>(*value));

  // Date only: zeros / absent time / bare date.
  auto dateFull = ConvertStringToCrvDateTime("2024-02-29");
  EXPECT_EQ(*dateFull->time, CrvTime{});
  auto dateGen = ConvertStringToCrvGenDateTime("2024-02-29");
  EXPECT_FALSE(dateGen->time.has_value());
  EXPECT_EQ(*dateGen->date, (CrvDate{2024, 2, 29}));
  auto dateValue = ConvertStringToCrvValue("2024-02-29");
  EXPECT_EQ(std::get<CrvDate>(*dateValue), (CrvDate{2024, 2, 29}));

  // Time only.
  auto timeFull = ConvertStringToCrvDateTime("12:30");
  EXPECT_EQ(*timeFull->date, CrvDate{});
  EXPECT_EQ(*timeFull->time, (CrvTime{12, 30, 0}));
  EXPECT_FALSE(ConvertStringToCrvGenDateTime("12:30:01")->date.has_value());
  EXPECT_EQ(std::get<CrvTime>(*ConvertStringToCrvValue("12:30:01")), (CrvTime{12, 30, 1}));

  // Neither, and null.
  hl::test::LogCapture log;
  EXPECT_FALSE(ConvertStringToCrvDateTime("20240229"));
  EXPECT_FALSE(ConvertStringToCrvValue("noon"));
  EXPECT_FALSE(ConvertStringToCrvGenDateTime("noon"));
  EXPECT_TRUE(log.Has("[ERROR]", "The String is not a datetimeStr \n"));
  EXPECT_FALSE(ConvertStringToCrvDateTime(nullptr));
  EXPECT_FALSE(ConvertStringToCrvValue(nullptr));
  EXPECT_FALSE(ConvertStringToCrvGenDateTime(nullptr));
  EXPECT_EQ(log.Count("[ERROR]", "datetimeStr NULL \n"), 3u);
  EXPECT_EQ(log.Count("[TRACE]", "Inside ConvertStringToCrvDateTime \n"), 4u);
  EXPECT_EQ(log.Count("[TRACE]", "Inside ConvertStringToCrvGenDateTime \n"), 2u);
}

TEST(CrvDateTime, CompareIsStrictlyLaterFieldByField) {
  CrvDateTime a = CreateCrvDateTime(2024, 1, 1, 0, 0, 1);
  CrvDateTime b = CreateCrvDateTime(2024, 1, 1, 0, 0, 0);
  CrvDateTime c = CreateCrvDateTime(2023, 12, 31, 23, 59, 59);
  EXPECT_TRUE(CompareCrvDateTime(&a, &b));
  EXPECT_FALSE(CompareCrvDateTime(&b, &a));
  EXPECT_FALSE(CompareCrvDateTime(&a, &a));
  EXPECT_TRUE(CompareCrvDateTime(&b, &c));
  EXPECT_FALSE(CompareCrvDateTime(&a, nullptr));
  EXPECT_FALSE(CompareCrvDateTime(nullptr, &a));
}

class DateArithmetic : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* tz = std::getenv("TZ");
    if (tz) saved_ = tz;
    hl::test::SetEnvVar("TZ", "UTC");
    tzset();
  }
  void TearDown() override {
    if (saved_) hl::test::SetEnvVar("TZ", saved_->c_str());
    else hl::test::UnsetEnvVar("TZ");
    tzset();
  }
  std::optional<std::string> saved_;
};

TEST_F(DateArithmetic, EachUnitNormalisesTheCalendar) {
  struct Case {
    long long amount;
    int unit;
    const char* expected;
  } cases[] = {
      {2500000000LL, CRV_UNIT_NANOSECONDS, "2024-02-28 23:00:02"},
      {3000000, CRV_UNIT_MICROSECONDS, "2024-02-28 23:00:03"},
      {61000, CRV_UNIT_MILLISECONDS, "2024-02-28 23:01:01"},
      {3600, CRV_UNIT_SECONDS, "2024-02-29 00:00:00"},
      {90, CRV_UNIT_MINUTES, "2024-02-29 00:30:00"},
      {25, CRV_UNIT_HOURS, "2024-03-01 00:00:00"},
      {2, CRV_UNIT_DAYS, "2024-03-01 23:00:00"},
      {1, CRV_UNIT_WEEKS, "2024-03-06 23:00:00"},
      {12, CRV_UNIT_MONTHS, "2025-02-28 23:00:00"},
      {5, 42, "2024-02-28 23:00:00"},
  };
  for (const Case& c : cases) {
    CrvDateTime v = CreateCrvDateTime(2024, 2, 28, 23, 0, 0);
    ASSERT_TRUE(AddToCrvDateTime(v, c.amount, c.unit)) << c.unit;
    EXPECT_EQ(CrvDateTimeToString(&v), c.expected) << c.unit;
  }
  CrvDateTime v = CreateCrvDateTime(2024, 3, 1, 0, 0, 0);
  ASSERT_TRUE(SubtractFromCrvDateTime(v, 1, CRV_UNIT_DAYS));
  EXPECT_EQ(CrvDateTimeToString(&v), "2024-02-29 00:00:00");
  CrvDateTime overflow = CreateCrvDateTime(2024, 1, 31, 0, 0, 0);
  ASSERT_TRUE(AddToCrvDateTime(overflow, 1, CRV_UNIT_MONTHS));
  EXPECT_EQ(CrvDateTimeToString(&overflow), "2024-03-02 00:00:00");  // mktime semantics
}

TEST_F(DateArithmetic, PartsAreKeptAndTimeOnlyValuesAreRefused) {
  CrvDateTime dateOnly;
  dateOnly.date = CrvDate{2024, 12, 31};
  ASSERT_TRUE(AddToCrvDateTime(dateOnly, 1, CRV_UNIT_DAYS));
  EXPECT_EQ(CrvDateTimeToString(&dateOnly), "2025-01-01");
  ASSERT_TRUE(AddToCrvDateTime(dateOnly, 6, CRV_UNIT_HOURS));
  EXPECT_EQ(CrvDateTimeToString(&dateOnly), "2025-01-01 06:00:00");

  CrvDateTime timeOnly;
  timeOnly.time = CrvTime{1, 2, 3};
  EXPECT_FALSE(AddToCrvDateTime(timeOnly, 1, CRV_UNIT_HOURS));
  EXPECT_EQ(*timeOnly.time, (CrvTime{1, 2, 3}));

  CrvDateTime huge = CreateCrvDateTime(2024, 1, 1, 0, 0, 0);
  EXPECT_FALSE(AddToCrvDateTime(huge, 9000000000000000000LL, CRV_UNIT_WEEKS));
  EXPECT_EQ(CrvDateTimeToString(&huge), "2024-01-01 00:00:00");
}

TEST(CrvDateTime, CurrentTimeIsPlausible) {
  CrvDateTime now = GetCurrentCrvDateTime();
  ASSERT_TRUE(now.date && now.time);
  EXPECT_GE(now.date->year, 2020);
  EXPECT_GE(now.date->month, 1);
  EXPECT_LE(now.date->month, 12);
}

}  // namespace
}  // namespace tessera
