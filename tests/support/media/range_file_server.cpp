#include "support/media/range_file_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>
#include <stdexcept>

namespace lorvane::testing {

namespace {

std::string lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

bool sendAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    ssize_t sent = ::send(fd, data, size, MSG_NOSIGNAL);
    if (sent <= 0) return false;
    data += sent;
    size -= static_cast<std::size_t>(sent);
  }
  return true;
}

int listenOnLoopback(int* port) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) throw std::runtime_error("socket failed");
  int yes = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(fd, 16) != 0) {
    ::close(fd);
    throw std::runtime_error("bind/listen failed");
  }
  socklen_t length = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  *port = ntohs(address.sin_port);
  return fd;
}

}  // namespace

int unusedLoopbackPort() {
  int port = 0;
  int fd = listenOnLoopback(&port);
  ::close(fd);  // nothing listens there any more
  return port;
}

RangeFileServer::RangeFileServer(std::string directory) : directory_(std::move(directory)) {
  listener_ = listenOnLoopback(&port_);
  acceptThread_ = std::thread([this] { acceptLoop(); });
}

RangeFileServer::~RangeFileServer() {
  stopping_ = true;
  acceptThread_.join();
  ::close(listener_);
  std::vector<std::thread> connections;
  {
    std::lock_guard lock(mutex_);
    connections.swap(connections_);
  }
  for (auto& t : connections) t.join();
}

std::string RangeFileServer::urlFor(const std::string& name) const {
  return "http://127.0.0.1:" + std::to_string(port_) + "/" + name;
}

std::vector<RangeFileServer::Request> RangeFileServer::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

void RangeFileServer::acceptLoop() {
  while (!stopping_) {
    pollfd p{listener_, POLLIN, 0};
    if (::poll(&p, 1, 50) <= 0) continue;
    int connection = ::accept(listener_, nullptr, nullptr);
    if (connection < 0) continue;
    std::lock_guard lock(mutex_);
    connections_.emplace_back([this, connection] { serve(connection); });
  }
}

void RangeFileServer::serve(int connection) {
  std::string buffer;
  while (!stopping_) {
    std::size_t end = buffer.find("\r\n\r\n");
    if (end == std::string::npos) {
      pollfd p{connection, POLLIN, 0};
      if (::poll(&p, 1, 50) <= 0) continue;
      char chunk[4096];
      ssize_t got = ::recv(connection, chunk, sizeof chunk, 0);
      if (got <= 0) break;
      buffer.append(chunk, static_cast<std::size_t>(got));
      continue;
    }
    const std::string head = buffer.substr(0, end);
    buffer.erase(0, end + 4);
    Request request;
    bool keepAlive = true;
    std::size_t lineEnd = head.find("\r\n");
    const std::string requestLine = head.substr(0, lineEnd);
    const std::size_t space1 = requestLine.find(' ');
    const std::size_t space2 = requestLine.find(' ', space1 + 1);
    request.method = requestLine.substr(0, space1);
    request.path = requestLine.substr(space1 + 1, space2 - space1 - 1);
    while (lineEnd != std::string::npos) {
      const std::size_t next = head.find("\r\n", lineEnd + 2);
      const std::string line = head.substr(
          lineEnd + 2, next == std::string::npos ? std::string::npos : next - lineEnd - 2);
      lineEnd = next;
      const std::size_t colon = line.find(':');
      if (colon == std::string::npos) continue;
      const std::string name = lower(line.substr(0, colon));
      std::string value = line.substr(colon + 1);
      value.erase(0, value.find_first_not_of(' '));
      if (name == "range") {
        request.rangeHeader = value;
        if (value.rfind("bytes=", 0) == 0 && value.size() > 6 && std::isdigit(value[6])) {
          request.rangeStart = std::stoull(value.substr(6));
        }
      } else if (name == "connection" && lower(value) == "close") {
        keepAlive = false;
      }
    }
    {
      std::lock_guard lock(mutex_);
      requests_.push_back(request);
    }
    if (!respond(connection, request, keepAlive) || !keepAlive) break;
  }
  ::close(connection);
}

