#include <gtest/gtest.h>

#include "platform/ui/font.h"
#include "platform/ui/label.h"
#include "ui_test_support.h"

namespace lorvane {
namespace {

// The fixed metric: ASCII half the size wide, CJK the full size, lines 1.2 em.
class TextTest : public testing::UiTest {};

TEST_F(TextTest, MeasuresMixedText) {
  Font f = Font::systemFontOfSize(10);
  EXPECT_EQ(measureTextWidth("abcd", f), 20);
  EXPECT_EQ(measureTextWidth("潮话题", f), 30);
  EXPECT_EQ(sizeWithFont("ab潮", f), (Size{20, 12}));
  EXPECT_EQ(f.lineHeight(), 12);
}

TEST_F(TextTest, WordWrapBreaksBetweenWordsAndAroundChinese) {
  Font f = Font::systemFontOfSize(10);
  auto layout = layoutText("hello world again", f, 50, 0, LineBreakMode::WordWrap);
  ASSERT_EQ(layout.lines.size(), 3u);
  EXPECT_EQ(layout.lines[0].text, "hello");
  EXPECT_EQ(layout.lines[1].text, "world");
  EXPECT_EQ(layout.lines[2].text, "again");
  // A closing mark never starts a line; the character before it moves down too.
  auto marks = layoutText("一二三，四", f, 30, 0, LineBreakMode::WordWrap);
  ASSERT_EQ(marks.lines.size(), 2u);
  EXPECT_EQ(marks.lines[1].text, "三，四");
  auto cjk = layoutText("一二三四五六七", f, 30, 0, LineBreakMode::WordWrap);
  ASSERT_EQ(cjk.lines.size(), 3u);
  EXPECT_EQ(cjk.lines[2].text, "七");
  // A word longer than the line is cut by characters.
  auto longWord = layoutText("abcdefghij", f, 20, 0, LineBreakMode::WordWrap);
  ASSERT_EQ(longWord.lines.size(), 3u);
  EXPECT_EQ(longWord.lines[0].text, "abcd");
  // Explicit newlines always break.
  EXPECT_EQ(layoutText("a\nb", f, 0, 0, LineBreakMode::WordWrap).lines.size(), 2u);
  EXPECT_EQ(layoutText("a\n\nb", f, 0, 0, LineBreakMode::WordWrap).lines.size(), 3u);
  // Clipping keeps the whole last line for drawing to cut.
  EXPECT_EQ(layoutText("abcdefgh", f, 20, 1, LineBreakMode::Clip).lines[0].text, "abcdefgh");
}

TEST_F(TextTest, HeightNeededWithinAWidth) {
  Font f = Font::systemFontOfSize(10);
  EXPECT_EQ(sizeWithFont("hello world again", f, 50).height, 36);
  EXPECT_EQ(sizeWithFont("hello world again", f, 1000).height, 12);
  EXPECT_EQ(sizeWithFont("", f, 60).height, 0);
}

TEST_F(TextTest, TruncationMarksWhatIsCut) {
  Font f = Font::systemFontOfSize(10);
  auto tail = layoutText("abcdefghij", f, 30, 1, LineBreakMode::TruncateTail);
  ASSERT_EQ(tail.lines.size(), 1u);
  EXPECT_EQ(tail.lines[0].text, "abcde\u2026");
  EXPECT_LE(tail.lines[0].width, 30);
  auto head = layoutText("abcdefghij", f, 30, 1, LineBreakMode::TruncateHead);
  EXPECT_EQ(head.lines[0].text, "\u2026fghij");
  auto middle = layoutText("abcdefghij", f, 30, 1, LineBreakMode::TruncateMiddle);
  EXPECT_EQ(middle.lines[0].text, "abc\u2026ij");
  // Two lines, word wrapped, the second truncated.
  auto two = layoutText("one two three four five", f, 50, 2, LineBreakMode::TruncateTail);
  ASSERT_EQ(two.lines.size(), 2u);
  EXPECT_EQ(two.lines[0].text, "one two");
  EXPECT_TRUE(two.lines[1].text.ends_with("\u2026"));
  // Text that fits is left alone.
  EXPECT_EQ(layoutText("abc", f, 30, 1, LineBreakMode::TruncateTail).lines[0].text, "abc");
}

TEST_F(TextTest, ControlCharactersNeverReachTheFont) {
  Font f = Font::systemFontOfSize(10);
  auto tabbed = layoutText("\tab", f, 0, 0, LineBreakMode::WordWrap);
  ASSERT_EQ(tabbed.lines.size(), 1u);
  EXPECT_EQ(tabbed.lines[0].text, "    ab");
  EXPECT_EQ(tabbed.lines[0].width, 30);
  auto windows = layoutText("one\r\ntwo\rthree\x07", f, 0, 0, LineBreakMode::WordWrap);
  ASSERT_EQ(windows.lines.size(), 3u);
  EXPECT_EQ(windows.lines[0].text, "one");
  EXPECT_EQ(windows.lines[1].text, "two");
  EXPECT_EQ(windows.lines[2].text, "three");
}

TEST_F(TextTest, BrokenUtf8NeverCrashesLayout) {
  Font f = Font::systemFontOfSize(10);
  std::string bad = "ab\xE6\xBD";  // a cut-off three-byte character
  auto layout = layoutText(bad, f, 0, 1, LineBreakMode::TruncateTail);
  ASSERT_EQ(layout.lines.size(), 1u);
  EXPECT_EQ(decodeUtf8(bad).size(), 4u);
  EXPECT_EQ(encodeUtf8(decodeUtf8("潮流")), "潮流");
}

TEST_F(TextTest, LabelDrawsItsTextInItsColours) {
  auto label = std::make_shared<Label>(Rect{0, 0, 100, 20});
  label->setText("设置");
  label->setTextColor(Color::black());
  label->setHighlightedTextColor(Color::rgb255(222, 18, 104));
  ASSERT_TRUE(label->layer().textContent());
  EXPECT_EQ(label->layer().textContent()->color, Color::black());
  label->setHighlighted(true);
  EXPECT_EQ(label->layer().textContent()->color, Color::rgb255(222, 18, 104));
  label->setText("");
  EXPECT_FALSE(label->layer().textContent());
}

TEST_F(TextTest, LabelSizesAndShrinksToFit) {
  auto label = std::make_shared<Label>(Rect{0, 0, 40, 20});
  label->setFont(Font::systemFontOfSize(10));
  label->setText("abcdefghijklmnop");  // 80 points at size 10
  label->setAdjustsFontSizeToFitWidth(true);
  label->setMinimumScaleFactor(0.5);
  EXPECT_EQ(label->effectiveFont().pointSize, 5);
  label->setMinimumScaleFactor(0.8);
  EXPECT_EQ(label->effectiveFont().pointSize, 8);  // stops at the floor
  label->setAdjustsFontSizeToFitWidth(false);
  EXPECT_EQ(label->effectiveFont().pointSize, 10);
  label->setNumberOfLines(0);
  label->setLineBreakMode(LineBreakMode::WordWrap);
  label->setText("one two three");
  label->sizeToFit();
  // Several lines keep to the label's width.
  EXPECT_EQ(label->frame().size, (Size{35, 24}));
  EXPECT_EQ(label->sizeThatFits({30, 0}), (Size{25, 36}));
}

}  // namespace
}  // namespace lorvane
