#include "feeds/show_view_controller.h"

#include <algorithm>
#include <filesystem>

#include "common/app_configuration.h"
#include "common/screen_metrics.h"
#include "platform/foundation/file_manager.h"
#include "platform/foundation/log.h"

namespace lorvane {

ShowViewController::ShowViewController()
    : HTTPRequestDelegate({HTTPSelector::requestFinished, HTTPSelector::requestFailed}),
      indicator_(View::make<ActivityIndicatorView>(ActivityIndicatorViewStyle::WhiteLarge)) {
  videoImage_.reserve(20);
  videoDescrip_.reserve(20);
}

ShowViewController::~ShowViewController() = default;

void ShowViewController::viewDidLoad() {
  const Rect viewFrame = view()->frame();
  const double top = contentTop();
  background_ = View::make<ImageView>(Image::imageNamed("mmmmm"));
  background_->setUserInteractionEnabled(true);
  background_->setFrame({0, top, viewFrame.width(), viewFrame.height()});
  view()->addSubview(background_);

  const Rect screen = mainScreenBounds();
  tableView_ = View::make<TableView>(
      Rect{0, top, screen.width(), screen.height() - statusBarHeight() - kTabBarHeight},
      TableViewStyle::Plain);
  tableView_->setTableDelegate(this);
  tableView_->setDataSource(this);
  tableView_->setBackgroundColor(Color::black().withAlpha(0));
  tableView_->setSeparatorStyle(TableViewCellSeparatorStyle::None);
  view()->addSubview(tableView_);

  errorView_ = View::make<FeedErrorView>(tableView_->frame());
  errorView_->setHidden(true);
  errorView_->addTarget(
      this, [this](Control&) { retryFromErrorView(); }, ControlEventTouchUpInside);
  view()->addSubview(errorView_);

  urlRequest();
}

void ShowViewController::viewWillAppear(bool animated) {
  ViewController::viewWillAppear(animated);
  // Back from a lesson: what was watched may have changed.
  if (tableView_) {
    for (const auto& cell : tableView_->visibleCells()) {
      if (auto row = std::dynamic_pointer_cast<ShowVideoCell>(cell)) row->refreshProgress();
    }
  }
  if (showVideoMedia_) return;
  if (errorView_) errorView_->setHidden(true);
  urlRequest();
  if (!indicator_) return;  // dropped for good once the first answer was handled
  indicator_->startAnimating();
  const Rect frame = view()->frame();
  indicator_->setCenter({frame.width() / 2, frame.height() / 2});
  view()->addSubview(indicator_);
}

void ShowViewController::urlRequest() {
  requests_.start(joinURL(AppConfiguration::current().contentBaseURL, kShowFeedPath), this);
}

void ShowViewController::retryFromErrorView() {
  if (showVideoMedia_) return;
  if (errorView_) errorView_->setHidden(true);
  urlRequest();
  // The user asked: show that something is happening, until this fetch ends.
  if (!indicator_)
    indicator_ = View::make<ActivityIndicatorView>(ActivityIndicatorViewStyle::WhiteLarge);
  indicator_->startAnimating();
  const Rect frame = view()->frame();
  indicator_->setCenter({frame.width() / 2, frame.height() / 2});
  view()->addSubview(indicator_);
}

void ShowViewController::showErrorIfNothingIsComing() {
  if (showVideoMedia_ || requests_.runningCount() != 0 || retry_.isPending()) return;
  dropIndicator();
  if (errorView_) {
    errorView_->setHidden(false);
    view()->bringSubviewToFront(errorView_.get());
  }
}

void ShowViewController::dropIndicator() {
  if (!indicator_) return;
  indicator_->stopAnimating();
  indicator_->removeFromSuperview();
  indicator_.reset();
}

void ShowViewController::requestFinished(HTTPRequest& request) {
  requests_.finished(request);
  showVideoMedia_ = decodeFeedPage(request.responseString());
  if (showVideoMedia_) {
    retry_.reset();
    if (errorView_) errorView_->setHidden(true);
    dropIndicator();
    isDataDownloaded_ = true;
  } else {
    // Not a feed (an error page, say): ask again, a little later each time.
    retry_.schedule([this] { urlRequest(); });
  }
  parseData();
}

void ShowViewController::requestFailed(HTTPRequest& request) {
  requests_.finished(request);
  ErrorPtr error = request.error();
  Log("error:" + describe(error));
  if (error && !isDataDownloaded_) {
    urlRequest();
    dropIndicator();
    isDataDownloaded_ = true;
  }
  // With the retries spent and nothing stored, say so and offer another go.
  showErrorIfNothingIsComing();
}

void ShowViewController::parseData() {
  videoInfo_ = feedRecords(showVideoMedia_.get());
  videoImage_.clear();
  videoDescrip_.clear();
  videoURL_.clear();
  for (const auto& record : videoInfo_) {
    videoImage_.push_back(recordString(*record, "imageUrl").value_or(""));
    videoDescrip_.push_back(recordString(*record, "title").value_or(""));
    videoURL_.push_back(recordString(*record, "videoUrl").value_or(""));
  }
  if (tableView_) tableView_->reloadData();
}

std::size_t ShowViewController::cachedPictureCount() const {
  namespace fs = std::filesystem;
  std::error_code ec;
  std::size_t count = 0;
  fs::recursive_directory_iterator it(cache_.folderPath(), ec), end;
  for (; !ec && it != end; it.increment(ec)) {
    if (pathExtension(it->path().string()) == "jpg") ++count;
  }
  return count;
}

int ShowViewController::numberOfRowsInSection(TableView&, int) {
  // Stored pictures give rows before the feed arrives; but they never hide
  // records, which happens when the cache holds fewer pictures than the feed
  // has lessons (the first launch, as soon as some rows have downloaded).
  const std::size_t cached = cachedPictureCount();
  return static_cast<int>(std::max(cached, videoInfo_.size()));
}

TableViewCellPtr ShowViewController::cellForRowAtIndexPath(TableView& tableView,
                                                           const IndexPath& indexPath) {
  auto cell = std::dynamic_pointer_cast<ShowVideoCell>(
      tableView.dequeueReusableCellWithIdentifier(kReuseIdentifier));
  if (!cell) cell = std::make_shared<ShowVideoCell>(TableViewCellStyle::Default, kReuseIdentifier);

  const auto row = static_cast<std::size_t>(indexPath.row);
  if (indexPath.row < 0 || row >= videoDescrip_.size()) {
    // A row backed only by a cached picture has no record: it stays blank
    // rather than showing what a reused cell showed before.
    cell->setVideoDsecrip("");
    cell->setVideoImage(nullptr);
    cell->setRepresentedImageURL("");
    cell->setLessonURL("");
    cell->refreshProgress();
    return cell;
  }
  cell->setVideoDsecrip(videoDescrip_[row]);
  cell->setLessonURL(row < videoURL_.size() ? videoURL_[row] : std::string());
  cell->refreshProgress();
  loadThumbnail(cell, row);
  return cell;
}

void ShowViewController::loadThumbnail(const std::shared_ptr<ShowVideoCell>& cell,
                                       std::size_t row) {
  const std::string url = videoImage_[row];
  cell->setRepresentedImageURL(url);
  std::weak_ptr<ShowVideoCell> weakCell = cell;
  cache_.lookUp(url, [weakCell, url](ImagePtr image) {
    auto shown = weakCell.lock();
    if (shown && shown->representedImageURL() == url) shown->setVideoImage(std::move(image));
  });
}

bool ShowViewController::didSelectRowAtIndexPath(TableView&, const IndexPath& indexPath) {
  const auto row = static_cast<std::size_t>(indexPath.row);
  // Rows beyond the last record have nothing to open.
  if (indexPath.row < 0 || row >= videoInfo_.size()) return true;
  pushDetailScreen(*this, videoInfo_[row], detailMaker_);
  return true;
}

}  // namespace lorvane
