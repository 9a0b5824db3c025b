#include <utility>  // Boost 1.74's Asio needs it first under C++20 with g++ 12

#include "net/response_framing.h"

#include <boost/beast/core/error.hpp>
#include <boost/beast/http/basic_parser.hpp>
#include <boost/beast/http/error.hpp>
#include <limits>
#include <vector>

namespace lorvane {

namespace http = boost::beast::http;
using boost::beast::error_code;
using boost::beast::string_view;

// Beast does the byte-level framing; we only collect what it reports.
class ResponseFraming::Parser : public http::basic_parser<false> {
 public:
  explicit Parser(ResponseFraming& owner) : owner_(owner) {
    eager(true);
    // The request layer bounds what it keeps; Beast 1.74 mishandles "none".
    body_limit(std::numeric_limits<std::uint64_t>::max());
    header_limit(static_cast<std::uint32_t>(owner.limits_.maximumHeaderLength));
    if (owner.expectsNoBody_) skip(true);
  }

  std::vector<std::uint8_t> pending;  // bytes that must be presented again
  bool interim = false;               // the header was a 1xx reply

 private:
  void on_request_impl(http::verb, string_view, string_view, int, error_code& ec) override {
    ec = http::error::bad_method;
  }

  void on_response_impl(int code, string_view reason, int version, error_code&) override {
    owner_.statusCode_ = code;
    owner_.version_ = version;
    owner_.statusLine_ = "HTTP/" + std::to_string(version / 10) + "." +
                         std::to_string(version % 10) + " " + std::to_string(code);
    if (!reason.empty()) {
      owner_.statusLine_ += ' ';
      owner_.statusLine_.append(reason.data(), reason.size());
    }
  }

  void on_field_impl(http::field, string_view name, string_view value, error_code&) override {
    owner_.fields_.emplace_back(std::string(name), std::string(value));
  }

  // Called inside put(), before any body byte: the owner must learn about
  // the header before the body starts to arrive.
  void on_header_impl(error_code& ec) override {
    int status = owner_.statusCode_;
    if (status >= 100 && status < 200 && status != 101) {
      interim = true;
      return;
    }
    owner_.headerDone_ = true;
    owner_.state_ = State::kReadingBody;
    bool bodyless = owner_.expectsNoBody_ || status == 204 || status == 304;
    owner_.closeDelimited_ = !bodyless && !chunked() && !content_length().has_value();
    if (owner_.handlers_.headersReceived) owner_.handlers_.headersReceived();
    if (owner_.state_ == State::kFailed) ec = http::error::partial_message;  // stop here
  }

  void on_body_init_impl(boost::optional<std::uint64_t> const& length, error_code&) override {
    if (length) owner_.contentLength_ = *length;
  }

  std::size_t on_body_impl(string_view body, error_code&) override {
    deliver(body);
    return body.size();
  }

  void on_chunk_header_impl(std::uint64_t, string_view, error_code&) override {}

  std::size_t on_chunk_body_impl(std::uint64_t, string_view body, error_code&) override {
    deliver(body);
    return body.size();
  }

  void on_finish_impl(error_code&) override {}

  void deliver(string_view body) {
    if (!body.empty() && owner_.handlers_.bodyReceived) {
      owner_.handlers_.bodyReceived(reinterpret_cast<const std::uint8_t*>(body.data()),
                                    body.size());
    }
  }

