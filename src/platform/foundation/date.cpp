#include "platform/foundation/date.h"

#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "platform/foundation/clock.h"

namespace lorvane {
namespace {

constexpr std::array<const char*, 7> kDays = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr std::array<const char*, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

struct Fields {
  int year, month, day, hour, minute, second, weekday, millisecond;
};

Fields fieldsOf(DateSeconds date, int offset) {
  double shifted = date + offset;
  double whole = std::floor(shifted);
  std::time_t t = static_cast<std::time_t>(whole);
  std::tm tm{};
  gmtime_r(&t, &tm);
  int ms = static_cast<int>(std::floor((shifted - whole) * 1000.0 + 1e-6));
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour,
          tm.tm_min,         tm.tm_sec,     tm.tm_wday, ms > 999 ? 999 : ms};
}

std::string padded(int value, int width) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%0*d", width, value);
  return buffer;
}

int monthIndex(std::string_view name) {
  for (std::size_t i = 0; i < kMonths.size(); ++i) {
    if (name.size() == 3 && std::tolower(name[0]) == std::tolower(kMonths[i][0]) &&
        std::tolower(name[1]) == kMonths[i][1] && std::tolower(name[2]) == kMonths[i][2]) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

std::optional<DateSeconds> fromFields(int year, int month0, int day, int hour, int minute,
                                      int second) {
  if (month0 < 0 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60) {
    return std::nullopt;
  }
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month0;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  return static_cast<DateSeconds>(timegm(&tm));
}

}  // namespace

DateSeconds currentDate() {
  return Clock::shared().wallNow();
}

std::string formatDate(DateSeconds date, std::string_view pattern, int utcOffsetSeconds) {
  Fields f = fieldsOf(date, utcOffsetSeconds);
  std::string out;
  std::size_t i = 0;
  while (i < pattern.size()) {
    char c = pattern[i];
    if (c == '\'') {
      auto end = pattern.find('\'', i + 1);
      if (end == std::string_view::npos) end = pattern.size();
      out.append(pattern.substr(i + 1, end - i - 1));
      i = end + 1;
      continue;
    }
    std::size_t run = 1;
    while (i + run < pattern.size() && pattern[i + run] == c) ++run;
    switch (c) {
      case 'y':
        out += run == 2 ? padded(f.year % 100, 2) : padded(f.year, static_cast<int>(run));
        break;
      case 'M':
        out +=
            run >= 3 ? std::string(kMonths[f.month - 1]) : padded(f.month, static_cast<int>(run));
        break;
      case 'd':
        out += padded(f.day, static_cast<int>(run));
        break;
      case 'H':
        out += padded(f.hour, static_cast<int>(run));
        break;
      case 'h':
        out += padded(f.hour % 12 == 0 ? 12 : f.hour % 12, static_cast<int>(run));
        break;
      case 'm':
        out += padded(f.minute, static_cast<int>(run));
        break;
      case 's':
        out += padded(f.second, static_cast<int>(run));
        break;
      case 'S':
        out += padded(f.millisecond, 3).substr(0, run);
        break;
      case 'E':
        out += kDays[f.weekday];
        break;
      case 'a':
        out += f.hour < 12 ? "AM" : "PM";
        break;
      case 'Z': {
        int minutes = utcOffsetSeconds / 60;
        out += minutes < 0 ? "-" : "+";
        minutes = std::abs(minutes);
        out += padded(minutes / 60, 2) + padded(minutes % 60, 2);
        break;
      }
      default:
        out.append(run, c);
        break;
    }
    i += run;
  }
  return out;
}

std::optional<DateSeconds> parseHTTPDate(std::string_view text) {
  char weekday[16] = {0}, month[4] = {0}, zone[8] = {0};
  int day = 0, year = 0, hour = 0, minute = 0, second = 0;
  std::string s(text);
  int consumed = 0;
  // IMF-fixdate: Sun, 06 Nov 1994 08:49:37 GMT
  if (std::sscanf(s.c_str(), "%3s, %2d %3s %4d %2d:%2d:%2d %3s%n", weekday, &day, month, &year,
                  &hour, &minute, &second, zone, &consumed) == 8 &&
      std::string_view(zone) == "GMT") {
    return fromFields(year, monthIndex(month), day, hour, minute, second);
  }
  // RFC 850: Sunday, 06-Nov-94 08:49:37 GMT
  if (std::sscanf(s.c_str(), "%15[A-Za-z], %2d-%3s-%4d %2d:%2d:%2d %3s", weekday, &day, month,
                  &year, &hour, &minute, &second, zone) == 8 &&
      std::string_view(zone) == "GMT") {
    if (year < 100) year += year < 70 ? 2000 : 1900;
    return fromFields(year, monthIndex(month), day, hour, minute, second);
  }
  // asctime: Sun Nov  6 08:49:37 1994
  if (std::sscanf(s.c_str(), "%3s %3s %d %2d:%2d:%2d %4d", weekday, month, &day, &hour, &minute,
                  &second, &year) == 7) {
    return fromFields(year, monthIndex(month), day, hour, minute, second);
  }
  return std::nullopt;
}

std::string formatHTTPDate(DateSeconds date) {
  return formatDate(date, "EEE, dd MMM yyyy HH:mm:ss 'GMT'", 0);
}

}  // namespace lorvane
