#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace lorvane::demo {

// The parts of a request that decide what the content tree answers.
struct TreeRequest {
  std::string method = "GET";
  std::string target;
  std::string range;
  std::string ifRange;
  std::string ifNoneMatch;
  std::string ifModifiedSince;
};

struct TreeResponse {
  int status = 200;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  // Text that may go out gzip-compressed (a whole 200 answer of a text kind).
  bool compressible = false;

  // The value of a header, empty when it is not set.
  std::string header(std::string_view name) const;
};

// Answers requests from a content tree (demo/content/tree.py) by the rules
// of demo/nginx/lorvane-content.conf: the feed URL routed by "_method" to
// its file, "{base}" in the feeds and the app list replaced by the server's
// address, byte ranges, ETag and Last-Modified with conditional requests,
// Cache-Control by kind, and 404 for folders, dot-files, links and
// anything above the tree.
class ContentTree {
 public:
  ContentTree(std::string root, std::string baseURL);

  TreeResponse answer(const TreeRequest& request) const;

  // The path the feed URL's query leads to ("/feeds/topic.json"), or empty.
  static std::string feedFileFor(std::string_view query);
  // The text placed before a link to a file of the tree.
  static constexpr std::string_view kBaseMarker = "{base}";

 private:
  TreeResponse fileAnswer(const std::string& path, const TreeRequest& request) const;

  std::string root_;
  std::string baseURL_;
};

// Text with every "{base}" replaced by baseURL (without its trailing
// slashes): "{base}/thumbs/a.jpg" on "http://h:1" is "http://h:1/thumbs/a.jpg".
std::string withBase(std::string_view text, std::string_view baseURL);

// The plain answers both servers give for errors.
TreeResponse plainAnswer(int status, std::string body);

}  // namespace lorvane::demo
