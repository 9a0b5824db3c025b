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
  // Folder with lessons.json and apps.json.
  std::string sourceDirectory;
  // Folder with the generated thumbs/, icons/ and videos/.
  std::string contentDirectory;

  // Ways to misbehave on purpose; they apply to the JSON answers only, so
  // pictures and videos keep flowing.
  int failFirst = 0;              // close the connection without answering
  int htmlFirst = 0;              // answer with an HTML error page
  double delaySeconds = 0;        // wait before answering
  bool closeConnections = false;  // no keep-alive
  bool verbose = false;           // one log line per request on stderr
};

// The sample content server: the two lesson feeds, the recommended apps,
// and the pictures and videos they point to, by absolute URLs on itself.
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

// The default locations of the sample content in a source checkout.
std::string defaultSourceDirectory();
std::string defaultContentDirectory();

}  // namespace lorvane::demo
