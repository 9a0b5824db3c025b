// Speed of the lesson page against the local sample server: how long from
// pushing the detail page to the first picture of the lesson, and how much
// CPU a second of playback at 1.0x costs the whole process (page, player,
// decoding, the server's sending): for the lesson with its lines (captions
// over the video, the transcript and the study bar following playback) and
// for the same lesson without them, and again drawing every turn of the
// loop offscreen as the app's window does.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "demo/server/content_catalog.h"
#include "demo/server/sample_server.h"
#include "platform/foundation/run_loop.h"
#include "platform/media/player.h"
#include "platform/ui/alert_view.h"
#include "platform/ui/application.h"
#include "platform/ui/image.h"
#include "platform/ui/navigation_controller.h"
#include "platform/ui/window.h"
#include "player/detail_view_controller.h"
#if LORVANE_BENCH_DRAWS
#include "platform/render/display.h"
#endif

using namespace lorvane;

namespace {

double wallNow() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

double cpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

struct Stage {
  std::shared_ptr<Window> window;
  std::shared_ptr<NavigationController> navigation;
  std::shared_ptr<DetailViewController> page;

  bool hasPicture() const {
    if (!page) return false;
    auto overlay = page->playVideoViewController()->videoControlView();
    auto source = overlay->layer().videoFrameSource();
    return source && source->currentFrame();
  }
  void push(JSONRef<JSONDictionary> record) {
    page = std::make_shared<DetailViewController>();
    PlayerOptions options;
    options.clockDrivenAudio = true;  // no sound device on a build machine
    page->setPlayerFactory(std::make_shared<MediaPlayerFactory>(options));
    page->setVideoInfoDictionary(std::move(record));
    navigation->pushViewController(page, false);
  }
  void pop() {
    navigation->popToRootViewControllerAnimated(false);
    page.reset();
    RunLoop::main().runUntilIdle();
  }
};

struct PlaybackCost {
  bool measured = false;
  double cpuPerMediaSecond = 0;
  double media = 0;
  double wall = 0;
};

// Plays `record` at 1.0x for `seconds` once it runs; `turn` is one turn of
// the loop (the run loop alone, or the run loop and a frame).
PlaybackCost measurePlayback(Stage& stage, JSONRef<JSONDictionary> record, double seconds,
                             const std::function<void()>& turn) {
  PlaybackCost cost;
  stage.push(std::move(record));
  auto controller = stage.page->playVideoViewController();
  auto runFor = [&](double wall) {
    double end = wallNow() + wall;
    while (wallNow() < end) turn();
  };
  if (!RunLoop::main().runUntil([&] { return controller->isPlaying(); }, 15)) {
    stage.pop();
    return cost;
  }
  runFor(1.0);  // past the start-up burst
  PlayerPtr player = controller->videoPlayer();
  double mediaStart = player->currentTime().seconds();
  double cpuStart = cpuSeconds();
  double wallStart = wallNow();
  runFor(seconds);
  double cpu = cpuSeconds() - cpuStart;
  cost.wall = wallNow() - wallStart;
  cost.media = player->currentTime().seconds() - mediaStart;
  cost.measured = cost.media > 0;
  cost.cpuPerMediaSecond = cost.measured ? cpu / cost.media : 0;
  stage.pop();
  return cost;
}

void reportPlayback(const char* what, const PlaybackCost& cost) {
  if (!cost.measured) {
    std::printf("cpu per second of playback at 1.0x, %s: the lesson never played\n", what);
    return;
  }
  std::printf(
      "cpu per second of playback at 1.0x, %s: %.3f s (%.1f%% of one core) over %.1f s of "
      "media in %.1f s\n",
      what, cost.cpuPerMediaSecond, 100 * cost.cpuPerMediaSecond, cost.media, cost.wall);
}

void reportRatio(const char* what, const PlaybackCost& with, const PlaybackCost& without) {
  if (!with.measured || !without.measured || without.cpuPerMediaSecond <= 0) return;
  std::printf("  %s: lines on / lines off = %.2f\n", what,
              with.cpuPerMediaSecond / without.cpuPerMediaSecond);
}

}  // namespace

