#include "feeds/thumbnail_cache.h"

#include <gtest/gtest.h>

#include <set>

#include "common/app_configuration.h"
#include "feeds/feed_page.h"
#include "feeds_test_support.h"

namespace lorvane {
namespace {

TEST(ThumbnailFileName, IsTheTextAfterTheLastSlash) {
  EXPECT_EQ(thumbnailFileName("http://host/img/2013/abc.jpg"), "abc.jpg");
  EXPECT_EQ(thumbnailFileName("http://host/a/b.jpg?v=2"), "b.jpg?v=2");
  EXPECT_EQ(thumbnailFileName("picture.png"), "picture.png");
}

TEST(ThumbnailFileName, NamesThatWouldLeaveTheFolderBecomeStableDerivedNames) {
  const char* unsafe[] = {"http://host/img/..",
                          "http://host/img/.",
                          "http://host/img/",
                          "",
                          "http://host/a%2F..%2F..%2Fetc%2Fpasswd",
                          "http://host/%2e%2e",
                          "http://host/a\\..\\b.jpg"};
  std::set<std::string> names;
  for (const char* url : unsafe) {
    std::string name = thumbnailFileName(url);
    SCOPED_TRACE(url);
    EXPECT_TRUE(name.starts_with("thumb-")) << name;
    EXPECT_EQ(name.find('/'), std::string::npos);
    EXPECT_EQ(name.find('%'), std::string::npos);
    EXPECT_EQ(thumbnailFileName(url), name);  // the same URL keeps its file
    names.insert(name);
  }
  EXPECT_EQ(names.size(), std::size(unsafe));
  EXPECT_EQ(thumbnailFileName(std::string("http://host/") + std::string(300, 'a') + ".jpg").size(),
            std::string("thumb-0123456789abcdef.jpg").size());
  // The extension survives, so a derived ".jpg" still counts in the show list.
  EXPECT_TRUE(thumbnailFileName("http://host/x/%2F..%2Fp.jpg").ends_with(".jpg"));
}

class ThumbnailCacheTest : public testing::AppScreenTest {};

TEST_F(ThumbnailCacheTest, PathsStayInsideTheScreenFolderOfTheDocumentsDirectory) {
  ThumbnailCache cache("cool");
  EXPECT_EQ(cache.folderPath(), documents() + "/cool");
  EXPECT_EQ(cache.pathForImageURL("http://h/img/2013/abc.jpg"), documents() + "/cool/abc.jpg");
  for (const char* url : {"http://h/..", "http://h/a%2F..%2F..%2Fx"}) {
    EXPECT_EQ(deletingLastPathComponent(cache.pathForImageURL(url)), cache.folderPath()) << url;
  }
  cache.createDirectoryAtPath(cache.folderPath());
  cache.createDirectoryAtPath(cache.folderPath());  // already there: fine
  EXPECT_TRUE(ThumbnailCache::imageExistsAtPath(cache.folderPath()));
  EXPECT_FALSE(ThumbnailCache::imageExistsAtPath(cache.folderPath() + "/nothing.jpg"));
}

TEST(FeedPage, OnlyAnArrayWhoseFirstElementIsADictionaryIsAFeed) {
  EXPECT_FALSE(decodeFeedPage(std::nullopt));
  EXPECT_FALSE(decodeFeedPage("<html></html>"));
  EXPECT_FALSE(decodeFeedPage("{\"data\":[]}"));
  EXPECT_FALSE(decodeFeedPage("[]"));
  EXPECT_FALSE(decodeFeedPage("[[1]]"));
  auto page = decodeFeedPage("[{\"data\":[{\"imageUrl\":\"u\",\"title\":\"t\"}],\"x\":1}, 5]");
  ASSERT_TRUE(page);
  auto records = feedRecords(page.get());
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(recordString(*records[0], "title"), "t");
  EXPECT_EQ(recordString(*records[0], "missing"), std::nullopt);
  EXPECT_TRUE(feedRecords(nullptr).empty());
}

TEST(AppConfigurationTest, JoinsBaseAndPathWithOneSlash) {
  EXPECT_EQ(joinURL("http://h:1", "/infolist?a=1"), "http://h:1/infolist?a=1");
  EXPECT_EQ(joinURL("http://h:1//", "/x"), "http://h:1/x");
  EXPECT_EQ(joinURL("http://h", "x"), "http://h/x");
  AppConfiguration defaults = AppConfiguration::buildDefaults();
  EXPECT_FALSE(defaults.feedbackAddress.empty());
  EXPECT_FALSE(defaults.storeAppURL.empty());
}

}  // namespace
}  // namespace lorvane
