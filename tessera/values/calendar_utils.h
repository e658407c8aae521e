// Calendar-field helpers over std::tm: comparison and the HTTP date forms.
#pragma once

#include <ctime>

namespace tessera {

// True when calendar time a is later than b (year, month, day, hour, minute, second).
bool CompareTime(const std::tm& a, const std::tm& b);
// "Jan" ... "Dec" (any case) to 0-11; -1 otherwise.
int ParseMonth(const char* name);
// Calendar fields from "%s %d %s %d %d:%d:%d %s" (RFC 1123), "%s %d-%3s-%d %d:%d:%d %s"
// (RFC 850) or "%s %s %d %d:%d:%d %d" (asctime), tried in that order; a form matches when all
// its fields are read and the month name is known. tm_year is the year minus 1900; a two-digit
// year is read as 1970-2069. False when no form matches (`out` is then left unchanged).
bool ParseDateTime(const char* text, std::tm& out);

}  // namespace tessera
