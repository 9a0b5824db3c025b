#include "net/net_types.h"

#include <algorithm>
#include <cctype>

namespace lorvane {

namespace {
// HTTP's names are ASCII; the locale has no say in them (and asking it is
// a call per byte on every header lookup).
unsigned char lowerByte(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte >= 'A' && byte <= 'Z' ? static_cast<unsigned char>(byte + ('a' - 'A')) : byte;
}
}  // namespace

bool CaseInsensitiveLess::operator()(std::string_view a, std::string_view b) const {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [](char x, char y) { return lowerByte(x) < lowerByte(y); });
}

std::string toLower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(lowerByte(c));
  return out;
}

std::string trimWhitespace(std::string_view text) {
  auto isSpace = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
  while (!text.empty() && isSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && isSpace(text.back())) text.remove_suffix(1);
  return std::string(text);
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return lowerByte(x) == lowerByte(y);
         });
}

std::string headerValue(const HeaderMap& headers, std::string_view name) {
  auto it = headers.find(name);
  return it == headers.end() ? std::string() : it->second;
}

}  // namespace lorvane
