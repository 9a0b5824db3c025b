// The Lorvane program: the app in a phone-shaped window, or headless.
//   lorvane [--headless] [--scale 1|2] [--screenshot FILE] [--script FILE]
//           [--content-url URL] [--recommend-url URL] [--sample-... ] [--help]
// With no content server named by a flag, the environment or the build, the
// sample content server starts inside the process and the app points itself
// at it.

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "app/app_delegate.h"
#include "app/command_line.h"
#include "app/quit_signals.h"
#include "app/script_player.h"
#include "app/shutdown.h"
#include "common/app_configuration.h"
#include "demo/server/sample_server.h"
#include "platform/foundation/log.h"
#include "platform/render/display.h"
#include "platform/services/desktop_url_opener.h"

int main(int argc, char** argv) {
  using namespace lorvane;
  // Before any thread starts: SIGINT and SIGTERM take the orderly exit below.
  watchQuitSignals();
  CommandLine args;
  std::string error;
  if (!parseCommandLine(argc, argv, &args, &error)) {
    std::fprintf(stderr, "lorvane: %s\n", error.c_str());
    return 2;
  }
  if (args.help) {
    std::fputs(usageText().c_str(), stdout);
    return 0;
  }
  AppConfiguration config = AppConfiguration::current();
  ServerChoice servers;
  if (!chooseServers(args, processEnvironment(), config, &servers, &error)) {
    std::fprintf(stderr, "lorvane: %s\n", error.c_str());
    return 2;
  }
  config.contentBaseURL = servers.contentBaseURL;
  config.recommendBaseURL = servers.recommendBaseURL;
  AppConfiguration::setCurrent(config);

  std::unique_ptr<demo::SampleServer> server;
  if (servers.needsSampleServer()) {
    demo::ServerOptions options;
    options.sourceDirectory = demo::defaultSourceDirectory();
    options.contentDirectory = demo::defaultContentDirectory();
    options.failFirst = args.sampleServer.failFirst;
    options.htmlFirst = args.sampleServer.htmlFirst;
    options.delaySeconds = args.sampleServer.delaySeconds;
    options.closeConnections = args.sampleServer.closeConnections;
    options.videoBytesPerSecond = args.sampleServer.videoBytesPerSecond;
    server = std::make_unique<demo::SampleServer>(options);
    if (server->start(&error)) {
      if (config.contentBaseURL.empty()) config.contentBaseURL = server->baseURL();
      if (config.recommendBaseURL.empty()) config.recommendBaseURL = server->baseURL();
      AppConfiguration::setCurrent(config);
    } else {
      Log("sample server: " + error);
      server.reset();
    }
  }

  auto display = Display::create({.headless = args.headless, .scale = args.scale}, &error);
  if (!display) {
    std::fprintf(stderr, "lorvane: %s\n", error.c_str());
    return 1;
  }
  // In a window, links go to the desktop; headless they are only recorded.
  if (!display->isHeadless()) installDesktopURLOpener();
  setQuitHandler([&display] { display->quit(); });
  Application::sharedApplication().launch(std::make_shared<AppDelegate>());

  ScriptPlayer player(*display);
  // "stop-server" in a script: the network goes away under the app.
  player.setServerStopper([&server] {
    if (!server) return false;
    server->stop();
    return true;
  });
  int status = 0;
  if (!args.script.empty()) {
    if (!player.playFile(args.script, &error)) {
      std::fprintf(stderr, "lorvane: %s\n", error.c_str());
      status = 1;
    }
  }
  if (!args.screenshot.empty() && !display->hasQuit()) {
    // Long enough for the first feed and its thumbnails to arrive.
    player.runFor(args.script.empty() ? 3.0 : 0.1);
    display->drawFrame();
    if (!display->saveScreenshot(args.screenshot)) {
      std::fprintf(stderr, "lorvane: cannot write %s\n", args.screenshot.c_str());
      status = 1;
    }
  }
  if (args.script.empty() && args.screenshot.empty()) display->run();
  // However the loop ended (window closed, script done, quit signal).
  shutDownApplication();
  setQuitHandler(nullptr);  // the display goes with main's scope
  if (server) server->stop();
  return status;
}
