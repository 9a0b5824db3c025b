#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace lorvane {

// Seconds since 1970-01-01 00:00:00 UTC, as the platform's dates.
using DateSeconds = double;

DateSeconds currentDate();  // from Clock::shared().wallNow()

// Formats with a fixed offset from UTC in seconds. Patterns understood:
// yyyy MM dd HH mm ss SSS EEE MMM a ZZZ; other letters are copied, and
// 'quoted' text is copied without the quotes.
std::string formatDate(DateSeconds date, std::string_view pattern, int utcOffsetSeconds = 0);

// HTTP dates: IMF-fixdate ("Sun, 06 Nov 1994 08:49:37 GMT"), the obsolete
// RFC 850 form and asctime form. Nothing for anything else.
std::optional<DateSeconds> parseHTTPDate(std::string_view text);
std::string formatHTTPDate(DateSeconds date);

}  // namespace lorvane
