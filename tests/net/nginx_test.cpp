#include <gtest/gtest.h>

#include "net/connection_pool.h"
#include "net/http_request.h"
#include "net_test_support.h"
#include "support/net/nginx_server.h"

namespace lorvane {
namespace {

using testing::mustParse;
using testing::NginxServer;
using testing::RecordingDelegate;
using testing::TemporaryDirectory;

class NginxTest : public testing::NetTest {
 protected:
  void SetUp() override {
    NetTest::SetUp();
    if (!NginxServer::isAvailable()) GTEST_SKIP() << "nginx is not installed";
    ConnectionPool::shared().removeAll();
    content_.write("feed.json", "{\"data\":[" + std::string(4000, ' ') + "]}");
  }

  static HTTPRequest::Pointer fetch(const std::string& url, RecordingDelegate& delegate,
                                    const std::function<void(HTTPRequest&)>& configure = {}) {
    return testing::fetch(url, delegate, configure, 15);
  }

  TemporaryDirectory content_;
};

TEST_F(NginxTest, KeepAliveGzipAndMissingFiles) {
  NginxServer::Options options;
  options.root = content_.path();
  options.extraServerConfig = "gzip on; gzip_types application/json; gzip_min_length 10;";
  options.keepaliveRequests = 3;
  NginxServer nginx(options);
  ASSERT_TRUE(nginx.running());

  RecordingDelegate first;
  auto one = fetch(nginx.url("/feed.json"), first);
  ASSERT_EQ(first.finished, 1) << (first.error ? first.error->localizedDescription() : "");
  EXPECT_TRUE(one->isResponseCompressed());
  EXPECT_LT(one->rawResponseData().size(), 1000u);
  ASSERT_TRUE(one->responseString());
  EXPECT_EQ(one->responseString()->size(), 4011u);

  RecordingDelegate second;
  auto two = fetch(nginx.url("/feed.json"), second);
  EXPECT_TRUE(two->usedReusedConnection());

  // nginx closes after its third request on a connection and says so.
  RecordingDelegate third;
  auto three = fetch(nginx.url("/missing.json"), third);
  EXPECT_EQ(third.finished, 1);
  EXPECT_EQ(three->responseStatusCode(), 404);
  EXPECT_FALSE(three->connectionCanBeReused());
  RecordingDelegate fourth;
  auto four = fetch(nginx.url("/feed.json"), fourth);
  EXPECT_EQ(fourth.finished, 1);
  EXPECT_FALSE(four->usedReusedConnection());
}

TEST_F(NginxTest, HeadRequestHasNoBody) {
  NginxServer::Options options;
  options.root = content_.path();
  NginxServer nginx(options);
  ASSERT_TRUE(nginx.running());
  RecordingDelegate delegate;
  auto request = fetch(nginx.url("/feed.json"), delegate, [](HTTPRequest& r) {
    r.setRequestMethod("HEAD");
    r.setAllowCompressedResponse(false);
  });
  EXPECT_EQ(delegate.finished, 1);
  EXPECT_TRUE(request->rawResponseData().empty());
  EXPECT_EQ(request->responseHeaders().at("Content-Length"), "4011");
  // The connection stays usable after a body-less reply.
  RecordingDelegate after;
  auto next = fetch(nginx.url("/feed.json"), after);
  EXPECT_TRUE(next->usedReusedConnection());
  EXPECT_EQ(next->responseString()->size(), 4011u);
}

TEST_F(NginxTest, SelfSignedCertificateFailsUnlessValidationIsOff) {
  testing::SelfSignedCertificate certificate;
  ASSERT_TRUE(testing::SelfSignedCertificate::create(content_.path(), &certificate));
  NginxServer::Options options;
  options.root = content_.path();
  options.certificatePath = certificate.certificatePath;
  options.keyPath = certificate.keyPath;
  NginxServer nginx(options);
  ASSERT_TRUE(nginx.running()) << nginx.errorLog();

  RecordingDelegate checked;
  fetch(nginx.url("/feed.json"), checked);
  ASSERT_EQ(checked.failed, 1);
  EXPECT_EQ(checked.error->code, 1);
  EXPECT_EQ(checked.error->localizedDescription(),
            "A connection failure occurred: SSL problem (Possible causes may include a "
            "bad/expired/self-signed certificate, clock set to wrong date)");
  ASSERT_TRUE(checked.error->underlyingError());

  RecordingDelegate trusting;
  auto request = fetch(nginx.url("/feed.json"), trusting,
                       [](HTTPRequest& r) { r.setValidatesSecureCertificate(false); });
  ASSERT_EQ(trusting.finished, 1) << (trusting.error ? trusting.error->localizedDescription() : "");
  EXPECT_EQ(request->responseStatusCode(), 200);
  EXPECT_EQ(request->responseString()->size(), 4011u);

  // The unchecked connection is not lent to a request that checks.
  RecordingDelegate checkedAgain;
  fetch(nginx.url("/feed.json"), checkedAgain);
  EXPECT_EQ(checkedAgain.failed, 1);
}

}  // namespace
}  // namespace lorvane
