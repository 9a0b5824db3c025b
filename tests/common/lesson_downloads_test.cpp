#include "common/lesson_downloads.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "common/documents_folder.h"
#include "platform/foundation/notification_center.h"
#include "platform/foundation/run_loop.h"
#include "platform/ui/application.h"
#include "support/media/range_file_server.h"

// Lessons kept for offline play, fetched from a byte-range server on
// loopback: whole, paused and resumed, after a killed process, cancelled,
// deleted, truncated, on a full disk and without a network.

namespace lorvane {
namespace {

namespace fs = std::filesystem;
using State = LessonDownloadState;

std::string randomBytes(std::size_t size, unsigned seed) {
  std::mt19937 generator(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(generator() & 0xff);
  return bytes;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::uint64_t sizeOf(const std::string& path) {
  std::error_code ec;
  auto size = fs::file_size(path, ec);
  return ec ? 0 : size;
}

class LessonDownloadsTest : public ::testing::Test {
 protected:
  static constexpr std::size_t kVideoSize = 600 * 1024;

  void SetUp() override {
    ASSERT_TRUE(documents.ok());
    served = documents.root() + "/served";
    fs::create_directories(served);
    for (const char* name : {"a", "b", "c"}) {
      videos[name] = randomBytes(kVideoSize, static_cast<unsigned>(name[0]));
      std::ofstream(served + "/" + name + ".mp4", std::ios::binary) << videos[name];
      std::ofstream(served + "/" + name + ".vtt", std::ios::binary)
          << "WEBVTT\n\n00:00.000 --> 00:02.000\nHello " << name << "\n";
    }
    server = std::make_unique<testing::RangeFileServer>(served);
  }
  void TearDown() override {
    downloads.reset();
    RunLoop::main().runUntilIdle();
    server.reset();
  }

  LessonDownloads& make() {
    downloads = std::make_unique<LessonDownloads>(LessonDownloads::defaultFolder());
    return *downloads;
  }
  std::string video(const std::string& name) const { return server->urlFor(name + ".mp4"); }
  std::string lines(const std::string& name) const { return server->urlFor(name + ".vtt"); }
  State state(const std::string& name) const {
    return downloads->downloadForURL(video(name))->state;
  }
  bool waitFor(const std::function<bool()>& predicate, double seconds = 30) {
    return RunLoop::main().runUntil(predicate, seconds);
  }
  bool waitForState(const std::string& name, State wanted, double seconds = 30) {
    return waitFor([&] { return state(name) == wanted; }, seconds);
  }
  std::string partial(const std::string& name) const {
    return downloads->partialVideoPath(*downloads->downloadForURL(video(name)));
  }

  testing::ScopedDocumentsFolder documents;
  std::string served;
  std::map<std::string, std::string> videos;
  std::unique_ptr<testing::RangeFileServer> server;
  std::unique_ptr<LessonDownloads> downloads;
};

TEST_F(LessonDownloadsTest, ALessonArrivesWholeWithItsLinesAndIsListed) {
  LessonDownloads& d = make();
  std::vector<int> percents;
  auto token = NotificationCenter::defaultCenter().addObserver(
      this, kLessonDownloadsDidChangeNotification, &d, [&](const Notification&) {
        if (auto entry = d.downloadForURL(video("a"))) percents.push_back(entry->percent());
      });
  d.download(video("a"), lines("a"), "Lesson A");
  ASSERT_TRUE(waitForState("a", State::Completed)) << d.downloadForURL(video("a"))->message;
  NotificationCenter::defaultCenter().removeObserver(token);

  auto entry = *d.downloadForURL(video("a"));
  EXPECT_EQ(entry.title, "Lesson A");
  EXPECT_EQ(entry.totalBytes, kVideoSize);
  EXPECT_EQ(entry.percent(), 100);
  const std::string local = d.localVideoPathForURL(video("a"));
  ASSERT_FALSE(local.empty());
  EXPECT_EQ(fs::path(local).parent_path(), fs::path(documents.documents()) / "Offline");
  EXPECT_EQ(readFile(local), videos["a"]);
  EXPECT_EQ(readFile(d.localSubtitlePathForURL(video("a"))), readFile(served + "/a.vtt"));
  EXPECT_FALSE(fs::exists(d.partialVideoPath(entry)));
  EXPECT_EQ(d.totalCompletedSize(), kVideoSize + sizeOf(served + "/a.vtt"));
  ASSERT_FALSE(percents.empty());
  EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
  EXPECT_EQ(percents.back(), 100);

  // A new launch under another port of the same loopback server finds it.
  LessonDownloads again(LessonDownloads::defaultFolder());
  ASSERT_EQ(again.completedDownloads().size(), 1u);
  EXPECT_EQ(again.localVideoPathForURL("http://127.0.0.1:1/a.mp4"), local);
  // Asking again for a lesson already here fetches nothing.
  std::size_t asked = server->requests().size();
  again.download(video("a"), lines("a"), "Lesson A");
  RunLoop::main().runUntilIdle();
  EXPECT_EQ(server->requests().size(), asked);
}

TEST_F(LessonDownloadsTest, APausedLessonResumesFromTheBytesItHas) {
  server->setBytesPerSecond(200 * 1024);
  LessonDownloads& d = make();
  d.download(video("a"), "", "A");
  ASSERT_TRUE(waitFor([&] { return d.downloadForURL(video("a"))->bytesReceived > 100 * 1024; }));
  d.pause(video("a"));
  EXPECT_EQ(state("a"), State::Paused);
  EXPECT_EQ(d.runningCount(), 0);
  // The cancelled request lets go of its file; what it wrote stays.
  RunLoop::main().runUntil([] { return false; }, 0.5);
  const std::uint64_t kept = sizeOf(partial("a"));
  ASSERT_GT(kept, 0u);
  EXPECT_LT(kept, kVideoSize);
  EXPECT_TRUE(d.localVideoPathForURL(video("a")).empty()) << "a partial is never played";

  server->setBytesPerSecond(0);
  d.resume(video("a"));
  ASSERT_TRUE(waitForState("a", State::Completed));
  EXPECT_EQ(readFile(d.localVideoPathForURL(video("a"))), videos["a"]);
  auto requests = server->requests();
  ASSERT_GE(requests.size(), 2u);
  ASSERT_TRUE(requests.back().rangeStart);
  EXPECT_EQ(*requests.back().rangeStart, kept);
}

TEST_F(LessonDownloadsTest, ADownloadKilledMidWayResumesInTheNextLaunch) {
  server->setBytesPerSecond(150 * 1024);
  const std::string folder = LessonDownloads::defaultFolder();
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    execl(OFFLINE_DOWNLOAD_HELPER, OFFLINE_DOWNLOAD_HELPER, documents.root().c_str(),
          video("a").c_str(), lines("a").c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  // Wait for a good part of the video to reach the disk, then kill.
  LessonDownloads probe(folder);  // only for the file names
  std::string partialPath;
  bool midWay = false;
  for (int i = 0; i < 400 && !midWay; ++i) {
    usleep(25 * 1000);
    probe.reload();
    if (auto entry = probe.downloadForURL(video("a"))) {
      partialPath = probe.partialVideoPath(*entry);
      midWay = sizeOf(partialPath) > 120 * 1024;
    }
  }
  kill(child, SIGKILL);
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(midWay) << "the helper never got going";
  ASSERT_TRUE(WIFSIGNALED(status));
  const std::uint64_t kept = sizeOf(partialPath);
  ASSERT_LT(kept, kVideoSize);

  LessonDownloads& d = make();
  auto entry = d.downloadForURL(video("a"));
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->state, State::Paused);
  EXPECT_EQ(entry->bytesReceived, kept);
  EXPECT_EQ(entry->totalBytes, kVideoSize);
  EXPECT_TRUE(d.localVideoPathForURL(video("a")).empty());
  EXPECT_FALSE(fs::exists(d.videoPath(*entry)));

  server->setBytesPerSecond(0);
  std::size_t before = server->requests().size();
  d.resume(video("a"));
  ASSERT_TRUE(waitForState("a", State::Completed));
  EXPECT_EQ(readFile(d.localVideoPathForURL(video("a"))), videos["a"]);
  EXPECT_FALSE(d.localSubtitlePathForURL(video("a")).empty());
  auto requests = server->requests();
  ASSERT_GT(requests.size(), before);
  ASSERT_TRUE(requests[before].rangeStart);
  EXPECT_EQ(*requests[before].rangeStart, kept);
}

TEST_F(LessonDownloadsTest, APartialThatIsAlreadyWholeIsKeptNotAskedForAgain) {
  server->setBytesPerSecond(100 * 1024);
  LessonDownloads& d = make();
  d.download(video("a"), "", "A");
  ASSERT_TRUE(waitFor([&] { return d.downloadForURL(video("a"))->totalBytes == kVideoSize; }));
  d.pause(video("a"));
  RunLoop::main().runUntil([] { return false; }, 0.3);
  // The last bytes reached the disk just before the app was stopped.
  std::ofstream(partial("a"), std::ios::binary | std::ios::trunc) << videos["a"];
  const std::size_t asked = server->requests().size();
  d.resume(video("a"));
  ASSERT_TRUE(waitForState("a", State::Completed));
  EXPECT_EQ(server->requests().size(), asked);
  EXPECT_EQ(readFile(d.localVideoPathForURL(video("a"))), videos["a"]);
}

TEST_F(LessonDownloadsTest, QuittingPausesWhatRunsAndTheNextLaunchGoesOn) {
  server->setBytesPerSecond(100 * 1024);
  LessonDownloads& d = make();
  d.download(video("a"), "", "A");
  d.download(video("b"), "", "B");
  d.download(video("c"), "", "C");
  ASSERT_TRUE(waitFor([&] { return sizeOf(partial("a")) > 10 * 1024; }));
  Application::sharedApplication().terminate();
  for (const char* name : {"a", "b", "c"}) EXPECT_EQ(state(name), State::Paused) << name;
  EXPECT_EQ(d.runningCount(), 0);
  RunLoop::main().runUntil([] { return false; }, 0.3);
  const std::uint64_t kept = sizeOf(partial("a"));
  EXPECT_GT(kept, 0u);
  // The list on disk says so too.
  LessonDownloads next(LessonDownloads::defaultFolder());
  EXPECT_EQ(next.downloadForURL(video("a"))->state, State::Paused);
  EXPECT_EQ(next.downloadForURL(video("c"))->state, State::Paused);
  downloads.reset();
  server->setBytesPerSecond(0);
  next.resume(video("a"));
  ASSERT_TRUE(RunLoop::main().runUntil(
      [&] { return next.downloadForURL(video("a"))->state == State::Completed; }, 30));
  EXPECT_EQ(readFile(next.localVideoPathForURL(video("a"))), videos["a"]);
}

TEST_F(LessonDownloadsTest, CancelThrowsAwayThePartialAndDeleteTheLesson) {
  server->setBytesPerSecond(200 * 1024);
  LessonDownloads& d = make();
  d.download(video("a"), lines("a"), "A");
  ASSERT_TRUE(waitFor([&] { return sizeOf(partial("a")) > 20 * 1024; }));
  const std::string partialPath = partial("a");
  d.cancel(video("a"));
  EXPECT_FALSE(d.downloadForURL(video("a")));
  EXPECT_FALSE(fs::exists(partialPath));
  EXPECT_EQ(d.runningCount(), 0);

  server->setBytesPerSecond(0);
  d.download(video("b"), lines("b"), "B");
  d.download(video("c"), "", "C");
  ASSERT_TRUE(waitForState("b", State::Completed));
  ASSERT_TRUE(waitForState("c", State::Completed));
  const std::string bVideo = d.localVideoPathForURL(video("b"));
  const std::string bLines = d.localSubtitlePathForURL(video("b"));
  ASSERT_TRUE(fs::exists(bVideo));
  ASSERT_TRUE(fs::exists(bLines));
  d.remove(video("b"));
  EXPECT_FALSE(fs::exists(bVideo));
  EXPECT_FALSE(fs::exists(bLines));
  ASSERT_EQ(d.downloads().size(), 1u);
  EXPECT_EQ(d.downloads()[0].title, "C");
  // The list on disk agrees.
  EXPECT_EQ(LessonDownloads(LessonDownloads::defaultFolder()).downloads().size(), 1u);
  d.removeAll();
  EXPECT_TRUE(d.downloads().empty());
  EXPECT_EQ(d.totalCompletedSize(), 0u);
  for (const auto& file : fs::directory_iterator(LessonDownloads::defaultFolder())) {
    EXPECT_EQ(file.path().filename(), "index.json");
  }
}

TEST_F(LessonDownloadsTest, AtMostTwoRunAndTheRestWaitInOrder) {
  server->setBytesPerSecond(100 * 1024);
  LessonDownloads& d = make();
  d.download(video("a"), "", "A");
  d.download(video("b"), "", "B");
  d.download(video("c"), "", "C");
  EXPECT_EQ(state("a"), State::Downloading);
  EXPECT_EQ(state("b"), State::Downloading);
  EXPECT_EQ(state("c"), State::Waiting);
  EXPECT_EQ(d.runningCount(), 2);
  ASSERT_TRUE(waitFor([&] { return d.downloadForURL(video("b"))->bytesReceived > 0; }));
  EXPECT_EQ(state("c"), State::Waiting) << "still two at once";
  // One stopping lets the next in.
  d.pause(video("a"));
  EXPECT_EQ(state("c"), State::Downloading);
  EXPECT_EQ(d.runningCount(), 2);
  // A resumed lesson waits behind those running.
  d.resume(video("a"));
  EXPECT_EQ(state("a"), State::Waiting);
  server->setBytesPerSecond(0);
  ASSERT_TRUE(waitForState("a", State::Completed));
  for (const char* name : {"a", "b", "c"}) {
    ASSERT_TRUE(waitForState(name, State::Completed)) << name;
    EXPECT_EQ(readFile(d.localVideoPathForURL(video(name))), videos[name]) << name;
  }
}

TEST_F(LessonDownloadsTest, ABrokenTransferOrADamagedFileIsNeverPlayed) {
  LessonDownloads& d = make();
  // The connection drops a third of the way: paused, resumable, unplayable.
  server->dropNextResponseAfter(kVideoSize / 3);
  d.download(video("a"), "", "A");
  ASSERT_TRUE(waitFor([&] { return state("a") != State::Downloading; }));
  auto entry = *d.downloadForURL(video("a"));
  EXPECT_EQ(entry.state, State::Paused);
  EXPECT_EQ(entry.message, LessonDownloads::kNoNetworkMessage);
  EXPECT_TRUE(d.localVideoPathForURL(video("a")).empty());
  EXPECT_FALSE(fs::exists(d.videoPath(entry)));
  EXPECT_GT(sizeOf(d.partialVideoPath(entry)), 0u);
  d.resume(video("a"));
  ASSERT_TRUE(waitForState("a", State::Completed));
  EXPECT_EQ(readFile(d.localVideoPathForURL(video("a"))), videos["a"]);

  // A complete lesson whose file was cut short is not played either.
  const std::string local = d.localVideoPathForURL(video("a"));
  fs::resize_file(local, kVideoSize - 10);
  EXPECT_TRUE(d.localVideoPathForURL(video("a")).empty());
  EXPECT_EQ(state("a"), State::Failed);
  EXPECT_EQ(d.downloadForURL(video("a"))->message, LessonDownloads::kDamagedMessage);
  EXPECT_FALSE(fs::exists(local));
  // Downloading it again mends it.
  d.download(video("a"), "", "A");
  ASSERT_TRUE(waitForState("a", State::Completed));
  EXPECT_EQ(readFile(d.localVideoPathForURL(video("a"))), videos["a"]);
}

TEST_F(LessonDownloadsTest, ServerErrorsAndNoNetworkSayWhat) {
  LessonDownloads& d = make();
  d.download(server->urlFor("missing.mp4"), "", "Missing");
  ASSERT_TRUE(waitFor(
      [&] { return d.downloadForURL(server->urlFor("missing.mp4"))->state == State::Failed; }));
  auto missing = *d.downloadForURL(server->urlFor("missing.mp4"));
  EXPECT_EQ(missing.message, LessonDownloads::kServerErrorMessage);
  EXPECT_FALSE(fs::exists(d.videoPath(missing)));
  EXPECT_FALSE(fs::exists(d.videoPath(missing) + ".part"));

  const std::string nowhere =
      "http://127.0.0.1:" + std::to_string(testing::unusedLoopbackPort()) + "/x.mp4";
  d.download(nowhere, "", "Nowhere");
  ASSERT_TRUE(waitFor([&] { return d.downloadForURL(nowhere)->state != State::Downloading; }));
  EXPECT_EQ(d.downloadForURL(nowhere)->state, State::Paused);
  EXPECT_EQ(d.downloadForURL(nowhere)->message, LessonDownloads::kNoNetworkMessage);

  // Lines that are gone do not stop the lesson.
  d.download(video("b"), server->urlFor("gone.vtt"), "B");
  ASSERT_TRUE(waitForState("b", State::Completed));
  EXPECT_TRUE(d.localSubtitlePathForURL(video("b")).empty());
  EXPECT_FALSE(d.localVideoPathForURL(video("b")).empty());
}

TEST_F(LessonDownloadsTest, AFullDiskPausesTheDownloadAndKeepsWhatWasThere) {
  LessonDownloads& d = make();
  d.download(video("a"), lines("a"), "A");
  ASSERT_TRUE(waitForState("a", State::Completed));
  downloads.reset();

  // The helper may write files of at most 128 KiB: the index fits, the
  // video does not.
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    execl(OFFLINE_DOWNLOAD_HELPER, OFFLINE_DOWNLOAD_HELPER, documents.root().c_str(),
          video("b").c_str(), "--file-size-limit", "131072", static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 3) << "paused";

  LessonDownloads& after = make();
  auto b = after.downloadForURL(video("b"));
  ASSERT_TRUE(b);
  EXPECT_EQ(b->state, State::Paused);
  EXPECT_EQ(b->message, LessonDownloads::kNoSpaceMessage);
  EXPECT_TRUE(after.localVideoPathForURL(video("b")).empty());
  EXPECT_LE(sizeOf(after.partialVideoPath(*b)), 131072u);
  // Lesson A is untouched.
  EXPECT_EQ(readFile(after.localVideoPathForURL(video("a"))), videos["a"]);
  // With room again, B goes on from what it has.
  after.resume(video("b"));
  ASSERT_TRUE(waitForState("b", State::Completed));
  EXPECT_EQ(readFile(after.localVideoPathForURL(video("b"))), videos["b"]);
}

}  // namespace
}  // namespace lorvane
