// Feedback by mail as a person sends it: mouse clicks and keyboard, input
// method and clipboard events in SDL's queue of a window (SDL's dummy video
// driver) reach the composer through the display, and the message written
// to the outbox holds what was typed. Then the same with the real program
// playing the feedback tour headless.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/app_delegate.h"
#include "feeds/feeds_test_support.h"
#include "platform/render/display.h"
#include "platform/render/scripted_events.h"
#include "platform/services/mail_compose_view_controller.h"
#include "settings/setting_view_controller.h"
#include "support/mail/mail_message.h"

namespace lorvane {
namespace {

class FeedbackMailTest : public testing::AppScreenTest {
 protected:
  void SetUp() override {
    AppScreenTest::SetUp();
    startServer();
    AppConfiguration configuration = AppConfiguration::current();
    configuration.feedbackAddress = "feedback@lorvane.test";
    AppConfiguration::setCurrent(configuration);
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    std::string error;
    display = Display::create({.headless = false, .scale = 1}, &error);
    ASSERT_TRUE(display) << error;
    ASSERT_FALSE(display->isHeadless());
    delegate = std::make_shared<AppDelegate>();
    ASSERT_TRUE(Application::sharedApplication().launch(delegate));
    turn(1);
  }
  void tearDownScreens() override {
    delegate.reset();
    Application::sharedApplication().reset();
    CustomTarBar::sharedInstance()->setDelegate(nullptr);
    display.reset();
  }

  void push(SDL_Event e) { ASSERT_EQ(SDL_PushEvent(&e), 1) << SDL_GetError(); }
  void click(int x, int y) {
    SDL_Event e{};
    e.type = SDL_MOUSEBUTTONDOWN;
    e.button.button = SDL_BUTTON_LEFT;
    e.button.x = x;
    e.button.y = y;
    push(e);
    e.type = SDL_MOUSEBUTTONUP;
    push(e);
  }
  void type(const std::string& text) {
    for (const SDL_Event& e : textInputEvents(text)) push(e);
  }
  void key(SDL_Keycode code, Uint16 modifiers = KMOD_NONE) {
    push(keyEvent(code, true, modifiers));
    push(keyEvent(code, false, modifiers));
  }
  // Lets the window take its events and the app run for a while.
  void turn(double seconds = 0.05) {
    display->runOnce(0);
    advance(seconds);
    display->runOnce(0);
  }
  std::shared_ptr<MailComposeViewController> composer() const {
    auto settings = delegate->rootVC()->controllersArray()[3];
    return std::dynamic_pointer_cast<MailComposeViewController>(
        settings->presentedViewController());
  }

