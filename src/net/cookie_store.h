#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "net/net_types.h"
#include "platform/foundation/date.h"
#include "platform/foundation/url.h"

namespace lorvane {

struct Cookie {
  std::string name;
  std::string value;
  std::string domain;  // lower case, no leading dot
  std::string path = "/";
  std::optional<DateSeconds> expiresDate;  // nothing: ends with the session
  bool hostOnly = true;                    // no Domain attribute: only the exact host
  bool secure = false;
  bool httpOnly = false;

  bool isExpired(DateSeconds now) const { return expiresDate && *expiresDate <= now; }
  bool matches(const URL& url, DateSeconds now) const;
};

// Parses one Set-Cookie value received from `url`; nothing when it is
// malformed or its Domain does not cover the host that sent it.
std::optional<Cookie> parseSetCookie(std::string_view header, const URL& url, DateSeconds now);
// Every cookie of the Set-Cookie fields of a response.
std::vector<Cookie> cookiesFromHeaderFields(const HeaderList& fields, const URL& url,
                                            DateSeconds now);

bool domainMatches(std::string_view host, std::string_view domain);
bool pathMatches(std::string_view requestPath, std::string_view cookiePath);

// The process-wide cookie store.
class CookieStore {
 public:
  static CookieStore& shared();

  // Stores cookies received from `url`; a cookie that is already expired
  // removes the stored one of the same name, domain and path.
  void setCookies(const std::vector<Cookie>& cookies);
  // The cookies to send to `url`, longer paths first.
  std::vector<Cookie> cookiesForURL(const URL& url) const;
  std::vector<Cookie> allCookies() const;
  void deleteCookie(const Cookie& cookie);
  void removeAll();

 private:
  mutable std::mutex mutex_;
  std::vector<Cookie> cookies_;
};

}  // namespace lorvane
