#include "platform/ui/pasteboard.h"

namespace lorvane {

Pasteboard& Pasteboard::generalPasteboard() {
  static Pasteboard pasteboard;
  return pasteboard;
}

std::optional<std::string> Pasteboard::string() const {
  if (backend_.read) return backend_.read();
  return stored_;
}

void Pasteboard::setString(std::string text) {
  if (backend_.write) {
    backend_.write(text);
    return;
  }
  stored_ = std::move(text);
}

void Pasteboard::setBackend(Backend backend) {
  backend_ = std::move(backend);
}

}  // namespace lorvane
