#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "common/url_loader.h"
#include "platform/ui/image.h"

namespace lorvane {

// Anything that shows a lesson thumbnail (a grid tile, a list row).
class VideoImageReceiver {
 public:
  virtual ~VideoImageReceiver() = default;
  // Nothing clears the picture.
  virtual void setVideoImage(ImagePtr image) = 0;
};

// The documents directory of the application.
std::string searchDocumentDirectory();

// The cache file name of a thumbnail: the text after the last "/" of its
// URL. A name that could leave the folder or name no file ("", ".", "..",
// escaped slashes, NUL bytes, over-long names) is replaced by a name made
// from a hash of the whole URL plus its extension, so it stays stable.
std::string thumbnailFileName(std::string_view imageURL);

// One screen's thumbnail folder under the documents directory ("cool" or
// "show"): looking pictures up and downloading the missing ones.
class ThumbnailCache {
 public:
  explicit ThumbnailCache(std::string folderName) : folderName_(std::move(folderName)) {}

  const std::string& folderName() const { return folderName_; }
  std::string folderPath() const;
  // Creates the folder with intermediate folders; an existing one is fine
  // and failures are ignored (a missing folder only means more downloads).
  void createDirectoryAtPath(const std::string& path) const;
  static bool imageExistsAtPath(const std::string& path);
  std::string pathForImageURL(std::string_view imageURL) const;

  // Takes the cached picture when the file exists (true), else starts a
  // download (false). `deliver` runs on the main thread with the picture:
  // at once for a cached file, later for a download.
  using Delivery = std::function<void(ImagePtr)>;
  bool lookUp(const std::string& imageURL, const Delivery& deliver);

  // Downloads on an operation queue of its own; good bytes are written to
  // `path` atomically on that queue and the picture is then handed to
  // `deliver` on the main thread. Failures are only logged.
  void asyncDownloadAndSave(const std::string& imageURL, const std::string& path, Delivery deliver);

  URLLoader& loader() { return loader_; }

 private:
  std::string folderName_;
  URLLoader loader_;
};

}  // namespace lorvane
