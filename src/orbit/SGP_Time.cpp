#include "orbit/SGP_Time.h"

#include <chrono>
#include <cmath>
#include <cstdint>

#include "orbit/SGP_Constants.h"
#include "orbit/SGP_Math.h"

namespace vivurozed {

namespace {

constexpr const char* kMonthNames[] = {"January",   "February", "March",    "April",
                                       "May",       "June",     "July",     "August",
                                       "September", "October",  "November", "December"};

// Days from 1970-01-01 of a proleptic Gregorian date, and back.
std::int64_t DaysFromCivil(std::int64_t y, int m, int d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(std::int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

constexpr std::int64_t kUnixDay = 25569;  // TDateTime of 1970-01-01
constexpr std::int64_t kMsPerDay = 86400000;

bool IsLeap(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

std::string Padded(int value, int width) {
  std::string s = std::to_string(value < 0 ? -value : value);
  if (static_cast<int>(s.size()) < width) s.insert(0, width - s.size(), '0');
  return value < 0 ? "-" + s : s;
}

}  // namespace

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second,
                         int millisecond) {
  const double days = static_cast<double>(DaysFromCivil(year, month, day) + kUnixDay);
  return days + (((hour * 60.0 + minute) * 60.0 + second) * 1000.0 + millisecond) / kMsPerDay;
}

TDateTimeFields DecodeDateTime(TDateTime t) {
  TDateTimeFields f;
  if (!std::isfinite(t) || std::fabs(t) > 3.0e6) return f;
  const auto ms = static_cast<std::int64_t>(std::llround(t * kMsPerDay));
  std::int64_t days = ms / kMsPerDay, rest = ms % kMsPerDay;
  if (rest < 0) rest += kMsPerDay, --days;
  CivilFromDays(days - kUnixDay, f.year, f.month, f.day);
  f.hour = static_cast<int>(rest / 3600000);
  f.minute = static_cast<int>(rest / 60000 % 60);
  f.second = static_cast<int>(rest / 1000 % 60);
  f.millisecond = static_cast<int>(rest % 1000);
  return f;
}

std::string FormatDateTime(const std::string& format, TDateTime t) {
  const TDateTimeFields f = DecodeDateTime(t);
  struct Token {
    const char* text;
    std::string value;
  };
  const Token tokens[] = {
      {"yyyy", Padded(f.year, 4)},
      {"yy", Padded(f.year % 100, 2)},
      {"mmmm", kMonthNames[f.month - 1]},
      {"mmm", std::string(kMonthNames[f.month - 1]).substr(0, 3)},
      {"mm", Padded(f.month, 2)},
      {"dd", Padded(f.day, 2)},
      {"hh", Padded(f.hour, 2)},
      {"nn", Padded(f.minute, 2)},
      {"ss", Padded(f.second, 2)},
      {"zzz", Padded(f.millisecond, 3)},
  };
  std::string out;
  for (std::size_t i = 0; i < format.size();) {
    bool matched = false;
    for (const Token& token : tokens) {
      if (format.compare(i, std::char_traits<char>::length(token.text), token.text) == 0) {
        out += token.value;
        i += std::char_traits<char>::length(token.text);
        matched = true;
        break;
      }
    }
    if (!matched) out += format[i++];
  }
  return out;
}

TDateTime UtcNow() {
  using namespace std::chrono;
  const auto ms = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
  return kUnixDay + static_cast<double>(ms) / kMsPerDay;
}

double JulianDateOf(TDateTime t) {
  static constexpr int kMonthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const TDateTimeFields f = DecodeDateTime(t);
  int dayOfYear = f.day;
  for (int m = 1; m < f.month; ++m) dayOfYear += kMonthDays[m - 1];
  if (IsLeap(f.year) && f.month > 2) ++dayOfYear;
  const int hundredths = f.millisecond / 10;
  const double hours = ((f.second + hundredths / 100.0) / 60.0 + f.minute) / 60.0 + f.hour;
  return YearStartJulianDate(f.year) + dayOfYear + hours / 24.0;
}

double YearStartJulianDate(int year) {
  const double y = year - 1;
  const double a = std::trunc(y / 100);
  const double b = 2 - a + std::trunc(a / 4);
  return std::trunc(365.25 * y) + 428 + 1720994.5 + b;
}

double EpochToJulianDate(double epoch) {
  const double yy = std::trunc(epoch * 0.001);
  if (!(yy >= 0 && yy < 100)) return std::nan("");
  const int year = static_cast<int>(yy >= 57 ? 1900 + yy : 2000 + yy);
  return YearStartJulianDate(year) + (epoch - yy * 1000);
}

double SiderealAngle(double jd) {
  const double ut = jd + 0.5 - std::floor(jd + 0.5);
  const double t = (jd - ut - 2451545.0) / 36525;
  const double g = 24110.54841 + t * (8640184.812866 + t * (0.093104 - 6.2e-6 * t));
  return kTwoPi * Modulus(g + 86636.555366976 * ut, 86400) / 86400;
}

double SiderealAngle(double epoch, double& epochDays) {
  const double jd = EpochToJulianDate(epoch);
  epochDays = jd - 2433281.5;
  return SiderealAngle(jd);
}

}  // namespace vivurozed
