#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/weak_ptr.h"
#include "platform/ui/label.h"
#include "platform/ui/scroll_view.h"

namespace lorvane {

class TableView;

struct IndexPath {
  int section = 0;
  int row = 0;
  static IndexPath forRow(int row, int section) { return {section, row}; }
  auto operator<=>(const IndexPath&) const = default;
};

enum class TableViewStyle { Plain = 0, Grouped = 1 };
enum class TableViewCellStyle { Default = 0, Value1 = 1, Value2 = 2, Subtitle = 3 };
enum class TableViewCellSelectionStyle { None = 0, Blue = 1, Gray = 2, Default = 3 };
enum class TableViewCellSeparatorStyle { None = 0, SingleLine = 1 };

// One row. Content goes into contentView; the background and the selected
// background sit behind it; labels and pictures inside light up while the
// row is highlighted or selected.
class TableViewCell : public View {
 public:
  TableViewCell(TableViewCellStyle style, std::string reuseIdentifier);

  const std::string& reuseIdentifier() const { return reuseIdentifier_; }
  TableViewCellStyle style() const { return style_; }
  View& contentView() const { return *contentView_; }
  Label& textLabel() const;
  Label& detailTextLabel() const;
  ImageView& imageView() const;

  ViewPtr backgroundView() const { return backgroundView_; }
  void setBackgroundView(ViewPtr view);
  ViewPtr selectedBackgroundView() const { return selectedBackgroundView_; }
  void setSelectedBackgroundView(ViewPtr view);
  TableViewCellSelectionStyle selectionStyle() const { return selectionStyle_; }
  void setSelectionStyle(TableViewCellSelectionStyle s) { selectionStyle_ = s; }

  bool isSelected() const { return selected_; }
  virtual void setSelected(bool selected, bool animated);
  void setSelected(bool selected) { setSelected(selected, false); }
  bool isHighlighted() const { return highlighted_; }
  virtual void setHighlighted(bool highlighted, bool animated);
  void setHighlighted(bool highlighted) { setHighlighted(highlighted, false); }

  virtual void prepareForReuse();
  void layoutSubviews() override;

 private:
  void applyHighlight();
  static void highlightTree(View& view, bool on);

  TableViewCellStyle style_;
  std::string reuseIdentifier_;
  std::shared_ptr<View> contentView_;
  mutable std::shared_ptr<Label> textLabel_;
  mutable std::shared_ptr<Label> detailTextLabel_;
  mutable std::shared_ptr<ImageView> imageView_;
  ViewPtr backgroundView_;
  ViewPtr selectedBackgroundView_;
  ViewPtr defaultSelectedBackground_;
  TableViewCellSelectionStyle selectionStyle_ = TableViewCellSelectionStyle::Blue;
  bool selected_ = false;
  bool highlighted_ = false;
};

using TableViewCellPtr = std::shared_ptr<TableViewCell>;

class TableViewDataSource : public virtual Weakable {
 public:
  virtual ~TableViewDataSource() = default;
  virtual int numberOfRowsInSection(TableView& tableView, int section) = 0;
  virtual TableViewCellPtr cellForRowAtIndexPath(TableView& tableView,
                                                 const IndexPath& indexPath) = 0;
  // Optional: nothing means "not implemented" (one section, no titles).
  virtual std::optional<int> numberOfSectionsInTableView(TableView&) { return std::nullopt; }
  virtual std::optional<std::string> titleForHeaderInSection(TableView&, int) {
    return std::nullopt;
  }
};

// Every operation optional: nothing (or false) means "not implemented".
class TableViewDelegate : public ScrollViewDelegate {
 public:
  virtual std::optional<double> heightForRowAtIndexPath(TableView&, const IndexPath&) {
    return std::nullopt;
  }
  // In a grouped table a height of 0 asks for the standard gap between groups.
  virtual std::optional<double> heightForHeaderInSection(TableView&, int) { return std::nullopt; }
  virtual std::optional<ViewPtr> viewForHeaderInSection(TableView&, int) { return std::nullopt; }
  virtual bool didSelectRowAtIndexPath(TableView&, const IndexPath&) { return false; }
  virtual bool didDeselectRowAtIndexPath(TableView&, const IndexPath&) { return false; }
  virtual bool willDisplayCell(TableView&, TableViewCell&, const IndexPath&) { return false; }
};

// A vertically scrolling list of rows in sections, with cells made on
// demand and reused by identifier as rows scroll out of sight.
class TableView : public ScrollView {
 public:
  explicit TableView(const Rect& frame = {}, TableViewStyle style = TableViewStyle::Plain);
  TableViewStyle style() const { return style_; }

