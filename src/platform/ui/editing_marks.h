#pragma once

#include <cstddef>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/ui/color.h"
#include "platform/ui/font.h"
#include "platform/ui/geometry.h"
#include "platform/ui/text_editor.h"

namespace lorvane {

class View;

// Where the characters of a laid-out text are: the caret's place for an
// offset, and the offset nearest a point. Points are relative to the
// text's top-left corner; lines are `width` wide for the alignment.
struct TextGeometry {
  std::string_view text;
  Font font;
  TextLayout layout;
  double width = 0;
  TextAlignment alignment = TextAlignment::Left;

  // The line that shows the caret at `offset` (0 when there are none).
  std::size_t lineIndexForOffset(std::size_t offset) const;
  // The caret's top-left point at `offset`.
  Point caretPoint(std::size_t offset) const;
  // The character boundary nearest `point`.
  std::size_t offsetClosestTo(Point point) const;
  // Where the caret's line begins and ends.
  std::size_t lineStart(std::size_t offset) const;
  std::size_t lineEnd(std::size_t offset) const;
  double lineHeight() const;
  // Where line `index` begins, for the alignment.
  double lineX(std::size_t index) const;
};

// The caret, the selection and the underline of marked text, drawn as
// plain views in the view that shows the text.
class EditingMarks {
 public:
  static constexpr double kCaretWidth = 2;
  static Color caretColor() { return Color::rgb255(0, 122, 255); }
  static Color selectionColor() { return Color::rgb255(0, 122, 255, 0.25); }

  // Shows the marks of `editor` over text whose top-left corner is at
  // `origin` of `host`; nothing while not editing.
  void update(View& host, const TextEditor& editor, bool editing, const TextGeometry& geometry,
              Point origin);
  void hide();

  // In the host's coordinates; empty while hidden.
  Rect caretRect() const;
  View* caretView() const { return caret_.get(); }
  std::size_t selectionRectCount() const;
  std::size_t markedUnderlineCount() const;

 private:
  void showRuns(View& host, std::vector<std::shared_ptr<View>>& views,
                const std::vector<Rect>& rects, Color color, bool below);

  std::shared_ptr<View> caret_;
  std::vector<std::shared_ptr<View>> selection_;
  std::vector<std::shared_ptr<View>> underlines_;
};

}  // namespace lorvane
