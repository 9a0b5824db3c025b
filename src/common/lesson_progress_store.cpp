#include "common/lesson_progress_store.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "common/durable_file.h"
#include "json/json.h"
#include "platform/foundation/file_manager.h"
#include "platform/foundation/log.h"
#include "platform/foundation/url.h"

namespace lorvane {

namespace {

constexpr const char* kFileName = "LessonProgress.json";
constexpr int kFormatVersion = 1;

bool isLoopbackHost(const std::string& host) {
  return host == "localhost" || host == "::1" || host == "[::1]" || host.rfind("127.", 0) == 0;
}

double numberForKey(const JSONDictionary& dictionary, std::string_view key) {
  const JSONValue* value = dictionary.objectForKey(key);
  if (!value || !value->isNumber()) return NAN;
  return static_cast<const JSONNumber*>(value)->doubleValue();
}

std::string timestampForFileName() {
  std::time_t now = std::time(nullptr);
  std::tm parts{};
  gmtime_r(&now, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &parts);
  return text;
}

}  // namespace

double LessonProgress::fraction() const {
  if (finished) return 1;
  if (!(duration > 0) || !(position > 0)) return 0;
  return std::clamp(position / duration, 0.0, 1.0);
}

LessonProgressStore& LessonProgressStore::shared() {
  static std::unique_ptr<LessonProgressStore> store;
  const std::string path = defaultPath();
  if (!store || store->path() != path) store = std::make_unique<LessonProgressStore>(path);
  return *store;
}

std::string LessonProgressStore::defaultPath() {
  return appendingPathComponent(FileManager::defaultManager().documentsDirectory(), kFileName);
}

LessonProgressStore::LessonProgressStore(std::string path) : path_(std::move(path)) {
  load();
}

std::string LessonProgressStore::keyForURL(std::string_view url) {
  std::optional<URL> parsed = URL::parse(url);
  if (!parsed || !parsed->hasAuthority() || !parsed->port() || !isLoopbackHost(parsed->host())) {
    return std::string(url);
  }
  std::string key = parsed->scheme() + "://" + parsed->host() + parsed->percentEncodedPath();
  if (parsed->hasQuery()) key += "?" + parsed->query();
  return key;
}

std::optional<LessonProgress> LessonProgressStore::progressForURL(std::string_view url) const {
  auto found = entries_.find(keyForURL(url));
  if (found == entries_.end()) return std::nullopt;
  return found->second;
}

void LessonProgressStore::recordPosition(std::string_view url, double position, double duration) {
  if (!std::isfinite(position) || position < 0) return;
  LessonProgress& entry = entries_[keyForURL(url)];
  if (std::isfinite(duration) && duration > 0) entry.duration = duration;
  if (entry.duration > 0) position = std::min(position, entry.duration);
  entry.position = position;
  if (entry.duration > 0 && position >= entry.duration - kFinishedTailSeconds) {
    entry.finished = true;
  }
  dirty_ = true;
}

void LessonProgressStore::recordFinished(std::string_view url, double duration) {
  LessonProgress& entry = entries_[keyForURL(url)];
  if (std::isfinite(duration) && duration > 0) entry.duration = duration;
  entry.position = entry.duration;
  entry.finished = true;
  dirty_ = true;
}

void LessonProgressStore::removeURL(std::string_view url) {
  if (entries_.erase(keyForURL(url)) != 0) dirty_ = true;
}

double LessonProgressStore::resumePositionForURL(std::string_view url) const {
  std::optional<LessonProgress> progress = progressForURL(url);
  if (!progress || progress->finished || progress->position < kMinimumResumeSeconds) return 0;
  if (progress->duration > 0 && progress->position >= progress->duration - kFinishedTailSeconds) {
    return 0;
  }
  return progress->position;
}

bool LessonProgressStore::save() {
  if (!dirty_) return true;
  JSONRef<JSONDictionary> lessons = JSONDictionary::mutableDictionary();
  for (const auto& [key, entry] : entries_) {
    JSONRef<JSONDictionary> record = JSONDictionary::mutableDictionary();
    record->setObject(JSONNumber::withDouble(std::round(entry.position * 1000) / 1000), "position");
    record->setObject(JSONNumber::withDouble(entry.duration), "duration");
    record->setObject(JSONValue::booleanValue(entry.finished), "finished");
    lessons->setObject(record, key);
  }
  JSONRef<JSONDictionary> root = JSONDictionary::mutableDictionary();
  root->setObject(JSONNumber::withInt64(kFormatVersion), "version");
  root->setObject(lessons, "lessons");
  std::optional<std::string> text = JSONString(*root);
  if (!text) {
    Log("LessonProgress: cannot encode the positions");
    return false;
  }
  FileManager::defaultManager().createDirectory(deletingLastPathComponent(path_), true);
  std::string error;
  if (!writeFileDurably(path_, *text, &error)) {
    Log("LessonProgress: " + error);
    return false;
  }
  dirty_ = false;
  return true;
}

void LessonProgressStore::reload() {
  entries_.clear();
  dirty_ = false;
  load();
}

void LessonProgressStore::load() {
  FileManager& files = FileManager::defaultManager();
  if (!files.fileExists(path_)) return;
  std::optional<std::string> text = files.stringContentsAtPath(path_);
  if (!text) {
    setAside("cannot be read");
    return;
  }
  JSONError error;
  JSONValueRef root = objectFromJSONStringWithParseOptions(*text, JSONParseStrict, &error);
  const JSONDictionary* top = root ? root->asDictionary() : nullptr;
  const JSONValue* lessonsValue = top ? top->objectForKey("lessons") : nullptr;
  const JSONDictionary* lessons = lessonsValue ? lessonsValue->asDictionary() : nullptr;
  if (!lessons) {
    setAside(root ? "has no lessons" : error.description);
    return;
  }
  for (const auto& slot : *lessons) {
    const JSONStringValue* key = slot.key->asString();
    const JSONDictionary* record = slot.value->asDictionary();
    if (!key || !record) continue;  // one odd entry is not worth the rest
    LessonProgress entry;
    entry.position = numberForKey(*record, "position");
    entry.duration = numberForKey(*record, "duration");
    const JSONValue* finished = record->objectForKey("finished");
    entry.finished = finished && finished->kind() == JSONValueKind::True;
    if (!std::isfinite(entry.position) || entry.position < 0) continue;
    if (!std::isfinite(entry.duration) || entry.duration < 0) entry.duration = 0;
    entries_[key->str()] = entry;
  }
}

void LessonProgressStore::setAside(const std::string& why) {
  FileManager& files = FileManager::defaultManager();
  const std::string folder = deletingLastPathComponent(path_);
  const std::string stem = "LessonProgress.corrupt-" + timestampForFileName();
  std::string target = appendingPathComponent(folder, stem + ".json");
  for (int n = 2; files.fileExists(target); ++n) {
    target = appendingPathComponent(folder, stem + "-" + std::to_string(n) + ".json");
  }
  if (std::rename(path_.c_str(), target.c_str()) == 0) {
    setAsidePath_ = target;
    Log("LessonProgress: the file " + why + "; set aside as " + lastPathComponent(target));
  } else {
    Log("LessonProgress: the file " + why + " and cannot be set aside");
  }
}

}  // namespace lorvane
