#pragma once

#include <string>

#include "platform/foundation/error.h"

namespace lorvane {

// What went wrong with a lesson's video, as a learner would put it.
enum class StreamFailureKind {
  NotFound,  // the server has no such video (or will not hand it out)
  Network,   // the server could not be reached, or stopped answering
  Damaged,   // the file arrived but cannot be played
  Server,    // the server answered with an error of its own
  Other,
};

struct StreamFailureText {
  std::string title;
  std::string message;
};

StreamFailureKind streamFailureKind(const ErrorPtr& error);
// The alert's words for a kind, in the interface's language.
StreamFailureText streamFailureText(StreamFailureKind kind);
// The whole chain of an error on one line, for the log: domain, code and
// message of each, outermost first.
std::string describeErrorChain(const ErrorPtr& error);

}  // namespace lorvane
