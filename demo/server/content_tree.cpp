#include "demo/server/content_tree.h"

#include <sys/stat.h>

#include <cstdio>
#include <ctime>
#include <fstream>
#include <optional>

#include "demo/server/request_path.h"

namespace lorvane::demo {
namespace {

constexpr const char* kFeedCache = "public, max-age=60";
constexpr const char* kMediaCache = "public, max-age=604800";
constexpr const char* kPageCache = "public, max-age=3600";

std::string extensionOf(const std::string& path) {
  auto slash = path.rfind('/');
  auto dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string extension = path.substr(dot + 1);
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return extension;
}

struct Kind {
  std::string contentType;
  bool text = false;
};

Kind kindOf(const std::string& path) {
  std::string extension = extensionOf(path);
  if (extension == "json") return {"application/json; charset=utf-8", true};
  if (extension == "jpg" || extension == "jpeg") return {"image/jpeg"};
  if (extension == "png") return {"image/png"};
  if (extension == "mp4" || extension == "m4v") return {"video/mp4"};
  if (extension == "html") return {"text/html; charset=utf-8", true};
  if (extension == "vtt") return {"text/vtt; charset=utf-8", true};
  return {"application/octet-stream"};
}

// Feeds and the app list carry links that get the server's address.
bool carriesLinks(const std::string& path) {
  return path.starts_with("/feeds/") || path == "/api/app/resourcelist_ng.json";
}

const char* cacheControlFor(const std::string& path) {
  if (carriesLinks(path)) return kFeedCache;
  for (const char* folder : {"/thumbs/", "/icons/", "/videos/"}) {
    if (path.starts_with(folder)) return kMediaCache;
  }
  return kPageCache;
}

bool hasDotComponent(const std::string& path) {
  return path.find("/.") != std::string::npos;
}

std::string httpDate(std::time_t when) {
  std::tm parts{};
  gmtime_r(&when, &parts);
  char text[64];
  std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S GMT", &parts);
  return text;
}

std::optional<std::time_t> parseHttpDate(const std::string& text) {
  std::tm parts{};
  const char* end = strptime(text.c_str(), "%a, %d %b %Y %H:%M:%S GMT", &parts);
  if (!end || *end != '\0') return std::nullopt;
  return timegm(&parts);
}

std::string hex(unsigned long long value) {
  char text[32];
  std::snprintf(text, sizeof text, "%llx", value);
  return text;
}

// One of the tags of an If-None-Match list equals `tag`, weak or not.
bool tagListMatches(const std::string& list, const std::string& tag) {
  auto opaque = [](std::string_view t) { return t.starts_with("W/") ? t.substr(2) : t; };
  std::string_view rest = list;
  while (!rest.empty()) {
    auto comma = rest.find(',');
    std::string_view item = rest.substr(0, comma);
    while (!item.empty() && item.front() == ' ') item.remove_prefix(1);
    while (!item.empty() && item.back() == ' ') item.remove_suffix(1);
    if (item == "*" || opaque(item) == opaque(tag)) return true;
    if (comma == std::string_view::npos) break;
    rest = rest.substr(comma + 1);
  }
  return false;
}

struct Slice {
  std::uint64_t first = 0;
  std::uint64_t end = 0;  // one past the last byte
};

enum class RangeVerdict { Whole, Slice, Unsatisfiable };

// nginx's reading of a Range header, with one range at most (max_ranges 1):
// a form it does not know sends the whole file, an impossible range 416.
RangeVerdict readRange(const std::string& header, std::uint64_t size, Slice* slice) {
  if (header.size() < 7) return RangeVerdict::Whole;
  std::string prefix = header.substr(0, 6);
  for (char& c : prefix) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (prefix != "bytes=") return RangeVerdict::Whole;
  const char* p = header.c_str() + 6;
  int found = 0;
  constexpr std::uint64_t kLimit = (~std::uint64_t{0}) / 10;
  auto skipSpaces = [&] {
    while (*p == ' ') ++p;
  };
  auto number = [&](std::uint64_t* out) {
    if (*p < '0' || *p > '9') return false;
    for (*out = 0; *p >= '0' && *p <= '9'; ++p) {
      if (*out >= kLimit) return false;
      *out = *out * 10 + static_cast<std::uint64_t>(*p - '0');
    }
    return true;
  };
  for (;;) {
    std::uint64_t start = 0, end = 0;
    skipSpaces();
    if (*p == '-') {
      // "-N": the last N bytes.
      ++p;
      if (!number(&end)) return RangeVerdict::Unsatisfiable;
      skipSpaces();
      if (*p != ',' && *p != '\0') return RangeVerdict::Unsatisfiable;
      start = end < size ? size - end : 0;
      end = size;
    } else {
      if (!number(&start)) return RangeVerdict::Unsatisfiable;
      skipSpaces();
      if (*p++ != '-') return RangeVerdict::Unsatisfiable;
      skipSpaces();
      if (*p == ',' || *p == '\0') {
        end = size;  // "N-": from N to the end
      } else {
        if (!number(&end)) return RangeVerdict::Unsatisfiable;
        skipSpaces();
        if (*p != ',' && *p != '\0') return RangeVerdict::Unsatisfiable;
        end = end >= size ? size : end + 1;
      }
    }
    if (start < end) {
      if (++found > 1) return RangeVerdict::Whole;
      slice->first = start;
      slice->end = end;
    } else if (start == 0) {
      return RangeVerdict::Whole;
    }
    if (*p++ != ',') break;
  }
  return found == 0 ? RangeVerdict::Unsatisfiable : RangeVerdict::Slice;
}

std::optional<std::string> readSlice(const std::string& path, std::uint64_t offset,
                                     std::uint64_t length) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  in.seekg(static_cast<std::streamoff>(offset));
  std::string data(length, '\0');
  in.read(data.data(), static_cast<std::streamsize>(length));
  if (static_cast<std::uint64_t>(in.gcount()) != length) return std::nullopt;
  return data;
}

}  // namespace

