#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace lorvane::testing {

// One request as the server read it.
struct ReceivedRequest {
  std::string method;
  std::string target;
  std::string version;
  std::map<std::string, std::string> headers;  // names in lower case
  std::string body;
  std::string head;    // request line and header fields as sent
  int connection = 0;  // 1 for the first connection accepted

  std::string header(const std::string& lowerName) const;
};

class ScriptedServer;

// The server side of one accepted connection; the handler drives it.
class ServerConnection {
 public:
  ServerConnection(int fd, int index, ScriptedServer& server);
  ~ServerConnection();

  // The next request (head and Content-Length body); nothing when the
  // client closes or nothing arrives in time.
  std::optional<ReceivedRequest> readRequest(double timeoutSeconds = 5.0);
  bool send(std::string_view bytes);
  // A few bytes at a time with a pause between (stops early on shutdown).
  bool trickle(std::string_view bytes, std::size_t piece, double pauseSeconds);
  // Waits, unless the server is shutting down.
  void pause(double seconds);
  void close();
  // Closes with a reset instead of an orderly end.
  void reset();
  int index() const { return index_; }
  bool stopping() const;

 private:
  int fd_;
  int index_;
  ScriptedServer& server_;
  std::string buffered_;
};

// A loopback HTTP server whose every byte a test decides: each accepted
// connection runs the handler on a thread of its own.
class ScriptedServer {
 public:
  using Handler = std::function<void(ServerConnection&)>;

  explicit ScriptedServer(Handler handler);
  ~ScriptedServer();
  ScriptedServer(const ScriptedServer&) = delete;
  ScriptedServer& operator=(const ScriptedServer&) = delete;

  int port() const { return port_; }
  std::string url(std::string_view path = "/") const;
  int connectionCount() const { return connections_.load(); }
  std::vector<ReceivedRequest> requests() const;
  bool stopping() const { return stopping_.load(); }

  // Serves every request on a connection with the same answer until the
  // client closes.
  static Handler alwaysAnswer(std::string response);

 private:
  friend class ServerConnection;
  void acceptLoop();
  void record(const ReceivedRequest& request);
  // A socket the handler closed must not be shut down again: its number
  // may already belong to someone else.
  void forget(int fd);

  Handler handler_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<int> connections_{0};
  std::thread acceptor_;
  mutable std::mutex mutex_;
  std::vector<std::thread> workers_;
  std::vector<int> openSockets_;
  std::vector<ReceivedRequest> requests_;
};

// "HTTP/1.1 <status> <reason>" with the fields, a Content-Length (unless
// one is given or `withLength` is off) and the body.
std::string httpResponse(int status,
                         const std::vector<std::pair<std::string, std::string>>& headers,
                         std::string_view body, bool withLength = true);

// A gzip member of the text.
std::string gzipText(std::string_view text);

}  // namespace lorvane::testing
