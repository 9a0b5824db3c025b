// The real app against nginx serving the sample tree with the repository's
// configuration (scripts/serve-content): feeds, thumbnails, recommended
// apps, and a lesson that plays through the real media layer. Real time, as
// for a user.

#include <gtest/gtest.h>

#include <filesystem>

#include "app/app_delegate.h"
#include "app/root_view_controller.h"
#include "common/app_configuration.h"
#include "content/content_test_support.h"
#include "demo/server/sample_server.h"
#include "feeds/cool_topic_view_controller.h"
#include "feeds/mini_video_cell.h"
#include "feeds/show_view_controller.h"
#include "platform/foundation/clock.h"
#include "platform/foundation/file_manager.h"
#include "platform/foundation/run_loop.h"
#include "platform/media/player.h"
#include "platform/ui/alert_view.h"
#include "platform/ui/application.h"
#include "platform/ui/font.h"
#include "platform/ui/image.h"
#include "platform/ui/screen.h"
#include "player/detail_view_controller.h"
#include "player/record_values.h"
#include "settings/app_recommend_cell.h"
#include "settings/app_recommend_view_controller.h"
#include "support/net/nginx_server.h"

namespace lorvane {
namespace {

using testing::ServeContent;

class AppOnNginxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!ServeContent::isAvailable()) GTEST_SKIP() << "nginx is not installed";
    Clock::resetShared();
    Screen::mainScreen().reset();
    Device::currentDevice().reset();
    Application::sharedApplication().reset();
    FontBackend::install(nullptr);
    Image::setResourcesFolder(LORVANE_SOURCE_DIR "/resources");
    previousRoot_ = FileManager::defaultManager().rootDirectory();
    FileManager::defaultManager().setRootDirectory(documents_.path());
    previousConfiguration_ = AppConfiguration::current();

    nginx_ = std::make_unique<ServeContent>(demo::defaultContentDirectory());
    ASSERT_TRUE(nginx_->running()) << nginx_->output();
    AppConfiguration configuration = AppConfiguration::current();
    configuration.contentBaseURL = nginx_->url();
    configuration.recommendBaseURL = nginx_->url();
    AppConfiguration::setCurrent(configuration);
  }

  void TearDown() override {
    if (delegate_) {
      for (auto& alert : AlertView::visibleAlerts()) alert->dismissWithClickedButtonIndex(0, false);
      delegate_.reset();
      Application::sharedApplication().reset();
      RunLoop::main().runUntilIdle();
    }
    nginx_.reset();
    AppConfiguration::setCurrent(previousConfiguration_);
    FileManager::defaultManager().setRootDirectory(previousRoot_);
  }

  bool waitUntil(const std::function<bool()>& predicate, double seconds = 20) {
    return RunLoop::main().runUntil(predicate, seconds);
  }
  // How many requests for paths starting with `prefix` nginx logged.
  std::size_t served(const std::string& prefix) const {
    std::size_t count = 0;
    std::string log = nginx_->output();
    for (std::size_t at = log.find(" GET " + prefix); at != std::string::npos;
         at = log.find(" GET " + prefix, at + 1)) {
      if (log.compare(at - 3, 3, "200") == 0) ++count;
    }
    return count;
  }

  testing::TemporaryDirectory documents_;
  std::string previousRoot_;
  AppConfiguration previousConfiguration_;
  std::unique_ptr<ServeContent> nginx_;
  std::shared_ptr<AppDelegate> delegate_;
};

