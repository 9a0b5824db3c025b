// The captions of every sample lesson against the lesson's own sound: the
// cues are the lesson's lines in order, each sits on speech with silence
// between them, and the two speakers of a scene sound different.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "content/content_test_support.h"
#include "demo/server/sample_server.h"
#include "json/json.h"
#include "support/net/nginx_server.h"

namespace lorvane {
namespace {

using testing::readFileText;
using testing::runCommand;

constexpr int kRate = 8000;  // enough for speech and for a voice's pitch

struct Cue {
  int number = 0;
  double start = 0, end = 0;
  std::string english, chinese;
};

struct Line {
  int who = 0;
  std::string english, chinese;
};

struct Lesson {
  std::string id;
  std::string sentence;
  std::vector<Line> lines;
};

// HH:MM:SS.mmm, or -1.
double timeOf(const std::string& text) {
  if (text.size() != 12 || text[2] != ':' || text[5] != ':' || text[8] != '.') return -1;
  for (int at : {0, 1, 3, 4, 6, 7, 9, 10, 11}) {
    if (!std::isdigit(static_cast<unsigned char>(text[at]))) return -1;
  }
  const double minutes = std::stoi(text.substr(3, 2)), seconds = std::stoi(text.substr(6, 2));
  if (minutes > 59 || seconds > 59) return -1;
  return std::stoi(text.substr(0, 2)) * 3600 + minutes * 60 + seconds +
         std::stoi(text.substr(9, 3)) / 1000.0;
}

// Reads a caption file in the form the generator writes: the header, a
// blank line, then cues numbered from 1 with a timing line and exactly two
// lines of text, a blank line between cues and a line break at the end.
// Anything else is a failure that names the line.
std::vector<Cue> readCaptions(const std::string& text, std::string* problem) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  if (text.empty() || text.back() != '\n') {
    *problem = "the file does not end with a line break";
    return {};
  }
  if (lines.size() < 2 || lines[0] != "WEBVTT" || !lines[1].empty()) {
    *problem = "no \"WEBVTT\" line followed by a blank line";
    return {};
  }
  std::vector<Cue> cues;
  for (std::size_t at = 2; at < lines.size(); at += 5) {
    auto fail = [&](const std::string& what) {
      *problem = "line " + std::to_string(at + 1) + ": " + what;
      return std::vector<Cue>{};
    };
    if (at + 3 >= lines.size()) return fail("a cue cut short");
    Cue cue;
    cue.number = static_cast<int>(cues.size()) + 1;
    if (lines[at] != std::to_string(cue.number)) return fail("cue identifier is not its number");
    const std::string& timing = lines[at + 1];
    if (timing.size() != 29 || timing.substr(12, 5) != " --> ") return fail("bad timing line");
    cue.start = timeOf(timing.substr(0, 12));
    cue.end = timeOf(timing.substr(17));
    if (cue.start < 0 || cue.end < 0) return fail("bad timestamp");
    cue.english = lines[at + 2];
    cue.chinese = lines[at + 3];
    if (cue.english.empty() || cue.chinese.empty()) return fail("a cue needs two lines of text");
    if (at + 4 < lines.size() && !lines[at + 4].empty()) return fail("more than two lines of text");
    cues.push_back(cue);
  }
  return cues;
}

std::vector<Lesson> sampleLessons() {
  std::vector<Lesson> lessons;
  JSONValueRef sources =
      objectFromJSONString(readFileText(LORVANE_SOURCE_DIR "/demo/content/lessons.json"));
  if (!sources || !sources->isDictionary()) return lessons;
  for (const char* feed : {"topic", "show"}) {
    for (const JSONValue* item : *sources->asDictionary()->objectForKey(feed)->asArray()) {
      const JSONDictionary* record = item->asDictionary();
      Lesson lesson;
      lesson.id = record->objectForKey("id")->stringValue();
      lesson.sentence = record->objectForKey("sentence")->stringValue();
      for (const JSONValue* entry : *record->objectForKey("lines")->asArray()) {
        const JSONDictionary* line = entry->asDictionary();
        lesson.lines.push_back(
            {static_cast<int>(line->objectForKey("who")->asNumber()->int64Value()),
             std::string(line->objectForKey("en")->stringValue()),
             std::string(line->objectForKey("zh")->stringValue())});
      }
      lessons.push_back(lesson);
    }
  }
  return lessons;
}

double videoLength(const std::string& path) {
  auto probe = runCommand({"ffprobe", "-v", "error", "-show_entries", "format=duration", "-of",
                           "default=noprint_wrappers=1:nokey=1", path});
  return probe.status == 0 ? std::stod(probe.output) : -1;
}

// The video's sound as mono 16-bit samples at kRate.
std::vector<std::int16_t> soundOf(const std::string& video, const std::string& scratch) {
  const std::string raw = scratch + "/sound.raw";
  auto decoded = runCommand({"ffmpeg", "-nostdin", "-v", "error", "-y", "-i", video, "-vn", "-ac",
                             "1", "-ar", std::to_string(kRate), "-f", "s16le", raw});
  if (decoded.status != 0) return {};
  std::string bytes = readFileText(raw);
  std::vector<std::int16_t> samples(bytes.size() / 2);
  for (std::size_t i = 0; i < samples.size(); ++i) {
    samples[i] = static_cast<std::int16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                           (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
  }
  return samples;
}

std::size_t sampleAt(double seconds, const std::vector<std::int16_t>& sound) {
  return std::min(sound.size(), static_cast<std::size_t>(std::max(0.0, seconds) * kRate));
}

double rms(const std::vector<std::int16_t>& sound, double from, double to) {
  std::size_t begin = sampleAt(from, sound), end = sampleAt(to, sound);
  if (end <= begin) return 0;
  double sum = 0;
  for (std::size_t i = begin; i < end; ++i) sum += double(sound[i]) * sound[i];
  return std::sqrt(sum / double(end - begin));
}

double median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
  return values[values.size() / 2];
}

// The median pitch of the voiced stretches between two times, by
// normalised autocorrelation over 32 ms frames; 0 when nothing is voiced.
double pitchOf(const std::vector<std::int16_t>& sound, double from, double to) {
  constexpr int kFrame = kRate * 32 / 1000;
  constexpr int kShortestLag = kRate / 400, kLongestLag = kRate / 60;
  std::vector<double> pitches;
  const std::size_t end = sampleAt(to, sound);
  for (std::size_t at = sampleAt(from, sound); at + kFrame + kLongestLag <= end; at += kFrame) {
    const std::int16_t* x = sound.data() + at;
    double energy = 0;
    for (int i = 0; i < kFrame; ++i) energy += double(x[i]) * x[i];
    if (std::sqrt(energy / kFrame) < 300) continue;  // a pause inside the line
    std::vector<double> score(kLongestLag + 1, 0);
    double best = 0;
    for (int lag = kShortestLag; lag <= kLongestLag; ++lag) {
      double cross = 0, shifted = 0;
      for (int i = 0; i < kFrame; ++i) {
        cross += double(x[i]) * x[i + lag];
        shifted += double(x[i + lag]) * x[i + lag];
      }
      score[lag] = cross / std::sqrt(energy * shifted + 1);
      best = std::max(best, score[lag]);
    }
    if (best < 0.6) continue;  // not voiced
    // The shortest period that correlates nearly as well as the best, so a
    // multiple of the period is not taken for it.
    for (int lag = kShortestLag; lag <= kLongestLag; ++lag) {
      if (score[lag] >= 0.9 * best && score[lag] >= score[lag - 1] &&
          (lag == kLongestLag || score[lag] >= score[lag + 1])) {
        pitches.push_back(double(kRate) / lag);
        break;
      }
    }
  }
  return median(pitches);
}

class LessonCaptionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    lessons_ = sampleLessons();
    ASSERT_GE(lessons_.size(), 26u) << "lessons.json could not be read";
  }

  std::string contentFile(const std::string& relative) const {
    return demo::defaultContentDirectory() + "/" + relative;
  }

  std::vector<Cue> captionsOf(const Lesson& lesson) {
    std::string problem;
    auto cues = readCaptions(readFileText(contentFile("captions/" + lesson.id + ".vtt")), &problem);
    EXPECT_EQ(problem, "");
    return cues;
  }

  // A lesson's sound, decoded once for the tests of one run.
  const std::vector<std::int16_t>& soundOfLesson(const Lesson& lesson) {
    static std::map<std::string, std::vector<std::int16_t>> decoded;
    auto known = decoded.find(lesson.id);
    if (known != decoded.end()) return known->second;
    return decoded[lesson.id] =
               soundOf(contentFile("videos/" + lesson.id + ".mp4"), scratch_.path());
  }

  std::vector<Lesson> lessons_;
  testing::TemporaryDirectory scratch_;
};

