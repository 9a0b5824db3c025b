#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace lorvane {

// Where a connection goes. `port` is the effective port (80, 443 or the
// URL's own).
struct ConnectionEndpoint {
  std::string scheme;  // "http" or "https"
  std::string host;
  int port = 0;
  bool validatesCertificate = true;  // https only
};

// Why a connection stopped, as the stream layer saw it.
struct StreamFailure {
  enum class Kind {
    kResolve,  // the host name could not be resolved
    kConnect,  // no TCP connection
    kTLS,      // handshake or certificate check failed
    kWrite,    // sending the request failed
    kRead,     // receiving failed (reset and the like)
  };
  Kind kind = Kind::kConnect;
  int posixCode = 0;  // errno when there is one
  std::string message;
};

// One client socket (TCP, or TLS over TCP) that stays open between
// exchanges so that the connection pool can hand it to the next request to
// the same place. Every operation must be called on the network thread.
class Connection {
 public:
  struct Handlers {
    // The connection is up (already true for a reused one).
    std::function<void()> opened;
    // Bytes arrived.
    std::function<void(const std::uint8_t* bytes, std::size_t length)> received;
    // The server closed its side.
    std::function<void()> ended;
    std::function<void(const StreamFailure&)> failed;
  };

  static std::shared_ptr<Connection> create(ConnectionEndpoint endpoint);
  virtual ~Connection() = default;

  // Connects when not connected yet, sends the bytes and then reports what
  // arrives until stopReading() or close().
  virtual void begin(std::string requestBytes, Handlers handlers) = 0;
  // Ends the current exchange; the socket stays open for the next one and
  // no handler of this exchange runs any more.
  virtual void stopReading() = 0;
  // Holds back further reads (bandwidth throttling) and lets them go again.
  virtual void pauseReading() = 0;
  virtual void resumeReading() = 0;
  virtual void setReadBufferSize(std::size_t size) = 0;
  virtual void close() = 0;

  virtual bool isOpen() const = 0;
  // Whether the server sent something while no exchange was running: the
  // connection then cannot carry another exchange cleanly.
  virtual bool hasStrayData() const = 0;
  // Exchanges begun on this socket so far.
  virtual std::uint64_t exchangeCount() const = 0;
  virtual std::uint64_t bytesSent() const = 0;
  // Whether the last end of the connection was a TLS one without
  // close_notify (a plain TCP end over TLS).
  virtual bool endedWithoutCloseNotify() const = 0;
  virtual const ConnectionEndpoint& endpoint() const = 0;
};

}  // namespace lorvane
