#include "platform/foundation/notification_center.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace lorvane {
namespace {

TEST(NotificationCenterTest, DeliversByNameAndObject) {
  NotificationCenter center;
  int sender = 0;
  int otherSender = 0;
  int observer = 0;
  std::vector<std::string> seen;
  center.addObserver(&observer, "Ended", &sender,
                     [&](const Notification& n) { seen.push_back("ended:" + n.name); });
  center.addObserver(&observer, "", nullptr,
                     [&](const Notification& n) { seen.push_back("any:" + n.name); });
  center.postNotificationName("Ended", &sender);
  center.postNotificationName("Ended", &otherSender);
  center.postNotificationName("Other", nullptr, {{"key", std::string("value")}});
  EXPECT_EQ(seen, (std::vector<std::string>{"ended:Ended", "any:Ended", "any:Ended", "any:Other"}));
}

TEST(NotificationCenterTest, RemovedObserversHearNothingEvenMidPost) {
  NotificationCenter center;
  int first = 0;
  int second = 0;
  int calls = 0;
  center.addObserver(&first, "N", nullptr, [&](const Notification&) {
    ++calls;
    center.removeObserver(&second);
  });
  center.addObserver(&second, "N", nullptr, [&](const Notification&) { calls += 100; });
  center.postNotificationName("N");
  EXPECT_EQ(calls, 1);
  center.removeObserver(&first, "N", nullptr);
  center.postNotificationName("N");
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(center.observerCount(), 0u);
}

TEST(NotificationCenterTest, UserInfoTravelsWithTheNotification) {
  NotificationCenter center;
  std::string value;
  auto token = center.addObserver(nullptr, "N", nullptr, [&](const Notification& n) {
    value = std::any_cast<std::string>(n.userInfo.at("key"));
  });
  center.postNotificationName("N", nullptr, {{"key", std::string("v")}});
  EXPECT_EQ(value, "v");
  center.removeObserver(token);
  EXPECT_EQ(center.observerCount(), 0u);
}

}  // namespace
}  // namespace lorvane
