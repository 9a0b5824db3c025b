#include <gtest/gtest.h>

#include <filesystem>

#include "common/lesson_progress_store.h"
#include "feeds/cool_topic_view_controller.h"
#include "feeds/mini_video_cell.h"
#include "feeds/show_video_cell.h"
#include "feeds/show_view_controller.h"
#include "feeds_test_support.h"
#include "platform/render/display.h"

// What the feeds show of the lessons watched: a thin bar for the part
// watched and a ✓ for a finished lesson, from the stored positions, fresh
// on every return from a lesson.

namespace lorvane {
namespace {

class LessonPage : public ViewController {};

bool isAccent(const Color& c) {
  return std::abs(c.red - 222 / 255.0) < 0.08 && std::abs(c.green - 18 / 255.0) < 0.08 &&
         std::abs(c.blue - 104 / 255.0) < 0.08;
}

// Like the port the sample server had in an earlier launch.
std::string onAnotherPort(const std::string& url) {
  std::optional<URL> parsed = URL::parse(url);
  return parsed ? "http://127.0.0.1:1" + parsed->percentEncodedPath() : url;
}

class FeedProgressTest : public testing::AppScreenTest {
 protected:
  void tearDownScreens() override {
    grid.reset();
    list.reset();
  }
  // A lesson opened over the screen and left again.
  void visitALessonAndComeBack() {
    navigation->pushViewController(std::make_shared<LessonPage>(), false);
    navigation->popViewControllerAnimated(false);
    RunLoop::main().runUntilIdle();
  }

