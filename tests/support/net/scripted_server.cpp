#include "support/net/scripted_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>
#include <stdexcept>

namespace lorvane::testing {

namespace {

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string trim(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
    text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
    text.remove_suffix(1);
  return std::string(text);
}

const char* reasonFor(int status) {
  switch (status) {
    case 200:
      return "OK";
    case 204:
      return "No Content";
    case 206:
      return "Partial Content";
    case 301:
      return "Moved Permanently";
    case 302:
      return "Found";
    case 303:
      return "See Other";
    case 304:
      return "Not Modified";
    case 307:
      return "Temporary Redirect";
    case 401:
      return "Unauthorized";
    case 404:
      return "Not Found";
    case 500:
      return "Internal Server Error";
    default:
      return "Status";
  }
}

}  // namespace

std::string ReceivedRequest::header(const std::string& lowerName) const {
  auto it = headers.find(lowerName);
  return it == headers.end() ? std::string() : it->second;
}

// ---- ServerConnection -------------------------------------------------------

ServerConnection::ServerConnection(int fd, int index, ScriptedServer& server)
    : fd_(fd), index_(index), server_(server) {}

ServerConnection::~ServerConnection() {
  close();
}

bool ServerConnection::stopping() const {
  return server_.stopping();
}

std::optional<ReceivedRequest> ServerConnection::readRequest(double timeoutSeconds) {
  auto deadline = std::chrono::steady_clock::now() +
                  std::chrono::milliseconds(static_cast<int>(timeoutSeconds * 1000));
  auto fill = [&]() -> bool {
    while (!stopping()) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                      deadline - std::chrono::steady_clock::now())
                      .count();
      if (left <= 0 || fd_ < 0) return false;
      pollfd p{fd_, POLLIN, 0};
      int ready = ::poll(&p, 1, static_cast<int>(std::min<long long>(left, 50)));
      if (ready <= 0) continue;
      char chunk[65536];
      ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
      if (n <= 0) return false;
      buffered_.append(chunk, static_cast<std::size_t>(n));
      return true;
    }
    return false;
  };
  std::size_t headEnd;
  while ((headEnd = buffered_.find("\r\n\r\n")) == std::string::npos) {
    if (!fill()) return std::nullopt;
  }
  ReceivedRequest request;
  request.connection = index_;
  request.head = buffered_.substr(0, headEnd + 4);
  std::string_view head(request.head);
  auto lineEnd = head.find("\r\n");
  std::string line(head.substr(0, lineEnd));
  auto firstSpace = line.find(' ');
  auto secondSpace = line.find(' ', firstSpace + 1);
  request.method = line.substr(0, firstSpace);
  request.target = line.substr(firstSpace + 1, secondSpace - firstSpace - 1);
  request.version = line.substr(secondSpace + 1);
  std::size_t pos = lineEnd + 2;
  while (pos < headEnd) {
    auto end = head.find("\r\n", pos);
    std::string_view field = head.substr(pos, end - pos);
    auto colon = field.find(':');
    if (colon != std::string_view::npos) {
      request.headers[lower(std::string(field.substr(0, colon)))] = trim(field.substr(colon + 1));
    }
    pos = end + 2;
  }
  buffered_.erase(0, headEnd + 4);
  std::size_t length = std::strtoul(request.header("content-length").c_str(), nullptr, 10);
  while (buffered_.size() < length) {
    if (!fill()) return std::nullopt;
  }
  request.body = buffered_.substr(0, length);
  buffered_.erase(0, length);
  server_.record(request);
  return request;
}

bool ServerConnection::send(std::string_view bytes) {
  while (!bytes.empty() && fd_ >= 0) {
    ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return bytes.empty();
}

bool ServerConnection::trickle(std::string_view bytes, std::size_t piece, double pauseSeconds) {
  while (!bytes.empty()) {
    std::size_t n = std::min(piece, bytes.size());
    if (!send(bytes.substr(0, n))) return false;
    bytes.remove_prefix(n);
    if (!bytes.empty()) pause(pauseSeconds);
    if (stopping()) return false;
  }
  return true;
}

void ServerConnection::pause(double seconds) {
  auto deadline = std::chrono::steady_clock::now() +
                  std::chrono::milliseconds(static_cast<int>(seconds * 1000));
  while (!stopping() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

void ServerConnection::close() {
  if (fd_ < 0) return;
  server_.forget(fd_);
  ::shutdown(fd_, SHUT_RDWR);
  ::close(fd_);
  fd_ = -1;
}

void ServerConnection::reset() {
  if (fd_ < 0) return;
  server_.forget(fd_);
  linger option{1, 0};
  ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &option, sizeof option);
  ::close(fd_);
  fd_ = -1;
}

// ---- ScriptedServer ---------------------------------------------------------

ScriptedServer::ScriptedServer(Handler handler) : handler_(std::move(handler)) {
  listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
  if (listener_ < 0) throw std::runtime_error("socket failed");
  int yes = 1;
  ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listener_, 64) != 0) {
    throw std::runtime_error("bind/listen failed");
  }
  socklen_t size = sizeof address;
  ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
  port_ = ntohs(address.sin_port);
  acceptor_ = std::thread([this] { acceptLoop(); });
}

ScriptedServer::~ScriptedServer() {
  stopping_.store(true);
  ::shutdown(listener_, SHUT_RDWR);
  acceptor_.join();
  ::close(listener_);
  {
    std::lock_guard lock(mutex_);
    for (int fd : openSockets_) ::shutdown(fd, SHUT_RDWR);
  }
  for (auto& worker : workers_) worker.join();
}

std::string ScriptedServer::url(std::string_view path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
}

std::vector<ReceivedRequest> ScriptedServer::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

void ScriptedServer::forget(int fd) {
  std::lock_guard lock(mutex_);
  std::erase(openSockets_, fd);
}

void ScriptedServer::record(const ReceivedRequest& request) {
  std::lock_guard lock(mutex_);
  requests_.push_back(request);
}

void ScriptedServer::acceptLoop() {
  while (!stopping_.load()) {
    pollfd p{listener_, POLLIN, 0};
    if (::poll(&p, 1, 50) <= 0) continue;
    int fd = ::accept(listener_, nullptr, nullptr);
    if (fd < 0) continue;
    int index = ++connections_;
    std::lock_guard lock(mutex_);
    openSockets_.push_back(fd);
    workers_.emplace_back([this, fd, index] {
      ServerConnection connection(fd, index, *this);
      handler_(connection);
    });
  }
}

ScriptedServer::Handler ScriptedServer::alwaysAnswer(std::string response) {
  return [response](ServerConnection& connection) {
    while (connection.readRequest()) {
      if (!connection.send(response)) return;
    }
  };
}

std::string httpResponse(int status,
                         const std::vector<std::pair<std::string, std::string>>& headers,
                         std::string_view body, bool withLength) {
  std::string text = "HTTP/1.1 " + std::to_string(status) + " " + reasonFor(status) + "\r\n";
  bool hasLength = false;
  for (const auto& [name, value] : headers) {
    text += name + ": " + value + "\r\n";
    if (lower(name) == "content-length" || lower(name) == "transfer-encoding") hasLength = true;
  }
  if (withLength && !hasLength) text += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  text += "\r\n";
  text += body;
  return text;
}

std::string gzipText(std::string_view text) {
  z_stream z{};
  deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&z, static_cast<uLong>(text.size())) + 32, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  z.avail_in = static_cast<uInt>(text.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(out.size() - z.avail_out);
  deflateEnd(&z);
  return out;
}

}  // namespace lorvane::testing
