#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>

#include "feeds/cool_topic_view_controller.h"
#include "feeds_test_support.h"
#include "platform/foundation/log.h"
#include "player/detail_view_controller.h"

namespace lorvane {
namespace {

// Stands in for the lesson page: remembers the record it was given.
class RecordPage : public ViewController {
 public:
  explicit RecordPage(FeedRecord r) : record(std::move(r)) {}
  FeedRecord record;
};

class CoolTopicTest : public testing::AppScreenTest {
 protected:
  void SetUp() override {
    AppScreenTest::SetUp();
    screen = std::make_shared<CoolTopicViewController>();
    screen->setDetailScreenMaker(
        [](const FeedRecord& record) { return std::make_shared<RecordPage>(record); });
  }
  void tearDownScreens() override { screen.reset(); }

  bool waitForGrid(std::size_t tiles) {
    return waitUntil(
        [&] { return screen->tiles().size() == tiles && screen->runningRequestCount() == 0; });
  }
  bool waitForThumbnails() {
    return waitUntil([&] {
      if (screen->thumbnailCache().loader().runningCount() != 0) return false;
      RunLoop::main().runUntilIdle();
      for (const auto& tile : screen->tiles()) {
        if (!tile->pictureView().image()) return false;
      }
      return true;
    });
  }

  std::shared_ptr<CoolTopicViewController> screen;
};

TEST_F(CoolTopicTest, FirstDisplaySendsTwoRequestsSpinsAndFillsTheGridWithDownloadedThumbnails) {
  startServer();
  show(screen);
  EXPECT_EQ(screen->runningRequestCount(), 2u);
  EXPECT_TRUE(screen->indicator().isAnimating());
  EXPECT_EQ(screen->indicator().superview(), screen->view().get());
  EXPECT_EQ(screen->indicator().center(), (Point{160, 284}));

  ASSERT_TRUE(waitForGrid(16));
  EXPECT_EQ(requests(testing::kTopicTarget), 2u);
  for (const auto& record : server->requests()) {
    if (record.target.starts_with("/infolist")) {
      EXPECT_EQ(record.target, testing::kTopicTarget);
      EXPECT_EQ(record.method, "GET");
    }
  }
  EXPECT_FALSE(screen->indicator().isAnimating());
  EXPECT_TRUE(screen->isDataDownloaded());
  ASSERT_EQ(screen->videoName().size(), 16u);
  EXPECT_EQ(screen->tiles()[0]->videoDescripLabel().text(), screen->videoName()[0]);
  // The second answer laid the grid out again; the old tiles went away.
  std::size_t cells = 0;
  for (const auto& view : screen->scrollView()->subviews()) {
    if (dynamic_cast<MiniVideoCell*>(view.get())) ++cells;
  }
  EXPECT_EQ(cells, 16u);

  ASSERT_TRUE(waitForThumbnails());
  for (int i = 1; i <= 16; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "topic-%02d.jpg", i);
    auto stored = documents() + "/cool/" + name;
    ASSERT_TRUE(std::filesystem::exists(stored)) << stored;
    EXPECT_EQ(std::filesystem::file_size(stored),
              std::filesystem::file_size(contentFile(std::string("thumbs/") + name)));
  }
  EXPECT_GT(screen->tiles()[0]->pictureView().image()->pixelWidth(), 0);
}

TEST_F(CoolTopicTest, CachedThumbnailsAreUsedAtOnceWithoutAnyDownload) {
  startServer();
  for (int i = 1; i <= 16; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "topic-%02d.jpg", i);
    copyIntoCache("cool", contentFile(std::string("thumbs/") + name), name);
  }
  // A file that exists wins even when it is another picture than the URL's.
  copyIntoCache("cool", std::string(LORVANE_SOURCE_DIR) + "/resources/mmmmm.png", "topic-01.jpg");
  show(screen);
  ASSERT_TRUE(waitForGrid(16));
  for (const auto& tile : screen->tiles()) EXPECT_TRUE(tile->pictureView().image());
  EXPECT_EQ(screen->tiles()[0]->pictureView().image()->pixelWidth(), 320);
  EXPECT_EQ(requests("/thumbs/"), 0u);
  EXPECT_EQ(screen->thumbnailCache().loader().runningCount(), 0u);
}

