#include "feeds/feed_page.h"

namespace lorvane {

FeedRecord decodeFeedPage(std::optional<std::string_view> replyText) {
  if (!replyText) return nullptr;
  JSONValueRef decoded = objectFromJSONString(*replyText);
  if (!decoded) return nullptr;
  const JSONArray* top = decoded->asArray();
  if (!top || top->count() == 0) return nullptr;
  JSONDictionary* page = top->objectAtIndex(0)->asDictionary();
  if (!page) return nullptr;
  return FeedRecord::retain(page);
}

std::vector<FeedRecord> feedRecords(const JSONDictionary* page) {
  std::vector<FeedRecord> records;
  if (!page) return records;
  JSONValue* data = page->objectForKey("data");
  const JSONArray* list = data ? data->asArray() : nullptr;
  if (!list) return records;
  records.reserve(list->count());
  for (JSONValue* element : *list) {
    JSONDictionary* record = element ? element->asDictionary() : nullptr;
    if (!record) continue;
    if (!recordString(*record, "imageUrl") || !recordString(*record, "title")) continue;
    records.push_back(FeedRecord::retain(record));
  }
  return records;
}

std::optional<std::string> recordString(const JSONDictionary& record, std::string_view key) {
  JSONValue* value = record.objectForKey(key);
  if (!value || !value->isString()) return std::nullopt;
  return std::string(value->stringValue());
}

}  // namespace lorvane
