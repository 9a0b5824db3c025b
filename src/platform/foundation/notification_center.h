#pragma once

#include <any>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace lorvane {

struct Notification {
  std::string name;
  const void* object = nullptr;
  std::map<std::string, std::any> userInfo;
};

// Delivers notifications synchronously, on the posting thread, to every
// observer whose name and object match (an empty name or a null object
// matches all).
class NotificationCenter {
 public:
  using Handler = std::function<void(const Notification&)>;
  using Token = std::uint64_t;

  static NotificationCenter& defaultCenter();

  Token addObserver(const void* observer, std::string name, const void* object, Handler handler);
  void removeObserver(const void* observer);
  void removeObserver(const void* observer, const std::string& name, const void* object);
  void removeObserver(Token token);

  void post(const Notification& notification);
  void postNotificationName(std::string name, const void* object = nullptr,
                            std::map<std::string, std::any> userInfo = {});

  std::size_t observerCount() const;

 private:
  struct Entry {
    Token token;
    const void* observer;
    std::string name;
    const void* object;
    std::shared_ptr<Handler> handler;
  };
  mutable std::recursive_mutex mutex_;
  std::vector<Entry> entries_;
  Token nextToken_ = 1;
};

}  // namespace lorvane
