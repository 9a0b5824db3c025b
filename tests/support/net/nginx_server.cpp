#include "support/net/nginx_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

namespace lorvane::testing {

namespace {
constexpr const char* kNginx = "/usr/sbin/nginx";

bool canConnect(int port) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return ok;
}
}  // namespace

TemporaryDirectory::TemporaryDirectory() {
  std::string pattern = (std::filesystem::temp_directory_path() / "lorvane-net-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TemporaryDirectory::~TemporaryDirectory() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

void TemporaryDirectory::write(const std::string& name, const std::string& contents) const {
  std::ofstream out(file(name), std::ios::binary | std::ios::trunc);
  out << contents;
}

bool SelfSignedCertificate::create(const std::string& folder, SelfSignedCertificate* out) {
  out->certificatePath = folder + "/cert.pem";
  out->keyPath = folder + "/key.pem";
  std::string command =
      "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=localhost"
      " -addext subjectAltName=DNS:localhost,IP:127.0.0.1 -keyout '" +
      out->keyPath + "' -out '" + out->certificatePath + "' >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

int freeLoopbackPort() {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t size = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
  ::close(fd);
  return ntohs(address.sin_port);
}

bool NginxServer::isAvailable() {
  return ::access(kNginx, X_OK) == 0;
}

NginxServer::NginxServer(Options options) : options_(std::move(options)) {
  const std::string& p = prefix_.path();
  errorLogPath_ = p + "/error.log";
  for (int attempt = 0; attempt < 3 && !ready_; ++attempt) {
    port_ = freeLoopbackPort();
    bool tls = !options_.certificatePath.empty();
    std::string config =
        "daemon off;\nmaster_process off;\nworker_processes 1;\npid " + p +
        "/nginx.pid;\n"
        "error_log " +
        errorLogPath_ +
        " warn;\n"
        "events { worker_connections 256; }\n"
        "http {\n"
        "  access_log off;\n"
        "  client_body_temp_path " +
        p + "/body;\n  proxy_temp_path " + p +
        "/proxy;\n"
        "  fastcgi_temp_path " +
        p + "/fastcgi;\n  uwsgi_temp_path " + p +
        "/uwsgi;\n"
        "  scgi_temp_path " +
        p +
        "/scgi;\n"
        "  types { application/json json; text/plain txt; application/octet-stream bin; }\n"
        "  default_type application/octet-stream;\n"
        "  sendfile on;\n  tcp_nopush on;\n"
        "  keepalive_timeout " +
        std::to_string(options_.keepaliveTimeout) +
        ";\n"
        "  keepalive_requests " +
        std::to_string(options_.keepaliveRequests) +
        ";\n"
        "  server {\n"
        "    listen 127.0.0.1:" +
        std::to_string(port_) + (tls ? " ssl" : "") +
        ";\n"
        "    server_name localhost;\n"
        "    root " +
        options_.root + ";\n" +
        (tls ? "    ssl_certificate " + options_.certificatePath + ";\n    ssl_certificate_key " +
                   options_.keyPath + ";\n"
             : std::string()) +
        options_.extraServerConfig + "\n  }\n}\n";
    prefix_.write("nginx.conf", config);
    pid_ = ::fork();
    if (pid_ == 0) {
      std::string conf = p + "/nginx.conf";
      ::execl(kNginx, kNginx, "-p", p.c_str(), "-e", errorLogPath_.c_str(), "-c", conf.c_str(),
              static_cast<char*>(nullptr));
      ::_exit(127);
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < deadline) {
      int status;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;  // it gave up, most likely on the port
        break;
      }
      if (canConnect(port_)) {
        ready_ = true;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
}

NginxServer::~NginxServer() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  int status;
  ::waitpid(pid_, &status, 0);
}

std::string NginxServer::url(const std::string& path) const {
  bool tls = !options_.certificatePath.empty();
  return std::string(tls ? "https" : "http") + "://127.0.0.1:" + std::to_string(port_) + path;
}

}  // namespace lorvane::testing
