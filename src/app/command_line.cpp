#include "app/command_line.h"

#include <cmath>
#include <cstdlib>

#include "platform/foundation/url.h"

namespace lorvane {
namespace {

constexpr const char* kContentVariable = "LORVANE_CONTENT_URL";
constexpr const char* kRecommendVariable = "LORVANE_RECOMMEND_URL";

bool wholeNumber(const std::string& text, int* out) {
  if (text.empty() || text.size() > 9) return false;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  *out = value;
  return true;
}

bool seconds(const std::string& text, double* out) {
  if (text.empty()) return false;
  char* end = nullptr;
  double value = std::strtod(text.c_str(), &end);
  if (*end != '\0' || !std::isfinite(value) || value < 0) return false;
  *out = value;
  return true;
}

// One URL from its three places, and where it came from for messages.
struct Source {
  std::string url;
  std::string origin;
};

std::optional<Source> pick(const std::optional<std::string>& flag, const char* flagName,
                           const Environment& environment, const char* variable,
                           const std::string& built, const char* buildName) {
  if (flag) return Source{*flag, flagName};
  if (const char* value = environment ? environment(variable) : nullptr; value && *value) {
    return Source{value, variable};
  }
  if (!built.empty()) return Source{built, std::string("the build's ") + buildName};
  return std::nullopt;
}

bool checked(const std::optional<Source>& source, std::string* error) {
  if (!source) return true;
  std::string why;
  if (isUsableBaseURL(source->url, &why)) return true;
  if (error) *error = source->origin + ": \"" + source->url + "\" is not a usable URL: " + why;
  return false;
}

}  // namespace

bool parseCommandLine(int argc, const char* const* argv, CommandLine* out, std::string* error) {
  auto fail = [&](const std::string& message) {
    if (error) *error = message;
    return false;
  };
  for (int i = 1; i < argc; ++i) {
    std::string argument = argv[i];
    std::string name = argument;
    std::optional<std::string> inlineValue;
    if (auto equals = argument.find('=');
        argument.starts_with("--") && equals != std::string::npos) {
      name = argument.substr(0, equals);
      inlineValue = argument.substr(equals + 1);
    }
    // The flag's value, from "=VALUE" or the next argument.
    auto value = [&](std::string* into) {
      if (inlineValue) {
        *into = *inlineValue;
        return true;
      }
      if (i + 1 >= argc) return false;
      *into = argv[++i];
      return true;
    };
    auto switchOnly = [&] { return !inlineValue; };
    std::string v;
    if (name == "--help" || name == "-h") {
      if (!switchOnly()) return fail(name + " takes no value");
      out->help = true;
    } else if (name == "--headless") {
      if (!switchOnly()) return fail(name + " takes no value");
      out->headless = true;
    } else if (name == "--scale") {
      if (!value(&v)) return fail("--scale needs 1 or 2");
      if (v != "1" && v != "2") return fail("--scale must be 1 or 2, not \"" + v + "\"");
      out->scale = v == "1" ? 1 : 2;
    } else if (name == "--screenshot" || name == "--script") {
      if (!value(&v) || v.empty()) return fail(name + " needs a file name");
      (name == "--screenshot" ? out->screenshot : out->script) = v;
    } else if (name == "--content-url" || name == "--recommend-url") {
      if (!value(&v)) return fail(name + " needs a URL");
      (name == "--content-url" ? out->contentURL : out->recommendURL) = v;
    } else if (name == "--sample-fail-first" || name == "--sample-html-first") {
      int count = 0;
      if (!value(&v) || !wholeNumber(v, &count)) return fail(name + " needs a whole number");
      (name == "--sample-fail-first" ? out->sampleServer.failFirst : out->sampleServer.htmlFirst) =
          count;
      out->sampleServer.given.push_back(name);
    } else if (name == "--sample-delay") {
      if (!value(&v) || !seconds(v, &out->sampleServer.delaySeconds)) {
        return fail(name + " needs a number of seconds");
      }
      out->sampleServer.given.push_back(name);
    } else if (name == "--sample-video-rate") {
      int rate = 0;
      if (!value(&v) || !wholeNumber(v, &rate) || rate <= 0) {
        return fail(name + " needs a number of bytes a second");
      }
      out->sampleServer.videoBytesPerSecond = static_cast<std::size_t>(rate);
      out->sampleServer.given.push_back(name);
    } else if (name == "--sample-close-connections") {
      if (!switchOnly()) return fail(name + " takes no value");
      out->sampleServer.closeConnections = true;
      out->sampleServer.given.push_back(name);
    } else {
      return fail("unknown argument \"" + argument + "\" (see lorvane --help)");
    }
  }
  return true;
}

std::string usageText() {
  return "usage: lorvane [options]\n"
         "Lorvane in a phone-shaped window, or headless.\n"
         "\n"
         "  --headless                  draw offscreen, without a window\n"
         "  --scale 1|2                 pixels per point (default 2)\n"
         "  --script FILE               play a script (tap, drag, key, wait, screenshot), then "
         "quit\n"
         "  --screenshot FILE           write the screen as PNG, then quit (after the script, if "
         "any)\n"
         "  --content-url URL           the lesson content server, e.g. http://127.0.0.1:8080\n"
         "  --recommend-url URL         the recommended-apps server (default: the content "
         "server)\n"
         "  --sample-fail-first N       built-in sample server: drop the first N feed and app-list "
         "requests\n"
         "  --sample-html-first N       built-in sample server: answer the first N with an HTML "
         "error page\n"
         "  --sample-delay SECONDS      built-in sample server: wait before each feed and "
         "app-list answer\n"
         "  --sample-close-connections  built-in sample server: no keep-alive\n"
         "  --sample-video-rate BYTES   built-in sample server: send videos at most this many "
         "bytes a second\n"
         "  --help                      this text\n"
         "\n"
         "Environment:\n"
         "  LORVANE_CONTENT_URL         the content server when --content-url is not given\n"
         "  LORVANE_RECOMMEND_URL       the recommended-apps server when --recommend-url is not "
         "given\n"
         "  LORVANE_HOME                where documents go (default ~/.local/share/lorvane)\n"
         "\n"
         "A flag wins over the environment, which wins over the build's configuration. With no\n"
         "content server named anywhere, the sample server starts inside the app; the\n"
         "--sample-* switches act on it only.\n";
}

Environment processEnvironment() {
  return [](const char* name) { return static_cast<const char*>(std::getenv(name)); };
}

bool chooseServers(const CommandLine& commandLine, const Environment& environment,
                   const AppConfiguration& build, ServerChoice* out, std::string* error) {
  auto content = pick(commandLine.contentURL, "--content-url", environment, kContentVariable,
                      build.contentBaseURL, "LORVANE_CONTENT_BASE_URL");
  auto recommend = pick(commandLine.recommendURL, "--recommend-url", environment,
                        kRecommendVariable, build.recommendBaseURL, "LORVANE_RECOMMEND_BASE_URL");
  if (!checked(content, error) || !checked(recommend, error)) return false;
  out->contentBaseURL = content ? content->url : "";
  out->recommendBaseURL = recommend ? recommend->url : out->contentBaseURL;
  if (!out->needsSampleServer() && !commandLine.sampleServer.given.empty()) {
    if (error) {
      *error = commandLine.sampleServer.given.front() +
               " acts on the built-in sample server, which does not start when " + content->origin +
               " names a content server";
    }
    return false;
  }
  return true;
}

bool isUsableBaseURL(std::string_view text, std::string* why) {
  auto reason = [&](const char* message) {
    if (why) *why = message;
    return false;
  };
  if (text.empty()) return reason("it is empty");
  // "127.0.0.1:8080" is the likeliest slip; say what is missing.
  if (text.find("://") == std::string_view::npos) {
    return reason("it must start with http:// or https://");
  }
  auto url = URL::parse(text);
  if (!url) return reason("it is not a well-formed URL");
  if (url->scheme() != "http" && url->scheme() != "https") {
    return reason("it must start with http:// or https://");
  }
  if (!url->hasAuthority() || url->host().empty()) return reason("it names no host");
  if (url->port() && (*url->port() < 1 || *url->port() > 65535)) {
    return reason("its port is outside 1 to 65535");
  }
  if (url->hasQuery() || url->hasFragment()) {
    return reason("a server's base URL has no query or fragment");
  }
  return true;
}

}  // namespace lorvane
