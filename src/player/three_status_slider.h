#pragma once

#include <memory>
#include <string>

#include "platform/foundation/weak_ptr.h"
#include "platform/ui/label.h"
#include "platform/ui/view.h"

namespace lorvane {

// Told of every move of the thumb, with the value before it is rounded.
class NOThreeStatusProtocol : public virtual Weakable {
 public:
  virtual ~NOThreeStatusProtocol() = default;
  virtual void thumbMoved(float value) = 0;
};

// A horizontal slider drawn from image views: the track left of the thumb
// (status 1), from the thumb to the enabled value (status 2, for a video the
// part already loaded) and the rest (status 3). The value is a whole number
// between a minimum and a maximum; only a drag of the thumb changes it.
// Two hidden labels at the ends hold the value and its distance to the
// maximum, and reserve room at both ends of the track.
class NOThreeStatusSlider : public View {
 public:
  static constexpr double kThumbSize = 13;
  static constexpr double kThumbY = 4;
  static constexpr double kTrackHeight = 8;
  static constexpr double kTrackY = 6;
  static constexpr double kLabelHeight = 20;
  static constexpr double kGap = 5;
  static constexpr double kDefaultHeight = 20;

  // A plain view: the parts are made only by the ranged constructor (or a
  // later call to create()).
  NOThreeStatusSlider();
  explicit NOThreeStatusSlider(const Rect& frame);
  // initWithMinValue:andMaxValue:. The range must not be empty.
  NOThreeStatusSlider(float minValue, float maxValue);

  void create();
  // Applies the minimum size, then places the parts. Call it on this class
  // (not through View) for the minimum size to apply.
  void setFrame(const Rect& frame);
  Rect adjustFrame(const Rect& frame) const;
  void adjust();

  float getCurrentValue() const;
  void setCurrentValue(float value);
  float getEnabledValue() const { return fEnabledValue_; }
  void setEnabledValue(float value);
  float getMinValue() const { return fMinValue_; }
  float getMaxValue() const { return fMaxValue_; }

  void setButtonImage(ImagePtr image);
  void setStatus1Image(ImagePtr image);
  void setStatus2Image(ImagePtr image);
  void setStatus3Image(ImagePtr image);

  float getWidthOfString(const std::string& text) const;
  float getButtonXWithValue(float value) const;
  float getXStatus2WithValue(float value) const;
  float getCurrentValueWithButtonX(float x) const;

  NOThreeStatusProtocol* delegate() const { return delegate_.get(); }
  void setDelegate(NOThreeStatusProtocol* delegate) { delegate_ = delegate; }

  Label* lTextLabel() const { return lTextLabel_.get(); }
  Label* rTextLabel() const { return rTextLabel_.get(); }
  ImageView* thumb() const { return thumb_.get(); }
  ImageView* status1() const { return status1_.get(); }
  ImageView* status2() const { return status2_.get(); }
  ImageView* status3() const { return status3_.get(); }
  bool isDragging() const { return bButtonClicked_; }

  void touchesBegan(const TouchSet& touches, const Event& event) override;
  void touchesMoved(const TouchSet& touches, const Event& event) override;
  void touchesEnded(const TouchSet& touches, const Event& event) override;
  void touchesCancelled(const TouchSet& touches, const Event& event) override;

 private:
  // The width both end labels need for the widest value text.
  float labelWidth() const;
  // lTextLabel's and the thumb's current widths (0 before they exist).
  float currentLabelWidth() const;
  float currentThumbWidth() const;
  float trackLength() const;
  void endDrag();

  float fMinValue_ = 0;
  float fMaxValue_ = 0;
  float fEnabledValue_ = 0;
  std::shared_ptr<Label> lTextLabel_;
  std::shared_ptr<Label> rTextLabel_;
  std::shared_ptr<ImageView> thumb_;
  std::shared_ptr<ImageView> status1_;
  std::shared_ptr<ImageView> status2_;
  std::shared_ptr<ImageView> status3_;
  bool bButtonClicked_ = false;
  float xOffset_ = 0;
  WeakPtr<NOThreeStatusProtocol> delegate_;
};

}  // namespace lorvane