  ResponseFraming& owner_;
};

ResponseFraming::ResponseFraming() : ResponseFraming(Handlers{}, Limits{}) {}

ResponseFraming::ResponseFraming(Handlers handlers)
    : ResponseFraming(std::move(handlers), Limits{}) {}

ResponseFraming::ResponseFraming(Handlers handlers, Limits limits)
    : handlers_(std::move(handlers)), limits_(limits) {
  parser_ = std::make_unique<Parser>(*this);
}

ResponseFraming::~ResponseFraming() = default;

void ResponseFraming::setExpectsNoBody(bool noBody) {
  expectsNoBody_ = noBody;
  parser_->skip(noBody);
}

void ResponseFraming::fail(std::string reason, Failure failure) {
  state_ = State::kFailed;
  failureReason_ = std::move(reason);
  failure_ = failure;
}

HeaderMap ResponseFraming::headers() const {
  HeaderMap map;
  for (const auto& [name, value] : fields_) {
    auto [it, inserted] = map.emplace(name, value);
    if (!inserted) it->second += ", " + value;
  }
  return map;
}

std::size_t ResponseFraming::feed(const std::uint8_t* bytes, std::size_t length) {
  if (state_ == State::kComplete || state_ == State::kFailed) return 0;
  if (length > 0) receivedAnything_ = true;
  std::size_t taken = 0;
  for (;;) {
    // Beast wants a whole header (or chunk header) in one buffer, so a
    // partial one waits in `pending` until more arrives; body bytes
    // otherwise go straight through without a copy.
    std::vector<std::uint8_t>& held = parser_->pending;
    const bool fromPending = !held.empty();
    if (fromPending && taken < length) {
      held.insert(held.end(), bytes + taken, bytes + length);
      taken = length;
    }
    const std::uint8_t* data = fromPending ? held.data() : bytes + taken;
    const std::size_t size = fromPending ? held.size() : length - taken;
    if (size == 0) break;

    error_code ec;
    std::size_t used = parser_->put(boost::asio::const_buffer(data, size), ec);
    const bool needMore = ec == http::error::need_more;
    if (state_ == State::kFailed) return taken;  // a handler gave up on the reply
    if (ec && !needMore) {
      if (ec == http::error::header_limit) {
        fail("The response header is too large", Failure::kHeaderTooLarge);
      } else {
        fail("The response is malformed: " + ec.message());
      }
      return taken;
    }
    if (fromPending) {
      held.erase(held.begin(), held.begin() + static_cast<std::ptrdiff_t>(used));
    } else {
      taken += used;
    }

    if (parser_->interim && parser_->is_done()) {
      // An interim reply; the real one follows on the same connection.
      if (++interimResponses_ > limits_.maximumInterimResponses) {
        fail("The server sent more than " + std::to_string(limits_.maximumInterimResponses) +
                 " interim responses",
             Failure::kTooManyInterimResponses);
        return taken;
      }
      std::vector<std::uint8_t> rest = std::move(held);
      fields_.clear();
      contentLength_.reset();
      parser_ = std::make_unique<Parser>(*this);
      parser_->pending = std::move(rest);
      continue;
    }

    if (parser_->is_done()) {
      state_ = State::kComplete;
      // Bytes still held past the end are excess from this call's input.
      std::size_t excess = std::min(length, parser_->pending.size());
      parser_->pending.clear();
      return fromPending ? length - excess : taken;
    }
    if (needMore || used == 0) {
      if (!fromPending && taken < length) {
        parser_->pending.assign(bytes + taken, bytes + length);
        taken = length;
      }
      if (parser_->pending.size() > limits_.maximumHeaderLength) {
        fail("The response header is too large", Failure::kHeaderTooLarge);
      }
      break;
    }
  }
  return taken;
}

void ResponseFraming::finishInput() {
  if (state_ == State::kComplete || state_ == State::kFailed) return;
  if (!receivedAnything_) {
    fail("The connection closed before any response arrived");
    return;
  }
  error_code ec;
  if (!parser_->pending.empty()) {
    // A partial header never completes.
    fail("The connection closed inside the response header", Failure::kTruncated);
    return;
  }
  parser_->put_eof(ec);
  if (ec) {
    fail(headerDone_ ? "The connection closed before the response body was complete"
                     : "The connection closed inside the response header",
         Failure::kTruncated);
    return;
  }
  if (parser_->is_done()) state_ = State::kComplete;
}

}  // namespace lorvane