  std::shared_ptr<CoolTopicViewController> grid;
  std::shared_ptr<ShowViewController> list;
};

TEST_F(FeedProgressTest, GridTilesShowThePartWatchedAndTheFinishedMark) {
  startServer();
  grid = std::make_shared<CoolTopicViewController>();
  show(grid);
  ASSERT_TRUE(
      waitUntil([&] { return grid->tiles().size() >= 3 && grid->runningRequestCount() == 0; }));
  for (const auto& tile : grid->tiles()) {
    EXPECT_TRUE(tile->progressView().bar().isHidden());
    EXPECT_TRUE(tile->progressView().finishedMark().isHidden());
  }
  const auto& tiles = grid->tiles();
  ASSERT_FALSE(tiles[0]->lessonURL().empty());
  LessonProgressStore& store = LessonProgressStore::shared();
  store.recordPosition(onAnotherPort(tiles[0]->lessonURL()), 15, 60);
  store.recordFinished(tiles[1]->lessonURL(), 40);
  ASSERT_TRUE(store.save());
  // Nothing changes until the grid shows again.
  EXPECT_TRUE(tiles[0]->progressView().bar().isHidden());

  visitALessonAndComeBack();
  const WatchedProgressView& quarter = tiles[0]->progressView();
  EXPECT_FALSE(quarter.bar().isHidden());
  EXPECT_TRUE(quarter.finishedMark().isHidden());
  EXPECT_DOUBLE_EQ(quarter.fraction(), 0.25);
  tiles[0]->layoutIfNeeded();
  EXPECT_NEAR(quarter.bar().frame().width(), tiles[0]->bounds().width() / 4, 1e-6);
  EXPECT_DOUBLE_EQ(quarter.bar().frame().maxY(), tiles[0]->bounds().height());
  const WatchedProgressView& done = tiles[1]->progressView();
  EXPECT_FALSE(done.finishedMark().isHidden());
  EXPECT_EQ(done.finishedMark().text(), "✓");
  EXPECT_DOUBLE_EQ(done.fraction(), 1);
  EXPECT_TRUE(tiles[2]->progressView().bar().isHidden());
  // The bar takes no touches: a tap on it still opens the lesson.
  EXPECT_FALSE(quarter.isUserInteractionEnabled());
}

TEST_F(FeedProgressTest, ShowRowsShowThePartWatchedAndTheFinishedMark) {
  startServer();
  list = std::make_shared<ShowViewController>();
  show(list);
  ASSERT_TRUE(waitUntil([&] { return list->videoDescrip().size() >= 2; }));
  RunLoop::main().runUntilIdle();
  window->layoutIfNeeded();
  auto rowAt = [&](int row) {
    return std::dynamic_pointer_cast<ShowVideoCell>(
        list->tableView()->cellForRowAtIndexPath(IndexPath{0, row}));
  };
  ASSERT_TRUE(rowAt(0) && rowAt(1));
  EXPECT_TRUE(rowAt(0)->progressView().bar().isHidden());
  LessonProgressStore& store = LessonProgressStore::shared();
  store.recordPosition(rowAt(0)->lessonURL(), 30, 40);
  store.recordFinished(onAnotherPort(rowAt(1)->lessonURL()), 50);
  ASSERT_TRUE(store.save());

  visitALessonAndComeBack();
  EXPECT_FALSE(rowAt(0)->progressView().bar().isHidden());
  EXPECT_DOUBLE_EQ(rowAt(0)->progressView().fraction(), 0.75);
  EXPECT_TRUE(rowAt(0)->progressView().finishedMark().isHidden());
  EXPECT_FALSE(rowAt(1)->progressView().finishedMark().isHidden());
  // A reused row takes the progress of the lesson it shows now.
  list->tableView()->reloadData();
  window->layoutIfNeeded();
  EXPECT_DOUBLE_EQ(rowAt(0)->progressView().fraction(), 0.75);
  EXPECT_DOUBLE_EQ(rowAt(1)->progressView().fraction(), 1);
}

TEST_F(FeedProgressTest, ATileAndARowAsDrawn) {
  std::string error;
  auto display = Display::create({.headless = true, .scale = 1}, &error);
  ASSERT_TRUE(display) << error;
  LessonProgressStore& store = LessonProgressStore::shared();
  store.recordPosition("http://h/half.mp4", 30, 60);
  store.recordFinished("http://h/done.mp4", 60);

  auto root = View::make<View>(Rect{0, 0, 320, 568});
  root->setBackgroundColor(Color::black());
  auto tile = View::make<MiniVideoCell>(Rect{10, 10, 140, 100});
  tile->videoDescripLabel().setText("Half watched");
  tile->setLessonURL("http://h/half.mp4");
  tile->refreshProgress();
  root->addSubview(tile);
  auto row = std::make_shared<ShowVideoCell>(TableViewCellStyle::Default, "cell");
  row->setFrame({0, 130, 320, 160});
  row->setVideoDsecrip("Finished lesson");
  row->setLessonURL("http://h/done.mp4");
  row->refreshProgress();
  root->addSubview(row);
  display->drawFrame(*root);
  EXPECT_TRUE(
      display->saveScreenshot(std::filesystem::path(LORVANE_BINARY_DIR) / "feed-progress.png"));

  // The tile's bottom edge: accent for the first half, not after it.
  const int barY = 10 + 100 - 2;
  auto watched = display->pixelAt(10 + 35, barY);
  auto unwatched = display->pixelAt(10 + 105, barY);
  ASSERT_TRUE(watched && unwatched);
  EXPECT_TRUE(isAccent(*watched));
  EXPECT_FALSE(isAccent(*unwatched));
  // Above the bar the title band is drawn as before.
  auto band = display->pixelAt(10 + 35, barY - 6);
  ASSERT_TRUE(band);
  EXPECT_FALSE(isAccent(*band));
  // No ✓ on the half-watched tile.
  auto tileCorner = display->pixelAt(10 + 140 - 4 - 18 + 3, 10 + 4 + 9);
  ASSERT_TRUE(tileCorner);
  EXPECT_FALSE(isAccent(*tileCorner));
  // The finished row: a full bar along the picture's bottom and the mark
  // in its top right corner.
  auto rowBarLeft = display->pixelAt(10 + 20, 130 + 7 + 153 - 2);
  auto rowBarRight = display->pixelAt(10 + 280, 130 + 7 + 153 - 2);
  ASSERT_TRUE(rowBarLeft && rowBarRight);
  EXPECT_TRUE(isAccent(*rowBarLeft));
  EXPECT_TRUE(isAccent(*rowBarRight));
  // Left of the tick, inside the round mark.
  auto mark = display->pixelAt(10 + 300 - 4 - 18 + 3, 130 + 7 + 4 + 9);
  ASSERT_TRUE(mark);
  EXPECT_TRUE(isAccent(*mark));
}

}  // namespace
}  // namespace lorvane
