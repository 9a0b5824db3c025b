#pragma once

#include <functional>
#include <optional>
#include <string>

namespace lorvane {

// The system clipboard, for text. It lives in the process until the front
// end installs the desktop's clipboard (the window build does); headless
// runs and tests keep the in-process one.
class Pasteboard {
 public:
  static Pasteboard& generalPasteboard();

  // Nothing when the clipboard holds no text.
  std::optional<std::string> string() const;
  void setString(std::string text);

  struct Backend {
    std::function<std::optional<std::string>()> read;
    std::function<void(const std::string&)> write;
  };
  // An empty backend puts the in-process clipboard back.
  void setBackend(Backend backend);

 private:
  Pasteboard() = default;
  Backend backend_;
  std::optional<std::string> stored_;
};

}  // namespace lorvane
