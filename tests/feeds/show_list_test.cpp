#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "feeds/show_view_controller.h"
#include "feeds_test_support.h"
#include "platform/foundation/log.h"

namespace lorvane {
namespace {

class RecordPage : public ViewController {
 public:
  explicit RecordPage(FeedRecord r) : record(std::move(r)) {}
  FeedRecord record;
};

class ShowListTest : public testing::AppScreenTest {
 protected:
  void SetUp() override {
    AppScreenTest::SetUp();
    screen = std::make_shared<ShowViewController>();
    screen->setDetailScreenMaker(
        [](const FeedRecord& record) { return std::make_shared<RecordPage>(record); });
  }
  void tearDownScreens() override { screen.reset(); }

  int rows() { return screen->tableView()->numberOfRowsInSection(0); }
  bool waitForFeed() {
    return waitUntil(
        [&] { return screen->showVideoMedia() && screen->runningRequestCount() == 0; });
  }
  bool waitForDownloads() {
    return waitUntil([&] {
      if (screen->thumbnailCache().loader().runningCount() != 0) return false;
      RunLoop::main().runUntilIdle();
      return true;
    });
  }
  std::shared_ptr<ShowVideoCell> visibleCell(int row) {
    screen->tableView()->layoutIfNeeded();
    return std::dynamic_pointer_cast<ShowVideoCell>(
        screen->tableView()->cellForRowAtIndexPath({0, row}));
  }
  void cacheShowThumbnails(int count) {
    for (int i = 1; i <= count; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "show-%02d.jpg", i);
      copyIntoCache("show", contentFile(std::string("thumbs/") + name), name);
    }
  }

  std::shared_ptr<ShowViewController> screen;
};

TEST_F(ShowListTest, FirstLaunchListsTheRecordsAndStoresTheThumbnailsOfTheRowsShown) {
  startServer();
  show(screen);
  EXPECT_EQ(screen->runningRequestCount(), 2u);
  ASSERT_NE(screen->indicator(), nullptr);
  EXPECT_TRUE(screen->indicator()->isAnimating());
  ASSERT_TRUE(waitForFeed());
  EXPECT_EQ(requests(testing::kShowTarget), 2u);
  EXPECT_EQ(screen->indicator(), nullptr);
  EXPECT_TRUE(screen->isDataDownloaded());
  EXPECT_EQ(rows(), 10);
  EXPECT_EQ(screen->tableView()->frame(), (Rect{0, 20, 320, 503}));
  EXPECT_EQ(screen->tableView()->rectForRowAtIndexPath({0, 1}), (Rect{0, 160, 320, 160}));

  auto first = visibleCell(0);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->titleLabel().text(), screen->videoDescrip()[0]);
  EXPECT_EQ(first->pictureView().frame(), (Rect{10, 7, 300, 153}));
  EXPECT_EQ(first->titleLabel().frame(), (Rect{10, 110, 300, 50}));
  EXPECT_EQ(first->selectionStyle(), TableViewCellSelectionStyle::None);
  ASSERT_TRUE(waitForDownloads());
  EXPECT_TRUE(std::filesystem::exists(documents() + "/show/show-01.jpg"));
  EXPECT_TRUE(visibleCell(0)->pictureView().image());
  // A few stored pictures never hide the records that have none yet.
  EXPECT_LT(screen->cachedPictureCount(), 10u);
  EXPECT_EQ(rows(), 10);
  // Only rows that came into view were fetched.
  EXPECT_LT(requests("/thumbs/"), 10u);
  EXPECT_GT(requests("/thumbs/"), 0u);
}

TEST_F(ShowListTest, NextLaunchCountsCachedPicturesAndFillsThemInWithoutDownloads) {
  cacheShowThumbnails(10);
  demo::ServerOptions options;
  options.delaySeconds = 0.3;
  startServer(options);
  show(screen);
  EXPECT_EQ(rows(), 10);  // blank rows, one per stored picture
  auto blank = visibleCell(0);
  ASSERT_TRUE(blank);
  EXPECT_EQ(blank->titleLabel().text(), "");
  ASSERT_TRUE(waitForFeed());
  EXPECT_EQ(rows(), 10);
  auto filled = visibleCell(1);
  ASSERT_TRUE(filled);
  EXPECT_EQ(filled->titleLabel().text(), screen->videoDescrip()[1]);
  EXPECT_TRUE(filled->pictureView().image());
  EXPECT_EQ(requests("/thumbs/"), 0u);
}

