#pragma once

#include <memory>
#include <string>

namespace lorvane {

// One row of the settings table: its text and the action its tag names.
class SettingModel {
 public:
  enum Tag : unsigned {
    kFeedbackMail = 1,
    kAppRecommendation = 2,
    kRateInStore = 3,
    kAboutPage = 4,
    kOfflineLessons = 5
  };

  SettingModel(std::string title, unsigned tag) : title_(std::move(title)), tag_(tag) {}
  static std::shared_ptr<SettingModel> initWithTitle(std::string title, unsigned tag) {
    return std::make_shared<SettingModel>(std::move(title), tag);
  }

  const std::string& title() const { return title_; }
  void setTitle(std::string title) { title_ = std::move(title); }
  unsigned tag() const { return tag_; }
  void setTag(unsigned tag) { tag_ = tag; }

 private:
  std::string title_;
  unsigned tag_;
};

}  // namespace lorvane
