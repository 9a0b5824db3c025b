#include "settings/app_recommend_view_controller.h"

#include "common/app_configuration.h"
#include "common/custom_tar_bar.h"
#include "common/screen_metrics.h"
#include "platform/foundation/log.h"
#include "platform/foundation/run_loop.h"
#include "platform/ui/navigation_controller.h"
#include "settings/page_chrome.h"

namespace lorvane {
namespace {

std::optional<std::string> stringForKey(const JSONDictionary& dictionary, std::string_view key) {
  JSONValue* value = dictionary.objectForKey(key);
  if (!value || !value->isString()) return std::nullopt;
  return std::string(value->stringValue());
}

}  // namespace

AppRecommendViewController::AppRecommendViewController()
    : HTTPRequestDelegate({HTTPSelector::requestFinished, HTTPSelector::requestFailed}) {}

AppRecommendViewController::~AppRecommendViewController() = default;

void AppRecommendViewController::viewDidLoad() {
  const Rect viewFrame = view()->frame();
  bgImageView_ = makePageBackground({0, contentTop(), viewFrame.width(), viewFrame.height()});
  view()->addSubview(bgImageView_);

  urlRequest();

  const Rect screen = mainScreenBounds();
  auto titleBar = View::make<ImageView>(Image::imageNamed(kTitleBarPicture));
  titleBar->setFrame({0, 0, screen.width(), kTitleBarHeight});
  backButton_ = makeBackButton(this, [this] { backAction(); });
  auto title = makeTitleLabel("应用推荐");

  appTableView_ = View::make<TableView>(Rect{0, kTitleBarHeight, screen.width(),
                                             screen.height() - statusBarHeight() - kTitleBarHeight},
                                        TableViewStyle::Grouped);
  appTableView_->setBackgroundColor(Color::clear());
  appTableView_->setBackgroundView(nullptr);
  appTableView_->setBounces(false);
  appTableView_->setSeparatorStyle(TableViewCellSeparatorStyle::None);
  appTableView_->setTableDelegate(this);
  appTableView_->setDataSource(this);

  bgImageView_->addSubview(titleBar);
  bgImageView_->addSubview(backButton_);
  bgImageView_->addSubview(title);
  bgImageView_->addSubview(appTableView_);
}

void AppRecommendViewController::urlRequest() {
  requests_.start(joinURL(AppConfiguration::current().recommendBaseURL, kListPath), this);
}

void AppRecommendViewController::requestFinished(HTTPRequest& request) {
  requests_.finished(request);
  auto text = request.responseString();
  JSONValueRef decoded = text ? objectFromJSONString(*text) : JSONValueRef();
  // Not JSON: ask again, a little later each time.
  if (decoded) {
    retry_.reset();
  } else {
    retry_.schedule([this] { urlRequest(); });
  }
  const JSONDictionary* top = decoded ? decoded->asDictionary() : nullptr;
  JSONValue* data = top ? top->objectForKey("data") : nullptr;
  parseData(data ? data->asDictionary() : nullptr);
}

void AppRecommendViewController::requestFailed(HTTPRequest& request) {
  requests_.finished(request);
  ErrorPtr error = request.error();
  Log("error:" + describe(error));
}

void AppRecommendViewController::parseData(const JSONDictionary* data) {
  appTitle_.clear();
  appSubTitle_.clear();
  imageURL_.clear();
  itunesID_.clear();
  appTitle_.reserve(10);
  JSONValue* list = data ? data->objectForKey("resourceList") : nullptr;
  if (const JSONArray* apps = list ? list->asArray() : nullptr) {
    for (JSONValue* element : *apps) {
      const JSONDictionary* app = element ? element->asDictionary() : nullptr;
      if (!app) continue;
      auto title = stringForKey(*app, "title");
      auto subtitle = stringForKey(*app, "subtitle");
      auto thumbnail = stringForKey(*app, "thumbnail");
      auto action = stringForKey(*app, "action");
      // The lists stay parallel: an app missing any of the four is skipped.
      if (!title || !subtitle || !thumbnail || !action) continue;
      appTitle_.push_back(*title);
      appSubTitle_.push_back(*subtitle);
      imageURL_.push_back(*thumbnail);
      itunesID_.push_back(*action);
    }
  }
  if (appTableView_) appTableView_->reloadData();
}

int AppRecommendViewController::numberOfRowsInSection(TableView&, int) {
  return static_cast<int>(itunesID_.size());
}

TableViewCellPtr AppRecommendViewController::cellForRowAtIndexPath(TableView& tableView,
                                                                   const IndexPath& indexPath) {
  auto cell = std::dynamic_pointer_cast<AppRecommendCell>(
      tableView.dequeueReusableCellWithIdentifier(kReuseIdentifier));
  if (!cell)
    cell = std::make_shared<AppRecommendCell>(TableViewCellStyle::Default, kReuseIdentifier);
  const auto row = static_cast<std::size_t>(indexPath.row);
  if (indexPath.row < 0 || row >= itunesID_.size()) return cell;
  asyncDownloadAndSaveVideoImageForVideoCell(cell, indexPath);
  cell->setAppTitle(appTitle_[row]);
  cell->setAppSubTitle(appSubTitle_[row]);
  return cell;
}

void AppRecommendViewController::asyncDownloadAndSaveVideoImageForVideoCell(
    const std::shared_ptr<AppRecommendCell>& cell, const IndexPath& indexPath) {
  const auto row = static_cast<std::size_t>(indexPath.row);
  if (indexPath.row < 0 || row >= imageURL_.size()) return;
  const std::string url = imageURL_[row];
  cell->setRepresentedIconURL(url);
  std::weak_ptr<AppRecommendCell> weakCell = cell;
  // No cache: the icon is fetched each time its row is filled.
  iconLoader_.sendAsynchronousRequest(url, [weakCell, url](const URLLoadResult& result) {
    if (result.error) {
      Log("error:" + result.error->description());
      return;
    }
    if (result.data.empty()) {
      Log("nothing download!");
      return;
    }
    ImagePtr icon = Image::imageWithData(result.data);
    RunLoop::main().post([weakCell, url, icon] {
      auto shown = weakCell.lock();
      if (shown && shown->representedIconURL() == url) shown->setAppImage(icon);
    });
  });
}

bool AppRecommendViewController::didSelectRowAtIndexPath(TableView&, const IndexPath& indexPath) {
  const auto row = static_cast<std::size_t>(indexPath.row);
  if (indexPath.row < 0 || row >= itunesID_.size()) return true;
  Application::sharedApplication().openURL(itunesID_[row]);
  return true;
}

void AppRecommendViewController::backAction() {
  if (NavigationController* navigation = navigationController()) {
    navigation->popViewControllerAnimated(true);
  }
  CustomTarBar::sharedInstance()->hideTabBar(false, true);
}

}  // namespace lorvane