TEST_F(LessonCaptionsTest, EveryRecordLinksItsLessonsCaptions) {
  std::map<std::string, std::string> links;
  for (const char* feed : {"feeds/topic.json", "feeds/show.json"}) {
    JSONValueRef answer = objectFromJSONString(readFileText(contentFile(feed)));
    ASSERT_TRUE(answer && answer->isArray()) << feed;
    const JSONValue* data =
        answer->asArray()->objectAtIndex(0)->asDictionary()->objectForKey("data");
    for (const JSONValue* record : *data->asArray()) {
      const JSONDictionary* fields = record->asDictionary();
      const JSONValue* link = fields->objectForKey("subtitleUrl");
      ASSERT_TRUE(link && link->isString()) << feed;
      links[std::string(fields->objectForKey("id")->stringValue())] = link->stringValue();
    }
  }
  for (const Lesson& lesson : lessons_) {
    EXPECT_EQ(links[lesson.id], "{base}/captions/" + lesson.id + ".vtt");
  }
}

TEST_F(LessonCaptionsTest, CuesAreTheScenesLinesThenItsSentencePractisedInsideTheVideo) {
  for (const Lesson& lesson : lessons_) {
    SCOPED_TRACE(lesson.id);
    ASSERT_GE(lesson.lines.size(), 6u);
    ASSERT_LE(lesson.lines.size(), 12u);
    std::vector<Cue> cues = captionsOf(lesson);
    ASSERT_GE(cues.size(), lesson.lines.size() + 2);
    // The scene, line by line, then the lesson's sentence at least slowly
    // and at normal speed.
    for (std::size_t n = 0; n < cues.size(); ++n) {
      if (n < lesson.lines.size()) {
        EXPECT_EQ(cues[n].english, lesson.lines[n].english) << "cue " << n + 1;
        EXPECT_EQ(cues[n].chinese, lesson.lines[n].chinese) << "cue " << n + 1;
      } else {
        EXPECT_EQ(cues[n].english, lesson.sentence) << "cue " << n + 1;
      }
    }
    const double length = videoLength(contentFile("videos/" + lesson.id + ".mp4"));
    ASSERT_GT(length, 0);
    double previousEnd = 0;
    for (const Cue& cue : cues) {
      EXPECT_GT(cue.end, cue.start) << "cue " << cue.number;
      EXPECT_GE(cue.start, previousEnd) << "cue " << cue.number << " overlaps the one before";
      EXPECT_LE(cue.end, length) << "cue " << cue.number << " ends after the video";
      previousEnd = cue.end;
    }
  }
}

