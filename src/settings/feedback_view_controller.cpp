#include "settings/feedback_view_controller.h"

#include "common/screen_metrics.h"
#include "platform/ui/label.h"
#include "settings/back_action.h"
#include "settings/page_chrome.h"

namespace lorvane {

FeedbackViewController::FeedbackViewController() {
  setTitle(kPageTitle);
}

void FeedbackViewController::loadView() {
  auto root = View::make<ImageView>(Image::imageNamed("主底大"));
  root->setFrame(Screen::mainScreen().applicationFrame());
  root->setUserInteractionEnabled(true);
  setView(root);
}

void FeedbackViewController::viewDidLoad() {
  auto titleBar = View::make<ImageView>(Image::imageNamed("导航栏"));
  titleBar->setFrame({0, 0, mainScreenBounds().width(), kTitleBarHeight});
  backButton_ = makeBackButton(this, [this] { backAction(); });
  view()->addSubview(titleBar);
  view()->addSubview(backButton_);
  view()->addSubview(makeTitleLabel("意见反馈"));
}

void FeedbackViewController::backAction() {
  popPageAndShowTabBar(*this);
}

}  // namespace lorvane
