#include <gtest/gtest.h>

#include <set>

#include "platform/media/media_error.h"
#include "player/stream_failure.h"

namespace lorvane {
namespace {

using Kind = StreamFailureKind;

// A media error whose stream could not be fetched, as the media layer
// reports one.
ErrorPtr fetchFailure(int mediaCode, int urlCode) {
  return Error::make(kMediaErrorDomain, mediaCode, "Cannot open http://x/v.mp4",
                     Error::make(kURLErrorDomain, urlCode, "fetch",
                                 Error::make(kFFmpegErrorDomain, -1, "ffmpeg")));
}

TEST(StreamFailureTest, EachMediaFailureReadsAsWhatWentWrongForTheLearner) {
  struct Case {
    ErrorPtr error;
    Kind kind;
  };
  const Case cases[] = {
      {fetchFailure(kMediaErrorCannotOpen, kURLErrorFileDoesNotExist), Kind::NotFound},
      {fetchFailure(kMediaErrorCannotOpen, kURLErrorNoPermissionsToReadFile), Kind::NotFound},
      {fetchFailure(kMediaErrorCannotOpen, kURLErrorBadServerResponse), Kind::Server},
      {fetchFailure(kMediaErrorCannotOpen, kURLErrorCannotConnectToHost), Kind::Network},
      {fetchFailure(kMediaErrorCannotOpen, kURLErrorTimedOut), Kind::Network},
      {fetchFailure(kMediaErrorContentUnavailable, kURLErrorNetworkConnectionLost), Kind::Network},
      // A read that broke off for the network's sake is the network's.
      {fetchFailure(kMediaErrorDecodeFailed, kURLErrorTimedOut), Kind::Network},
      {makeMediaError(kMediaErrorFileFormatNotRecognized, "open", -1), Kind::Damaged},
      {makeMediaError(kMediaErrorDecodeFailed, "read", -1), Kind::Damaged},
      {makeMediaError(kMediaErrorNoPlayableStreams, "none"), Kind::Damaged},
      {makeMediaError(kMediaErrorCannotOpen, "The media URL is empty."), Kind::Other},
      {Error::make("SomewhereElse", 1, "odd"), Kind::Other},
      {nullptr, Kind::Other},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(streamFailureKind(c.error), c.kind) << describeErrorChain(c.error);
  }
  // Every kind has its own words.
  std::set<std::string> titles;
  for (Kind kind : {Kind::NotFound, Kind::Network, Kind::Damaged, Kind::Server, Kind::Other}) {
    StreamFailureText text = streamFailureText(kind);
    EXPECT_FALSE(text.message.empty());
    titles.insert(text.title);
  }
  EXPECT_EQ(titles.size(), 5u);
}

TEST(StreamFailureTest, TheLogLineCarriesEveryDomainAndCode) {
  std::string line =
      describeErrorChain(fetchFailure(kMediaErrorCannotOpen, kURLErrorFileDoesNotExist));
  EXPECT_NE(line.find("AVFoundationErrorDomain -11829: Cannot open http://x/v.mp4"),
            std::string::npos)
      << line;
  EXPECT_NE(line.find("NSURLErrorDomain -1100"), std::string::npos) << line;
  EXPECT_NE(line.find("FFmpegErrorDomain"), std::string::npos) << line;
}

}  // namespace
}  // namespace lorvane
