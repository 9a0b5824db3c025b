#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace lorvane::demo {

// The path of a request target read the way nginx reads it, so both
// servers find the same file: the query cut off, percent escapes decoded
// (an escaped "/" or "." counts like the plain one), repeated slashes
// merged, "." and ".." resolved. Nothing for a target that is not a path,
// that decodes to a NUL byte or that climbs above the root.
std::optional<std::string> normalisedPath(std::string_view target);

// The query of a request target, without the "?"; empty when there is none.
std::string_view queryOf(std::string_view target);

// The value of the first `name` argument of a query, as nginx's $arg_name
// finds it: the name matched without regard to case, the value as sent.
std::optional<std::string> queryArgument(std::string_view query, std::string_view name);

}  // namespace lorvane::demo
