// Quitting the program while its feeds, thumbnails, icons or a lesson video
// are still coming in from a slow server: it exits cleanly, every time.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "demo/server/sample_server.h"
#include "feeds/feed_page.h"
#include "settings/app_recommend_view_controller.h"
#include "support/net/held_answer.h"
#include "support/net/scripted_server.h"

extern char** environ;

namespace lorvane {
namespace {

namespace fs = std::filesystem;
using testing::HeldAnswers;
using testing::httpResponse;
using testing::ScriptedServer;
using testing::ServerConnection;

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos;
       at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

// The sample lessons, served slowly: feeds at once (or held, when asked),
// every picture and video held back a byte at a time.
class SlowContentServer {
 public:
  explicit SlowContentServer(bool holdFeeds)
      : holdFeeds_(holdFeeds),
        content_(demo::defaultContentDirectory()),
        server_([this](ServerConnection& connection) { serve(connection); }) {}

  std::string baseURL() const {
    std::string url = server_.url("");
    if (url.ends_with("/")) url.pop_back();
    return url;
  }
  HeldAnswers& feeds() { return feeds_; }
  HeldAnswers& thumbnails() { return thumbnails_; }
  HeldAnswers& icons() { return icons_; }
  HeldAnswers& videos() { return videos_; }

 private:
  void serve(ServerConnection& connection) {
    while (auto request = connection.readRequest(30)) {
      const std::string base = "http://" + request->header("host");
      const std::string& target = request->target;
      fs::path file;
      bool isFeed = true;
      if (target == kTopicFeedPath) {
        file = content_ / "feeds/topic.json";
      } else if (target == kShowFeedPath) {
        file = content_ / "feeds/show.json";
      } else if (target == AppRecommendViewController::kListPath) {
        file = content_ / "api/app/resourcelist_ng.json";
      } else {
        isFeed = false;
        file = content_ / target.substr(1, target.find('?') - 1);
      }
      if (!fs::is_regular_file(file)) {
        if (!connection.send(httpResponse(404, {}, "missing"))) return;
        continue;
      }
      std::string body = readFile(file);
      bool sent;
      if (isFeed) {
        body = replaceAll(body, "{base}", base);
        sent =
            holdFeeds_
                ? feeds_.send(connection, "application/json", body)
                : connection.send(httpResponse(200, {{"Content-Type", "application/json"}}, body));
      } else if (target.starts_with("/thumbs/")) {
        sent = thumbnails_.send(connection, "image/jpeg", body);
      } else if (target.starts_with("/icons/")) {
        sent = icons_.send(connection, "image/png", body);
      } else if (target.starts_with("/videos/")) {
        sent = videos_.send(connection, "video/mp4", body);
      } else {
        sent = connection.send(httpResponse(200, {}, body));
      }
      if (!sent) return;
    }
  }

