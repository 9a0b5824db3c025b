#pragma once

#include <mutex>
#include <optional>
#include <string>

#include "json/json.h"

namespace lorvane::demo {

// The sample lessons and recommended apps, read once from their JSON
// sources and answered with absolute URLs on whatever base the server has.
class ContentCatalog {
 public:
  // Reads lessons.json and apps.json from `sourceDirectory`.
  bool load(const std::string& sourceDirectory, std::string* error);

  // The topic and show feed answers: an array whose element 0 is the feed
  // page with the records under "data".
  std::string topicFeed(const std::string& baseURL);
  std::string showFeed(const std::string& baseURL);
  // The recommendation list: {"data": {"resourceList": [...]}}.
  std::string recommendations(const std::string& baseURL);

  std::size_t topicCount() const;
  std::size_t showCount() const;
  std::size_t appCount() const;

 private:
  // Forgets the cached answers when the server's address changes.
  void rebase(const std::string& baseURL);
  std::string feed(const JSONArray* records, const std::string& baseURL, std::string* cache);

  std::mutex mutex_;
  JSONValueRef lessons_;
  JSONValueRef apps_;
  std::string cachedBase_;
  std::string topicText_;
  std::string showText_;
  std::string appsText_;
};

// "thumbs/a.jpg" on "http://h:1" is "http://h:1/thumbs/a.jpg"; absolute
// URLs stay as they are.
std::string absoluteURL(const std::string& baseURL, std::string_view value);

}  // namespace lorvane::demo
