#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace lorvane::testing {

// A small HTTP/1.1 file server on a loopback port that honours byte ranges,
// and remembers every request it was sent, for streaming tests.
class RangeFileServer {
 public:
  struct Request {
    std::string method;
    std::string path;
    std::string rangeHeader;                  // as sent, empty when none
    std::optional<std::uint64_t> rangeStart;  // first byte asked for
  };

  // Serves the files of `directory` under "/".
  explicit RangeFileServer(std::string directory);
  ~RangeFileServer();
  RangeFileServer(const RangeFileServer&) = delete;
  RangeFileServer& operator=(const RangeFileServer&) = delete;

  int port() const { return port_; }
  // Sends bodies no faster than this (0: as fast as the socket takes them),
  // to make a slow network.
  void setBytesPerSecond(std::size_t rate) { bytesPerSecond_ = rate; }
  // The next response breaks off after this many body bytes, as a dropped
  // connection does.
  // With `thenGone`, every later request is answered 404, as if the file
  // had been taken down.
  void dropNextResponseAfter(std::size_t bytes, bool thenGone = false) {
    goneAfterDrop_ = thenGone;
    dropAfter_ = bytes;
  }
  std::string urlFor(const std::string& name) const;
  std::vector<Request> requests() const;

 private:
  void acceptLoop();
  void serve(int connection);
  bool respond(int connection, const Request& request, bool keepAlive);

  std::string directory_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<std::size_t> bytesPerSecond_{0};
  std::atomic<std::size_t> dropAfter_{0};
  std::atomic<bool> goneAfterDrop_{false};
  std::atomic<bool> gone_{false};
  std::thread acceptThread_;
  mutable std::mutex mutex_;
  std::vector<std::thread> connections_;
  std::vector<Request> requests_;
};

// A port on loopback where nothing listens.
int unusedLoopbackPort();

}  // namespace lorvane::testing