TEST_F(CoolTopicTest, ServerDownRetriesOnceThenSaysSoAndATapOrAVisitAsksAgain) {
  startServer();
  pointAtClosedPort();
  LogCapture log;
  show(screen);
  ASSERT_TRUE(screen->errorView());
  EXPECT_TRUE(screen->errorView()->isHidden());  // nothing has failed yet
  // Two first requests fail; the first failure sends one retry.
  ASSERT_TRUE(waitUntil([&] { return errorLines(log) == 3 && screen->runningRequestCount() == 0; }))
      << errorLines(log) << " failures, " << screen->runningRequestCount() << " running";
  EXPECT_FALSE(screen->indicator().isAnimating());
  EXPECT_TRUE(screen->isDataDownloaded());
  EXPECT_FALSE(screen->coolVideoModel().courseDic());
  // Nothing more is on its way: the message, above the empty grid.
  EXPECT_FALSE(screen->errorView()->isHidden());
  EXPECT_EQ(screen->errorView()->messageLabel().text(), "网络不给力，轻触重试");
  EXPECT_EQ(screen->view()->subviews().back().get(), screen->errorView());

  // Showing the tab again asks once more, with the spinner and no message.
  screen->viewWillAppear(false);
  EXPECT_TRUE(screen->indicator().isAnimating());
  EXPECT_TRUE(screen->errorView()->isHidden());
  EXPECT_EQ(screen->runningRequestCount(), 1u);
  ASSERT_TRUE(
      waitUntil([&] { return errorLines(log) == 4 && screen->runningRequestCount() == 0; }));
  // Its failure does not leave the spinner turning with nothing in flight.
  EXPECT_FALSE(screen->indicator().isAnimating());
  EXPECT_FALSE(screen->errorView()->isHidden());
  RunLoop::main().runOnce(0.05);
  EXPECT_EQ(errorLines(log), 4u);

  // A tap on the message asks again too.
  press(screen->errorView()->panel());
  EXPECT_EQ(screen->runningRequestCount(), 1u);
  EXPECT_TRUE(screen->indicator().isAnimating());
  EXPECT_TRUE(screen->errorView()->isHidden());
  ASSERT_TRUE(
      waitUntil([&] { return errorLines(log) == 5 && screen->runningRequestCount() == 0; }));
  EXPECT_FALSE(screen->errorView()->isHidden());

  // Once the server answers, the next tap fills the grid and the message goes.
  pointAtServer();
  press(screen->errorView()->panel());
  ASSERT_TRUE(waitForGrid(16));
  EXPECT_FALSE(screen->indicator().isAnimating());
  EXPECT_TRUE(screen->errorView()->isHidden());
  // A hidden message takes no taps: the tiles get them.
  press(*screen->tiles()[0]);
  EXPECT_EQ(screen->runningRequestCount(), 0u);
  EXPECT_EQ(errorLines(log), 5u);
}

TEST_F(CoolTopicTest, AnHtmlAnswerIsFetchedAgainAfterAWait) {
  demo::ServerOptions options;
  options.htmlFirst = 3;
  startServer(options);
  show(screen);
  ASSERT_TRUE(waitUntil(
      [&] { return requests(testing::kTopicTarget) == 2 && screen->runningRequestCount() == 0; }));
  // Both first answers were error pages: one retry waits, none has gone out.
  EXPECT_TRUE(screen->retry().isPending());
  EXPECT_TRUE(screen->indicator().isAnimating());
  RunLoop::main().runOnce(0.05);
  EXPECT_EQ(requests(testing::kTopicTarget), 2u);

  advanceWithAnswers(1, [&] { return screen->runningRequestCount(); });
  EXPECT_EQ(requests(testing::kTopicTarget), 3u);  // the third error page
  advanceWithAnswers(2, [&] { return screen->runningRequestCount(); });
  ASSERT_TRUE(waitForGrid(16));
  EXPECT_EQ(requests(testing::kTopicTarget), 4u);
  EXPECT_TRUE(screen->isDataDownloaded());
  EXPECT_FALSE(screen->retry().isPending());
  EXPECT_FALSE(screen->indicator().isAnimating());
}

