#include "platform/foundation/url.h"

#include <cctype>
#include <vector>

#include "platform/foundation/file_manager.h"

namespace lorvane {
namespace {

bool isUnreserved(unsigned char c) {
  return std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~';
}

bool isSubDelim(unsigned char c) {
  switch (c) {
    case '!':
    case '$':
    case '&':
    case '\'':
    case '(':
    case ')':
    case '*':
    case '+':
    case ',':
    case ';':
    case '=':
      return true;
    default:
      return false;
  }
}

bool isHex(unsigned char c) {
  return std::isxdigit(c) != 0;
}

int hexValue(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  return (std::tolower(c) - 'a') + 10;
}

// Every byte of a component must be a URL character or a whole escape.
bool validComponent(std::string_view text, std::string_view extra) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '%') {
      if (i + 2 >= text.size() || !isHex(text[i + 1]) || !isHex(text[i + 2])) return false;
      i += 2;
      continue;
    }
    if (isUnreserved(c) || isSubDelim(c) || c == ':' || c == '@') continue;
    if (extra.find(static_cast<char>(c)) != std::string_view::npos) continue;
    return false;
  }
  return true;
}

std::string lower(std::string_view text) {
  std::string out(text);
  for (auto& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// RFC 3986 section 5.2.4.
std::string removeDotSegments(std::string_view input) {
  std::string output;
  while (!input.empty()) {
    if (input.starts_with("../")) {
      input.remove_prefix(3);
    } else if (input.starts_with("./")) {
      input.remove_prefix(2);
    } else if (input.starts_with("/./")) {
      input.remove_prefix(2);
    } else if (input == "/.") {
      input = "/";
    } else if (input.starts_with("/../")) {
      input.remove_prefix(3);
      auto slash = output.rfind('/');
      output.erase(slash == std::string::npos ? 0 : slash);
    } else if (input == "/..") {
      input = "/";
      auto slash = output.rfind('/');
      output.erase(slash == std::string::npos ? 0 : slash);
    } else if (input == "." || input == "..") {
      input = {};
    } else {
      std::size_t start = input.front() == '/' ? 1 : 0;
      auto next = input.find('/', start);
      if (next == std::string_view::npos) next = input.size();
      output.append(input.substr(0, next));
      input.remove_prefix(next);
    }
  }
  return output;
}

}  // namespace

std::optional<URL> URL::parse(std::string_view text) {
  URL url;
  std::string_view rest = text;

  // Scheme: ALPHA *( ALPHA / DIGIT / "+" / "-" / "." ) ":"
  auto colon = rest.find(':');
  auto firstDelimiter = rest.find_first_of("/?#");
  if (colon != std::string_view::npos && colon > 0 &&
      (firstDelimiter == std::string_view::npos || colon < firstDelimiter)) {
    std::string_view scheme = rest.substr(0, colon);
    bool valid = std::isalpha(static_cast<unsigned char>(scheme[0])) != 0;
    for (unsigned char c : scheme) {
      if (!std::isalnum(c) && c != '+' && c != '-' && c != '.') valid = false;
    }
    if (!valid) return std::nullopt;
    url.scheme_ = lower(scheme);
    url.hasScheme_ = true;
    rest.remove_prefix(colon + 1);
  }

  if (auto hash = rest.find('#'); hash != std::string_view::npos) {
    url.hasFragment_ = true;
    url.fragment_ = std::string(rest.substr(hash + 1));
    rest = rest.substr(0, hash);
    if (!validComponent(url.fragment_, "/?")) return std::nullopt;
  }
  if (auto question = rest.find('?'); question != std::string_view::npos) {
    url.hasQuery_ = true;
    url.query_ = std::string(rest.substr(question + 1));
    rest = rest.substr(0, question);
    if (!validComponent(url.query_, "/?")) return std::nullopt;
  }

  if (rest.starts_with("//")) {
    url.hasAuthority_ = true;
    rest.remove_prefix(2);
    auto end = rest.find('/');
    std::string_view authority = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end);

    if (auto at = authority.rfind('@'); at != std::string_view::npos) {
      std::string_view userInfo = authority.substr(0, at);
      authority.remove_prefix(at + 1);
      if (!validComponent(userInfo, "")) return std::nullopt;
      url.hasUserInfo_ = true;
      auto separator = userInfo.find(':');
      url.user_ = std::string(userInfo.substr(0, separator));
      if (separator != std::string_view::npos) {
        url.hasPassword_ = true;
        url.password_ = std::string(userInfo.substr(separator + 1));
      }
    }
    std::string_view hostPart = authority;
    std::string_view portPart;
    bool hasPort = false;
    if (authority.starts_with("[")) {
      auto close = authority.find(']');
      if (close == std::string_view::npos) return std::nullopt;
      hostPart = authority.substr(1, close - 1);
      for (unsigned char c : hostPart) {
        if (!isHex(c) && c != ':' && c != '.') return std::nullopt;
      }
      url.ipv6Host_ = true;
      std::string_view after = authority.substr(close + 1);
      if (!after.empty()) {
        if (after.front() != ':') return std::nullopt;
        hasPort = true;
        portPart = after.substr(1);
      }
    } else if (auto portColon = authority.rfind(':'); portColon != std::string_view::npos) {
      hostPart = authority.substr(0, portColon);
      hasPort = true;
      portPart = authority.substr(portColon + 1);
      if (!validComponent(hostPart, "")) return std::nullopt;
      if (hostPart.find(':') != std::string_view::npos) return std::nullopt;
    } else if (!validComponent(hostPart, "")) {
      return std::nullopt;
    }
    if (hasPort && !portPart.empty()) {
      if (portPart.size() > 5) return std::nullopt;
      int port = 0;
      for (unsigned char c : portPart) {
        if (!std::isdigit(c)) return std::nullopt;
        port = port * 10 + (c - '0');
      }
      if (port > 65535) return std::nullopt;
      url.port_ = port;
    }
    url.host_ = lower(hostPart);
  }

  if (!validComponent(rest, "/")) return std::nullopt;
  url.path_ = std::string(rest);
  url.rebuild();
  return url;
}

