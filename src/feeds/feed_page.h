#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "json/json.h"

namespace lorvane {

using FeedRecord = JSONRef<JSONDictionary>;

// The two feeds of the content server.
inline constexpr const char* kTopicFeedPath =
    "/infolist?_method=infoJson&categoryId=34679&pageSize=100&order=2&pageNo=0";
inline constexpr const char* kShowFeedPath = "/infolist?_method=orvel";

// Element 0 of a feed answer, or nothing when the text is not JSON or not
// shaped like a feed (top level not an array, an empty array, or a first
// element that is not a dictionary); all of these count as undecodable.
FeedRecord decodeFeedPage(std::optional<std::string_view> replyText);

// The records under "data" that the screens can show: dictionaries whose
// "imageUrl" and "title" are strings. Others are skipped, so the index of a
// record here is the index of its tile or row. Empty without a page or
// without a "data" array.
std::vector<FeedRecord> feedRecords(const JSONDictionary* page);

// The string under `key`, or nothing when absent or not a string.
std::optional<std::string> recordString(const JSONDictionary& record, std::string_view key);

}  // namespace lorvane
