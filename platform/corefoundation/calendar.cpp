// Dates written as text (YYYY-MM-DDThh:mm:ssZ): the device's Gregorian arithmetic, with its treatment
// of out-of-range fields, when reading; the proleptic Gregorian calendar for any year when writing.
#include "scalar_text.h"

#include <cmath>
#include <cstdio>

namespace cf {
namespace {

bool isLeap(int64_t year) {  // `year` counts from 2001
  int64_t y = (year + 1) % 400;
  if (y < 0) y = -y;
  return (y & 3) == 0 && y != 100 && y != 200 && y != 300;
}

double daysBeforeMonth(int month, int64_t year) {
  static const int kBefore[16] = {-1, 0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365, -1, -1};
  if (month < 0 || month > 15 || kBefore[month] < 0) return 0;  // the device adds nothing for these
  return kBefore[month] + (month > 2 && isLeap(year) ? 1 : 0);
}

double absoluteDays(int64_t year, int month, int day) {
  int64_t cycles = year / 400;
  double days = static_cast<double>(cycles) * 146097.0;
  year -= cycles * 400;
  if (year < 0) {
    for (int64_t y = year; y < 0; ++y) days -= isLeap(y) ? 366 : 365;
  } else {
    for (int64_t y = 0; y < year; ++y) days += isLeap(y) ? 366 : 365;
  }
  return days + daysBeforeMonth(month, year) + (day - 1);
}

// The text cursor of scanISODate: one field at a time, false where the form is broken.
struct Cursor {
  const char* at;
  const char* end;

  bool twoDigits(int* value) {
    if (at + 2 >= end) return false;
    char a = at[0], b = at[1];
    at += 2;
    if (a < '0' || a > '9' || b < '0' || b > '9') return false;
    *value = (a - '0') * 10 + (b - '0');
    return true;
  }

  bool expect(char c) {
    if (at >= end || *at != c) return false;
    ++at;
    return true;
  }
};

}  // namespace

const char* scanISODate(const char* at, const char* end, double* absoluteTime) {
  Cursor text{at, end};
  bool negative = text.expect('-');
  uint32_t year = 0;  // wraps as the device's does
  while (text.at < end && *text.at >= '0' && *text.at <= '9') year = 10 * year + static_cast<uint32_t>(*text.at++ - '0');
  int month = 0, day = 0, hour = 0, minute = 0, second = 0;
  bool ok = text.expect('-') && text.twoDigits(&month) && text.expect('-') && text.twoDigits(&day) &&
            text.expect('T') && text.twoDigits(&hour) && text.expect(':') && text.twoDigits(&minute) &&
            text.expect(':') && text.twoDigits(&second) && text.expect('Z');
  if (!ok) return nullptr;
  int32_t signedYear = static_cast<int32_t>(negative ? 0u - year : year);
  int64_t fromReference = static_cast<int32_t>(static_cast<uint32_t>(signedYear) - 2001u);
  double seconds = 86400.0 * absoluteDays(fromReference, month, day);
  seconds += 3600.0 * hour + 60.0 * minute + second;
  *absoluteTime = seconds;
  return text.at;
}

std::string formatISODate(double absoluteTime) {
  double whole = std::floor(absoluteTime);
  if (!(std::fabs(whole) < 1e17)) whole = 0;  // NaN or a time no calendar reaches
  int64_t seconds = static_cast<int64_t>(whole) + 978307200;  // since 1970
  int64_t days = seconds >= 0 ? seconds / 86400 : -((-seconds + 86399) / 86400);
  int64_t inDay = seconds - days * 86400;
  // Days since 1970-01-01 to a civil date (proleptic Gregorian).
  int64_t z = days + 719468, era = (z >= 0 ? z : z - 146096) / 146097;
  int64_t doe = z - era * 146097, yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100), mp = (5 * doy + 2) / 153;
  int64_t day = doy - (153 * mp + 2) / 5 + 1, month = mp < 10 ? mp + 3 : mp - 9;
  int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
  char buffer[128];
  std::snprintf(buffer, sizeof buffer, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lldZ", static_cast<long long>(year),
                static_cast<long long>(month), static_cast<long long>(day), static_cast<long long>(inDay / 3600),
                static_cast<long long>(inDay / 60 % 60), static_cast<long long>(inDay % 60));
  return buffer;
}

}  // namespace cf
