#include "feeds/detail_presenter.h"

#include "common/custom_tar_bar.h"
#include "platform/ui/navigation_controller.h"
#include "player/detail_view_controller.h"

namespace lorvane {

std::shared_ptr<ViewController> makeDetailViewController(const FeedRecord& record) {
  auto detail = std::make_shared<DetailViewController>();
  detail->setVideoInfoDictionary(record);
  return detail;
}

void pushDetailScreen(ViewController& from, const FeedRecord& record,
                      const DetailScreenMaker& maker) {
  NavigationController* navigation = from.navigationController();
  if (!navigation) return;
  auto detail = maker ? maker(record) : makeDetailViewController(record);
  if (!detail) return;
  navigation->pushViewController(detail, true);
  CustomTarBar::sharedInstance()->hideTabBar(true, true);
}

}  // namespace lorvane