TEST_F(ShowListTest, OnlyExactJpgFilesCountAsRows) {
  std::filesystem::create_directories(documents() + "/show/nested");
  for (const char* name : {"a.jpg", "b.JPG", "c.jpeg", "d.png", "nested/e.jpg"}) {
    std::ofstream(documents() + "/show/" + name) << "x";
  }
  startServer();
  const std::string base = server->baseURL();
  server->setAnswerHook([=](const demo::RequestRecord& r) -> std::optional<demo::CannedResponse> {
    if (!r.target.starts_with("/infolist")) return std::nullopt;
    return demo::CannedResponse{200, "application/json", testing::feedAnswer(base, 5, "p", "png")};
  });
  show(screen);
  EXPECT_EQ(screen->cachedPictureCount(), 2u);
  EXPECT_EQ(rows(), 2);
  std::filesystem::remove(documents() + "/show/a.jpg");
  std::filesystem::remove(documents() + "/show/nested/e.jpg");
  ASSERT_TRUE(waitForFeed());
  ASSERT_TRUE(waitForDownloads());
  // Pictures named .png never add to the count: the records decide.
  EXPECT_EQ(rows(), 5);
}

TEST_F(ShowListTest, ServerDownRetriesOnceDropsTheSpinnerAndOffersATapToRetry) {
  startServer();
  pointAtClosedPort();
  LogCapture log;
  show(screen);
  ASSERT_TRUE(
      waitUntil([&] { return errorLines(log) == 3 && screen->runningRequestCount() == 0; }));
  EXPECT_EQ(screen->indicator(), nullptr);
  EXPECT_TRUE(screen->isDataDownloaded());
  EXPECT_EQ(rows(), 0);
  ASSERT_TRUE(screen->errorView());
  EXPECT_FALSE(screen->errorView()->isHidden());
  EXPECT_EQ(screen->errorView()->messageLabel().text(), "网络不给力，轻触重试");

  // A visit asks again; the message waits for its answer out of the way.
  screen->viewWillAppear(false);
  EXPECT_EQ(screen->runningRequestCount(), 1u);
  EXPECT_TRUE(screen->errorView()->isHidden());
  ASSERT_TRUE(
      waitUntil([&] { return errorLines(log) == 4 && screen->runningRequestCount() == 0; }));
  EXPECT_EQ(screen->indicator(), nullptr);
  EXPECT_FALSE(screen->showVideoMedia());
  EXPECT_FALSE(screen->errorView()->isHidden());

  // A tap asks again with a spinner of its own, gone when the answer comes.
  pointAtServer();
  press(screen->errorView()->panel());
  EXPECT_EQ(screen->runningRequestCount(), 1u);
  ASSERT_TRUE(screen->indicator());
  EXPECT_TRUE(screen->indicator()->isAnimating());
  EXPECT_TRUE(screen->errorView()->isHidden());
  ASSERT_TRUE(waitForFeed());
  EXPECT_EQ(rows(), 10);
  EXPECT_EQ(screen->indicator(), nullptr);
  EXPECT_TRUE(screen->errorView()->isHidden());
}

TEST_F(ShowListTest, RowsWaitingForTheFeedAreQuietPanelsNotWhiteBoxes) {
  cacheShowThumbnails(3);
  startServer();
  pointAtClosedPort();
  LogCapture log;
  show(screen);
  ASSERT_TRUE(
      waitUntil([&] { return errorLines(log) == 3 && screen->runningRequestCount() == 0; }));
  ASSERT_EQ(rows(), 3);
  for (int row = 0; row < 3; ++row) {
    auto cell = visibleCell(row);
    ASSERT_TRUE(cell);
    // No title: no band; and the picture's ground is the dark blue, not white.
    EXPECT_TRUE(cell->titleLabel().isHidden());
    const Color ground = cell->pictureView().backgroundColor();
    EXPECT_LT(ground.red + ground.green + ground.blue, 1.0);
    EXPECT_LT(ground.alpha, 1.0);
    EXPECT_FALSE(cell->pictureView().image());
  }
  // With the feed, the same rows get their titles and bands back.
  pointAtServer();
  press(screen->errorView()->panel());
  ASSERT_TRUE(waitForFeed());
  auto first = visibleCell(0);
  ASSERT_TRUE(first);
  EXPECT_FALSE(first->titleLabel().isHidden());
  EXPECT_EQ(first->titleLabel().text(), screen->videoDescrip()[0]);
}

