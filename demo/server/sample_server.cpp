#include <utility>  // before Asio: Boost 1.74 needs it under C++20

#include "demo/server/sample_server.h"

#include <sys/socket.h>
#include <zlib.h>

#include <atomic>
#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <thread>

#include "demo/server/content_catalog.h"

namespace lorvane::demo {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

namespace {

constexpr int kKeepAliveSeconds = 30;
constexpr int kKeepAliveMax = 100;

std::string gzipped(const std::string& text) {
  z_stream stream{};
  if (deflateInit2(&stream, Z_BEST_SPEED, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
    return {};
  }
  std::string out(deflateBound(&stream, text.size()) + 32, '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  stream.avail_in = static_cast<uInt>(text.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  int result = deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return result == Z_STREAM_END ? out : std::string();
}

bool acceptsGzip(const std::string& header) {
  // A plain token search is enough for the clients we see; "gzip;q=0" is
  // honoured as a refusal.
  auto at = header.find("gzip");
  if (at == std::string::npos) return false;
  auto rest = header.substr(at + 4);
  auto comma = rest.find(',');
  rest = rest.substr(0, comma);
  return rest.find("q=0") == std::string::npos || rest.find("q=0.") != std::string::npos;
}

std::string mimeTypeFor(const std::string& path) {
  auto dot = path.rfind('.');
  std::string ext = dot == std::string::npos ? "" : path.substr(dot + 1);
  if (ext == "jpg" || ext == "jpeg") return "image/jpeg";
  if (ext == "png") return "image/png";
  if (ext == "mp4" || ext == "m4v") return "video/mp4";
  if (ext == "json") return "application/json; charset=utf-8";
  if (ext == "html") return "text/html; charset=utf-8";
  return "application/octet-stream";
}

// Only plain names directly inside the media folders are served.
bool safeMediaPath(const std::string& path) {
  static const char* prefixes[] = {"/thumbs/", "/icons/", "/videos/", "/apps/"};
  bool known = false;
  for (const char* prefix : prefixes) known = known || path.rfind(prefix, 0) == 0;
  if (!known) return false;
  auto name = path.substr(path.find('/', 1) + 1);
  if (name.empty() || name.find('/') != std::string::npos || name.find("..") != std::string::npos) {
    return false;
  }
  for (unsigned char c : name) {
    if (!(std::isalnum(c) || c == '-' || c == '_' || c == '.')) return false;
  }
  return true;
}

struct ByteRange {
  std::uint64_t first = 0;
  std::uint64_t last = 0;  // inclusive
};

// "bytes=a-b", "bytes=a-", "bytes=-n"; nothing for a form we do not serve
// (several ranges), unsatisfiable marks a range past the end.
std::optional<ByteRange> parseRange(const std::string& header, std::uint64_t size,
                                    bool* unsatisfiable) {
  *unsatisfiable = false;
  if (header.rfind("bytes=", 0) != 0 || header.find(',') != std::string::npos) return std::nullopt;
  std::string wanted = header.substr(6);
  auto dash = wanted.find('-');
  if (dash == std::string::npos) return std::nullopt;
  std::string a = wanted.substr(0, dash), b = wanted.substr(dash + 1);
  auto number = [](const std::string& s, std::uint64_t* out) {
    if (s.empty() || s.size() > 19) return false;
    std::uint64_t v = 0;
    for (char c : s) {
      if (c < '0' || c > '9') return false;
      v = v * 10 + static_cast<std::uint64_t>(c - '0');
    }
    *out = v;
    return true;
  };
  ByteRange range;
  if (a.empty()) {
    std::uint64_t suffix = 0;
    if (!number(b, &suffix) || suffix == 0) {
      *unsatisfiable = true;
      return std::nullopt;
    }
    range.first = suffix >= size ? 0 : size - suffix;
    range.last = size - 1;
  } else {
    if (!number(a, &range.first)) return std::nullopt;
    if (b.empty()) {
      range.last = size - 1;
    } else if (!number(b, &range.last) || range.last < range.first) {
      return std::nullopt;
    }
    if (range.first >= size) {
      *unsatisfiable = true;
      return std::nullopt;
    }
    if (range.last >= size) range.last = size - 1;
  }
  if (size == 0) {
    *unsatisfiable = true;
    return std::nullopt;
  }
  return range;
}

std::optional<std::string> readSlice(const std::string& path, std::uint64_t offset,
                                     std::uint64_t length) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  in.seekg(static_cast<std::streamoff>(offset));
  std::string data(length, '\0');
  in.read(data.data(), static_cast<std::streamsize>(length));
  if (static_cast<std::uint64_t>(in.gcount()) != length) return std::nullopt;
  return data;
}

const char* kHtmlErrorPage =
    "<!DOCTYPE html>\n<html><head><title>503 Service Temporarily Unavailable</title></head>\n"
    "<body><h1>Service Temporarily Unavailable</h1><p>The server is busy. Please try again "
    "later.</p></body></html>\n";

}  // namespace

struct SampleServer::Impl {
  ServerOptions options;
  ContentCatalog catalog;
  asio::io_context io;
  std::optional<tcp::acceptor> acceptor;
  std::thread acceptThread;
  std::atomic<bool> running{false};

