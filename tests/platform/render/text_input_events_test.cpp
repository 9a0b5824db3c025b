// Typing as the desktop delivers it: SDL's key, text and composition
// events through the display's event handling into the text field being
// edited, in the headless build and in a window (SDL's dummy video driver)
// whose events come from SDL's own queue and whose clipboard is SDL's.

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/foundation/clock.h"
#include "platform/foundation/run_loop.h"
#include "platform/render/display.h"
#include "platform/render/scripted_events.h"
#include "platform/ui/application.h"
#include "platform/ui/pasteboard.h"
#include "platform/ui/screen.h"
#include "platform/ui/text_field.h"
#include "platform/ui/text_view.h"

namespace lorvane {
namespace {

class TextInputEventsTest : public ::testing::Test {
 protected:
  void open(bool headless) {
    clock = std::make_unique<ScopedManualClock>();
    Screen::mainScreen().reset();
    Device::currentDevice().reset();
    Application::sharedApplication().reset();
    Application::sharedApplication().setStatusBarHidden(true);
    if (!headless) setenv("SDL_VIDEODRIVER", "dummy", 1);
    std::string error;
    display = Display::create({.headless = headless, .scale = 1}, &error);
    ASSERT_TRUE(display) << error;
    ASSERT_EQ(display->isHeadless(), headless);
    window = std::make_shared<Window>();
    window->setBackgroundColor(Color::whiteColor());
    window->makeKeyAndVisible();
    field = View::make<TextField>(Rect{10, 100, 300, 30});
    field->setFont(Font::systemFontOfSize(15));
    window->addSubview(field);
    window->layoutIfNeeded();
  }
  void TearDown() override {
    field.reset();
    window.reset();
    display.reset();
    RunLoop::main().advance(10);
    Device::currentDevice().reset();
    Application::sharedApplication().reset();
    clock.reset();
    Pasteboard::generalPasteboard().setBackend({});
  }
  void send(const SDL_Event& e) { display->dispatchEvent(e); }
  void key(SDL_Keycode code, Uint16 modifiers = KMOD_NONE) {
    send(keyEvent(code, true, modifiers));
    send(keyEvent(code, false, modifiers));
  }
  void tapField() {
    display->injectTouchDown({50, 115});
    display->injectTouchUp({50, 115});
  }
  bool landscape() const {
    return Device::currentDevice().orientation() == DeviceOrientation::LandscapeLeft;
  }

