#pragma once

// The JSON codec in one include: the value model and its collections, the
// decoder (JSONDecoder and the one-shot objectFromJSONString family) and
// the encoder (JSONString / JSONData). It depends on the standard library
// only.
//
//   JSONError error;
//   JSONValueRef feed = objectFromJSONStringWithParseOptions(text, JSONParseStrict, &error);
//   if (!feed) Log(error.description);
//   else if (const JSONArray* pages = feed->asArray()) { ... pages->objectAtIndex(0) ... }
//
//   std::optional<std::string> text = JSONStringWithOptions(*feed, JSONWritePretty, &error);

#include "json/json_array.h"
#include "json/json_decoder.h"
#include "json/json_deserializing.h"
#include "json/json_dictionary.h"
#include "json/json_error.h"
#include "json/json_exception.h"
#include "json/json_serializer.h"
#include "json/json_value.h"