TEST_F(CoolTopicTest, AServerThatOnlyAnswersGarbageIsAskedLessAndLessOften) {
  startServer();
  auto garbage = std::make_shared<std::atomic<bool>>(true);
  server->setAnswerHook(
      [garbage](const demo::RequestRecord& r) -> std::optional<demo::CannedResponse> {
        if (!r.target.starts_with("/infolist") || !*garbage) return std::nullopt;
        return demo::CannedResponse{200, "text/plain", "\x01\x02 not a feed"};
      });
  show(screen);
  auto running = [&] { return screen->runningRequestCount(); };
  ASSERT_TRUE(waitUntil([&] { return running() == 0; }));

  // Ten minutes, noting on the manual clock when each new request went out.
  const double start = Clock::shared().now();
  std::vector<double> sent;
  std::size_t seen = requests("/infolist");
  std::size_t inFirstMinute = 0;
  for (int step = 0; step < 1200; ++step) {
    advanceWithAnswers(0.5, running);
    const std::size_t now = requests("/infolist");
    for (; seen < now; ++seen) sent.push_back(Clock::shared().now() - start);
    if (Clock::shared().now() - start <= 60) inFirstMinute = now;
  }
  // Two first requests, then retries after 1, 2, 4 ... seconds.
  EXPECT_LE(inFirstMinute, 8u);
  ASSERT_GE(sent.size(), 10u);
  double expected = 1;
  for (std::size_t i = 1; i < sent.size(); ++i) {
    expected = std::min(expected * 2, 60.0);
    EXPECT_NEAR(sent[i] - sent[i - 1], expected, 0.01) << "gap " << i;
  }
  // The first answers came before the clock moved; the first retry, 1 s on.
  EXPECT_NEAR(sent[0], FeedRetry::kFirstDelay, 0.01);
  EXPECT_LE(requests("/infolist"), 2u + sent.size());
  EXPECT_LE(requests("/infolist"), 20u);
  // Still trying, and saying so.
  EXPECT_TRUE(screen->retry().isPending());
  EXPECT_TRUE(screen->indicator().isAnimating());

  // A good answer fills the grid and puts the delay back to a second.
  *garbage = false;
  advanceWithAnswers(60, running);
  ASSERT_TRUE(waitForGrid(16));
  EXPECT_FALSE(screen->retry().isPending());
  EXPECT_DOUBLE_EQ(screen->retry().nextDelay(), FeedRetry::kFirstDelay);
  *garbage = true;
  const std::size_t before = requests("/infolist");
  screen->urlRequest();
  ASSERT_TRUE(waitUntil([&] { return running() == 0; }));
  advanceWithAnswers(1, running);
  EXPECT_EQ(requests("/infolist"), before + 2);
  EXPECT_EQ(screen->tiles().size(), 16u);  // the grid stays
}

TEST_F(CoolTopicTest, AnEmptyDataArrayIsAStoredPageWithAnEmptyGrid) {
  startServer();
  server->setAnswerHook([](const demo::RequestRecord& r) -> std::optional<demo::CannedResponse> {
    if (r.target.starts_with("/infolist"))
      return demo::CannedResponse{200, "application/json", "[{\"data\":[]}]"};
    return std::nullopt;
  });
  show(screen);
  ASSERT_TRUE(
      waitUntil([&] { return screen->isDataDownloaded() && screen->runningRequestCount() == 0; }));
  EXPECT_TRUE(screen->coolVideoModel().courseDic());
  EXPECT_FALSE(screen->indicator().isAnimating());
  EXPECT_TRUE(screen->tiles().empty());
  EXPECT_EQ(screen->scrollView()->contentSize(), (Size{320, 54}));
  screen->viewWillAppear(false);
  EXPECT_EQ(screen->runningRequestCount(), 0u);
  EXPECT_EQ(requests("/infolist"), 2u);
}

