#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace lorvane {

// How far a learner got in one lesson.
struct LessonProgress {
  double position = 0;  // seconds into the video
  double duration = 0;  // the video's length in seconds; 0 while unknown
  bool finished = false;

  // The part watched, 0 to 1; a finished lesson is all watched.
  double fraction() const;
};

// Where each lesson was left, kept in the documents folder
// (LessonProgress.json) and keyed by the lesson's video URL. Every save
// replaces the file durably, so a quit or a crash at any moment leaves the
// last good file. A file that cannot be read is set aside
// (LessonProgress.corrupt-<time>.json), logged, and the store starts empty.
// Main thread only.
class LessonProgressStore {
 public:
  // The store of the documents folder in use; a store for the new folder
  // when the folder moves (each test has its own).
  static LessonProgressStore& shared();
  static std::string defaultPath();

  explicit LessonProgressStore(std::string path);
  const std::string& path() const { return path_; }

  // The key of a video URL: the URL itself, except that a loopback host
  // loses its port, so the sample server's port of the day does not count.
  static std::string keyForURL(std::string_view url);

  std::optional<LessonProgress> progressForURL(std::string_view url) const;
  // Records the position; within kFinishedTailSeconds of the end the lesson
  // counts as finished. A lesson once finished stays finished.
  void recordPosition(std::string_view url, double position, double duration);
  void recordFinished(std::string_view url, double duration);
  void removeURL(std::string_view url);
  std::size_t count() const { return entries_.size(); }

  // Where a lesson opened now starts: its saved position, or 0 for a new,
  // finished or nearly finished one (or one barely begun).
  double resumePositionForURL(std::string_view url) const;

  // Writes the file when something changed. False (and logged) when the
  // disk refused; what is in memory stays and the next save tries again.
  bool save();
  bool hasUnsavedChanges() const { return dirty_; }
  // Reads the file again, forgetting what was in memory (a new launch).
  void reload();
  // Where the last unreadable file was set aside, if one was.
  const std::string& setAsidePath() const { return setAsidePath_; }

  static constexpr double kFinishedTailSeconds = 3;
  static constexpr double kMinimumResumeSeconds = 1;

 private:
  void load();
  void setAside(const std::string& why);

  std::string path_;
  std::map<std::string, LessonProgress, std::less<>> entries_;
  bool dirty_ = false;
  std::string setAsidePath_;
};

}  // namespace lorvane
