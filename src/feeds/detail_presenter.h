#pragma once

#include <functional>
#include <memory>

#include "feeds/feed_page.h"
#include "platform/ui/view_controller.h"

namespace lorvane {

// Makes the page that opens for a lesson. The feeds open the lesson detail
// page; tests may hand in another maker.
using DetailScreenMaker = std::function<std::shared_ptr<ViewController>(const FeedRecord&)>;

// A DetailViewController holding the record.
std::shared_ptr<ViewController> makeDetailViewController(const FeedRecord& record);

// Pushes the page for `record` onto the navigation stack of `from`, animated,
// and slides the tab bar out of view. Without a navigation stack nothing
// opens and the tab bar stays.
void pushDetailScreen(ViewController& from, const FeedRecord& record,
                      const DetailScreenMaker& maker);

}  // namespace lorvane