  mutable std::mutex mutex;
  std::set<int> openSockets;
  // Sessions run on detached threads; stop() waits for the count to drop.
  std::size_t activeSessions = 0;
  std::condition_variable sessionsDone;
  std::vector<RequestRecord> log;
  Answer hook;
  int failLeft = 0;
  int htmlLeft = 0;
  double delay = 0;

  std::string base() const {
    return "http://" + options.bindAddress + ":" +
           std::to_string(acceptor->local_endpoint().port());
  }

  bool takeOne(int& counter) {
    std::lock_guard lock(mutex);
    if (counter <= 0) return false;
    --counter;
    return true;
  }

  void acceptLoop() {
    while (running) {
      beast::error_code ec;
      tcp::socket socket(io);
      acceptor->accept(socket, ec);
      if (ec || !running) break;
      int fd = socket.native_handle();
      // An idle keep-alive connection ends on its own after a while.
      timeval timeout{kKeepAliveSeconds, 0};
      setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
      std::lock_guard lock(mutex);
      openSockets.insert(fd);
      ++activeSessions;
      std::thread([this, s = std::move(socket)]() mutable { serve(std::move(s)); }).detach();
    }
  }

  void serve(tcp::socket socket) {
    const int fd = socket.native_handle();
    beast::flat_buffer buffer;
    int served = 0;
    for (;;) {
      http::request_parser<http::string_body> parser;
      parser.header_limit(16 * 1024);
      parser.body_limit(1024 * 1024);
      beast::error_code ec;
      http::read(socket, buffer, parser, ec);
      if (ec) break;
      auto& request = parser.get();
      ++served;
      bool keepAlive = request.keep_alive() && !options.closeConnections && served < kKeepAliveMax;
      auto response = answer(request, keepAlive);
      if (!response) break;  // told to drop the connection
      http::write(socket, *response, ec);
      if (ec || !keepAlive) break;
    }
    // Closed under the lock so that stop() never shuts down a number that
    // has been reused for another file.
    std::lock_guard lock(mutex);
    beast::error_code ignored;
    socket.shutdown(tcp::socket::shutdown_both, ignored);
    socket.close(ignored);
    openSockets.erase(fd);
    if (--activeSessions == 0) sessionsDone.notify_all();
  }

  using Response = http::response<http::string_body>;

