#include "platform/foundation/date.h"

#include <gtest/gtest.h>

namespace lorvane {
namespace {

// 1994-11-06 08:49:37 UTC, a Sunday.
constexpr DateSeconds kSample = 784111777;

TEST(DateTest, FormatsClockTextsInAFixedZone) {
  EXPECT_EQ(formatDate(65, "mm:ss"), "01:05");
  EXPECT_EQ(formatDate(3599, "mm:ss"), "59:59");
  EXPECT_EQ(formatDate(3600 + 62, "HH:mm:ss"), "01:01:02");
  EXPECT_EQ(formatDate(0, "HH:mm:ss", 8 * 3600), "08:00:00");
  EXPECT_EQ(formatDate(kSample, "yyyy-MM-dd EEE MMM 'at' h a ZZZ", 0),
            "1994-11-06 Sun Nov at 8 AM +0000");
  EXPECT_EQ(formatDate(1.25, "ss.SSS"), "01.250");
}

TEST(DateTest, ParsesTheThreeHTTPDateForms) {
  EXPECT_EQ(parseHTTPDate("Sun, 06 Nov 1994 08:49:37 GMT"), kSample);
  EXPECT_EQ(parseHTTPDate("Sunday, 06-Nov-94 08:49:37 GMT"), kSample);
  EXPECT_EQ(parseHTTPDate("Sun Nov  6 08:49:37 1994"), kSample);
  EXPECT_EQ(formatHTTPDate(kSample), "Sun, 06 Nov 1994 08:49:37 GMT");
  EXPECT_EQ(parseHTTPDate(formatHTTPDate(1700000000)), 1700000000);
}

TEST(DateTest, RejectsMalformedHTTPDates) {
  for (const char* bad : {"", "yesterday", "Sun, 06 Xyz 1994 08:49:37 GMT",
                          "Sun, 06 Nov 1994 25:49:37 GMT", "Sun, 06 Nov 1994 08:49:37 PST"}) {
    EXPECT_FALSE(parseHTTPDate(bad)) << bad;
  }
}

}  // namespace
}  // namespace lorvane
