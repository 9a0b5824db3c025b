#pragma once

#include <sys/types.h>
#include <string>

namespace lorvane::testing {

// A temporary folder removed with everything in it at the end.
class TemporaryDirectory {
 public:
  TemporaryDirectory();
  ~TemporaryDirectory();
  TemporaryDirectory(const TemporaryDirectory&) = delete;
  TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  void write(const std::string& name, const std::string& contents) const;

 private:
  std::string path_;
};

// A self-signed certificate for "localhost" and 127.0.0.1, made with the
// openssl command.
struct SelfSignedCertificate {
  std::string certificatePath;
  std::string keyPath;
  static bool create(const std::string& folder, SelfSignedCertificate* out);
};

// nginx on a free loopback port, serving a folder, run as a child process in
// the foreground and stopped when the object goes.
class NginxServer {
 public:
  struct Options {
    std::string root;               // folder served at "/"
    std::string extraServerConfig;  // directives inside the server block
    std::string certificatePath;    // with a key: serve https
    std::string keyPath;
    int keepaliveTimeout = 65;
    int keepaliveRequests = 1000;
  };

  static bool isAvailable();

  explicit NginxServer(Options options);
  ~NginxServer();
  NginxServer(const NginxServer&) = delete;
  NginxServer& operator=(const NginxServer&) = delete;

  bool running() const { return pid_ > 0 && ready_; }
  int port() const { return port_; }
  std::string url(const std::string& path = "/") const;
  const std::string& errorLog() const { return errorLogPath_; }

 private:
  TemporaryDirectory prefix_;
  Options options_;
  pid_t pid_ = -1;
  int port_ = 0;
  bool ready_ = false;
  std::string errorLogPath_;
};

int freeLoopbackPort();

}  // namespace lorvane::testing
