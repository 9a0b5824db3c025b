#include <gtest/gtest.h>

#include <string>

#include "player/web_vtt.h"

namespace lorvane {
namespace {

TEST(WebVTTTimestampTest, ReadsBothFormsAndRefusesNearMisses) {
  EXPECT_DOUBLE_EQ(parseWebVTTTimestamp("00:01.500"), 1.5);
  EXPECT_DOUBLE_EQ(parseWebVTTTimestamp("59:59.999"), 3599.999);
  EXPECT_DOUBLE_EQ(parseWebVTTTimestamp("01:02:03.004"), 3723.004);
  // Hours may have any number of digits, and must when the first field
  // cannot be minutes.
  EXPECT_DOUBLE_EQ(parseWebVTTTimestamp("100:00:00.000"), 360000);
  EXPECT_DOUBLE_EQ(parseWebVTTTimestamp("1:00:00.000"), 3600);
  EXPECT_DOUBLE_EQ(parseWebVTTTimestamp("60:00:01.000"), 216001);
  for (const char* bad :
       {"", "1:02.000", "00:60.000", "00:00:60.000", "00:60:00.000", "00:01.50", "00:01,500",
        "00:01.5000", "00:01", "60:00.000", "a0:01.000", "00:01.500 ", "-00:01.000"}) {
    EXPECT_LT(parseWebVTTTimestamp(bad), 0) << '"' << bad << '"';
  }
}

TEST(WebVTTTest, ReadsCuesWithIdentifiersSettingsAndTwoLanguageLines) {
  auto result = parseWebVTT(
      "WEBVTT - a lesson\n"
      "Kind: captions\n"
      "\n"
      "line-1\n"
      "00:00:01.000 --> 00:00:03.250 align:start line:80%\n"
      "Could I get a latte?\n"
      "我可以要一杯拿铁吗？\n"
      "\n"
      "00:04.000-->00:06.500\n"
      "Sure.\n"
      "当然。\n"
      "Anything else?\n");
  ASSERT_TRUE(result.valid);
  EXPECT_EQ(result.skippedBlocks, 0u);
  ASSERT_EQ(result.track.count(), 2u);
  const CaptionCue& first = result.track[0];
  EXPECT_EQ(first.identifier, "line-1");
  EXPECT_DOUBLE_EQ(first.startSeconds, 1.0);
  EXPECT_DOUBLE_EQ(first.endSeconds, 3.25);
  EXPECT_EQ(first.settings, "align:start line:80%");
  EXPECT_EQ(first.english(), "Could I get a latte?");
  EXPECT_EQ(first.translation(), "我可以要一杯拿铁吗？");
  const CaptionCue& second = result.track[1];
  EXPECT_EQ(second.identifier, "");
  EXPECT_DOUBLE_EQ(second.startSeconds, 4.0);
  EXPECT_EQ(second.settings, "");
  EXPECT_EQ(second.lines.size(), 3u);
  EXPECT_EQ(second.translation(), "当然。\nAnything else?");
}

TEST(WebVTTTest, LineEndsOfEveryKindAndAByteOrderMarkReadAlike) {
  const std::string body =
      "WEBVTT\n\n1\n00:01.000 --> 00:02.000\nHello\n你好\n\n2\n00:03.000 --> 00:04.000\nBye\n";
  auto replaced = [&](const std::string& end) {
    std::string out;
    for (char c : body) out += c == '\n' ? end : std::string(1, c);
    return out;
  };
  for (const std::string& text :
       {body, replaced("\r\n"), replaced("\r"), "\xEF\xBB\xBF" + replaced("\r\n")}) {
    auto result = parseWebVTT(text);
    ASSERT_TRUE(result.valid);
    ASSERT_EQ(result.track.count(), 2u);
    EXPECT_EQ(result.track[0].identifier, "1");
    EXPECT_EQ(result.track[0].lines, (std::vector<std::string>{"Hello", "你好"}));
    EXPECT_EQ(result.track[1].english(), "Bye");
  }
}

TEST(WebVTTTest, NotesStylesAndRegionsArePassedOverAndBadCuesSkippedAlone) {
  auto result = parseWebVTT(
      "WEBVTT\n\n"
      "NOTE written by hand\nacross two lines\n\n"
      "STYLE\n::cue { color: yellow }\n\n"
      "REGION\nid:fred width:40%\n\n"
      "NOTE\n\n"
      "bad-time\n00:01.000 -> 00:02.000\nnot a cue\n\n"
      "00:03.000 --> 00:02.000\nends before it starts\n\n"
      "only text, no timings\n\n"
      "00:05.000 --> 00:06.000\nkept\n\n"
      "NOTES are not notes\n\n");
  ASSERT_TRUE(result.valid);
  ASSERT_EQ(result.track.count(), 1u);
  EXPECT_EQ(result.track[0].english(), "kept");
  // The misspelt arrow, the backward cue, the lone text and "NOTES".
  EXPECT_EQ(result.skippedBlocks, 4u);
}

TEST(WebVTTTest, ACueMayFollowAnotherWithoutABlankLineAndEndTheHeader) {
  auto result = parseWebVTT(
      "WEBVTT\n"
      "00:01.000 --> 00:02.000\n"
      "first\n"
      "00:02.000 --> 00:03.000\n"
      "second\n");
  ASSERT_EQ(result.track.count(), 2u);
  EXPECT_EQ(result.track[0].lines, std::vector<std::string>{"first"});
  EXPECT_EQ(result.track[1].english(), "second");
}

TEST(WebVTTTest, MarkupIsDroppedAndReferencesDecoded) {
  auto result = parseWebVTT(
      "WEBVTT\n\n00:01.000 --> 00:02.000\n"
      "<v Orvel>Fish &amp; chips, <i>please</i>&nbsp;&lt;3 &bogus; &#x4E2D;&#25991;\n"
      "<c.zh>炸鱼<00:01.500>薯条</c>\n"
      "left <open\n");
  ASSERT_EQ(result.track.count(), 1u);
  EXPECT_EQ(result.track[0].english(), "Fish & chips, please\u00A0<3 &bogus; 中文");
  EXPECT_EQ(result.track[0].lines[1], "炸鱼薯条");
  EXPECT_EQ(result.track[0].lines[2], "left");
}

TEST(WebVTTTest, FilesThatAreNotWebVTTGiveNoCues) {
  for (const char* text : {"", "WEBVTTX\n\n00:01.000 --> 00:02.000\nx\n", "webvtt\n",
                           "1\n00:00:01,000 --> 00:00:02,000\nan SRT file\n", "<html>404</html>",
                           "\xEF\xBB\xBF\xEF\xBB\xBFWEBVTT\n"}) {
    auto result = parseWebVTT(text);
    EXPECT_FALSE(result.valid) << text;
    EXPECT_TRUE(result.track.empty());
    EXPECT_FALSE(result.problem.empty());
  }
  // The signature alone, or with a tab, is a file with no cues.
  EXPECT_TRUE(parseWebVTT("WEBVTT").valid);
  EXPECT_TRUE(parseWebVTT("WEBVTT\tcomment\n").valid);
}

TEST(WebVTTTest, BrokenBytesNeverCrashAndNulsAreReplaced) {
  std::string text = "WEBVTT\n\n00:01.000 --> 00:02.000\nA";
  text += '\0';
  text += "B\n\n00:0";  // cut off inside a timestamp
  auto result = parseWebVTT(text);
  ASSERT_EQ(result.track.count(), 1u);
  EXPECT_EQ(result.track[0].english(), "A\uFFFDB");
  // Every prefix of a file is read without fault.
  std::string full = "WEBVTT\r\n\r\nid\r\n01:00:01.000 --> 01:00:02.000 a:b\r\n<b>x</b>&amp;\r\n";
  for (std::size_t n = 0; n <= full.size(); ++n) (void)parseWebVTT(full.substr(0, n));
}

TEST(WebVTTTest, CuesAreKeptInTimeOrderAndFoundByTime) {
  auto result = parseWebVTT(
      "WEBVTT\n\n"
      "00:05.000 --> 00:07.000\nthird\n\n"
      "00:01.000 --> 00:02.000\nfirst\n\n"
      "00:03.000 --> 00:04.000\nsecond\n");
  const CaptionTrack& track = result.track;
  ASSERT_EQ(track.count(), 3u);
  EXPECT_EQ(track[0].english(), "first");
  EXPECT_EQ(track[2].english(), "third");
  EXPECT_EQ(track.lineIndexAt(0.5), CaptionTrack::npos);
  EXPECT_EQ(track.activeIndexAt(0.5), CaptionTrack::npos);
  EXPECT_EQ(track.lineIndexAt(1.0), 0u);
  EXPECT_EQ(track.activeIndexAt(1.999), 0u);
  // In the gap after a line the learner is still on it, but nothing is spoken.
  EXPECT_EQ(track.lineIndexAt(2.5), 0u);
  EXPECT_EQ(track.activeIndexAt(2.5), CaptionTrack::npos);
  EXPECT_EQ(track.activeIndexAt(2.0), CaptionTrack::npos) << "the end time is not inside";
  EXPECT_EQ(track.activeIndexAt(6.0), 2u);
  EXPECT_EQ(track.lineIndexAt(100), 2u);
}

TEST(WebVTTTest, ThousandsOfCuesAreReadWhole) {
  std::string text = "WEBVTT\n\n";
  const int kCues = 20000;
  for (int i = 0; i < kCues; ++i) {
    int ms = i * 1000;
    char block[160];
    std::snprintf(block, sizeof block,
                  "c%d\n%02d:%02d:%02d.%03d --> %02d:%02d:%02d.500\nline %d\n第%d行\n\n", i,
                  ms / 3600000, ms / 60000 % 60, ms / 1000 % 60, 0, ms / 3600000, ms / 60000 % 60,
                  ms / 1000 % 60, i, i);
    text += block;
  }
  auto result = parseWebVTT(text);
  ASSERT_EQ(result.track.count(), std::size_t(kCues));
  EXPECT_EQ(result.skippedBlocks, 0u);
  EXPECT_EQ(result.track[12345].english(), "line 12345");
  EXPECT_DOUBLE_EQ(result.track[12345].startSeconds, 12345);
  EXPECT_DOUBLE_EQ(result.track[12345].endSeconds, 12345.5);
  EXPECT_EQ(result.track.lineIndexAt(19999.7), 19999u);
  EXPECT_EQ(result.track.activeIndexAt(19999.7), CaptionTrack::npos);
}

}  // namespace
}  // namespace lorvane
