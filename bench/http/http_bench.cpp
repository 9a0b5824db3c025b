// Measures, in one run against one local nginx: sequential keep-alive GETs
// of a 1 KB JSON file, the same GETs 4 at once, one 100 MB download, and
// inflating a large gzip body, each with our code and with what a user
// would pick instead (libcurl with one reused easy handle, or its multi
// interface with 4; plain zlib).

#include <curl/curl.h>
#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "net/connection_pool.h"
#include "net/data_decompressor.h"
#include "net/http_request.h"
#include "platform/foundation/run_loop.h"
#include "support/net/nginx_server.h"

namespace {

using namespace lorvane;
using Stopwatch = std::chrono::steady_clock;
constexpr int kSmallRounds = 9;

double secondsSince(Stopwatch::time_point start) {
  return std::chrono::duration<double>(Stopwatch::now() - start).count();
}

class Waiter : public HTTPRequestDelegate {
 public:
  Waiter() : HTTPRequestDelegate({HTTPSelector::requestFinished, HTTPSelector::requestFailed}) {}
  void requestFinished(HTTPRequest&) override { done = true; }
  void requestFailed(HTTPRequest& request) override {
    done = true;
    failed = true;
    std::fprintf(stderr, "request failed: %s\n", request.error()->localizedDescription().c_str());
  }
  bool done = false;
  bool failed = false;
};

// The application's own path: requestWithURL, delegate, startAsynchronous,
// the answer on the main thread. The finished request holds the body as
// received, as libcurl's caller holds what its callback collected.
HTTPRequest::Pointer ourGet(const URL& url) {
  Waiter waiter;
  auto request = HTTPRequest::requestWithURL(url);
  request->setDelegate(&waiter);
  request->startAsynchronous();
  while (!waiter.done) RunLoop::main().runOnce(0.05);
  if (waiter.failed) std::exit(1);
  return request;
}

// Keeps `parallel` requests in flight until `total` have finished, each new
// one started from the finishing one's callback, as a screen would.
class Pipeline : public HTTPRequestDelegate {
 public:
  Pipeline(URL url, int total)
      : HTTPRequestDelegate({HTTPSelector::requestFinished, HTTPSelector::requestFailed}),
        url_(std::move(url)),
        total_(total) {}
  void run(int parallel) {
    for (int i = 0; i < parallel && started_ < total_; ++i) startOne();
    while (finished_ < total_) RunLoop::main().runOnce(0.05);
  }
  void requestFinished(HTTPRequest& request) override {
    if (request.responseStatusCode() != 200 || request.rawResponseLength() == 0) {
      std::fprintf(stderr, "unexpected reply: %d\n", request.responseStatusCode());
      std::exit(1);
    }
    ++finished_;
    if (started_ < total_) startOne();
  }
  void requestFailed(HTTPRequest& request) override {
    std::fprintf(stderr, "request failed: %s\n", request.error()->localizedDescription().c_str());
    std::exit(1);
  }

 private:
  void startOne() {
    ++started_;
    auto request = HTTPRequest::requestWithURL(url_);
    request->setDelegate(this);
    request->startAsynchronous();
  }
  URL url_;
  int total_;
  int started_ = 0;
  int finished_ = 0;
};

std::size_t collect(char* data, std::size_t size, std::size_t count, void* user) {
  static_cast<std::string*>(user)->append(data, size * count);
  return size * count;
}

struct Curl {
  CURL* handle = curl_easy_init();
  std::string body;
  Curl() {
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(handle, CURLOPT_ACCEPT_ENCODING, "gzip");
  }
  ~Curl() { curl_easy_cleanup(handle); }
  std::size_t get(const std::string& url) {
    body.clear();
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    if (curl_easy_perform(handle) != CURLE_OK) std::exit(1);
    return body.size();
  }
};

// libcurl's multi interface with `parallel` reused easy handles, each one
// put back for the next transfer as soon as its last one is done.
struct CurlMulti {
  CURLM* multi = curl_multi_init();
  std::vector<std::unique_ptr<Curl>> handles;
  explicit CurlMulti(int parallel) {
    for (int i = 0; i < parallel; ++i) handles.push_back(std::make_unique<Curl>());
  }
  ~CurlMulti() { curl_multi_cleanup(multi); }
  void run(const std::string& url, int total) {
    int started = 0, finished = 0;
    for (auto& handle : handles) {
      if (started == total) break;
      handle->body.clear();
      curl_easy_setopt(handle->handle, CURLOPT_URL, url.c_str());
      curl_multi_add_handle(multi, handle->handle);
      ++started;
    }
    while (finished < total) {
      int running = 0;
      curl_multi_perform(multi, &running);
      int left = 0;
      while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
        if (message->msg != CURLMSG_DONE) continue;
        if (message->data.result != CURLE_OK) std::exit(1);
        CURL* done = message->easy_handle;
        curl_multi_remove_handle(multi, done);
        ++finished;
        if (started < total) {
          for (auto& handle : handles) {
            if (handle->handle == done) handle->body.clear();
          }
          curl_multi_add_handle(multi, done);
          ++started;
        }
      }
      if (finished < total) curl_multi_poll(multi, nullptr, 0, 1000, nullptr);
    }
  }
};

