#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/app_configuration.h"

namespace lorvane {

// Ways the sample server built into the app misbehaves on purpose, so the
// feed screens' retries can be watched in the real app.
struct SampleServerSwitches {
  int failFirst = 0;                    // drop the first N feed and app-list requests
  int htmlFirst = 0;                    // answer the first N with an HTML error page
  double delaySeconds = 0;              // wait before each feed and app-list answer
  bool closeConnections = false;        // no keep-alive
  std::size_t videoBytesPerSecond = 0;  // slow video bodies (0: full speed)
  // The flags that set any of the above, for messages.
  std::vector<std::string> given;
};

// What the program was asked to do.
struct CommandLine {
  bool help = false;
  bool headless = false;
  double scale = 2;
  std::string screenshot;
  std::string script;
  std::optional<std::string> contentURL;    // --content-url
  std::optional<std::string> recommendURL;  // --recommend-url
  SampleServerSwitches sampleServer;
};

// Reads argv[1..argc). False with a message naming the argument at fault.
// Flags take their value as the next argument or after "=".
bool parseCommandLine(int argc, const char* const* argv, CommandLine* out, std::string* error);

// The --help text: every flag, the environment variables and the order in
// which the servers are chosen.
std::string usageText();

// getenv's shape, so tests can hand in an environment of their own.
using Environment = std::function<const char*(const char*)>;
Environment processEnvironment();

// The two servers the app talks to. An empty URL means: the sample server
// started inside the process.
struct ServerChoice {
  std::string contentBaseURL;
  std::string recommendBaseURL;
  bool needsSampleServer() const { return contentBaseURL.empty() || recommendBaseURL.empty(); }
};

// Each URL: the flag, else the environment (LORVANE_CONTENT_URL,
// LORVANE_RECOMMEND_URL), else the build's value. A recommendation server
// that none of them names follows the content server, because a content
// tree carries the app list too; with no content server at all, the sample
// server serves both. False with a message when a chosen URL is malformed,
// or when sample-server switches are given but the sample server will not
// run.
bool chooseServers(const CommandLine& commandLine, const Environment& environment,
                   const AppConfiguration& build, ServerChoice* out, std::string* error);

// A URL that paths can be put behind: http or https, a host, an optional
// port and path, no query or fragment. False with the reason.
bool isUsableBaseURL(std::string_view text, std::string* why);

}  // namespace lorvane
