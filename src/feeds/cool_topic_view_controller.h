#pragma once

#include <memory>
#include <string>
#include <vector>

#include "common/feed_requests.h"
#include "feeds/cool_topic_model.h"
#include "feeds/detail_presenter.h"
#include "feeds/feed_error_view.h"
#include "feeds/feed_page.h"
#include "feeds/mini_video_cell.h"
#include "feeds/thumbnail_cache.h"
#include "net/http_request_delegate.h"
#include "platform/ui/scroll_view.h"
#include "platform/ui/slider.h"
#include "platform/ui/view_controller.h"

namespace lorvane {

// Tab 0: the grid of trend topics, two tiles a row, over the common
// background. Thumbnails come from the documents folder "cool" or are
// downloaded into it.
class CoolTopicViewController : public ViewController, public HTTPRequestDelegate {
 public:
  static constexpr double kTileHeight = 91;
  static constexpr double kRowStep = 98;
  static constexpr double kFirstTileOrigin = 10;
  static constexpr double kColumnGap = 6;
  static constexpr double kContentWidth = 320;
  static constexpr double kContentBottom = 54;
  static constexpr double kDecelerationRate = 0.85;

  CoolTopicViewController();
  ~CoolTopicViewController() override;

  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;

  // Fetching.
  void urlRequest();
  void requestFinished(HTTPRequest& request) override;
  void requestFailed(HTTPRequest& request) override;
  void parseData();
  // The error message's tap: fetch again, with the spinner.
  void retryFromErrorView();

  // The grid.
  void positionMiniVidoCell(const std::vector<FeedRecord>& records);
  static ImagePtr createHighlightImageWithFrame(const Rect& rectangle);
  static double tileWidth();
  void pushToDetail(Control& sender);

  // State, for the screens around and for tests.
  const CoolTopicModel& coolVideoModel() const { return coolVideoModel_; }
  const std::vector<FeedRecord>& countArray() const { return countArray_; }
  const std::vector<std::string>& videoImageURL() const { return videoImageURL_; }
  const std::vector<std::string>& videoName() const { return videoName_; }
  bool isDataDownloaded() const { return isDataDownloaded_; }
  ActivityIndicatorView& indicator() const { return *indicator_; }
  ScrollView* scrollView() const { return scrollView_.get(); }
  ImageView* backgroundView() const { return background_.get(); }
  // Shown once nothing is on its way and no feed came; hidden otherwise.
  FeedErrorView* errorView() const { return errorView_.get(); }
  const std::vector<std::shared_ptr<MiniVideoCell>>& tiles() const { return tiles_; }
  ThumbnailCache& thumbnailCache() { return cache_; }
  std::size_t runningRequestCount() const { return requests_.runningCount(); }
  const FeedRetry& retry() const { return retry_; }

  void setDetailScreenMaker(DetailScreenMaker maker) { detailMaker_ = std::move(maker); }

 private:
  void loadThumbnail(const std::shared_ptr<MiniVideoCell>& tile, std::size_t index);
  void fetchWithSpinner();
  void showErrorIfNothingIsComing();

  CoolTopicModel coolVideoModel_;
  std::vector<FeedRecord> countArray_;
  std::vector<std::string> videoImageURL_;
  std::vector<std::string> videoName_;
  bool isDataDownloaded_ = false;
  std::shared_ptr<ActivityIndicatorView> indicator_;
  std::shared_ptr<ImageView> background_;
  std::shared_ptr<ScrollView> scrollView_;
  std::shared_ptr<FeedErrorView> errorView_;
  std::vector<std::shared_ptr<MiniVideoCell>> tiles_;
  ThumbnailCache cache_{"cool"};
  DetailScreenMaker detailMaker_;
  // Last, so running requests lose their delegate before anything else goes.
  FeedRetry retry_;
  FeedRequests requests_;
};

}  // namespace lorvane
