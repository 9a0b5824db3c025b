#pragma once

#include <memory>
#include <string>
#include <vector>

#include "common/lesson_downloads.h"
#include "platform/ui/alert_view.h"
#include "platform/ui/button.h"
#include "platform/ui/image.h"
#include "platform/ui/label.h"
#include "platform/ui/table_view.h"
#include "platform/ui/view_controller.h"

namespace lorvane {

// "离线课程", opened from the settings: the lessons kept for offline play
// with their sizes and the total ("共 2 节，1.2 MB"; "还没有离线课程" when
// there are none). Each row has its own delete button; "全部删除" in the
// title bar asks first.
class OfflineLessonsViewController : public ViewController,
                                     public TableViewDataSource,
                                     public TableViewDelegate,
                                     public AlertViewDelegate {
 public:
  static constexpr double kRowHeight = 54;
  static constexpr int kDeleteButtonTag = 2301;
  static constexpr int kSizeLabelTag = 2302;
  static constexpr int kTitleLabelTag = 2303;
  static constexpr const char* kReuseIdentifier = "offline";

  OfflineLessonsViewController();
  ~OfflineLessonsViewController() override;

  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  bool shouldAutorotate() override { return false; }
  unsigned supportedInterfaceOrientations() override { return kOrientationMaskPortrait; }

  // "1.2 MB", "640 KB".
  static std::string sizeText(std::uint64_t bytes);
  // The summary under the title bar.
  static std::string summaryText(std::size_t count, std::uint64_t bytes);

  // Reads the kept lessons again.
  void reloadLessons();
  const std::vector<LessonDownload>& lessons() const { return lessons_; }
  void deleteLessonAtIndex(std::size_t index);
  // "全部删除": asks, and deletes all on "删除".
  void deleteAllAction();
  void backAction();

  TableView* tableView() const { return tableView_.get(); }
  Label* summaryLabel() const { return summary_.get(); }
  Button* deleteAllButton() const { return deleteAll_.get(); }
  std::shared_ptr<AlertView> confirmationAlert() const { return confirmation_.lock(); }

  int numberOfRowsInSection(TableView&, int section) override;
  TableViewCellPtr cellForRowAtIndexPath(TableView& tableView, const IndexPath& indexPath) override;
  std::optional<double> heightForRowAtIndexPath(TableView&, const IndexPath&) override {
    return kRowHeight;
  }
  bool clickedButtonAtIndex(AlertView& alert, int buttonIndex) override;

 private:
  std::shared_ptr<ImageView> background_;
  std::shared_ptr<TableView> tableView_;
  std::shared_ptr<Label> summary_;
  std::shared_ptr<Button> deleteAll_;
  std::weak_ptr<AlertView> confirmation_;
  std::vector<LessonDownload> lessons_;
  std::uint64_t observation_ = 0;
};

}  // namespace lorvane
