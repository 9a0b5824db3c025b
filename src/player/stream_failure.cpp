#include "player/stream_failure.h"

#include "platform/media/media_error.h"

namespace lorvane {

namespace {

ErrorPtr findInChain(ErrorPtr error, const std::string& domain) {
  for (int depth = 0; error && depth < 8; ++depth, error = error->underlyingError()) {
    if (error->domain == domain) return error;
  }
  return nullptr;
}

}  // namespace

StreamFailureKind streamFailureKind(const ErrorPtr& error) {
  if (!error) return StreamFailureKind::Other;
  if (ErrorPtr fetching = findInChain(error, kURLErrorDomain)) {
    switch (fetching->code) {
      case kURLErrorFileDoesNotExist:
      case kURLErrorNoPermissionsToReadFile:
        return StreamFailureKind::NotFound;
      case kURLErrorBadServerResponse:
        return StreamFailureKind::Server;
      default:
        return StreamFailureKind::Network;
    }
  }
  if (error->domain == kMediaErrorDomain) {
    switch (error->code) {
      case kMediaErrorDecodeFailed:
      case kMediaErrorFileFormatNotRecognized:
      case kMediaErrorNoPlayableStreams:
        return StreamFailureKind::Damaged;
      default:
        break;
    }
  }
  return StreamFailureKind::Other;
}

StreamFailureText streamFailureText(StreamFailureKind kind) {
  switch (kind) {
    case StreamFailureKind::NotFound:
      return {"找不到这节课", "这节课的视频不在服务器上，可能已被移除。"};
    case StreamFailureKind::Network:
      return {"网络不可用", "连不上视频服务器，请检查网络连接后重试。"};
    case StreamFailureKind::Damaged:
      return {"视频已损坏", "这节课的视频文件不完整或已损坏，暂时无法播放。"};
    case StreamFailureKind::Server:
      return {"服务器出错了", "视频服务器暂时出了问题，请稍后重试。"};
    case StreamFailureKind::Other:
      break;
  }
  return {"视频无法播放", "播放这节课时出了问题，请稍后重试。"};
}

std::string describeErrorChain(const ErrorPtr& error) {
  std::string text;
  ErrorPtr e = error;
  for (int depth = 0; e && depth < 8; ++depth, e = e->underlyingError()) {
    if (!text.empty()) text += " <- ";
    text += e->domain + " " + std::to_string(e->code) + ": " + e->localizedDescription();
  }
  return text.empty() ? std::string("no error") : text;
}

}  // namespace lorvane
