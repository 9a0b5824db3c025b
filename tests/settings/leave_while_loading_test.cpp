// Leaving a page while its downloads trickle in lets go of them at once.
#include <gtest/gtest.h>

#include <memory>

#include "common/url_loader.h"
#include "feeds_test_support.h"
#include "settings/app_recommend_view_controller.h"
#include "support/net/held_answer.h"
#include "support/net/scripted_server.h"

namespace lorvane {
namespace {

using testing::HeldAnswers;
using testing::httpResponse;
using testing::ReleaseGuard;
using testing::ScriptedServer;
using testing::ServerConnection;

class LeaveWhileLoadingTest : public testing::AppScreenTest {
 protected:
  void tearDownScreens() override { page.reset(); }

  // A list of two apps whose icons come from `held`.
  std::unique_ptr<ScriptedServer> serveAppsWithHeldIcons(HeldAnswers& held) {
    auto apps = std::make_unique<ScriptedServer>([&held](ServerConnection& connection) {
      while (auto request = connection.readRequest()) {
        if (request->target.starts_with("/icons/")) {
          if (!held.send(connection, "image/png", std::string(8192, 'i'))) return;
          continue;
        }
        const std::string base = "http://" + request->header("host");
        const std::string list = R"({"code":0,"data":{"resourceList":[)"
                                 R"({"title":"A","subtitle":"a","thumbnail":")" +
                                 base + R"(/icons/a.png","action":")" + base +
                                 R"(/apps/a.html"},)"
                                 R"({"title":"B","subtitle":"b","thumbnail":")" +
                                 base + R"(/icons/b.png","action":")" + base +
                                 R"(/apps/b.html"}]}})";
        connection.send(httpResponse(200, {{"Content-Type", "application/json"}}, list));
      }
    });
    AppConfiguration configuration = AppConfiguration::current();
    configuration.recommendBaseURL = apps->url("");
    if (configuration.recommendBaseURL.ends_with("/")) configuration.recommendBaseURL.pop_back();
    AppConfiguration::setCurrent(configuration);
    return apps;
  }

  std::shared_ptr<AppRecommendViewController> page;
};

TEST_F(LeaveWhileLoadingTest, LeavingTheRecommendedAppsPageDuringAnIconDownloadReturnsAtOnce) {
  HeldAnswers held;
  auto apps = serveAppsWithHeldIcons(held);
  ReleaseGuard guard(held, 30);
  page = std::make_shared<AppRecommendViewController>();
  show(page);
  ASSERT_TRUE(waitUntil([&] { return page->itunesID().size() == 2; }));
  page->AppTableView()->layoutIfNeeded();
  ASSERT_TRUE(waitUntil([&] { return held.begun() >= 1; }));
  ASSERT_GT(page->iconLoader().runningCount(), 0u);

  std::weak_ptr<AppRecommendViewController> weakPage = page;
  navigation.reset();
  window->setRootViewController(nullptr);
  page.reset();
  ASSERT_TRUE(weakPage.expired());
  // Gone while the icons were still on their way, not after them.
  EXPECT_EQ(held.finished(), 0);
  EXPECT_FALSE(guard.fired());

  held.release();
  EXPECT_TRUE(waitUntil([] { return URLLoader::detachedCount() == 0; }, 20));
  RunLoop::main().runUntilIdle();
}

}  // namespace
}  // namespace lorvane