TEST_F(CoolTopicTest, RepliesOfTheWrongShapeAreFetchedAgainAndBadRecordsAreSkipped) {
  startServer();
  auto answers = std::make_shared<std::vector<std::string>>(
      std::vector<std::string>{"{\"data\":[]}", "[]", "[5]", "[null]", "<html>busy</html>"});
  auto mutex = std::make_shared<std::mutex>();
  const std::string base = server->baseURL();
  server->setAnswerHook([=](const demo::RequestRecord& r) -> std::optional<demo::CannedResponse> {
    if (!r.target.starts_with("/infolist")) return std::nullopt;
    std::lock_guard lock(*mutex);
    std::string body;
    if (!answers->empty()) {
      body = answers->front();
      answers->erase(answers->begin());
    } else {
      body =
          "[{\"data\":[{\"title\":\"no picture\"}, 3, {\"imageUrl\":5,\"title\":\"x\"},"
          "{\"imageUrl\":\"" +
          base +
          "/thumbs/topic-02.jpg\",\"title\":7},"
          "{\"imageUrl\":\"" +
          base +
          "/thumbs/topic-01.jpg\",\"title\":\"good one\"},"
          "{\"imageUrl\":\"" +
          base + "/thumbs/topic-03.jpg\",\"title\":\"good two\"}]}, \"ignored\"]";
    }
    return demo::CannedResponse{200, "application/json", body};
  });
  show(screen);
  // Two first requests, then one retry per bad answer that came while none waited.
  advanceWithAnswers(16, [&] { return screen->runningRequestCount(); });
  ASSERT_TRUE(waitForGrid(2));
  EXPECT_EQ(requests("/infolist"), 6u);
  EXPECT_EQ(screen->videoName(), (std::vector<std::string>{"good one", "good two"}));
  EXPECT_EQ(screen->countArray().size(), 2u);

  // A page whose "data" is not an array is stored and shows nothing.
  server->setAnswerHook([](const demo::RequestRecord& r) -> std::optional<demo::CannedResponse> {
    if (!r.target.starts_with("/infolist")) return std::nullopt;
    return demo::CannedResponse{200, "application/json", "[{\"data\":{\"a\":1}}]"};
  });
  screen->urlRequest();
  ASSERT_TRUE(waitForGrid(0));
  EXPECT_TRUE(screen->countArray().empty());
}

TEST_F(CoolTopicTest, AnUndecodableAnswerAfterAPageKeepsTheGridAndFetchesAgain) {
  startServer();
  show(screen);
  ASSERT_TRUE(waitForGrid(16));
  FeedRecord page = screen->coolVideoModel().courseDic();
  server->setHtmlFirst(1);
  screen->urlRequest();
  ASSERT_TRUE(
      waitUntil([&] { return requests("/infolist") == 3 && screen->runningRequestCount() == 0; }));
  EXPECT_TRUE(screen->retry().isPending());
  advanceWithAnswers(1, [&] { return screen->runningRequestCount(); });
  EXPECT_EQ(requests("/infolist"), 4u);
  EXPECT_EQ(screen->tiles().size(), 16u);
  EXPECT_TRUE(screen->coolVideoModel().courseDic());
}

class GridGeometryTest : public CoolTopicTest {
 protected:
  void serveRecords(int count) {
    startServer();
    const std::string base = server->baseURL();
    server->setAnswerHook([=](const demo::RequestRecord& r) -> std::optional<demo::CannedResponse> {
      if (!r.target.starts_with("/infolist")) return std::nullopt;
      return demo::CannedResponse{200, "application/json", testing::feedAnswer(base, count)};
    });
  }
};

TEST_F(GridGeometryTest, TwoColumnsOnANarrowPhone) {
  serveRecords(5);
  show(screen);
  ASSERT_TRUE(waitForGrid(5));
  EXPECT_EQ(CoolTopicViewController::tileWidth(), 147);
  const auto& tiles = screen->tiles();
  EXPECT_EQ(tiles[0]->frame(), (Rect{10, 10, 147, 91}));
  EXPECT_EQ(tiles[1]->frame(), (Rect{163, 10, 147, 91}));
  EXPECT_EQ(tiles[2]->frame(), (Rect{10, 108, 147, 91}));
  EXPECT_EQ(tiles[4]->frame(), (Rect{10, 206, 147, 91}));
  EXPECT_EQ(screen->scrollView()->contentSize(), (Size{320, 348}));
  EXPECT_EQ(screen->scrollView()->frame(), (Rect{0, 20, 320, 548}));
  EXPECT_EQ(screen->backgroundView()->frame(), (Rect{0, 20, 320, 568}));
  EXPECT_EQ(screen->backgroundView()->image()->name(), "mmmmm");
  EXPECT_EQ(screen->scrollView()->decelerationRate(), 0.85);
  for (std::size_t i = 0; i < tiles.size(); ++i) EXPECT_EQ(tiles[i]->tag(), int(i));

  auto& tile = *tiles[0];
  tile.layoutIfNeeded();
  Rect caption = tile.videoDescripLabel().frame();
  EXPECT_NEAR(caption.y(), 60.667, 0.001);
  EXPECT_NEAR(caption.height(), 30.333, 0.001);
  EXPECT_EQ(caption.width(), 147);
  EXPECT_EQ(tile.pictureView().frame(), (Rect{0, 0, 147, 91}));
  EXPECT_EQ(tile.tapButton().frame(), (Rect{0, 0, 147, 91}));
  EXPECT_EQ(tile.videoDescripLabel().font(), Font::boldSystemFontOfSize(9));
  EXPECT_TRUE(tile.clipsToBounds());
}