  std::unique_ptr<ScopedManualClock> clock;
  std::unique_ptr<Display> display;
  std::shared_ptr<Window> window;
  std::shared_ptr<TextField> field;
};

TEST_F(TextInputEventsTest, KeysTurnTheDeviceUntilAFieldIsEdited) {
  open(true);
  key(SDLK_r);
  EXPECT_TRUE(landscape());
  key(SDLK_r);
  EXPECT_FALSE(landscape());
  send(textInputEvents("ignored")[0]);  // nothing is being edited
  EXPECT_EQ(field->text(), "");

  tapField();
  ASSERT_TRUE(field->isEditing());
  key(SDLK_r);
  key(SDLK_LEFT);
  EXPECT_FALSE(landscape());
  for (const SDL_Event& e : textInputEvents("rotate")) send(e);
  key(SDLK_LEFT);
  key(SDLK_LEFT, KMOD_LSHIFT);
  key(SDLK_BACKSPACE);
  EXPECT_EQ(field->text(), "rotae");  // the second "t" was selected and went
  key(SDLK_HOME);
  key(SDLK_DELETE);
  key(SDLK_END);
  for (const SDL_Event& e : textInputEvents("!")) send(e);
  EXPECT_EQ(field->text(), "otae!");
  key(SDLK_RETURN);
  EXPECT_FALSE(field->isEditing());
  key(SDLK_r);
  EXPECT_TRUE(landscape());
}

TEST_F(TextInputEventsTest, CompositionThenCommitAndTheEditMenu) {
  open(true);
  tapField();
  for (const SDL_Event& e : textInputEvents("Hi ")) send(e);
  send(textEditingEvent("n", 1));
  send(textEditingEvent("ni", 2));
  send(textEditingEvent("ni h", 4));
  EXPECT_EQ(field->text(), "Hi ni h");
  key(SDLK_BACKSPACE);  // the input method's own, not ours
  EXPECT_EQ(field->text(), "Hi ni h");
  send(textEditingEvent("", 0));
  send(textInputEvents("你好")[0]);
  EXPECT_EQ(field->text(), "Hi 你好");
  EXPECT_FALSE(field->hasMarkedText());

  // A long composition arrives on the heap, which the handler frees.
  SDL_Event ext{};
  ext.type = SDL_TEXTEDITING_EXT;
  ext.editExt.text = SDL_strdup("zhong hua ren min gong he guo wan sui");
  ext.editExt.start = 3;
  send(ext);
  EXPECT_EQ(field->text(), "Hi 你好zhong hua ren min gong he guo wan sui");
  send(textInputEvents("中华")[0]);
  EXPECT_EQ(field->text(), "Hi 你好中华");

  key(SDLK_a, KMOD_LCTRL);
  key(SDLK_c, KMOD_LCTRL);
  EXPECT_EQ(Pasteboard::generalPasteboard().string(), "Hi 你好中华");
  key(SDLK_END);
  key(SDLK_v, KMOD_LGUI);
  EXPECT_EQ(field->text(), "Hi 你好中华Hi 你好中华");
  key(SDLK_LEFT, KMOD_LSHIFT);
  key(SDLK_x, KMOD_RCTRL);
  EXPECT_EQ(Pasteboard::generalPasteboard().string(), "华");
  EXPECT_EQ(field->text(), "Hi 你好中华Hi 你好中");
}

TEST(ScriptedEvents, LongTextComesInWholeCharacters) {
  std::string text;
  for (int i = 0; i < 25; ++i) text += "汉";  // 75 bytes
  text += "ok";
  auto events = textInputEvents(text);
  ASSERT_EQ(events.size(), 3u);
  std::string joined;
  for (std::size_t i = 0; i < events.size(); ++i) {
    std::string piece = events[i].text.text;
    EXPECT_LT(piece.size(), std::size_t(SDL_TEXTINPUTEVENT_TEXT_SIZE));
    if (i + 1 < events.size()) {
      EXPECT_EQ(piece.size() % 3, 0u) << "a character was cut";
    }
    joined += piece;
  }
  EXPECT_EQ(joined, text);
  EXPECT_EQ(std::string(events[0].text.text).size(), 30u);  // ten characters, not 31 bytes
  EXPECT_TRUE(textInputEvents("").empty());
  EXPECT_FALSE(keycodeNamed("fly"));
  EXPECT_EQ(keycodeNamed("backspace"), SDLK_BACKSPACE);
}

TEST_F(TextInputEventsTest, TheCaretIsDrawn) {
  open(true);
  tapField();
  for (const SDL_Event& e : textInputEvents("写")) send(e);
  display->drawFrame();
  Rect caret = field->caretRectInWindow();
  auto pixel = display->pixelAt(int(caret.midX()), int(caret.midY()));
  ASSERT_TRUE(pixel);
  const Color blue = EditingMarks::caretColor();
  EXPECT_NEAR(pixel->red, blue.red, 0.05);
  EXPECT_NEAR(pixel->green, blue.green, 0.05);
  EXPECT_NEAR(pixel->blue, blue.blue, 0.05);
  window->touchDown({200, 400});
  window->touchUp({200, 400});
  display->drawFrame();
  pixel = display->pixelAt(int(caret.midX()), int(caret.midY()));
  ASSERT_TRUE(pixel);
  EXPECT_GT(pixel->red, 0.9);  // white again
}

TEST_F(TextInputEventsTest, AWindowTakesTextOnlyWhileEditingAndSharesTheDesktopClipboard) {
  open(false);
  display->runOnce(0);
  EXPECT_FALSE(SDL_IsTextInputActive());

  auto push = [](SDL_Event e) { ASSERT_EQ(SDL_PushEvent(&e), 1) << SDL_GetError(); };
  auto click = [&](int x, int y) {
    SDL_Event e{};
    e.type = SDL_MOUSEBUTTONDOWN;
    e.button.button = SDL_BUTTON_LEFT;
    e.button.x = x;
    e.button.y = y;
    push(e);
    e.type = SDL_MOUSEBUTTONUP;
    push(e);
  };
  click(50, 115);
  display->runOnce(0);
  ASSERT_TRUE(field->isEditing());
  display->runOnce(0);
  EXPECT_TRUE(SDL_IsTextInputActive());

  // SDL's queue, as a keyboard and an input method fill it.
  push(textEditingEvent("ke", 2));
  push(textEditingEvent("", 0));
  push(textInputEvents("课")[0]);
  push(textInputEvents(" one")[0]);
  display->runOnce(0);
  EXPECT_EQ(field->text(), "课 one");

  ASSERT_EQ(SDL_SetClipboardText("粘贴"), 0) << SDL_GetError();
  push(keyEvent(SDLK_v, true, KMOD_LCTRL));
  push(keyEvent(SDLK_a, true, KMOD_LCTRL));
  push(keyEvent(SDLK_c, true, KMOD_LCTRL));
  display->runOnce(0);
  EXPECT_EQ(field->text(), "课 one粘贴");
  char* copied = SDL_GetClipboardText();
  EXPECT_STREQ(copied, "课 one粘贴");
  SDL_free(copied);

  click(200, 400);
  display->runOnce(0);
  EXPECT_FALSE(field->isEditing());
  display->runOnce(0);
  EXPECT_FALSE(SDL_IsTextInputActive());
}

}  // namespace
}  // namespace lorvane
