#pragma once

// Shared between the files of HTTPRequest only.

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "net/cookie_store.h"
#include "net/http_request.h"

namespace lorvane::detail {

// What all requests share, created once.
struct HTTPClassState {
  std::mutex mutex;
  double defaultTimeOutSeconds = 10.0;
  std::optional<std::string> defaultUserAgent;
  bool userAgentComputed = false;
  ApplicationInfo applicationInfo;
  std::shared_ptr<DownloadCache> defaultCache;
  std::vector<Cookie> sessionCookies;
  std::uint64_t maximumInflatedLength;
};

HTTPClassState& httpClassState();

std::string base64Encode(const std::string& text);

// Calls the delegate operation a selector names, for the operations that
// take only the request.
void performSelector(HTTPRequestDelegate& target, HTTPSelector selector, HTTPRequest& request);

}  // namespace lorvane::detail
