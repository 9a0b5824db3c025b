#pragma once

#include <memory>
#include <string>
#include <vector>

#include "common/feed_requests.h"
#include "feeds/detail_presenter.h"
#include "feeds/feed_error_view.h"
#include "feeds/feed_page.h"
#include "feeds/show_video_cell.h"
#include "feeds/thumbnail_cache.h"
#include "net/http_request_delegate.h"
#include "platform/ui/slider.h"
#include "platform/ui/table_view.h"
#include "platform/ui/view_controller.h"

namespace lorvane {

// Tab 1: the list of shows, one large thumbnail row per lesson. Pictures in
// the thumbnail folder "show" add blank rows until the feed has arrived.
class ShowViewController : public ViewController,
                           public HTTPRequestDelegate,
                           public TableViewDataSource,
                           public TableViewDelegate {
 public:
  static constexpr double kRowHeight = 160;
  static constexpr const char* kReuseIdentifier = "cell";

  ShowViewController();
  ~ShowViewController() override;

  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  bool shouldAutorotate() override { return false; }
  bool shouldAutorotateToInterfaceOrientation(InterfaceOrientation) override { return false; }
  unsigned supportedInterfaceOrientations() override { return kOrientationMaskPortrait; }

  // Fetching.
  void urlRequest();
  void requestFinished(HTTPRequest& request) override;
  void requestFailed(HTTPRequest& request) override;
  void parseData();
  // The error message's tap: fetch again, with a spinner for this fetch.
  void retryFromErrorView();

  // The list.
  std::optional<int> numberOfSectionsInTableView(TableView&) override { return 1; }
  int numberOfRowsInSection(TableView& tableView, int section) override;
  TableViewCellPtr cellForRowAtIndexPath(TableView& tableView, const IndexPath& indexPath) override;
  std::optional<double> heightForRowAtIndexPath(TableView&, const IndexPath&) override {
    return kRowHeight;
  }
  bool didSelectRowAtIndexPath(TableView& tableView, const IndexPath& indexPath) override;

  // Pictures with the extension "jpg" (exactly) in the folder "show" and below.
  std::size_t cachedPictureCount() const;

  const FeedRecord& showVideoMedia() const { return showVideoMedia_; }
  const std::vector<FeedRecord>& videoInfo() const { return videoInfo_; }
  const std::vector<std::string>& videoImage() const { return videoImage_; }
  const std::vector<std::string>& videoDescrip() const { return videoDescrip_; }
  bool isDataDownloaded() const { return isDataDownloaded_; }
  // Nothing once the feed has arrived or the first failure was handled.
  ActivityIndicatorView* indicator() const { return indicator_.get(); }
  TableView* tableView() const { return tableView_.get(); }
  ImageView* backgroundView() const { return background_.get(); }
  // Shown once nothing is on its way and no feed came; hidden otherwise.
  FeedErrorView* errorView() const { return errorView_.get(); }
  ThumbnailCache& thumbnailCache() { return cache_; }
  std::size_t runningRequestCount() const { return requests_.runningCount(); }
  const FeedRetry& retry() const { return retry_; }

  void setDetailScreenMaker(DetailScreenMaker maker) { detailMaker_ = std::move(maker); }

 private:
  void dropIndicator();
  void showErrorIfNothingIsComing();
  void loadThumbnail(const std::shared_ptr<ShowVideoCell>& cell, std::size_t row);

  FeedRecord showVideoMedia_;
  std::vector<FeedRecord> videoInfo_;
  std::vector<std::string> videoImage_;
  std::vector<std::string> videoDescrip_;
  std::vector<std::string> videoURL_;  // each row's lesson, for its progress
  bool isDataDownloaded_ = false;
  std::shared_ptr<ActivityIndicatorView> indicator_;
  std::shared_ptr<ImageView> background_;
  std::shared_ptr<TableView> tableView_;
  std::shared_ptr<FeedErrorView> errorView_;
  ThumbnailCache cache_{"show"};
  DetailScreenMaker detailMaker_;
  FeedRetry retry_;
  FeedRequests requests_;
};

}  // namespace lorvane