  bool holdFeeds_;
  fs::path content_;
  HeldAnswers feeds_, thumbnails_, icons_, videos_;
  ScriptedServer server_;  // last: its handlers use the members above
};

struct Outcome {
  bool exited = false;
  int status = -1;
  std::string output;
};

// Runs the program headless on the script (none: the program's own loop),
// its documents in a fresh folder, against `baseURL`; `whileRunning` is
// given the program's process id once it runs. A program that never ends
// is killed.
Outcome runProgram(const std::string& script, const std::string& baseURL,
                   const std::function<void(pid_t)>& whileRunning = {}) {
  char pattern[] = "/tmp/lorvane-quit-XXXXXX";
  Outcome outcome;
  if (!mkdtemp(pattern)) return outcome;
  const fs::path folder = pattern;
  std::ofstream(folder / "script.txt") << script;
  const std::string home = "LORVANE_HOME=" + (folder / "home").string();
  std::vector<std::string> environment{home};
  for (char** e = environ; *e; ++e) {
    if (!std::string(*e).starts_with("LORVANE_")) environment.emplace_back(*e);
  }
  std::vector<std::string> args{LORVANE_PROGRAM, "--headless",      "--content-url",
                                baseURL,         "--recommend-url", baseURL};
  if (!script.empty()) {
    args.push_back("--script");
    args.push_back((folder / "script.txt").string());
  }
  std::vector<char*> argv, envp;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  for (auto& e : environment) envp.push_back(e.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  const std::string log = (folder / "output.txt").string();
  posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  pid_t child = 0;
  const int spawned = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return outcome;
  if (whileRunning) whileRunning(child);

  // Far longer than any run needs: only a program stuck at exit gets here.
  int status = 0;
  for (int i = 0; i < 1200; ++i) {
    if (waitpid(child, &status, WNOHANG) == child) {
      outcome.exited = WIFEXITED(status);
      outcome.status = outcome.exited ? WEXITSTATUS(status) : -WTERMSIG(status);
      break;
    }
    if (i == 1199) {
      kill(child, SIGKILL);
      waitpid(child, &status, 0);
      outcome.output = "killed: still running long after its script ended\n";
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  outcome.output += readFile(log);
  std::error_code ignored;
  fs::remove_all(folder, ignored);
  return outcome;
}

constexpr int kRounds = 3;

struct Scenario {
  const char* name;
  bool holdFeeds;
  const char* script;
  HeldAnswers& (SlowContentServer::*inFlight)();
};

const Scenario kScenarios[] = {
    {"feeds", true, "wait 0.8\n", &SlowContentServer::feeds},
    {"thumbnails", false, "wait 1.5\n", &SlowContentServer::thumbnails},
    // The first lesson of the grid: its page starts the video stream.
    {"video", false, "wait 1.5\ntap 80 100\nwait 2\n", &SlowContentServer::videos},
    // Settings, then "应用推荐".
    {"icons", false, "wait 1.5\ntap 278 545\nwait 0.5\ntap 160 86\nwait 1.5\n",
     &SlowContentServer::icons},
};

class QuitWhileLoadingTest : public ::testing::TestWithParam<int> {};

TEST_P(QuitWhileLoadingTest, ExitsCleanlyWithExchangesInFlight) {
  const Scenario& scenario = kScenarios[GetParam()];
  for (int round = 0; round < kRounds; ++round) {
    SlowContentServer server(scenario.holdFeeds);
    Outcome outcome = runProgram(scenario.script, server.baseURL());
    HeldAnswers& held = (server.*scenario.inFlight)();
    SCOPED_TRACE(std::string(scenario.name) + " round " + std::to_string(round));
    EXPECT_TRUE(outcome.exited) << outcome.output;
    EXPECT_EQ(outcome.status, 0) << outcome.output;
    // The program really quit in the middle of those answers.
    EXPECT_GE(held.begun(), 1) << outcome.output;
    EXPECT_EQ(held.finished(), 0);
  }
}

INSTANTIATE_TEST_SUITE_P(Scenarios, QuitWhileLoadingTest, ::testing::Range(0, 4),
                         [](const auto& info) { return std::string(kScenarios[info.param].name); });

// Waits (a long while at most) until the program is in the middle of the
// held answers, then sends it the signal.
std::function<void(pid_t)> signalWhenLoading(const HeldAnswers& held, int signal) {
  return [&held, signal](pid_t child) {
    for (int i = 0; i < 600 && held.begun() == 0; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    kill(child, signal);
  };
}

struct SignalScenario {
  const char* name;
  int signal;
  bool holdFeeds;
  // Far longer than the test waits: only the signal ends the program in
  // time. Empty: the program's own loop, as a user starts it.
  const char* script;
  HeldAnswers& (SlowContentServer::*inFlight)();
};

const SignalScenario kSignalScenarios[] = {
    {"term_feeds", SIGTERM, true, "", &SlowContentServer::feeds},
    {"int_thumbnails", SIGINT, false, "", &SlowContentServer::thumbnails},
    {"term_video", SIGTERM, false, "wait 1.5\ntap 80 100\nwait 600\n", &SlowContentServer::videos},
    {"int_icons", SIGINT, false, "wait 1.5\ntap 278 545\nwait 0.5\ntap 160 86\nwait 600\n",
     &SlowContentServer::icons},
};

class QuitSignalWhileLoadingTest : public ::testing::TestWithParam<int> {};

// SIGTERM and SIGINT take the same orderly exit as the window's close box:
// status 0, no crash, without waiting for the answers under way.
TEST_P(QuitSignalWhileLoadingTest, ExitsCleanlyOnTheSignal) {
  const SignalScenario& scenario = kSignalScenarios[GetParam()];
  for (int round = 0; round < kRounds; ++round) {
    SlowContentServer server(scenario.holdFeeds);
    HeldAnswers& held = (server.*scenario.inFlight)();
    Outcome outcome =
        runProgram(scenario.script, server.baseURL(), signalWhenLoading(held, scenario.signal));
    SCOPED_TRACE(std::string(scenario.name) + " round " + std::to_string(round));
    EXPECT_TRUE(outcome.exited) << outcome.output;
    EXPECT_EQ(outcome.status, 0) << outcome.output;
    const std::string said = scenario.signal == SIGTERM ? "quit: SIGTERM" : "quit: SIGINT";
    EXPECT_NE(outcome.output.find(said), std::string::npos) << outcome.output;
    EXPECT_GE(held.begun(), 1) << outcome.output;
    EXPECT_EQ(held.finished(), 0);
  }
}

INSTANTIATE_TEST_SUITE_P(Signals, QuitSignalWhileLoadingTest, ::testing::Range(0, 4),
                         [](const auto& info) {
                           return std::string(kSignalScenarios[info.param].name);
                         });

}  // namespace
}  // namespace lorvane
