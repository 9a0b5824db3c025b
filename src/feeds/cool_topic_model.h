#pragma once

#include "feeds/feed_page.h"

namespace lorvane {

// Holds the topic feed page: element 0 of the latest decodable answer.
class CoolTopicModel {
 public:
  CoolTopicModel() = default;
  explicit CoolTopicModel(const FeedRecord& dictionary) { setCourseDic(dictionary); }

  const FeedRecord& courseDic() const { return courseDic_; }
  // Kept as a copy; a decoded (immutable) page copies as itself.
  void setCourseDic(const FeedRecord& dictionary) {
    courseDic_ = dictionary ? dictionary->copy() : FeedRecord();
  }

 private:
  FeedRecord courseDic_;
};

}  // namespace lorvane
