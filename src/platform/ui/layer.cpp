#include "platform/ui/layer.h"

#include <algorithm>

#include "platform/ui/view.h"

namespace lorvane {

Rect Layer::frame() const {
  return view_ ? view_->frame() : frame_;
}

void Layer::setFrame(const Rect& frame) {
  if (view_) {
    view_->setFrame(frame);
  } else {
    frame_ = frame;
  }
}

Rect Layer::bounds() const {
  if (view_) return view_->bounds();
  return {boundsOrigin_.origin, frame_.size};
}

void Layer::setBounds(const Rect& bounds) {
  if (view_) {
    view_->setBounds(bounds);
    return;
  }
  Point c = frame_.center();
  boundsOrigin_.origin = bounds.origin;
  frame_ = {c.x - bounds.width() / 2, c.y - bounds.height() / 2, bounds.width(), bounds.height()};
}

void Layer::setBackgroundColor(Color c) {
  if (view_) {
    view_->setBackgroundColor(c);
  } else {
    backgroundColor_ = c;
  }
}

double Layer::opacity() const {
  return view_ ? view_->alpha() : opacity_;
}

void Layer::setOpacity(double o) {
  if (view_) {
    view_->setAlpha(o);
  } else {
    opacity_ = std::clamp(o, 0.0, 1.0);
  }
}

bool Layer::isHidden() const {
  return view_ ? view_->isHidden() : hidden_;
}

void Layer::setHidden(bool h) {
  if (view_) {
    view_->setHidden(h);
  } else {
    hidden_ = h;
  }
}

void Layer::addSublayer(std::shared_ptr<Layer> layer) {
  if (!layer || layer.get() == this) return;
  layer->removeFromSuperlayer();
  layer->superlayer_ = this;
  sublayers_.push_back(std::move(layer));
}

void Layer::removeFromSuperlayer() {
  Layer* parent = superlayer_;
  if (!parent) return;
  auto keep = shared_from_this();
  superlayer_ = nullptr;
  std::erase_if(parent->sublayers_, [&](const auto& l) { return l.get() == this; });
}

}  // namespace lorvane
