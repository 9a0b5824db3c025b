#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

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
// lesson's captions away for good.
//
// One cache serves the whole process (shared()): a download belongs to it,
// not to the page that asked, so leaving a page never waits on a fetch or
// cuts it short; the file is kept for the next visit, and pages asking for
// a file already on its way wait for that same download. Main thread only
// (the downloads themselves run on their loader's threads).
class CaptionCache {
 public:
  explicit CaptionCache(std::string folderName = "captions");
  CaptionCache(const CaptionCache&) = delete;
  CaptionCache& operator=(const CaptionCache&) = delete;

  // The process-wide cache. Never destroyed: its downloads may end after
  // main has returned (the program's exit cancels them with the network).
  static CaptionCache& shared();

  std::string folderPath() const;
  std::string pathForURL(std::string_view url) const;

  // Hands the lines of the file at `url` to `deliver` on the main thread:
  // at once for a stored file (true), after the download otherwise (false).
  // A file that is missing, unreadable or not WebVTT delivers an empty
  // track and a log line. A caller that goes away before its delivery
  // makes its `deliver` ignore it; nothing is cancelled for it.
  using Delivery = std::function<void(CaptionTrack)>;
  bool lookUp(const std::string& url, Delivery deliver);

  // Files being downloaded now.
  std::size_t downloadsUnderWay() const;

  URLLoader& loader() { return loader_; }

 private:
  // Who waits for which download, by URL. Shared with the downloads'
  // completions, which may outlive a cache that is not the shared one.
  struct Waiting;
  void download(const std::string& url, const std::string& path);

  std::string folderName_;
  std::shared_ptr<Waiting> waiting_;
  URLLoader loader_;
};

}  // namespace lorvane
