#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/ui/button.h"
#include "platform/ui/label.h"
#include "platform/ui/view.h"
#include "player/caption_view.h"
#include "player/line_tools.h"

namespace lorvane {

// The study bar under the player (over the picture in landscape): the
// captions mode, the sentence tools and the speed, with a line saying which
// tool is on and what is left of it. It holds no logic; the player drives
// it and hears its buttons.
class StudyBarView : public View {
 public:
  static constexpr double kHeight = 52;
  static constexpr double kButtonHeight = 30;

  StudyBarView();

  Button& captionsButton() const { return *captions_; }
  Button& repeatButton() const { return *repeat_; }
  Button& loopButton() const { return *loop_; }
  Button& abButton() const { return *ab_; }
  Button& shadowButton() const { return *shadow_; }
  Button& rampButton() const { return *ramp_; }
  Button& speedButton() const { return *speed_; }
  Label& statusLabel() const { return *status_; }

  // Shows the state of the player's captions, tools and speed.
  void update(CaptionMode mode, const LineTools& tools, float speed, bool hasLines);

  void layoutSubviews() override;

 private:
  std::vector<std::shared_ptr<Button>> buttons() const;

  std::shared_ptr<Button> captions_, repeat_, loop_, ab_, shadow_, ramp_, speed_;
  std::shared_ptr<Label> status_;
};

// A speed as both speed buttons title it: "1.0倍", "0.75倍", "1.25倍".
std::string speedTitle(float speed);

}  // namespace lorvane
