#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "json/json.h"
#include "platform/media/system_volume.h"
#include "platform/ui/alert_view.h"
#include "platform/ui/image.h"
#include "platform/ui/ui_test_support.h"

namespace lorvane::testing {

// The UI fixture plus the app's pictures and a known system volume.
class PlayerUiTest : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    Image::setResourcesFolder(LORVANE_SOURCE_DIR "/resources");
    SystemVolume::shared().setVolume(0.5f);
    dismissAlerts();
  }
  void TearDown() override {
    dismissAlerts();
    UiTest::TearDown();
  }
  static void dismissAlerts() {
    for (auto& alert : AlertView::visibleAlerts()) alert->dismissWithClickedButtonIndex(0, false);
  }
  void runUntilIdle() { RunLoop::main().runUntilIdle(); }
};

inline JSONValueRef text(const std::string& s) {
  return JSONValueRef(JSONStringValue::create(s));
}
inline JSONValueRef number(std::int64_t n) {
  return JSONValueRef(JSONNumber::withInt64(n));
}

// A feed record with the given keys.
inline JSONRef<JSONDictionary> makeRecord(
    std::vector<std::pair<std::string, JSONValueRef>> entries) {
  auto record = JSONDictionary::mutableDictionary();
  for (auto& [key, value] : entries) record->setObject(value, key);
  return record;
}

}  // namespace lorvane::testing
