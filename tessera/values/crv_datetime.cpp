#include "tessera/values/crv_datetime.h"

#include <cstring>
#include <ctime>
#include <limits>
#include <vector>

#include "agent/log/log.h"
#include "tessera/values/text_scan.h"

namespace tessera {
namespace {

enum class TextShape { DateAndTime, DateOnly, TimeOnly, Neither };

TextShape ClassifyDateTimeText(const char* text) {
  bool dash = std::strchr(text, '-') != nullptr;
  bool colon = std::strchr(text, ':') != nullptr;
  if (dash && colon) return TextShape::DateAndTime;
  if (dash) return TextShape::DateOnly;
  if (colon) return TextShape::TimeOnly;
  return TextShape::Neither;
}

// Reads up to `count` integers with `format`; unread fields stay 0.
std::vector<int> ScanNumbers(const char* text, const char* format, size_t count) {
  std::vector<ScanField> fields;
  ScanText(text, format, fields);
  std::vector<int> numbers(count, 0);
  for (size_t i = 0; i < fields.size() && i < count; ++i) numbers[i] = fields[i].number;
  return numbers;
}

CrvDate ScanDate(const char* text) {
  std::vector<int> n = ScanNumbers(text, "%d-%d-%d", 3);
  return CreateCrvDate(n[0], n[1], n[2]);
}

CrvTime ScanTime(const char* text) {
  std::vector<int> n = ScanNumbers(text, "%d:%d:%d", 3);
  return CreateCrvTime(n[0], n[1], n[2]);
}

CrvDateTime ScanDateAndTime(const char* text) {
  std::vector<int> n = ScanNumbers(text, "%d-%d-%d %d:%d:%d", 6);
  return CreateCrvDateTime(n[0], n[1], n[2], n[3], n[4], n[5]);
}

int ClampToInt(long long value) {
  if (value > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
  if (value < std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
  return static_cast<int>(value);
}

// field + amount * factor without overflow (factor is small); out-of-range results saturate.
int AddToField(int field, long long amount, long long factor = 1) {
  long long bounded = ClampToInt(amount);
  return ClampToInt(field + bounded * factor);
}

bool IsNormalised(const std::tm& c) {
  return c.tm_mon >= 0 && c.tm_mon <= 11 && c.tm_mday >= 1 && c.tm_mday <= 31 && c.tm_hour >= 0 &&
         c.tm_hour <= 23 && c.tm_min >= 0 && c.tm_min <= 59 && c.tm_sec >= 0 && c.tm_sec <= 60 &&
         c.tm_year >= -1900 && c.tm_year <= 65535 - 1900;
}

}  // namespace

CrvDate CreateCrvDate(int year, int month, int day) {
  return CrvDate{static_cast<WORD>(year), static_cast<BYTE>(month), static_cast<BYTE>(day)};
}

CrvTime CreateCrvTime(int hour, int minute, int second) {
  return CrvTime{static_cast<BYTE>(hour), static_cast<BYTE>(minute), static_cast<BYTE>(second)};
}

CrvDateTime CreateCrvDateTime(int year, int month, int day, int hour, int minute, int second) {
  CrvDateTime value;
  value.date = CreateCrvDate(year, month, day);
  value.time = CreateCrvTime(hour, minute, second);
  return value;
}

std::optional<std::string> CrvDateToString(const CrvDate* date) {
  if (date == nullptr) return std::nullopt;
  return hl::Sprintf("%04d-%02d-%02d", date->year, date->month, date->day);
}

std::optional<std::string> CrvTimeToString(const CrvTime* time) {
  if (time == nullptr) return std::nullopt;
  return hl::Sprintf("%02d:%02d:%02d", time->hour, time->minute, time->second);
}

std::optional<std::string> CrvDateTimeToString(const CrvDateTime* dateTime) {
  if (dateTime == nullptr) return std::nullopt;
  const auto& d = dateTime->date;
  const auto& t = dateTime->time;
  if (d && t)
    return hl::Sprintf("%04d-%02d-%02d %02d:%02d:%02d", d->year, d->month, d->day, t->hour, t->minute, t->second);
  if (t) return CrvTimeToString(&*t);
  if (d) return CrvDateToString(&*d);
  return std::nullopt;
}

std::optional<std::string> CrvValueToString(const CrvValue& value) {
  if (const auto* date = std::get_if<CrvDate>(&value)) return CrvDateToString(date);
  if (const auto* time = std::get_if<CrvTime>(&value)) return CrvTimeToString(time);
  return CrvDateTimeToString(&std::get<CrvDateTime>(value));
}

std::optional<CrvDateTime> ConvertStringToCrvDateTime(const char* text) {
  LogTrace("Inside ConvertStringToCrvDateTime \n");
  if (text == nullptr) {
    LogError("datetimeStr NULL \n");
    return std::nullopt;
  }
  switch (ClassifyDateTimeText(text)) {
    case TextShape::DateAndTime:
      return ScanDateAndTime(text);
    case TextShape::DateOnly: {
      CrvDateTime value;
      value.date = ScanDate(text);
      value.time = CrvTime{};
      return value;
    }
    case TextShape::TimeOnly: {
      CrvDateTime value;
      value.date = CrvDate{};
      value.time = ScanTime(text);
      return value;
    }
    case TextShape::Neither:
      break;
  }
  return std::nullopt;
}

std::optional<CrvValue> ConvertStringToCrvValue(const char* text) {
  LogTrace("Inside ConvertStringToCrvDateTime \n");
  if (text == nullptr) {
    LogError("datetimeStr NULL \n");
    return std::nullopt;
  }
  switch (ClassifyDateTimeText(text)) {
    case TextShape::DateAndTime:
      return CrvValue(ScanDateAndTime(text));
    case TextShape::DateOnly:
      return CrvValue(ScanDate(text));
    case TextShape::TimeOnly:
      return CrvValue(ScanTime(text));
    case TextShape::Neither:
      break;
  }
  return std::nullopt;
}

std::optional<CrvDateTime> ConvertStringToCrvGenDateTime(const char* text) {
  LogTrace("Inside ConvertStringToCrvGenDateTime \n");
  if (text == nullptr) {
    LogError("datetimeStr NULL \n");
    return std::nullopt;
  }
  CrvDateTime value;
  switch (ClassifyDateTimeText(text)) {
    case TextShape::DateAndTime:
      return ScanDateAndTime(text);
    case TextShape::DateOnly:
      value.date = ScanDate(text);
      return value;
    case TextShape::TimeOnly:
      value.time = ScanTime(text);
      return value;
    case TextShape::Neither:
      LogError("The String is not a datetimeStr \n");
      break;
  }
  return std::nullopt;
}

bool CompareCrvDateTime(const CrvDateTime* a, const CrvDateTime* b) {
  if (a == nullptr || b == nullptr) return false;
  CrvDate da = a->date.value_or(CrvDate{}), db = b->date.value_or(CrvDate{});
  CrvTime ta = a->time.value_or(CrvTime{}), tb = b->time.value_or(CrvTime{});
  const int left[] = {da.year, da.month, da.day, ta.hour, ta.minute, ta.second};
  const int right[] = {db.year, db.month, db.day, tb.hour, tb.minute, tb.second};
  for (int i = 0; i < 6; ++i) {
    if (left[i] != right[i]) return left[i] > right[i];
  }
  return false;
}

CrvDateTime GetCurrentCrvDateTime() {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  return CreateCrvDateTime(now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond);
}

bool AddToCrvDateTime(CrvDateTime& dateTime, long long amount, int unit) {
  if (!dateTime.date) return false;
  const CrvDate& d = *dateTime.date;
  CrvTime t = dateTime.time.value_or(CrvTime{});
  std::tm calendar{};
  calendar.tm_year = d.year - 1900;
  calendar.tm_mon = d.month - 1;
  calendar.tm_mday = d.day;
  calendar.tm_hour = t.hour;
  calendar.tm_min = t.minute;
  calendar.tm_sec = t.second;
  calendar.tm_isdst = -1;

  long long seconds = 0;
  switch (unit) {
    case CRV_UNIT_NANOSECONDS: seconds = amount / 1000000000LL; break;
    case CRV_UNIT_MICROSECONDS: seconds = amount / 1000000LL; break;
    case CRV_UNIT_MILLISECONDS: seconds = amount / 1000LL; break;
    case CRV_UNIT_SECONDS: seconds = amount; break;
    case CRV_UNIT_MINUTES: calendar.tm_min = AddToField(calendar.tm_min, amount); break;
    case CRV_UNIT_HOURS: calendar.tm_hour = AddToField(calendar.tm_hour, amount); break;
    case CRV_UNIT_DAYS: calendar.tm_mday = AddToField(calendar.tm_mday, amount); break;
    case CRV_UNIT_WEEKS: calendar.tm_mday = AddToField(calendar.tm_mday, amount, 7); break;
    case CRV_UNIT_MONTHS: calendar.tm_mon = AddToField(calendar.tm_mon, amount); break;
    default: break;
  }
  // Whole days go to the day field so that large second counts cannot overflow tm_sec.
  calendar.tm_mday = AddToField(calendar.tm_mday, seconds / 86400);
  calendar.tm_sec = AddToField(calendar.tm_sec, seconds % 86400);

  // Far out of the calendar's range the runtime's mktime may wrap instead of failing (the
  // Windows runtime does): such sums are refused before it is asked.
  long long years = calendar.tm_year + calendar.tm_mon / 12LL + calendar.tm_mday / 366LL + calendar.tm_hour / 8784LL +
                    calendar.tm_min / 527040LL;
  if (years < -1900 - 1 || years > 65535 - 1900 + 1) return false;
  std::mktime(&calendar);
  if (!IsNormalised(calendar)) return false;  // out of the calendar's range: left unchanged
  dateTime.date = CreateCrvDate(calendar.tm_year + 1900, calendar.tm_mon + 1, calendar.tm_mday);
  CrvTime result = CreateCrvTime(calendar.tm_hour, calendar.tm_min, calendar.tm_sec);
  if (dateTime.time || !(result == CrvTime{})) dateTime.time = result;
  return true;
}

bool SubtractFromCrvDateTime(CrvDateTime& dateTime, long long amount, int unit) {
  if (amount == std::numeric_limits<long long>::min()) amount = std::numeric_limits<long long>::max();
  else amount = -amount;
  return AddToCrvDateTime(dateTime, amount, unit);
}

}  // namespace tessera
