#pragma once

#include <cstdint>
#include <initializer_list>
#include <set>

#include "net/net_types.h"
#include "platform/foundation/url.h"
#include "platform/foundation/weak_ptr.h"

namespace lorvane {

class HTTPRequest;

// The optional operations a request (or a request queue) can call back.
enum class HTTPSelector {
  requestStarted,
  requestDidReceiveResponseHeaders,
  requestWillRedirectToURL,
  requestRedirected,
  requestFinished,
  requestFailed,
  requestDidReceiveData,
  authenticationNeededForRequest,
  proxyAuthenticationNeededForRequest,
  requestDidReceiveBytes,
  requestDidSendBytes,
  requestIncrementDownloadSizeBy,
  requestIncrementUploadSizeBy,
};

// Receives a request's callbacks, on the main thread. Every operation is
// optional: a delegate says which ones it implements, and only those are
// called. The request never owns its delegate, and forgets one that dies.
//
//   class Screen : public HTTPRequestDelegate {
//    public:
//     Screen() : HTTPRequestDelegate({HTTPSelector::requestFinished,
//                                     HTTPSelector::requestFailed}) {}
//     void requestFinished(HTTPRequest& request) override;
//     void requestFailed(HTTPRequest& request) override;
//   };
class HTTPRequestDelegate : public virtual Weakable {
 public:
  explicit HTTPRequestDelegate(std::initializer_list<HTTPSelector> implemented = {})
      : implemented_(implemented) {}
  virtual ~HTTPRequestDelegate() = default;

  virtual bool respondsToSelector(HTTPSelector selector) const {
    return implemented_.count(selector) != 0;
  }

  virtual void requestStarted(HTTPRequest&) {}
  virtual void requestDidReceiveResponseHeaders(HTTPRequest&, const HeaderMap&) {}
  // The delegate decides: it calls request.redirectToURL(url) to go on.
  virtual void requestWillRedirectToURL(HTTPRequest&, const URL&) {}
  virtual void requestRedirected(HTTPRequest&) {}
  virtual void requestFinished(HTTPRequest&) {}
  virtual void requestFailed(HTTPRequest&) {}
  // A delegate with this operation receives the body in pieces instead of
  // having the request collect it.
  virtual void requestDidReceiveData(HTTPRequest&, const Data&) {}
  virtual void authenticationNeededForRequest(HTTPRequest&) {}
  virtual void proxyAuthenticationNeededForRequest(HTTPRequest&) {}
  virtual void requestDidReceiveBytes(HTTPRequest&, std::int64_t) {}
  virtual void requestDidSendBytes(HTTPRequest&, std::int64_t) {}
  virtual void requestIncrementDownloadSizeBy(HTTPRequest&, std::int64_t) {}
  virtual void requestIncrementUploadSizeBy(HTTPRequest&, std::int64_t) {}

 protected:
  void setImplementedSelectors(std::initializer_list<HTTPSelector> implemented) {
    implemented_ = implemented;
  }

 private:
  std::set<HTTPSelector> implemented_;
};

}  // namespace lorvane
