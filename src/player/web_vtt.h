#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace lorvane {

// One timed line of a lesson: when it is spoken and what is said. Our
// lessons put the English line first and its Chinese translation second.
struct CaptionCue {
  std::string identifier;
  double startSeconds = 0;
  double endSeconds = 0;
  std::string settings;            // as written after the end time
  std::vector<std::string> lines;  // the payload's lines, markup removed

  double length() const { return endSeconds - startSeconds; }
  const std::string& english() const;
  // Every line after the first, joined by a line break.
  std::string translation() const;
};

// The lines of a lesson in time order. Empty when a file had none.
class CaptionTrack {
 public:
  CaptionTrack() = default;
  explicit CaptionTrack(std::vector<CaptionCue> cues);

  const std::vector<CaptionCue>& cues() const { return cues_; }
  std::size_t count() const { return cues_.size(); }
  bool empty() const { return cues_.empty(); }
  const CaptionCue& operator[](std::size_t i) const { return cues_[i]; }

  // The cue being spoken at `seconds`, or npos between and outside cues.
  std::size_t activeIndexAt(double seconds) const;
  // The line a learner is on at `seconds`: the last one that has begun
  // (the line just heard while in a pause after it); npos before the first.
  std::size_t lineIndexAt(double seconds) const;

  static constexpr std::size_t npos = static_cast<std::size_t>(-1);

 private:
  std::vector<CaptionCue> cues_;
};

// What reading a WebVTT file gave: the cues, and why it gave none (or why
// some blocks were left out).
struct WebVTTResult {
  bool valid = false;  // the file starts as a WebVTT file must
  CaptionTrack track;
  std::size_t skippedBlocks = 0;  // cues that could not be read
  std::string problem;            // why the file is not valid
};

// Reads a WebVTT file by the W3C parsing rules: an optional byte order
// mark, CR LF, LF or CR line ends, the "WEBVTT" signature with optional
// header text, cues with optional identifiers, timings with or without
// hours, cue settings and multi-line payloads. NOTE, STYLE and REGION
// blocks are passed over, and so are cues whose timings cannot be read.
// Payload markup (<v>, <i>, <c.x>, timestamps) is dropped and character
// references are decoded, so the lines read as plain text.
WebVTTResult parseWebVTT(std::string_view text);

// A timestamp "mm:ss.ttt" or "hh...:mm:ss.ttt" in seconds; negative when
// `text` is not exactly one.
double parseWebVTTTimestamp(std::string_view text);

}  // namespace lorvane
