#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "common/app_configuration.h"
#include "common/custom_tar_bar.h"
#include "demo/server/sample_server.h"
#include "platform/foundation/file_manager.h"
#include "platform/foundation/log.h"
#include "platform/foundation/run_loop.h"
#include "platform/ui/alert_view.h"
#include "platform/ui/image.h"
#include "platform/ui/navigation_controller.h"
#include "platform/ui/ui_test_support.h"

namespace lorvane::testing {

// A phone with a manual clock, a documents folder of its own, the sample
// content server on a loopback port and the configuration pointing at it.
class AppScreenTest : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    Image::setResourcesFolder(std::string(LORVANE_SOURCE_DIR) + "/resources");
    char pattern[] = "/tmp/lorvane-screens-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    previousRoot_ = FileManager::defaultManager().rootDirectory();
    FileManager::defaultManager().setRootDirectory(root_);
    previousConfiguration_ = AppConfiguration::current();
  }

  void TearDown() override {
    if (navigation) navigation.reset();
    window->setRootViewController(nullptr);
    for (auto& alert : AlertView::visibleAlerts()) alert->dismissWithClickedButtonIndex(0, false);
    tearDownScreens();
    if (server) server->stop();
    server.reset();
    AppConfiguration::setCurrent(previousConfiguration_);
    FileManager::defaultManager().setRootDirectory(previousRoot_);
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
    UiTest::TearDown();
  }

  // Screens are dropped here, before the server stops.
  virtual void tearDownScreens() {}

  void startServer(demo::ServerOptions options = {}) {
    server = std::make_unique<demo::SampleServer>(std::move(options));
    std::string error;
    ASSERT_TRUE(server->start(&error)) << error;
    AppConfiguration configuration = AppConfiguration::current();
    configuration.contentBaseURL = server->baseURL();
    configuration.recommendBaseURL = server->baseURL();
    AppConfiguration::setCurrent(configuration);
  }

  // Shows `screen` as the root of a navigation stack, as a tab does.
  void show(const std::shared_ptr<ViewController>& screen) {
    navigation = std::make_shared<NavigationController>(screen);
    navigation->setNavigationBarHidden(true, false);
    window->setRootViewController(navigation);
    auto bar = CustomTarBar::sharedInstance();
    bar->setFrame(
        {0, CustomTarBar::shownY(), Screen::mainScreen().bounds().width(), CustomTarBar::kHeight});
  }

  bool waitUntil(const std::function<bool()>& predicate, double seconds = 15) {
    return RunLoop::main().runUntil(predicate, seconds);
  }

  std::size_t requests(const std::string& prefix) const { return server->requestCount(prefix); }

  // Moves the manual clock on in steps, letting the requests that each step
  // starts be answered (in real time) before the next one.
  void advanceWithAnswers(double seconds, const std::function<std::size_t()>& running,
                          double step = 0.5) {
    for (double done = 0; done < seconds; done += step) {
      advance(step);
      ASSERT_TRUE(waitUntil([&] { return running() == 0; }));
    }
  }

  // Points the feeds at a loopback port nobody listens on.
  void pointAtClosedPort() {
    AppConfiguration configuration = AppConfiguration::current();
    configuration.contentBaseURL = "http://127.0.0.1:1";
    configuration.recommendBaseURL = "http://127.0.0.1:1";
    AppConfiguration::setCurrent(configuration);
  }
  void pointAtServer() {
    AppConfiguration configuration = AppConfiguration::current();
    configuration.contentBaseURL = server->baseURL();
    configuration.recommendBaseURL = server->baseURL();
    AppConfiguration::setCurrent(configuration);
  }
  static std::size_t errorLines(const LogCapture& log) {
    std::size_t count = 0;
    for (const auto& line : log.lines()) count += line.starts_with("error:");
    return count;
  }

  std::string documents() const { return FileManager::defaultManager().documentsDirectory(); }
  std::string contentFile(const std::string& relative) const {
    return demo::defaultContentDirectory() + "/" + relative;
  }
  void copyIntoCache(const std::string& folder, const std::string& from, const std::string& name) {
    std::filesystem::create_directories(documents() + "/" + folder);
    std::filesystem::copy_file(from, documents() + "/" + folder + "/" + name,
                               std::filesystem::copy_options::overwrite_existing);
  }

  // Taps a view's centre with the finger held long enough for the scroll
  // view to pass the touch on.
  void press(View& target) {
    window->layoutIfNeeded();
    Point centre =
        target.convertPointToView({target.bounds().midX(), target.bounds().midY()}, nullptr);
    window->touchDown(centre);
    advance(0.2);
    window->touchUp(centre);
  }

  std::unique_ptr<demo::SampleServer> server;
  std::shared_ptr<NavigationController> navigation;

 private:
  std::string root_;
  std::string previousRoot_;
  AppConfiguration previousConfiguration_;
};

inline const char* kTopicTarget =
    "/infolist?_method=infoJson&categoryId=34679&pageSize=100&order=2&pageNo=0";
inline const char* kShowTarget = "/infolist?_method=orvel";

// A page of records in the feed's shape, with thumbnails on `base`.
inline std::string feedAnswer(const std::string& base, int records, const std::string& prefix = "t",
                              const std::string& extension = "jpg") {
  std::string data;
  for (int i = 0; i < records; ++i) {
    if (i) data += ",";
    data += "{\"imageUrl\":\"" + base + "/thumbs/" + prefix + std::to_string(i) + "." + extension +
            "\",\"title\":\"Lesson " + std::to_string(i) + "\",\"videoUrl\":\"" + base +
            "/videos/topic-01.mp4\",\"playTime\":49}";
  }
  return "[{\"data\":[" + data + "]}]";
}

}  // namespace lorvane::testing
