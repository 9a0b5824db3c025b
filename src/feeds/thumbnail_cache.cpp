#include "feeds/thumbnail_cache.h"

#include <cctype>
#include <cstdint>
#include <cstdio>

#include "platform/foundation/file_manager.h"
#include "platform/foundation/log.h"
#include "platform/foundation/run_loop.h"
#include "platform/foundation/url.h"

namespace lorvane {
namespace {

constexpr std::size_t kMaxFileNameBytes = 255;

bool isSafeFileName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  if (name.size() > kMaxFileNameBytes) return false;
  if (name.find('\0') != std::string_view::npos || name.find('\\') != std::string_view::npos) {
    return false;
  }
  // Something down the line may decode the name; it must stay one harmless
  // component after that too.
  std::string decoded = percentDecode(name);
  if (decoded.empty() || decoded == "." || decoded == "..") return false;
  return decoded.find('/') == std::string::npos && decoded.find('\\') == std::string::npos &&
         decoded.find('\0') == std::string::npos;
}

std::uint64_t fnv1a(std::string_view text) {
  std::uint64_t hash = 1469598103934665603ull;
  for (unsigned char c : text) {
    hash ^= c;
    hash *= 1099511628211ull;
  }
  return hash;
}

// The URL's extension when it is a plain short word, so derived names of
// ".jpg" pictures still count as pictures of the list.
std::string safeExtension(std::string_view imageURL) {
  std::string path(imageURL.substr(0, imageURL.find_first_of("?#")));
  std::string extension = pathExtension(percentDecode(path));
  if (extension.empty() || extension.size() > 8) return {};
  for (unsigned char c : extension) {
    if (!std::isalnum(c)) return {};
  }
  return extension;
}

}  // namespace

std::string searchDocumentDirectory() {
  return FileManager::defaultManager().documentsDirectory();
}

std::string thumbnailFileName(std::string_view imageURL) {
  std::size_t slash = imageURL.rfind('/');
  std::string_view name = slash == std::string_view::npos ? imageURL : imageURL.substr(slash + 1);
  if (isSafeFileName(name)) return std::string(name);
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(fnv1a(imageURL)));
  std::string derived = std::string("thumb-") + hex;
  std::string extension = safeExtension(imageURL);
  if (!extension.empty()) derived += "." + extension;
  return derived;
}

std::string ThumbnailCache::folderPath() const {
  return appendingPathComponent(searchDocumentDirectory(), folderName_);
}

void ThumbnailCache::createDirectoryAtPath(const std::string& path) const {
  FileManager::defaultManager().createDirectory(path, true, nullptr);
}

bool ThumbnailCache::imageExistsAtPath(const std::string& path) {
  return FileManager::defaultManager().fileExists(path);
}

std::string ThumbnailCache::pathForImageURL(std::string_view imageURL) const {
  return appendingPathComponent(folderPath(), thumbnailFileName(imageURL));
}

bool ThumbnailCache::lookUp(const std::string& imageURL, const Delivery& deliver) {
  std::string folder = folderPath();
  createDirectoryAtPath(folder);
  std::string path = appendingPathComponent(folder, thumbnailFileName(imageURL));
  if (imageExistsAtPath(path)) {
    if (deliver) deliver(Image::imageWithContentsOfFile(path));
    return true;
  }
  asyncDownloadAndSave(imageURL, path, deliver);
  return false;
}

void ThumbnailCache::asyncDownloadAndSave(const std::string& imageURL, const std::string& path,
                                          Delivery deliver) {
  loader_.sendAsynchronousRequest(imageURL, [path, deliver](const URLLoadResult& result) {
    if (result.error) {
      Log("error:" + result.error->description());
      return;
    }
    if (result.data.empty()) {
      Log("nothing download!");
      return;
    }
    // Bytes that make no picture are kept too: the file is what the server sent.
    ImagePtr image = Image::imageWithData(result.data);
    ErrorPtr writeError;
    if (!FileManager::defaultManager().writeAtomically(path, result.data, &writeError)) {
      Log("error:" + (writeError ? writeError->description() : "cannot write " + path));
    }
    if (deliver) RunLoop::main().post([deliver, image] { deliver(image); });
  });
}

}  // namespace lorvane
