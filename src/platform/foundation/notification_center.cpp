#include "platform/foundation/notification_center.h"

#include <algorithm>
#include <memory>

namespace lorvane {

NotificationCenter& NotificationCenter::defaultCenter() {
  static NotificationCenter* center = new NotificationCenter();  // lives for the process
  return *center;
}

NotificationCenter::Token NotificationCenter::addObserver(const void* observer, std::string name,
                                                          const void* object, Handler handler) {
  std::lock_guard lock(mutex_);
  Token token = nextToken_++;
  entries_.push_back(
      {token, observer, std::move(name), object, std::make_shared<Handler>(std::move(handler))});
  return token;
}

void NotificationCenter::removeObserver(const void* observer) {
  std::lock_guard lock(mutex_);
  std::erase_if(entries_, [&](const Entry& e) { return e.observer == observer; });
}

void NotificationCenter::removeObserver(const void* observer, const std::string& name,
                                        const void* object) {
  std::lock_guard lock(mutex_);
  std::erase_if(entries_, [&](const Entry& e) {
    return e.observer == observer && (name.empty() || e.name == name) &&
           (object == nullptr || e.object == object);
  });
}

void NotificationCenter::removeObserver(Token token) {
  std::lock_guard lock(mutex_);
  std::erase_if(entries_, [&](const Entry& e) { return e.token == token; });
}

void NotificationCenter::post(const Notification& notification) {
  std::vector<std::pair<Token, std::shared_ptr<Handler>>> targets;
  {
    std::lock_guard lock(mutex_);
    for (const auto& e : entries_) {
      bool nameMatches = e.name.empty() || e.name == notification.name;
      bool objectMatches = e.object == nullptr || e.object == notification.object;
      if (nameMatches && objectMatches) targets.emplace_back(e.token, e.handler);
    }
  }
  for (auto& target : targets) {
    const Token token = target.first;
    // An observer removed by an earlier handler of this post is skipped.
    bool stillThere;
    {
      std::lock_guard lock(mutex_);
      stillThere = std::any_of(entries_.begin(), entries_.end(),
                               [&](const Entry& e) { return e.token == token; });
    }
    if (stillThere) (*target.second)(notification);
  }
}

void NotificationCenter::postNotificationName(std::string name, const void* object,
                                              std::map<std::string, std::any> userInfo) {
  post(Notification{std::move(name), object, std::move(userInfo)});
}

std::size_t NotificationCenter::observerCount() const {
  std::lock_guard lock(mutex_);
  return entries_.size();
}

}  // namespace lorvane
