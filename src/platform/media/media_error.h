#pragma once

#include <string>

#include "platform/foundation/error.h"

namespace lorvane {

inline constexpr const char* kMediaErrorDomain = "AVFoundationErrorDomain";
// The decoder library's own error numbers, as the underlying error.
inline constexpr const char* kFFmpegErrorDomain = "FFmpegErrorDomain";

enum MediaErrorCode : int {
  kMediaErrorUnknown = -11800,
  kMediaErrorDecodeFailed = -11821,
  kMediaErrorFileFormatNotRecognized = -11828,
  kMediaErrorCannotOpen = -11829,
  kMediaErrorNoPlayableStreams = -11838,
  kMediaErrorContentUnavailable = -11863,
};

// An error of the media domain whose underlying error carries the FFmpeg
// error number and its text.
ErrorPtr makeMediaError(int code, const std::string& description, int ffmpegError = 0);
// The text FFmpeg gives for one of its error numbers.
std::string ffmpegErrorText(int ffmpegError);

}  // namespace lorvane
