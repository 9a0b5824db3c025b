#include "settings/setting_view_controller.h"

#include "settings/offline_lessons_view_controller.h"

#include "common/app_configuration.h"
#include "common/custom_tar_bar.h"
#include "common/screen_metrics.h"
#include "platform/ui/font.h"
#include "platform/ui/navigation_controller.h"
#include "settings/about_us_view_controller.h"
#include "settings/app_recommend_view_controller.h"
#include "settings/page_chrome.h"
#include "settings/setting_cell.h"

namespace lorvane {

SettingViewController::SettingViewController() = default;

SettingViewController::~SettingViewController() = default;

void SettingViewController::viewDidLoad() {
  const Rect viewFrame = view()->frame();
  const double top = contentTop();
  background_ = makePageBackground({0, top, viewFrame.width(), viewFrame.height()});
  view()->addSubview(background_);

  const Rect screen = mainScreenBounds();
  tableView_ = View::make<TableView>(
      Rect{0, top, screen.width(), screen.height() - statusBarHeight() - kTabBarHeight},
      TableViewStyle::Grouped);
  tableView_->setBackgroundView(nullptr);
  tableView_->setBackgroundColor(Color::clear());
  tableView_->setUserInteractionEnabled(true);
  tableView_->setBounces(false);
  tableView_->setSeparatorStyle(TableViewCellSeparatorStyle::None);
  tableView_->setTableDelegate(this);
  tableView_->setDataSource(this);
  view()->addSubview(tableView_);

  dataArray_ = {"firstSection", "secondSection", "offlineSection"};
  sectionDic_["firstSection"] = {
      SettingModel::initWithTitle("意见反馈", SettingModel::kFeedbackMail),
      SettingModel::initWithTitle("应用推荐", SettingModel::kAppRecommendation)};
  sectionDic_["secondSection"] = {
      SettingModel::initWithTitle("喜欢Lorvane？打分鼓励下吧^_^", SettingModel::kRateInStore),
      SettingModel::initWithTitle("关于我们", SettingModel::kAboutPage)};
  sectionDic_["offlineSection"] = {
      SettingModel::initWithTitle("离线课程", SettingModel::kOfflineLessons)};
}

void SettingViewController::viewWillAppear(bool animated) {
  ViewController::viewWillAppear(animated);
  // Made once and placed again on each appearance: the same look as adding
  // fresh ones every time, without piling them up.
  const bool tall = isTallScreen();
  if (!versionImage_) {
    versionImage_ = View::make<ImageView>(Image::imageNamed("版权高清"));
    versionLabel_ = View::make<Label>();
    versionLabel_->setText(kVersionText);
    versionLabel_->setFont(Font::boldSystemFontOfSize(12));
    versionLabel_->setAdjustsFontSizeToFitWidth(true);
    versionLabel_->setBackgroundColor(Color::clear());
    versionLabel_->setTextColor(Color::darkGray());
    versionLabel_->setTextAlignment(TextAlignment::Center);
  }
  const Size imageSize = versionImage_->image() ? versionImage_->image()->size() : Size{};
  versionImage_->setFrame({(mainScreenBounds().width() - imageSize.width) / 2, tall ? 380.0 : 300.0,
                           imageSize.width, imageSize.height});
  view()->addSubview(versionImage_);
  versionLabel_->setFrame({60, tall ? 340.0 : 270.0, 200, 30});
  view()->addSubview(versionLabel_);
}

int SettingViewController::numberOfRowsInSection(TableView&, int section) {
  if (section < 0 || section >= static_cast<int>(dataArray_.size())) return 0;
  auto rows = sectionDic_.find(dataArray_[static_cast<std::size_t>(section)]);
  return rows == sectionDic_.end() ? 0 : static_cast<int>(rows->second.size());
}

std::shared_ptr<SettingModel> SettingViewController::modelAtIndexPath(
    const IndexPath& indexPath) const {
  if (indexPath.section < 0 || indexPath.section >= static_cast<int>(dataArray_.size()))
    return nullptr;
  auto rows = sectionDic_.find(dataArray_[static_cast<std::size_t>(indexPath.section)]);
  if (rows == sectionDic_.end() || indexPath.row < 0 ||
      indexPath.row >= static_cast<int>(rows->second.size())) {
    return nullptr;
  }
  return rows->second[static_cast<std::size_t>(indexPath.row)];
}

TableViewCellPtr SettingViewController::cellForRowAtIndexPath(TableView& tableView,
                                                              const IndexPath& indexPath) {
  auto cell = tableView.dequeueReusableCellWithIdentifier(kReuseIdentifier);
  if (!cell) cell = std::make_shared<SettingCell>(TableViewCellStyle::Default, kReuseIdentifier);
  Label& text = cell->textLabel();
  auto model = modelAtIndexPath(indexPath);
  text.setText(model ? model->title() : "");
  text.setBackgroundColor(Color::clear());
  text.setTextColor(Color::whiteColor());
  text.setHighlightedTextColor(touchedRowTextColor());
  text.setOpaque(true);
  text.setFont(Font::boldSystemFontOfSize(16));
  return cell;
}

bool SettingViewController::didSelectRowAtIndexPath(TableView& tableView,
                                                    const IndexPath& indexPath) {
  auto model = modelAtIndexPath(indexPath);
  if (!model) return true;
  NavigationController* navigation = navigationController();
  switch (model->tag()) {
    case SettingModel::kFeedbackMail:
      sendFeedbackMail();
      break;
    case SettingModel::kAppRecommendation:
      if (navigation) {
        navigation->pushViewController(std::make_shared<AppRecommendViewController>(), true);
        CustomTarBar::sharedInstance()->hideTabBar(true, true);
      }
      break;
    case SettingModel::kRateInStore:
      Application::sharedApplication().openURL(storeURL());
      CustomTarBar::sharedInstance()->hideTabBar(false, true);
      break;
    case SettingModel::kAboutPage:
      if (navigation) {
        navigation->pushViewController(std::make_shared<AboutUsViewController>(), true);
        CustomTarBar::sharedInstance()->hideTabBar(true, true);
      }
      break;
    case SettingModel::kOfflineLessons:
      if (navigation) {
        navigation->pushViewController(std::make_shared<OfflineLessonsViewController>(), true);
        CustomTarBar::sharedInstance()->hideTabBar(true, true);
      }
      break;
    default:
      break;
  }
  tableView.deselectRowAtIndexPath(indexPath, true);
  return true;
}

std::string SettingViewController::storeURL() {
  const AppConfiguration& configuration = AppConfiguration::current();
  return isSystemSevenOrLater() ? configuration.storeAppURL : configuration.storeReviewURL;
}

void SettingViewController::sendFeedbackMail() {
  if (!MailComposeViewController::isAvailable()) return;
  const std::string address = AppConfiguration::current().feedbackAddress;
  if (!MailComposeViewController::canSendMail()) {
    Application::sharedApplication().openURL("mailto:" + address);
    return;
  }
  auto composer = std::make_shared<MailComposeViewController>();
  composer->setMailComposeDelegate(this);
  composer->setToRecipients({address});
  presentViewController(composer, true);
}

std::pair<std::string, std::string> SettingViewController::alertTextForResult(int result) {
  switch (result) {
    case static_cast<int>(MailComposeResult::Cancelled):
      return {"已取消", "您取消了邮件发送"};
    case static_cast<int>(MailComposeResult::Saved):
      return {"已保存", "您保存了邮件"};
    case static_cast<int>(MailComposeResult::Sent):
      return {"已发送", "邮件已成功发送"};
    case static_cast<int>(MailComposeResult::Failed):
      return {"发送失败", "未发送成功,请再次发送"};
    default:
      return {"", ""};
  }
}

bool SettingViewController::mailComposeControllerDidFinish(MailComposeViewController&,
                                                           MailComposeResult result,
                                                           const ErrorPtr&) {
  auto [title, message] = alertTextForResult(static_cast<int>(result));
  auto alert = std::make_shared<AlertView>(title, message, this, "确定");
  alert->show();
  dismissViewControllerAnimated(true);
  return true;
}

}  // namespace lorvane
