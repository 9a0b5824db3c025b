#include "platform/foundation/error.h"

namespace lorvane {

std::string Error::localizedDescription() const {
  std::string text = stringForKey(kLocalizedDescriptionKey);
  if (!text.empty()) return text;
  return "The operation couldn't be completed. (" + domain + " error " + std::to_string(code) +
         ".)";
}

std::string Error::description() const {
  std::string text = "Error Domain=" + domain + " Code=" + std::to_string(code) + " \"" +
                     localizedDescription() + "\"";
  // Guards against an error that is, through its chain, its own cause.
  int depth = 0;
  for (ErrorPtr cause = underlyingError(); cause && depth < 8;
       cause = cause->underlyingError(), ++depth) {
    text += " (underlying Error Domain=" + cause->domain + " Code=" + std::to_string(cause->code) +
            " \"" + cause->localizedDescription() + "\")";
  }
  return text;
}

std::string describe(const ErrorPtr& error) {
  return error ? error->description() : "(null)";
}

ErrorPtr Error::underlyingError() const {
  auto it = userInfo.find(kUnderlyingErrorKey);
  if (it == userInfo.end()) return nullptr;
  if (const auto* error = std::any_cast<ErrorPtr>(&it->second)) return *error;
  return nullptr;
}

std::string Error::stringForKey(const std::string& key) const {
  auto it = userInfo.find(key);
  if (it == userInfo.end()) return {};
  if (const auto* text = std::any_cast<std::string>(&it->second)) return *text;
  if (const auto* text = std::any_cast<const char*>(&it->second)) return *text;
  return {};
}

ErrorPtr Error::make(std::string domain, int code, std::string description, ErrorPtr underlying) {
  UserInfo info;
  info[kLocalizedDescriptionKey] = std::move(description);
  if (underlying) info[kUnderlyingErrorKey] = std::move(underlying);
  return make(std::move(domain), code, std::move(info));
}

ErrorPtr Error::make(std::string domain, int code, UserInfo userInfo) {
  auto error = std::make_shared<Error>();
  error->domain = std::move(domain);
  error->code = code;
  error->userInfo = std::move(userInfo);
  return error;
}

Exception::Exception(std::string name, std::string reason)
    : std::logic_error(name + ": " + reason), name_(std::move(name)), reason_(std::move(reason)) {}

}  // namespace lorvane
