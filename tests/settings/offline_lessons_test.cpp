#include <gtest/gtest.h>

#include <filesystem>

#include "common/lesson_downloads.h"
#include "demo/server/content_catalog.h"
#include "feeds_test_support.h"
#include "settings/offline_lessons_view_controller.h"
#include "settings/setting_view_controller.h"

// The settings row "离线课程" and its page: the kept lessons with their
// sizes and the total, deleting one, and deleting all after asking.

namespace lorvane {
namespace {

namespace fs = std::filesystem;

TEST(OfflineLessonsTextTest, SizesAndTotals) {
  EXPECT_EQ(OfflineLessonsViewController::sizeText(1258291), "1.2 MB");
  EXPECT_EQ(OfflineLessonsViewController::sizeText(640 * 1024), "640 KB");
  EXPECT_EQ(OfflineLessonsViewController::sizeText(100), "1 KB");
  EXPECT_EQ(OfflineLessonsViewController::summaryText(2, 1258291), "共 2 节，1.2 MB");
  EXPECT_EQ(OfflineLessonsViewController::summaryText(0, 0), "还没有离线课程");
}

class OfflineLessonsTest : public testing::AppScreenTest {
 protected:
  void SetUp() override {
    AppScreenTest::SetUp();
    startServer();
    std::string error;
    ASSERT_TRUE(catalog.load(demo::defaultSourceDirectory(), &error)) << error;
    settings = std::make_shared<SettingViewController>();
  }
  void tearDownScreens() override { settings.reset(); }

  // The first `count` lessons of the topic feed: video URL and title.
  std::vector<std::pair<std::string, std::string>> lessons(std::size_t count) {
    JSONValueRef feed = objectFromJSONString(catalog.topicFeed(server->baseURL()));
    const JSONArray* records =
        feed->asArray()->objectAtIndex(0)->asDictionary()->objectForKey("data")->asArray();
    std::vector<std::pair<std::string, std::string>> found;
    for (std::size_t i = 0; i < count && i < records->count(); ++i) {
      const JSONDictionary* record = records->objectAtIndex(i)->asDictionary();
      found.emplace_back(record->objectForKey("videoUrl")->asString()->str(),
                         record->objectForKey("title")->asString()->str());
    }
    return found;
  }
  void keep(std::size_t count) {
    LessonDownloads& downloads = LessonDownloads::shared();
    for (const auto& [url, title] : lessons(count)) downloads.download(url, "", title);
    ASSERT_TRUE(waitUntil([&] { return downloads.completedDownloads().size() == count; }, 60));
  }
  // Opens the page as a learner does: a touch on the settings row.
  std::shared_ptr<OfflineLessonsViewController> openPage() {
    show(settings);
    window->layoutIfNeeded();
    auto cell = settings->tableView()->cellForRowAtIndexPath(IndexPath{2, 0});
    EXPECT_TRUE(cell);
    if (!cell) return nullptr;
    EXPECT_EQ(cell->textLabel().text(), "离线课程");
    press(*cell);
    advance(1);
    RunLoop::main().runUntilIdle();
    ViewController* top = navigation->topViewController();
    auto page =
        top ? std::dynamic_pointer_cast<OfflineLessonsViewController>(top->shared_from_this())
            : nullptr;
    if (page) page->view()->layoutIfNeeded();
    return page;
  }
  static std::string titleOf(const TableViewCellPtr& cell) {
    auto* title = static_cast<Label*>(
        cell->contentView().viewWithTag(OfflineLessonsViewController::kTitleLabelTag));
    return title ? title->text() : "(no title)";
  }
  TableViewCellPtr rowAt(OfflineLessonsViewController& page, int row) {
    page.view()->layoutIfNeeded();
    return page.tableView()->cellForRowAtIndexPath(IndexPath{0, row});
  }

  demo::ContentCatalog catalog;
  std::shared_ptr<SettingViewController> settings;
};

TEST_F(OfflineLessonsTest, NoKeptLessonsSaysSo) {
  auto page = openPage();
  ASSERT_TRUE(page);
  EXPECT_GT(CustomTarBar::sharedInstance()->frame().y(), CustomTarBar::shownY());
  EXPECT_EQ(page->summaryLabel()->text(), "还没有离线课程");
  EXPECT_EQ(page->numberOfRowsInSection(*page->tableView(), 0), 0);
  EXPECT_FALSE(page->deleteAllButton()->isEnabled());
}

TEST_F(OfflineLessonsTest, ListsSizesDeletesOneAndAllAfterAsking) {
  keep(3);
  auto page = openPage();
  ASSERT_TRUE(page);
  LessonDownloads& downloads = LessonDownloads::shared();
  ASSERT_EQ(page->lessons().size(), 3u);
  EXPECT_EQ(page->summaryLabel()->text(),
            OfflineLessonsViewController::summaryText(3, downloads.totalCompletedSize()));
  EXPECT_TRUE(page->summaryLabel()->text().starts_with("共 3 节，"));
  auto expected = lessons(3);
  for (int row = 0; row < 3; ++row) {
    auto cell = rowAt(*page, row);
    ASSERT_TRUE(cell);
    EXPECT_EQ(titleOf(cell), expected[static_cast<std::size_t>(row)].second);
    auto* size = static_cast<Label*>(
        cell->contentView().viewWithTag(OfflineLessonsViewController::kSizeLabelTag));
    ASSERT_TRUE(size);
    EXPECT_EQ(size->text(), OfflineLessonsViewController::sizeText(downloads.sizeOnDisk(
                                page->lessons()[static_cast<std::size_t>(row)])));
  }

  // The second row's own delete button.
  const std::string secondFile = downloads.videoPath(page->lessons()[1]);
  ASSERT_TRUE(fs::exists(secondFile));
  auto second = rowAt(*page, 1);
  press(*second->contentView().viewWithTag(OfflineLessonsViewController::kDeleteButtonTag));
  EXPECT_FALSE(fs::exists(secondFile));
  ASSERT_EQ(page->lessons().size(), 2u);
  EXPECT_EQ(titleOf(rowAt(*page, 1)), expected[2].second);
  EXPECT_TRUE(page->summaryLabel()->text().starts_with("共 2 节，"));

  // "全部删除" asks first; "取消" keeps everything.
  press(*page->deleteAllButton());
  auto alert = page->confirmationAlert();
  ASSERT_TRUE(alert);
  EXPECT_EQ(alert->buttonTitleAtIndex(0), "取消");
  EXPECT_EQ(alert->buttonTitleAtIndex(1), "删除");
  alert->clickButtonAtIndex(0);
  EXPECT_EQ(page->lessons().size(), 2u);
  EXPECT_EQ(downloads.completedDownloads().size(), 2u);
  press(*page->deleteAllButton());
  page->confirmationAlert()->clickButtonAtIndex(1);
  EXPECT_TRUE(page->lessons().empty());
  EXPECT_TRUE(downloads.downloads().empty());
  EXPECT_EQ(page->summaryLabel()->text(), "还没有离线课程");
  EXPECT_EQ(page->numberOfRowsInSection(*page->tableView(), 0), 0);
  for (const auto& file : fs::directory_iterator(LessonDownloads::defaultFolder())) {
    EXPECT_EQ(file.path().filename(), "index.json");
  }
}

}  // namespace
}  // namespace lorvane
