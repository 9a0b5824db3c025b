#include "feeds/cool_topic_view_controller.h"

#include <cmath>

#include "common/app_configuration.h"
#include "common/screen_metrics.h"
#include "platform/foundation/log.h"
#include "platform/ui/snapshot.h"

namespace lorvane {

CoolTopicViewController::CoolTopicViewController()
    : HTTPRequestDelegate({HTTPSelector::requestFinished, HTTPSelector::requestFailed}),
      indicator_(View::make<ActivityIndicatorView>(ActivityIndicatorViewStyle::WhiteLarge)) {
  videoImageURL_.reserve(20);
  videoName_.reserve(20);
}

CoolTopicViewController::~CoolTopicViewController() = default;

double CoolTopicViewController::tileWidth() {
  return (mainScreenBounds().width() - 26) * 0.5;
}

void CoolTopicViewController::viewDidLoad() {
  urlRequest();

  const Rect viewFrame = view()->frame();
  const double top = contentTop();
  background_ = View::make<ImageView>(Image::imageNamed("mmmmm"));
  background_->setUserInteractionEnabled(true);
  background_->setFrame({0, top, viewFrame.width(), viewFrame.height()});
  view()->addSubview(background_);

  const Rect screen = mainScreenBounds();
  scrollView_ =
      View::make<ScrollView>(Rect{0, top, screen.width(), screen.height() - statusBarHeight()});
  scrollView_->setUserInteractionEnabled(true);
  scrollView_->setBackgroundColor(Color::clear());
  scrollView_->setClipsToBounds(true);
  scrollView_->setDecelerationRate(kDecelerationRate);
  view()->addSubview(scrollView_);

  errorView_ = View::make<FeedErrorView>(
      Rect{0, top, screen.width(), screen.height() - statusBarHeight() - kTabBarHeight});
  errorView_->setHidden(true);
  errorView_->addTarget(
      this, [this](Control&) { retryFromErrorView(); }, ControlEventTouchUpInside);
  view()->addSubview(errorView_);
}

void CoolTopicViewController::viewWillAppear(bool animated) {
  ViewController::viewWillAppear(animated);
  // Back from a lesson: what was watched may have changed.
  for (const auto& tile : tiles_) tile->refreshProgress();
  if (coolVideoModel_.courseDic()) return;
  fetchWithSpinner();
}

void CoolTopicViewController::fetchWithSpinner() {
  if (errorView_) errorView_->setHidden(true);
  urlRequest();
  indicator_->startAnimating();
  const Rect frame = view()->frame();
  indicator_->setCenter({frame.width() / 2, frame.height() / 2});
  view()->addSubview(indicator_);
}

void CoolTopicViewController::retryFromErrorView() {
  if (coolVideoModel_.courseDic()) return;
  fetchWithSpinner();
}

void CoolTopicViewController::showErrorIfNothingIsComing() {
  if (coolVideoModel_.courseDic() || requests_.runningCount() != 0 || retry_.isPending()) return;
  indicator_->stopAnimating();
  if (errorView_) {
    errorView_->setHidden(false);
    view()->bringSubviewToFront(errorView_.get());
  }
}

void CoolTopicViewController::urlRequest() {
  requests_.start(joinURL(AppConfiguration::current().contentBaseURL, kTopicFeedPath), this);
}

void CoolTopicViewController::requestFinished(HTTPRequest& request) {
  requests_.finished(request);
  FeedRecord page = decodeFeedPage(request.responseString());
  if (!page) {
    // Not a feed (an error page, say): ask again, a little later each time.
    retry_.schedule([this] { urlRequest(); });
    return;
  }
  retry_.reset();
  if (errorView_) errorView_->setHidden(true);
  coolVideoModel_.setCourseDic(page);
  indicator_->stopAnimating();
  isDataDownloaded_ = true;
  parseData();
}

void CoolTopicViewController::requestFailed(HTTPRequest& request) {
  requests_.finished(request);
  ErrorPtr error = request.error();
  Log("error:" + describe(error));
  // One retry per process, and none once a feed has arrived.
  if (error && !isDataDownloaded_) {
    urlRequest();
    indicator_->stopAnimating();
    isDataDownloaded_ = true;
  }
  // With the retries spent and nothing stored, say so and offer another go.
  showErrorIfNothingIsComing();
}

void CoolTopicViewController::parseData() {
  countArray_ = feedRecords(coolVideoModel_.courseDic().get());
  videoImageURL_.clear();
  videoName_.clear();
  for (const auto& record : countArray_) {
    videoImageURL_.push_back(recordString(*record, "imageUrl").value_or(""));
    videoName_.push_back(recordString(*record, "title").value_or(""));
  }
  positionMiniVidoCell(countArray_);
}

void CoolTopicViewController::positionMiniVidoCell(const std::vector<FeedRecord>& records) {
  if (!scrollView_) return;  // the view has not loaded; the grid is laid out when it does
  // The new tiles would cover the old ones exactly; dropping the old ones
  // keeps the tree from growing with every answer.
  for (const auto& tile : tiles_) tile->removeFromSuperview();
  tiles_.clear();

  const std::size_t count = std::min(records.size(), videoName_.size());
  for (std::size_t i = 0; i < count; ++i) {
    auto tile = View::make<MiniVideoCell>();
    tile->setClipsToBounds(true);
    tile->setTag(static_cast<int>(i));
    tiles_.push_back(tile);
  }

  const double width = tileWidth();
  const double screenWidth = mainScreenBounds().width();
  double x = kFirstTileOrigin;
  double y = kFirstTileOrigin;
  for (std::size_t i = 0; i < count; ++i) {
    const auto& tile = tiles_[i];
    tile->setUserInteractionEnabled(true);
    tile->tapButton().addTarget(
        this, [this](Control& sender) { pushToDetail(sender); }, ControlEventTouchUpInside);
    tile->videoDescripLabel().setText(videoName_[i]);
    tile->setLessonURL(recordString(*records[i], "videoUrl").value_or(""));
    tile->refreshProgress();
    loadThumbnail(tile, i);
    tile->setFrame({x, y, width, kTileHeight});
    x += width + kColumnGap;
    if (x + width > screenWidth) {
      x = kFirstTileOrigin;
      y += kRowStep;
    }
    tile->tapButton().setImage(createHighlightImageWithFrame(tile->frame()),
                               ControlStateHighlighted);
    scrollView_->addSubview(tile);
  }
  const double rows = std::ceil(static_cast<double>(count) / 2);
  scrollView_->setContentSize({kContentWidth, kRowStep * rows + kContentBottom});
}

void CoolTopicViewController::loadThumbnail(const std::shared_ptr<MiniVideoCell>& tile,
                                            std::size_t index) {
  std::weak_ptr<MiniVideoCell> weakTile = tile;
  cache_.lookUp(videoImageURL_[index], [weakTile](ImagePtr image) {
    if (auto shown = weakTile.lock()) shown->setVideoImage(std::move(image));
  });
}

ImagePtr CoolTopicViewController::createHighlightImageWithFrame(const Rect& rectangle) {
  if (rectangle.width() <= 0 || rectangle.height() <= 0) return nullptr;
  return imageFilledWithColor(Color::black().withAlpha(0.4), rectangle.size, 1);
}

void CoolTopicViewController::pushToDetail(Control& sender) {
  View* tile = sender.superview();
  if (!tile || tile->tag() < 0) return;
  const auto index = static_cast<std::size_t>(tile->tag());
  if (index >= countArray_.size()) return;
  pushDetailScreen(*this, countArray_[index], detailMaker_);
}

}  // namespace lorvane
