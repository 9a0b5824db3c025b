#include "platform/foundation/file_manager.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <system_error>

namespace lorvane {
namespace fs = std::filesystem;

namespace {

std::mutex& rootMutex() {
  static std::mutex mutex;
  return mutex;
}

std::string defaultRoot() {
  if (const char* home = std::getenv("LORVANE_HOME"); home && *home) return home;
  if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data) {
    return std::string(data) + "/lorvane";
  }
  if (const char* home = std::getenv("HOME"); home && *home) {
    return std::string(home) + "/.local/share/lorvane";
  }
  return (fs::temp_directory_path() / "lorvane").string();
}

void report(ErrorPtr* error, int code, const std::string& message) {
  if (error) *error = Error::make(kCocoaErrorDomain, code, message);
}

}  // namespace

FileManager& FileManager::defaultManager() {
  static FileManager* manager = new FileManager();  // lives for the process
  return *manager;
}

void FileManager::setRootDirectory(std::string root) {
  std::lock_guard lock(rootMutex());
  root_ = std::move(root);
}

std::string FileManager::rootDirectory() const {
  std::lock_guard lock(rootMutex());
  if (root_.empty()) root_ = defaultRoot();
  return root_;
}

std::string FileManager::documentsDirectory() const {
  return appendingPathComponent(rootDirectory(), "Documents");
}

std::string FileManager::cachesDirectory() const {
  return appendingPathComponent(rootDirectory(), "Library/Caches");
}

std::string FileManager::temporaryDirectory() const {
  return appendingPathComponent(rootDirectory(), "tmp");
}

bool FileManager::fileExists(const std::string& path, bool* isDirectory) const {
  std::error_code ec;
  auto status = fs::status(path, ec);
  bool exists = !ec && fs::exists(status);
  if (isDirectory) *isDirectory = exists && fs::is_directory(status);
  return exists;
}

bool FileManager::createDirectory(const std::string& path, bool withIntermediateDirectories,
                                  ErrorPtr* error) const {
  std::error_code ec;
  if (withIntermediateDirectories) {
    fs::create_directories(path, ec);
    if (!ec && fs::is_directory(path)) return true;
  } else {
    if (fs::create_directory(path, ec)) return true;
  }
  report(error, 512,
         "The folder \"" + lastPathComponent(path) +
             "\" couldn't be created: " + (ec ? ec.message() : std::string("it already exists")));
  return false;
}

bool FileManager::writeAtomically(const std::string& path, std::string_view bytes,
                                  ErrorPtr* error) const {
  static std::atomic<unsigned> counter{0};
  const std::string temp =
      path + ".tmp-" + std::to_string(getpid()) + "-" + std::to_string(counter.fetch_add(1));
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    report(
        error, 642,
        "The file \"" + lastPathComponent(path) + "\" couldn't be saved: " + std::strerror(errno));
    return false;
  }
  std::size_t written = 0;
  while (written < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
    if (n < 0) {
      if (errno == EINTR) continue;
      int saved = errno;
      ::close(fd);
      ::unlink(temp.c_str());
      report(error, 640,
             "The file \"" + lastPathComponent(path) +
                 "\" couldn't be saved: " + std::strerror(saved));
      return false;
    }
    written += static_cast<std::size_t>(n);
  }
  if (::close(fd) != 0 || ::rename(temp.c_str(), path.c_str()) != 0) {
    int saved = errno;
    ::unlink(temp.c_str());
    report(
        error, 642,
        "The file \"" + lastPathComponent(path) + "\" couldn't be saved: " + std::strerror(saved));
    return false;
  }
  return true;
}

bool FileManager::writeAtomically(const std::string& path, const Data& bytes,
                                  ErrorPtr* error) const {
  return writeAtomically(
      path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), error);
}

std::optional<Data> FileManager::contentsAtPath(const std::string& path) const {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::error_code ec;
  if (fs::is_directory(path, ec)) return std::nullopt;
  Data data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  return data;
}

