#include "player/caption_cache.h"

#include <cstdint>
#include <cstdio>
#include <map>
#include <vector>

#include "platform/foundation/file_manager.h"
#include "platform/foundation/log.h"
#include "platform/foundation/run_loop.h"
#include "platform/foundation/url.h"

namespace lorvane {

namespace {

constexpr std::size_t kMaxNameBytes = 128;

bool isPlainFileName(std::string_view name) {
  if (name.empty() || name.size() > kMaxNameBytes || name.front() == '.') return false;
  for (unsigned char c : name) {
    bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                 c == '.' || c == '-' || c == '_';
    if (!plain) return false;
  }
  return true;
}

std::uint64_t fnv1a(std::string_view text) {
  std::uint64_t hash = 1469598103934665603ull;
  for (unsigned char c : text) {
    hash ^= c;
    hash *= 1099511628211ull;
  }
  return hash;
}

std::string_view asText(const Data& data) {
  return {reinterpret_cast<const char*>(data.data()), data.size()};
}

}  // namespace

std::string captionFileName(std::string_view url) {
  std::string_view path = url.substr(0, url.find_first_of("?#"));
  std::size_t slash = path.rfind('/');
  std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  if (isPlainFileName(name) && url.size() == path.size()) return std::string(name);
  // A query makes a different file of the same name: the hash keeps them apart.
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(fnv1a(url)));
  return std::string("captions-") + hex + ".vtt";
}

struct CaptionCache::Waiting {
  std::map<std::string, std::vector<Delivery>> byURL;
};

CaptionCache::CaptionCache(std::string folderName)
    : folderName_(std::move(folderName)), waiting_(std::make_shared<Waiting>()) {}

CaptionCache& CaptionCache::shared() {
  static auto* cache = new CaptionCache();
  return *cache;
}

std::string CaptionCache::folderPath() const {
  return appendingPathComponent(FileManager::defaultManager().documentsDirectory(), folderName_);
}

std::string CaptionCache::pathForURL(std::string_view url) const {
  return appendingPathComponent(folderPath(), captionFileName(url));
}

std::size_t CaptionCache::downloadsUnderWay() const {
  return waiting_->byURL.size();
}

bool CaptionCache::lookUp(const std::string& url, Delivery deliver) {
  FileManager& files = FileManager::defaultManager();
  files.createDirectory(folderPath(), true, nullptr);
  std::string path = pathForURL(url);
  if (files.fileExists(path)) {
    if (auto data = files.contentsAtPath(path)) {
      WebVTTResult result = parseWebVTT(asText(*data));
      if (result.valid) {
        if (deliver) deliver(std::move(result.track));
        return true;
      }
    }
    // Damaged on disk: fetch it again rather than never show the lines.
    Log("captions: cannot read " + path + ", fetching it again");
    files.removeItem(path, nullptr);
  }
  auto [entry, first] = waiting_->byURL.try_emplace(url);
  entry->second.push_back(std::move(deliver));
  // Already on its way for another page: that download serves this one too.
  if (first) download(url, path);
  return false;
}

void CaptionCache::download(const std::string& url, const std::string& path) {
  std::weak_ptr<Waiting> waiting = waiting_;
  loader_.sendAsynchronousRequest(url, [url, path, waiting](const URLLoadResult& loaded) {
    CaptionTrack track;
    if (loaded.error) {
      Log("captions: error:" + loaded.error->description() + " (" + url + ")");
    } else if (loaded.data.empty()) {
      Log("captions: nothing download! (" + url + ")");
    } else {
      WebVTTResult result = parseWebVTT(asText(loaded.data));
      if (!result.valid) {
        Log("captions: " + url + ": " + result.problem);
      } else if (result.track.empty()) {
        // Kept, it would hide a mended file on the server for good.
        Log("captions: " + url + ": no readable lines");
      } else {
        if (result.skippedBlocks > 0) {
          Log("captions: " + url + ": " + std::to_string(result.skippedBlocks) +
              " unreadable cues left out");
        }
        ErrorPtr writeError;
        if (!FileManager::defaultManager().writeAtomically(path, loaded.data, &writeError)) {
          Log("captions: error:" +
              (writeError ? writeError->description() : "cannot write " + path));
        }
        track = std::move(result.track);
      }
    }
    RunLoop::main().post([url, waiting, track = std::move(track)]() {
      auto state = waiting.lock();
      if (!state) return;
      auto entry = state->byURL.find(url);
      if (entry == state->byURL.end()) return;
      std::vector<Delivery> deliveries = std::move(entry->second);
      state->byURL.erase(entry);
      for (Delivery& deliver : deliveries) {
        if (deliver) deliver(track);
      }
    });
  });
}

}  // namespace lorvane