// After the scene the sentence is practised in rounds: slowly, then at the
// scene's own speed, then a pause of at least 2.5 s for the learner's turn
// (a last round may leave out the slow part).
TEST_F(LessonCaptionsTest, TheSentenceIsPractisedSlowThenNormalThenInThePause) {
  for (const Lesson& lesson : lessons_) {
    SCOPED_TRACE(lesson.id);
    std::vector<Cue> cues = captionsOf(lesson);
    ASSERT_GT(cues.size(), lesson.lines.size());
    auto inScene = std::find_if(cues.begin(), cues.begin() + long(lesson.lines.size()),
                                [&](const Cue& cue) { return cue.english == lesson.sentence; });
    ASSERT_NE(inScene, cues.begin() + long(lesson.lines.size()));
    const double normal = inScene->end - inScene->start;
    const double length = videoLength(contentFile("videos/" + lesson.id + ".mp4"));
    int slowRounds = 0, rounds = 0;
    bool afterSlow = false;
    for (std::size_t n = lesson.lines.size(); n < cues.size(); ++n) {
      const double heard = cues[n].end - cues[n].start;
      const double next = n + 1 < cues.size() ? cues[n + 1].start : length;
      if (heard > 1.15 * normal) {
        EXPECT_FALSE(afterSlow) << "cue " << n + 1 << ": two slow ones in a row";
        EXPECT_LT(next - cues[n].end, 2.0) << "cue " << n + 1 << ": a pause after the slow one";
        afterSlow = true;
        ++slowRounds;
        continue;
      }
      EXPECT_NEAR(heard, normal, 0.002) << "cue " << n + 1 << " is neither slow nor normal";
      EXPECT_TRUE(afterSlow || n + 1 == cues.size()) << "cue " << n + 1 << " has no slow part";
      EXPECT_GE(next - cues[n].end, 2.5) << "cue " << n + 1 << ": no pause to repeat it";
      afterSlow = false;
      ++rounds;
    }
    EXPECT_FALSE(afterSlow) << "the last slow cue has no normal one after it";
    EXPECT_GE(slowRounds, 1);
    EXPECT_GE(rounds, slowRounds);
  }
}