struct Row {
  std::string what;
  double ours;
  double theirs;
  std::string unit;
  std::string against;
};

void printTable(const std::vector<Row>& rows) {
  std::printf("\n%-34s %14s %14s %8s  %s\n", "benchmark", "ours", "theirs", "ratio", "against");
  for (const auto& row : rows) {
    std::printf("%-34s %10.1f %-3s %10.1f %-3s %7.2fx  %s\n", row.what.c_str(), row.ours,
                row.unit.c_str(), row.theirs, row.unit.c_str(), row.ours / row.theirs,
                row.against.c_str());
  }
}

std::string makeJSON(std::size_t size) {
  std::string text = "{\"data\":[";
  int i = 0;
  while (text.size() + 64 < size) {
    text += "{\"id\":" + std::to_string(i++) + ",\"title\":\"lesson\"},";
  }
  text += "{}]}";
  text.resize(size, ' ');
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  int smallRequests = argc > 1 ? std::atoi(argv[1]) : 3000;
  // A second argument runs one measurement alone, for profiling it:
  // "small", "parallel", "download" or "inflate".
  const std::string only = argc > 2 ? argv[2] : "";
  auto runs = [&only](const char* name) { return only.empty() || only == name; };
  RunLoop::main().bindToCurrentThread();
  HTTPRequest::setShouldUpdateNetworkActivityIndicator(false);
  curl_global_init(CURL_GLOBAL_DEFAULT);

  testing::TemporaryDirectory content;
  content.write("feed.json", makeJSON(1024));
  if (runs("download")) {
    {
      std::ofstream big(content.file("big.bin"), std::ios::binary);
      std::mt19937_64 random(42);
      std::vector<std::uint64_t> block(1 << 16);
      for (int i = 0; i < 100 * 1024 * 1024 / static_cast<int>(block.size() * 8); ++i) {
        for (auto& word : block) word = random();
        big.write(reinterpret_cast<const char*>(block.data()),
                  static_cast<std::streamsize>(block.size() * 8));
      }
    }
    // Written back to the disk now, not by the kernel in the middle of
    // the small requests' rounds.
    const int fd = ::open(content.file("big.bin").c_str(), O_RDONLY);
    if (fd >= 0) {
      ::fsync(fd);
      ::close(fd);
    }
  }
  testing::NginxServer::Options options;
  options.root = content.path();
  options.keepaliveRequests = 1000000;
  testing::NginxServer nginx(options);
  if (!nginx.running()) {
    std::fprintf(stderr, "nginx did not start\n");
    return 1;
  }
  std::vector<Row> rows;

  // Small keep-alive GETs.
  if (runs("small")) {
    URL url = *URL::parse(nginx.url("/feed.json"));
    Curl curl;
    for (int i = 0; i < 50; ++i) {
      ourGet(url);
      curl.get(url.absoluteString());
    }
    // Many short rounds, taking turns, so that a burst of other load on
    // the machine costs both sides alike; the best round of each counts.
    double best = 0, bestCurl = 0;
    const int perRound = std::max(1, smallRequests / 3);
    for (int round = 0; round < kSmallRounds; ++round) {
      auto start = Stopwatch::now();
      for (int i = 0; i < perRound; ++i) ourGet(url);
      best = std::max(best, perRound / secondsSince(start));
      start = Stopwatch::now();
      for (int i = 0; i < perRound; ++i) curl.get(url.absoluteString());
      bestCurl = std::max(bestCurl, perRound / secondsSince(start));
    }
    rows.push_back(
        {"1 KB JSON GET, keep-alive", best, bestCurl, "r/s", "libcurl, one easy handle"});
  }

  // The same GETs, 4 at once (the shared queue runs at most 4).
  if (runs("parallel")) {
    URL url = *URL::parse(nginx.url("/feed.json"));
    CurlMulti multi(4);
    Pipeline(url, 200).run(4);
    multi.run(url.absoluteString(), 200);
    double best = 0, bestCurl = 0;
    const int perRound = std::max(1, smallRequests / 3);
    for (int round = 0; round < kSmallRounds; ++round) {
      auto start = Stopwatch::now();
      Pipeline(url, perRound).run(4);
      best = std::max(best, perRound / secondsSince(start));
      start = Stopwatch::now();
      multi.run(url.absoluteString(), perRound);
      bestCurl = std::max(bestCurl, perRound / secondsSince(start));
    }
    rows.push_back(
        {"1 KB JSON GET, 4 at once", best, bestCurl, "r/s", "libcurl multi, 4 easy handles"});
  }

  // One 100 MB download.
  if (runs("download")) {
    URL url = *URL::parse(nginx.url("/big.bin"));
    Curl curl;
    double best = 0, bestCurl = 0;
    for (int round = 0; round < 3; ++round) {
      // Each body stays with its caller until the clock has stopped, and
      // each transfer writes into fresh memory sized from the length, as
      // ours does. (Assigning an empty string would keep the old buffer,
      // whose pages are already mapped in.)
      auto start = Stopwatch::now();
      HTTPRequest::Pointer request = ourGet(url);
      double seconds = secondsSince(start);
      best = std::max(best, request->rawResponseLength() / 1048576.0 / seconds);
      request.reset();

      std::string().swap(curl.body);
      start = Stopwatch::now();
      curl.body.reserve(100 * 1024 * 1024);
      std::size_t bytes = curl.get(url.absoluteString());
      bestCurl = std::max(bestCurl, bytes / 1048576.0 / secondsSince(start));
    }
    rows.push_back({"100 MB download", best, bestCurl, "MB/s", "libcurl, one easy handle"});
  }

  // Inflating a large gzip body.
  if (runs("inflate")) {
    std::string text;
    std::mt19937 random(3);
    const char* words[] = {"lesson ", "orvel ",      "speak ", "english ",
                           "video ",  "\"title\": ", "\n"};
    while (text.size() < 64 * 1024 * 1024) text += words[random() % 7];
    z_stream z{};
    deflateInit2(&z, 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
    Data gzip(deflateBound(&z, static_cast<uLong>(text.size())));
    z.next_in = reinterpret_cast<Bytef*>(text.data());
    z.avail_in = static_cast<uInt>(text.size());
    z.next_out = gzip.data();
    z.avail_out = static_cast<uInt>(gzip.size());
    deflate(&z, Z_FINISH);
    gzip.resize(gzip.size() - z.avail_out);
    deflateEnd(&z);

    double best = 0, bestZlib = 0;
    for (int round = 0; round < 3; ++round) {
      auto start = Stopwatch::now();
      auto out = DataDecompressor::uncompressData(gzip);
      best = std::max(best, out->size() / 1048576.0 / secondsSince(start));

      start = Stopwatch::now();
      z_stream in{};
      inflateInit2(&in, 15 + 32);
      std::vector<std::uint8_t> buffer(text.size());
      in.next_in = gzip.data();
      in.avail_in = static_cast<uInt>(gzip.size());
      in.next_out = buffer.data();
      in.avail_out = static_cast<uInt>(buffer.size());
      inflate(&in, Z_FINISH);
      std::size_t produced = buffer.size() - in.avail_out;
      inflateEnd(&in);
      bestZlib = std::max(bestZlib, produced / 1048576.0 / secondsSince(start));
    }
    rows.push_back(
        {"inflate 64 MB from gzip", best, bestZlib, "MB/s", "zlib inflate into a sized buffer"});
  }

  printTable(rows);
  ConnectionPool::shared().removeAll();
  curl_global_cleanup();
  return 0;
}
