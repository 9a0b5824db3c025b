#include "demo/server/request_path.h"

#include <cctype>
#include <vector>

namespace lorvane::demo {
namespace {

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string_view queryOf(std::string_view target) {
  auto mark = target.find('?');
  return mark == std::string_view::npos ? std::string_view() : target.substr(mark + 1);
}

std::optional<std::string> normalisedPath(std::string_view target) {
  std::string_view raw = target.substr(0, target.find('?'));
  if (raw.empty() || raw.front() != '/') return std::nullopt;
  std::string decoded;
  decoded.reserve(raw.size());
  for (std::size_t i = 0; i < raw.size(); ++i) {
    char c = raw[i];
    if (c == '%') {
      // A broken escape is kept as written, as nginx does.
      int high = i + 2 < raw.size() ? hexDigit(raw[i + 1]) : -1;
      int low = high >= 0 ? hexDigit(raw[i + 2]) : -1;
      if (high >= 0 && low >= 0) {
        c = static_cast<char>(high * 16 + low);
        i += 2;
      }
    }
    if (c == '\0') return std::nullopt;
    decoded += c;
  }
  std::vector<std::string_view> parts;
  std::string_view last;
  std::string_view rest = std::string_view(decoded).substr(1);
  for (;;) {
    auto slash = rest.find('/');
    last = rest.substr(0, slash);
    if (last == "..") {
      if (parts.empty()) return std::nullopt;
      parts.pop_back();
    } else if (!last.empty() && last != ".") {
      parts.push_back(last);
    }
    if (slash == std::string_view::npos) break;
    rest = rest.substr(slash + 1);
  }
  std::string path;
  for (auto part : parts) path += "/" + std::string(part);
  // "/a/", "/a/." and "/a/b/.." all name the folder /a/.
  if (path.empty() || last.empty() || last == "." || last == "..") path += "/";
  return path;
}

std::optional<std::string> queryArgument(std::string_view query, std::string_view name) {
  std::size_t start = 0;
  while (start <= query.size()) {
    auto end = query.find('&', start);
    std::string_view item = query.substr(start, end == std::string_view::npos ? end : end - start);
    if (item.size() > name.size() && item[name.size()] == '=') {
      bool same = true;
      for (std::size_t i = 0; i < name.size() && same; ++i) {
        same = std::tolower(static_cast<unsigned char>(item[i])) ==
               std::tolower(static_cast<unsigned char>(name[i]));
      }
      if (same) return std::string(item.substr(name.size() + 1));
    }
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return std::nullopt;
}

}  // namespace lorvane::demo
