// Text fields and text views as a person uses them: real touches through
// the window focus them and place the caret, a touch elsewhere ends
// editing, and the editing keys move along lines.

#include <gtest/gtest.h>

#include "platform/ui/button.h"
#include "platform/ui/text_field.h"
#include "platform/ui/text_view.h"
#include "ui_test_support.h"

namespace lorvane {
namespace {

class TextInputTest : public testing::UiTest {
 protected:
  std::shared_ptr<TextField> addField(Rect frame) {
    auto field = View::make<TextField>(frame);
    field->setFont(Font::systemFontOfSize(10));  // 5 points a narrow character
    window->addSubview(field);
    window->layoutIfNeeded();
    return field;
  }
};

struct EditingEvents : TextFieldDelegate {
  std::vector<std::string> seen;
  std::optional<bool> returns;
  void attach(TextField& field) {
    field.setDelegate(this);
    const std::pair<unsigned, const char*> events[] = {{ControlEventEditingDidBegin, "begin"},
                                                       {ControlEventEditingChanged, "changed"},
                                                       {ControlEventEditingDidEnd, "end"},
                                                       {ControlEventEditingDidEndOnExit, "exit"}};
    for (auto [event, name] : events) {
      field.addTarget(
          this, [this, name = std::string(name)](Control&) { seen.push_back(name); }, event);
    }
  }
  std::optional<bool> textFieldShouldReturn(TextField&) override { return returns; }
};

TEST_F(TextInputTest, ATapFocusesAndPlacesTheCaretATapElsewhereEnds) {
  auto field = addField({10, 100, 200, 30});
  EditingEvents events;
  events.attach(*field);
  field->setText("abcdef");
  EXPECT_FALSE(field->isEditing());
  EXPECT_FALSE(field->marks().caretView());

  // Text starts 6 points in: x 28 is 12 points into it, nearest to "ab|".
  tap({28, 115});
  EXPECT_TRUE(field->isEditing());
  EXPECT_EQ(TextInput::firstResponder(), field.get());
  EXPECT_EQ(field->editor().caret(), 2u);
  ASSERT_TRUE(field->marks().caretView());
  EXPECT_DOUBLE_EQ(field->marks().caretRect().x(), 10 - EditingMarks::kCaretWidth / 2);
  field->insertText("好");
  EXPECT_EQ(field->text(), "ab好cdef");
  // The caret moved on by the wide character's whole em.
  EXPECT_DOUBLE_EQ(field->marks().caretRect().x(), 20 - EditingMarks::kCaretWidth / 2);

  tap({300, 400});  // outside every view but the window
  EXPECT_FALSE(field->isEditing());
  EXPECT_FALSE(TextInput::firstResponder());
  EXPECT_FALSE(field->marks().caretView()->superview());
  EXPECT_EQ(events.seen, (std::vector<std::string>{"begin", "changed", "end"}));
}

TEST_F(TextInputTest, ReturnEndsAOneLineFieldUnlessTheDelegateSaysNo) {
  auto field = addField({10, 100, 200, 30});
  EditingEvents events;
  events.attach(*field);
  tap({50, 115});
  events.returns = false;
  field->keyDown(EditingKey::Return);
  EXPECT_TRUE(field->isEditing());
  EXPECT_EQ(field->text(), "");  // no line break in a one-line field
  events.returns = std::nullopt;
  field->keyDown(EditingKey::Return);
  EXPECT_FALSE(field->isEditing());
  EXPECT_EQ(events.seen, (std::vector<std::string>{"begin", "exit", "end"}));
}

TEST_F(TextInputTest, TabGoesOnToTheNextFieldAndEscapeEndsEditing) {
  auto subject = addField({10, 100, 200, 30});
  auto body = View::make<TextView>(Rect{10, 150, 200, 100});
  window->addSubview(body);
  auto readOnly = View::make<TextView>(Rect{10, 260, 200, 100});
  readOnly->setEditable(false);
  window->addSubview(readOnly);
  tap({50, 115});
  subject->keyDown(EditingKey::Tab);
  EXPECT_TRUE(body->isFirstResponder());
  EXPECT_FALSE(subject->isEditing());
  body->keyDown(EditingKey::Tab);  // a text view types its tab
  EXPECT_EQ(body->text(), "\t");
  body->keyDown(EditingKey::Escape);
  EXPECT_FALSE(TextInput::firstResponder());
  tap({50, 300});
  EXPECT_FALSE(readOnly->isFirstResponder());
}

TEST_F(TextInputTest, LongTextScrollsToKeepTheCaretInView) {
  auto field = addField({0, 100, 112, 30});  // 100 points for text
  tap({50, 115});
  field->insertText(std::string(40, 'x'));  // 200 points
  Rect caret = field->marks().caretRect();
  Rect inWindow = field->caretRectInWindow();
  EXPECT_LE(inWindow.maxX(), 106 + 1e-9);
  EXPECT_GE(inWindow.x(), 6 - 1e-9);
  EXPECT_NEAR(field->textLabel().frame().x(), -(200 + EditingMarks::kCaretWidth - 100), 1e-9);
  field->keyDown(EditingKey::Home);
  EXPECT_EQ(field->editor().caret(), 0u);
  EXPECT_DOUBLE_EQ(field->textLabel().frame().x(), 0);
  EXPECT_LT(field->marks().caretRect().x(), caret.x());
  field->keyDown(EditingKey::End, true);
  EXPECT_EQ(field->editor().selectedText(), std::string(40, 'x'));
  EXPECT_EQ(field->marks().selectionRectCount(), 1u);
  // At rest the field ends its text in an ellipsis again.
  field->resignFirstResponder();
  EXPECT_EQ(field->textLabel().lineBreakMode(), LineBreakMode::TruncateTail);
}

TEST_F(TextInputTest, PlaceholderShowsOnlyWhileThereIsNoText) {
  auto field = addField({10, 100, 200, 30});
  field->setPlaceholder("主题");
  EXPECT_FALSE(field->placeholderLabel().isHidden());
  tap({50, 115});
  field->setMarkedText("zhu", 3);
  EXPECT_TRUE(field->placeholderLabel().isHidden());
  EXPECT_EQ(field->marks().markedUnderlineCount(), 1u);
  field->setMarkedText("", 0);
  EXPECT_FALSE(field->placeholderLabel().isHidden());
}

TEST_F(TextInputTest, KeysWaitWhileTheInputMethodComposes) {
  auto field = addField({10, 100, 200, 30});
  tap({50, 115});
  field->insertText("ab");
  field->setMarkedText("ni", 2);
  field->keyDown(EditingKey::Backspace);
  field->keyDown(EditingKey::Left);
  field->perform(EditingCommand::SelectAll);
  EXPECT_EQ(field->text(), "abni");
  EXPECT_EQ(field->editor().caret(), 4u);
  // Leaving the field keeps what was being composed.
  tap({300, 400});
  EXPECT_FALSE(field->hasMarkedText());
  EXPECT_EQ(field->text(), "abni");
}

TEST_F(TextInputTest, AButtonTapEndsEditingBeforeItsAction) {
  auto field = addField({10, 100, 200, 30});
  auto send = Button::buttonWithType(ButtonType::Custom);
  send->setFrame({10, 200, 100, 40});
  window->addSubview(send);
  bool editingWhenSent = true;
  send->addTarget(
      this, [&](Control&) { editingWhenSent = field->isEditing(); }, ControlEventTouchUpInside);
  tap({50, 115});
  field->setMarkedText("好", 1);
  tap({50, 220});
  EXPECT_FALSE(editingWhenSent);
  EXPECT_EQ(field->text(), "好");
}

TEST_F(TextInputTest, FocusEndsWhenTheViewLeavesOrGoes) {
  auto field = addField({10, 100, 200, 30});
  tap({50, 115});
  ASSERT_TRUE(field->isEditing());
  field->removeFromSuperview();
  EXPECT_FALSE(TextInput::firstResponder());
  EXPECT_FALSE(field->becomeFirstResponder());  // not in a window

  auto other = addField({10, 100, 200, 30});
  tap({50, 115});
  ASSERT_TRUE(other->isEditing());
  other->removeFromSuperview();
  other.reset();
  EXPECT_FALSE(TextInput::firstResponder());
}

TEST_F(TextInputTest, TextViewMovesAlongAndBetweenWrappedLines) {
  auto view = View::make<TextView>(Rect{0, 0, 110, 200});  // 100 points for text
  view->setFont(Font::systemFontOfSize(10));
  window->addSubview(view);
  view->setText("one two three four five six");  // "one two three four" / "five six"
  window->layoutIfNeeded();
  tap({5 + 22, 8 + 3});  // between "one " and "two"? 22 points in: nearest "one |two" at 20
  ASSERT_TRUE(view->isFirstResponder());
  EXPECT_EQ(view->editor().caret(), 4u);
  view->keyDown(EditingKey::End);
  EXPECT_EQ(view->editor().caret(), 18u);  // end of "four", before the space of the wrap
  view->keyDown(EditingKey::Down);
  EXPECT_EQ(view->editor().caret(), view->text().size());  // "five six" is shorter
  view->keyDown(EditingKey::Home);
  EXPECT_EQ(view->editor().caret(), 19u);
  view->keyDown(EditingKey::Up);
  EXPECT_EQ(view->editor().caret(), 0u);
  view->keyDown(EditingKey::End);
  view->keyDown(EditingKey::Down);
  view->keyDown(EditingKey::Return);
  EXPECT_EQ(view->text(), "one two three four five six\n");
  // The caret stands on the new empty line.
  EXPECT_DOUBLE_EQ(view->marks().caretRect().y(), 8 + 2 * 12);
  EXPECT_DOUBLE_EQ(view->marks().caretRect().x(), 5 - EditingMarks::kCaretWidth / 2);
  view->perform(EditingCommand::SelectAll);
  EXPECT_EQ(view->marks().selectionRectCount(), 2u);  // the empty line shows nothing
  EXPECT_TRUE(view->marks().caretView()->isHidden());
}

TEST_F(TextInputTest, TypingAtTheBottomScrollsTheCaretIntoView) {
  auto view = View::make<TextView>(Rect{0, 0, 110, 50});
  view->setFont(Font::systemFontOfSize(10));
  window->addSubview(view);
  tap({50, 20});
  for (int i = 0; i < 8; ++i) {
    view->insertText("line");
    view->keyDown(EditingKey::Return);
  }
  Rect caret = view->marks().caretRect();
  EXPECT_GE(caret.y(), view->contentOffset().y);
  EXPECT_LE(caret.maxY(), view->contentOffset().y + view->bounds().height());
  EXPECT_GT(view->contentOffset().y, 0);
}

}  // namespace
}  // namespace lorvane
