#pragma once

#include <string>

#include "platform/foundation/error.h"

namespace lorvane {

inline constexpr const char* kMediaErrorDomain = "AVFoundationErrorDomain";
// The decoder library's own error numbers, as the underlying error.
inline constexpr const char* kFFmpegErrorDomain = "FFmpegErrorDomain";
// Why a stream could not be fetched, as the platform's URL loading says it.
inline constexpr const char* kURLErrorDomain = "NSURLErrorDomain";
// In a URL error's user info: the HTTP status the server answered with.
inline constexpr const char* kHTTPStatusCodeKey = "HTTPStatusCode";

enum MediaErrorCode : int {
  kMediaErrorUnknown = -11800,
  kMediaErrorDecodeFailed = -11821,
  kMediaErrorFileFormatNotRecognized = -11828,
  kMediaErrorCannotOpen = -11829,
  kMediaErrorNoPlayableStreams = -11838,
  kMediaErrorContentUnavailable = -11863,
};

enum URLErrorCode : int {
  kURLErrorTimedOut = -1001,
  kURLErrorCannotFindHost = -1003,
  kURLErrorCannotConnectToHost = -1004,
  kURLErrorNetworkConnectionLost = -1005,
  kURLErrorNotConnectedToInternet = -1009,
  kURLErrorBadServerResponse = -1011,
  kURLErrorFileDoesNotExist = -1100,
  kURLErrorNoPermissionsToReadFile = -1102,
};

// An error of the media domain whose underlying error carries the FFmpeg
// error number and its text.
ErrorPtr makeMediaError(int code, const std::string& description, int ffmpegError = 0);
// The same, with a URL-loading error between the two when the FFmpeg error
// says the stream could not be fetched (see urlErrorCodeFor).
ErrorPtr makeStreamError(int code, const std::string& description, int ffmpegError,
                         bool timedOut = false);
// The URL-loading code for an FFmpeg error, or 0 when the error is not one
// of fetching (a damaged file, say). `timedOut` says that we gave up
// waiting for data ourselves.
int urlErrorCodeFor(int ffmpegError, bool timedOut = false);
// The HTTP status behind an FFmpeg error, or 0.
int httpStatusFor(int ffmpegError);
// The text FFmpeg gives for one of its error numbers.
std::string ffmpegErrorText(int ffmpegError);

}  // namespace lorvane