TEST_F(LessonCaptionsTest, EachCueHoldsSpeechAndTheTimeBetweenCuesIsQuiet) {
  for (const Lesson& lesson : lessons_) {
    SCOPED_TRACE(lesson.id);
    std::vector<Cue> cues = captionsOf(lesson);
    ASSERT_FALSE(cues.empty());
    const auto& sound = soundOfLesson(lesson);
    ASSERT_FALSE(sound.empty());
    double loudestGap = 0;
    for (std::size_t n = 1; n < cues.size(); ++n) {
      // Leave out the edges, where the codec smears a word's start or end.
      loudestGap = std::max(loudestGap, rms(sound, cues[n - 1].end + 0.05, cues[n].start - 0.05));
    }
    EXPECT_LT(loudestGap, 200) << "speech between cues";
    for (const Cue& cue : cues) {
      const double inside = rms(sound, cue.start, cue.end);
      EXPECT_GT(inside, 1000) << "cue " << cue.number << " holds no speech";
      EXPECT_GT(inside, 10 * loudestGap) << "cue " << cue.number;
      // Speech begins and ends with the cue, not a moment later or earlier.
      EXPECT_GT(rms(sound, cue.start, cue.start + 0.15), 4 * loudestGap + 100)
          << "cue " << cue.number << " starts before its speech";
      EXPECT_GT(rms(sound, cue.end - 0.15, cue.end), 4 * loudestGap + 100)
          << "cue " << cue.number << " ends after its speech";
    }
  }
}

TEST_F(LessonCaptionsTest, TheTwoSpeakersOfEachSceneHaveDifferentVoices) {
  for (const Lesson& lesson : lessons_) {
    SCOPED_TRACE(lesson.id);
    std::vector<Cue> cues = captionsOf(lesson);
    ASSERT_GE(cues.size(), lesson.lines.size());
    const auto& sound = soundOfLesson(lesson);
    ASSERT_FALSE(sound.empty());
    std::vector<double> pitch(lesson.lines.size());
    std::vector<double> bySpeaker[2];
    for (std::size_t n = 0; n < lesson.lines.size(); ++n) {
      pitch[n] = pitchOf(sound, cues[n].start, cues[n].end);
      EXPECT_GT(pitch[n], 0) << "line " << n + 1 << " is not voiced";
      bySpeaker[lesson.lines[n].who].push_back(pitch[n]);
    }
    const double low = std::min(median(bySpeaker[0]), median(bySpeaker[1]));
    const double high = std::max(median(bySpeaker[0]), median(bySpeaker[1]));
    ASSERT_GT(low, 0);
    EXPECT_GT(high / low, 1.4) << "the voices are " << low << " Hz and " << high << " Hz";
    // And each line is in its own speaker's voice.
    for (std::size_t n = 0; n < lesson.lines.size(); ++n) {
      const double own = median(bySpeaker[lesson.lines[n].who]);
      const double other = median(bySpeaker[1 - lesson.lines[n].who]);
      EXPECT_LT(std::abs(std::log(pitch[n] / own)), std::abs(std::log(pitch[n] / other)))
          << "line " << n + 1 << " at " << pitch[n] << " Hz";
    }
  }
}

}  // namespace
}  // namespace lorvane
