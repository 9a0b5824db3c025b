#include "common/lesson_progress_store.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "common/documents_folder.h"
#include "common/durable_file.h"
#include "platform/foundation/log.h"

namespace lorvane {
namespace {

namespace fs = std::filesystem;

class LessonProgressStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder.ok());
    FileManager::defaultManager().createDirectory(folder.documents(), true);
  }
  std::string path() const { return LessonProgressStore::defaultPath(); }
  static void writeFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
  }
  static std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  std::vector<std::string> setAsideFiles() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder.documents())) {
      std::string name = entry.path().filename().string();
      if (name.rfind("LessonProgress.corrupt-", 0) == 0) names.push_back(name);
    }
    return names;
  }

  testing::ScopedDocumentsFolder folder;
};

TEST_F(LessonProgressStoreTest, KeysIgnoreTheLoopbackPortOnly) {
  EXPECT_EQ(LessonProgressStore::keyForURL("http://127.0.0.1:41234/videos/a.mp4"),
            LessonProgressStore::keyForURL("http://127.0.0.1:5000/videos/a.mp4"));
  EXPECT_EQ(LessonProgressStore::keyForURL("http://localhost:8080/v.mp4?x=1"),
            "http://localhost/v.mp4?x=1");
  // Another host's port is part of where the lesson lives.
  EXPECT_NE(LessonProgressStore::keyForURL("http://example.org:8080/a.mp4"),
            LessonProgressStore::keyForURL("http://example.org:9090/a.mp4"));
  EXPECT_NE(LessonProgressStore::keyForURL("http://127.0.0.1:1/a.mp4"),
            LessonProgressStore::keyForURL("http://127.0.0.1:1/b.mp4"));
}

TEST_F(LessonProgressStoreTest, PositionsSurviveANewLaunchUnderAnotherPort) {
  {
    LessonProgressStore store(path());
    store.recordPosition("http://127.0.0.1:40001/videos/a.mp4", 23.4, 60);
    store.recordPosition("http://127.0.0.1:40001/videos/b.mp4", 10, 0);
    ASSERT_TRUE(store.save());
    EXPECT_FALSE(store.hasUnsavedChanges());
  }
  LessonProgressStore again(path());
  auto a = again.progressForURL("http://127.0.0.1:40777/videos/a.mp4");
  ASSERT_TRUE(a);
  EXPECT_NEAR(a->position, 23.4, 1e-6);
  EXPECT_DOUBLE_EQ(a->duration, 60);
  EXPECT_FALSE(a->finished);
  EXPECT_NEAR(a->fraction(), 23.4 / 60, 1e-6);
  EXPECT_NEAR(again.resumePositionForURL("http://127.0.0.1:1/videos/a.mp4"), 23.4, 1e-6);
  // Length unknown: resumable, no fraction to show yet.
  auto b = again.progressForURL("http://127.0.0.1:1/videos/b.mp4");
  ASSERT_TRUE(b);
  EXPECT_DOUBLE_EQ(b->fraction(), 0);
  EXPECT_DOUBLE_EQ(again.resumePositionForURL("http://127.0.0.1:1/videos/b.mp4"), 10);
  EXPECT_FALSE(again.progressForURL("http://127.0.0.1:1/videos/c.mp4"));
}

TEST_F(LessonProgressStoreTest, TheLastSecondsAndTheEndCountAsFinished) {
  LessonProgressStore store(path());
  const std::string url = "http://host/a.mp4";
  store.recordPosition(url, 56.5, 60);  // 3.5 s left: not yet
  EXPECT_FALSE(store.progressForURL(url)->finished);
  store.recordPosition(url, 57.5, 60);  // inside the last 3 s
  auto entry = store.progressForURL(url);
  ASSERT_TRUE(entry);
  EXPECT_TRUE(entry->finished);
  EXPECT_DOUBLE_EQ(entry->fraction(), 1);
  EXPECT_DOUBLE_EQ(store.resumePositionForURL(url), 0);
  // Watching again from the start keeps the finished mark, and still
  // starts from the beginning next time.
  store.recordPosition(url, 12, 60);
  EXPECT_TRUE(store.progressForURL(url)->finished);
  EXPECT_DOUBLE_EQ(store.resumePositionForURL(url), 0);

  store.recordPosition("http://host/b.mp4", 40, 60);
  EXPECT_DOUBLE_EQ(store.resumePositionForURL("http://host/b.mp4"), 40);
  store.recordFinished("http://host/b.mp4", 60);
  EXPECT_DOUBLE_EQ(store.resumePositionForURL("http://host/b.mp4"), 0);
  EXPECT_DOUBLE_EQ(store.progressForURL("http://host/b.mp4")->position, 60);
  // Barely begun is not worth offering.
  store.recordPosition("http://host/c.mp4", 0.4, 60);
  EXPECT_DOUBLE_EQ(store.resumePositionForURL("http://host/c.mp4"), 0);
  // Nonsense positions are not kept.
  store.recordPosition("http://host/d.mp4", -4, 60);
  store.recordPosition("http://host/e.mp4", NAN, 60);
  EXPECT_FALSE(store.progressForURL("http://host/d.mp4"));
  EXPECT_FALSE(store.progressForURL("http://host/e.mp4"));
  // A position past the end is the end.
  store.recordPosition("http://host/f.mp4", 90, 60);
  EXPECT_DOUBLE_EQ(store.progressForURL("http://host/f.mp4")->position, 60);
}