int main() {
  RunLoop::main().bindToCurrentThread();
  Image::setResourcesFolder(LORVANE_SOURCE_ROOT_FOR_BENCH "/resources");

  demo::ServerOptions options;
  options.sourceDirectory = demo::defaultSourceDirectory();
  options.contentDirectory = demo::defaultContentDirectory();
  demo::SampleServer server(options);
  std::string error;
  if (!server.start(&error)) {
    std::fprintf(stderr, "sample server: %s\n", error.c_str());
    return 1;
  }
  demo::ContentCatalog catalog;
  if (!catalog.load(options.sourceDirectory, &error)) {
    std::fprintf(stderr, "catalog: %s\n", error.c_str());
    return 1;
  }
  JSONValueRef feed = objectFromJSONString(catalog.topicFeed(server.baseURL()));
  const JSONArray* records =
      feed->asArray()->objectAtIndex(0)->asDictionary()->objectForKey("data")->asArray();

  Stage stage;
  stage.window = std::make_shared<Window>();
  stage.window->makeKeyAndVisible();
  stage.navigation = std::make_shared<NavigationController>(std::make_shared<ViewController>());
  stage.window->setRootViewController(stage.navigation);

  std::printf("player_bench: lessons from %s\n", server.baseURL().c_str());
  std::vector<double> firstPicture;
  const std::size_t runs = std::min<std::size_t>(6, records->count());
  for (std::size_t i = 0; i < runs; ++i) {
    auto record = JSONRef<JSONDictionary>::retain(records->objectAtIndex(i)->asDictionary());
    double start = wallNow();
    stage.push(record);
    bool shown = RunLoop::main().runUntil([&] { return stage.hasPicture(); }, 15);
    double elapsed = wallNow() - start;
    if (shown) firstPicture.push_back(elapsed * 1000);
    std::printf("  push to first picture, lesson %zu: %s%.1f ms\n", i, shown ? "" : "(none) ",
                elapsed * 1000);
    stage.pop();
  }
  if (!firstPicture.empty()) {
    std::printf("push to first picture: median %.1f ms, best %.1f ms, worst %.1f ms (%zu runs)\n",
                median(firstPicture), *std::min_element(firstPicture.begin(), firstPicture.end()),
                *std::max_element(firstPicture.begin(), firstPicture.end()), firstPicture.size());
  }

  // CPU per second of playback at 1.0x, once the lesson plays: the first
  // lesson with its lines and without them.
  auto withLines = JSONRef<JSONDictionary>::retain(records->objectAtIndex(0)->asDictionary());
  if (!withLines->objectForKey("subtitleUrl")) {
    std::printf("the first sample lesson has no lines: the costs below are both without\n");
  }
  JSONRef<JSONDictionary> withoutLines = withLines->mutableCopy();
  withoutLines->removeObjectForKey("subtitleUrl");
  constexpr double kMeasured = 10.0;
  auto loopOnly = [] { RunLoop::main().runOnce(1.0 / 60); };
  PlaybackCost linesOn = measurePlayback(stage, withLines, kMeasured, loopOnly);
  PlaybackCost linesOff = measurePlayback(stage, withoutLines, kMeasured, loopOnly);
  reportPlayback("captions and transcript on, not drawn", linesOn);
  reportPlayback("without lines, not drawn", linesOff);
  reportRatio("not drawn", linesOn, linesOff);
#if LORVANE_BENCH_DRAWS
  // As the app's window runs: events, due work and a frame every turn, on
  // the phone's 640 x 1136 pixels.
  auto display = Display::create({.headless = true, .scale = 2}, &error);
  if (!display) {
    std::printf("no offscreen display: %s\n", error.c_str());
  } else {
    auto drawn = [&] { display->runOnce(1.0 / 60); };
    PlaybackCost drawnOn = measurePlayback(stage, withLines, kMeasured, drawn);
    PlaybackCost drawnOff = measurePlayback(stage, withoutLines, kMeasured, drawn);
    reportPlayback("captions and transcript on, drawn every turn", drawnOn);
    reportPlayback("without lines, drawn every turn", drawnOff);
    reportRatio("drawn every turn", drawnOn, drawnOff);
  }
#endif
  for (auto& alert : AlertView::visibleAlerts()) alert->dismissWithClickedButtonIndex(0, false);
  server.stop();
  return 0;
}