TEST_F(AppOnNginxTest, FeedsThumbnailsAppsAndALessonThatPlays) {
  delegate_ = std::make_shared<AppDelegate>();
  ASSERT_TRUE(Application::sharedApplication().launch(delegate_));
  auto root = delegate_->rootVC();
  ASSERT_TRUE(root);
  auto topic = std::dynamic_pointer_cast<CoolTopicViewController>(root->controllersArray()[0]);
  ASSERT_TRUE(topic);

  // The topic grid, each tile with the thumbnail nginx sent.
  ASSERT_TRUE(waitUntil([&] {
    if (topic->tiles().size() != 16) return false;
    for (const auto& tile : topic->tiles()) {
      if (!tile->pictureView().image()) return false;
    }
    return true;
  })) << nginx_->output();
  EXPECT_GE(served("/infolist?_method=infoJson&categoryId=34679&pageSize=100&order=2&pageNo=0"),
            1u);
  EXPECT_GE(served("/thumbs/topic-"), 16u);
  EXPECT_EQ(std::filesystem::file_size(FileManager::defaultManager().documentsDirectory() +
                                       "/cool/topic-05.jpg"),
            std::filesystem::file_size(demo::defaultContentDirectory() + "/thumbs/topic-05.jpg"));
  EXPECT_GT(topic->tiles()[0]->pictureView().image()->pixelWidth(), 0);

  // The show list.
  root->customTabBar()->selectTabBarButton(1);
  auto show = std::dynamic_pointer_cast<ShowViewController>(root->controllersArray()[1]);
  ASSERT_TRUE(show);
  ASSERT_TRUE(waitUntil([&] { return show->videoInfo().size() == 10 && served("/thumbs/show-"); }))
      << nginx_->output();

  // The recommended apps, with their icons.
  auto apps = std::make_shared<AppRecommendViewController>();
  root->navController()->pushViewController(apps, false);
  ASSERT_TRUE(waitUntil([&] { return apps->itunesID().size() == 7; })) << nginx_->output();
  EXPECT_EQ(apps->itunesID()[0], nginx_->url() + "/apps/app-01.html");
  ASSERT_TRUE(waitUntil([&] {
    auto cell = std::dynamic_pointer_cast<AppRecommendCell>(
        apps->AppTableView()->cellForRowAtIndexPath({0, 0}));
    return cell && cell->iconView().image() &&
           cell->iconView().image()->name() != "应用推荐图标-原大";
  })) << nginx_->output();
  EXPECT_GE(served("/icons/app-"), 1u);
  EXPECT_GE(served("/api/app/resourcelist_ng.json?appId=243"), 1u);

  // Back to the grid; a touch on the third tile opens its lesson, which
  // plays from nginx with byte ranges.
  root->customTabBar()->selectTabBarButton(0);
  std::shared_ptr<DetailViewController> page;
  topic->setDetailScreenMaker([&](const FeedRecord& record) {
    page = std::make_shared<DetailViewController>();
    PlayerOptions options;
    options.clockDrivenAudio = true;  // no sound card on a test machine
    page->setPlayerFactory(std::make_shared<MediaPlayerFactory>(options));
    page->setVideoInfoDictionary(record);
    return page;
  });
  topic->tiles()[2]->tapButton().sendActionsForControlEvents(ControlEventTouchUpInside);
  ASSERT_TRUE(page);
  auto player = page->playVideoViewController();
  ASSERT_TRUE(waitUntil([&] {
    return player->isPlaying() && player->videoPlayer()->currentTime().seconds() > 1.0;
  })) << nginx_->output();
  const auto& lesson = page->videoInfoDictionary();
  EXPECT_EQ(std::string(lesson->objectForKey("videoUrl")->stringValue()),
            nginx_->url() + "/videos/topic-03.mp4");
  const std::string log = nginx_->output();
  EXPECT_TRUE(log.find("200 GET /videos/topic-03.mp4") != std::string::npos ||
              log.find("206 GET /videos/topic-03.mp4") != std::string::npos)
      << log;
  ASSERT_TRUE(player->videoControlView()->layer().videoFrameSource());
  EXPECT_TRUE(player->videoControlView()->layer().videoFrameSource()->currentFrame());
  page->backAction();
  RunLoop::main().runUntil([&] { return !root->navController()->isTransitioning(); }, 5);
  EXPECT_FALSE(player->isPlaying());
}

}  // namespace
}  // namespace lorvane
