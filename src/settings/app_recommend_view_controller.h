#pragma once

#include <memory>
#include <string>
#include <vector>

#include "common/feed_requests.h"
#include "common/url_loader.h"
#include "json/json.h"
#include "net/http_request_delegate.h"
#include "platform/ui/button.h"
#include "platform/ui/table_view.h"
#include "platform/ui/view_controller.h"
#include "settings/app_recommend_cell.h"

namespace lorvane {

// Other apps the recommendation server suggests, one row each; touching a
// row hands the app's link to the platform. Pushed by the settings screen.
class AppRecommendViewController : public ViewController,
                                   public HTTPRequestDelegate,
                                   public TableViewDataSource,
                                   public TableViewDelegate {
 public:
  static constexpr double kRowHeight = 76;
  static constexpr const char* kReuseIdentifier = "cell";
  static constexpr const char* kListPath =
      "/api/app/resourcelist_ng.json?appId=243&categoryName=recommendation&resourceType=5";

  AppRecommendViewController();
  ~AppRecommendViewController() override;

  void viewDidLoad() override;

  void urlRequest();
  void requestFinished(HTTPRequest& request) override;
  void requestFailed(HTTPRequest& request) override;
  // Fills the four lists from the "data" object (nothing empties them).
  void parseData(const JSONDictionary* data);
  void asyncDownloadAndSaveVideoImageForVideoCell(const std::shared_ptr<AppRecommendCell>& cell,
                                                  const IndexPath& indexPath);
  void backAction();

  std::optional<int> numberOfSectionsInTableView(TableView&) override { return 1; }
  int numberOfRowsInSection(TableView& tableView, int section) override;
  TableViewCellPtr cellForRowAtIndexPath(TableView& tableView, const IndexPath& indexPath) override;
  std::optional<double> heightForRowAtIndexPath(TableView&, const IndexPath&) override {
    return kRowHeight;
  }
  bool didSelectRowAtIndexPath(TableView& tableView, const IndexPath& indexPath) override;

  ImageView* bgImageView() const { return bgImageView_.get(); }
  TableView* AppTableView() const { return appTableView_.get(); }
  Button* backButton() const { return backButton_.get(); }
  const std::vector<std::string>& appTitle() const { return appTitle_; }
  const std::vector<std::string>& appSubTitle() const { return appSubTitle_; }
  const std::vector<std::string>& imageURL() const { return imageURL_; }
  const std::vector<std::string>& itunesID() const { return itunesID_; }
  URLLoader& iconLoader() { return iconLoader_; }
  std::size_t runningRequestCount() const { return requests_.runningCount(); }
  const FeedRetry& retry() const { return retry_; }

 private:
  std::shared_ptr<ImageView> bgImageView_;
  std::shared_ptr<TableView> appTableView_;
  std::shared_ptr<Button> backButton_;
  std::vector<std::string> appTitle_;
  std::vector<std::string> appSubTitle_;
  std::vector<std::string> imageURL_;
  std::vector<std::string> itunesID_;
  URLLoader iconLoader_;
  FeedRetry retry_;
  FeedRequests requests_;
};

}  // namespace lorvane
