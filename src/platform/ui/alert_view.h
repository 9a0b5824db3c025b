#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/weak_ptr.h"
#include "platform/ui/button.h"
#include "platform/ui/label.h"

namespace lorvane {

class AlertView;

// Optional; false means "not implemented".
class AlertViewDelegate : public virtual Weakable {
 public:
  virtual ~AlertViewDelegate() = default;
  virtual bool clickedButtonAtIndex(AlertView&, int buttonIndex) {
    (void)buttonIndex;
    return false;
  }
  virtual bool didDismissWithButtonIndex(AlertView&, int buttonIndex) {
    (void)buttonIndex;
    return false;
  }
};

// A message box over everything, with a title, a message and buttons
// (the app uses one "确定"). A shown alert stays alive until dismissed.
class AlertView : public View {
 public:
  AlertView(std::string title, std::string message, AlertViewDelegate* delegate,
            std::string cancelButtonTitle, std::vector<std::string> otherButtonTitles = {});

  const std::string& title() const { return title_; }
  const std::string& message() const { return message_; }
  AlertViewDelegate* delegate() const { return delegate_.get(); }
  void setDelegate(AlertViewDelegate* d) { delegate_ = d; }
  int numberOfButtons() const { return int(buttonTitles_.size()); }
  std::string buttonTitleAtIndex(int index) const;
  int cancelButtonIndex() const { return cancelButtonTitle_.empty() ? -1 : 0; }
  bool isVisible() const { return visible_; }

  void show();
  void dismissWithClickedButtonIndex(int index, bool animated);
  // What the box's buttons do when touched.
  void clickButtonAtIndex(int index);

  // Alerts on screen now, oldest first.
  static std::vector<std::shared_ptr<AlertView>> visibleAlerts();
  void layoutSubviews() override;
  Button* buttonAtIndex(int index) const;

 private:
  void build();
  std::string title_;
  std::string message_;
  WeakPtr<AlertViewDelegate> delegate_;
  std::string cancelButtonTitle_;
  std::vector<std::string> buttonTitles_;
  bool visible_ = false;
  std::shared_ptr<View> box_;
  std::shared_ptr<Label> titleLabel_;
  std::shared_ptr<Label> messageLabel_;
  std::vector<std::shared_ptr<Button>> buttons_;
};

}  // namespace lorvane
