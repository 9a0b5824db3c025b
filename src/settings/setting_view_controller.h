#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/services/mail_compose_view_controller.h"
#include "platform/ui/alert_view.h"
#include "platform/ui/table_view.h"
#include "platform/ui/view_controller.h"
#include "settings/setting_model.h"

namespace lorvane {

// Tab 3: four rows in two sections (feedback mail, recommended apps,
// rating in the store, about page), a third with the lessons kept offline,
// and the version picture and label.
class SettingViewController : public ViewController,
                              public TableViewDataSource,
                              public TableViewDelegate,
                              public MailComposeViewControllerDelegate,
                              public AlertViewDelegate {
 public:
  static constexpr double kRowHeight = 44;
  static constexpr const char* kReuseIdentifier = "cell";
  static constexpr const char* kVersionText = "版本:1.2";

  SettingViewController();
  ~SettingViewController() override;

  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  bool shouldAutorotate() override { return false; }
  bool shouldAutorotateToInterfaceOrientation(InterfaceOrientation) override { return false; }
  unsigned supportedInterfaceOrientations() override { return kOrientationMaskPortrait; }

  // The table.
  std::optional<int> numberOfSectionsInTableView(TableView&) override {
    return static_cast<int>(dataArray_.size());
  }
  int numberOfRowsInSection(TableView& tableView, int section) override;
  TableViewCellPtr cellForRowAtIndexPath(TableView& tableView, const IndexPath& indexPath) override;
  std::optional<double> heightForRowAtIndexPath(TableView&, const IndexPath&) override {
    return kRowHeight;
  }
  std::optional<double> heightForHeaderInSection(TableView&, int) override { return 0.0; }
  bool canEditRowAtIndexPath(const IndexPath&) const { return false; }
  bool didSelectRowAtIndexPath(TableView& tableView, const IndexPath& indexPath) override;

  // The row at a place of the table, or nothing.
  std::shared_ptr<SettingModel> modelAtIndexPath(const IndexPath& indexPath) const;

  // Feedback by mail: the composer when it can send, else a "mailto" link.
  void sendFeedbackMail();
  bool mailComposeControllerDidFinish(MailComposeViewController& controller,
                                      MailComposeResult result, const ErrorPtr& error) override;
  // The alert's title and message for a composer result.
  static std::pair<std::string, std::string> alertTextForResult(int result);

  // The store page for rating: the review page before 7.0, the app page after.
  static std::string storeURL();

  TableView* tableView() const { return tableView_.get(); }
  ImageView* backgroundView() const { return background_.get(); }
  ImageView* versionImageView() const { return versionImage_.get(); }
  Label* versionLabel() const { return versionLabel_.get(); }
  const std::vector<std::string>& dataArray() const { return dataArray_; }
  const std::map<std::string, std::vector<std::shared_ptr<SettingModel>>>& sectionDic() const {
    return sectionDic_;
  }

 private:
  std::shared_ptr<TableView> tableView_;
  std::shared_ptr<ImageView> background_;
  std::shared_ptr<ImageView> versionImage_;
  std::shared_ptr<Label> versionLabel_;
  std::vector<std::string> dataArray_;
  std::map<std::string, std::vector<std::shared_ptr<SettingModel>>> sectionDic_;
};

}  // namespace lorvane
