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
#include "demo/server/content_tree.h"
#include "demo/server/request_path.h"

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
  std::string linkBase() const {
    return options.publicBaseURL.empty() ? base() : options.publicBaseURL;
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
      if (options.videoBytesPerSecond > 0 &&
          std::string((*response)[http::field::content_type]).starts_with("video/")) {
        writeSlowly(socket, *response, ec);
      } else {
        http::write(socket, *response, ec);
      }
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

  // The head at once, then the body a slice every tenth of a second.
  void writeSlowly(tcp::socket& socket, Response& response, beast::error_code& ec) {
    http::response_serializer<http::string_body> head{response};
    http::write_header(socket, head, ec);
    const std::string& body = response.body();
    const std::size_t slice = std::max<std::size_t>(1, options.videoBytesPerSecond / 10);
    for (std::size_t at = 0; !ec && at < body.size() && running; at += slice) {
      const std::size_t n = std::min(slice, body.size() - at);
      asio::write(socket, asio::buffer(body.data() + at, n), ec);
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (!running) ec = asio::error::operation_aborted;
  }

  std::optional<Response> answer(const http::request<http::string_body>& request, bool keepAlive) {
    RequestRecord record;
    record.method = std::string(request.method_string());
    record.target = std::string(request.target());
    record.range = std::string(request[http::field::range]);
    record.acceptEncoding = std::string(request[http::field::accept_encoding]);
    record.userAgent = std::string(request[http::field::user_agent]);

    // The misbehaviour switches aim at the JSON answers only, so pictures
    // and videos keep flowing.
    auto path = normalisedPath(record.target);
    const bool api = path && (*path == "/infolist" || *path == "/api/app/resourcelist_ng.json");

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

    std::optional<CannedResponse> canned;
    if (currentHook) canned = currentHook(record);
    if (!canned && api && takeOne(htmlLeft)) {
      canned = CannedResponse{503, "text/html; charset=utf-8", kHtmlErrorPage};
    }
    TreeResponse answer;
    if (canned) {
      answer.status = canned->status;
      answer.headers.emplace_back("Content-Type", canned->contentType);
      answer.body = std::move(canned->body);
      answer.compressible = true;
    } else {
      TreeRequest asked;
      asked.method = record.method;
      asked.target = record.target;
      asked.range = record.range;
      asked.ifRange = std::string(request[http::field::if_range]);
      asked.ifNoneMatch = std::string(request[http::field::if_none_match]);
      asked.ifModifiedSince = std::string(request[http::field::if_modified_since]);
      answer = ContentTree(options.contentDirectory, linkBase()).answer(asked);
    }

    Response response;
    response.version(request.version());
    response.set(http::field::server, "lorvane-demo-server");
    response.keep_alive(keepAlive);
    if (keepAlive) {
      response.set("Keep-Alive", "timeout=" + std::to_string(kKeepAliveSeconds) +
                                     ", max=" + std::to_string(kKeepAliveMax));
    }
    response.result(static_cast<http::status>(answer.status));
    for (const auto& [name, value] : answer.headers) response.set(name, value);
    if (answer.compressible && answer.status == 200)
      response.set(http::field::vary, "Accept-Encoding");
    if (answer.compressible && acceptsGzip(record.acceptEncoding) && answer.body.size() > 64) {
      // Compressed bytes are another representation: no ranges of them,
      // and only a weak tag.
      response.erase(http::field::accept_ranges);
      if (auto tag = response[http::field::etag]; !tag.empty() && !tag.starts_with("W/")) {
        response.set(http::field::etag, "W/" + std::string(tag));
      }
      response.set(http::field::content_encoding, "gzip");
      response.body() = gzipped(answer.body);
    } else {
      response.body() = std::move(answer.body);
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

  void remember(RequestRecord record, bool answered) {
    record.answered = answered;
    std::lock_guard lock(mutex);
    log.push_back(std::move(record));
  }
};

SampleServer::SampleServer(ServerOptions options) : impl_(std::make_unique<Impl>()) {
  if (options.contentDirectory.empty()) options.contentDirectory = defaultContentDirectory();
  if (options.sourceDirectory.empty()) options.sourceDirectory = options.contentDirectory;
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

std::string SampleServer::linkBaseURL() const {
  return impl_->linkBase();
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
  return defaultContentDirectory();
}

std::string defaultContentDirectory() {
  if (const char* dir = std::getenv("LORVANE_DEMO_CONTENT"); dir && *dir) return dir;
  return LORVANE_DEMO_CONTENT_DIR;
}

}  // namespace lorvane::demo
