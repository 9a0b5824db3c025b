#include "demo/server/content_catalog.h"

#include <fstream>
#include <sstream>

namespace lorvane::demo {
namespace {

std::optional<std::string> readText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

const JSONArray* arrayAt(const JSONValue* value, std::string_view key) {
  const JSONDictionary* dictionary = value ? value->asDictionary() : nullptr;
  const JSONValue* found = dictionary ? dictionary->objectForKey(key) : nullptr;
  return found ? found->asArray() : nullptr;
}

JSONRef<JSONStringValue> text(std::string_view value) {
  auto string = JSONStringValue::create(value);
  return string ? string : JSONStringValue::empty();
}

// A copy of a record in which the keys holding links point at the server.
JSONRef<JSONDictionary> withAbsoluteLinks(const JSONDictionary& record, const std::string& baseURL,
                                          std::initializer_list<std::string_view> linkKeys) {
  auto copy = record.mutableCopy();
  for (std::string_view key : linkKeys) {
    if (const JSONValue* value = record.objectForKey(key); value && value->isString()) {
      copy->setObject(text(absoluteURL(baseURL, value->stringValue())), key);
    }
  }
  return copy;
}

std::string encoded(const JSONValue& value) {
  auto out = JSONString(value);
  return out ? *out : std::string("[]");
}

}  // namespace

std::string absoluteURL(const std::string& baseURL, std::string_view value) {
  if (value.find("://") != std::string_view::npos) return std::string(value);
  std::string base = baseURL;
  while (!base.empty() && base.back() == '/') base.pop_back();
  while (!value.empty() && value.front() == '/') value.remove_prefix(1);
  return base + "/" + std::string(value);
}

bool ContentCatalog::load(const std::string& sourceDirectory, std::string* error) {
  auto decode = [&](const std::string& name, JSONValueRef* out) {
    auto body = readText(sourceDirectory + "/" + name);
    if (!body) {
      if (error) *error = "cannot read " + sourceDirectory + "/" + name;
      return false;
    }
    JSONError decodeError;
    *out = objectFromJSONStringWithParseOptions(*body, JSONParseStrict, &decodeError);
    if (!*out || !(*out)->isDictionary()) {
      if (error) *error = name + ": " + (*out ? "not an object" : decodeError.description);
      return false;
    }
    return true;
  };
  std::lock_guard lock(mutex_);
  if (!decode("lessons.json", &lessons_) || !decode("apps.json", &apps_)) return false;
  if (!arrayAt(lessons_.get(), "topic") || !arrayAt(lessons_.get(), "show")) {
    if (error) *error = "lessons.json: needs the arrays \"topic\" and \"show\"";
    return false;
  }
  const JSONValue* data = apps_->asDictionary()->objectForKey("data");
  if (!arrayAt(data, "resourceList")) {
    if (error) *error = "apps.json: needs data.resourceList";
    return false;
  }
  cachedBase_.clear();
  return true;
}

void ContentCatalog::rebase(const std::string& baseURL) {
  if (cachedBase_ == baseURL) return;
  topicText_.clear();
  showText_.clear();
  appsText_.clear();
  cachedBase_ = baseURL;
}

std::string ContentCatalog::feed(const JSONArray* records, const std::string& baseURL,
                                 std::string* cache) {
  rebase(baseURL);
  if (!cache->empty()) return *cache;
  auto data = JSONArray::mutableArray();
  if (records) {
    for (const JSONValue* record : *records) {
      if (const JSONDictionary* dictionary = record->asDictionary()) {
        data->addObject(withAbsoluteLinks(*dictionary, baseURL, {"imageUrl", "videoUrl"}));
      }
    }
  }
  auto page = JSONDictionary::mutableDictionary();
  page->setObject(JSONNumber::withInt64(0), "pageNo");
  page->setObject(JSONNumber::withInt64(100), "pageSize");
  page->setObject(JSONNumber::withInt64(static_cast<std::int64_t>(data->count())), "total");
  page->setObject(data, "data");
  auto answer = JSONArray::mutableArray();
  answer->addObject(page);
  *cache = encoded(*answer);
  return *cache;
}

std::string ContentCatalog::topicFeed(const std::string& baseURL) {
  std::lock_guard lock(mutex_);
  return feed(arrayAt(lessons_.get(), "topic"), baseURL, &topicText_);
}

std::string ContentCatalog::showFeed(const std::string& baseURL) {
  std::lock_guard lock(mutex_);
  return feed(arrayAt(lessons_.get(), "show"), baseURL, &showText_);
}

std::string ContentCatalog::recommendations(const std::string& baseURL) {
  std::lock_guard lock(mutex_);
  rebase(baseURL);
  if (!appsText_.empty()) return appsText_;
  const JSONArray* apps = arrayAt(apps_->asDictionary()->objectForKey("data"), "resourceList");
  auto list = JSONArray::mutableArray();
  for (const JSONValue* app : *apps) {
    if (const JSONDictionary* dictionary = app->asDictionary()) {
      list->addObject(withAbsoluteLinks(*dictionary, baseURL, {"thumbnail", "action"}));
    }
  }
  auto data = JSONDictionary::mutableDictionary();
  data->setObject(list, "resourceList");
  auto answer = JSONDictionary::mutableDictionary();
  answer->setObject(JSONNumber::withInt64(0), "code");
  answer->setObject(data, "data");
  appsText_ = encoded(*answer);
  return appsText_;
}

std::size_t ContentCatalog::topicCount() const {
  const JSONArray* records = arrayAt(lessons_.get(), "topic");
  return records ? records->count() : 0;
}

std::size_t ContentCatalog::showCount() const {
  const JSONArray* records = arrayAt(lessons_.get(), "show");
  return records ? records->count() : 0;
}

std::size_t ContentCatalog::appCount() const {
  const JSONArray* apps = arrayAt(apps_->asDictionary()->objectForKey("data"), "resourceList");
  return apps ? apps->count() : 0;
}

}  // namespace lorvane::demo
