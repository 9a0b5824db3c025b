#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/ui/image.h"
#include "platform/ui/layer.h"
#include "platform/ui/snapshot.h"
#include "platform/ui/view.h"
#include "ui_test_support.h"

namespace lorvane {
namespace {

// The smallest PNG header we need: signature and an IHDR with a size.
std::vector<std::uint8_t> pngHeader(int w, int h) {
  std::vector<std::uint8_t> b = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n',
                                 0,    0,   0,   13,  'I',  'H',  'D',  'R'};
  for (int v : {w, h}) {
    b.push_back(std::uint8_t(v >> 24));
    b.push_back(std::uint8_t(v >> 16));
    b.push_back(std::uint8_t(v >> 8));
    b.push_back(std::uint8_t(v));
  }
  b.insert(b.end(), {8, 6, 0, 0, 0, 0, 0, 0, 0});
  return b;
}

class ImageTest : public testing::UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    folder =
        std::filesystem::temp_directory_path() /
        ("lorvane-images-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
         "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(folder);
    previous = Image::resourcesFolder();
    Image::setResourcesFolder(folder);
  }
  void TearDown() override {
    Image::setResourcesFolder(previous);
    std::filesystem::remove_all(folder);
    UiTest::TearDown();
  }
  void write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(folder / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), long(bytes.size()));
  }
  std::filesystem::path folder, previous;
};

TEST_F(ImageTest, NamedPicturesPreferTheDoubleSizeVariant) {
  write("工具栏底-原大.png", pngHeader(320, 45));
  write("工具栏底-原大@2x.png", pngHeader(640, 90));
  auto image = Image::imageNamed("工具栏底-原大");
  ASSERT_TRUE(image);
  EXPECT_EQ(image->scale(), 2);
  EXPECT_EQ(image->size(), (Size{320, 45}));
  EXPECT_EQ(image->name(), "工具栏底-原大");
  EXPECT_EQ(Image::imageNamed("工具栏底-原大"), image);  // cached
  Screen::mainScreen().configure({320, 480}, 1);
  Image::clearCache();
  auto single = Image::imageNamed("工具栏底-原大");
  ASSERT_TRUE(single);
  EXPECT_EQ(single->scale(), 1);
  EXPECT_EQ(single->size(), (Size{320, 45}));
}

TEST_F(ImageTest, UnknownEmptyAndBrokenNamesGiveNothing) {
  EXPECT_FALSE(Image::imageNamed(""));
  EXPECT_FALSE(Image::imageNamed("mmmmm"));
  write("broken.png", {1, 2, 3, 4, 5});
  EXPECT_FALSE(Image::imageNamed("broken"));
  EXPECT_FALSE(Image::imageWithContentsOfFile(folder / "missing.png"));
  EXPECT_FALSE(Image::imageWithData({}));
}

TEST_F(ImageTest, JpegSizesComeFromTheFrameHeader) {
  // SOI, an APP0 segment, then a baseline frame of 120 x 80.
  std::vector<std::uint8_t> jpeg = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x04, 0x00, 0x00, 0xFF,
                                    0xC0, 0x00, 0x0B, 0x08, 0x00, 0x50, 0x00, 0x78, 0x01};
  write("thumb.jpg", jpeg);
  auto image = Image::imageNamed("thumb");
  ASSERT_TRUE(image);
  EXPECT_EQ(image->pixelWidth(), 120);
  EXPECT_EQ(image->pixelHeight(), 80);
  jpeg.resize(12);  // cut inside the frame header
  EXPECT_FALSE(imagePixelSize(jpeg));
}

TEST_F(ImageTest, StretchableCopiesShareThePicture) {
  auto image = imageFilledWithColor(Color::redColor(), {20, 10});
  ASSERT_TRUE(image);
  auto caps = image->resizableImageWithCapInsets({2, 3, 2, 3});
  EXPECT_TRUE(caps->isResizable());
  EXPECT_FALSE(image->isResizable());
  EXPECT_EQ(caps->contentKey(), image->contentKey());
  auto stretch = image->stretchableImage(5, 0);
  EXPECT_EQ(stretch->capInsets(), (EdgeInsets{0, 5, 0, 14}));
  const PixelBuffer* px = image->pixels();
  ASSERT_TRUE(px);
  EXPECT_EQ(px->rgba[0], 255);
  EXPECT_EQ(px->rgba[1], 0);
}

TEST_F(ImageTest, SnapshotWithoutTheRendererFillsColours) {
  // The topic grid's highlight: a layer filled with 40 % black, drawn at scale 1.
  auto layer = Layer::layer();
  layer->setFrame({0, 0, 147, 91});
  layer->setBackgroundColor(Color::white(0, 0.4));
  auto image = renderLayerToImage(*layer, {147, 91}, 1);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->size(), (Size{147, 91}));
  const PixelBuffer* px = image->pixels();
  ASSERT_TRUE(px);
  EXPECT_EQ(px->rgba[3], 102);
  EXPECT_EQ(px->rgba[0], 0);
  EXPECT_FALSE(renderLayerToImage(*layer, {0, 91}, 1));

  auto view = std::make_shared<View>(Rect{50, 50, 4, 4});
  view->setBackgroundColor(Color::whiteColor());
  auto child = std::make_shared<View>(Rect{2, 0, 2, 4});
  child->setBackgroundColor(Color::blueColor());
  view->addSubview(child);
  auto shot = renderLayerToImage(view->layer(), {4, 4}, 1);
  ASSERT_TRUE(shot && shot->pixels());
  const auto& rgba = shot->pixels()->rgba;
  EXPECT_EQ(rgba[0], 255);        // white at the left
  EXPECT_EQ(rgba[3 * 4 + 0], 0);  // blue at the right
  EXPECT_EQ(rgba[3 * 4 + 2], 255);
}

}  // namespace
}  // namespace lorvane
