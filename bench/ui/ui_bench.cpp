// One frame of a representative screen, laid out and drawn offscreen at
// 640 x 1136 pixels: a background picture, a scrolling grid of lesson
// tiles (picture, caption on a dark band, touch area), a tab bar of
// picture buttons and the status bar; and the app's own first tab. To
// measure another screen, hand its root view to drawOneFrame.

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "app/app_delegate.h"
#include "common/app_configuration.h"
#include "demo/server/sample_server.h"
#include "platform/foundation/clock.h"
#include "platform/foundation/run_loop.h"
#include "platform/render/display.h"
#include "platform/ui/button.h"
#include "platform/ui/label.h"
#include "platform/ui/scroll_view.h"
#include "platform/ui/snapshot.h"

namespace lorvane {
namespace {

ImagePtr gradientPicture(int w, int h, std::uint8_t tint) {
  PixelBuffer p;
  p.width = w;
  p.height = h;
  p.rgba.resize(std::size_t(w) * std::size_t(h) * 4);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      auto* px = &p.rgba[(std::size_t(y) * std::size_t(w) + std::size_t(x)) * 4];
      px[0] = std::uint8_t(x * 255 / w);
      px[1] = std::uint8_t(y * 255 / h);
      px[2] = tint;
      px[3] = 255;
    }
  }
  return Image::imageWithPixels(std::move(p), 2);
}

std::shared_ptr<Window> makeScreen() {
  auto window = std::make_shared<Window>();
  window->setBackgroundColor(Color::black());
  auto background = std::make_shared<ImageView>(Rect{0, 20, 320, 548});
  background->setImage(gradientPicture(640, 1096, 90));
  window->addSubview(background);

  auto scroll = std::make_shared<ScrollView>(Rect{0, 20, 320, 548});
  double tileWidth = (320 - 26) * 0.5;
  for (int i = 0; i < 24; ++i) {
    auto tile = std::make_shared<View>(
        Rect{i % 2 ? 16 + tileWidth : 10, 10 + 98.0 * (i / 2), tileWidth, 91});
    tile->setClipsToBounds(true);
    auto picture = std::make_shared<ImageView>(tile->bounds());
    picture->setImage(gradientPicture(294, 182, std::uint8_t(i * 10)));
    tile->addSubview(picture);
    auto caption = std::make_shared<Label>(Rect{0, 91 * 2.0 / 3, tileWidth, 91 / 3.0});
    caption->setBackgroundColor(Color::white(0, 0.5));
    caption->setTextColor(Color::whiteColor());
    caption->setFont(Font::boldSystemFontOfSize(9));
    caption->setText("第" + std::to_string(i + 1) + "课 How to order coffee like a local");
    tile->addSubview(caption);
    auto touch = Button::buttonWithType(ButtonType::Custom);
    touch->setFrame(tile->bounds());
    tile->addSubview(touch);
    scroll->addSubview(tile);
  }
  scroll->setContentSize({320, 98 * 12 + 54});
  window->addSubview(scroll);

  auto bar = std::make_shared<View>(Rect{0, 523, 320, 45});
  auto barBackground = std::make_shared<ImageView>(Rect{0, 0, 320, 45});
  barBackground->setImage(gradientPicture(640, 90, 200));
  bar->addSubview(barBackground);
  const double xs[4] = {15, 95, 175, 253};
  for (double x : xs) {
    auto b = Button::buttonWithType(ButtonType::Custom);
    b->setFrame({x, 1, 51, 44});
    b->setImage(gradientPicture(102, 88, 30), ControlStateNormal);
    bar->addSubview(b);
  }
  window->addSubview(bar);
  return window;
}

void drawOneFrame(Display& display, View& root) {
  root.setNeedsLayout();
  display.drawFrame(root);
}

void BM_TopicGridFrame(benchmark::State& state) {
  ScopedManualClock clock;
  auto display = Display::create({.headless = true, .scale = 2});
  if (!display) {
    state.SkipWithError("no display");
    return;
  }
  auto window = makeScreen();
  drawOneFrame(*display, *window);  // textures and glyphs are made once
  for (auto _ : state) drawOneFrame(*display, *window);
  state.counters["fps"] =
      benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_TopicGridFrame)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_TopicGridFrameWhileScrolling(benchmark::State& state) {
  ScopedManualClock clock;
  auto display = Display::create({.headless = true, .scale = 2});
  if (!display) {
    state.SkipWithError("no display");
    return;
  }
  auto window = makeScreen();
  auto* scroll = dynamic_cast<ScrollView*>(window->subviews()[1].get());
  double y = 0;
  for (auto _ : state) {
    y = y > 600 ? 0 : y + 7;
    scroll->setContentOffset({0, y});
    drawOneFrame(*display, *window);
  }
}
BENCHMARK(BM_TopicGridFrameWhileScrolling)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The app itself on its first tab, fed by the sample server in-process.
void BM_AppTopicGridFrame(benchmark::State& state) {
  // Start-up is measured once, as the program does it: the sample server,
  // the display, the launch sequence, then the first frame drawn.
  RealClock wall;
  const double started = wall.now();
  demo::ServerOptions options;
  options.sourceDirectory = demo::defaultSourceDirectory();
  options.contentDirectory = demo::defaultContentDirectory();
  demo::SampleServer server(options);
  std::string error;
  if (!server.start(&error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  AppConfiguration config = AppConfiguration::current();
  config.contentBaseURL = config.recommendBaseURL = server.baseURL();
  AppConfiguration::setCurrent(config);
  auto display = Display::create({.headless = true, .scale = 2});
  if (!display) {
    state.SkipWithError("no display");
    return;
  }
  auto delegate = std::make_shared<AppDelegate>();
  Application::sharedApplication().launch(delegate);
  drawOneFrame(*display, *delegate->window());
  state.counters["startToFirstFrameMs"] = (wall.now() - started) * 1000;
  // Let the feed and its thumbnails arrive.
  for (int i = 0; i < 120; ++i) display->runOnce(1.0 / 60);
  Window& window = *delegate->window();
  for (auto _ : state) drawOneFrame(*display, window);
  Application::sharedApplication().reset();
  server.stop();
}
BENCHMARK(BM_AppTopicGridFrame)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace
}  // namespace lorvane

BENCHMARK_MAIN();
