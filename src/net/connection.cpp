#include <utility>  // Boost 1.74's Asio needs it first under C++20 with g++ 12

#include "net/connection.h"

#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <sys/socket.h>

#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/asio/write.hpp>
#include <mutex>
#include <optional>
#include <vector>

#include "net/network_thread.h"

namespace lorvane {

namespace asio = boost::asio;
namespace ssl = boost::asio::ssl;
using tcp = asio::ip::tcp;
using boost::system::error_code;

namespace {

asio::io_context& loop() {
  return *static_cast<asio::io_context*>(NetworkThread::shared().nativeLoop());
}

// Two TLS contexts for the whole process: one that checks the chain
// against the system's roots and one that checks nothing.
ssl::context& tlsContext(bool validates) {
  static std::once_flag once;
  static ssl::context* verifying = nullptr;
  static ssl::context* trusting = nullptr;
  std::call_once(once, [] {
    verifying = new ssl::context(ssl::context::tls_client);
    verifying->set_default_verify_paths();
    verifying->set_verify_mode(ssl::verify_peer);
    trusting = new ssl::context(ssl::context::tls_client);
    trusting->set_verify_mode(ssl::verify_none);
  });
  return validates ? *verifying : *trusting;
}

bool isIPAddress(const std::string& host) {
  error_code ec;
  asio::ip::make_address(host, ec);
  return !ec;
}

int posixCodeOf(const error_code& ec) {
  if (ec.category() == asio::error::get_system_category() ||
      ec.category() == boost::system::generic_category()) {
    return ec.value();
  }
  return 0;
}

class SocketConnection : public Connection, public std::enable_shared_from_this<SocketConnection> {
 public:
  explicit SocketConnection(ConnectionEndpoint endpoint)
      : endpoint_(std::move(endpoint)), resolver_(loop()) {}

  ~SocketConnection() override {
    error_code ignored;
    if (tls_) tls_->next_layer().close(ignored);
    if (plain_) plain_->close(ignored);
  }

  void begin(std::string requestBytes, Handlers handlers) override {
    ++generation_;
    ++exchanges_;
    handlers_ = std::make_shared<Handlers>(std::move(handlers));
    request_ = std::move(requestBytes);
    reading_ = false;
    paused_ = false;
    if (connected_) {
      auto current = handlers_;
      if (current->opened) current->opened();
      if (isCurrent(generation_)) send(generation_);
      return;
    }
    if (plain_ || tls_) {
      // A socket that was once open and has closed is not opened again.
      fail(generation_, StreamFailure::Kind::kWrite,
           error_code(ENOTCONN, boost::system::generic_category()));
      return;
    }
    resolve(generation_);
  }

  void stopReading() override {
    ++generation_;
    handlers_.reset();
    reading_ = false;
  }

  void pauseReading() override { paused_ = true; }

  void resumeReading() override {
    if (!paused_) return;
    paused_ = false;
    if (reading_ && !readPending_) read(generation_);
  }

  void setReadBufferSize(std::size_t size) override {
    // Applied at the next read: the current buffer may still be being parsed.
    wantedBufferSize_ = size == 0 ? 1 : size;
  }

  void close() override {
    ++generation_;
    handlers_.reset();
    reading_ = false;
    closeSockets();
  }

  bool isOpen() const override { return connected_; }

  bool hasStrayData() const override {
    if (!connected_ || readPending_) return false;
    // Peeking changes nothing; asio only hands out handles from non-const.
    auto& self = const_cast<SocketConnection&>(*this);
    if (self.tls_ && SSL_pending(self.tls_->native_handle()) > 0) return true;
    char probe;
    ssize_t n = ::recv(self.rawSocket().native_handle(), &probe, 1, MSG_PEEK | MSG_DONTWAIT);
    return n > 0;
  }

  std::uint64_t exchangeCount() const override { return exchanges_; }
  std::uint64_t bytesSent() const override { return bytesSent_; }
  bool endedWithoutCloseNotify() const override { return endedWithoutCloseNotify_; }
  const ConnectionEndpoint& endpoint() const override { return endpoint_; }

 private:
  bool isTLS() const { return endpoint_.scheme == "https"; }

  tcp::socket& rawSocket() { return tls_ ? tls_->next_layer() : *plain_; }

  bool isCurrent(std::uint64_t generation) const { return generation == generation_; }

  void fail(std::uint64_t generation, StreamFailure::Kind kind, const error_code& ec,
            std::string message = {}) {
    if (!isCurrent(generation)) return;
    StreamFailure failure;
    failure.kind = kind;
    failure.posixCode = posixCodeOf(ec);
    failure.message = message.empty() ? ec.message() : std::move(message);
    auto current = std::move(handlers_);
    reading_ = false;
    closeSockets();
    if (current && current->failed) current->failed(failure);
  }

  void resolve(std::uint64_t generation) {
    auto self = shared_from_this();
    resolver_.async_resolve(
        endpoint_.host, std::to_string(endpoint_.port),
        [self, generation](const error_code& ec, tcp::resolver::results_type results) {
          if (!self->isCurrent(generation)) return;
          if (ec) {
            self->fail(generation, StreamFailure::Kind::kResolve, ec);
            return;
          }
          self->connect(generation, results);
        });
  }