TEST_F(GridGeometryTest, TwoColumnsOnAWidePhoneWithTheContentWidthFixed) {
  Screen::mainScreen().configure({375, 667}, 2);
  screen = std::make_shared<CoolTopicViewController>();
  serveRecords(4);
  show(screen);
  ASSERT_TRUE(waitForGrid(4));
  EXPECT_EQ(CoolTopicViewController::tileWidth(), 174.5);
  EXPECT_EQ(screen->tiles()[1]->frame(), (Rect{190.5, 10, 174.5, 91}));
  EXPECT_EQ(screen->tiles()[2]->frame(), (Rect{10, 108, 174.5, 91}));
  EXPECT_EQ(screen->scrollView()->contentSize(), (Size{320, 250}));
}

TEST_F(GridGeometryTest, OlderSystemsStartTheGridAtTheTop) {
  Device::currentDevice().setSystemVersion("6.1");
  serveRecords(1);
  show(screen);
  ASSERT_TRUE(waitForGrid(1));
  EXPECT_EQ(screen->scrollView()->frame().y(), 0);
  EXPECT_EQ(screen->backgroundView()->frame().y(), 0);
}

TEST_F(GridGeometryTest, HighlightPictureIsFortyPercentBlackOfTheTileSize) {
  EXPECT_EQ(CoolTopicViewController::createHighlightImageWithFrame({0, 0, 0, 91}), nullptr);
  EXPECT_EQ(CoolTopicViewController::createHighlightImageWithFrame({5, 5, 147, 0}), nullptr);
  auto image = CoolTopicViewController::createHighlightImageWithFrame({10, 108, 147, 91});
  ASSERT_TRUE(image);
  EXPECT_EQ(image->size(), (Size{147, 91}));
  const PixelBuffer* pixels = image->pixels();
  ASSERT_NE(pixels, nullptr);
  EXPECT_EQ(pixels->rgba[0], 0);
  EXPECT_EQ(pixels->rgba[3], 102);

  serveRecords(2);
  show(screen);
  ASSERT_TRUE(waitForGrid(2));
  auto highlighted = screen->tiles()[1]->tapButton().imageForState(ControlStateHighlighted);
  ASSERT_TRUE(highlighted);
  EXPECT_EQ(highlighted->size(), (Size{147, 91}));
}

TEST_F(GridGeometryTest, TouchingATileOpensItsRecordAndSlidesTheTabBarOut) {
  serveRecords(6);
  show(screen);
  ASSERT_TRUE(waitForGrid(6));
  window->layoutIfNeeded();
  auto& tile = *screen->tiles()[3];
  Point centre = tile.convertPointToView({tile.bounds().midX(), tile.bounds().midY()}, nullptr);
  window->touchDown(centre);
  advance(0.2);
  EXPECT_TRUE(tile.tapButton().isHighlighted());
  window->touchUp(centre);

  auto* page = dynamic_cast<RecordPage*>(navigation->topViewController());
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(page->record.get(), screen->countArray()[3].get());  // the same object, not a copy
  auto bar = CustomTarBar::sharedInstance();
  EXPECT_EQ(bar->frame().y(), 568);
  advance(0.15);
  EXPECT_GT(bar->presentationFrame().y(), 523);
  EXPECT_LT(bar->presentationFrame().y(), 568);
  advance(0.5);
  EXPECT_EQ(bar->presentationFrame().y(), 568);

  // Back: the grid appears again without fetching.
  navigation->popViewControllerAnimated(true);
  bar->hideTabBar(false, true);
  advance(0.5);
  EXPECT_EQ(navigation->topViewController(), screen.get());
  EXPECT_EQ(bar->frame().y(), 523);
  EXPECT_EQ(screen->runningRequestCount(), 0u);
  EXPECT_EQ(requests("/infolist"), 2u);
}

TEST_F(GridGeometryTest, ATileBeyondTheRecordsOpensNothing) {
  serveRecords(2);
  show(screen);
  ASSERT_TRUE(waitForGrid(2));
  auto stray = View::make<View>();
  stray->setTag(7);
  auto button = Button::buttonWithType(ButtonType::Custom);
  stray->addSubview(button);
  screen->pushToDetail(*button);
  auto orphan = Button::buttonWithType(ButtonType::Custom);
  screen->pushToDetail(*orphan);
  EXPECT_EQ(navigation->viewControllers().size(), 1u);
  EXPECT_EQ(CustomTarBar::sharedInstance()->frame().y(), 523);
}

