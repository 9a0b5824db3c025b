// Time to a filled topic grid against the local sample server, on a cold
// and on a warm thumbnail cache, and the cost of laying out (and drawing)
// a grid of 100 lessons. Not a test: it reports, it asserts nothing.
//
//   build/release/bench/feeds/feeds_bench [runs]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "common/app_configuration.h"
#include "demo/server/sample_server.h"
#include "feeds/cool_topic_view_controller.h"
#include "platform/foundation/file_manager.h"
#include "platform/foundation/log.h"
#include "platform/foundation/run_loop.h"
#include "platform/render/display.h"
#include "platform/ui/image.h"
#include "platform/ui/navigation_controller.h"
#include "platform/ui/window.h"

using namespace lorvane;
using Stopwatch = std::chrono::steady_clock;

namespace {

double millisecondsSince(Stopwatch::time_point start) {
  return std::chrono::duration<double, std::milli>(Stopwatch::now() - start).count();
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

struct Shown {
  std::shared_ptr<Window> window;
  std::shared_ptr<CoolTopicViewController> screen;
};

Shown showGrid() {
  Shown shown;
  shown.window = std::make_shared<Window>();
  shown.window->makeKeyAndVisible();
  shown.screen = std::make_shared<CoolTopicViewController>();
  auto navigation = std::make_shared<NavigationController>(shown.screen);
  navigation->setNavigationBarHidden(true, false);
  shown.window->setRootViewController(navigation);
  return shown;
}

bool gridFilled(const CoolTopicViewController& screen, std::size_t tiles) {
  if (screen.tiles().size() != tiles) return false;
  for (const auto& tile : screen.tiles()) {
    if (!tile->pictureView().image()) return false;
  }
  return true;
}

// From creating the screen to every tile showing its thumbnail.
double timeToFilledGrid(std::size_t tiles) {
  auto start = Stopwatch::now();
  Shown shown = showGrid();
  if (!RunLoop::main().runUntil([&] { return gridFilled(*shown.screen, tiles); }, 30)) return -1;
  double elapsed = millisecondsSince(start);
  shown.window->setRootViewController(nullptr);
  return elapsed;
}

std::string hundredRecords(const std::string& base) {
  std::string data;
  for (int i = 0; i < 100; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "topic-%02d.jpg", i % 16 + 1);
    if (i) data += ",";
    data += "{\"imageUrl\":\"" + base + "/thumbs/" + name + "\",\"title\":\"Lesson " +
            std::to_string(i) + " 课程\"}";
  }
  return "[{\"data\":[" + data + "]}]";
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  setLogSink([](std::string_view) {});
  RunLoop::main().bindToCurrentThread();
  Image::setResourcesFolder(LORVANE_BENCH_RESOURCES_DIR);

  std::string error;
  DisplayOptions displayOptions;
  displayOptions.headless = true;
  auto display = Display::create(displayOptions, &error);
  if (!display)
    std::fprintf(stderr, "no offscreen display (%s): drawing is not timed\n", error.c_str());

  char pattern[] = "/tmp/lorvane-feeds-bench-XXXXXX";
  if (!mkdtemp(pattern)) return 1;
  const std::string root = pattern;
  FileManager::defaultManager().setRootDirectory(root);

  demo::SampleServer server{demo::ServerOptions{}};
  if (!server.start(&error)) {
    std::fprintf(stderr, "sample server: %s\n", error.c_str());
    return 1;
  }
  AppConfiguration configuration = AppConfiguration::current();
  configuration.contentBaseURL = server.baseURL();
  AppConfiguration::setCurrent(configuration);
  const std::string cool = FileManager::defaultManager().documentsDirectory() + "/cool";

  std::vector<double> cold, warm;
  for (int i = 0; i < runs; ++i) {
    std::filesystem::remove_all(cool);
    cold.push_back(timeToFilledGrid(16));
    warm.push_back(timeToFilledGrid(16));
  }

  // A grid of 100 lessons, laid out again from the stored page each time.
  server.setAnswerHook([&](const demo::RequestRecord& r) -> std::optional<demo::CannedResponse> {
    if (!r.target.starts_with("/infolist")) return std::nullopt;
    return demo::CannedResponse{200, "application/json", hundredRecords(server.baseURL())};
  });
  Shown shown = showGrid();
  RunLoop::main().runUntil([&] { return gridFilled(*shown.screen, 100); }, 30);
  std::vector<double> layout, draw;
  for (int i = 0; i < runs * 4; ++i) {
    auto start = Stopwatch::now();
    shown.screen->parseData();
    shown.window->layoutIfNeeded();
    layout.push_back(millisecondsSince(start));
    if (display) {
      start = Stopwatch::now();
      display->drawFrame(*shown.window);
      draw.push_back(millisecondsSince(start));
    }
  }
  shown.window->setRootViewController(nullptr);
  shown = {};
  server.stop();
  std::filesystem::remove_all(root);

  std::printf("feeds_bench, %d runs, medians (sample server on loopback, 16 topic lessons)\n",
              runs);
  std::printf("  cold cache, start to filled grid : %8.2f ms\n", median(cold));
  std::printf("  warm cache, start to filled grid : %8.2f ms   (goal: under 300 ms)\n",
              median(warm));
  std::printf("  lay out 100 records              : %8.2f ms\n", median(layout));
  if (display) std::printf("  draw the 100-record grid         : %8.2f ms\n", median(draw));
  return 0;
}
