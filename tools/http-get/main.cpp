// http-get: fetches URLs through the HTTP client, the way the application
// does, and reports each exchange on standard error.

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "net/data_decompressor.h"
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
  bool raw = false;
  int repeat = 1;
};

void printUsage(std::FILE* to) {
  std::fputs(
      "usage: http-get [options] URL...\n"
      "  -o FILE            write the bodies to FILE instead of standard output\n"
      "  --timeout SECONDS  give up after this much silence (default 10; 0 never\n"
      "                     gives up)\n"
      "  --no-redirect      do not follow redirects\n"
      "  --no-gzip          do not ask for a gzip body\n"
      "  --insecure         do not check the server's certificate\n"
      "  --head             send HEAD instead of GET\n"
      "  --include          print the status line and the header lines, as\n"
      "                     received, before the body\n"
      "  --raw              write the body as received, without inflating it\n"
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
    } else if (arg == "--raw") {
      options->raw = true;
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

bool writeAll(std::FILE* out, const void* bytes, std::size_t length) {
  return std::fwrite(bytes, 1, length, out) == length;
}

bool writeText(std::FILE* out, const std::string& text) {
  return writeAll(out, text.data(), text.size());
}

// What went wrong when a compressed body cannot be inflated.
ErrorPtr inflationError(const Data& raw) {
  ErrorPtr error;
  bool reachedEnd = false;
  auto inflated = DataDecompressor::inflateWhole(
      raw.data(), raw.size(), HTTPRequest::maximumInflatedLength(), &reachedEnd, &error);
  if (error) return error;
  if (!inflated || !reachedEnd) {
    return DataDecompressor::decompressionError(-5, "The compressed body ended early");
  }
  return nullptr;
}

void reportError(const ErrorPtr& error) {
  std::fprintf(stderr, "error %s %d: %s\n", error->domain.c_str(), error->code,
               error->localizedDescription().c_str());
}

enum class Outcome { kFinished, kFailed, kWriteFailed };

// Runs one exchange.
Outcome fetchOne(const std::string& text, const Options& options, std::FILE* out) {
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
    reportError(error);
    return Outcome::kFailed;
  }
  // The body first, so that a body that cannot be decoded writes nothing.
  std::optional<Data> body;
  if (options.raw) {
    body = request->rawResponseData();
  } else {
    body = request->responseData();
    if (!body) {
      Data raw = request->rawResponseData();
      if (!raw.empty()) {
        ErrorPtr error = inflationError(raw);
        if (!error) error = DataDecompressor::decompressionError(-3);
        reportError(error);
        return Outcome::kFailed;
      }
      body = Data();
    }
  }
  bool written = true;
  if (options.include) {
    written = writeText(out, request->responseStatusMessage() + "\r\n");
    for (const auto& [name, value] : request->responseHeaderFields()) {
      written = written && writeText(out, name + ": " + value + "\r\n");
    }
    written = written && writeText(out, "\r\n");
  }
  written = written && writeAll(out, body->data(), body->size());
  written = std::fflush(out) == 0 && written;
  if (!written) {
    std::fprintf(stderr, "http-get: cannot write the output: %s\n", std::strerror(errno));
    return Outcome::kWriteFailed;
  }
  std::fprintf(stderr, "status %d bytes %zu redirects %d reused %s\n",
               request->responseStatusCode(), body->size(), request->redirectCount(),
               request->usedReusedConnection() ? "yes" : "no");
  return Outcome::kFinished;
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
    for (const auto& url : options.urls) {
      Outcome outcome = fetchOne(url, options, out);
      if (outcome == Outcome::kWriteFailed) return 1;  // nothing more can be written
      allFinished = outcome == Outcome::kFinished && allFinished;
    }
  }
  if (out != stdout && std::fclose(out) != 0) {
    std::fprintf(stderr, "http-get: cannot write %s: %s\n", options.outputPath.c_str(),
                 std::strerror(errno));
    return 1;
  }
  return allFinished ? 0 : 1;
}