bool RangeFileServer::respond(int connection, const Request& request, bool keepAlive) {
  const std::string connectionHeader = keepAlive ? "keep-alive" : "close";
  std::string path = request.path.substr(0, request.path.find('?'));
  const bool safe = !path.empty() && path[0] == '/' && path.find("..") == std::string::npos;
  const std::string file = directory_ + path;
  struct stat info {};
  int fd = safe && !gone_ ? ::open(file.c_str(), O_RDONLY) : -1;
  if (fd < 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    if (fd >= 0) ::close(fd);
    const std::string body = "not found\n";
    const std::string head =
        "HTTP/1.1 404 Not Found\r\nContent-Type: text/plain\r\nContent-Length: " +
        std::to_string(body.size()) + "\r\nConnection: " + connectionHeader + "\r\n\r\n";
    return sendAll(connection, head.data(), head.size()) &&
           (request.method == "HEAD" || sendAll(connection, body.data(), body.size()));
  }
  const std::uint64_t size = static_cast<std::uint64_t>(info.st_size);
  std::uint64_t first = 0, last = size ? size - 1 : 0;
  std::string status = "200 OK";
  std::string extra;
  if (request.rangeStart) {
    first = *request.rangeStart;
    const std::size_t dash = request.rangeHeader.find('-');
    if (dash != std::string::npos && dash + 1 < request.rangeHeader.size() &&
        std::isdigit(request.rangeHeader[dash + 1])) {
      last = std::min<std::uint64_t>(last, std::stoull(request.rangeHeader.substr(dash + 1)));
    }
    if (first >= size || first > last) {
      ::close(fd);
      const std::string head =
          "HTTP/1.1 416 Range Not Satisfiable\r\nContent-Range: bytes */" + std::to_string(size) +
          "\r\nContent-Length: 0\r\nConnection: " + connectionHeader + "\r\n\r\n";
      return sendAll(connection, head.data(), head.size());
    }
    status = "206 Partial Content";
    extra = "Content-Range: bytes " + std::to_string(first) + "-" + std::to_string(last) + "/" +
            std::to_string(size) + "\r\n";
  }
  const std::uint64_t length = size ? last - first + 1 : 0;
  const std::string head = "HTTP/1.1 " + status +
                           "\r\nContent-Type: video/mp4\r\nAccept-Ranges: bytes\r\n" + extra +
                           "Content-Length: " + std::to_string(length) +
                           "\r\nConnection: " + connectionHeader + "\r\n\r\n";
  bool ok = sendAll(connection, head.data(), head.size());
  bool cut = false;
  if (request.method != "HEAD") {
    const std::size_t dropAfter = dropAfter_.exchange(0);
    if (dropAfter > 0 && dropAfter < length) {
      last = first + dropAfter - 1;
      cut = true;  // the promised length is never sent: the client sees a drop
      if (goneAfterDrop_) gone_ = true;
    }
    char chunk[16384];
    std::uint64_t offset = first;
    while (ok && offset <= last && length > 0 && !stopping_) {
      std::size_t want =
          static_cast<std::size_t>(std::min<std::uint64_t>(sizeof chunk, last - offset + 1));
      if (const std::size_t rate = bytesPerSecond_; rate > 0) {
        // Twenty slices a second.
        want = std::max<std::size_t>(1, std::min(want, rate / 20));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      }
      ssize_t got = ::pread(fd, chunk, want, static_cast<off_t>(offset));
      if (got <= 0) break;
      ok = sendAll(connection, chunk, static_cast<std::size_t>(got));
      offset += static_cast<std::uint64_t>(got);
    }
  }
  ::close(fd);
  return ok && !cut;
}

}  // namespace lorvane::testing
