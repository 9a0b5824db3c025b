#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace lorvane::demo {

// One scripted answer, used in place of what the server would send.
struct CannedResponse {
  int status = 200;
  std::string contentType = "application/json; charset=utf-8";
  std::string body;
};

// What a request looked like, for tests and for the log.
struct RequestRecord {
  std::string method;
  std::string target;
  std::string range;           // the Range header, if any
  std::string acceptEncoding;  // the Accept-Encoding header, if any
  std::string userAgent;
  bool answered = false;
};

struct ServerOptions {
  std::string bindAddress = "127.0.0.1";
  std::uint16_t port = 0;  // 0: any free port
  // The content tree served (demo/content/tree.py): feeds, app list,
  // thumbnails, icons, app pages and videos.
  std::string contentDirectory;
  // Where the feed files are read from at start, by default the tree
  // itself; start() fails when they are missing or broken.
  std::string sourceDirectory;
  // The address put into the feeds' links; by default the server's own
  // ("http://127.0.0.1:PORT"). Set it when clients reach the server through
  // another name.
  std::string publicBaseURL;

  // Ways to misbehave on purpose; they apply to the JSON answers only, so
  // pictures and videos keep flowing.
  int failFirst = 0;              // close the connection without answering
  int htmlFirst = 0;              // answer with an HTML error page
  double delaySeconds = 0;        // wait before answering
  bool closeConnections = false;  // no keep-alive
  // Sends video bodies no faster than this many bytes a second (0: as
  // fast as the socket takes them), to watch a download go.
  std::size_t videoBytesPerSecond = 0;
  bool verbose = false;  // one log line per request on stderr
};

// The sample content server: a content tree answered by the same rules as
// nginx with demo/nginx/lorvane-content.conf (the two lesson feeds, the
// recommended apps, and the pictures and videos they link to), plus
// switches and a hook that make it misbehave on purpose.
class SampleServer {
 public:
  using Answer = std::function<std::optional<CannedResponse>(const RequestRecord&)>;

  explicit SampleServer(ServerOptions options);
  ~SampleServer();
  SampleServer(const SampleServer&) = delete;
  SampleServer& operator=(const SampleServer&) = delete;

  // Binds and starts serving on threads of its own. False with a message
  // in `error` when the port cannot be had or the content cannot be read.
  bool start(std::string* error = nullptr);
  void stop();

  std::uint16_t port() const;
  // "http://127.0.0.1:PORT"
  std::string baseURL() const;
  // The address in the feeds' links: publicBaseURL, else baseURL().
  std::string linkBaseURL() const;

  // Tests script answers: the hook sees every request first and may answer
  // it instead of the server.
  void setAnswerHook(Answer hook);
  // Changes the misbehaviour while running.
  void setFailFirst(int count);
  void setHtmlFirst(int count);
  void setDelaySeconds(double seconds);

  std::vector<RequestRecord> requests() const;
  std::size_t requestCount(const std::string& targetPrefix) const;
  void clearRequests();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The default location of the sample content tree in a source checkout
// ($LORVANE_DEMO_CONTENT overrides it). The feed files lie in the tree, so
// the default source directory is the same folder ($LORVANE_DEMO_SOURCE
// overrides it).
std::string defaultSourceDirectory();
std::string defaultContentDirectory();

}  // namespace lorvane::demo
