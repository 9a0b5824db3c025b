#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/foundation/error.h"
#include "platform/foundation/file_manager.h"

namespace lorvane {

inline constexpr const char* kHTTPRequestErrorDomain = "HTTPRequestErrorDomain";
inline constexpr const char* kLocalizedFailureReasonKey = "NSLocalizedFailureReason";

// The error codes of the HTTP client.
enum HTTPRequestErrorCode {
  kConnectionFailureErrorType = 1,
  kRequestTimedOutErrorType = 2,
  kAuthenticationErrorType = 3,
  kRequestCancelledErrorType = 4,
  kUnableToCreateRequestErrorType = 5,
  kInternalErrorWhileBuildingRequestType = 6,
  kInternalErrorWhileApplyingCredentialsType = 7,
  kFileManagementError = 8,
  kTooMuchRedirectionErrorType = 9,
  kUnhandledExceptionError = 10,
  kCompressionError = 11,
  // Limits of transfer_limits.h.
  kResponseTooLargeErrorType = 12,
  kTooManyInterimResponsesErrorType = 13,
};

// Header names compare without regard to case, as HTTP says.
struct CaseInsensitiveLess {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const;
};

using HeaderMap = std::map<std::string, std::string, CaseInsensitiveLess>;
// Header fields in the order received, duplicates kept (Set-Cookie).
using HeaderList = std::vector<std::pair<std::string, std::string>>;

std::string toLower(std::string_view text);
std::string trimWhitespace(std::string_view text);
bool equalsIgnoringCase(std::string_view a, std::string_view b);

// The value of a header, empty when absent.
std::string headerValue(const HeaderMap& headers, std::string_view name);

}  // namespace lorvane
