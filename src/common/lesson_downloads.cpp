#include "common/lesson_downloads.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "common/durable_file.h"
#include "common/lesson_progress_store.h"
#include "json/json.h"
#include "net/net_types.h"
#include "platform/foundation/file_manager.h"
#include "platform/foundation/log.h"
#include "platform/foundation/notification_center.h"
#include "platform/foundation/url.h"
#include "platform/ui/application.h"

namespace lorvane {

namespace {

constexpr const char* kIndexName = "index.json";
constexpr int kIndexVersion = 1;

const char* stateName(LessonDownloadState state) {
  switch (state) {
    case LessonDownloadState::Waiting:
      return "waiting";
    case LessonDownloadState::Downloading:
      return "downloading";
    case LessonDownloadState::Paused:
      return "paused";
    case LessonDownloadState::Completed:
      return "completed";
    case LessonDownloadState::Failed:
      return "failed";
  }
  return "paused";
}

LessonDownloadState stateNamed(std::string_view name) {
  if (name == "completed") return LessonDownloadState::Completed;
  if (name == "failed") return LessonDownloadState::Failed;
  if (name == "waiting") return LessonDownloadState::Waiting;
  if (name == "downloading") return LessonDownloadState::Downloading;
  return LessonDownloadState::Paused;
}

// A short stable name for a lesson's files (FNV-1a of its key).
std::string stemForKey(const std::string& key) {
  std::uint64_t hash = 1469598103934665603ull;
  for (unsigned char c : key) {
    hash ^= c;
    hash *= 1099511628211ull;
  }
  char text[24];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
  return text;
}

std::uint64_t fileSize(const std::string& path) {
  auto attributes = FileManager::defaultManager().attributesOfItem(path);
  return attributes && !attributes->isDirectory ? attributes->size : 0;
}

bool fileExists(const std::string& path) {
  bool isDirectory = false;
  return FileManager::defaultManager().fileExists(path, &isDirectory) && !isDirectory;
}

// "bytes 100-199/1000" -> first 100, total 1000.
bool parseContentRange(const std::string& value, std::uint64_t* first, std::uint64_t* total) {
  unsigned long long a = 0, b = 0, length = 0;
  if (std::sscanf(value.c_str(), "bytes %llu-%llu/%llu", &a, &b, &length) != 3) return false;
  *first = a;
  *total = length;
  return true;
}

std::string stringForKey(const JSONDictionary& record, std::string_view key) {
  const JSONValue* value = record.objectForKey(key);
  return value && value->asString() ? value->asString()->str() : std::string();
}

std::uint64_t unsignedForKey(const JSONDictionary& record, std::string_view key) {
  const JSONValue* value = record.objectForKey(key);
  if (!value || !value->isNumber()) return 0;
  double number = static_cast<const JSONNumber*>(value)->doubleValue();
  return std::isfinite(number) && number > 0 ? static_cast<std::uint64_t>(number) : 0;
}

}  // namespace

double LessonDownload::fraction() const {
  if (state == LessonDownloadState::Completed) return 1;
  if (totalBytes == 0) return 0;
  return std::clamp(static_cast<double>(bytesReceived) / static_cast<double>(totalBytes), 0.0, 1.0);
}

int LessonDownload::percent() const {
  return static_cast<int>(std::floor(fraction() * 100));
}

// One lesson and, while it downloads, its request.
struct LessonDownloads::Job {
  LessonDownload info;
  HTTPRequest::Pointer request;
  bool fetchingSubtitles = false;
  std::uint64_t resumedFrom = 0;  // bytes the partial file had when the request began
  std::uint64_t receivedNow = 0;  // body bytes of the running request
};

LessonDownloads& LessonDownloads::shared() {
  static std::unique_ptr<LessonDownloads> downloads;
  const std::string folder = defaultFolder();
  if (!downloads || downloads->folder() != folder) {
    downloads.reset();
    downloads = std::make_unique<LessonDownloads>(folder);
  }
  return *downloads;
}

std::string LessonDownloads::defaultFolder() {
  return appendingPathComponent(FileManager::defaultManager().documentsDirectory(), "Offline");
}

LessonDownloads::LessonDownloads(std::string folder) : folder_(std::move(folder)) {
  loadIndex();
  // The app quits: every download lets go of its request while the
  // network thread still runs, and is kept paused with what it has.
  WeakPtr<LessonDownloads> weak(this);
  terminateObservation_ = NotificationCenter::defaultCenter().addObserver(
      this, kApplicationWillTerminateNotification, nullptr, [weak](const Notification&) {
        if (LessonDownloads* me = weak.get()) me->pauseAllForQuit();
      });
}

LessonDownloads::~LessonDownloads() {
  NotificationCenter::defaultCenter().removeObserver(terminateObservation_);
  for (auto& job : jobs_) stopRequest(*job);
}

void LessonDownloads::pauseAllForQuit() {
  bool any = false;
  for (auto& job : jobs_) {
    LessonDownloadState& state = job->info.state;
    if (state != LessonDownloadState::Downloading && state != LessonDownloadState::Waiting)
      continue;
    stopRequest(*job);
    state = LessonDownloadState::Paused;
    job->info.bytesReceived = fileSize(partialVideoPath(job->info));
    any = true;
  }
  if (any) saveIndex();
}

std::string LessonDownloads::indexPath() const {
  return appendingPathComponent(folder_, kIndexName);
}
std::string LessonDownloads::videoPath(const LessonDownload& d) const {
  return appendingPathComponent(folder_, d.fileStem + ".mp4");
}
std::string LessonDownloads::subtitlePath(const LessonDownload& d) const {
  return appendingPathComponent(folder_, d.fileStem + ".vtt");
}
std::string LessonDownloads::partialVideoPath(const LessonDownload& d) const {
  // What HTTPRequest writes while it downloads to <stem>.mp4.part.
  return appendingPathComponent(folder_, d.fileStem + ".mp4.part.download");
}

LessonDownloads::Job* LessonDownloads::find(std::string_view videoURL) {
  const std::string key = LessonProgressStore::keyForURL(videoURL);
  for (auto& job : jobs_) {
    if (job->info.key == key) return job.get();
  }
  return nullptr;
}

const LessonDownloads::Job* LessonDownloads::find(std::string_view videoURL) const {
  return const_cast<LessonDownloads*>(this)->find(videoURL);
}

std::optional<LessonDownload> LessonDownloads::downloadForURL(std::string_view videoURL) const {
  const Job* job = find(videoURL);
  if (!job) return std::nullopt;
  return job->info;
}

std::vector<LessonDownload> LessonDownloads::downloads() const {
  std::vector<LessonDownload> all;
  for (const auto& job : jobs_) all.push_back(job->info);
  return all;
}

std::vector<LessonDownload> LessonDownloads::completedDownloads() const {
  std::vector<LessonDownload> done;
  for (const auto& job : jobs_) {
    if (job->info.state == LessonDownloadState::Completed) done.push_back(job->info);
  }
  return done;
}

int LessonDownloads::runningCount() const {
  return static_cast<int>(std::count_if(jobs_.begin(), jobs_.end(), [](const auto& job) {
    return job->info.state == LessonDownloadState::Downloading;
  }));
}

// ---- Asking -----------------------------------------------------------------

void LessonDownloads::download(const std::string& videoURL, const std::string& subtitleURL,
                               const std::string& title) {
  if (Job* job = find(videoURL)) {
    job->info.videoURL = videoURL;
    job->info.subtitleURL = subtitleURL;
    if (!title.empty()) job->info.title = title;
    if (job->info.state == LessonDownloadState::Paused ||
        job->info.state == LessonDownloadState::Failed) {
      resume(videoURL);
    }
    return;
  }
  auto job = std::make_unique<Job>();
  job->info.key = LessonProgressStore::keyForURL(videoURL);
  job->info.videoURL = videoURL;
  job->info.subtitleURL = subtitleURL;
  job->info.title = title;
  job->info.fileStem = stemForKey(job->info.key);
  job->info.state = LessonDownloadState::Waiting;
  const std::string key = job->info.key;
  jobs_.push_back(std::move(job));
  saveIndex();
  changed(key);
  startWaiting();
}

void LessonDownloads::pause(std::string_view videoURL) {
  Job* job = find(videoURL);
  if (!job || (job->info.state != LessonDownloadState::Downloading &&
               job->info.state != LessonDownloadState::Waiting)) {
    return;
  }
  stop(*job, LessonDownloadState::Paused, "");
}

void LessonDownloads::resume(std::string_view videoURL) {
  Job* job = find(videoURL);
  if (!job || (job->info.state != LessonDownloadState::Paused &&
               job->info.state != LessonDownloadState::Failed)) {
    return;
  }
  job->info.state = LessonDownloadState::Waiting;
  job->info.message.clear();
  saveIndex();
  changed(job->info.key);
  startWaiting();
}

void LessonDownloads::cancel(std::string_view videoURL) {
  remove(videoURL);
}

void LessonDownloads::remove(std::string_view videoURL) {
  Job* job = find(videoURL);
  if (!job) return;
  stopRequest(*job);
  const LessonDownload info = job->info;
  removeFiles(info, true);
  jobs_.erase(std::find_if(jobs_.begin(), jobs_.end(),
                           [&](const auto& candidate) { return candidate.get() == job; }));
  saveIndex();
  changed(info.key);
  startWaiting();
}

void LessonDownloads::removeAll() {
  std::vector<std::string> urls;
  for (const auto& job : jobs_) urls.push_back(job->info.videoURL);
  for (const auto& url : urls) remove(url);
}

void LessonDownloads::removeFiles(const LessonDownload& d, bool alsoComplete) {
  FileManager& files = FileManager::defaultManager();
  const std::string video = videoPath(d);
  for (const std::string& path : {partialVideoPath(d), video + ".part", subtitlePath(d) + ".part",
                                  subtitlePath(d) + ".part.download"}) {
    if (fileExists(path)) files.removeItem(path);
  }
  if (alsoComplete) {
    if (fileExists(video)) files.removeItem(video);
    if (fileExists(subtitlePath(d))) files.removeItem(subtitlePath(d));
  }
}

// ---- Running ------------------------------------------------------------------

void LessonDownloads::startWaiting() {
  for (auto& job : jobs_) {
    if (runningCount() >= kMaximumRunning) return;
    if (job->info.state != LessonDownloadState::Waiting) continue;
    job->info.state = LessonDownloadState::Downloading;
    saveIndex();
    changed(job->info.key);
    startVideo(*job);
  }
}

void LessonDownloads::startVideo(Job& job) {
  FileManager::defaultManager().createDirectory(folder_, true);
  const std::string video = videoPath(job.info);
  // A video fetched whole before the app stopped: only its check is left.
  // (Asking for the bytes after the last would be answered 416, and the
  // answer would overwrite what we have.)
  const std::string fetched = video + ".part";
  const std::string partial = partialVideoPath(job.info);
  if (job.info.totalBytes > 0 && fileExists(partial) && fileSize(partial) == job.info.totalBytes &&
      !fileExists(fetched)) {
    std::rename(partial.c_str(), fetched.c_str());
  }
  if (job.info.totalBytes > 0 && fileExists(fetched) && fileSize(fetched) == job.info.totalBytes &&
      std::rename(fetched.c_str(), video.c_str()) == 0) {
    syncDirectory(folder_);
  }
  if (job.info.totalBytes > 0 && fileExists(video) && fileSize(video) == job.info.totalBytes) {
    job.info.bytesReceived = job.info.totalBytes;
    startSubtitles(job);
    return;
  }
  std::optional<URL> url = URL::parse(job.info.videoURL);
  if (!url) {
    stop(job, LessonDownloadState::Failed, kServerErrorMessage);
    return;
  }
  job.fetchingSubtitles = false;
  job.resumedFrom = fileSize(partialVideoPath(job.info));
  job.receivedNow = 0;
  job.info.bytesReceived = job.resumedFrom;

  HTTPRequest::Pointer request = HTTPRequest::requestWithURL(*url);
  request->setDownloadDestinationPath(fetched);
  request->setAllowResumeForFileDownloads(true);
  // Byte ranges count the bytes as stored.
  request->setAllowCompressedResponse(false);
  request->setShouldContinueWhenAppEntersBackground(true);
  request->setTimeOutSeconds(20);
  WeakPtr<LessonDownloads> weak(this);
  const std::string key = job.info.key;
  request->setHeadersReceivedBlock([weak, key](const HeaderMap& headers) {
    if (LessonDownloads* me = weak.get()) me->videoHeaders(key, headers);
  });
  request->setBytesReceivedBlock([weak, key](std::uint64_t size, std::uint64_t) {
    LessonDownloads* me = weak.get();
    Job* job = me ? me->find(key) : nullptr;
    if (!job || job->fetchingSubtitles || job->info.state != LessonDownloadState::Downloading) {
      return;
    }
    job->receivedNow += size;
    job->info.bytesReceived = job->resumedFrom + job->receivedNow;
    me->changed(key);
  });
  request->setCompletionBlock([weak, key] {
    if (LessonDownloads* me = weak.get()) me->videoFinished(key);
  });
  request->setFailedBlock([weak, key] {
    if (LessonDownloads* me = weak.get()) me->requestFailed(key);
  });
  job.request = request;
  request->startAsynchronous();
}

void LessonDownloads::videoHeaders(const std::string& key, const HeaderMap& headers) {
  Job* job = find(key);
  if (!job || !job->request || job->fetchingSubtitles) return;
  const int status = job->request->responseStatusCode();
  std::uint64_t length = std::strtoull(headerValue(headers, "Content-Length").c_str(), nullptr, 10);
  if (status == 206) {
    std::uint64_t first = 0, total = 0;
    if (!parseContentRange(headerValue(headers, "Content-Range"), &first, &total) ||
        first != job->resumedFrom) {
      // The rest would not join up with what we have: start again whole.
      Log("LessonDownloads: range answer does not fit, starting " + key + " again");
      stopRequest(*job);
      removeFiles(job->info, false);
      startVideo(*job);
      return;
    }
    job->info.totalBytes = total;
  } else if (status == 200) {
    job->resumedFrom = 0;  // the whole body again: the partial is rewritten
    job->info.totalBytes = length;
  }
  job->info.bytesReceived = job->resumedFrom;
  saveIndex();
  changed(key);
}

void LessonDownloads::videoFinished(const std::string& key) {
  Job* job = find(key);
  if (!job || !job->request) return;
  const int status = job->request->responseStatusCode();
  job->request.reset();
  const std::string fetched = videoPath(job->info) + ".part";
  FileManager& files = FileManager::defaultManager();
  if (status != 200 && status != 206) {
    Log("LessonDownloads: " + key + " answered " + std::to_string(status));
    if (fileExists(fetched)) files.removeItem(fetched);
    stop(*job, LessonDownloadState::Failed, kServerErrorMessage);
    return;
  }
  const std::uint64_t size = fileSize(fetched);
  if (job->info.totalBytes == 0) job->info.totalBytes = size;
  if (!fileExists(fetched) || size != job->info.totalBytes) {
    Log("LessonDownloads: " + key + " has " + std::to_string(size) + " of " +
        std::to_string(job->info.totalBytes) + " bytes");
    if (fileExists(fetched)) files.removeItem(fetched);
    job->info.bytesReceived = 0;
    stop(*job, LessonDownloadState::Failed, kDamagedMessage);
    return;
  }
  const std::string video = videoPath(job->info);
  if (std::rename(fetched.c_str(), video.c_str()) != 0) {
    stop(*job, LessonDownloadState::Paused, kNoSpaceMessage);
    return;
  }
  syncDirectory(folder_);
  job->info.bytesReceived = size;
  saveIndex();
  startSubtitles(*job);
}

void LessonDownloads::startSubtitles(Job& job) {
  std::optional<URL> url =
      job.info.subtitleURL.empty() ? std::nullopt : URL::parse(job.info.subtitleURL);
  if (!url) {
    job.info.hasSubtitles = false;
    finish(job);
    return;
  }
  job.fetchingSubtitles = true;
  HTTPRequest::Pointer request = HTTPRequest::requestWithURL(*url);
  request->setDownloadDestinationPath(subtitlePath(job.info) + ".part");
  request->setTimeOutSeconds(20);
  WeakPtr<LessonDownloads> weak(this);
  const std::string key = job.info.key;
  request->setCompletionBlock([weak, key] {
    if (LessonDownloads* me = weak.get()) me->subtitlesFinished(key);
  });
  request->setFailedBlock([weak, key] {
    if (LessonDownloads* me = weak.get()) me->requestFailed(key);
  });
  job.request = request;
  request->startAsynchronous();
}

void LessonDownloads::subtitlesFinished(const std::string& key) {
  Job* job = find(key);
  if (!job || !job->request) return;
  const int status = job->request->responseStatusCode();
  job->request.reset();
  const std::string fetched = subtitlePath(job->info) + ".part";
  FileManager& files = FileManager::defaultManager();
  if (status == 404 || status == 410) {
    // The lesson lost its lines: it plays without them.
    if (fileExists(fetched)) files.removeItem(fetched);
    job->info.hasSubtitles = false;
    finish(*job);
    return;
  }
  if (status != 200 || !fileExists(fetched)) {
    if (fileExists(fetched)) files.removeItem(fetched);
    stop(*job, LessonDownloadState::Failed, kServerErrorMessage);
    return;
  }
  if (std::rename(fetched.c_str(), subtitlePath(job->info).c_str()) != 0) {
    stop(*job, LessonDownloadState::Paused, kNoSpaceMessage);
    return;
  }
  job->info.hasSubtitles = true;
  finish(*job);
}

void LessonDownloads::finish(Job& job) {
  job.request.reset();
  job.fetchingSubtitles = false;
  job.info.state = LessonDownloadState::Completed;
  job.info.message.clear();
  job.info.bytesReceived = job.info.totalBytes;
  syncDirectory(folder_);
  saveIndex();
  changed(job.info.key);
  startWaiting();
}

void LessonDownloads::requestFailed(const std::string& key) {
  Job* job = find(key);
  if (!job || !job->request) return;
  ErrorPtr error = job->request->error();
  job->request.reset();
  Log("LessonDownloads: " + key + " " + describe(error));
  const int code = error && error->domain == kHTTPRequestErrorDomain ? error->code : 0;
  // The partial stays for the next try; only what it says differs.
  if (code == kFileManagementError) {
    stop(*job, LessonDownloadState::Paused, kNoSpaceMessage);
  } else if (code == kConnectionFailureErrorType || code == kRequestTimedOutErrorType ||
             code == kRequestCancelledErrorType) {
    stop(*job, LessonDownloadState::Paused, kNoNetworkMessage);
  } else {
    stop(*job, LessonDownloadState::Failed, kServerErrorMessage);
  }
}

void LessonDownloads::stop(Job& job, LessonDownloadState state, const std::string& message) {
  stopRequest(job);
  job.fetchingSubtitles = false;
  job.info.state = state;
  job.info.message = message;
  if (state != LessonDownloadState::Failed || message != kDamagedMessage) {
    job.info.bytesReceived =
        std::max<std::uint64_t>(job.info.bytesReceived, fileSize(partialVideoPath(job.info)));
  }
  saveIndex();
  changed(job.info.key);
  startWaiting();
}

void LessonDownloads::stopRequest(Job& job) {
  if (!job.request) return;
  HTTPRequest::Pointer request = std::move(job.request);
  request->clearDelegatesAndCancel();
}

// ---- Playing and sizes -----------------------------------------------------------

std::string LessonDownloads::localVideoPathForURL(std::string_view videoURL) {
  Job* job = find(videoURL);
  if (!job || job->info.state != LessonDownloadState::Completed) return {};
  const std::string video = videoPath(job->info);
  if (fileExists(video) && (job->info.totalBytes == 0 || fileSize(video) == job->info.totalBytes)) {
    return video;
  }
  Log("LessonDownloads: the offline file of " + job->info.key + " is missing or damaged");
  FileManager& files = FileManager::defaultManager();
  if (fileExists(video)) files.removeItem(video);
  job->info.bytesReceived = 0;
  stop(*job, LessonDownloadState::Failed, kDamagedMessage);
  return {};
}

std::string LessonDownloads::localSubtitlePathForURL(std::string_view videoURL) const {
  const Job* job = find(videoURL);
  if (!job || job->info.state != LessonDownloadState::Completed || !job->info.hasSubtitles) {
    return {};
  }
  std::string path = subtitlePath(job->info);
  return fileExists(path) ? path : std::string();
}

std::uint64_t LessonDownloads::sizeOnDisk(const LessonDownload& d) const {
  return fileSize(videoPath(d)) + fileSize(subtitlePath(d)) + fileSize(partialVideoPath(d));
}

std::uint64_t LessonDownloads::totalCompletedSize() const {
  std::uint64_t total = 0;
  for (const auto& job : jobs_) {
    if (job->info.state == LessonDownloadState::Completed) total += sizeOnDisk(job->info);
  }
  return total;
}

// ---- The index ----------------------------------------------------------------

void LessonDownloads::changed(const std::string& key) {
  NotificationCenter::defaultCenter().postNotificationName(kLessonDownloadsDidChangeNotification,
                                                           this, {{"key", std::any(key)}});
}

void LessonDownloads::saveIndex() {
  JSONRef<JSONArray> lessons = JSONArray::mutableArray();
  for (const auto& job : jobs_) {
    const LessonDownload& d = job->info;
    JSONRef<JSONDictionary> record = JSONDictionary::mutableDictionary();
    record->setObject(JSONStringValue::create(d.key), "key");
    record->setObject(JSONStringValue::create(d.videoURL), "videoUrl");
    record->setObject(JSONStringValue::create(d.subtitleURL), "subtitleUrl");
    record->setObject(JSONStringValue::create(d.title), "title");
    record->setObject(JSONStringValue::create(stateName(d.state)), "state");
    record->setObject(JSONNumber::withUInt64(d.totalBytes), "totalBytes");
    record->setObject(JSONNumber::withUInt64(d.bytesReceived), "bytesReceived");
    record->setObject(JSONStringValue::create(d.message), "message");
    record->setObject(JSONStringValue::create(d.fileStem), "file");
    record->setObject(JSONValue::booleanValue(d.hasSubtitles), "hasSubtitles");
    lessons->addObject(record);
  }
  JSONRef<JSONDictionary> root = JSONDictionary::mutableDictionary();
  root->setObject(JSONNumber::withInt64(kIndexVersion), "version");
  root->setObject(lessons, "lessons");
  std::optional<std::string> text = JSONString(*root);
  if (!text) return;
  FileManager::defaultManager().createDirectory(folder_, true);
  std::string error;
  if (!writeFileDurably(indexPath(), *text, &error)) Log("LessonDownloads: " + error);
}

void LessonDownloads::reload() {
  for (auto& job : jobs_) stopRequest(*job);
  jobs_.clear();
  loadIndex();
}

void LessonDownloads::loadIndex() {
  FileManager& files = FileManager::defaultManager();
  if (!fileExists(indexPath())) return;
  std::optional<std::string> text = files.stringContentsAtPath(indexPath());
  JSONValueRef root = text ? objectFromJSONString(*text) : JSONValueRef();
  const JSONDictionary* top = root ? root->asDictionary() : nullptr;
  const JSONValue* list = top ? top->objectForKey("lessons") : nullptr;
  const JSONArray* lessons = list ? list->asArray() : nullptr;
  if (!lessons) {
    // The files are still there; only the list is lost. Keep the bad one.
    const std::string aside = indexPath() + ".corrupt";
    std::rename(indexPath().c_str(), aside.c_str());
    Log("LessonDownloads: the index cannot be read; set aside as " + lastPathComponent(aside));
    return;
  }
  for (std::size_t i = 0; i < lessons->count(); ++i) {
    const JSONDictionary* record = lessons->objectAtIndex(i)->asDictionary();
    if (!record) continue;
    auto job = std::make_unique<Job>();
    LessonDownload& d = job->info;
    d.videoURL = stringForKey(*record, "videoUrl");
    if (d.videoURL.empty()) continue;
    d.key = LessonProgressStore::keyForURL(d.videoURL);
    d.subtitleURL = stringForKey(*record, "subtitleUrl");
    d.title = stringForKey(*record, "title");
    d.state = stateNamed(stringForKey(*record, "state"));
    d.totalBytes = unsignedForKey(*record, "totalBytes");
    d.message = stringForKey(*record, "message");
    d.fileStem = stemForKey(d.key);
    const JSONValue* subtitles = record->objectForKey("hasSubtitles");
    d.hasSubtitles = subtitles && subtitles->kind() == JSONValueKind::True;
    if (d.state == LessonDownloadState::Completed) {
      d.bytesReceived = d.totalBytes;
    } else {
      // Whatever the last launch was doing, it stopped: what counts is what
      // reached the disk.
      if (d.state == LessonDownloadState::Downloading || d.state == LessonDownloadState::Waiting) {
        d.state = LessonDownloadState::Paused;
      }
      d.bytesReceived = fileSize(partialVideoPath(d));
    }
    if (find(d.videoURL)) continue;
    jobs_.push_back(std::move(job));
  }
}

}  // namespace lorvane
