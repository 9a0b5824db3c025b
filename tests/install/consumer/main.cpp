// Uses the installed libraries together: the HTTP client fetches a lesson
// feed from a small server on the loopback interface, and the JSON codec
// decodes it and writes it back.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <thread>

#include "json/json.h"
#include "net/http_request.h"
#include "platform/foundation/url.h"

namespace {

const std::string kFeed =
    R"([{"data":[{"title":"Greetings","seconds":95},{"title":"At the café","seconds":120.5},)"
    R"({"title":"Numbers","seconds":61}],"page":1}])";

// Answers one request with the feed and closes the connection.
class FeedServer {
 public:
  FeedServer() {
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        listen(listener_, 1) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      std::perror("listen");
      return;
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { serve(); });
  }
  ~FeedServer() {
    if (thread_.joinable()) thread_.join();
    close(listener_);
  }
  int port() const { return port_; }
  const std::string& requestText() const { return request_; }

 private:
  void serve() {
    const int connection = accept(listener_, nullptr, nullptr);
    if (connection < 0) return;
    char buffer[4096];
    while (request_.find("\r\n\r\n") == std::string::npos) {
      const ssize_t got = read(connection, buffer, sizeof buffer);
      if (got <= 0) break;
      request_.append(buffer, static_cast<std::size_t>(got));
    }
    const std::string response =
        "HTTP/1.1 200 OK\r\nContent-Type: application/json; charset=utf-8\r\n"
        "Content-Length: " +
        std::to_string(kFeed.size()) + "\r\nConnection: close\r\n\r\n" + kFeed;
    for (std::size_t sent = 0; sent < response.size();) {
      const ssize_t put = write(connection, response.data() + sent, response.size() - sent);
      if (put <= 0) break;
      sent += static_cast<std::size_t>(put);
    }
    close(connection);
  }

  int listener_ = -1;
  int port_ = 0;
  std::string request_;
  std::thread thread_;
};

int fail(const std::string& why) {
  std::fprintf(stderr, "consumer: %s\n", why.c_str());
  return 1;
}

}  // namespace

int main() {
  using namespace lorvane;
  std::optional<std::string> body;
  std::string requestText;
  {
    FeedServer server;
    if (!server.port()) return fail("no server");
    const auto url = URL::parse("http://127.0.0.1:" + std::to_string(server.port()) + "/infolist");
    if (!url) return fail("URL not parsed");
    HTTPRequest::Pointer request = HTTPRequest::requestWithURL(*url);
    request->startSynchronous();
    if (ErrorPtr error = request->error()) return fail("fetch: " + error->localizedDescription());
    if (request->responseStatusCode() != 200) return fail("status");
    body = request->responseString();
    if (!body) return fail("no body");
  }

  JSONError error;
  JSONValueRef feed = objectFromJSONStringWithParseOptions(*body, JSONParseStrict, &error);
  if (!feed) return fail("decode: " + error.description);
  const JSONArray* pages = feed->asArray();
  if (!pages || pages->count() != 1) return fail("not one page");
  const JSONDictionary* page = pages->objectAtIndex(0)->asDictionary();
  const JSONValue* records = page ? page->objectForKey("data") : nullptr;
  if (!records || !records->asArray()) return fail("no records");
  const JSONArray* lessons = records->asArray();
  const JSONValue* second = lessons->objectAtIndex(1)->asDictionary()->objectForKey("title");
  if (!second || second->stringValue() != "At the café") return fail("wrong title");

  const std::optional<std::string> written = JSONString(*feed);
  if (!written) return fail("encode");
  JSONValueRef again = objectFromJSONString(*written);
  if (!again || !again->isEqual(*feed)) return fail("round trip changed the feed");
  std::printf("fetched and decoded %zu lessons\n", lessons->count());
  return 0;
}