TEST_F(LessonProgressStoreTest, ACorruptFileIsSetAsideLoggedAndReplaced) {
  writeFile(path(), "{\"version\":1,\"lessons\":{\"http://h/a.mp4\":{\"position\":1");
  LogCapture log;
  LessonProgressStore store(path());
  EXPECT_EQ(store.count(), 0u);
  auto asides = setAsideFiles();
  ASSERT_EQ(asides.size(), 1u);
  EXPECT_EQ(fs::path(store.setAsidePath()).filename().string(), asides[0]);
  EXPECT_EQ(fs::path(asides[0]).extension(), ".json");
  EXPECT_TRUE(log.contains("LessonProgress"));
  EXPECT_TRUE(log.contains(asides[0]));
  // The bad bytes are kept for whoever wants to look at them.
  EXPECT_EQ(readFile(store.setAsidePath()),
            "{\"version\":1,\"lessons\":{\"http://h/a.mp4\":{\"position\":1");
  EXPECT_FALSE(fs::exists(path()));

  store.recordPosition("http://h/a.mp4", 5, 50);
  ASSERT_TRUE(store.save());
  LessonProgressStore again(path());
  EXPECT_DOUBLE_EQ(again.progressForURL("http://h/a.mp4")->position, 5);
  EXPECT_EQ(setAsideFiles().size(), 1u);
}

TEST_F(LessonProgressStoreTest, WellFormedButWrongShapesAreHandled) {
  // Not our shape at all: set aside.
  writeFile(path(), "[1,2,3]");
  LessonProgressStore first(path());
  EXPECT_EQ(first.count(), 0u);
  EXPECT_EQ(setAsideFiles().size(), 1u);
  // Our shape with a few odd entries: the good ones stay.
  writeFile(path(),
            "{\"version\":1,\"lessons\":{\"http://h/good.mp4\":{\"position\":7,\"duration\":70},"
            "\"http://h/odd.mp4\":\"seven\",\"http://h/neg.mp4\":{\"position\":-1},"
            "\"http://h/text.mp4\":{\"position\":\"7\"}}}");
  LessonProgressStore second(path());
  EXPECT_EQ(second.count(), 1u);
  EXPECT_DOUBLE_EQ(second.progressForURL("http://h/good.mp4")->position, 7);
  EXPECT_EQ(setAsideFiles().size(), 1u);
}

TEST_F(LessonProgressStoreTest, AFailedSaveKeepsTheOldFileAndTriesAgain) {
  LessonProgressStore store(path());
  store.recordPosition("http://h/a.mp4", 5, 50);
  ASSERT_TRUE(store.save());
  const std::string before = readFile(path());

  // A folder (not empty) where the file should go: the rename into place
  // fails after the temporary file was written.
  LessonProgressStore blocked(folder.documents() + "/blocked/LessonProgress.json");
  fs::create_directories(folder.documents() + "/blocked/LessonProgress.json/inside");
  blocked.recordPosition("http://h/a.mp4", 9, 50);
  LogCapture log;
  EXPECT_FALSE(blocked.save());
  EXPECT_TRUE(blocked.hasUnsavedChanges());
  EXPECT_TRUE(log.contains("LessonProgress"));
  EXPECT_DOUBLE_EQ(blocked.progressForURL("http://h/a.mp4")->position, 9);
  // No temporary file is left behind.
  ASSERT_TRUE(fs::is_directory(folder.documents() + "/blocked/LessonProgress.json/inside"));
  for (const auto& entry : fs::directory_iterator(folder.documents() + "/blocked")) {
    EXPECT_EQ(entry.path().filename(), "LessonProgress.json");
  }
  EXPECT_EQ(readFile(path()), before);
}

TEST_F(LessonProgressStoreTest, TheSharedStoreFollowsTheDocumentsFolder) {
  LessonProgressStore& shared = LessonProgressStore::shared();
  shared.recordPosition("http://h/a.mp4", 5, 50);
  ASSERT_TRUE(shared.save());
  EXPECT_EQ(shared.path(), folder.documents() + "/LessonProgress.json");
  {
    testing::ScopedDocumentsFolder other;
    EXPECT_FALSE(LessonProgressStore::shared().progressForURL("http://h/a.mp4"));
  }
  EXPECT_DOUBLE_EQ(LessonProgressStore::shared().progressForURL("http://h/a.mp4")->position, 5);
}

TEST(DurableFileTest, ReplacesWholeOrNotAtAll) {
  testing::ScopedDocumentsFolder folder;
  ASSERT_TRUE(folder.ok());
  const std::string path = folder.root() + "/file.txt";
  std::string error;
  ASSERT_TRUE(writeFileDurably(path, "first", &error)) << error;
  ASSERT_TRUE(writeFileDurably(path, "second", &error)) << error;
  std::ifstream in(path);
  std::string text((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(text, "second");
  EXPECT_FALSE(writeFileDurably(folder.root() + "/missing/file.txt", "x", &error));
  EXPECT_NE(error.find("file.txt"), std::string::npos);
}

}  // namespace
}  // namespace lorvane
