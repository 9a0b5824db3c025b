#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "common/url_loader.h"
#include "player/web_vtt.h"

namespace lorvane {

// The cache file name of a captions file: its URL's last path component
// when that is a plain file name, else one made from a hash of the whole
// URL, so that no URL can name a file outside the folder.
std::string captionFileName(std::string_view url);

// The lessons' captions files in the folder "captions" of the documents
// directory, one file per URL, kept as the thumbnails are: a file found
// there is used as it is, a missing one is downloaded and stored. Only a readable
// WebVTT file with lines is stored, so a server's error page never takes a
// lesson's captions away for good. Main thread only.
class CaptionCache {
 public:
  explicit CaptionCache(std::string folderName = "captions") : folderName_(std::move(folderName)) {}

  std::string folderPath() const;
  std::string pathForURL(std::string_view url) const;

  // Hands the lines of the file at `url` to `deliver` on the main thread:
  // at once for a stored file (true), after the download otherwise (false).
  // A file that is missing, unreadable or not WebVTT delivers an empty
  // track and a log line.
  using Delivery = std::function<void(CaptionTrack)>;
  bool lookUp(const std::string& url, Delivery deliver);

  URLLoader& loader() { return loader_; }

 private:
  void download(const std::string& url, const std::string& path, Delivery deliver);

  std::string folderName_;
  URLLoader loader_;
};

}  // namespace lorvane