  std::unique_ptr<Display> display;
  std::shared_ptr<AppDelegate> delegate;
};

TEST_F(FeedbackMailTest, WhatIsTypedIsWhatIsSent) {
  click(278, 545);  // the settings tab
  turn(1);
  click(160, 41);  // "意见反馈"
  turn(1);
  auto page = composer();
  ASSERT_TRUE(page);
  // With the address given, the composer is ready for the message.
  EXPECT_TRUE(page->bodyView()->isFirstResponder());
  EXPECT_EQ(Application::sharedApplication().statusBarStyle(), StatusBarStyle::Default);
  EXPECT_TRUE(SDL_IsTextInputActive());

  click(150, 115);  // the subject
  turn();
  ASSERT_TRUE(page->subjectField()->isEditing());
  type("Lesson ");
  // Chinese through the input method: pinyin grows, then the choice is committed.
  push(textEditingEvent("k", 1));
  push(textEditingEvent("ke", 2));
  push(textEditingEvent("ke c", 4));
  push(textEditingEvent("ke cheng", 8));
  turn();
  EXPECT_EQ(page->subjectField()->text(), "Lesson ke cheng");
  EXPECT_TRUE(page->subjectField()->hasMarkedText());
  key(SDLK_BACKSPACE);  // the input method's, while it composes
  push(textEditingEvent("", 0));
  type("课程");
  type("反馈馈");
  key(SDLK_BACKSPACE);  // one whole character, three bytes
  key(SDLK_HOME);
  type("[");
  key(SDLK_END);
  type("]");
  turn();
  EXPECT_EQ(page->subjectField()->text(), "[Lesson 课程反馈]");

  key(SDLK_TAB);  // on to the message
  turn();
  ASSERT_TRUE(page->bodyView()->isFirstResponder());
  push(textEditingEvent("shi pin", 7));
  push(textEditingEvent("视频", 2));
  type("视频");
  push(textEditingEvent("", 0));
  type("很好，");
  key(SDLK_RETURN);
  ASSERT_EQ(SDL_SetClipboardText("谢谢！"), 0) << SDL_GetError();
  key(SDLK_v, KMOD_LCTRL);
  key(SDLK_LEFT);
  key(SDLK_LEFT);
  key(SDLK_LEFT, KMOD_LSHIFT);
  key(SDLK_x, KMOD_LCTRL);  // cut the first 谢
  turn();
  EXPECT_EQ(page->bodyView()->text(), "视频很好，\n谢！");
  char* cut = SDL_GetClipboardText();
  EXPECT_STREQ(cut, "谢");
  SDL_free(cut);

  click(285, 42);  // "发送"
  turn(0.5);
  auto alerts = AlertView::visibleAlerts();
  ASSERT_EQ(alerts.size(), 1u);
  EXPECT_EQ(alerts[0]->title(), "已发送");
  EXPECT_FALSE(TextInput::firstResponder());
  turn();
  EXPECT_FALSE(SDL_IsTextInputActive());
  EXPECT_EQ(Application::sharedApplication().statusBarStyle(), StatusBarStyle::LightContent);

  auto files = FileManager::defaultManager().contentsOfDirectory(
      MailComposeViewController::outboxDirectory());
  ASSERT_EQ(files.size(), 1u);
  auto written = FileManager::defaultManager().stringContentsAtPath(
      MailComposeViewController::outboxDirectory() + "/" + files[0]);
  ASSERT_TRUE(written);
  auto mail = testing::MailMessage::parse(*written);
  ASSERT_TRUE(mail) << *written;
  EXPECT_EQ(mail->headers["To"], "feedback@lorvane.test");
  EXPECT_EQ(mail->subject, "[Lesson 课程反馈]");
  EXPECT_EQ(mail->body, "视频很好，\n谢！");
}

// The program as a person starts it, playing the feedback tour.
TEST(FeedbackMailTour, TheProgramSendsWhatTheTourTypes) {
  namespace fs = std::filesystem;
  char pattern[] = "/tmp/lorvane-tour-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const fs::path folder = pattern;
  const std::string command = "cd '" + folder.string() + "' && LORVANE_HOME='" + folder.string() +
                              "/home' '" LORVANE_PROGRAM "' --headless --script '" +
                              LORVANE_SOURCE_DIR + "/demo/tours/feedback-mail.txt' >'" +
                              folder.string() + "/output.txt' 2>&1";
  const int status = std::system(command.c_str());
  std::ifstream output(folder / "output.txt");
  const std::string printed{std::istreambuf_iterator<char>(output), {}};
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << printed;

  const fs::path outbox = folder / "home/Documents/Outbox";
  std::vector<fs::path> messages;
  for (const auto& entry : fs::directory_iterator(outbox)) messages.push_back(entry.path());
  ASSERT_EQ(messages.size(), 1u);
  std::ifstream in(messages[0], std::ios::binary);
  const std::string written{std::istreambuf_iterator<char>(in), {}};
  auto mail = testing::MailMessage::parse(written);
  ASSERT_TRUE(mail) << written;
  EXPECT_EQ(mail->subject, "课程反馈 lesson feedback");
  EXPECT_EQ(mail->body, "视频很好，谢谢！\nThe slow speed helps a lot.");
  EXPECT_TRUE(fs::exists(folder / "feedback-mail-typed.png"));
  fs::remove_all(folder);
}

}  // namespace
}  // namespace lorvane