TEST_F(ShowListTest, AnUndecodableAnswerAfterAPageClearsTheListAndFetchesAgain) {
  startServer();
  show(screen);
  ASSERT_TRUE(waitForFeed());
  ASSERT_TRUE(waitForDownloads());
  server->setHtmlFirst(1);
  server->setDelaySeconds(0.5);
  screen->urlRequest();
  ASSERT_TRUE(waitUntil([&] { return !screen->showVideoMedia(); }));
  EXPECT_TRUE(screen->videoInfo().empty());
  EXPECT_TRUE(screen->videoDescrip().empty());
  EXPECT_TRUE(screen->retry().isPending());  // the new fetch, after a wait
  advance(FeedRetry::kFirstDelay);
  EXPECT_EQ(screen->runningRequestCount(), 1u);
  ASSERT_TRUE(waitForFeed());
  EXPECT_EQ(screen->videoInfo().size(), 10u);
  EXPECT_EQ(requests("/infolist"), 4u);
}

TEST_F(ShowListTest, ChoosingARowOpensItsRecordAndRowsWithoutRecordsOpenNothing) {
  cacheShowThumbnails(10);
  copyIntoCache("show", contentFile("thumbs/show-01.jpg"), "extra-1.jpg");
  copyIntoCache("show", contentFile("thumbs/show-01.jpg"), "extra-2.jpg");
  startServer();
  show(screen);
  ASSERT_TRUE(waitForFeed());
  EXPECT_EQ(rows(), 12);

  screen->tableView()->scrollToRowAtIndexPath({0, 11}, false);
  auto beyond = visibleCell(11);
  ASSERT_TRUE(beyond);
  EXPECT_EQ(beyond->titleLabel().text(), "");
  EXPECT_FALSE(beyond->pictureView().image());
  screen->didSelectRowAtIndexPath(*screen->tableView(), {0, 11});
  EXPECT_EQ(navigation->viewControllers().size(), 1u);

  screen->tableView()->scrollToRowAtIndexPath({0, 3}, false);
  auto row = visibleCell(3);
  ASSERT_TRUE(row);
  press(*row);
  auto* page = dynamic_cast<RecordPage*>(navigation->topViewController());
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(page->record.get(), screen->videoInfo()[3].get());
  EXPECT_EQ(CustomTarBar::sharedInstance()->frame().y(), 568);
  advance(0.5);
  EXPECT_EQ(CustomTarBar::sharedInstance()->presentationFrame().y(), 568);
}

TEST_F(ShowListTest, APictureForAReusedCellIsNotShownInItsNewRow) {
  startServer();
  // Slow pictures: the downloads are still under way when the cell moves on.
  server->setAnswerHook([](const demo::RequestRecord& r) -> std::optional<demo::CannedResponse> {
    if (r.target.starts_with("/thumbs/"))
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
    return std::nullopt;
  });
  show(screen);
  ASSERT_TRUE(waitForFeed());
  auto moved = visibleCell(0);
  auto stayed = visibleCell(1);
  ASSERT_TRUE(moved && stayed);
  moved->setRepresentedImageURL("http://elsewhere/another-row.jpg");
  ASSERT_TRUE(waitForDownloads());
  EXPECT_TRUE(std::filesystem::exists(documents() + "/show/show-01.jpg"));  // still stored
  EXPECT_FALSE(moved->pictureView().image());
  EXPECT_TRUE(stayed->pictureView().image());
  EXPECT_FALSE(screen->shouldAutorotate());
  EXPECT_EQ(screen->supportedInterfaceOrientations(), 2u);
}

}  // namespace
}  // namespace lorvane
