#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "net/http_request.h"
#include "platform/foundation/run_loop.h"
#include "platform/foundation/url.h"

namespace lorvane::testing {

inline URL mustParse(const std::string& text) {
  auto url = URL::parse(text);
  EXPECT_TRUE(url.has_value()) << text;
  return url.value_or(*URL::parse("http://invalid.invalid/"));
}

// Records every callback in order, on the main thread.
class RecordingDelegate : public HTTPRequestDelegate {
 public:
  RecordingDelegate()
      : HTTPRequestDelegate({HTTPSelector::requestStarted,
                             HTTPSelector::requestDidReceiveResponseHeaders,
                             HTTPSelector::requestFinished, HTTPSelector::requestFailed}) {}
  explicit RecordingDelegate(std::initializer_list<HTTPSelector> selectors)
      : HTTPRequestDelegate(selectors) {}

  void requestStarted(HTTPRequest&) override {
    events.push_back("started");
    check();
  }
  void requestDidReceiveResponseHeaders(HTTPRequest&, const HeaderMap& headers) override {
    events.push_back("headers");
    lastHeaders = headers;
    check();
  }
  void requestWillRedirectToURL(HTTPRequest& request, const URL& url) override {
    events.push_back("willRedirect " + url.absoluteString());
    if (followRedirects) request.redirectToURL(url);
  }
  void requestFinished(HTTPRequest&) override {
    events.push_back("finished");
    ++finished;
    check();
  }
  void requestFailed(HTTPRequest& request) override {
    events.push_back("failed");
    ++failed;
    error = request.error();
    check();
  }
  void requestDidReceiveData(HTTPRequest&, const Data& data) override {
    received.insert(received.end(), data.begin(), data.end());
  }

  bool done() const { return finished + failed > 0; }
  void check() { EXPECT_TRUE(isMainThread()) << "callback off the main thread"; }

  std::vector<std::string> events;
  HeaderMap lastHeaders;
  int finished = 0;
  int failed = 0;
  ErrorPtr error;
  Data received;
  bool followRedirects = true;
};

// Runs the main loop until the delegate has heard the end of the request.
inline bool waitFor(const RecordingDelegate& delegate, double seconds = 10.0) {
  return RunLoop::main().runUntil([&] { return delegate.done(); }, seconds);
}

inline bool waitForFinished(const HTTPRequest& request, double seconds = 10.0) {
  return RunLoop::main().runUntil([&] { return request.isFinished(); }, seconds);
}

// Starts a GET of `url` with the delegate, set up further by `configure`,
// and runs the main loop until the delegate hears its end.
inline HTTPRequest::Pointer fetch(const std::string& url, RecordingDelegate& delegate,
                                  const std::function<void(HTTPRequest&)>& configure = {},
                                  double seconds = 10.0) {
  auto request = HTTPRequest::requestWithURL(mustParse(url));
  request->setDelegate(&delegate);
  if (configure) configure(*request);
  request->startAsynchronous();
  EXPECT_TRUE(waitFor(delegate, seconds)) << "no answer for " << url;
  return request;
}

}  // namespace lorvane::testing

namespace lorvane::testing {

// Binds the main run loop to the test thread before any network thread can
// post to it, and drains what a test left behind.
class NetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RunLoop::main().bindToCurrentThread();
    RunLoop::main().runUntilIdle();
  }
  void TearDown() override { RunLoop::main().runUntilIdle(); }
};

}  // namespace lorvane::testing
