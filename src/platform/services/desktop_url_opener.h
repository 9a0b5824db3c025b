#pragma once

#include <string>

namespace lorvane {

// Hands links to the desktop's opener (xdg-open): the program is started
// directly, without a shell, and not waited for, so a slow browser start
// never holds up the interface. Only http, https and mailto links go out;
// anything else (the store's own scheme, say) has no handler on a desktop.
class DesktopURLOpener {
 public:
  // `program` is a name looked up on PATH, or a path.
  explicit DesktopURLOpener(std::string program = "xdg-open");

  // Whether a link of this scheme is handed to the desktop.
  static bool handles(const std::string& url);
  // Starts the program with the link as its only argument; true when it
  // started.
  bool open(const std::string& url) const;
  const std::string& program() const { return program_; }

 private:
  std::string program_;
};

// Makes the application's openURL hand links to the desktop's opener.
void installDesktopURLOpener(const std::string& program = "xdg-open");

}  // namespace lorvane
