#include <gtest/gtest.h>

#include "platform/foundation/error.h"

namespace lorvane {
namespace {

TEST(ErrorTest, DescriptionForLogsCarriesDomainCodeMessageAndCause) {
  auto cause = Error::make("NSPOSIXErrorDomain", 111, "Connection refused");
  auto error = Error::make("HTTPRequestErrorDomain", 1, "A connection failure occurred", cause);
  EXPECT_EQ(error->localizedDescription(), "A connection failure occurred");
  EXPECT_EQ(error->description(),
            "Error Domain=HTTPRequestErrorDomain Code=1 \"A connection failure occurred\" "
            "(underlying Error Domain=NSPOSIXErrorDomain Code=111 \"Connection refused\")");
  // Without a message the generic one stands in; no error at all reads (null).
  EXPECT_EQ(Error::make("JSONErrorDomain", -1, UserInfo{})->description(),
            "Error Domain=JSONErrorDomain Code=-1 \"The operation couldn't be completed. "
            "(JSONErrorDomain error -1.)\"");
  EXPECT_EQ(describe(nullptr), "(null)");
  EXPECT_EQ(describe(error), error->description());
}

}  // namespace
}  // namespace lorvane
