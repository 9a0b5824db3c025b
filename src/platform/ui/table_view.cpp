#include "platform/ui/table_view.h"

#include <algorithm>

namespace lorvane {

// ---- cell ----

TableViewCell::TableViewCell(TableViewCellStyle style, std::string reuseIdentifier)
    : View(Rect{0, 0, 320, 44}), style_(style), reuseIdentifier_(std::move(reuseIdentifier)) {
  setBackgroundColor(Color::whiteColor());
  contentView_ = std::make_shared<View>(bounds());
  contentView_->setAutoresizingMask(AutoresizingFlexibleWidth | AutoresizingFlexibleHeight);
  contentView_->setBackgroundColor(Color::clear());
  addSubview(contentView_);
}

Label& TableViewCell::textLabel() const {
  if (!textLabel_) {
    textLabel_ = std::make_shared<Label>();
    textLabel_->setFont(Font::systemFontOfSize(18));
    textLabel_->setHighlightedTextColor(Color::whiteColor());
    contentView_->addSubview(textLabel_);
    const_cast<TableViewCell*>(this)->setNeedsLayout();
  }
  return *textLabel_;
}

Label& TableViewCell::detailTextLabel() const {
  if (!detailTextLabel_) {
    detailTextLabel_ = std::make_shared<Label>();
    detailTextLabel_->setFont(
        Font::systemFontOfSize(style_ == TableViewCellStyle::Subtitle ? 12 : 17));
    detailTextLabel_->setTextColor(style_ == TableViewCellStyle::Subtitle ? Color::black()
                                                                          : Color::gray());
    detailTextLabel_->setHighlightedTextColor(Color::whiteColor());
    contentView_->addSubview(detailTextLabel_);
    const_cast<TableViewCell*>(this)->setNeedsLayout();
  }
  return *detailTextLabel_;
}

ImageView& TableViewCell::imageView() const {
  if (!imageView_) {
    imageView_ = std::make_shared<ImageView>();
    contentView_->insertSubviewAtIndex(imageView_, 0);
    const_cast<TableViewCell*>(this)->setNeedsLayout();
  }
  return *imageView_;
}

void TableViewCell::setBackgroundView(ViewPtr view) {
  if (backgroundView_) backgroundView_->removeFromSuperview();
  backgroundView_ = std::move(view);
  if (backgroundView_) insertSubviewAtIndex(backgroundView_, 0);
  setNeedsLayout();
  applyHighlight();
}

void TableViewCell::setSelectedBackgroundView(ViewPtr view) {
  if (selectedBackgroundView_) selectedBackgroundView_->removeFromSuperview();
  selectedBackgroundView_ = std::move(view);
  applyHighlight();
}

void TableViewCell::setSelected(bool selected, bool) {
  selected_ = selected;
  applyHighlight();
}

void TableViewCell::setHighlighted(bool highlighted, bool) {
  highlighted_ = highlighted;
  applyHighlight();
}

void TableViewCell::highlightTree(View& view, bool on) {
  if (auto* label = dynamic_cast<Label*>(&view)) label->setHighlighted(on);
  if (auto* image = dynamic_cast<ImageView*>(&view)) image->setHighlighted(on);
  for (auto& sub : view.subviews()) highlightTree(*sub, on);
}

void TableViewCell::applyHighlight() {
  bool on = (selected_ || highlighted_) && selectionStyle_ != TableViewCellSelectionStyle::None;
  ViewPtr selectedBackground = selectedBackgroundView_;
  if (!selectedBackground && on) {
    if (!defaultSelectedBackground_) defaultSelectedBackground_ = std::make_shared<View>();
    defaultSelectedBackground_->setBackgroundColor(
        selectionStyle_ == TableViewCellSelectionStyle::Blue ? Color::rgb255(0, 122, 255)
                                                             : Color::white(0.85));
    selectedBackground = defaultSelectedBackground_;
  }
  if (defaultSelectedBackground_ && defaultSelectedBackground_ != selectedBackground) {
    defaultSelectedBackground_->removeFromSuperview();
  }
  if (on && selectedBackground) {
    selectedBackground->setFrame(bounds());
    if (selectedBackground->superview() != this) {
      if (backgroundView_ && backgroundView_->superview() == this) {
        insertSubviewAbove(selectedBackground, backgroundView_.get());
      } else {
        insertSubviewAtIndex(selectedBackground, 0);
      }
    }
  } else if (selectedBackground) {
    selectedBackground->removeFromSuperview();
  }
  highlightTree(*contentView_, on);
}

void TableViewCell::prepareForReuse() {
  setSelected(false, false);
  setHighlighted(false, false);
}

void TableViewCell::layoutSubviews() {
  Rect b = bounds();
  contentView_->setFrame(b);
  if (backgroundView_) backgroundView_->setFrame(b);
  if (selectedBackgroundView_ && selectedBackgroundView_->superview() == this) {
    selectedBackgroundView_->setFrame(b);
  }
  if (defaultSelectedBackground_ && defaultSelectedBackground_->superview() == this) {
    defaultSelectedBackground_->setFrame(b);
  }
  double x = 15;
  if (imageView_ && imageView_->image()) {
    Size s = imageView_->image()->size();
    imageView_->setFrame({x, (b.height() - s.height) / 2, s.width, s.height});
    x += s.width + 15;
  }
  double w = std::max(0.0, b.width() - x - 15);
  if (style_ == TableViewCellStyle::Subtitle && detailTextLabel_ && textLabel_) {
    double h1 = textLabel_->font().lineHeight(), h2 = detailTextLabel_->font().lineHeight();
    double top = (b.height() - h1 - h2) / 2;
    textLabel_->setFrame({x, top, w, h1});
    detailTextLabel_->setFrame({x, top + h1, w, h2});
  } else if (style_ == TableViewCellStyle::Value1 && detailTextLabel_) {
    double dw = std::min(w, sizeWithFont(detailTextLabel_->text(), detailTextLabel_->font()).width);
    detailTextLabel_->setFrame({b.width() - 15 - dw, 0, dw, b.height()});
    if (textLabel_) textLabel_->setFrame({x, 0, std::max(0.0, w - dw - 8), b.height()});
  } else {
    if (textLabel_) textLabel_->setFrame({x, 0, w, b.height()});
    if (detailTextLabel_) detailTextLabel_->setFrame({x, 0, w, b.height()});
  }
}

// ---- table ----

TableView::TableView(const Rect& frame, TableViewStyle style)
    : ScrollView(frame),
      style_(style),
      sectionHeaderHeight_(style == TableViewStyle::Grouped ? 10 : 22) {
  setBackgroundColor(style == TableViewStyle::Grouped ? Color::rgb255(239, 239, 244)
                                                      : Color::whiteColor());
  setAlwaysBounceVertical(true);
}

void TableView::setTableDelegate(TableViewDelegate* d) {
  tableDelegate_ = d;
  setDelegate(d);
  setNeedsReload();
}

void TableView::setBackgroundView(ViewPtr v) {
  if (backgroundView_) backgroundView_->removeFromSuperview();
  backgroundView_ = std::move(v);
  if (backgroundView_) insertSubviewAtIndex(backgroundView_, 0);
  setNeedsLayout();
}

void TableView::setTableHeaderView(ViewPtr v) {
  if (tableHeaderView_) tableHeaderView_->removeFromSuperview();
  tableHeaderView_ = std::move(v);
  if (tableHeaderView_) addSubview(tableHeaderView_);
  setNeedsReload();
}

void TableView::setTableFooterView(ViewPtr v) {
  if (tableFooterView_) tableFooterView_->removeFromSuperview();
  tableFooterView_ = std::move(v);
  if (tableFooterView_) addSubview(tableFooterView_);
  setNeedsReload();
}

int TableView::numberOfSections() {
  ensureGeometry();
  return int(sections_.size());
}

int TableView::numberOfRowsInSection(int section) {
  ensureGeometry();
  if (section < 0 || section >= int(sections_.size())) return 0;
  return int(sections_[std::size_t(section)].rowY.size());
}

void TableView::ensureGeometry() {
  if (needsReload_) computeGeometry();
}

void TableView::computeGeometry() {
  needsReload_ = false;
  sections_.clear();
  double y = tableHeaderView_ ? tableHeaderView_->frame().height() : 0;
  if (tableHeaderView_) tableHeaderView_->setFrame({0, 0, bounds().width(), y});
  if (!dataSource_) {
    setContentSize({bounds().width(), y});
    return;
  }
  int count = dataSource_->numberOfSectionsInTableView(*this).value_or(1);
  for (int s = 0; s < std::max(0, count); ++s) {
    SectionGeometry g;
    const bool grouped = style_ == TableViewStyle::Grouped;
    std::optional<double> asked;
    if (tableDelegate_) asked = tableDelegate_->heightForHeaderInSection(*this, s);
    double header = 0;
    if (asked && !(grouped && *asked <= 0)) {
      header = *asked;
    } else {
      // Groups are always set apart: a grouped table's header of no height
      // is the standard gap, as on the platform.
      header = grouped || dataSource_->titleForHeaderInSection(*this, s) ? sectionHeaderHeight_ : 0;
    }
    g.headerY = y;
    g.headerHeight = std::max(0.0, header);
    y += g.headerHeight;
    int rows = std::max(0, dataSource_->numberOfRowsInSection(*this, s));
    for (int r = 0; r < rows; ++r) {
      double h = rowHeight_;
      if (tableDelegate_) {
        if (auto custom = tableDelegate_->heightForRowAtIndexPath(*this, {s, r})) h = *custom;
      }
      g.rowY.push_back(y);
      g.rowHeight.push_back(std::max(0.0, h));
      y += std::max(0.0, h);
    }
    sections_.push_back(std::move(g));
  }
  if (tableFooterView_) {
    double h = tableFooterView_->frame().height();
    tableFooterView_->setFrame({0, y, bounds().width(), h});
    y += h;
  }
  setContentSize({bounds().width(), y});
}

void TableView::reloadData() {
  for (auto& [path, cell] : visible_) {
    cell->removeFromSuperview();
    reusable_[cell->reuseIdentifier()].push_back(cell);
  }
  visible_.clear();
  for (auto& [s, header] : headers_) header->removeFromSuperview();
  headers_.clear();
  computeGeometry();
  if (selected_ && !isValid(*selected_)) selected_.reset();
  Point o = contentOffset();
  Point c{std::clamp(o.x, minimumContentOffset().x, maximumContentOffset().x),
          std::clamp(o.y, minimumContentOffset().y, maximumContentOffset().y)};
  if (!(c == o)) ScrollView::setContentOffset(c);
  layoutVisibleRows();
}

bool TableView::isValid(const IndexPath& p) const {
  return p.section >= 0 && p.section < int(sections_.size()) && p.row >= 0 &&
         p.row < int(sections_[std::size_t(p.section)].rowY.size());
}

TableViewCellPtr TableView::dequeueReusableCellWithIdentifier(const std::string& identifier) {
  auto it = reusable_.find(identifier);
  if (it == reusable_.end() || it->second.empty()) return nullptr;
  auto cell = it->second.back();
  it->second.pop_back();
  cell->prepareForReuse();
  return cell;
}

TableViewCellPtr TableView::cellForRowAtIndexPath(const IndexPath& p) const {
  auto it = visible_.find(p);
  return it == visible_.end() ? nullptr : it->second;
}

std::optional<IndexPath> TableView::indexPathForCell(const TableViewCell& cell) const {
  for (const auto& [path, c] : visible_) {
    if (c.get() == &cell) return path;
  }
  return std::nullopt;
}

std::optional<IndexPath> TableView::indexPathForRowAtPoint(Point p) {
  ensureGeometry();
  for (std::size_t s = 0; s < sections_.size(); ++s) {
    const auto& g = sections_[s];
    for (std::size_t r = 0; r < g.rowY.size(); ++r) {
      if (p.y >= g.rowY[r] && p.y < g.rowY[r] + g.rowHeight[r]) return IndexPath{int(s), int(r)};
    }
  }
  return std::nullopt;
}

std::vector<TableViewCellPtr> TableView::visibleCells() const {
  std::vector<TableViewCellPtr> out;
  for (const auto& [path, cell] : visible_) out.push_back(cell);
  return out;
}

std::vector<IndexPath> TableView::indexPathsForVisibleRows() const {
  std::vector<IndexPath> out;
  for (const auto& [path, cell] : visible_) out.push_back(path);
  return out;
}

Rect TableView::rectForRowAtIndexPath(const IndexPath& p) {
  ensureGeometry();
  if (!isValid(p)) return {};
  const auto& g = sections_[std::size_t(p.section)];
  return {0, g.rowY[std::size_t(p.row)], bounds().width(), g.rowHeight[std::size_t(p.row)]};
}

Rect TableView::rectForHeaderInSection(int section) {
  ensureGeometry();
  if (section < 0 || section >= int(sections_.size())) return {};
  const auto& g = sections_[std::size_t(section)];
  return {0, g.headerY, bounds().width(), g.headerHeight};
}

void TableView::scrollToRowAtIndexPath(const IndexPath& p, bool animated) {
  Rect r = rectForRowAtIndexPath(p);
  if (r.height() > 0) scrollRectToVisible(r, animated);
}

void TableView::recycle(const IndexPath& path) {
  auto it = visible_.find(path);
  if (it == visible_.end()) return;
  auto cell = it->second;
  visible_.erase(it);
  cell->removeFromSuperview();
  reusable_[cell->reuseIdentifier()].push_back(cell);
}

void TableView::layoutVisibleRows() {
  if (layingOut_ || !dataSource_) return;
  layingOut_ = true;
  struct Done {
    bool& flag;
    ~Done() { flag = false; }
  } done{layingOut_};
  ensureGeometry();
  double top = contentOffset().y, bottom = top + bounds().height();
  double width = bounds().width();
  std::vector<IndexPath> wanted;
  for (std::size_t s = 0; s < sections_.size(); ++s) {
    const auto& g = sections_[s];
    for (std::size_t r = 0; r < g.rowY.size(); ++r) {
      double y = g.rowY[r], h = g.rowHeight[r];
      if (y + h > top && y < bottom && h > 0) wanted.push_back({int(s), int(r)});
    }
  }
  std::vector<IndexPath> gone;
  for (const auto& [path, cell] : visible_) {
    if (!std::binary_search(wanted.begin(), wanted.end(), path)) gone.push_back(path);
  }
  for (const auto& p : gone) recycle(p);
  for (const auto& p : wanted) {
    const auto& g = sections_[std::size_t(p.section)];
    Rect frame{0, g.rowY[std::size_t(p.row)], width, g.rowHeight[std::size_t(p.row)]};
    auto it = visible_.find(p);
    if (it != visible_.end()) {
      it->second->setFrame(frame);
      continue;
    }
    auto cell = dataSource_->cellForRowAtIndexPath(*this, p);
    if (!cell) continue;
    cell->setFrame(frame);
    cell->setSelected(selected_ && *selected_ == p, false);
    if (tableDelegate_) tableDelegate_->willDisplayCell(*this, *cell, p);
    visible_[p] = cell;
    if (backgroundView_ && backgroundView_->superview() == this) {
      insertSubviewAbove(cell, backgroundView_.get());
    } else {
      insertSubviewAtIndex(cell, 0);
    }
    cell->layoutIfNeeded();
  }
  // Section headers the delegate supplies.
  if (tableDelegate_) {
    for (std::size_t s = 0; s < sections_.size(); ++s) {
      const auto& g = sections_[s];
      if (g.headerHeight <= 0) continue;
      bool show = g.headerY + g.headerHeight > top && g.headerY < bottom;
      auto it = headers_.find(int(s));
      if (!show) {
        if (it != headers_.end()) {
          it->second->removeFromSuperview();
          headers_.erase(it);
        }
        continue;
      }
      if (it == headers_.end()) {
        auto header = tableDelegate_->viewForHeaderInSection(*this, int(s));
        if (!header || !*header) continue;
        it = headers_.emplace(int(s), *header).first;
        addSubview(*header);
      }
      it->second->setFrame({0, g.headerY, width, g.headerHeight});
    }
  }
}

void TableView::layoutSubviews() {
  if (needsReload_) {
    reloadData();
  } else {
    layoutVisibleRows();
  }
  if (backgroundView_) {
    Rect b = bounds();
    backgroundView_->setFrame(b);
  }
}

void TableView::didScroll() {
  ScrollView::didScroll();
  layoutVisibleRows();
  if (backgroundView_) backgroundView_->setFrame(bounds());
}

void TableView::selectRowAtIndexPath(std::optional<IndexPath> p, bool animated) {
  ensureGeometry();
  if (selected_) {
    if (auto cell = cellForRowAtIndexPath(*selected_)) cell->setSelected(false, animated);
  }
  selected_ = p && isValid(*p) ? p : std::nullopt;
  if (selected_) {
    if (auto cell = cellForRowAtIndexPath(*selected_)) cell->setSelected(true, animated);
  }
}

void TableView::deselectRowAtIndexPath(const IndexPath& p, bool animated) {
  if (auto cell = cellForRowAtIndexPath(p)) cell->setSelected(false, animated);
  if (selected_ && *selected_ == p) selected_.reset();
}

void TableView::touchesBegan(const TouchSet& touches, const Event& event) {
  ScrollView::touchesBegan(touches, event);
  touchedRow_.reset();
  if (!allowsSelection_ || touches.empty()) return;
  touchedRow_ = indexPathForRowAtPoint(touches.front()->locationInView(this));
  if (touchedRow_) {
    if (auto cell = cellForRowAtIndexPath(*touchedRow_)) cell->setHighlighted(true, false);
  }
}

void TableView::touchesMoved(const TouchSet&, const Event&) {}

void TableView::touchesEnded(const TouchSet& touches, const Event& event) {
  ScrollView::touchesEnded(touches, event);
  if (!touchedRow_ || touches.empty()) return;
  IndexPath row = *touchedRow_;
  touchedRow_.reset();
  auto cell = cellForRowAtIndexPath(row);
  if (cell) cell->setHighlighted(false, false);
  auto here = indexPathForRowAtPoint(touches.front()->locationInView(this));
  if (!here || *here != row) return;
  std::optional<IndexPath> target = row;
  if (!isValid(*target)) return;
  if (selected_ && *selected_ != *target) {
    IndexPath old = *selected_;
    deselectRowAtIndexPath(old, false);
    if (tableDelegate_) tableDelegate_->didDeselectRowAtIndexPath(*this, old);
  }
  selectRowAtIndexPath(target, false);
  if (tableDelegate_) tableDelegate_->didSelectRowAtIndexPath(*this, *target);
}

void TableView::touchesCancelled(const TouchSet& touches, const Event& event) {
  ScrollView::touchesCancelled(touches, event);
  if (touchedRow_) {
    if (auto cell = cellForRowAtIndexPath(*touchedRow_)) cell->setHighlighted(false, false);
  }
  touchedRow_.reset();
}

}  // namespace lorvane
