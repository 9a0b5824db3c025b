#include "settings/offline_lessons_view_controller.h"

#include <cstdio>

#include "common/screen_metrics.h"
#include "platform/foundation/notification_center.h"
#include "platform/ui/font.h"
#include "settings/back_action.h"
#include "settings/page_chrome.h"

namespace lorvane {

OfflineLessonsViewController::OfflineLessonsViewController() = default;

OfflineLessonsViewController::~OfflineLessonsViewController() {
  if (observation_) NotificationCenter::defaultCenter().removeObserver(observation_);
}

std::string OfflineLessonsViewController::sizeText(std::uint64_t bytes) {
  char text[32];
  const double kb = static_cast<double>(bytes) / 1024;
  if (kb < 1024) {
    std::snprintf(text, sizeof text, "%.0f KB", kb < 1 && bytes > 0 ? 1.0 : kb);
  } else {
    std::snprintf(text, sizeof text, "%.1f MB", kb / 1024);
  }
  return text;
}

std::string OfflineLessonsViewController::summaryText(std::size_t count, std::uint64_t bytes) {
  if (count == 0) return "还没有离线课程";
  return "共 " + std::to_string(count) + " 节，" + sizeText(bytes);
}

void OfflineLessonsViewController::viewDidLoad() {
  const Rect viewFrame = view()->frame();
  const Rect screen = mainScreenBounds();
  const double top = contentTop();
  background_ = makePageBackground({0, top, viewFrame.width(), viewFrame.height()});
  view()->addSubview(background_);

  auto titleBar = View::make<ImageView>(Image::imageNamed(kTitleBarPicture));
  titleBar->setFrame({0, 0, screen.width(), kTitleBarHeight});
  background_->addSubview(titleBar);
  background_->addSubview(makeBackButton(this, [this] { backAction(); }));
  background_->addSubview(makeTitleLabel("离线课程"));
  deleteAll_ = Button::buttonWithType(ButtonType::Custom);
  deleteAll_->setFrame({screen.width() - 80, 7, 72, 30});
  deleteAll_->setTitle("全部删除", ControlStateNormal);
  deleteAll_->setTitleColor(Color::whiteColor(), ControlStateNormal);
  deleteAll_->setTitleColor(touchedRowTextColor(), ControlStateHighlighted);
  deleteAll_->setTitleColor(Color::white(0.5), ControlStateDisabled);
  deleteAll_->titleLabel().setFont(Font::boldSystemFontOfSize(14));
  deleteAll_->addTarget(
      this, [this](Control&) { deleteAllAction(); }, ControlEventTouchUpInside);
  background_->addSubview(deleteAll_);

  summary_ = View::make<Label>(Rect{15, kTitleBarHeight + 6, screen.width() - 30, 24});
  summary_->setFont(Font::systemFontOfSize(14));
  summary_->setTextColor(Color::white(0.9));
  summary_->setBackgroundColor(Color::clear());
  background_->addSubview(summary_);

  const double tableTop = kTitleBarHeight + 36;
  tableView_ = View::make<TableView>(
      Rect{0, tableTop, screen.width(), screen.height() - top - tableTop}, TableViewStyle::Plain);
  tableView_->setBackgroundColor(Color::clear());
  tableView_->setSeparatorStyle(TableViewCellSeparatorStyle::None);
  tableView_->setDataSource(this);
  tableView_->setTableDelegate(this);
  background_->addSubview(tableView_);

  observation_ = NotificationCenter::defaultCenter().addObserver(
      this, kLessonDownloadsDidChangeNotification, nullptr,
      [this](const Notification&) { reloadLessons(); });
  reloadLessons();
}

void OfflineLessonsViewController::viewWillAppear(bool animated) {
  ViewController::viewWillAppear(animated);
  if (isViewLoaded()) reloadLessons();
}

void OfflineLessonsViewController::reloadLessons() {
  LessonDownloads& downloads = LessonDownloads::shared();
  lessons_ = downloads.completedDownloads();
  if (summary_) summary_->setText(summaryText(lessons_.size(), downloads.totalCompletedSize()));
  if (deleteAll_) deleteAll_->setEnabled(!lessons_.empty());
  if (tableView_) tableView_->reloadData();
}

int OfflineLessonsViewController::numberOfRowsInSection(TableView&, int section) {
  return section == 0 ? static_cast<int>(lessons_.size()) : 0;
}

TableViewCellPtr OfflineLessonsViewController::cellForRowAtIndexPath(TableView& tableView,
                                                                     const IndexPath& indexPath) {
  auto cell = tableView.dequeueReusableCellWithIdentifier(kReuseIdentifier);
  const double W = mainScreenBounds().width();
  if (!cell) {
    cell = std::make_shared<TableViewCell>(TableViewCellStyle::Default, kReuseIdentifier);
    cell->setBackgroundColor(Color::clear());
    cell->setSelectionStyle(TableViewCellSelectionStyle::None);
    // The title stops short of the size and the button.
    auto title = View::make<Label>(Rect{15, 0, W - 170, kRowHeight});
    title->setTag(kTitleLabelTag);
    title->setFont(Font::boldSystemFontOfSize(15));
    title->setTextColor(Color::whiteColor());
    title->setBackgroundColor(Color::clear());
    title->setNumberOfLines(2);
    cell->contentView().addSubview(title);
    auto size = View::make<Label>(Rect{W - 150, 17, 70, 20});
    size->setTag(kSizeLabelTag);
    size->setFont(Font::systemFontOfSize(13));
    size->setTextColor(Color::white(0.75));
    size->setTextAlignment(TextAlignment::Right);
    size->setBackgroundColor(Color::clear());
    cell->contentView().addSubview(size);
    auto remove = Button::buttonWithType(ButtonType::Custom);
    remove->setTag(kDeleteButtonTag);
    remove->setFrame({W - 70, 12, 56, 30});
    remove->setTitle("删除", ControlStateNormal);
    remove->setTitleColor(touchedRowTextColor(), ControlStateNormal);
    remove->setTitleColor(Color::whiteColor(), ControlStateHighlighted);
    remove->titleLabel().setFont(Font::boldSystemFontOfSize(14));
    remove->layer().setBorderColor(touchedRowTextColor());
    remove->layer().setBorderWidth(1);
    remove->layer().setCornerRadius(6);
    // The row the button is in now: cells are reused.
    std::weak_ptr<TableViewCell> weakCell = cell;
    remove->addTarget(
        this,
        [this, weakCell](Control&) {
          auto shown = weakCell.lock();
          auto where = shown && tableView_ ? tableView_->indexPathForCell(*shown) : std::nullopt;
          if (where) deleteLessonAtIndex(static_cast<std::size_t>(where->row));
        },
        ControlEventTouchUpInside);
    cell->contentView().addSubview(remove);
  }
  const auto row = static_cast<std::size_t>(indexPath.row);
  auto* title = static_cast<Label*>(cell->contentView().viewWithTag(kTitleLabelTag));
  auto* size = static_cast<Label*>(cell->contentView().viewWithTag(kSizeLabelTag));
  if (row < lessons_.size()) {
    if (title)
      title->setText(lessons_[row].title.empty() ? lessons_[row].key : lessons_[row].title);
    if (size) size->setText(sizeText(LessonDownloads::shared().sizeOnDisk(lessons_[row])));
  }
  return cell;
}

void OfflineLessonsViewController::deleteLessonAtIndex(std::size_t index) {
  if (index >= lessons_.size()) return;
  LessonDownloads::shared().remove(lessons_[index].videoURL);
  reloadLessons();
}

void OfflineLessonsViewController::deleteAllAction() {
  if (lessons_.empty()) return;
  auto alert = std::make_shared<AlertView>(
      "全部删除", "删除全部 " + std::to_string(lessons_.size()) + " 节离线课程？", this, "取消",
      std::vector<std::string>{"删除"});
  confirmation_ = alert;
  alert->show();
}

bool OfflineLessonsViewController::clickedButtonAtIndex(AlertView& alert, int buttonIndex) {
  if (&alert != confirmation_.lock().get()) return false;
  if (buttonIndex == 1) {
    LessonDownloads::shared().removeAll();
    reloadLessons();
  }
  return true;
}

void OfflineLessonsViewController::backAction() {
  popPageAndShowTabBar(*this);
}

}  // namespace lorvane
