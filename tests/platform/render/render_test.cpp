#include <gtest/gtest.h>

#include <SDL2/SDL_image.h>

#include <filesystem>
#include <fstream>

#include "platform/foundation/clock.h"
#include "platform/foundation/run_loop.h"
#include "platform/render/display.h"
#include "platform/ui/application.h"
#include "platform/ui/button.h"
#include "platform/ui/label.h"
#include "platform/ui/screen.h"
#include "platform/ui/snapshot.h"
#include "platform/ui/view_controller.h"

namespace lorvane {
namespace {

// Draws offscreen at scale 1 (one pixel per point) so points are pixels.
class RenderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    clock = std::make_unique<ScopedManualClock>();
    Screen::mainScreen().reset();
    Application::sharedApplication().reset();
    Application::sharedApplication().setStatusBarHidden(true);
    std::string error;
    display = Display::create({.headless = true, .scale = 1}, &error);
    ASSERT_TRUE(display) << error;
    window = std::make_shared<Window>();
    window->setBackgroundColor(Color::whiteColor());
    window->makeKeyAndVisible();
  }
  void TearDown() override {
    window.reset();
    display.reset();
    RunLoop::main().advance(10);
    Application::sharedApplication().reset();
    clock.reset();
  }
  Color at(int x, int y) {
    auto c = display->pixelAt(x, y);
    EXPECT_TRUE(c.has_value());
    return c.value_or(Color{});
  }
  static void expectColor(Color actual, Color expected, double tolerance = 0.03) {
    EXPECT_NEAR(actual.red, expected.red, tolerance);
    EXPECT_NEAR(actual.green, expected.green, tolerance);
    EXPECT_NEAR(actual.blue, expected.blue, tolerance);
  }
  std::shared_ptr<View> addBox(Rect frame, Color colour, View* parent = nullptr) {
    auto v = std::make_shared<View>(frame);
    v->setBackgroundColor(colour);
    (parent ? parent : window.get())->addSubview(v);
    return v;
  }

  std::unique_ptr<ScopedManualClock> clock;
  std::unique_ptr<Display> display;
  std::shared_ptr<Window> window;
};

TEST_F(RenderTest, FillsAlphaAndSubviewOrder) {
  addBox({10, 10, 100, 100}, Color::redColor());
  auto over = addBox({60, 60, 100, 100}, Color::blueColor());
  auto glass = addBox({200, 10, 50, 50}, Color::black());
  glass->setAlpha(0.5);
  display->drawFrame();
  EXPECT_EQ(display->pixelWidth(), 320);
  EXPECT_EQ(display->pixelHeight(), 568);
  expectColor(at(20, 20), Color::redColor());
  expectColor(at(80, 80), Color::blueColor());  // the later subview is on top
  expectColor(at(5, 5), Color::whiteColor());
  expectColor(at(220, 30), Color::white(0.5));
  over->setHidden(true);
  display->drawFrame();
  expectColor(at(80, 80), Color::redColor());
}

TEST_F(RenderTest, CornersBordersAndClipping) {
  auto rounded = addBox({10, 10, 100, 100}, Color::black());
  rounded->layer().setCornerRadius(20);
  auto framed = addBox({150, 10, 100, 100}, Color::whiteColor());
  framed->layer().setBorderWidth(4);
  framed->layer().setBorderColor(Color::redColor());
  auto clipper = addBox({10, 200, 50, 50}, Color::whiteColor());
  clipper->setClipsToBounds(true);
  addBox({25, 25, 100, 10}, Color::blueColor(), clipper.get());
  display->drawFrame();
  expectColor(at(12, 12), Color::whiteColor());  // cut off by the round corner
  expectColor(at(60, 60), Color::black());
  expectColor(at(151, 50), Color::redColor());
  expectColor(at(200, 50), Color::whiteColor());
  expectColor(at(40, 230), Color::blueColor());
  expectColor(at(80, 230), Color::whiteColor());  // outside the clipping parent
}