std::optional<URL> URL::parse(std::string_view reference, const URL& base) {
  auto parsed = parse(reference);
  if (!parsed) return std::nullopt;
  return base.resolve(*parsed);
}

std::optional<URL> URL::resolve(std::string_view reference) const {
  return parse(reference, *this);
}

// RFC 3986 section 5.2.2, strict form.
URL URL::resolve(const URL& r) const {
  URL t;
  auto copyAuthority = [&t](const URL& from) {
    t.hasAuthority_ = from.hasAuthority_;
    t.user_ = from.user_;
    t.password_ = from.password_;
    t.hasUserInfo_ = from.hasUserInfo_;
    t.hasPassword_ = from.hasPassword_;
    t.host_ = from.host_;
    t.ipv6Host_ = from.ipv6Host_;
    t.port_ = from.port_;
  };
  auto copyQuery = [&t](const URL& from) {
    t.hasQuery_ = from.hasQuery_;
    t.query_ = from.query_;
  };
  if (r.hasScheme_) {
    t.scheme_ = r.scheme_;
    t.hasScheme_ = true;
    copyAuthority(r);
    t.path_ = removeDotSegments(r.path_);
    copyQuery(r);
  } else {
    if (r.hasAuthority_) {
      copyAuthority(r);
      t.path_ = removeDotSegments(r.path_);
      copyQuery(r);
    } else {
      if (r.path_.empty()) {
        t.path_ = path_;
        if (r.hasQuery_) {
          copyQuery(r);
        } else {
          copyQuery(*this);
        }
      } else {
        if (r.path_.front() == '/') {
          t.path_ = removeDotSegments(r.path_);
        } else {
          // Merge (5.2.3).
          std::string merged;
          if (hasAuthority_ && path_.empty()) {
            merged = "/" + r.path_;
          } else {
            auto slash = path_.rfind('/');
            merged =
                (slash == std::string::npos ? std::string() : path_.substr(0, slash + 1)) + r.path_;
          }
          t.path_ = removeDotSegments(merged);
        }
        copyQuery(r);
      }
      copyAuthority(*this);
    }
    t.scheme_ = scheme_;
    t.hasScheme_ = hasScheme_;
  }
  t.hasFragment_ = r.hasFragment_;
  t.fragment_ = r.fragment_;
  t.rebuild();
  return t;
}

void URL::rebuild() {
  std::string out;
  if (hasScheme_) out += scheme_ + ":";
  if (hasAuthority_) {
    out += "//";
    if (hasUserInfo_) {
      out += user_;
      if (hasPassword_) out += ":" + password_;
      out += "@";
    }
    out += ipv6Host_ ? "[" + host_ + "]" : host_;
    if (port_) out += ":" + std::to_string(*port_);
  }
  out += path_;
  if (hasQuery_) out += "?" + query_;
  if (hasFragment_) out += "#" + fragment_;
  text_ = std::move(out);
}

int URL::effectivePort() const {
  if (port_) return *port_;
  if (scheme_ == "http") return 80;
  if (scheme_ == "https") return 443;
  return 0;
}

std::string URL::path() const {
  return percentDecode(path_);
}

std::string URL::requestTarget() const {
  std::string target = path_.empty() ? "/" : path_;
  if (hasQuery_) target += "?" + query_;
  return target;
}

std::string URL::hostAndPort() const {
  std::string out = ipv6Host_ ? "[" + host_ + "]" : host_;
  if (port_) out += ":" + std::to_string(*port_);
  return out;
}

// The component is cut from the escaped path and decoded afterwards, so an
// escaped slash ("%2F") survives into the result: callers that make file
// names from it must not trust it.
std::string URL::lastPathComponent() const {
  if (path_.empty()) return "";
  return percentDecode(lorvane::lastPathComponent(path_));
}

std::string URL::pathExtension() const {
  return lorvane::pathExtension(lastPathComponent());
}

URL URL::withoutFragment() const {
  URL copy = *this;
  copy.hasFragment_ = false;
  copy.fragment_.clear();
  copy.rebuild();
  return copy;
}

std::string percentEscape(std::string_view text, bool keepEscapes) {
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    bool escape;
    if (c == '%') {
      escape = !(keepEscapes && i + 2 < text.size() && isHex(text[i + 1]) && isHex(text[i + 2]));
    } else {
      escape = !(isUnreserved(c) || isSubDelim(c) || c == ':' || c == '@' || c == '/' || c == '?' ||
                 c == '#' || c == '[' || c == ']');
    }
    if (escape) {
      out.push_back('%');
      out.push_back(digits[c >> 4]);
      out.push_back(digits[c & 15]);
    } else {
      out.push_back(static_cast<char>(c));
    }
  }
  return out;
}

std::string percentEscapeComponent(std::string_view text) {
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if (isUnreserved(c)) {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back('%');
      out.push_back(digits[c >> 4]);
      out.push_back(digits[c & 15]);
    }
  }
  return out;
}

std::string percentDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && isHex(text[i + 1]) && isHex(text[i + 2])) {
      out.push_back(static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2])));
      i += 2;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

}  // namespace lorvane
