#include "settings/orvel_view_controller.h"

#include "common/screen_metrics.h"
#include "settings/page_chrome.h"

namespace lorvane {

std::string OrvelViewController::pictureName() {
  return isTallScreen() ? "orvel是谁_加长版" : "Lorvane-orvel是谁";
}

void OrvelViewController::viewDidLoad() {
  view()->setBackgroundColor(Color::clear());
  const Rect viewFrame = view()->frame();
  background_ = makePageBackground({0, contentTop(), viewFrame.width(), viewFrame.height()});
  view()->addSubview(background_);

  const Rect screen = mainScreenBounds();
  const double statusBar = statusBarHeight();
  testView_ = View::make<ImageView>(Image::imageNamed(pictureName()));
  testView_->setFrame({10, 10 + contentTop(), screen.width() - 20,
                       screen.height() - kTabBarHeight - 19 - statusBar});
  testView_->setContentMode(ContentMode::ScaleToFill);
  view()->addSubview(testView_);
}

}  // namespace lorvane
