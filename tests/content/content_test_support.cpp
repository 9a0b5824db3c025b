#include <utility>  // before Asio: Boost 1.74 needs it under C++20

#include "content/content_test_support.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include "support/net/nginx_server.h"

namespace lorvane::testing {
namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

std::string makeTemporaryFolder(const char* name) {
  std::string pattern =
      (std::filesystem::temp_directory_path() / (std::string(name) + "-XXXXXX")).string();
  if (!::mkdtemp(pattern.data())) return "";
  return pattern;
}

std::string gunzip(const std::string& in) {
  z_stream stream{};
  inflateInit2(&stream, 47);
  std::string out;
  char buffer[16384];
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
  stream.avail_in = static_cast<uInt>(in.size());
  int result;
  do {
    stream.next_out = reinterpret_cast<Bytef*>(buffer);
    stream.avail_out = sizeof buffer;
    result = inflate(&stream, Z_NO_FLUSH);
    out.append(buffer, sizeof buffer - stream.avail_out);
  } while (result == Z_OK);
  inflateEnd(&stream);
  return result == Z_STREAM_END ? out : std::string("<broken gzip>");
}

// Runs `arguments` in a child whose stdout and stderr go to `outputPath`.
pid_t spawn(const std::vector<std::string>& arguments,
            const std::map<std::string, std::string>& environment, const std::string& outputPath) {
  pid_t child = ::fork();
  if (child != 0) return child;
  int fd = ::open(outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND, 0644);
  if (fd < 0) ::_exit(126);
  ::dup2(fd, 1);
  ::dup2(fd, 2);
  ::close(fd);
  for (const auto& [name, value] : environment) ::setenv(name.c_str(), value.c_str(), 1);
  // A test runner may ignore SIGINT; the script's own traps must see it.
  ::signal(SIGINT, SIG_DFL);
  ::signal(SIGTERM, SIG_DFL);
  std::vector<char*> argv;
  for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  ::execvp(argv[0], argv.data());
  ::_exit(127);
}

int exitStatus(int status) {
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

std::string readFileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

bool ServeContent::isAvailable() {
  return ::access("/usr/sbin/nginx", X_OK) == 0;
}

ServeContent::ServeContent(const std::string& root, std::vector<std::string> extraArguments)
    : folder_(makeTemporaryFolder("lorvane-serve-content")) {
  // A free port can be taken between the look and nginx's bind; try again.
  for (int attempt = 0; attempt < 3 && url_.empty(); ++attempt) {
    if (launch(root, extraArguments)) break;
  }
}

bool ServeContent::launch(const std::string& root, const std::vector<std::string>& extraArguments) {
  port_ = freeLoopbackPort();
  std::vector<std::string> arguments{LORVANE_SOURCE_DIR "/scripts/serve-content", "--port",
                                     std::to_string(port_), "--root", root};
  arguments.insert(arguments.end(), extraArguments.begin(), extraArguments.end());
  pid_ = spawn(arguments, {}, folder_ + "/output");
  const std::string wanted = "http://127.0.0.1:" + std::to_string(port_) + "\n";
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline) {
    if (output().find(wanted) != std::string::npos) {
      url_ = wanted.substr(0, wanted.size() - 1);
      return true;
    }
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  stop(SIGKILL);
  return false;
}

ServeContent::~ServeContent() {
  stop();
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

int ServeContent::stop(int signal) {
  if (pid_ <= 0) return -1;
  ::kill(pid_, signal);
  int status = 0;
  ::waitpid(pid_, &status, 0);
  pid_ = -1;
  url_.clear();
  return exitStatus(status);
}

std::string ServeContent::output() const {
  return readFileText(folder_ + "/output");
}

std::string ServeContent::errors() const {
  std::string text = output();
  std::string errors;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    // How nginx reports a link it refused to follow.
    if (line.find("(40: Too many levels of symbolic links)") != std::string::npos) continue;
    if (line.find("[error]") != std::string::npos || line.find("[emerg]") != std::string::npos ||
        line.find("[warn]") != std::string::npos || line.find("[crit]") != std::string::npos) {
      errors += line + "\n";
    }
  }
  return errors;
}

CommandResult runCommand(const std::vector<std::string>& arguments,
                         const std::map<std::string, std::string>& environment) {
  std::string folder = makeTemporaryFolder("lorvane-command");
  CommandResult result;
  pid_t child = spawn(arguments, environment, folder + "/output");
  int status = 0;
  ::waitpid(child, &status, 0);
  result.status = exitStatus(status);
  result.output = readFileText(folder + "/output");
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
  return result;
}

std::string HttpReply::header(const std::string& lowerName) const {
  auto found = headers.find(lowerName);
  return found == headers.end() ? std::string() : found->second;
}

HttpReply httpExchange(int port, const std::string& method, const std::string& target,
                       const std::vector<std::pair<std::string, std::string>>& headers) {
  HttpReply reply;
  asio::io_context io;
  tcp::socket socket(io);
  beast::error_code ec;
  socket.connect(tcp::endpoint(asio::ip::make_address("127.0.0.1"), static_cast<uint16_t>(port)),
                 ec);
  if (ec) return reply;
  http::request<http::string_body> request;
  request.method_string(method);
  request.target(target);
  request.version(11);
  request.set(http::field::host, "127.0.0.1:" + std::to_string(port));
  request.set(http::field::connection, "close");
  for (const auto& [name, value] : headers) request.set(name, value);
  if (method == "POST") request.body() = "x";
  request.prepare_payload();
  http::write(socket, request, ec);
  if (ec) return reply;
  beast::flat_buffer buffer;
  http::response_parser<http::string_body> parser;
  parser.body_limit(256 * 1024 * 1024);
  parser.skip(method == "HEAD");
  http::read(socket, buffer, parser, ec);
  if (ec && ec != http::error::end_of_stream) return reply;
  auto response = parser.release();
  reply.received = true;
  reply.status = response.result_int();
  for (const auto& field : response) {
    std::string name(field.name_string());
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    reply.headers[name] = std::string(field.value());
  }
  reply.gzipped = reply.header("content-encoding") == "gzip";
  reply.body = reply.gzipped ? gunzip(response.body()) : response.body();
  return reply;
}

TreeCopy::TreeCopy(const std::string& from) : path_(makeTemporaryFolder("lorvane-tree")) {
  // Media are linked when the file system allows it, which keeps a copy of
  // the sample tree cheap; nothing here writes into a file in place. The
  // tools' dot-files (the generator's lock) are real copies.
  namespace fs = std::filesystem;
  for (const auto& entry : fs::recursive_directory_iterator(from)) {
    fs::path target = fs::path(path_) / fs::relative(entry.path(), from);
    if (entry.is_directory()) {
      fs::create_directories(target);
      continue;
    }
    std::error_code linkError;
    if (entry.path().filename().string().starts_with(".")) {
      linkError = std::make_error_code(std::errc::operation_not_permitted);
    } else {
      fs::create_hard_link(entry.path(), target, linkError);
    }
    if (linkError) fs::copy_file(entry.path(), target);
  }
}

TreeCopy::~TreeCopy() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::map<std::string, std::string> snapshotTree(const std::string& root) {
  std::map<std::string, std::string> snapshot;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    std::string relative = std::filesystem::relative(entry.path(), root).string();
    if (entry.is_symlink()) {
      snapshot[relative] = "link";
    } else if (entry.is_regular_file()) {
      std::string data = readFileText(entry.path().string());
      snapshot[relative] =
          std::to_string(data.size()) + ":" + std::to_string(std::hash<std::string>{}(data));
    } else {
      snapshot[relative] = "folder";
    }
  }
  return snapshot;
}

}  // namespace lorvane::testing
