#include "platform/foundation/file_manager.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace lorvane {
namespace {

class FileManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = (std::filesystem::temp_directory_path() /
             ("lorvane-fm-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
              "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name()))
                .string();
    std::filesystem::remove_all(root_);
    files_.setRootDirectory(root_);
  }
  void TearDown() override { std::filesystem::remove_all(root_); }
  FileManager& files_ = FileManager::defaultManager();
  std::string root_;
};

TEST_F(FileManagerTest, StandardFoldersLiveUnderTheRoot) {
  EXPECT_EQ(files_.documentsDirectory(), root_ + "/Documents");
  EXPECT_EQ(files_.cachesDirectory(), root_ + "/Library/Caches");
  EXPECT_FALSE(files_.fileExists(files_.documentsDirectory()));
}

TEST_F(FileManagerTest, CreatesFoldersWithIntermediatesOnlyWhenAsked) {
  const std::string deep = files_.documentsDirectory() + "/cool/nested";
  ErrorPtr error;
  EXPECT_FALSE(files_.createDirectory(deep, false, &error));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->domain, kCocoaErrorDomain);
  EXPECT_TRUE(files_.createDirectory(deep, true));
  bool isDirectory = false;
  EXPECT_TRUE(files_.fileExists(deep, &isDirectory));
  EXPECT_TRUE(isDirectory);
  EXPECT_TRUE(files_.createDirectory(deep, true)) << "an existing folder is fine";
}

TEST_F(FileManagerTest, AtomicWriteReplacesWholeFilesAndLeavesNoTemporaries) {
  ASSERT_TRUE(files_.createDirectory(files_.documentsDirectory(), true));
  const std::string path = files_.documentsDirectory() + "/thumb.jpg";
  ASSERT_TRUE(files_.writeAtomically(path, std::string_view("first version")));
  ASSERT_TRUE(files_.writeAtomically(path, Data{'s', 'e', 'c', 'o', 'n', 'd'}));
  auto read = files_.stringContentsAtPath(path);
  ASSERT_TRUE(read);
  EXPECT_EQ(*read, "second");
  EXPECT_EQ(files_.contentsOfDirectory(files_.documentsDirectory()),
            std::vector<std::string>{"thumb.jpg"});
  auto attributes = files_.attributesOfItem(path);
  ASSERT_TRUE(attributes);
  EXPECT_EQ(attributes->size, 6u);
  EXPECT_FALSE(attributes->isDirectory);
  EXPECT_TRUE(files_.setModificationDate(path, 1000000000.0));
  EXPECT_NEAR(files_.attributesOfItem(path)->modificationDate, 1000000000.0, 1e-3);
}

TEST_F(FileManagerTest, ConcurrentWritersNeverLeaveAMixedFile) {
  ASSERT_TRUE(files_.createDirectory(root_, true));
  const std::string path = root_ + "/shared.bin";
  const std::string a(100000, 'a');
  const std::string b(100000, 'b');
  std::thread first([&] {
    for (int i = 0; i < 20; ++i) files_.writeAtomically(path, a);
  });
  std::thread second([&] {
    for (int i = 0; i < 20; ++i) files_.writeAtomically(path, b);
  });
  first.join();
  second.join();
  auto read = files_.stringContentsAtPath(path);
  ASSERT_TRUE(read);
  EXPECT_TRUE(*read == a || *read == b);
  EXPECT_EQ(files_.contentsOfDirectory(root_).size(), 1u);
}

TEST_F(FileManagerTest, FailuresAreReportedAsValues) {
  ErrorPtr error;
  EXPECT_FALSE(files_.writeAtomically(root_ + "/missing/x", std::string_view("x"), &error));
  ASSERT_TRUE(error);
  EXPECT_NE(error->localizedDescription().find("couldn't be saved"), std::string::npos);
  EXPECT_FALSE(files_.contentsAtPath(root_ + "/nothing"));
  EXPECT_FALSE(files_.removeItem(root_ + "/nothing"));
  EXPECT_TRUE(files_.contentsOfDirectory(root_ + "/nothing").empty());
}

TEST_F(FileManagerTest, MoveRefusesToOverwrite) {
  ASSERT_TRUE(files_.createDirectory(root_, true));
  ASSERT_TRUE(files_.writeAtomically(root_ + "/a", std::string_view("a")));
  ASSERT_TRUE(files_.writeAtomically(root_ + "/b", std::string_view("b")));
  EXPECT_FALSE(files_.moveItem(root_ + "/a", root_ + "/b"));
  EXPECT_TRUE(files_.moveItem(root_ + "/a", root_ + "/c"));
  EXPECT_EQ(*files_.stringContentsAtPath(root_ + "/c"), "a");
  EXPECT_TRUE(files_.removeItem(root_ + "/c"));
  EXPECT_FALSE(files_.fileExists(root_ + "/c"));
}

TEST(PathTest, ComponentsFollowThePlatformRules) {
  EXPECT_EQ(appendingPathComponent("/a/", "/b"), "/a/b");
  EXPECT_EQ(appendingPathComponent("", "b"), "b");
  EXPECT_EQ(lastPathComponent("/a/b.tar.gz"), "b.tar.gz");
  EXPECT_EQ(lastPathComponent("/a/b//"), "b");
  EXPECT_EQ(lastPathComponent("/"), "/");
  EXPECT_EQ(lastPathComponent(""), "");
  EXPECT_EQ(deletingLastPathComponent("/a/b"), "/a");
  EXPECT_EQ(deletingLastPathComponent("/a"), "/");
  EXPECT_EQ(pathExtension("/a/b.tar.gz"), "gz");
  EXPECT_EQ(pathExtension("/a/noext"), "");
  EXPECT_EQ(pathExtension("/a/trailing."), "");
  EXPECT_EQ(deletingPathExtension("/a/b.jpg"), "/a/b");
}

}  // namespace
}  // namespace lorvane
