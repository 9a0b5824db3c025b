#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <filesystem>

#include "platform/foundation/file_manager.h"
#include "platform/services/png_encoder.h"
#include "platform/services/share_sns_service.h"
#include "platform/ui/snapshot.h"
#include "player_test_support.h"

namespace lorvane {
namespace {

std::uint32_t readUint32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return std::uint32_t(b[at]) << 24 | std::uint32_t(b[at + 1]) << 16 |
         std::uint32_t(b[at + 2]) << 8 | std::uint32_t(b[at + 3]);
}

struct Chunk {
  std::string type;
  std::vector<std::uint8_t> data;
  bool crcMatches = false;
};

// Splits a PNG into its chunks, checking each CRC.
std::vector<Chunk> chunksOf(const std::vector<std::uint8_t>& png) {
  std::vector<Chunk> chunks;
  std::size_t at = 8;
  while (at + 12 <= png.size()) {
    std::uint32_t length = readUint32(png, at);
    if (at + 12 + length > png.size()) break;
    Chunk chunk;
    chunk.type.assign(png.begin() + at + 4, png.begin() + at + 8);
    chunk.data.assign(png.begin() + at + 8, png.begin() + at + 8 + length);
    uLong crc = crc32(0L, png.data() + at + 4, 4 + length);
    chunk.crcMatches = crc == readUint32(png, at + 8 + length);
    chunks.push_back(std::move(chunk));
    at += 12 + length;
  }
  return chunks;
}

TEST(PNGEncoderTest, PixelsSurviveTheRoundTrip) {
  PixelBuffer pixels;
  pixels.width = 3;
  pixels.height = 2;
  for (int i = 0; i < 3 * 2 * 4; ++i) pixels.rgba.push_back(static_cast<std::uint8_t>(i * 10));
  auto png = encodePNG(pixels);
  ASSERT_TRUE(png);
  EXPECT_EQ(std::vector<std::uint8_t>(png->begin(), png->begin() + 8),
            (std::vector<std::uint8_t>{0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'}));
  auto chunks = chunksOf(*png);
  ASSERT_EQ(chunks.size(), 3u);
  EXPECT_EQ(chunks[0].type, "IHDR");
  EXPECT_EQ(chunks[1].type, "IDAT");
  EXPECT_EQ(chunks[2].type, "IEND");
  for (const auto& c : chunks) EXPECT_TRUE(c.crcMatches) << c.type;
  EXPECT_EQ(readUint32(chunks[0].data, 0), 3u);
  EXPECT_EQ(readUint32(chunks[0].data, 4), 2u);
  EXPECT_EQ(chunks[0].data[8], 8);  // bit depth
  EXPECT_EQ(chunks[0].data[9], 6);  // RGBA
  std::vector<std::uint8_t> raw(2 * (1 + 12));
  uLongf rawSize = raw.size();
  ASSERT_EQ(uncompress(raw.data(), &rawSize, chunks[1].data.data(), chunks[1].data.size()), Z_OK);
  ASSERT_EQ(rawSize, raw.size());
  EXPECT_EQ(raw[0], 0);
  EXPECT_EQ(raw[13], 0);
  EXPECT_EQ(std::vector<std::uint8_t>(raw.begin() + 1, raw.begin() + 13),
            std::vector<std::uint8_t>(pixels.rgba.begin(), pixels.rgba.begin() + 12));
  EXPECT_EQ(std::vector<std::uint8_t>(raw.begin() + 14, raw.end()),
            std::vector<std::uint8_t>(pixels.rgba.begin() + 12, pixels.rgba.end()));
}

TEST(PNGEncoderTest, InconsistentBuffersAreRefused) {
  PixelBuffer empty;
  EXPECT_FALSE(encodePNG(empty));
  PixelBuffer shortRows;
  shortRows.width = 4;
  shortRows.height = 4;
  shortRows.rgba.assign(10, 0);
  EXPECT_FALSE(encodePNG(shortRows));
}

TEST(PNGEncoderTest, DrawnSnapshotsBecomePNG) {
  auto image = imageFilledWithColor(Color::redColor(), {4, 4}, 1);
  ASSERT_TRUE(image);
  auto png = PNGRepresentation(*image);
  ASSERT_TRUE(png);
  auto chunks = chunksOf(*png);
  ASSERT_FALSE(chunks.empty());
  EXPECT_EQ(readUint32(chunks[0].data, 0), 4u);
}

class ShareServiceTest : public testing::PlayerUiTest {
 protected:
  void SetUp() override {
    PlayerUiTest::SetUp();
    home = std::filesystem::temp_directory_path() /
           ("lorvane-share-test-" + std::to_string(::getpid()));
    std::filesystem::remove_all(home);
    FileManager::defaultManager().setRootDirectory(home.string());
  }
  void TearDown() override {
    PlayerUiTest::TearDown();
    std::filesystem::remove_all(home);
  }
  std::filesystem::path home;
};

TEST_F(ShareServiceTest, RequestsInTheSameInstantGetFoldersOfTheirOwn) {
  ShareRequest request{"0123456789abcdef01234567", "hello", "sms", nullptr};
  ErrorPtr error;
  auto first = ShareSnsService::recordShareRequest(request, &error);
  auto second = ShareSnsService::recordShareRequest(request, &error);
  ASSERT_TRUE(first && second);
  EXPECT_NE(*first, *second);
  auto json = FileManager::defaultManager().stringContentsAtPath(*second + "/request.json");
  ASSERT_TRUE(json);
  EXPECT_NE(json->find("\"image\""), std::string::npos);
  EXPECT_FALSE(FileManager::defaultManager().fileExists(*first + "/snapshot.png"));
}

TEST_F(ShareServiceTest, AFingerOnAPlatformSharesAndTakesTheSheetAway) {
  auto page = std::make_shared<ViewController>();
  window->setRootViewController(page);
  ShareSnsService::presentSnsIconSheetView(*page, "key-1", "lesson text", nullptr,
                                           {"tencent", "email"}, nullptr);
  window->layoutIfNeeded();
  Point target;
  {
    // Only the page holds the sheet while the finger is down, as in the app.
    auto sheet = ShareSnsService::visibleSheet();
    ASSERT_TRUE(sheet);
    Button* button = sheet->buttonForPlatform("tencent");
    ASSERT_TRUE(button);
    target = button->convertPointToView(
        {button->bounds().width() / 2, button->bounds().height() / 2}, window.get());
  }
  tap(target);
  EXPECT_FALSE(ShareSnsService::visibleSheet());
  auto requests =
      FileManager::defaultManager().contentsOfDirectory(ShareSnsService::outboxDirectory());
  ASSERT_EQ(requests.size(), 1u);
  auto json = FileManager::defaultManager().stringContentsAtPath(
      ShareSnsService::outboxDirectory() + "/" + requests[0] + "/request.json");
  ASSERT_TRUE(json);
  EXPECT_NE(json->find("lesson text"), std::string::npos);
  EXPECT_NE(json->find("key-1"), std::string::npos);
  EXPECT_NE(json->find("tencent"), std::string::npos);
  window->setRootViewController(nullptr);
}

TEST_F(ShareServiceTest, AnOutboxThatCannotBeWrittenIsReportedAndTold) {
  // A file where the outbox folder should be.
  FileManager::defaultManager().createDirectory(FileManager::defaultManager().documentsDirectory(),
                                                true);
  FileManager::defaultManager().writeAtomically(ShareSnsService::outboxDirectory(),
                                                std::string("x"));
  ErrorPtr error;
  EXPECT_FALSE(ShareSnsService::recordShareRequest({"k", "t", "email", nullptr}, &error));
  EXPECT_TRUE(error);

  auto page = std::make_shared<ViewController>();
  window->setRootViewController(page);
  ShareSnsService::presentSnsIconSheetView(*page, "k", "t", nullptr, {"email"}, nullptr);
  auto sheet = ShareSnsService::visibleSheet();
  ASSERT_TRUE(sheet);
  EXPECT_EQ(sheet->buttonForPlatform("email")->titleForState(ControlStateNormal), "邮件");
  sheet->buttonForPlatform("email")->sendActionsForControlEvents(ControlEventTouchUpInside);
  auto alerts = AlertView::visibleAlerts();
  ASSERT_EQ(alerts.size(), 1u);
  EXPECT_EQ(alerts[0]->title(), "分享失败");
  window->setRootViewController(nullptr);
}

}  // namespace
}  // namespace lorvane
