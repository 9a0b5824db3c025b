#pragma once

#include <any>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>

namespace lorvane {

inline constexpr const char* kLocalizedDescriptionKey = "NSLocalizedDescription";
inline constexpr const char* kUnderlyingErrorKey = "NSUnderlyingError";

using UserInfo = std::map<std::string, std::any>;

struct Error;
using ErrorPtr = std::shared_ptr<const Error>;

// A failure of input or of the network, reported as a value.
struct Error {
  std::string domain;
  int code = 0;
  UserInfo userInfo;

  // The message under kLocalizedDescriptionKey, or a generic one.
  std::string localizedDescription() const;
  // The error under kUnderlyingErrorKey, if any.
  ErrorPtr underlyingError() const;
  // For logs: domain, code and message, and the same of the underlying
  // error, as in Error Domain=HTTPRequestErrorDomain Code=2 "The request
  // timed out".
  std::string description() const;
  // A string value of userInfo, empty when absent or not a string.
  std::string stringForKey(const std::string& key) const;

  static ErrorPtr make(std::string domain, int code, std::string description,
                       ErrorPtr underlying = nullptr);
  static ErrorPtr make(std::string domain, int code, UserInfo userInfo);
};

// An error's description for a log line; "(null)" for none.
std::string describe(const ErrorPtr& error);

// Programmer misuse: carries the exception's name and its reason text.
class Exception : public std::logic_error {
 public:
  Exception(std::string name, std::string reason);
  const std::string& name() const { return name_; }
  const std::string& reason() const { return reason_; }

 private:
  std::string name_;
  std::string reason_;
};

}  // namespace lorvane
