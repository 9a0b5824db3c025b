#include "common/durable_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "platform/foundation/file_manager.h"

namespace lorvane {

namespace {

bool fail(std::string* error, const std::string& what, int number) {
  if (error) *error = what + ": " + std::strerror(number);
  return false;
}

}  // namespace

bool syncDirectory(const std::string& folder) {
  int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  bool synced = ::fsync(fd) == 0;
  ::close(fd);
  return synced;
}

bool writeFileDurably(const std::string& path, std::string_view bytes, std::string* error) {
  static std::atomic<unsigned> counter{0};
  const std::string temporary =
      path + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter.fetch_add(1));
  int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return fail(error, "cannot create " + lastPathComponent(temporary), errno);

  std::size_t written = 0;
  while (written < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      int saved = n < 0 ? errno : ENOSPC;
      ::close(fd);
      ::unlink(temporary.c_str());
      return fail(error, "cannot write " + lastPathComponent(path), saved);
    }
    written += static_cast<std::size_t>(n);
  }
  if (::fsync(fd) != 0) {
    int saved = errno;
    ::close(fd);
    ::unlink(temporary.c_str());
    return fail(error, "cannot flush " + lastPathComponent(path), saved);
  }
  if (::close(fd) != 0) {
    int saved = errno;
    ::unlink(temporary.c_str());
    return fail(error, "cannot close " + lastPathComponent(path), saved);
  }
  if (::rename(temporary.c_str(), path.c_str()) != 0) {
    int saved = errno;
    ::unlink(temporary.c_str());
    return fail(error, "cannot rename into " + lastPathComponent(path), saved);
  }
  syncDirectory(deletingLastPathComponent(path));
  return true;
}

}  // namespace lorvane