  std::optional<Response> answer(const http::request<http::string_body>& request, bool keepAlive) {
    RequestRecord record;
    record.method = std::string(request.method_string());
    record.target = std::string(request.target());
    record.range = std::string(request[http::field::range]);
    record.acceptEncoding = std::string(request[http::field::accept_encoding]);
    record.userAgent = std::string(request[http::field::user_agent]);

    std::string path = record.target.substr(0, record.target.find('?'));
    std::string query = record.target.find('?') == std::string::npos
                            ? ""
                            : record.target.substr(record.target.find('?') + 1);
    const bool api = path == "/infolist" || path == "/api/app/resourcelist_ng.json";

    Answer currentHook;
    double currentDelay;
    {
      std::lock_guard lock(mutex);
      currentHook = hook;
      currentDelay = delay;
    }
    if (api && currentDelay > 0) {
      std::this_thread::sleep_for(std::chrono::duration<double>(currentDelay));
    }
    if (api && takeOne(failLeft)) {
      remember(record, false);
      return std::nullopt;
    }

    Response response;
    response.version(request.version());
    response.set(http::field::server, "lorvane-demo-server");
    response.keep_alive(keepAlive);
    if (keepAlive) {
      response.set("Keep-Alive", "timeout=" + std::to_string(kKeepAliveSeconds) +
                                     ", max=" + std::to_string(kKeepAliveMax));
    }

    std::optional<CannedResponse> canned;
    if (currentHook) canned = currentHook(record);
    if (!canned && api && takeOne(htmlLeft)) {
      canned = CannedResponse{503, "text/html; charset=utf-8", kHtmlErrorPage};
    }
    if (!canned && api) canned = apiAnswer(path, query);

    if (canned) {
      response.result(static_cast<http::status>(canned->status));
      response.set(http::field::content_type, canned->contentType);
      if (acceptsGzip(record.acceptEncoding) && canned->body.size() > 64) {
        response.set(http::field::content_encoding, "gzip");
        response.body() = gzipped(canned->body);
      } else {
        response.body() = canned->body;
      }
    } else if (request.method() != http::verb::get && request.method() != http::verb::head) {
      response.result(http::status::method_not_allowed);
      response.set(http::field::content_type, "text/plain; charset=utf-8");
      response.body() = "method not allowed\n";
    } else {
      serveFile(path, record.range, response);
    }
    response.prepare_payload();
    if (request.method() == http::verb::head) {
      auto length = response.body().size();
      response.body().clear();
      response.content_length(length);
    }
    remember(record, true);
    if (options.verbose) {
      std::fprintf(stderr, "%s %s -> %d\n", record.method.c_str(), record.target.c_str(),
                   response.result_int());
    }
    return response;
  }

  std::optional<CannedResponse> apiAnswer(const std::string& path, const std::string& query) {
    std::string b = base();
    if (path == "/api/app/resourcelist_ng.json") {
      return CannedResponse{200, "application/json; charset=utf-8", catalog.recommendations(b)};
    }
    if (query.find("_method=infoJson") != std::string::npos) {
      return CannedResponse{200, "application/json; charset=utf-8", catalog.topicFeed(b)};
    }
    if (query.find("_method=orvel") != std::string::npos) {
      return CannedResponse{200, "application/json; charset=utf-8", catalog.showFeed(b)};
    }
    return CannedResponse{404, "application/json; charset=utf-8",
                          "{\"status\":404,\"message\":\"unknown _method\"}"};
  }

  void serveFile(const std::string& path, const std::string& rangeHeader, Response& response) {
    response.set(http::field::accept_ranges, "bytes");
    if (!safeMediaPath(path)) {
      notFound(response);
      return;
    }
    std::string file = options.contentDirectory + path;
    std::error_code ec;
    auto size = std::filesystem::file_size(file, ec);
    if (ec) {
      notFound(response);
      return;
    }
    response.set(http::field::content_type, mimeTypeFor(path));
    bool unsatisfiable = false;
    std::optional<ByteRange> range;
    if (!rangeHeader.empty()) range = parseRange(rangeHeader, size, &unsatisfiable);
    if (unsatisfiable) {
      response.result(http::status::range_not_satisfiable);
      response.set(http::field::content_range, "bytes */" + std::to_string(size));
      return;
    }
    std::uint64_t first = range ? range->first : 0;
    std::uint64_t length = range ? range->last - range->first + 1 : size;
    auto data = readSlice(file, first, length);
    if (!data) {
      notFound(response);
      return;
    }
    if (range) {
      response.result(http::status::partial_content);
      response.set(http::field::content_range, "bytes " + std::to_string(range->first) + "-" +
                                                   std::to_string(range->last) + "/" +
                                                   std::to_string(size));
    }
    response.body() = std::move(*data);
  }

