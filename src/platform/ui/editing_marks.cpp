#include "platform/ui/editing_marks.h"

#include <algorithm>
#include <cmath>

#include "platform/ui/grapheme.h"
#include "platform/ui/view.h"

namespace lorvane {

double TextGeometry::lineHeight() const {
  return layout.lineHeight > 0 ? layout.lineHeight : font.lineHeight();
}

std::size_t TextGeometry::lineIndexForOffset(std::size_t offset) const {
  // The last line that begins at or before the offset: a caret at a wrap
  // stands at the start of the next line.
  std::size_t index = 0;
  for (std::size_t i = 0; i < layout.lines.size(); ++i) {
    if (layout.lines[i].sourceBegin <= offset) index = i;
  }
  return index;
}

double TextGeometry::lineX(std::size_t index) const {
  if (index >= layout.lines.size() || alignment == TextAlignment::Left) return 0;
  double free = width - layout.lines[index].width;
  return alignment == TextAlignment::Center ? free / 2 : free;
}

Point TextGeometry::caretPoint(std::size_t offset) const {
  if (layout.lines.empty()) {
    double x = alignment == TextAlignment::Left     ? 0
               : alignment == TextAlignment::Center ? width / 2
                                                    : width;
    return {x, 0};
  }
  std::size_t index = lineIndexForOffset(offset);
  const TextLine& line = layout.lines[index];
  return {lineX(index) + caretPositionInLine(text, line, offset, font),
          double(index) * lineHeight()};
}

std::size_t TextGeometry::offsetClosestTo(Point point) const {
  if (layout.lines.empty()) return 0;
  double row = std::floor(point.y / lineHeight());
  std::size_t index = std::size_t(std::clamp(row, 0.0, double(layout.lines.size() - 1)));
  const TextLine& line = layout.lines[index];
  std::size_t best = line.sourceBegin;
  double bestDistance = INFINITY;
  for (std::size_t offset = line.sourceBegin;;) {
    double x = lineX(index) + caretPositionInLine(text, line, offset, font);
    double distance = std::abs(x - point.x);
    if (distance < bestDistance) {
      bestDistance = distance;
      best = offset;
    }
    if (offset >= line.sourceEnd || offset >= text.size()) break;
    offset = nextCharacterBoundary(text, offset);
  }
  return std::min(best, line.sourceEnd);
}

std::size_t TextGeometry::lineStart(std::size_t offset) const {
  if (layout.lines.empty()) return 0;
  return layout.lines[lineIndexForOffset(offset)].sourceBegin;
}

std::size_t TextGeometry::lineEnd(std::size_t offset) const {
  if (layout.lines.empty()) return text.size();
  std::size_t index = lineIndexForOffset(offset);
  const TextLine& line = layout.lines[index];
  // A wrapped line ends before the spaces it dropped, not at the next
  // line's first character.
  if (index + 1 < layout.lines.size() && line.sourceEnd == layout.lines[index + 1].sourceBegin) {
    std::size_t end = line.sourceEnd;
    while (end > line.sourceBegin && text[end - 1] == ' ') --end;
    return end;
  }
  return line.sourceEnd;
}

void EditingMarks::update(View& host, const TextEditor& editor, bool editing,
                          const TextGeometry& geometry, Point origin) {
  if (!editing) {
    hide();
    return;
  }
  const double height = geometry.lineHeight();
  auto runs = [&](TextRange range) {
    std::vector<Rect> rects;
    if (range.length == 0) return rects;
    std::size_t first = geometry.lineIndexForOffset(range.location);
    std::size_t last = geometry.lineIndexForOffset(range.end());
    for (std::size_t i = first; i <= last && i < geometry.layout.lines.size(); ++i) {
      const TextLine& line = geometry.layout.lines[i];
      std::size_t from = std::max(range.location, line.sourceBegin);
      std::size_t to = std::min(range.end(), line.sourceEnd);
      if (to <= from) continue;
      double x1 = geometry.lineX(i) + caretPositionInLine(geometry.text, line, from, geometry.font);
      double x2 = geometry.lineX(i) + caretPositionInLine(geometry.text, line, to, geometry.font);
      rects.push_back({origin.x + x1, origin.y + double(i) * height, x2 - x1, height});
    }
    return rects;
  };
  showRuns(host, selection_, runs(editor.selectedRange()), selectionColor(), true);
  std::vector<Rect> underlines;
  if (editor.markedRange()) {
    for (Rect r : runs(*editor.markedRange()))
      underlines.push_back({r.x(), r.maxY() - 1.5, r.width(), 1});
  }
  showRuns(host, underlines_, underlines, Color::darkGray(), false);

  if (!caret_) {
    caret_ = View::make<View>();
    caret_->setUserInteractionEnabled(false);
    caret_->setBackgroundColor(caretColor());
  }
  Point p = geometry.caretPoint(editor.caret());
  caret_->setFrame({origin.x + p.x - kCaretWidth / 2, origin.y + p.y, kCaretWidth, height});
  // A selection shows instead of the caret, as on the phone.
  caret_->setHidden(editor.hasSelection());
  if (caret_->superview() != &host) host.addSubview(caret_);
  host.bringSubviewToFront(caret_.get());
}

void EditingMarks::showRuns(View& host, std::vector<std::shared_ptr<View>>& views,
                            const std::vector<Rect>& rects, Color color, bool below) {
  while (views.size() > rects.size()) {
    views.back()->removeFromSuperview();
    views.pop_back();
  }
  for (std::size_t i = 0; i < rects.size(); ++i) {
    if (i == views.size()) {
      auto view = View::make<View>();
      view->setUserInteractionEnabled(false);
      view->setBackgroundColor(color);
      views.push_back(view);
    }
    views[i]->setFrame(rects[i]);
    if (views[i]->superview() != &host) {
      if (below)
        host.insertSubviewAtIndex(views[i], 0);
      else
        host.addSubview(views[i]);
    }
  }
}

void EditingMarks::hide() {
  if (caret_) caret_->removeFromSuperview();
  for (auto& v : selection_) v->removeFromSuperview();
  for (auto& v : underlines_) v->removeFromSuperview();
  selection_.clear();
  underlines_.clear();
}

Rect EditingMarks::caretRect() const {
  if (!caret_ || !caret_->superview()) return {};
  return caret_->frame();
}

std::size_t EditingMarks::selectionRectCount() const {
  return selection_.size();
}

std::size_t EditingMarks::markedUnderlineCount() const {
  return underlines_.size();
}

}  // namespace lorvane
