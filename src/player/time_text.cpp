#include "player/time_text.h"

#include <cmath>

#include "platform/foundation/date.h"

namespace lorvane {

std::string stringTimeFromSeconds(double seconds) {
  if (!std::isfinite(seconds)) seconds = 0;
  // The instant that many seconds after the epoch, read in UTC, is exactly
  // the clock face we want; a fresh formatting per call, nothing cached.
  return formatDate(seconds, seconds < 3600 ? "mm:ss" : "HH:mm:ss", 0);
}

}  // namespace lorvane