  void connect(std::uint64_t generation, const tcp::resolver::results_type& results) {
    if (isTLS()) {
      tls_.emplace(loop(), tlsContext(endpoint_.validatesCertificate));
    } else {
      plain_.emplace(loop());
    }
    auto self = shared_from_this();
    asio::async_connect(rawSocket(), results,
                        [self, generation](const error_code& ec, const tcp::endpoint&) {
                          if (!self->isCurrent(generation)) return;
                          if (ec) {
                            self->fail(generation, StreamFailure::Kind::kConnect, ec);
                            return;
                          }
                          error_code ignored;
                          self->rawSocket().set_option(tcp::no_delay(true), ignored);
                          if (self->isTLS()) {
                            self->handshake(generation);
                          } else {
                            self->opened(generation);
                          }
                        });
  }

  void handshake(std::uint64_t generation) {
    SSL* handle = tls_->native_handle();
    if (!isIPAddress(endpoint_.host)) {
      SSL_set_tlsext_host_name(handle, endpoint_.host.c_str());
    }
    if (endpoint_.validatesCertificate) {
      // The chain alone is not enough: the certificate must name this host.
      if (isIPAddress(endpoint_.host)) {
        X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(handle), endpoint_.host.c_str());
      } else {
        SSL_set1_host(handle, endpoint_.host.c_str());
      }
    }
    auto self = shared_from_this();
    tls_->async_handshake(ssl::stream_base::client, [self, generation](const error_code& ec) {
      if (!self->isCurrent(generation)) return;
      if (ec) {
        std::string message = ec.message();
        if (self->tls_) {
          long verify = SSL_get_verify_result(self->tls_->native_handle());
          if (verify != X509_V_OK) message = X509_verify_cert_error_string(verify);
        }
        self->fail(generation, StreamFailure::Kind::kTLS, ec, message);
        return;
      }
      self->opened(generation);
    });
  }

  void opened(std::uint64_t generation) {
    connected_ = true;
    auto current = handlers_;
    if (current && current->opened) current->opened();
    if (isCurrent(generation)) send(generation);
  }

  void send(std::uint64_t generation) {
    auto self = shared_from_this();
    auto done = [self, generation](const error_code& ec, std::size_t written) {
      self->bytesSent_ += written;
      if (!self->isCurrent(generation)) return;
      if (ec) {
        self->fail(generation, StreamFailure::Kind::kWrite, ec);
        return;
      }
      // A nearby server answers within microseconds: worth a look before
      // the thread sleeps.
      NetworkThread::shared().expectWorkSoon();
      self->reading_ = true;
      self->read(generation);
    };
    if (tls_) {
      asio::async_write(*tls_, asio::buffer(request_), done);
    } else {
      asio::async_write(*plain_, asio::buffer(request_), done);
    }
  }

  void read(std::uint64_t generation) {
    if (!reading_ || paused_ || readPending_ || !isCurrent(generation)) return;
    if (buffer_.size() != wantedBufferSize_) buffer_.resize(wantedBufferSize_);
    readPending_ = true;
    auto self = shared_from_this();
    auto done = [self, generation](const error_code& ec, std::size_t length) {
      self->readPending_ = false;
      if (!self->isCurrent(generation)) return;
      if (ec == asio::error::eof || ec == ssl::error::stream_truncated) {
        self->endedWithoutCloseNotify_ = ec == ssl::error::stream_truncated;
        auto current = self->handlers_;
        if (length > 0 && current && current->received) {
          current->received(self->buffer_.data(), length);
          if (!self->isCurrent(generation)) return;
        }
        self->handlers_.reset();
        self->reading_ = false;
        self->closeSockets();
        if (current && current->ended) current->ended();
        return;
      }
      if (ec) {
        self->fail(generation, StreamFailure::Kind::kRead, ec);
        return;
      }
      // The handler may end the exchange (and drop the handlers) while it
      // runs, so it is called through a reference of its own.
      auto current = self->handlers_;
      if (current && current->received) current->received(self->buffer_.data(), length);
      self->read(generation);
    };
    if (tls_) {
      tls_->async_read_some(asio::buffer(buffer_), done);
    } else {
      plain_->async_read_some(asio::buffer(buffer_), done);
    }
  }

  // Closing cancels what is pending; the stream objects themselves stay
  // until the connection goes, because pending TLS operations still refer
  // to them until their handlers have run.
  void closeSockets() {
    connected_ = false;
    resolver_.cancel();
    error_code ignored;
    if (tls_) tls_->next_layer().close(ignored);
    if (plain_) plain_->close(ignored);
  }

  ConnectionEndpoint endpoint_;
  tcp::resolver resolver_;
  std::optional<tcp::socket> plain_;
  std::optional<ssl::stream<tcp::socket>> tls_;
  std::shared_ptr<Handlers> handlers_;
  std::string request_;
  std::vector<std::uint8_t> buffer_ = std::vector<std::uint8_t>(16384);
  std::size_t wantedBufferSize_ = 16384;
  std::uint64_t generation_ = 0;
  std::uint64_t exchanges_ = 0;
  std::uint64_t bytesSent_ = 0;
  bool connected_ = false;
  bool reading_ = false;
  bool paused_ = false;
  bool readPending_ = false;
  bool endedWithoutCloseNotify_ = false;
};

}  // namespace

std::shared_ptr<Connection> Connection::create(ConnectionEndpoint endpoint) {
  return std::make_shared<SocketConnection>(std::move(endpoint));
}

}  // namespace lorvane
