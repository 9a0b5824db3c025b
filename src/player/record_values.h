#pragma once

#include <cstdint>
#include <string>

#include "json/json.h"

namespace lorvane {

// Feed records carry numbers either as JSON numbers or as strings of digits;
// these read them the way the platform's integerValue / floatValue do.

// Leading blanks, an optional sign, then digits; 0 for anything else.
std::int64_t integerValueOf(const JSONValue* value);
// A number's value or a string's leading decimal number; NaN for neither.
double floatValueOf(const JSONValue* value);
// What a value shows as text: a string as it is, a number in its shortest
// form, a list as its items joined by "、", empty for anything else.
std::string textOf(const JSONValue* value);
// The string under `key`, empty when absent or not a string.
std::string stringForKey(const JSONDictionary* record, std::string_view key);

}  // namespace lorvane
