#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "net/http_request.h"
#include "platform/foundation/weak_ptr.h"

namespace lorvane {

enum class LessonDownloadState { Waiting, Downloading, Paused, Completed, Failed };

// One lesson kept for playing without a network.
struct LessonDownload {
  std::string key;          // the lesson's video URL, a loopback port aside
  std::string videoURL;     // where it is fetched from
  std::string subtitleURL;  // the lesson's lines, empty when it has none
  std::string title;
  LessonDownloadState state = LessonDownloadState::Waiting;
  std::uint64_t bytesReceived = 0;  // of the video
  std::uint64_t totalBytes = 0;     // the video's length, 0 until known
  std::string message;              // why it paused or failed
  std::string fileStem;             // its files in the folder: <stem>.mp4, <stem>.vtt
  bool hasSubtitles = false;

  // The part received, 0 to 1 (1 once complete).
  double fraction() const;
  // Whole percent for the page's note.
  int percent() const;
};

// The lessons kept for playing offline, in Documents/Offline: each video
// (and its subtitle file) fetched through HTTPRequest into a partial file,
// resumed with a byte range after a pause, a lost network or a killed app,
// its length checked before it is renamed into place. At most
// kMaximumRunning download at once; the rest wait in the order asked. An
// index file keeps the list across launches. Every change is posted as
// kLessonDownloadsDidChangeNotification with the lesson's key under
// "key". Main thread only.
class LessonDownloads : public Weakable {
 public:
  static constexpr int kMaximumRunning = 2;

  // The downloads of the documents folder in use; a new set when the
  // folder moves (each test has its own).
  static LessonDownloads& shared();
  static std::string defaultFolder();

  explicit LessonDownloads(std::string folder);
  ~LessonDownloads();
  LessonDownloads(const LessonDownloads&) = delete;
  LessonDownloads& operator=(const LessonDownloads&) = delete;

  const std::string& folder() const { return folder_; }

  // Starts (or queues) a lesson. A lesson already known is resumed if
  // paused or failed, and left alone otherwise; its URLs are refreshed.
  void download(const std::string& videoURL, const std::string& subtitleURL,
                const std::string& title);
  void pause(std::string_view videoURL);
  void resume(std::string_view videoURL);
  // Stops a download and throws away what it had.
  void cancel(std::string_view videoURL);
  // Deletes a lesson's files, finished or not.
  void remove(std::string_view videoURL);
  void removeAll();

  std::optional<LessonDownload> downloadForURL(std::string_view videoURL) const;
  // Every lesson, in the order first asked for.
  std::vector<LessonDownload> downloads() const;
  std::vector<LessonDownload> completedDownloads() const;
  int runningCount() const;

  // The local video of a complete lesson whose file checks out; empty
  // otherwise. A complete lesson whose file went missing or changed length
  // is marked failed with kDamagedMessage.
  std::string localVideoPathForURL(std::string_view videoURL);
  // Its subtitle file, when it has one and it is there.
  std::string localSubtitlePathForURL(std::string_view videoURL) const;
  // Bytes on disk of a lesson, and of all complete lessons.
  std::uint64_t sizeOnDisk(const LessonDownload& download) const;
  std::uint64_t totalCompletedSize() const;

  // Forgets memory and reads the index again (a new launch). Lessons that
  // were downloading are paused with what they had.
  void reload();
  // What the app's quit does: requests let go, running lessons paused.
  void pauseAllForQuit();

  static constexpr const char* kNoSpaceMessage = "存储空间不足，下载已暂停";
  static constexpr const char* kNoNetworkMessage = "网络不可用，下载已暂停";
  static constexpr const char* kServerErrorMessage = "服务器出错了，下载失败";
  static constexpr const char* kDamagedMessage = "离线文件已损坏，请重新下载";

  // Paths of a lesson's files.
  std::string videoPath(const LessonDownload& d) const;
  std::string subtitlePath(const LessonDownload& d) const;
  // The video as the HTTP client is writing it (resumed from its length).
  std::string partialVideoPath(const LessonDownload& d) const;

 private:
  struct Job;

  Job* find(std::string_view videoURL);
  const Job* find(std::string_view videoURL) const;
  void startWaiting();
  void startVideo(Job& job);
  void startSubtitles(Job& job);
  void videoHeaders(const std::string& key, const HeaderMap& headers);
  void videoFinished(const std::string& key);
  void subtitlesFinished(const std::string& key);
  void requestFailed(const std::string& key);
  void finish(Job& job);
  void stop(Job& job, LessonDownloadState state, const std::string& message);
  void stopRequest(Job& job);
  void removeFiles(const LessonDownload& d, bool alsoComplete);
  void changed(const std::string& key);
  void saveIndex();
  void loadIndex();
  std::string indexPath() const;

  std::string folder_;
  std::vector<std::unique_ptr<Job>> jobs_;  // in the order asked for
  std::uint64_t terminateObservation_ = 0;
};

inline constexpr const char* kLessonDownloadsDidChangeNotification =
    "LessonDownloadsDidChangeNotification";

}  // namespace lorvane
