#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace lorvane {

// An absolute or relative URL reference in the RFC 3986 generic syntax.
// Components are kept as written (percent escapes intact) except where an
// accessor says it decodes them.
class URL {
 public:
  // Nothing for text that is not a valid URL reference: characters outside
  // the URL alphabet (spaces, quotes, non-ASCII bytes, controls), a broken
  // percent escape, a bad port or a bad scheme.
  static std::optional<URL> parse(std::string_view text);
  // Parses `reference` and resolves it against `base` (RFC 3986 section 5).
  static std::optional<URL> parse(std::string_view reference, const URL& base);

  URL resolve(const URL& reference) const;
  std::optional<URL> resolve(std::string_view reference) const;

  const std::string& absoluteString() const { return text_; }
  bool isAbsolute() const { return hasScheme_; }

  // Lower-cased scheme ("http"), empty for a relative reference.
  const std::string& scheme() const { return scheme_; }
  bool hasAuthority() const { return hasAuthority_; }
  const std::string& user() const { return user_; }
  const std::string& password() const { return password_; }
  // Host as written, without the brackets of an IPv6 literal; lower-cased.
  const std::string& host() const { return host_; }
  std::optional<int> port() const { return port_; }
  // The port, else 80 for http and 443 for https (0 when unknown).
  int effectivePort() const;
  const std::string& percentEncodedPath() const { return path_; }
  std::string path() const;  // percent escapes decoded
  bool hasQuery() const { return hasQuery_; }
  const std::string& query() const { return query_; }
  bool hasFragment() const { return hasFragment_; }
  const std::string& fragment() const { return fragment_; }

  // What goes on an HTTP request line: path (or "/") and query.
  std::string requestTarget() const;
  // host, plus ":port" when the URL names one; brackets around IPv6.
  std::string hostAndPort() const;
  // The last component of the path, decoded, the platform's way: trailing
  // slashes ignored, "/" for the root, empty for no path. Decoding happens
  // after the cut, so "a%2F..%2Fb" stays one component: "a/../b".
  std::string lastPathComponent() const;
  std::string pathExtension() const;
  // The URL without its fragment.
  URL withoutFragment() const;

  bool operator==(const URL& other) const { return text_ == other.text_; }

 private:
  void rebuild();

  std::string text_;
  std::string scheme_;
  bool hasScheme_ = false;
  bool hasAuthority_ = false;
  std::string user_;
  std::string password_;
  bool hasUserInfo_ = false;
  bool hasPassword_ = false;
  std::string host_;
  bool ipv6Host_ = false;
  std::optional<int> port_;
  std::string path_;
  bool hasQuery_ = false;
  std::string query_;
  bool hasFragment_ = false;
  std::string fragment_;
};

// Escapes as UTF-8 percent escapes every byte that may not stand in a URL as
// it is, keeping the reserved characters. With `keepEscapes`, a '%' that
// already starts a valid escape is left alone, so escaped text survives.
std::string percentEscape(std::string_view text, bool keepEscapes = true);
// Escapes everything but unreserved characters (for query values).
std::string percentEscapeComponent(std::string_view text);
// Decodes %XX escapes; a broken escape is kept as written.
std::string percentDecode(std::string_view text);

}  // namespace lorvane
