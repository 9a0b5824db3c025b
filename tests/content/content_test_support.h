#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace lorvane::testing {

// scripts/serve-content run as a child on a free loopback port: nginx with
// the repository's configuration, serving a content tree.
class ServeContent {
 public:
  static bool isAvailable();

  explicit ServeContent(const std::string& root, std::vector<std::string> extraArguments = {});
  ~ServeContent();
  ServeContent(const ServeContent&) = delete;
  ServeContent& operator=(const ServeContent&) = delete;

  // True once the script printed its URL.
  bool running() const { return !url_.empty(); }
  // The URL it printed, "http://127.0.0.1:PORT".
  const std::string& url() const { return url_; }
  int port() const { return port_; }
  // Sends `signal` and waits; the script's exit status, -1 when it did not
  // exit by itself.
  int stop(int signal = 15);
  std::string output() const;
  std::string errors() const;

 private:
  bool launch(const std::string& root, const std::vector<std::string>& extraArguments);

  std::string folder_;
  pid_t pid_ = -1;
  int port_ = 0;
  std::string url_;
};

// The result of running a command: its exit status and what it wrote.
struct CommandResult {
  int status = -1;
  std::string output;  // stdout and stderr together
};
CommandResult runCommand(const std::vector<std::string>& arguments,
                         const std::map<std::string, std::string>& environment = {});

// One HTTP exchange on a connection of its own, with the exact target
// given (no normalising on the way).
struct HttpReply {
  bool received = false;
  int status = 0;
  std::map<std::string, std::string> headers;  // names in lower case
  std::string body;                            // decompressed when gzip-encoded
  bool gzipped = false;
  std::string header(const std::string& lowerName) const;
};
HttpReply httpExchange(int port, const std::string& method, const std::string& target,
                       const std::vector<std::pair<std::string, std::string>>& headers = {});

// A copy of a content tree in a temporary folder, removed at the end.
class TreeCopy {
 public:
  explicit TreeCopy(const std::string& from);
  ~TreeCopy();
  TreeCopy(const TreeCopy&) = delete;
  TreeCopy& operator=(const TreeCopy&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

std::string readFileText(const std::string& path);

// A fingerprint of every file under a folder: relative path, size and
// content hash, so two snapshots differ exactly when the tree changed.
std::map<std::string, std::string> snapshotTree(const std::string& root);

}  // namespace lorvane::testing
