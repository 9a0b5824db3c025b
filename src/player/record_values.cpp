#include "player/record_values.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <limits>

#include <cstdio>

namespace lorvane {

std::int64_t integerValueOf(const JSONValue* value) {
  if (!value) return 0;
  if (const JSONNumber* number = value->asNumber()) {
    if (number->isDouble()) {
      double d = number->doubleValue();
      if (!std::isfinite(d)) return 0;
      if (d >= 9.2e18) return std::numeric_limits<std::int64_t>::max();
      if (d <= -9.2e18) return std::numeric_limits<std::int64_t>::min();
      return static_cast<std::int64_t>(d);
    }
    return number->int64Value();
  }
  std::string_view text = value->stringValue();
  std::size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  std::int64_t result = 0;
  constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
    int digit = text[i] - '0';
    // Saturate as the platform does rather than overflow.
    if (result > (kMax - digit) / 10)
      return negative ? std::numeric_limits<std::int64_t>::min() : kMax;
    result = result * 10 + digit;
  }
  return negative ? -result : result;
}

double floatValueOf(const JSONValue* value) {
  if (!value) return std::numeric_limits<double>::quiet_NaN();
  if (const JSONNumber* number = value->asNumber()) return number->doubleValue();
  if (!value->isString()) return std::numeric_limits<double>::quiet_NaN();
  std::string text(value->stringValue());
  const char* begin = text.c_str();
  char* end = nullptr;
  double d = std::strtod(begin, &end);
  return end == begin ? 0.0 : d;
}

std::string textOf(const JSONValue* value) {
  if (!value) return {};
  if (value->isString()) return std::string(value->stringValue());
  if (const JSONNumber* number = value->asNumber()) {
    if (number->isUnsigned()) return std::to_string(number->uint64Value());
    if (number->isInteger()) return std::to_string(number->int64Value());
    double d = number->doubleValue();
    if (std::isfinite(d) && d == std::floor(d) && std::fabs(d) < 1e15) {
      return std::to_string(static_cast<std::int64_t>(d));
    }
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.15g", d);
    return buffer;
  }
  // Several teachers come as a list: name them one after the other.
  if (const JSONArray* list = value->asArray()) {
    std::string joined;
    for (std::size_t i = 0; i < list->count(); ++i) {
      std::string part = textOf(list->objectAtIndex(i));
      if (part.empty()) continue;
      if (!joined.empty()) joined += "、";
      joined += part;
    }
    return joined;
  }
  return {};
}

std::string stringForKey(const JSONDictionary* record, std::string_view key) {
  if (!record) return {};
  const JSONValue* value = record->objectForKey(key);
  return value && value->isString() ? std::string(value->stringValue()) : std::string();
}

}  // namespace lorvane
