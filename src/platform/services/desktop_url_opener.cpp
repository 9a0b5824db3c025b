#include "platform/services/desktop_url_opener.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/foundation/log.h"
#include "platform/foundation/url.h"
#include "platform/ui/application.h"

extern char** environ;

namespace lorvane {

namespace {

// The program's file: itself when it names a path, else the first
// executable of that name on PATH. Looked up before forking, because the
// child of a threaded process may only make async-signal-safe calls.
std::optional<std::string> resolveProgram(const std::string& program) {
  if (program.empty()) return std::nullopt;
  if (program.find('/') != std::string::npos) {
    if (access(program.c_str(), X_OK) == 0) return program;
    return std::nullopt;
  }
  const char* path = std::getenv("PATH");
  std::string_view dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
  while (true) {
    std::size_t colon = dirs.find(':');
    std::string dir(dirs.substr(0, colon));
    if (dir.empty()) dir = ".";
    std::string candidate = dir + "/" + program;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
    if (colon == std::string_view::npos) break;
    dirs.remove_prefix(colon + 1);
  }
  return std::nullopt;
}

}  // namespace

DesktopURLOpener::DesktopURLOpener(std::string program) : program_(std::move(program)) {}

bool DesktopURLOpener::handles(const std::string& url) {
  auto parsed = URL::parse(url);
  if (!parsed || !parsed->isAbsolute()) return false;
  const std::string& scheme = parsed->scheme();
  return scheme == "http" || scheme == "https" || scheme == "mailto";
}

bool DesktopURLOpener::open(const std::string& url) const {
  if (!handles(url)) return false;
  auto file = resolveProgram(program_);
  if (!file) {
    Log("open URL: no " + program_ + " to hand " + url + " to");
    return false;
  }
  std::vector<char*> argv = {const_cast<char*>(program_.c_str()), const_cast<char*>(url.c_str()),
                             nullptr};
  // Two forks: the middle process exits at once, so the opener is adopted
  // by init and nobody has to wait for it to end.
  pid_t middle = fork();
  if (middle < 0) {
    Log("open URL: cannot start " + *file);
    return false;
  }
  if (middle == 0) {
    pid_t opener = fork();
    if (opener == 0) {
      int null = ::open("/dev/null", O_RDONLY);
      if (null >= 0) {
        dup2(null, STDIN_FILENO);
        close(null);
      }
      setsid();
      execve(file->c_str(), argv.data(), environ);
      _exit(127);
    }
    _exit(opener < 0 ? 1 : 0);
  }
  int status = 0;
  while (waitpid(middle, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void installDesktopURLOpener(const std::string& program) {
  DesktopURLOpener opener(program);
  Application::sharedApplication().setURLOpener(
      [opener](const std::string& url) { return opener.open(url); });
}

}  // namespace lorvane
