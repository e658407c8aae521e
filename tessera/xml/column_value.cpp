#include "tessera/xml/column_value.h"

#include <cmath>
#include <new>
#include <string_view>
#include <vector>

#include "agent/log/log.h"
#include "tessera/values/crv_datetime.h"
#include "tessera/values/number_text.h"
#include "tessera/values/string_utils.h"
#include "tessera/values/text_scan.h"

namespace tessera {
namespace {

// Reads up to `count` integers with `format`; fields not read stay 0.
std::vector<int> ScanNumbers(const char* text, const char* format, size_t count) {
  std::vector<ScanField> fields;
  ScanText(text, format, fields);
  std::vector<int> numbers(count, 0);
  for (size_t i = 0; i < fields.size() && i < count; ++i) numbers[i] = fields[i].number;
  return numbers;
}

Value ConvertText(BYTE typeCode, const char* text) {
  switch (typeCode) {
    case 1: case 2: case 3: case 4: case 5: case 6:
      return Value::FromNumber<int32_t>(StringToInt32(text));
    case 7: case 8:
      return Value::FromNumber<int64_t>(StringToInt64(text));
    case 9: case 10: case 11:
      return Value::FromNumber<double>(StringToReal(text));
    case 12: case 13: case 14: case 15: case 20: case 21: case 22:
      return Value::FromText(text);
    case 16: {
      std::vector<int> n = ScanNumbers(text, "%d-%d-%d", 3);
      return Value::FromDate(CreateCrvDate(n[0], n[1], n[2]), 4);
    }
    case 17: {
      std::vector<int> n = ScanNumbers(text, "%d:%d:%d", 3);
      return Value::FromTime(CreateCrvTime(n[0], n[1], n[2]), 3);
    }
    case 18: {
      std::vector<int> n = ScanNumbers(text, "%d-%d-%d %d:%d:%d", 6);
      return Value::FromDateTime(CreateCrvDateTime(n[0], n[1], n[2], n[3], n[4], n[5]), 11);
    }
    case 19: {
      BYTE flag = EqualsIgnoreCase(text, "false") ? 0 : 1;
      return Value::FromBytes(&flag, 1);
    }
    default:
      return Value();  // not a supported type: no value
  }
}

struct DateTimeFields {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  bool operator==(const DateTimeFields&) const = default;
};

// The calendar fields of any date/time form; a missing part gives zeros.
DateTimeFields FieldsOf(const Value& value) {
  DateTimeFields f;
  const CrvDate* date = value.date();
  const CrvTime* time = value.time();
  if (const CrvDateTime* both = value.dateTime()) {
    date = both->date ? &*both->date : nullptr;
    time = both->time ? &*both->time : nullptr;
  }
  if (date) {
    f.year = date->year;
    f.month = date->month;
    f.day = date->day;
  }
  if (time) {
    f.hour = time->hour;
    f.minute = time->minute;
    f.second = time->second;
  }
  return f;
}

bool IsComparableType(BYTE typeCode) {
  switch (typeCode) {
    case 1: case 2: case 3: case 5: case 6:
    case 9: case 10:
    case 14: case 15: case 19: case 22:
    case 16: case 17: case 18:
      return true;
    default:
      return false;
  }
}

}  // namespace

BYTE AllocateAndCopyColumnValue(Value& value, int32_t& length, BYTE typeCode, const char* text) {
  value = Value();
  length = 0;
  if (text == nullptr) {
    LogTrace("value parameter in AllocateAndCopyColumnValue is NULL \n");
    return kTesseraFailure;
  }
  try {
    value = ConvertText(typeCode, text);
  } catch (const std::bad_alloc&) {
    value = Value();
    return kTesseraNoMemory;
  }
  length = value.length();
  return kTesseraSuccess;
}

bool CompareValues(BYTE typeCode, const Value& a, const Value& b) {
  if (!IsComparableType(typeCode)) {
    LogError("Invalid type.  Cannot compare values.\n");
    return false;
  }
  if (a.IsNull() || b.IsNull()) return a.IsNull() != b.IsNull();
  switch (typeCode) {
    case 1: case 3: case 5:
      return static_cast<int32_t>(a.ReadSigned(4)) != static_cast<int32_t>(b.ReadSigned(4));
    case 2: case 6:
      return static_cast<uint32_t>(a.ReadUnsigned(4)) != static_cast<uint32_t>(b.ReadUnsigned(4));
    case 9: case 10: {
      const float x = static_cast<float>(a.ReadReal());
      const float y = static_cast<float>(b.ReadReal());
      return std::fabs(static_cast<double>(x) - static_cast<double>(y)) >= 1e-10;
    }
    case 16: case 17: case 18:
      return !(FieldsOf(a) == FieldsOf(b));
    default:  // 14, 15, 19, 22
      return a.bytes() != b.bytes();
  }
}

bool SameColumnValue(BYTE typeCode, const Value& a, const Value& b) {
  if (IsComparableType(typeCode)) return !CompareValues(typeCode, a, b);
  if (a.IsNull() || b.IsNull()) return a.IsNull() == b.IsNull();
  switch (typeCode) {
    case 4:  // stored at its width (2 bytes) by defaults, at 4 bytes by the import
      return static_cast<uint32_t>(a.ReadUnsigned(4)) == static_cast<uint32_t>(b.ReadUnsigned(4));
    case 7:
      return a.ReadSigned(8) == b.ReadSigned(8);
    case 8:
      return a.ReadUnsigned(8) == b.ReadUnsigned(8);
    case 11:
      return !CompareValues(9, a, b);
    default:
      return a == b;
  }
}

}  // namespace tessera
