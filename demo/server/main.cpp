// lorvane-demo-server: the sample content server on its own.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "demo/server/sample_server.h"

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void onSignal(int) {
  stopRequested = 1;
}

int usage() {
  std::fprintf(
      stderr,
      "usage: lorvane-demo-server [--port P] [--bind ADDRESS] [--content DIR] "
      "[--public-url URL]\n"
      "                           [--fail-first N] [--html-first N] [--delay SECONDS]\n"
      "                           [--close-connections] [--verbose]\n"
      "Serves a content tree (by default the sample lessons): the lesson feeds,\n"
      "recommended apps, thumbnails, icons, app pages and videos.\n"
      "  --content DIR       the tree to serve\n"
      "  --public-url URL    the address the feeds' links carry (default: the server's)\n"
      "  --fail-first N      drop the connection of the first N feed/app requests\n"
      "  --html-first N      answer the first N feed/app requests with an HTML error page\n"
      "  --delay SECONDS     wait before each feed/app answer\n"
      "  --close-connections no keep-alive\n");
  return 2;
}

bool number(const char* text, double* out) {
  char* end = nullptr;
  *out = std::strtod(text, &end);
  return end && *end == '\0' && end != text && *out >= 0;
}

}  // namespace

int main(int argc, char** argv) {
  lorvane::demo::ServerOptions options;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&](double* out) { return i + 1 < argc && number(argv[++i], out); };
    double v = 0;
    if (arg == "--port" && value(&v) && v <= 65535) {
      options.port = static_cast<std::uint16_t>(v);
    } else if (arg == "--bind" && i + 1 < argc) {
      options.bindAddress = argv[++i];
    } else if (arg == "--content" && i + 1 < argc) {
      options.contentDirectory = argv[++i];
    } else if (arg == "--public-url" && i + 1 < argc) {
      options.publicBaseURL = argv[++i];
    } else if (arg == "--fail-first" && value(&v)) {
      options.failFirst = static_cast<int>(v);
    } else if (arg == "--html-first" && value(&v)) {
      options.htmlFirst = static_cast<int>(v);
    } else if (arg == "--delay" && value(&v)) {
      options.delaySeconds = v;
    } else if (arg == "--close-connections") {
      options.closeConnections = true;
    } else if (arg == "--verbose") {
      options.verbose = true;
    } else {
      return usage();
    }
  }
  lorvane::demo::SampleServer server(options);
  std::string error;
  if (!server.start(&error)) {
    std::fprintf(stderr, "lorvane-demo-server: %s\n", error.c_str());
    return 1;
  }
  std::printf("%s\n", server.baseURL().c_str());
  std::fflush(stdout);
  std::signal(SIGINT, onSignal);
  std::signal(SIGTERM, onSignal);
  while (!stopRequested) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  server.stop();
  return 0;
}
