#include "app/command_line.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "demo/server/sample_server.h"

namespace lorvane {
namespace {

bool parse(std::vector<const char*> arguments, CommandLine* out, std::string* error = nullptr) {
  arguments.insert(arguments.begin(), "lorvane");
  return parseCommandLine(static_cast<int>(arguments.size()), arguments.data(), out, error);
}

std::string parseError(std::vector<const char*> arguments) {
  CommandLine ignored;
  std::string error;
  EXPECT_FALSE(parse(arguments, &ignored, &error));
  return error;
}

Environment environmentOf(std::map<std::string, std::string> values) {
  return [values = std::move(values)](const char* name) -> const char* {
    auto found = values.find(name);
    return found == values.end() ? nullptr : found->second.c_str();
  };
}

AppConfiguration build(std::string content = "", std::string recommend = "") {
  AppConfiguration configuration;
  configuration.contentBaseURL = std::move(content);
  configuration.recommendBaseURL = std::move(recommend);
  return configuration;
}

ServerChoice choose(const CommandLine& commandLine, const Environment& environment,
                    const AppConfiguration& configuration) {
  ServerChoice choice;
  std::string error;
  EXPECT_TRUE(chooseServers(commandLine, environment, configuration, &choice, &error)) << error;
  return choice;
}

TEST(CommandLineTest, ReadsEveryFlagInBothForms) {
  CommandLine line;
  ASSERT_TRUE(parse(
      {"--headless", "--scale", "1", "--script", "tour.txt", "--screenshot=a.png", "--content-url",
       "http://127.0.0.1:8099", "--recommend-url=http://apps.test", "--sample-fail-first", "2",
       "--sample-html-first=3", "--sample-delay", "0.5", "--sample-close-connections"},
      &line));
  EXPECT_TRUE(line.headless);
  EXPECT_EQ(line.scale, 1);
  EXPECT_EQ(line.script, "tour.txt");
  EXPECT_EQ(line.screenshot, "a.png");
  EXPECT_EQ(line.contentURL, "http://127.0.0.1:8099");
  EXPECT_EQ(line.recommendURL, "http://apps.test");
  EXPECT_EQ(line.sampleServer.failFirst, 2);
  EXPECT_EQ(line.sampleServer.htmlFirst, 3);
  EXPECT_EQ(line.sampleServer.delaySeconds, 0.5);
  EXPECT_TRUE(line.sampleServer.closeConnections);
  EXPECT_EQ(line.sampleServer.given.size(), 4u);
  EXPECT_FALSE(line.help);

  CommandLine plain;
  ASSERT_TRUE(parse({}, &plain));
  EXPECT_FALSE(plain.headless);
  EXPECT_EQ(plain.scale, 2);
  EXPECT_FALSE(plain.contentURL);
  EXPECT_TRUE(plain.sampleServer.given.empty());
  CommandLine help;
  ASSERT_TRUE(parse({"--help"}, &help));
  EXPECT_TRUE(help.help);
}

TEST(CommandLineTest, BadArgumentsAreNamedInTheMessage) {
  EXPECT_NE(parseError({"--frobnicate"}).find("\"--frobnicate\""), std::string::npos);
  EXPECT_NE(parseError({"--scale", "3"}).find("1 or 2"), std::string::npos);
  EXPECT_NE(parseError({"--scale"}).find("--scale"), std::string::npos);
  EXPECT_NE(parseError({"--content-url"}).find("--content-url needs a URL"), std::string::npos);
  EXPECT_NE(parseError({"--sample-fail-first", "-1"}).find("whole number"), std::string::npos);
  EXPECT_NE(parseError({"--sample-fail-first", "two"}).find("whole number"), std::string::npos);
  EXPECT_NE(parseError({"--sample-delay", "nan"}).find("seconds"), std::string::npos);
  EXPECT_NE(parseError({"--sample-delay", "1s"}).find("seconds"), std::string::npos);
  EXPECT_NE(parseError({"--headless=yes"}).find("takes no value"), std::string::npos);
  EXPECT_NE(parseError({"--script", ""}).find("file name"), std::string::npos);
}

TEST(CommandLineTest, UsableBaseURLs) {
  for (const char* good : {"http://127.0.0.1:8099", "https://cdn.example.com/lorvane/",
                           "http://localhost", "http://[::1]:8080", "HTTP://Example.COM"}) {
    std::string why;
    EXPECT_TRUE(isUsableBaseURL(good, &why)) << good << ": " << why;
  }
  const std::pair<const char*, const char*> bad[] = {
      {"", "empty"},
      {"127.0.0.1:8099", "http://"},
      {"localhost:8080", "http://"},
      {"ftp://example.com", "http://"},
      {"http://", "no host"},
      {"http:///feeds", "no host"},
      {"http://exa mple.com", "well-formed"},
      {"http://example.com:99999", "well-formed"},
      {"http://example.com:0", "port"},
      {"http://example.com:80x", "well-formed"},
      {"http://example.com/?a=1", "query"},
      {"http://example.com/#top", "fragment"},
  };
  for (const auto& [text, reason] : bad) {
    std::string why;
    EXPECT_FALSE(isUsableBaseURL(text, &why)) << text;
    EXPECT_NE(why.find(reason), std::string::npos) << text << ": " << why;
  }
}

TEST(CommandLineTest, FlagBeatsEnvironmentBeatsBuild) {
  auto environment = environmentOf({{"LORVANE_CONTENT_URL", "http://env-content.test"},
                                    {"LORVANE_RECOMMEND_URL", "http://env-apps.test"}});
  auto configuration = build("http://built-content.test", "http://built-apps.test");

  CommandLine flags;
  ASSERT_TRUE(parse(
      {"--content-url", "http://flag-content.test", "--recommend-url", "http://flag-apps.test"},
      &flags));
  auto chosen = choose(flags, environment, configuration);
  EXPECT_EQ(chosen.contentBaseURL, "http://flag-content.test");
  EXPECT_EQ(chosen.recommendBaseURL, "http://flag-apps.test");
  EXPECT_FALSE(chosen.needsSampleServer());

  CommandLine none;
  chosen = choose(none, environment, configuration);
  EXPECT_EQ(chosen.contentBaseURL, "http://env-content.test");
  EXPECT_EQ(chosen.recommendBaseURL, "http://env-apps.test");

  chosen = choose(none, environmentOf({}), configuration);
  EXPECT_EQ(chosen.contentBaseURL, "http://built-content.test");
  EXPECT_EQ(chosen.recommendBaseURL, "http://built-apps.test");

  // An empty variable counts as unset.
  chosen = choose(none, environmentOf({{"LORVANE_CONTENT_URL", ""}}), configuration);
  EXPECT_EQ(chosen.contentBaseURL, "http://built-content.test");

  // Each URL is weighed by itself.
  CommandLine contentOnly;
  ASSERT_TRUE(parse({"--content-url", "http://flag-content.test"}, &contentOnly));
  chosen = choose(contentOnly, environment, configuration);
  EXPECT_EQ(chosen.contentBaseURL, "http://flag-content.test");
  EXPECT_EQ(chosen.recommendBaseURL, "http://env-apps.test");
}

TEST(CommandLineTest, TheSampleServerServesWhatNobodyNames) {
  CommandLine none;
  auto chosen = choose(none, environmentOf({}), build());
  EXPECT_TRUE(chosen.needsSampleServer());
  EXPECT_EQ(chosen.contentBaseURL, "");
  EXPECT_EQ(chosen.recommendBaseURL, "");

  // The app list follows a content server when no one names its own.
  CommandLine contentOnly;
  ASSERT_TRUE(parse({"--content-url", "http://127.0.0.1:8099"}, &contentOnly));
  chosen = choose(contentOnly, environmentOf({}), build());
  EXPECT_EQ(chosen.recommendBaseURL, "http://127.0.0.1:8099");
  EXPECT_FALSE(chosen.needsSampleServer());

  // An app-list server alone leaves the lessons to the sample server.
  chosen = choose(none, environmentOf({{"LORVANE_RECOMMEND_URL", "http://apps.test"}}), build());
  EXPECT_EQ(chosen.contentBaseURL, "");
  EXPECT_EQ(chosen.recommendBaseURL, "http://apps.test");
  EXPECT_TRUE(chosen.needsSampleServer());
}

TEST(CommandLineTest, MalformedURLsAndUselessSwitchesAreErrors) {
  ServerChoice chosen;
  std::string error;
  CommandLine flag;
  ASSERT_TRUE(parse({"--content-url", "localhost:8099"}, &flag));
  EXPECT_FALSE(chooseServers(flag, environmentOf({}), build(), &chosen, &error));
  EXPECT_NE(error.find("--content-url: \"localhost:8099\""), std::string::npos) << error;

  // A bad value where it would lose still stops the program: it was asked for.
  CommandLine none;
  EXPECT_FALSE(chooseServers(none, environmentOf({{"LORVANE_RECOMMEND_URL", "apps"}}), build(),
                             &chosen, &error));
  EXPECT_NE(error.find("LORVANE_RECOMMEND_URL"), std::string::npos) << error;
  EXPECT_FALSE(
      chooseServers(none, environmentOf({}), build("http://ok.test", "nope://x"), &chosen, &error));
  EXPECT_NE(error.find("the build's LORVANE_RECOMMEND_BASE_URL"), std::string::npos) << error;

  CommandLine switches;
  ASSERT_TRUE(parse({"--sample-delay", "1"}, &switches));
  EXPECT_FALSE(chooseServers(switches, environmentOf({{"LORVANE_CONTENT_URL", "http://c.test"}}),
                             build(), &chosen, &error));
  EXPECT_NE(error.find("--sample-delay"), std::string::npos) << error;
  EXPECT_NE(error.find("LORVANE_CONTENT_URL"), std::string::npos) << error;
  EXPECT_TRUE(chooseServers(switches, environmentOf({}), build(), &chosen, &error));
}

// The program itself, run as a user would.
struct ProgramRun {
  int status = -1;
  std::string out;
  std::string err;
};

ProgramRun runLorvane(const std::vector<std::string>& arguments,
                      const std::map<std::string, std::string>& environment = {}) {
  const std::string program = LORVANE_BINARY_DIR "/src/app/lorvane";
  std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                 ("lorvane-command-line-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  const std::string outPath = (folder / "out").string(), errPath = (folder / "err").string();
  pid_t child = ::fork();
  if (child == 0) {
    ::setenv("LORVANE_HOME", folder.c_str(), 1);
    ::unsetenv("LORVANE_CONTENT_URL");
    ::unsetenv("LORVANE_RECOMMEND_URL");
    for (const auto& [name, value] : environment) ::setenv(name.c_str(), value.c_str(), 1);
    if (!std::freopen(outPath.c_str(), "w", stdout) || !std::freopen(errPath.c_str(), "w", stderr))
      ::_exit(126);
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  ProgramRun run;
  int status = 0;
  ::waitpid(child, &status, 0);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  auto slurp = [](const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  };
  run.out = slurp(outPath);
  run.err = slurp(errPath);
  std::filesystem::remove_all(folder);
  return run;
}

TEST(LorvaneProgramTest, HelpListsEveryFlag) {
  ProgramRun run = runLorvane({"--help"});
  EXPECT_EQ(run.status, 0) << run.err;
  for (const char* flag :
       {"--headless", "--scale", "--script", "--screenshot", "--content-url", "--recommend-url",
        "--sample-fail-first", "--sample-html-first", "--sample-delay",
        "--sample-close-connections", "--sample-video-rate", "--help", "LORVANE_CONTENT_URL",
        "LORVANE_RECOMMEND_URL", "LORVANE_HOME"}) {
    EXPECT_NE(run.out.find(flag), std::string::npos) << flag;
  }
  // Every flag the text shows is one the program takes.
  std::istringstream lines(run.out);
  for (std::string line; std::getline(lines, line);) {
    if (!line.starts_with("  --")) continue;
    std::string flag = line.substr(2, line.find(' ', 2) - 2);
    CommandLine ignored;
    std::string error;
    std::vector<const char*> arguments{flag.c_str()};
    if (flag == "--scale") arguments.push_back("1");
    if (flag.ends_with("-url")) arguments.push_back("http://x.test");
    if (flag == "--script" || flag == "--screenshot") arguments.push_back("f");
    if (flag.ends_with("-first") || flag == "--sample-delay" || flag == "--sample-video-rate") {
      arguments.push_back("1");
    }
    EXPECT_TRUE(parse(arguments, &ignored, &error)) << flag << ": " << error;
  }
}

TEST(LorvaneProgramTest, AMalformedURLStopsTheProgramWithStatusTwo) {
  ProgramRun flag = runLorvane({"--headless", "--content-url", "127.0.0.1:8099"});
  EXPECT_EQ(flag.status, 2);
  EXPECT_NE(flag.err.find("--content-url: \"127.0.0.1:8099\" is not a usable URL"),
            std::string::npos)
      << flag.err;
  ProgramRun variable = runLorvane({"--headless"}, {{"LORVANE_CONTENT_URL", "http//oops"}});
  EXPECT_EQ(variable.status, 2);
  EXPECT_NE(variable.err.find("LORVANE_CONTENT_URL"), std::string::npos) << variable.err;
  ProgramRun unknown = runLorvane({"--colour"});
  EXPECT_EQ(unknown.status, 2);
  EXPECT_NE(unknown.err.find("--colour"), std::string::npos);
}

// Two servers that count what reaches them: the program must ask the one
// the flag names, not the one in the environment.
TEST(LorvaneProgramTest, TheFeedsComeFromTheServerTheFlagNames) {
  demo::SampleServer flagged{demo::ServerOptions{}}, environment{demo::ServerOptions{}};
  std::string error;
  ASSERT_TRUE(flagged.start(&error)) << error;
  ASSERT_TRUE(environment.start(&error)) << error;
  auto shot = std::filesystem::temp_directory_path() / "lorvane-command-line-shot.png";
  ProgramRun run = runLorvane({"--headless", "--scale", "1", "--screenshot", shot.string(),
                               "--content-url", flagged.baseURL()},
                              {{"LORVANE_CONTENT_URL", environment.baseURL()}});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_GE(flagged.requestCount("/infolist?_method=infoJson"), 1u);
  EXPECT_GE(flagged.requestCount("/thumbs/"), 1u) << "thumbnails come from the feed's server";
  EXPECT_EQ(environment.requestCount("/"), 0u);

  // Without the flag, the environment's server is asked.
  flagged.clearRequests();
  run = runLorvane({"--headless", "--scale", "1", "--screenshot", shot.string()},
                   {{"LORVANE_CONTENT_URL", environment.baseURL()}});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_GE(environment.requestCount("/infolist?_method=infoJson"), 1u);
  EXPECT_EQ(flagged.requestCount("/"), 0u);
  std::filesystem::remove(shot);
}

}  // namespace
}  // namespace lorvane
