#pragma once

#include <memory>

#include "feeds/feed_palette.h"
#include "platform/ui/control.h"
#include "platform/ui/label.h"

namespace lorvane {

// What a feed screen shows once its feed could not be fetched: a short line
// on a dark panel in the middle of the content. The whole area is the touch
// target; a tap (touch up inside) is the screen's cue to fetch again.
class FeedErrorView : public Control {
 public:
  static constexpr const char* kMessage = "网络不给力，轻触重试";
  static constexpr double kPanelWidth = 220;
  static constexpr double kPanelHeight = 64;

  explicit FeedErrorView(const Rect& frame = {});

  View& panel() const { return *panel_; }
  Label& messageLabel() const { return *message_; }

  void layoutSubviews() override;

 protected:
  void stateDidChange() override;

 private:
  std::shared_ptr<View> panel_;
  std::shared_ptr<View> accent_;
  std::shared_ptr<Label> message_;
};

}  // namespace lorvane
