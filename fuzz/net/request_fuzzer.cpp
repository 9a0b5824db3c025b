// Plays each input as a server's whole reply to a real HTTPRequest: the
// request goes through the shared queue, the network thread, the connection
// pool and the main-thread callbacks, against a loopback peer that reads the
// request, sends the input and hangs up.
//
// Input: one byte of options, then the bytes the server sends.
//   bit 0  HEAD instead of GET
//   bit 1  persistent connections allowed (the next input may find a pooled
//          connection the peer has already closed)
//   bit 2  inflate a gzip body as it arrives instead of when it is read
//   bit 3  hang up with a reset instead of an orderly close
//   bit 4  write the body to a file instead of keeping it in memory
//   bit 5  hand the body to the delegate in pieces

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>

#include "net/http_request.h"
#include "platform/foundation/run_loop.h"

using namespace lorvane;

namespace {

// A one-connection-at-a-time server on 127.0.0.1 that answers every
// connection with the current reply. Requests are made one after another,
// so one thread serves them all.
class LoopbackPeer {
 public:
  LoopbackPeer() {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    int on = 1;
    ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 16) != 0) {
      std::perror("loopback peer");
      std::abort();
    }
    socklen_t length = sizeof address;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { serve(); });
    thread_.detach();  // lives as long as the fuzzing process
  }

  int port() const { return port_; }

  void setReply(std::string reply, bool reset) {
    std::lock_guard lock(mutex_);
    reply_ = std::move(reply);
    reset_ = reset;
  }

 private:
  void serve() {
    for (;;) {
      int fd = ::accept(listener_, nullptr, nullptr);
      if (fd < 0) continue;
      std::string reply;
      bool reset;
      {
        std::lock_guard lock(mutex_);
        reply = reply_;
        reset = reset_;
      }
      if (readRequestHead(fd)) sendAll(fd, reply);
      if (reset) {
        linger hard{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
      } else {
        ::shutdown(fd, SHUT_WR);
      }
      ::close(fd);
    }
  }

  // Reads up to the blank line that ends the request head, so that nothing
  // unread is left when the peer hangs up (which would turn the close into
  // a reset). A request that never finishes its head gets no reply.
  static bool readRequestHead(int fd) {
    std::string head;
    char buffer[4096];
    while (head.find("\r\n\r\n") == std::string::npos) {
      pollfd p{fd, POLLIN, 0};
      if (::poll(&p, 1, 2000) <= 0) return false;
      ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
      if (n <= 0) return false;
      head.append(buffer, static_cast<std::size_t>(n));
      if (head.size() > (1u << 16)) return false;
    }
    return true;
  }

  static void sendAll(int fd, const std::string& bytes) {
    std::size_t at = 0;
    while (at < bytes.size()) {
      ssize_t n = ::send(fd, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
      if (n <= 0) return;
      at += static_cast<std::size_t>(n);
    }
  }

  int listener_ = -1;
  int port_ = 0;
  std::thread thread_;
  std::mutex mutex_;  // guards reply_ and reset_
  std::string reply_;
  bool reset_ = false;
};

class Outcome : public HTTPRequestDelegate {
 public:
  explicit Outcome(bool inPieces) {
    if (inPieces) {
      setImplementedSelectors({HTTPSelector::requestFinished, HTTPSelector::requestFailed,
                               HTTPSelector::requestDidReceiveData});
    } else {
      setImplementedSelectors({HTTPSelector::requestFinished, HTTPSelector::requestFailed});
    }
  }
  void requestFinished(HTTPRequest&) override { ++finished; }
  void requestFailed(HTTPRequest&) override { ++failed; }
  void requestDidReceiveData(HTTPRequest&, const Data& data) override { pieceBytes += data.size(); }
  int finished = 0;
  int failed = 0;
  std::size_t pieceBytes = 0;
};

LoopbackPeer* peer = nullptr;
std::string downloadPath;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  RunLoop::main().bindToCurrentThread();
  HTTPRequest::setShouldUpdateNetworkActivityIndicator(false);
  peer = new LoopbackPeer();
  downloadPath = (std::filesystem::temp_directory_path() /
                  ("lorvane-request-fuzz-" + std::to_string(::getpid())))
                     .string();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::uint8_t options = data[0];
  std::string reply(reinterpret_cast<const char*>(data + 1), size - 1);
  peer->setReply(reply, (options & 8) != 0);

  Outcome outcome((options & 32) != 0);
  auto request = HTTPRequest::requestWithURL(
      *URL::parse("http://127.0.0.1:" + std::to_string(peer->port()) + "/lesson.json"));
  if (options & 1) request->setRequestMethod("HEAD");
  request->setShouldAttemptPersistentConnection((options & 2) != 0);
  request->setShouldWaitToInflateCompressedResponses((options & 4) == 0);
  if (options & 16) request->setDownloadDestinationPath(downloadPath);
  // Everything stays on this machine: a Location header is never followed.
  request->setShouldRedirect(false);
  // The peer always hangs up after its reply, so every exchange ends well
  // before this; it only bounds a client that fails to notice.
  request->setTimeOutSeconds(5);
  request->setMaximumResponseBodyLength(1u << 20);
  request->setDelegate(&outcome);
  request->startAsynchronous();
  while (outcome.finished + outcome.failed == 0) RunLoop::main().runOnce(0.05);
  // Late callbacks would show as a second answer.
  RunLoop::main().runOnce(0);

  if (outcome.finished + outcome.failed != 1) __builtin_trap();  // exactly one answer
  if (outcome.finished) {
    const int status = request->responseStatusCode();
    if (status < 0 || status > 999) __builtin_trap();
    // What the client holds as received came from the peer (inflating as it
    // arrives keeps the inflated body instead, which may be larger).
    if ((options & 4) == 0 && request->rawResponseLength() > reply.size()) __builtin_trap();
    if (outcome.pieceBytes > 0 && request->rawResponseLength() > 0 && !(options & 16)) {
      // A delegate that takes the pieces leaves nothing collected.
      __builtin_trap();
    }
  } else if (!request->error()) {
    __builtin_trap();  // a failure always says why
  }
  if (options & 16) std::filesystem::remove(downloadPath);
  return 0;
}
