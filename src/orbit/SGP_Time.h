// Time in the orbit, map and overlay code.
//
// TDateTime is the one UTC date-time type at every interface: days since
// 1899-12-30 00:00 UTC as a double, the fraction being the time of day
// (1.5 is 1899-12-31 12:00). A double keeps about 10 microseconds in this
// century. Inside the orbit code times are Julian dates (days since noon of
// 4713 BC, 1 January 2000 0h UTC = 2451544.5).
#pragma once

#include <string>

namespace vivurozed {

using TDateTime = double;

struct TDateTimeFields {
  int year = 1899, month = 12, day = 30;
  int hour = 0, minute = 0, second = 0, millisecond = 0;
};

TDateTime EncodeDateTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                         int millisecond = 0);
// Rounded to the millisecond. Values that are not finite or lie more than
// 3e6 days (about 8000 years) from the origin read as 1899-12-30 00:00.
TDateTimeFields DecodeDateTime(TDateTime t);
// Tokens: yyyy, yy, mmmm (month name), mmm (its first three letters), mm, dd,
// hh, nn (minutes), ss, zzz (milliseconds); everything else is copied.
std::string FormatDateTime(const std::string& format, TDateTime t);
TDateTime UtcNow();

inline constexpr double kDateTimeJulianOffset = 2415018.5;  // Julian date of TDateTime 0
inline double DateTimeOfJulianDate(double jd) {
  return jd - kDateTimeJulianOffset;
}

// Julian date of the calendar date and time, to the hundredth of a second.
double JulianDateOf(TDateTime t);
// Julian date of day 0 (31 December 0h) of the year.
double YearStartJulianDate(int year);
// Element epoch yyddd.dddddddd; years 57 .. 99 are 19yy, 00 .. 56 are 20yy.
// Not a number when the year is not two digits.
double EpochToJulianDate(double epoch);
// Greenwich mean sidereal angle (IAU 1982) in radians, 0 .. 2pi.
double SiderealAngle(double jd);
// The same at an element epoch; epochDays receives the epoch as days since
// Julian date 2433281.5 (1950 January 0.0), which the deep-space terms use.
double SiderealAngle(double epoch, double& epochDays);

}  // namespace vivurozed
