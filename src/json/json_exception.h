#pragma once

// Programmer misuse of the codec (bad options, changing an immutable
// collection, an index out of range) throws JSONException. Malformed input
// never throws; it is reported as a JSONError value.

#include <stdexcept>
#include <string>

namespace lorvane {

class JSONException : public std::logic_error {
 public:
  // The exception names of the platform the codec's behaviour follows.
  static constexpr const char* InvalidArgument = "NSInvalidArgumentException";
  static constexpr const char* InternalInconsistency = "NSInternalInconsistencyException";
  static constexpr const char* Range = "NSRangeException";
  static constexpr const char* Malloc = "NSMallocException";
  static constexpr const char* Generic = "NSGenericException";

  JSONException(std::string name, std::string reason);

  const std::string& name() const noexcept { return name_; }
  const std::string& reason() const noexcept { return reason_; }

 private:
  std::string name_;
  std::string reason_;
};

}  // namespace lorvane
