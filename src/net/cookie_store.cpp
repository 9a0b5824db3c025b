#include "net/cookie_store.h"

#include <algorithm>
#include <cstdlib>

#include "platform/foundation/clock.h"

namespace lorvane {

namespace {

bool isIPv4OrIPv6(std::string_view host) {
  if (host.find(':') != std::string_view::npos) return true;
  return !host.empty() && std::all_of(host.begin(), host.end(),
                                      [](char c) { return (c >= '0' && c <= '9') || c == '.'; });
}

std::string defaultPath(const URL& url) {
  std::string path = url.percentEncodedPath();
  if (path.empty() || path[0] != '/') return "/";
  auto slash = path.rfind('/');
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace

bool domainMatches(std::string_view host, std::string_view domain) {
  if (equalsIgnoringCase(host, domain)) return true;
  if (host.size() <= domain.size() || isIPv4OrIPv6(host)) return false;
  std::string_view tail = host.substr(host.size() - domain.size());
  return equalsIgnoringCase(tail, domain) && host[host.size() - domain.size() - 1] == '.';
}

bool pathMatches(std::string_view requestPath, std::string_view cookiePath) {
  if (requestPath.empty()) requestPath = "/";
  if (requestPath == cookiePath) return true;
  if (requestPath.substr(0, cookiePath.size()) != cookiePath) return false;
  return cookiePath.back() == '/' || requestPath[cookiePath.size()] == '/';
}

bool Cookie::matches(const URL& url, DateSeconds now) const {
  if (isExpired(now)) return false;
  if (secure && url.scheme() != "https") return false;
  bool hostOk =
      hostOnly ? equalsIgnoringCase(url.host(), domain) : domainMatches(url.host(), domain);
  return hostOk && pathMatches(url.percentEncodedPath(), path);
}

std::optional<Cookie> parseSetCookie(std::string_view header, const URL& url, DateSeconds now) {
  Cookie cookie;
  std::string_view rest = header;
  auto take = [&rest]() {
    auto semi = rest.find(';');
    std::string_view part = rest.substr(0, semi);
    rest = semi == std::string_view::npos ? std::string_view() : rest.substr(semi + 1);
    return part;
  };
  std::string_view pair = take();
  auto eq = pair.find('=');
  if (eq == std::string_view::npos) return std::nullopt;
  cookie.name = trimWhitespace(pair.substr(0, eq));
  cookie.value = trimWhitespace(pair.substr(eq + 1));
  if (cookie.name.empty()) return std::nullopt;

  std::optional<DateSeconds> maxAgeDate;
  std::optional<DateSeconds> expiresDate;
  std::string domainAttribute;
  bool pathGiven = false;
  while (!rest.empty()) {
    std::string_view attribute = take();
    auto aeq = attribute.find('=');
    std::string key = toLower(trimWhitespace(attribute.substr(0, aeq)));
    std::string value =
        aeq == std::string_view::npos ? std::string() : trimWhitespace(attribute.substr(aeq + 1));
    if (key == "expires") {
      if (auto date = parseHTTPDate(value)) expiresDate = *date;
    } else if (key == "max-age") {
      char* end = nullptr;
      long long seconds = std::strtoll(value.c_str(), &end, 10);
      if (!value.empty() && end && *end == '\0') {
        maxAgeDate = seconds <= 0 ? now - 1 : now + static_cast<double>(seconds);
      }
    } else if (key == "domain") {
      domainAttribute = toLower(value);
      while (!domainAttribute.empty() && domainAttribute.front() == '.') {
        domainAttribute.erase(domainAttribute.begin());
      }
    } else if (key == "path") {
      if (!value.empty() && value[0] == '/') {
        cookie.path = value;
        pathGiven = true;
      }
    } else if (key == "secure") {
      cookie.secure = true;
    } else if (key == "httponly") {
      cookie.httpOnly = true;
    }
  }
  // Over plain http a "Secure" cookie could be forged or overwritten by
  // anyone on the path, so it is not taken.
  if (cookie.secure && !equalsIgnoringCase(url.scheme(), "https")) return std::nullopt;
  if (!pathGiven) cookie.path = defaultPath(url);
  cookie.expiresDate = maxAgeDate ? maxAgeDate : expiresDate;
  if (domainAttribute.empty()) {
    cookie.domain = toLower(url.host());
    cookie.hostOnly = true;
  } else if (domainAttribute.find('.') == std::string::npos) {
    // A single label is a top-level domain: no site may set cookies for
    // all of it. Only a host that is itself that label keeps the cookie,
    // for itself alone.
    if (!equalsIgnoringCase(url.host(), domainAttribute)) return std::nullopt;
    cookie.domain = domainAttribute;
    cookie.hostOnly = true;
  } else {
    // A server may only set cookies for itself or a domain that contains it.
    if (!domainMatches(url.host(), domainAttribute)) return std::nullopt;
    cookie.domain = domainAttribute;
    cookie.hostOnly = false;
  }
  return cookie;
}

std::vector<Cookie> cookiesFromHeaderFields(const HeaderList& fields, const URL& url,
                                            DateSeconds now) {
  std::vector<Cookie> cookies;
  for (const auto& [name, value] : fields) {
    if (!equalsIgnoringCase(name, "Set-Cookie")) continue;
    if (auto cookie = parseSetCookie(value, url, now)) cookies.push_back(std::move(*cookie));
  }
  return cookies;
}

CookieStore& CookieStore::shared() {
  static CookieStore* store = new CookieStore();
  return *store;
}

void CookieStore::setCookies(const std::vector<Cookie>& cookies) {
  std::lock_guard lock(mutex_);
  DateSeconds now = currentDate();
  for (const auto& cookie : cookies) {
    std::erase_if(cookies_, [&](const Cookie& stored) {
      return stored.name == cookie.name && stored.domain == cookie.domain &&
             stored.path == cookie.path;
    });
    if (!cookie.isExpired(now)) cookies_.push_back(cookie);
  }
}

std::vector<Cookie> CookieStore::cookiesForURL(const URL& url) const {
  std::lock_guard lock(mutex_);
  DateSeconds now = currentDate();
  std::vector<Cookie> result;
  for (const auto& cookie : cookies_) {
    if (cookie.matches(url, now)) result.push_back(cookie);
  }
  std::stable_sort(result.begin(), result.end(),
                   [](const Cookie& a, const Cookie& b) { return a.path.size() > b.path.size(); });
  return result;
}

std::vector<Cookie> CookieStore::allCookies() const {
  std::lock_guard lock(mutex_);
  return cookies_;
}

void CookieStore::deleteCookie(const Cookie& cookie) {
  std::lock_guard lock(mutex_);
  std::erase_if(cookies_, [&](const Cookie& stored) {
    return stored.name == cookie.name && stored.domain == cookie.domain &&
           stored.path == cookie.path;
  });
}

void CookieStore::removeAll() {
  std::lock_guard lock(mutex_);
  cookies_.clear();
}

}  // namespace lorvane