std::string TreeResponse::header(std::string_view name) const {
  for (const auto& [key, value] : headers) {
    if (key == name) return value;
  }
  return "";
}

std::string withBase(std::string_view text, std::string_view baseURL) {
  while (!baseURL.empty() && baseURL.back() == '/') baseURL.remove_suffix(1);
  const std::string_view marker = ContentTree::kBaseMarker;
  std::string out;
  out.reserve(text.size());
  std::size_t at = 0;
  for (auto hit = text.find(marker); hit != std::string_view::npos; hit = text.find(marker, at)) {
    out.append(text.substr(at, hit - at));
    out.append(baseURL);
    at = hit + marker.size();
  }
  out.append(text.substr(at));
  return out;
}

TreeResponse plainAnswer(int status, std::string body) {
  TreeResponse response;
  response.status = status;
  response.headers.emplace_back("Content-Type", "text/plain; charset=utf-8");
  response.body = std::move(body);
  return response;
}

ContentTree::ContentTree(std::string root, std::string baseURL)
    : root_(std::move(root)), baseURL_(std::move(baseURL)) {
  while (!root_.empty() && root_.back() == '/') root_.pop_back();
  while (!baseURL_.empty() && baseURL_.back() == '/') baseURL_.pop_back();
}

std::string ContentTree::feedFileFor(std::string_view query) {
  auto feed = queryArgument(query, "_method");
  if (feed == "infoJson") return "/feeds/topic.json";
  if (feed == "orvel") return "/feeds/show.json";
  return "";
}

TreeResponse ContentTree::answer(const TreeRequest& request) const {
  if (request.method != "GET" && request.method != "HEAD") {
    return plainAnswer(405, "method not allowed\n");
  }
  auto path = normalisedPath(request.target);
  if (!path || hasDotComponent(*path)) return plainAnswer(404, "not found\n");
  if (*path == "/infolist") {
    std::string feed = feedFileFor(queryOf(request.target));
    if (feed.empty()) return plainAnswer(404, "not found\n");
    return fileAnswer(feed, request);
  }
  return fileAnswer(*path, request);
}