std::optional<std::string> FileManager::stringContentsAtPath(const std::string& path) const {
  auto data = contentsAtPath(path);
  if (!data) return std::nullopt;
  return std::string(data->begin(), data->end());
}

bool FileManager::removeItem(const std::string& path, ErrorPtr* error) const {
  std::error_code ec;
  auto removed = fs::remove_all(path, ec);
  if (ec || removed == 0) {
    report(error, 4,
           "\"" + lastPathComponent(path) + "\" couldn't be removed" +
               (ec ? ": " + ec.message() : std::string(": no such file")));
    return false;
  }
  return true;
}

bool FileManager::moveItem(const std::string& from, const std::string& to, ErrorPtr* error) const {
  std::error_code ec;
  if (fs::exists(to, ec)) {
    report(error, 516,
           "\"" + lastPathComponent(from) + "\" couldn't be moved because an item " + "named \"" +
               lastPathComponent(to) + "\" already exists.");
    return false;
  }
  fs::rename(from, to, ec);
  if (ec) {
    report(error, 4, "\"" + lastPathComponent(from) + "\" couldn't be moved: " + ec.message());
    return false;
  }
  return true;
}

bool FileManager::copyItem(const std::string& from, const std::string& to, ErrorPtr* error) const {
  std::error_code ec;
  fs::copy(from, to, fs::copy_options::recursive, ec);
  if (ec) {
    report(error, 4, "\"" + lastPathComponent(from) + "\" couldn't be copied: " + ec.message());
    return false;
  }
  return true;
}

std::vector<std::string> FileManager::contentsOfDirectory(const std::string& path) const {
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec)) {
    names.push_back(it->path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::optional<FileAttributes> FileManager::attributesOfItem(const std::string& path) const {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return std::nullopt;
  FileAttributes attributes;
  attributes.size = static_cast<std::uint64_t>(info.st_size);
  attributes.isDirectory = S_ISDIR(info.st_mode);
  attributes.modificationDate =
      static_cast<double>(info.st_mtim.tv_sec) + info.st_mtim.tv_nsec / 1e9;
  return attributes;
}

bool FileManager::setModificationDate(const std::string& path, double secondsSince1970) const {
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_sec = static_cast<time_t>(secondsSince1970);
  times[1].tv_nsec =
      static_cast<long>((secondsSince1970 - static_cast<double>(times[1].tv_sec)) * 1e9);
  return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

std::string appendingPathComponent(std::string_view path, std::string_view component) {
  std::string result(path);
  while (!component.empty() && component.front() == '/') component.remove_prefix(1);
  if (result.empty()) return std::string(component);
  if (result.back() != '/') result.push_back('/');
  result.append(component);
  return result;
}

namespace {
std::string_view trimmedTrailingSlashes(std::string_view path) {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  return path;
}
}  // namespace

std::string lastPathComponent(std::string_view path) {
  path = trimmedTrailingSlashes(path);
  if (path == "/") return "/";
  auto slash = path.rfind('/');
  if (slash == std::string_view::npos) return std::string(path);
  return std::string(path.substr(slash + 1));
}

std::string deletingLastPathComponent(std::string_view path) {
  path = trimmedTrailingSlashes(path);
  auto slash = path.rfind('/');
  if (slash == std::string_view::npos) return "";
  if (slash == 0) return "/";
  return std::string(path.substr(0, slash));
}

std::string pathExtension(std::string_view path) {
  std::string last = lastPathComponent(path);
  auto dot = last.rfind('.');
  if (dot == std::string::npos || dot == 0 || dot + 1 == last.size()) return "";
  return last.substr(dot + 1);
}

std::string deletingPathExtension(std::string_view path) {
  std::string extension = pathExtension(path);
  std::string_view trimmed = trimmedTrailingSlashes(path);
  if (extension.empty()) return std::string(trimmed);
  return std::string(trimmed.substr(0, trimmed.size() - extension.size() - 1));
}

}  // namespace lorvane
