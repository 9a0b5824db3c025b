#include "settings/back_action.h"

#include "common/custom_tar_bar.h"
#include "platform/ui/navigation_controller.h"

namespace lorvane {

void popPageAndShowTabBar(ViewController& page) {
  if (NavigationController* navigation = page.navigationController()) {
    navigation->popViewControllerAnimated(true);
  }
  CustomTarBar::sharedInstance()->hideTabBar(false, true);
}

}  // namespace lorvane
