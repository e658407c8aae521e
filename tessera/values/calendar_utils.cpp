#include "tessera/values/calendar_utils.h"

#include <vector>

#include "tessera/values/text_scan.h"
#include "tessera/values/trace.h"

namespace tessera {
namespace {

char Fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

int FullYear(int year) {
  if (year >= 0 && year < 70) return year + 2000;
  if (year >= 70 && year < 100) return year + 1900;
  return year;
}

bool Fill(std::tm& out, int day, const std::string& monthName, int year, int hour, int minute, int second) {
  int month = ParseMonth(monthName.c_str());
  if (month < 0) return false;
  std::tm result{};
  result.tm_mday = day;
  result.tm_mon = month;
  result.tm_year = FullYear(year) - 1900;
  result.tm_hour = hour;
  result.tm_min = minute;
  result.tm_sec = second;
  out = result;
  return true;
}

}  // namespace

bool CompareTime(const std::tm& a, const std::tm& b) {
  TraceEntry("CompareTime");
  const int left[] = {a.tm_year, a.tm_mon, a.tm_mday, a.tm_hour, a.tm_min, a.tm_sec};
  const int right[] = {b.tm_year, b.tm_mon, b.tm_mday, b.tm_hour, b.tm_min, b.tm_sec};
  for (int i = 0; i < 6; ++i)
    if (left[i] != right[i]) return left[i] > right[i];
  return false;
}

int ParseMonth(const char* name) {
  TraceEntry("ParseMonth");
  static const char* const kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                        "jul", "aug", "sep", "oct", "nov", "dec"};
  if (name == nullptr || name[0] == '\0' || name[1] == '\0' || name[2] == '\0' || name[3] != '\0') return -1;
  for (int i = 0; i < 12; ++i)
    if (Fold(name[0]) == kMonths[i][0] && Fold(name[1]) == kMonths[i][1] && Fold(name[2]) == kMonths[i][2]) return i;
  return -1;
}

bool ParseDateTime(const char* text, std::tm& out) {
  TraceEntry("ParseDateTime");
  if (text == nullptr) return false;
  std::vector<ScanField> f;
  if (ScanText(text, "%s %d %s %d %d:%d:%d %s", f) == 8 &&
      Fill(out, f[1].number, f[2].text, f[3].number, f[4].number, f[5].number, f[6].number))
    return true;
  if (ScanText(text, "%s %d-%3s-%d %d:%d:%d %s", f) == 8 &&
      Fill(out, f[1].number, f[2].text, f[3].number, f[4].number, f[5].number, f[6].number))
    return true;
  if (ScanText(text, "%s %s %d %d:%d:%d %d", f) == 7 &&
      Fill(out, f[2].number, f[1].text, f[6].number, f[3].number, f[4].number, f[5].number))
    return true;
  return false;
}

}  // namespace tessera
