// http-get: fetches URLs through the HTTP client, the way the application
// does, and reports each exchange on standard error.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "net/http_request.h"
#include "platform/foundation/run_loop.h"
#include "platform/foundation/url.h"

namespace {

using namespace lorvane;

struct Options {
  std::vector<std::string> urls;
  std::string outputPath;
  double timeout = -1;
  bool redirect = true;
  bool gzip = true;
  bool insecure = false;
  bool head = false;
  bool include = false;
  int repeat = 1;
};

void printUsage(std::FILE* to) {
  std::fputs(
      "usage: http-get [options] URL...\n"
      "  -o FILE            write the bodies to FILE instead of standard output\n"
      "  --timeout SECONDS  give up after this much silence (default 10)\n"
      "  --no-redirect      do not follow redirects\n"
      "  --no-gzip          do not ask for a gzip body\n"
      "  --insecure         do not check the server's certificate\n"
      "  --head             send HEAD instead of GET\n"
      "  --include          print the response headers before the body\n"
      "  --repeat N         fetch the whole list N times\n",
      to);
}

bool parseNumber(const char* text, double* out) {
  char* end = nullptr;
  *out = std::strtod(text, &end);
  return end != text && *end == '\0';
}

// 0: parsed, 1: help was asked for, 2: bad usage.
int parseArguments(int argc, char** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto needValue = [&](const char* name) -> const char* {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "http-get: %s needs a value\n", name);
        return nullptr;
      }
      return argv[++i];
    };
    if (arg == "-h" || arg == "--help") {
      printUsage(stdout);
      return 1;
    } else if (arg == "-o") {
      const char* value = needValue("-o");
      if (!value) return 2;
      options->outputPath = value;
    } else if (arg == "--timeout") {
      const char* value = needValue("--timeout");
      if (!value || !parseNumber(value, &options->timeout) || options->timeout < 0) {
        std::fprintf(stderr, "http-get: --timeout needs a number of seconds\n");
        return 2;
      }
    } else if (arg == "--repeat") {
      const char* value = needValue("--repeat");
      double count = 0;
      if (!value || !parseNumber(value, &count) || count < 1 || count != static_cast<int>(count)) {
        std::fprintf(stderr, "http-get: --repeat needs a whole number from 1\n");
        return 2;
      }
      options->repeat = static_cast<int>(count);
    } else if (arg == "--no-redirect") {
      options->redirect = false;
    } else if (arg == "--no-gzip") {
      options->gzip = false;
    } else if (arg == "--insecure") {
      options->insecure = true;
    } else if (arg == "--head") {
      options->head = true;
    } else if (arg == "--include") {
      options->include = true;
    } else if (!arg.empty() && arg[0] == '-') {
      std::fprintf(stderr, "http-get: unknown option %s\n", arg.c_str());
      return 2;
    } else {
      options->urls.push_back(arg);
    }
  }
  if (options->urls.empty()) {
    std::fprintf(stderr, "http-get: no URL given\n");
    return 2;
  }
  return 0;
}

class Waiter : public HTTPRequestDelegate {
 public:
  Waiter() : HTTPRequestDelegate({HTTPSelector::requestFinished, HTTPSelector::requestFailed}) {}
  void requestFinished(HTTPRequest&) override { done = true; }
  void requestFailed(HTTPRequest&) override { done = true; }
  bool done = false;
};

// Runs one exchange; true when it finished.
bool fetchOne(const std::string& text, const Options& options, std::FILE* out) {
  auto url = URL::parse(text);
  HTTPRequest::Pointer request = url && url->isAbsolute() ? HTTPRequest::requestWithURL(*url)
                                                          : HTTPRequest::requestWithoutURL();
  if (options.timeout >= 0) request->setTimeOutSeconds(options.timeout);
  request->setShouldRedirect(options.redirect);
  request->setAllowCompressedResponse(options.gzip);
  request->setValidatesSecureCertificate(!options.insecure);
  if (options.head) request->setRequestMethod("HEAD");
  Waiter waiter;
  request->setDelegate(&waiter);
  request->startAsynchronous();
  while (!waiter.done) RunLoop::main().runOnce(0.1);

  if (ErrorPtr error = request->error()) {
    std::fprintf(stderr, "error %s %d: %s\n", error->domain.c_str(), error->code,
                 error->localizedDescription().c_str());
    return false;
  }
  if (options.include) {
    std::fprintf(out, "%s\r\n", request->responseStatusMessage().c_str());
    for (const auto& [name, value] : request->responseHeaders()) {
      std::fprintf(out, "%s: %s\r\n", name.c_str(), value.c_str());
    }
    std::fputs("\r\n", out);
  }
  std::size_t bytes = 0;
  if (auto body = request->responseData()) {
    bytes = body->size();
    std::fwrite(body->data(), 1, body->size(), out);
  } else if (!request->rawResponseData().empty()) {
    // A body that cannot be inflated is still the server's bytes.
    const Data& raw = request->rawResponseData();
    bytes = raw.size();
    std::fwrite(raw.data(), 1, raw.size(), out);
  }
  std::fflush(out);
  std::fprintf(stderr, "status %d bytes %zu redirects %d reused %s\n",
               request->responseStatusCode(), bytes, request->redirectCount(),
               request->usedReusedConnection() ? "yes" : "no");
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  int parsed = parseArguments(argc, argv, &options);
  if (parsed == 1) return 0;
  if (parsed == 2) {
    printUsage(stderr);
    return 2;
  }
  RunLoop::main().bindToCurrentThread();
  HTTPRequest::setShouldUpdateNetworkActivityIndicator(false);

  std::FILE* out = stdout;
  if (!options.outputPath.empty()) {
    out = std::fopen(options.outputPath.c_str(), "wb");
    if (!out) {
      std::fprintf(stderr, "http-get: cannot write %s: %s\n", options.outputPath.c_str(),
                   std::strerror(errno));
      return 2;
    }
  }
  bool allFinished = true;
  for (int round = 0; round < options.repeat; ++round) {
    for (const auto& url : options.urls) allFinished = fetchOne(url, options, out) && allFinished;
  }
  if (out != stdout) std::fclose(out);
  return allFinished ? 0 : 1;
}
