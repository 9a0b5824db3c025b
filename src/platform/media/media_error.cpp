#include "platform/media/media_error.h"

#include <cerrno>

extern "C" {
#include <libavutil/error.h>
}

namespace lorvane {

std::string ffmpegErrorText(int ffmpegError) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {0};
  if (av_strerror(ffmpegError, text, sizeof text) < 0)
    return "error " + std::to_string(ffmpegError);
  return text;
}

ErrorPtr makeMediaError(int code, const std::string& description, int ffmpegError) {
  ErrorPtr underlying;
  if (ffmpegError != 0) {
    underlying = Error::make(kFFmpegErrorDomain, ffmpegError, ffmpegErrorText(ffmpegError));
  }
  return Error::make(kMediaErrorDomain, code, description, underlying);
}

int httpStatusFor(int ffmpegError) {
  switch (ffmpegError) {
    case AVERROR_HTTP_BAD_REQUEST:
      return 400;
    case AVERROR_HTTP_UNAUTHORIZED:
      return 401;
    case AVERROR_HTTP_FORBIDDEN:
      return 403;
    case AVERROR_HTTP_NOT_FOUND:
      return 404;
    default:
      return 0;
  }
}

int urlErrorCodeFor(int ffmpegError, bool timedOut) {
  if (timedOut) return kURLErrorTimedOut;
  switch (ffmpegError) {
    case AVERROR_HTTP_NOT_FOUND:
    case AVERROR(ENOENT):
      return kURLErrorFileDoesNotExist;
    case AVERROR_HTTP_UNAUTHORIZED:
    case AVERROR_HTTP_FORBIDDEN:
    case AVERROR(EACCES):
      return kURLErrorNoPermissionsToReadFile;
    case AVERROR_HTTP_BAD_REQUEST:
    case AVERROR_HTTP_OTHER_4XX:
    case AVERROR_HTTP_SERVER_ERROR:
      return kURLErrorBadServerResponse;
    case AVERROR(ETIMEDOUT):
      return kURLErrorTimedOut;
    case AVERROR(ECONNREFUSED):
      return kURLErrorCannotConnectToHost;
    case AVERROR(ENETUNREACH):
    case AVERROR(EHOSTUNREACH):
    case AVERROR(ENETDOWN):
      return kURLErrorNotConnectedToInternet;
    case AVERROR(ECONNRESET):
    case AVERROR(ECONNABORTED):
    case AVERROR(EPIPE):
    // FFmpeg's HTTP gives a bare I/O error for a host it cannot resolve and
    // for a connection that broke off and could not be made again.
    case AVERROR(EIO):
      return kURLErrorNetworkConnectionLost;
    default:
      return 0;
  }
}

ErrorPtr makeStreamError(int code, const std::string& description, int ffmpegError, bool timedOut) {
  const int urlCode = urlErrorCodeFor(ffmpegError, timedOut);
  if (urlCode == 0) return makeMediaError(code, description, ffmpegError);
  UserInfo info;
  info[kLocalizedDescriptionKey] =
      std::string(timedOut ? "The request timed out." : ffmpegErrorText(ffmpegError));
  if (const int status = httpStatusFor(ffmpegError)) info[kHTTPStatusCodeKey] = status;
  if (ffmpegError != 0) {
    info[kUnderlyingErrorKey] =
        Error::make(kFFmpegErrorDomain, ffmpegError, ffmpegErrorText(ffmpegError));
  }
  ErrorPtr fetching = Error::make(kURLErrorDomain, urlCode, std::move(info));
  return Error::make(kMediaErrorDomain, code, description, fetching);
}

}  // namespace lorvane
