#pragma once

#include <mutex>
#include <optional>
#include <string>

#include "json/json.h"

namespace lorvane::demo {

// The feed answers and the app list of a content tree, read once, with
// their links completed on whatever base the server has: the text a server
// of that tree sends.
class ContentCatalog {
 public:
  // Reads feeds/topic.json, feeds/show.json and api/app/resourcelist_ng.json
  // of the tree in `directory`; false with a message naming the file at
  // fault.
  bool load(const std::string& directory, std::string* error);

  // The topic and show feed answers: an array whose element 0 is the feed
  // page with the records under "data".
  std::string topicFeed(const std::string& baseURL) const;
  std::string showFeed(const std::string& baseURL) const;
  // The recommendation list: {"data": {"resourceList": [...]}}.
  std::string recommendations(const std::string& baseURL) const;

  std::size_t topicCount() const;
  std::size_t showCount() const;
  std::size_t appCount() const;

 private:
  mutable std::mutex mutex_;
  std::string topicText_;
  std::string showText_;
  std::string appsText_;
  std::size_t topicCount_ = 0;
  std::size_t showCount_ = 0;
  std::size_t appCount_ = 0;
};

}  // namespace lorvane::demo
