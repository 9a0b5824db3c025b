#pragma once

#include <string>

namespace lorvane {

// A number of seconds as the clock shows it: "mm:ss" below an hour,
// "HH:mm:ss" from an hour on (hours wrap at a day, fractions are dropped).
// A time that is not a finite number shows as 00:00.
std::string stringTimeFromSeconds(double seconds);

}  // namespace lorvane
