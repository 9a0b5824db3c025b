#include "demo/server/content_catalog.h"

#include <fstream>
#include <sstream>

#include "demo/server/content_tree.h"

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

// The records of a feed answer: element 0's "data".
const JSONArray* feedRecords(const JSONValue* answer) {
  const JSONArray* top = answer ? answer->asArray() : nullptr;
  return top && top->count() > 0 ? arrayAt(top->objectAtIndex(0), "data") : nullptr;
}

}  // namespace

bool ContentCatalog::load(const std::string& directory, std::string* error) {
  auto read = [&](const char* name, std::string* text, JSONValueRef* value) {
    auto body = readText(directory + "/" + name);
    if (!body) {
      if (error)
        *error = "cannot read " + directory + "/" + name + " (run scripts/make-demo-content)";
      return false;
    }
    JSONError decodeError;
    *value = objectFromJSONStringWithParseOptions(*body, JSONParseStrict, &decodeError);
    if (!*value) {
      if (error) *error = std::string(name) + ": " + decodeError.description;
      return false;
    }
    *text = std::move(*body);
    return true;
  };
  std::string topic, show, apps;
  JSONValueRef topicValue, showValue, appsValue;
  if (!read("feeds/topic.json", &topic, &topicValue) ||
      !read("feeds/show.json", &show, &showValue) ||
      !read("api/app/resourcelist_ng.json", &apps, &appsValue)) {
    return false;
  }
  const JSONArray* topicRecords = feedRecords(topicValue.get());
  const JSONArray* showRecords = feedRecords(showValue.get());
  if (!topicRecords || !showRecords) {
    if (error)
      *error = std::string(topicRecords ? "feeds/show.json" : "feeds/topic.json") +
               ": needs the form [{\"data\": [...]}]";
    return false;
  }
  const JSONArray* appList = nullptr;
  if (const JSONDictionary* top = appsValue->asDictionary()) {
    appList = arrayAt(top->objectForKey("data"), "resourceList");
  }
  if (!appList) {
    if (error) *error = "api/app/resourcelist_ng.json: needs data.resourceList";
    return false;
  }
  std::lock_guard lock(mutex_);
  topicText_ = std::move(topic);
  showText_ = std::move(show);
  appsText_ = std::move(apps);
  topicCount_ = topicRecords->count();
  showCount_ = showRecords->count();
  appCount_ = appList->count();
  return true;
}

std::string ContentCatalog::topicFeed(const std::string& baseURL) const {
  std::lock_guard lock(mutex_);
  return withBase(topicText_, baseURL);
}

std::string ContentCatalog::showFeed(const std::string& baseURL) const {
  std::lock_guard lock(mutex_);
  return withBase(showText_, baseURL);
}

std::string ContentCatalog::recommendations(const std::string& baseURL) const {
  std::lock_guard lock(mutex_);
  return withBase(appsText_, baseURL);
}

std::size_t ContentCatalog::topicCount() const {
  std::lock_guard lock(mutex_);
  return topicCount_;
}

std::size_t ContentCatalog::showCount() const {
  std::lock_guard lock(mutex_);
  return showCount_;
}

std::size_t ContentCatalog::appCount() const {
  std::lock_guard lock(mutex_);
  return appCount_;
}

}  // namespace lorvane::demo
