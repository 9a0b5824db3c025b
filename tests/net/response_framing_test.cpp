#include "net/response_framing.h"

#include <gtest/gtest.h>

#include <string>

namespace lorvane {
namespace {

// Feeds a response in pieces of the given size and collects what comes out.
struct Framed {
  std::string body;
  int headerEvents = 0;
  std::size_t excess = 0;
  std::unique_ptr<ResponseFraming> framing;

  Framed(const std::string& bytes, std::size_t piece, bool noBody = false, bool end = false) {
    ResponseFraming::Handlers handlers;
    handlers.headersReceived = [this] { ++headerEvents; };
    handlers.bodyReceived = [this](const std::uint8_t* data, std::size_t size) {
      body.append(reinterpret_cast<const char*>(data), size);
    };
    ResponseFraming::Limits limits;
    limits.maximumHeaderLength = 4096;
    framing = std::make_unique<ResponseFraming>(std::move(handlers), limits);
    framing->setExpectsNoBody(noBody);
    for (std::size_t at = 0; at < bytes.size(); at += piece) {
      std::size_t size = std::min(piece, bytes.size() - at);
      std::size_t taken =
          framing->feed(reinterpret_cast<const std::uint8_t*>(bytes.data() + at), size);
      if (framing->isComplete() || framing->hasFailed()) {
        excess = bytes.size() - at - taken;
        break;
      }
    }
    if (end) framing->finishInput();
  }
};

const std::string kChunked =
    "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nX-Two: a\r\nX-Two: b\r\n\r\n"
    "5\r\nhello\r\n1;ext=1\r\n \r\n6\r\nworld!\r\n0\r\n\r\n";

TEST(ResponseFramingTest, ContentLengthAndChunkedBodiesInAnyPieceSize) {
  for (std::size_t piece : {1u, 3u, 7u, 64u, 4096u}) {
    Framed sized(
        "HTTP/1.1 404 Not Found\r\nContent-Length: 5\r\nContent-Type: text/plain\r\n\r\nhello",
        piece);
    ASSERT_TRUE(sized.framing->isComplete()) << piece;
    EXPECT_EQ(sized.body, "hello");
    EXPECT_EQ(sized.framing->statusCode(), 404);
    EXPECT_EQ(sized.framing->statusLine(), "HTTP/1.1 404 Not Found");
    EXPECT_EQ(sized.framing->contentLength(), 5u);
    EXPECT_EQ(sized.headerEvents, 1);

    Framed chunked(kChunked, piece);
    ASSERT_TRUE(chunked.framing->isComplete()) << piece;
    EXPECT_EQ(chunked.body, "hello world!");
    EXPECT_EQ(chunked.framing->headers().at("x-two"), "a, b");
    EXPECT_EQ(chunked.framing->headerList().size(), 3u);
  }
}

TEST(ResponseFramingTest, CloseDelimitedBodyEndsWithTheConnection) {
  Framed framed("HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\nuntil the end", 5, false, true);
  EXPECT_TRUE(framed.framing->isComplete());
  EXPECT_TRUE(framed.framing->bodyEndsWithConnection());
  EXPECT_EQ(framed.framing->httpVersion(), 10);
  EXPECT_EQ(framed.body, "until the end");
}

TEST(ResponseFramingTest, InterimReplyIsSkipped) {
  Framed framed("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 201 Created\r\nContent-Length: 2\r\n\r\nok",
                4);
  ASSERT_TRUE(framed.framing->isComplete());
  EXPECT_EQ(framed.framing->statusCode(), 201);
  EXPECT_EQ(framed.body, "ok");
  EXPECT_EQ(framed.headerEvents, 1);
}

TEST(ResponseFramingTest, NoBodyForHeadAndNotModified) {
  Framed head("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n", 10, true);
  EXPECT_TRUE(head.framing->isComplete());
  EXPECT_EQ(head.body, "");
  Framed notModified("HTTP/1.1 304 Not Modified\r\nContent-Length: 10\r\n\r\n", 10);
  EXPECT_TRUE(notModified.framing->isComplete());
}

TEST(ResponseFramingTest, BytesAfterTheResponseAreReportedAsExcess) {
  Framed framed("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nokEXTRA", 100);
  EXPECT_TRUE(framed.framing->isComplete());
  EXPECT_EQ(framed.body, "ok");
  EXPECT_EQ(framed.excess, 5u);
}

TEST(ResponseFramingTest, MalformedResponsesFail) {
  Framed badChunk("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\nhello\r\n0\r\n\r\n",
                  8);
  EXPECT_TRUE(badChunk.framing->hasFailed());

  Framed badStatus("HTTP/9 abc\r\n\r\n", 100);
  EXPECT_TRUE(badStatus.framing->hasFailed());

  std::string huge = "HTTP/1.1 200 OK\r\nX-Big: " + std::string(10000, 'x') + "\r\n\r\n";
  Framed tooLarge(huge, 512);
  EXPECT_TRUE(tooLarge.framing->hasFailed());
  EXPECT_EQ(tooLarge.framing->failureReason(), "The response header is too large");

  // A header that never ends must not be buffered without bound either.
  std::string endless = "HTTP/1.1 200 OK\r\n" + std::string(100000, 'y');
  Framed unbounded(endless, 1000);
  EXPECT_TRUE(unbounded.framing->hasFailed());
}

TEST(ResponseFramingTest, EndOfInputBeforeTheEndFails) {
  Framed shortBody("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc", 100, false, true);
  EXPECT_TRUE(shortBody.framing->hasFailed());
  EXPECT_EQ(shortBody.body, "abc");

  Framed partialHeader("HTTP/1.1 200 OK\r\nContent-Le", 100, false, true);
  EXPECT_TRUE(partialHeader.framing->hasFailed());
  EXPECT_TRUE(partialHeader.framing->receivedAnything());

  Framed nothing("", 100, false, true);
  EXPECT_TRUE(nothing.framing->hasFailed());
  EXPECT_FALSE(nothing.framing->receivedAnything());
}

}  // namespace
}  // namespace lorvane