TreeResponse ContentTree::fileAnswer(const std::string& path, const TreeRequest& request) const {
  // Every component below the root must be a plain folder or, at the end,
  // a plain file: a link could lead out of the tree.
  std::string file = root_;
  struct stat info {};
  for (std::size_t at = 1; at <= path.size();) {
    auto slash = path.find('/', at);
    file += "/" + path.substr(at, slash == std::string::npos ? slash : slash - at);
    if (::lstat(file.c_str(), &info) != 0 || S_ISLNK(info.st_mode)) {
      return plainAnswer(404, "not found\n");
    }
    if (slash == std::string::npos) break;
    at = slash + 1;
  }
  if (!S_ISREG(info.st_mode)) return plainAnswer(404, "not found\n");

  Kind kind = kindOf(path);
  const bool linked = carriesLinks(path) && kind.text;
  const auto size = static_cast<std::uint64_t>(info.st_size);
  const std::string lastModified = httpDate(info.st_mtime);
  const std::string tag =
      "\"" + hex(static_cast<unsigned long long>(info.st_mtime)) + "-" + hex(size) + "\"";

  TreeResponse response;
  response.headers.emplace_back("Content-Type", kind.contentType);
  response.headers.emplace_back("Last-Modified", lastModified);

  // A client that holds this version already gets no body.
  if (!request.ifNoneMatch.empty() || !request.ifModifiedSince.empty()) {
    bool modified = false;
    if (!request.ifModifiedSince.empty()) {
      auto since = parseHttpDate(request.ifModifiedSince);
      modified = !since || *since != info.st_mtime;
    }
    if (!modified && !request.ifNoneMatch.empty()) {
      modified = !tagListMatches(request.ifNoneMatch, tag);
    }
    if (!modified) {
      response.status = 304;
      response.headers.emplace_back("ETag", linked ? "W/" + tag : tag);
      response.headers.emplace_back("Cache-Control", cacheControlFor(path));
      return response;
    }
  }
  response.headers.emplace_back("Cache-Control", cacheControlFor(path));

  auto content = [&](std::uint64_t offset, std::uint64_t length) {
    return readSlice(file, offset, length);
  };
  if (linked) {
    // The text changes on the way out: a weak tag, and always the whole.
    auto data = content(0, size);
    if (!data) return plainAnswer(404, "not found\n");
    response.headers.emplace_back("ETag", "W/" + tag);
    response.body = withBase(*data, baseURL_);
    response.compressible = true;
    return response;
  }
  response.headers.emplace_back("ETag", tag);

  bool rangeApplies = !request.range.empty();
  if (rangeApplies && !request.ifRange.empty()) {
    rangeApplies = request.ifRange.front() == '"' || request.ifRange.starts_with("W/")
                       ? request.ifRange == tag
                       : parseHttpDate(request.ifRange) == info.st_mtime;
  }
  Slice slice;
  switch (rangeApplies ? readRange(request.range, size, &slice) : RangeVerdict::Whole) {
    case RangeVerdict::Whole: {
      auto data = content(0, size);
      if (!data) return plainAnswer(404, "not found\n");
      response.headers.emplace_back("Accept-Ranges", "bytes");
      response.body = std::move(*data);
      response.compressible = kind.text;
      return response;
    }
    case RangeVerdict::Unsatisfiable: {
      TreeResponse refused = plainAnswer(416, "range not satisfiable\n");
      refused.headers.emplace_back("Content-Range", "bytes */" + std::to_string(size));
      return refused;
    }
    case RangeVerdict::Slice:
      break;
  }
  response.status = 206;
  response.headers.emplace_back("Content-Range", "bytes " + std::to_string(slice.first) + "-" +
                                                     std::to_string(slice.end - 1) + "/" +
                                                     std::to_string(size));
  auto data = content(slice.first, slice.end - slice.first);
  if (!data) return plainAnswer(404, "not found\n");
  response.body = std::move(*data);
  return response;
}

}  // namespace lorvane::demo