  static void notFound(Response& response) {
    response.result(http::status::not_found);
    response.set(http::field::content_type, "text/plain; charset=utf-8");
    response.body() = "not found\n";
  }

  void remember(RequestRecord record, bool answered) {
    record.answered = answered;
    std::lock_guard lock(mutex);
    log.push_back(std::move(record));
  }
};

SampleServer::SampleServer(ServerOptions options) : impl_(std::make_unique<Impl>()) {
  if (options.sourceDirectory.empty()) options.sourceDirectory = defaultSourceDirectory();
  if (options.contentDirectory.empty()) options.contentDirectory = defaultContentDirectory();
  impl_->failLeft = options.failFirst;
  impl_->htmlLeft = options.htmlFirst;
  impl_->delay = options.delaySeconds;
  impl_->options = std::move(options);
}

SampleServer::~SampleServer() {
  stop();
}

bool SampleServer::start(std::string* error) {
  if (impl_->running) return true;
  std::string loadError;
  if (!impl_->catalog.load(impl_->options.sourceDirectory, &loadError)) {
    if (error) *error = loadError;
    return false;
  }
  try {
    auto address = asio::ip::make_address(impl_->options.bindAddress);
    impl_->acceptor.emplace(impl_->io);
    tcp::endpoint endpoint(address, impl_->options.port);
    impl_->acceptor->open(endpoint.protocol());
    impl_->acceptor->set_option(asio::socket_base::reuse_address(true));
    impl_->acceptor->bind(endpoint);
    impl_->acceptor->listen();
  } catch (const std::exception& e) {
    impl_->acceptor.reset();
    if (error) *error = std::string("cannot listen: ") + e.what();
    return false;
  }
  impl_->running = true;
  impl_->acceptThread = std::thread([this] { impl_->acceptLoop(); });
  return true;
}

void SampleServer::stop() {
  if (!impl_->running.exchange(false)) return;
  ::shutdown(impl_->acceptor->native_handle(), SHUT_RDWR);
  if (impl_->acceptThread.joinable()) impl_->acceptThread.join();
  {
    std::unique_lock lock(impl_->mutex);
    for (int fd : impl_->openSockets) ::shutdown(fd, SHUT_RDWR);
    impl_->sessionsDone.wait(lock, [&] { return impl_->activeSessions == 0; });
  }
  beast::error_code ignored;
  impl_->acceptor->close(ignored);
}

std::uint16_t SampleServer::port() const {
  return impl_->acceptor ? impl_->acceptor->local_endpoint().port() : 0;
}

std::string SampleServer::baseURL() const {
  return impl_->base();
}

void SampleServer::setAnswerHook(Answer hook) {
  std::lock_guard lock(impl_->mutex);
  impl_->hook = std::move(hook);
}

void SampleServer::setFailFirst(int count) {
  std::lock_guard lock(impl_->mutex);
  impl_->failLeft = count;
}

void SampleServer::setHtmlFirst(int count) {
  std::lock_guard lock(impl_->mutex);
  impl_->htmlLeft = count;
}

void SampleServer::setDelaySeconds(double seconds) {
  std::lock_guard lock(impl_->mutex);
  impl_->delay = seconds;
}

std::vector<RequestRecord> SampleServer::requests() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->log;
}

std::size_t SampleServer::requestCount(const std::string& targetPrefix) const {
  std::lock_guard lock(impl_->mutex);
  std::size_t count = 0;
  for (const auto& r : impl_->log) count += r.target.rfind(targetPrefix, 0) == 0 ? 1 : 0;
  return count;
}

void SampleServer::clearRequests() {
  std::lock_guard lock(impl_->mutex);
  impl_->log.clear();
}

std::string defaultSourceDirectory() {
  if (const char* dir = std::getenv("LORVANE_DEMO_SOURCE"); dir && *dir) return dir;
  return LORVANE_DEMO_SOURCE_DIR;
}

std::string defaultContentDirectory() {
  if (const char* dir = std::getenv("LORVANE_DEMO_CONTENT"); dir && *dir) return dir;
  return LORVANE_DEMO_CONTENT_DIR;
}

}  // namespace lorvane::demo