  TableViewDataSource* dataSource() const { return dataSource_.get(); }
  void setDataSource(TableViewDataSource* d) {
    dataSource_ = d;
    setNeedsReload();
  }
  TableViewDelegate* tableDelegate() const { return tableDelegate_.get(); }
  void setTableDelegate(TableViewDelegate* d);

  double rowHeight() const { return rowHeight_; }
  void setRowHeight(double h) {
    rowHeight_ = h;
    setNeedsReload();
  }
  double sectionHeaderHeight() const { return sectionHeaderHeight_; }
  void setSectionHeaderHeight(double h) {
    sectionHeaderHeight_ = h;
    setNeedsReload();
  }
  TableViewCellSeparatorStyle separatorStyle() const { return separatorStyle_; }
  void setSeparatorStyle(TableViewCellSeparatorStyle s) { separatorStyle_ = s; }
  Color separatorColor() const { return separatorColor_; }
  void setSeparatorColor(Color c) { separatorColor_ = c; }
  bool allowsSelection() const { return allowsSelection_; }
  void setAllowsSelection(bool a) { allowsSelection_ = a; }
  ViewPtr backgroundView() const { return backgroundView_; }
  void setBackgroundView(ViewPtr v);
  ViewPtr tableHeaderView() const { return tableHeaderView_; }
  void setTableHeaderView(ViewPtr v);
  ViewPtr tableFooterView() const { return tableFooterView_; }
  void setTableFooterView(ViewPtr v);

  void reloadData();
  int numberOfSections();
  int numberOfRowsInSection(int section);
  // A cell waiting for reuse under that identifier, or nothing.
  TableViewCellPtr dequeueReusableCellWithIdentifier(const std::string& identifier);
  // The cell of a visible row, or nothing.
  TableViewCellPtr cellForRowAtIndexPath(const IndexPath& indexPath) const;
  std::optional<IndexPath> indexPathForCell(const TableViewCell& cell) const;
  std::optional<IndexPath> indexPathForRowAtPoint(Point p);
  std::vector<TableViewCellPtr> visibleCells() const;
  std::vector<IndexPath> indexPathsForVisibleRows() const;
  Rect rectForRowAtIndexPath(const IndexPath& indexPath);
  Rect rectForHeaderInSection(int section);
  void scrollToRowAtIndexPath(const IndexPath& indexPath, bool animated);

  std::optional<IndexPath> indexPathForSelectedRow() const { return selected_; }
  void selectRowAtIndexPath(std::optional<IndexPath> indexPath, bool animated);
  void deselectRowAtIndexPath(const IndexPath& indexPath, bool animated);

  void layoutSubviews() override;
  void touchesBegan(const TouchSet& touches, const Event& event) override;
  void touchesMoved(const TouchSet& touches, const Event& event) override;
  void touchesEnded(const TouchSet& touches, const Event& event) override;
  void touchesCancelled(const TouchSet& touches, const Event& event) override;

 protected:
  void didScroll() override;

 private:
  struct SectionGeometry {
    double headerY = 0;
    double headerHeight = 0;
    std::vector<double> rowY;
    std::vector<double> rowHeight;
  };
  void setNeedsReload() {
    needsReload_ = true;
    setNeedsLayout();
  }
  void computeGeometry();
  void ensureGeometry();
  void layoutVisibleRows();
  void recycle(const IndexPath& path);
  bool isValid(const IndexPath& path) const;

  TableViewStyle style_;
  WeakPtr<TableViewDataSource> dataSource_;
  WeakPtr<TableViewDelegate> tableDelegate_;
  double rowHeight_ = 44;
  double sectionHeaderHeight_;
  TableViewCellSeparatorStyle separatorStyle_ = TableViewCellSeparatorStyle::SingleLine;
  Color separatorColor_ = Color::white(0.78);
  bool allowsSelection_ = true;
  ViewPtr backgroundView_;
  ViewPtr tableHeaderView_;
  ViewPtr tableFooterView_;
  bool needsReload_ = true;
  std::vector<SectionGeometry> sections_;
  std::map<IndexPath, TableViewCellPtr> visible_;
  std::map<int, ViewPtr> headers_;
  std::map<std::string, std::vector<TableViewCellPtr>> reusable_;
  std::optional<IndexPath> selected_;
  std::optional<IndexPath> touchedRow_;
  bool layingOut_ = false;
};

}  // namespace lorvane
