// libFuzzer target: any bytes through the decoder, strictly and with every
// option; whatever is accepted must encode, decode again (strictly) and
// give an equal tree.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "json/json.h"

namespace {

using namespace lorvane;

void roundTrip(const JSONValue& value, JSONSerializeOptionFlags options) {
  JSONError error;
  const std::optional<std::string> text = JSONStringWithOptions(value, options, &error);
  if (!text) __builtin_trap();
  JSONValueRef again = objectFromJSONStringWithParseOptions(*text, JSONParseStrict, &error);
  if (!again || !again->isEqual(value)) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  for (JSONParseOptionFlags options : {JSONParseStrict, JSONParseOptionFlags{15}}) {
    JSONError error;
    JSONValueRef value = (size % 2)
                             ? mutableObjectFromJSONDataWithParseOptions(bytes, options, &error)
                             : objectFromJSONDataWithParseOptions(bytes, options, &error);
    if (!value) {
      // A failure always says what and where.
      if (error.description.empty() || !error.index || *error.index > size) __builtin_trap();
      continue;
    }
    roundTrip(*value, JSONSerializeOptionNone);
    roundTrip(*value, JSONWritePretty | JSONWriteEscapeUnicode | JSONWriteEscapeSlashes);
  }
  return 0;
}
