// The editing model on its own: character boundaries over multi-byte and
// combined characters, the caret, backspace and delete, composition and
// the clipboard.

#include <gtest/gtest.h>

#include <string>

#include "platform/ui/font.h"
#include "platform/ui/grapheme.h"
#include "platform/ui/pasteboard.h"
#include "platform/ui/text_editor.h"

namespace lorvane {
namespace {

const std::string kFamily =
    "\U0001F468\u200D\U0001F469\u200D\U0001F467";  // 18 bytes, one character
const std::string kAccented = "e\u0301";           // e + combining acute
const std::string kFlag = "\U0001F1E8\U0001F1F3";  // two regional indicators

TEST(CharacterBoundaries, StepOverWholeCharactersAndClusters) {
  const std::string text = "a好" + kFamily + kAccented + kFlag + "é";
  // a(1) 好(3) family(18) e+acute(3) flag(8) é(2)
  std::vector<std::size_t> forward;
  for (std::size_t at = 0; at < text.size(); at = nextCharacterBoundary(text, at))
    forward.push_back(at);
  EXPECT_EQ(forward, (std::vector<std::size_t>{0, 1, 4, 22, 25, 33}));
  EXPECT_EQ(nextCharacterBoundary(text, 33), text.size());
  EXPECT_EQ(nextCharacterBoundary(text, text.size()), text.size());

  std::vector<std::size_t> backward;
  for (std::size_t at = text.size(); at > 0;) {
    at = previousCharacterBoundary(text, at);
    backward.push_back(at);
  }
  EXPECT_EQ(backward, (std::vector<std::size_t>{33, 25, 22, 4, 1, 0}));

  // Offsets inside a character fall back to its start.
  EXPECT_EQ(characterBoundaryAtOrBefore(text, 2), 1u);
  EXPECT_EQ(characterBoundaryAtOrBefore(text, 10), 4u);
  EXPECT_EQ(characterBoundaryAtOrBefore(text, 23), 22u);
  EXPECT_EQ(characterBoundaryAtOrBefore(text, 4), 4u);
  EXPECT_EQ(characterBoundaryAtOrBefore(text, 999), text.size());
  EXPECT_EQ(codePointStart("好", 2), 0u);
}

TEST(CharacterBoundaries, BrokenBytesAreCharactersOfTheirOwn) {
  const std::string text = "a\x80\xE5z";
  std::size_t steps = 0;
  for (std::size_t at = 0; at < text.size(); at = nextCharacterBoundary(text, at)) {
    ASSERT_LT(steps++, text.size());  // always moves on
  }
  EXPECT_EQ(previousCharacterBoundary(text, text.size()), 3u);
}

TEST(TextEditorTest, CaretAndBackspaceOverMultiByteCharacters) {
  TextEditor editor(false);
  editor.setText("ab好" + kFamily + "c");
  EXPECT_EQ(editor.caret(), editor.text().size());
  editor.moveLeft();
  EXPECT_EQ(editor.caret(), 23u);  // before "c"
  editor.moveLeft();
  EXPECT_EQ(editor.caret(), 5u);  // before the family, never inside it
  EXPECT_TRUE(editor.deleteBackward());
  EXPECT_EQ(editor.text(), "ab" + kFamily + "c");
  EXPECT_EQ(editor.caret(), 2u);
  EXPECT_TRUE(editor.deleteForward());
  EXPECT_EQ(editor.text(), "abc");
  editor.moveCaretTo(0);
  EXPECT_FALSE(editor.deleteBackward());
  editor.moveCaretTo(editor.text().size());
  EXPECT_FALSE(editor.deleteForward());

  // A caret asked for inside a character lands before it.
  editor.setText("一二三");
  editor.moveCaretTo(4);
  EXPECT_EQ(editor.caret(), 3u);
  editor.insertText("x");
  EXPECT_EQ(editor.text(), "一x二三");

  editor.setText("caf" + kAccented);
  EXPECT_TRUE(editor.deleteBackward());
  EXPECT_EQ(editor.text(), "caf");
}

TEST(TextEditorTest, SelectionIsReplacedAndCollapsesWithArrows) {
  TextEditor editor(false);
  editor.setText("你好世界");
  editor.setSelection(3, 10);  // 10 is inside 界: snaps to 9
  EXPECT_EQ(editor.selectedRange(), (TextRange{3, 6}));
  EXPECT_EQ(editor.selectedText(), "好世");
  editor.moveRight();
  EXPECT_FALSE(editor.hasSelection());
  EXPECT_EQ(editor.caret(), 9u);
  editor.moveLeft(true);
  editor.moveLeft(true);
  EXPECT_EQ(editor.selectedText(), "好世");
  editor.moveLeft();
  EXPECT_EQ(editor.caret(), 3u);
  editor.selectAll();
  EXPECT_TRUE(editor.insertText("hi"));
  EXPECT_EQ(editor.text(), "hi");
  editor.selectAll();
  EXPECT_TRUE(editor.deleteBackward());
  EXPECT_EQ(editor.text(), "");
}

TEST(TextEditorTest, CompositionIsReplacedUntilCommitted) {
  TextEditor editor(false);
  editor.setText("我说");
  // Pinyin grows in the input method, then the chosen characters come.
  EXPECT_TRUE(editor.setMarkedText("n", 1));
  EXPECT_TRUE(editor.setMarkedText("ni", 2));
  EXPECT_TRUE(editor.setMarkedText("ni h", 4));
  EXPECT_EQ(editor.text(), "我说ni h");
  EXPECT_EQ(editor.markedRange(), (TextRange{6, 4}));
  EXPECT_EQ(editor.caret(), 10u);
  EXPECT_TRUE(editor.setMarkedText("你好", 1));  // cursor one character in
  EXPECT_EQ(editor.caret(), 9u);
  // Commit first, then the input method clears its (now empty) composition.
  EXPECT_TRUE(editor.insertText("你好"));
  EXPECT_FALSE(editor.hasMarkedText());
  EXPECT_FALSE(editor.setMarkedText("", 0));
  EXPECT_EQ(editor.text(), "我说你好");
  EXPECT_EQ(editor.caret(), editor.text().size());

  // The other order: the composition is cleared, then the text comes.
  editor.setMarkedText("shi", 3);
  EXPECT_TRUE(editor.setMarkedText("", 0));
  EXPECT_EQ(editor.text(), "我说你好");
  editor.insertText("是");
  EXPECT_EQ(editor.text(), "我说你好是");

  // A composition typed over a selection replaces it; unmarking keeps it.
  editor.setSelection(0, 3);
  editor.setMarkedText("ta", 2);
  EXPECT_EQ(editor.text(), "ta说你好是");
  editor.unmarkText();
  EXPECT_FALSE(editor.hasMarkedText());
  EXPECT_EQ(editor.text(), "ta说你好是");
}

TEST(TextEditorTest, OneLineKeepsNoBreaksAndNoControlCharacters) {
  TextEditor line(true);
  line.setText(
      "a\r\nb\nc\td\x01"
      "e\x7F");
  EXPECT_EQ(line.text(), "a b c de");
  TextEditor lines(false);
  lines.setText("a\r\nb\rc\td\x1B");
  EXPECT_EQ(lines.text(), "a\nb\nc\td");
  // Broken UTF-8 becomes replacement characters, so offsets stay sound.
  lines.setText("x\xFFy");
  EXPECT_EQ(lines.text(), "x\uFFFDy");
}

TEST(TextEditorTest, CopyCutAndPasteThroughThePasteboard) {
  Pasteboard& board = Pasteboard::generalPasteboard();
  std::optional<std::string> desktop;
  board.setBackend({[&] { return desktop; }, [&](const std::string& s) { desktop = s; }});
  TextEditor editor(true);
  editor.setText("复制 this");
  editor.copy();  // nothing selected: the clipboard is left alone
  EXPECT_FALSE(desktop);
  editor.setSelection(0, 6);
  editor.copy();
  EXPECT_EQ(desktop, "复制");
  editor.moveCaretTo(editor.text().size());
  EXPECT_TRUE(editor.paste());
  EXPECT_EQ(editor.text(), "复制 this复制");
  desktop = "two\nlines";
  EXPECT_TRUE(editor.paste());
  EXPECT_EQ(editor.text(), "复制 this复制two lines");
  editor.setSelection(0, 7);
  EXPECT_TRUE(editor.cut());
  EXPECT_EQ(desktop, "复制 ");
  EXPECT_EQ(editor.text(), "this复制two lines");
  desktop.reset();
  EXPECT_FALSE(editor.paste());

  // Without a desktop clipboard the text stays in the process.
  board.setBackend({});
  board.setString("内部");
  EXPECT_TRUE(editor.paste());
  EXPECT_EQ(editor.text(), "内部this复制two lines");  // at the caret, where the cut was
}

TEST(TextLayoutOffsets, LinesKnowWhichBytesTheyShow) {
  FontBackend::install(nullptr);  // 5 points a narrow character at size 10
  const Font font = Font::systemFontOfSize(10);
  const std::string text = "one two three\n\n好\tx";
  TextLayout layout = layoutText(text, font, 50, 0, LineBreakMode::WordWrap);
  ASSERT_EQ(layout.lines.size(), 4u);
  EXPECT_EQ(layout.lines[0].text, "one two");
  EXPECT_EQ(layout.lines[0].sourceBegin, 0u);
  EXPECT_EQ(layout.lines[0].sourceEnd, 8u);  // the space dropped at the wrap is the line's
  EXPECT_EQ(layout.lines[1].sourceBegin, 8u);
  EXPECT_EQ(layout.lines[1].sourceEnd, 13u);  // up to the line break
  EXPECT_EQ(layout.lines[2].sourceBegin, 14u);
  EXPECT_EQ(layout.lines[2].sourceEnd, 14u);  // the empty line between
  EXPECT_EQ(layout.lines[3].sourceBegin, 15u);
  EXPECT_EQ(layout.lines[3].sourceEnd, text.size());
  // A tab stands for four spaces, a wide character for a whole em.
  EXPECT_DOUBLE_EQ(caretPositionInLine(text, layout.lines[3], 18, font), 10);
  EXPECT_DOUBLE_EQ(caretPositionInLine(text, layout.lines[3], 19, font), 30);
  EXPECT_DOUBLE_EQ(caretPositionInLine(text, layout.lines[3], 0, font), 0);  // clamped
  EXPECT_DOUBLE_EQ(caretPositionInLine(text, layout.lines[0], 3, font), 15);
}

}  // namespace
}  // namespace lorvane