TEST_F(CoolTopicTest, TheDefaultPageIsTheLessonDetailPageWithTheSameRecord) {
  JSONValueRef decoded = objectFromJSONString("{\"title\":\"a\",\"imageUrl\":\"b\"}");
  FeedRecord record = FeedRecord::retain(decoded->asDictionary());
  auto page = std::dynamic_pointer_cast<DetailViewController>(makeDetailViewController(record));
  ASSERT_TRUE(page);
  EXPECT_EQ(page->videoInfoDictionary().get(), record.get());
}

TEST_F(CoolTopicTest, FailedOrEmptyThumbnailDownloadsStoreNothing) {
  startServer();
  const std::string base = server->baseURL();
  server->setAnswerHook([=](const demo::RequestRecord& r) -> std::optional<demo::CannedResponse> {
    if (r.target.starts_with("/infolist")) {
      return demo::CannedResponse{
          200, "application/json",
          "[{\"data\":[{\"imageUrl\":\"" + base +
              "/thumbs/missing.jpg\",\"title\":\"gone\"},"
              "{\"imageUrl\":\"" +
              base +
              "/empty/blank.jpg\",\"title\":\"blank\"},"
              "{\"imageUrl\":\"" +
              base +
              "/text/notes.jpg\",\"title\":\"text\"},"
              "{\"imageUrl\":\"http://127.0.0.1:1/closed.jpg\",\"title\":\"closed\"}]}]"};
    }
    if (r.target == "/empty/blank.jpg") return demo::CannedResponse{200, "image/jpeg", ""};
    if (r.target == "/text/notes.jpg")
      return demo::CannedResponse{200, "image/jpeg", "not a picture"};
    return std::nullopt;
  });
  LogCapture log;
  show(screen);
  ASSERT_TRUE(waitForGrid(4));
  ASSERT_TRUE(waitUntil([&] { return screen->thumbnailCache().loader().runningCount() == 0; }));
  RunLoop::main().runUntilIdle();
  const std::string cool = documents() + "/cool/";
  EXPECT_FALSE(std::filesystem::exists(cool + "missing.jpg"));  // a 404 page is no thumbnail
  EXPECT_FALSE(std::filesystem::exists(cool + "blank.jpg"));
  EXPECT_FALSE(std::filesystem::exists(cool + "closed.jpg"));
  // Bytes that are not a picture are kept as sent; the tile shows nothing.
  EXPECT_TRUE(std::filesystem::exists(cool + "notes.jpg"));
  EXPECT_FALSE(screen->tiles()[2]->pictureView().image());
  EXPECT_TRUE(log.contains("nothing download!"));
  EXPECT_TRUE(log.contains("error:"));
  for (const auto& tile : screen->tiles()) EXPECT_FALSE(tile->pictureView().image());
}

TEST_F(CoolTopicTest, RecordsSharingAFileNameShareOneCachedPicture) {
  startServer();
  const std::string base = server->baseURL();
  server->setAnswerHook([=](const demo::RequestRecord& r) -> std::optional<demo::CannedResponse> {
    if (!r.target.starts_with("/infolist")) return std::nullopt;
    return demo::CannedResponse{200, "application/json",
                                "[{\"data\":[{\"imageUrl\":\"" + base +
                                    "/thumbs/topic-05.jpg\",\"title\":\"a\"},"
                                    "{\"imageUrl\":\"" +
                                    base + "/other/topic-05.jpg\",\"title\":\"b\"}]}]"};
  });
  show(screen);
  ASSERT_TRUE(waitForGrid(2));
  ASSERT_TRUE(
      waitUntil([&] { return std::filesystem::exists(documents() + "/cool/topic-05.jpg"); }));
  ASSERT_TRUE(waitUntil([&] { return screen->thumbnailCache().loader().runningCount() == 0; }));
  // A new lay-out finds the one file for both tiles, with no download.
  server->clearRequests();
  screen->parseData();
  EXPECT_TRUE(screen->tiles()[0]->pictureView().image());
  EXPECT_TRUE(screen->tiles()[1]->pictureView().image());
  EXPECT_EQ(requests("/"), 0u);
}

}  // namespace
}  // namespace lorvane