TEST_F(RenderTest, RotatedContentLandsWhereTheTransformSays) {
  auto root = addBox({0, 0, 320, 568}, Color::whiteColor());
  root->setTransform(AffineTransform::rotation(kPi / 2));
  root->setBounds({0, 0, 568, 320});
  addBox({0, 0, 40, 20}, Color::redColor(), root.get());  // landscape top-left
  display->drawFrame();
  // A quarter turn clockwise: it shows at the screen's top-right, 20 wide, 40 high.
  expectColor(at(310, 30), Color::redColor());
  expectColor(at(290, 30), Color::whiteColor());
  expectColor(at(310, 45), Color::whiteColor());
}

TEST_F(RenderTest, PicturesHonourContentModesAndCaps) {
  auto picture = imageFilledWithColor(Color::blueColor(), {10, 20});
  auto fit = std::make_shared<ImageView>(Rect{0, 0, 100, 100});
  fit->setImage(picture);
  fit->setContentMode(ContentMode::ScaleAspectFit);
  window->addSubview(fit);
  auto stretched = std::make_shared<ImageView>(Rect{150, 0, 100, 50});
  stretched->setImage(picture->resizableImageWithCapInsets({2, 2, 2, 2}));
  window->addSubview(stretched);
  display->drawFrame();
  expectColor(at(50, 50), Color::blueColor());
  expectColor(at(10, 50), Color::whiteColor());  // aspect fit leaves the sides empty
  expectColor(at(151, 1), Color::blueColor());
  expectColor(at(248, 48), Color::blueColor());
}

TEST_F(RenderTest, AnimatedValuesAreDrawnAsTheyMove) {
  auto box = addBox({0, 0, 50, 50}, Color::redColor());
  animateWithDuration(1.0, 0, AnimationOptionCurveLinear, [&] { box->setFrame({200, 0, 50, 50}); });
  RunLoop::main().advance(0.5);
  display->drawFrame();
  expectColor(at(120, 25), Color::redColor());  // half way: x 100 to 150
  expectColor(at(220, 25), Color::whiteColor());
  RunLoop::main().advance(1);
  display->drawFrame();
  expectColor(at(220, 25), Color::redColor());
}

TEST_F(RenderTest, ChineseTextDrawsInk) {
  auto label = std::make_shared<Label>(Rect{10, 10, 200, 40});
  label->setText("潮话题");
  label->setFont(Font::systemFontOfSize(24));
  label->setTextColor(Color::black());
  window->addSubview(label);
  display->drawFrame();
  int ink = 0;
  for (int y = 10; y < 50; ++y) {
    for (int x = 10; x < 210; ++x) {
      if (at(x, y).red < 0.5) ++ink;
    }
  }
  EXPECT_GT(ink, 100);
  // Nothing is drawn beyond the three characters (72 points of 24-point CJK).
  for (int y = 10; y < 50; ++y) EXPECT_GT(at(100, y).red, 0.9);
}

TEST_F(RenderTest, AlignmentPlacesTheInk) {
  auto label = std::make_shared<Label>(Rect{0, 100, 320, 30});
  label->setText("设置");
  label->setFont(Font::systemFontOfSize(20));
  label->setTextAlignment(TextAlignment::Right);
  window->addSubview(label);
  auto inkIn = [&](int x1, int x2) {
    int ink = 0;
    for (int y = 100; y < 130; ++y) {
      for (int x = x1; x < x2; ++x) ink += at(x, y).red < 0.5;
    }
    return ink;
  };
  display->drawFrame();
  EXPECT_GT(inkIn(280, 320), 20);
  EXPECT_EQ(inkIn(0, 270), 0);
  label->setTextAlignment(TextAlignment::Center);
  display->drawFrame();
  EXPECT_GT(inkIn(140, 180), 20);
  EXPECT_EQ(inkIn(0, 130), 0);
  EXPECT_EQ(inkIn(190, 320), 0);
}

TEST_F(RenderTest, ShadowFallsBesideTheBox) {
  auto box = addBox({50, 50, 40, 40}, Color::rgba(0.1, 0.1, 0.1, 0.9));
  box->layer().setShadowOpacity(1);
  box->layer().setShadowRadius(0);
  box->layer().setShadowOffset({3, 3});
  display->drawFrame();
  expectColor(at(91, 91), Color::black());       // the offset shadow
  expectColor(at(48, 48), Color::whiteColor());  // nothing on the other side
}

