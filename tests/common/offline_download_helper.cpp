// Downloads one lesson with LessonDownloads in a process of its own, so
// that a test can kill it mid-way or cap the size of the files it may
// write, and then look at what it left.
//
//   offline_download_helper ROOT VIDEO_URL [SUBTITLE_URL] [--file-size-limit BYTES]
//
// Exits 0 when the lesson completed, 3 when it paused, 4 when it failed.

#include <signal.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/lesson_downloads.h"
#include "platform/foundation/file_manager.h"
#include "platform/foundation/run_loop.h"

using namespace lorvane;

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s ROOT VIDEO_URL [SUBTITLE_URL] [--file-size-limit BYTES]\n",
                 argv[0]);
    return 2;
  }
  std::string subtitles;
  for (int i = 3; i < argc; ++i) {
    std::string argument = argv[i];
    if (argument == "--file-size-limit" && i + 1 < argc) {
      rlim_t limit = std::strtoull(argv[++i], nullptr, 10);
      rlimit cap{limit, limit};
      // A write past the cap fails with EFBIG instead of ending us.
      ::signal(SIGXFSZ, SIG_IGN);
      if (::setrlimit(RLIMIT_FSIZE, &cap) != 0) return 2;
    } else {
      subtitles = argument;
    }
  }
  RunLoop::main().bindToCurrentThread();
  FileManager::defaultManager().setRootDirectory(argv[1]);
  LessonDownloads downloads(LessonDownloads::defaultFolder());
  const std::string url = argv[2];
  downloads.download(url, subtitles, "helper");
  auto settled = [&] {
    auto d = downloads.downloadForURL(url);
    return !d || (d->state != LessonDownloadState::Waiting &&
                  d->state != LessonDownloadState::Downloading);
  };
  RunLoop::main().runUntil(settled, 300);
  auto d = downloads.downloadForURL(url);
  if (!d) return 4;
  std::printf("%s\n", d->message.c_str());
  if (d->state == LessonDownloadState::Completed) return 0;
  return d->state == LessonDownloadState::Paused ? 3 : 4;
}
