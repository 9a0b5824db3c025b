// The Lorvane program: the app in a phone-shaped window, or headless.
//   lorvane [--headless] [--scale 1|2] [--screenshot FILE] [--script FILE]
// With no content server configured at build time, the sample content
// server starts inside the process and the app points itself at it.

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "app/app_delegate.h"
#include "app/script_player.h"
#include "common/app_configuration.h"
#include "demo/server/sample_server.h"
#include "platform/foundation/log.h"
#include "platform/render/display.h"

namespace {

struct Arguments {
  bool headless = false;
  double scale = 2;
  std::string screenshot;
  std::string script;
};

bool parse(int argc, char** argv, Arguments& out) {
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&](std::string& into) {
      if (i + 1 >= argc) return false;
      into = argv[++i];
      return true;
    };
    std::string v;
    if (a == "--headless") {
      out.headless = true;
    } else if (a == "--scale" && value(v)) {
      out.scale = std::strtod(v.c_str(), nullptr);
      if (out.scale != 1 && out.scale != 2) return false;
    } else if (a == "--screenshot" && value(out.screenshot)) {
    } else if (a == "--script" && value(out.script)) {
    } else {
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace lorvane;
  Arguments args;
  if (!parse(argc, argv, args)) {
    std::fprintf(stderr,
                 "usage: lorvane [--headless] [--scale 1|2] [--screenshot FILE] [--script FILE]\n");
    return 2;
  }

  std::unique_ptr<demo::SampleServer> server;
  AppConfiguration config = AppConfiguration::current();
  if (config.contentBaseURL.empty() || config.recommendBaseURL.empty()) {
    demo::ServerOptions options;
    options.sourceDirectory = demo::defaultSourceDirectory();
    options.contentDirectory = demo::defaultContentDirectory();
    server = std::make_unique<demo::SampleServer>(options);
    std::string error;
    if (server->start(&error)) {
      if (config.contentBaseURL.empty()) config.contentBaseURL = server->baseURL();
      if (config.recommendBaseURL.empty()) config.recommendBaseURL = server->baseURL();
      AppConfiguration::setCurrent(config);
    } else {
      Log("sample server: " + error);
      server.reset();
    }
  }

  std::string error;
  auto display = Display::create({.headless = args.headless, .scale = args.scale}, &error);
  if (!display) {
    std::fprintf(stderr, "lorvane: %s\n", error.c_str());
    return 1;
  }
  Application::sharedApplication().launch(std::make_shared<AppDelegate>());

  ScriptPlayer player(*display);
  int status = 0;
  if (!args.script.empty()) {
    if (!player.playFile(args.script, &error)) {
      std::fprintf(stderr, "lorvane: %s\n", error.c_str());
      status = 1;
    }
  }
  if (!args.screenshot.empty()) {
    // Long enough for the first feed and its thumbnails to arrive.
    player.runFor(args.script.empty() ? 3.0 : 0.1);
    display->drawFrame();
    if (!display->saveScreenshot(args.screenshot)) {
      std::fprintf(stderr, "lorvane: cannot write %s\n", args.screenshot.c_str());
      status = 1;
    }
  }
  if (args.script.empty() && args.screenshot.empty()) display->run();
  Application::sharedApplication().terminate();
  if (server) server->stop();
  return status;
}