TEST_F(RenderTest, PinnedFontMeasuresCjkAtOneEm) {
  ASSERT_TRUE(display->fonts());
  EXPECT_NEAR(measureTextWidth("潮话题", Font::systemFontOfSize(10)), 30, 0.5);
  double narrow = measureTextWidth("iiii", Font::systemFontOfSize(10));
  double wide = measureTextWidth("WWWW", Font::systemFontOfSize(10));
  EXPECT_LT(narrow, wide);  // real glyph advances, not the fixed metric
  EXPECT_GT(Font::boldSystemFontOfSize(10).lineHeight(), 0);
}

TEST_F(RenderTest, ScreenshotIsAValidPng) {
  addBox({0, 0, 320, 100}, Color::redColor());
  display->drawFrame();
  auto path = std::filesystem::temp_directory_path() /
              ("lorvane-shot-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
               ".png");
  ASSERT_TRUE(display->saveScreenshot(path));
  std::ifstream in(path, std::ios::binary);
  char signature[8] = {};
  in.read(signature, 8);
  EXPECT_EQ(std::string(signature + 1, 3), "PNG");
  SDL_Surface* loaded = IMG_Load(path.string().c_str());
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(loaded->w, 320);
  EXPECT_EQ(loaded->h, 568);
  SDL_FreeSurface(loaded);
  std::filesystem::remove(path);
  EXPECT_FALSE(display->saveScreenshot("/nonexistent-folder/shot.png"));
}

TEST_F(RenderTest, StatusBarShowsWhenVisible) {
  Application::sharedApplication().setStatusBarHidden(false);
  Application::sharedApplication().setNetworkActivityIndicatorVisible(true);
  display->drawFrame();
  int ink = 0;
  for (int y = 0; y < 20; ++y) {
    for (int x = 0; x < 320; ++x) {
      if (at(x, y).red < 0.5) ++ink;
    }
  }
  EXPECT_GT(ink, 50);
  Application::sharedApplication().setStatusBarHidden(true);
  display->drawFrame();
  for (int x = 0; x < 320; x += 7) expectColor(at(x, 10), Color::whiteColor());
}

class SolidFrames : public VideoFrameSource {
 public:
  SolidFrames(int w, int h, std::uint8_t y, std::uint8_t u, std::uint8_t v) {
    auto f = std::make_shared<VideoFrame>();
    f->width = w;
    f->height = h;
    f->strides[0] = w;
    f->strides[1] = f->strides[2] = w / 2;
    f->planes[0].assign(std::size_t(w * h), y);
    f->planes[1].assign(std::size_t(w * h / 4), u);
    f->planes[2].assign(std::size_t(w * h / 4), v);
    f->serial = 1;
    frame = f;
  }
  std::shared_ptr<const VideoFrame> currentFrame() const override { return frame; }
  std::shared_ptr<const VideoFrame> frame;
};

TEST_F(RenderTest, VideoLayerDrawsYuvFramesWithItsGravity) {
  auto player = addBox({0, 100, 320, 176}, Color::black());
  // Pure red in BT.601: Y 81, U 90, V 240. A 4:3 picture in a wide layer.
  player->layer().setVideoFrameSource(std::make_shared<SolidFrames>(64, 48, 81, 90, 240));
  player->layer().setVideoGravity(VideoGravity::ResizeAspect);
  display->drawFrame();
  Color middle = at(160, 188);
  EXPECT_GT(middle.red, 0.8);
  EXPECT_LT(middle.green, 0.2);
  expectColor(at(10, 188), Color::black());  // bars beside the 4:3 picture
}

TEST_F(RenderTest, SnapshotsUseTheFullPainter) {
  auto page = std::make_shared<View>(Rect{0, 0, 40, 40});
  page->setBackgroundColor(Color::whiteColor());
  auto dot = std::make_shared<View>(Rect{10, 10, 20, 20});
  dot->setBackgroundColor(Color::redColor());
  dot->layer().setCornerRadius(10);
  page->addSubview(dot);
  auto image = renderLayerToImage(page->layer(), {40, 40}, 2);
  ASSERT_TRUE(image && image->pixels());
  EXPECT_EQ(image->pixelWidth(), 80);
  const auto& px = image->pixels()->rgba;
  auto pixel = [&](int x, int y) { return &px[std::size_t((y * 80 + x) * 4)]; };
  EXPECT_EQ(pixel(40, 40)[0], 255);
  EXPECT_LT(pixel(40, 40)[1], 10);
  EXPECT_EQ(pixel(21, 21)[1], 255);  // the round corner leaves white
}

