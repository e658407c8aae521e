// The store's date and time values: CrvDate, CrvTime, CrvDateTime, their text forms and arithmetic.
#pragma once

#include <optional>
#include <string>
#include <variant>

#include "platform/win32.h"

namespace tessera {

struct CrvDate {
  WORD year = 0;
  BYTE month = 0;  // 1-12
  BYTE day = 0;
  bool operator==(const CrvDate&) const = default;
};

struct CrvTime {
  BYTE hour = 0;
  BYTE minute = 0;
  BYTE second = 0;
  bool operator==(const CrvTime&) const = default;
};

// A date, a time or both; a missing part is std::nullopt.
struct CrvDateTime {
  std::optional<CrvDate> date;
  std::optional<CrvTime> time;
  BYTE reserved[3] = {0, 0, 0};  // left zero
  bool operator==(const CrvDateTime&) const = default;
};

// What ConvertStringToCrvValue gives: a bare date, a bare time, or both.
using CrvValue = std::variant<CrvDate, CrvTime, CrvDateTime>;

// Units of AddToCrvDateTime / SubtractFromCrvDateTime.
enum CrvTimeUnit : int {
  CRV_UNIT_NANOSECONDS = 1,
  CRV_UNIT_MICROSECONDS = 2,
  CRV_UNIT_MILLISECONDS = 3,
  CRV_UNIT_SECONDS = 4,
  CRV_UNIT_MINUTES = 5,
  CRV_UNIT_HOURS = 6,
  CRV_UNIT_DAYS = 7,
  CRV_UNIT_WEEKS = 8,
  CRV_UNIT_MONTHS = 9,
};

// The fields are stored at their widths (no range check), as the store has always done.
CrvDate CreateCrvDate(int year, int month, int day);
CrvTime CreateCrvTime(int hour, int minute, int second);
CrvDateTime CreateCrvDateTime(int year, int month, int day, int hour, int minute, int second);

// "%04d-%02d-%02d", "%02d:%02d:%02d"; null input gives std::nullopt.
std::optional<std::string> CrvDateToString(const CrvDate* date);
std::optional<std::string> CrvTimeToString(const CrvTime* time);
// Both parts "%04d-%02d-%02d %02d:%02d:%02d", else the form of the part present; none: nullopt.
std::optional<std::string> CrvDateTimeToString(const CrvDateTime* dateTime);
// The text of any CrvValue (a bare date, a bare time or a date-time).
std::optional<std::string> CrvValueToString(const CrvValue& value);

// Text to date/time. A text with "-" and ":" is read as "%d-%d-%d %d:%d:%d", with "-" only as
// "%d-%d-%d", with ":" only as "%d:%d:%d"; anything else gives nullopt. A null text logs
// "datetimeStr NULL \n" at ERROR.
// Always both parts; a missing part is all zeros.
std::optional<CrvDateTime> ConvertStringToCrvDateTime(const char* text);
// A CrvDateTime for date and time, a bare CrvDate for a date, a bare CrvTime for a time.
std::optional<CrvValue> ConvertStringToCrvValue(const char* text);
// A CrvDateTime whose missing part is nullopt.
std::optional<CrvDateTime> ConvertStringToCrvGenDateTime(const char* text);

// True when a is strictly later than b (year, month, day, hour, minute, second); false when
// equal or when either is null. A missing part counts as zeros.
bool CompareCrvDateTime(const CrvDateTime* a, const CrvDateTime* b);

// The local date and time now.
CrvDateTime GetCurrentCrvDateTime();

// Applies `amount` of `unit` to the calendar fields and normalises them like mktime in local
// time; any other unit only normalises. A value without a date part is left unchanged (false).
// A value without a time part keeps none unless the result has a time of day.
bool AddToCrvDateTime(CrvDateTime& dateTime, long long amount, int unit);
bool SubtractFromCrvDateTime(CrvDateTime& dateTime, long long amount, int unit);

}  // namespace tessera
