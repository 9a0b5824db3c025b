#include "platform/media/media_error.h"

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

}  // namespace lorvane