// Clicks as the desktop sends them: through SDL's event queue, then the
// window's event handling. `x`, `y` are pixels of the window on show.
void clickThroughSdl(Display& display, int x, int y) {
  for (Uint32 type : {SDL_MOUSEBUTTONDOWN, SDL_MOUSEBUTTONUP}) {
    SDL_Event e{};
    e.type = type;
    e.button.button = SDL_BUTTON_LEFT;
    e.button.state = type == SDL_MOUSEBUTTONDOWN ? SDL_PRESSED : SDL_RELEASED;
    e.button.x = x;
    e.button.y = y;
    ASSERT_EQ(SDL_PushEvent(&e), 1) << SDL_GetError();
  }
  SDL_Event e;
  while (SDL_PollEvent(&e)) display.dispatchEvent(e);
}

TEST_F(RenderTest, TheScreenTurnsWithTheInterfaceAndTouchesLandWhereTheyShow) {
  ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_EVENTS), 0) << SDL_GetError();
  Device::currentDevice().reset();
  auto root = std::make_shared<ViewController>();
  window->setRootViewController(root);
  View& page = *root->view();
  page.setBackgroundColor(Color::whiteColor());
  // The page's top-left corner, and a button near its bottom-right.
  addBox({0, 0, 40, 20}, Color::redColor(), &page);
  struct Taps : Weakable {
    int count = 0;
  } taps;
  auto button = Button::buttonWithType(ButtonType::Custom);
  button->setFrame({400, 200, 100, 60});
  button->setBackgroundColor(Color::blueColor());
  button->addTarget(
      &taps, [&](Control&) { ++taps.count; }, ControlEventTouchUpInside);
  page.addSubview(button);
  auto shot = std::filesystem::temp_directory_path() /
              ("lorvane-turned-" +
               std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + ".png");

  // "r" holds the device with its home button on the right, the arrow
  // keys to either side: in both the page reads upright in a wide screen.
  struct Turn {
    const char* key;
    InterfaceOrientation orientation;
  };
  for (Turn turn : {Turn{"r", InterfaceOrientation::LandscapeRight},
                    Turn{"left", InterfaceOrientation::LandscapeRight},
                    Turn{"right", InterfaceOrientation::LandscapeLeft}}) {
    SCOPED_TRACE(turn.key);
    if (turn.key != std::string("r")) {
      ASSERT_TRUE(display->injectKey("up"));
      RunLoop::main().advance(1);
      display->drawFrame();
    }
    ASSERT_TRUE(display->injectKey(turn.key));
    RunLoop::main().advance(1);  // the turn's animation is over
    ASSERT_EQ(Application::sharedApplication().statusBarOrientation(), turn.orientation);
    display->drawFrame();
    EXPECT_EQ(display->shownOrientation(), turn.orientation);
    EXPECT_EQ(display->pixelWidth(), 568);
    EXPECT_EQ(display->pixelHeight(), 320);
    EXPECT_EQ(display->shownSize(), (Size{568, 320}));
    expectColor(at(5, 5), Color::redColor());  // upright: the corner at the top-left
    expectColor(at(35, 15), Color::redColor());
    expectColor(at(45, 5), Color::whiteColor());
    expectColor(at(5, 25), Color::whiteColor());
    expectColor(at(450, 230), Color::blueColor());
    expectColor(at(395, 230), Color::whiteColor());

    // Where the button shows, a click hits it; where the button sits in the
    // upright window's own points, it does not.
    const int before = taps.count;
    clickThroughSdl(*display, 450, 230);
    EXPECT_EQ(taps.count, before + 1);
    Point unturned = display->windowPointFromShown({450, 230});
    clickThroughSdl(*display, int(unturned.x), int(unturned.y));
    EXPECT_EQ(taps.count, before + 1);
    // Scripted touches are in the same points as the mouse.
    display->injectTouchDown({410, 250});
    display->injectTouchUp({410, 250});
    EXPECT_EQ(taps.count, before + 2);

    ASSERT_TRUE(display->saveScreenshot(shot));
    SDL_Surface* loaded = IMG_Load(shot.string().c_str());
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->w, 568);
    EXPECT_EQ(loaded->h, 320);
    SDL_FreeSurface(loaded);
  }
  std::filesystem::remove(shot);

  // Turning back restores the upright phone-shaped screen and its touches.
  ASSERT_TRUE(display->injectKey("up"));
  RunLoop::main().advance(1);
  display->drawFrame();
  EXPECT_EQ(display->shownOrientation(), InterfaceOrientation::Portrait);
  EXPECT_EQ(display->pixelWidth(), 320);
  EXPECT_EQ(display->pixelHeight(), 568);
  expectColor(at(35, 15), Color::redColor());
  button->setFrame({100, 300, 100, 60});
  display->drawFrame();
  expectColor(at(150, 330), Color::blueColor());
  const int before = taps.count;
  clickThroughSdl(*display, 150, 330);
  EXPECT_EQ(taps.count, before + 1);
  Device::currentDevice().reset();
}

