#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "net/net_types.h"
#include "net/transfer_limits.h"

namespace lorvane {

// Frames one HTTP/1.x response out of the bytes a connection delivers: the
// status line, the header fields and a body delimited by Content-Length,
// chunked coding or the end of the connection. It knows nothing of sockets,
// so tests and the fuzzer feed it bytes directly.
class ResponseFraming {
 public:
  struct Limits {
    std::size_t maximumHeaderLength = TransferLimits::kMaximumHeaderLength;
    int maximumInterimResponses = TransferLimits::kMaximumInterimResponses;
  };

  // What went wrong, for callers that answer each failure differently.
  enum class Failure { kNone, kMalformed, kHeaderTooLarge, kTooManyInterimResponses, kTruncated };

  struct Handlers {
    // The complete header has been read.
    std::function<void()> headersReceived;
    // A piece of the decoded body (chunk framing removed).
    std::function<void(const std::uint8_t* bytes, std::size_t length)> bodyReceived;
  };

  enum class State { kReadingHeader, kReadingBody, kComplete, kFailed };

  ResponseFraming();
  explicit ResponseFraming(Handlers handlers);
  ResponseFraming(Handlers handlers, Limits limits);
  ~ResponseFraming();
  ResponseFraming(const ResponseFraming&) = delete;
  ResponseFraming& operator=(const ResponseFraming&) = delete;

  // A reply to HEAD carries no body whatever its header says.
  void setExpectsNoBody(bool noBody);

  // Takes the next bytes from the connection. Returns how many belong to
  // this response; the rest (when complete) is data the server should not
  // have sent.
  std::size_t feed(const std::uint8_t* bytes, std::size_t length);
  // The connection ended. Completes a close-delimited body; anything else
  // still unread makes the response fail.
  void finishInput();

  State state() const { return state_; }
  bool headerComplete() const { return headerDone_; }
  bool isComplete() const { return state_ == State::kComplete; }
  bool hasFailed() const { return state_ == State::kFailed; }
  // Why framing failed, in words.
  const std::string& failureReason() const { return failureReason_; }
  Failure failure() const { return failure_; }
  // Interim (1xx) replies skipped so far.
  int interimResponseCount() const { return interimResponses_; }
  // Whether any byte has been fed at all.
  bool receivedAnything() const { return receivedAnything_; }
  // Whether the body runs until the server closes the connection.
  bool bodyEndsWithConnection() const { return closeDelimited_; }

  int statusCode() const { return statusCode_; }
  // 10 for HTTP/1.0, 11 for HTTP/1.1.
  int httpVersion() const { return version_; }
  // "HTTP/1.1 200 OK".
  const std::string& statusLine() const { return statusLine_; }
  const HeaderList& headerList() const { return fields_; }
  // Repeated fields joined with ", ".
  HeaderMap headers() const;
  std::optional<std::uint64_t> contentLength() const { return contentLength_; }

 private:
  class Parser;
  friend class Parser;
  void fail(std::string reason, Failure failure = Failure::kMalformed);

  Handlers handlers_;
  Limits limits_;
  std::unique_ptr<Parser> parser_;
  State state_ = State::kReadingHeader;
  bool headerDone_ = false;
  bool expectsNoBody_ = false;
  bool receivedAnything_ = false;
  bool closeDelimited_ = false;
  int statusCode_ = 0;
  int version_ = 11;
  std::string statusLine_;
  HeaderList fields_;
  std::optional<std::uint64_t> contentLength_;
  std::string failureReason_;
  Failure failure_ = Failure::kNone;
  int interimResponses_ = 0;
};

}  // namespace lorvane