TEST_F(RenderTest, TheStatusBarRunsAlongTheTopOfATurnedScreen) {
  Device::currentDevice().reset();
  auto root = std::make_shared<ViewController>();
  window->setRootViewController(root);
  root->view()->setBackgroundColor(Color::whiteColor());
  Application::sharedApplication().setStatusBarHidden(false);
  Device::currentDevice().setOrientation(DeviceOrientation::LandscapeLeft);
  RunLoop::main().advance(1);
  display->drawFrame();
  ASSERT_EQ(display->pixelWidth(), 568);
  auto inkIn = [&](int x1, int y1, int x2, int y2) {
    int ink = 0;
    for (int y = y1; y < y2; ++y) {
      for (int x = x1; x < x2; ++x) ink += at(x, y).red < 0.5;
    }
    return ink;
  };
  EXPECT_GT(inkIn(0, 0, 568, 20), 50);     // the clock, carrier and battery
  EXPECT_EQ(inkIn(0, 300, 568, 320), 0);   // nothing along the bottom edge
  EXPECT_EQ(inkIn(548, 20, 568, 320), 0);  // nor down a side
  Device::currentDevice().reset();
}

TEST(ScreenTurnTest, UprightTransformsUndoTheInterfaceTurn) {
  const Size screen{320, 568};
  // Each turned interface's own top-left and bottom-right corners, as its
  // rotation places them in the window, come out at the turned screen's.
  struct Case {
    InterfaceOrientation orientation;
    Point topLeftInWindow, bottomRightInWindow;
    Size shown;
  };
  for (const Case& c :
       {Case{InterfaceOrientation::Portrait, {0, 0}, {320, 568}, {320, 568}},
        Case{InterfaceOrientation::LandscapeRight, {320, 0}, {0, 568}, {568, 320}},
        Case{InterfaceOrientation::LandscapeLeft, {0, 568}, {320, 0}, {568, 320}},
        Case{InterfaceOrientation::PortraitUpsideDown, {320, 568}, {0, 0}, {320, 568}}}) {
    SCOPED_TRACE(int(c.orientation));
    AffineTransform t = uprightScreenTransform(c.orientation, screen);
    EXPECT_EQ(t.apply(c.topLeftInWindow), (Point{0, 0}));
    EXPECT_EQ(t.apply(c.bottomRightInWindow), (Point{c.shown.width, c.shown.height}));
    // And the window's own rotation followed by the screen's is no turn at all.
    double angle = c.orientation == InterfaceOrientation::LandscapeRight  ? kPi / 2
                   : c.orientation == InterfaceOrientation::LandscapeLeft ? -kPi / 2
                   : c.orientation == InterfaceOrientation::Portrait      ? 0
                                                                          : kPi;
    AffineTransform both = AffineTransform::rotation(angle).concat(t);
    EXPECT_NEAR(both.a, 1, 1e-12);
    EXPECT_NEAR(both.b, 0, 1e-12);
    EXPECT_NEAR(both.c, 0, 1e-12);
    EXPECT_NEAR(both.d, 1, 1e-12);
  }
}

}  // namespace
}  // namespace lorvane
