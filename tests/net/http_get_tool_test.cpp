// Runs the http-get tool against a scripted server and reads what it says.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "support/net/nginx_server.h"
#include "support/net/scripted_server.h"

namespace lorvane {
namespace {

using testing::httpResponse;
using testing::ScriptedServer;
using testing::ServerConnection;

struct ToolRun {
  int exitCode = -1;
  std::string out;
  std::string err;
};

ToolRun runTool(const std::string& arguments) {
  testing::TemporaryDirectory folder;
  std::string command = std::string(HTTP_GET_PATH) + " " + arguments + " >" + folder.file("out") +
                        " 2>" + folder.file("err");
  ToolRun run;
  int status = std::system(command.c_str());
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  auto slurp = [](const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  };
  run.out = slurp(folder.file("out"));
  run.err = slurp(folder.file("err"));
  return run;
}

ScriptedServer::Handler site() {
  return [](ServerConnection& connection) {
    while (auto request = connection.readRequest()) {
      if (request->target == "/moved") {
        connection.send(httpResponse(301, {{"Location", "/hello"}}, ""));
      } else if (request->target == "/hello") {
        std::string reply = httpResponse(200, {{"Content-Encoding", "gzip"}, {"X-Site", "yes"}},
                                         testing::gzipText("hello world"));
        // A reply to HEAD is the header alone.
        if (request->method == "HEAD") reply = reply.substr(0, reply.find("\r\n\r\n") + 4);
        connection.send(reply);
      } else if (request->target == "/silent") {
        connection.pause(3);
        return;
      } else {
        connection.send(httpResponse(404, {}, "none"));
      }
    }
  };
}

TEST(HttpGetToolTest, FetchesReportsAndReusesConnections) {
  ScriptedServer server(site());
  ToolRun run = runTool(server.url("/moved") + " " + server.url("/nothing") + " --repeat 2");
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "hello worldnonehello worldnone");
  EXPECT_EQ(run.err,
            // the redirect's second leg already rides the first connection
            "status 200 bytes 11 redirects 1 reused yes\n"
            "status 404 bytes 4 redirects 0 reused yes\n"
            "status 200 bytes 11 redirects 1 reused yes\n"
            "status 404 bytes 4 redirects 0 reused yes\n");
}

TEST(HttpGetToolTest, FlagsChangeTheRequest) {
  ScriptedServer server(site());
  ToolRun noRedirect = runTool("--no-redirect --include " + server.url("/moved"));
  EXPECT_EQ(noRedirect.exitCode, 0);
  EXPECT_EQ(noRedirect.err, "status 301 bytes 0 redirects 0 reused no\n");
  EXPECT_NE(noRedirect.out.find("HTTP/1.1 301 Moved Permanently\r\n"), std::string::npos);
  EXPECT_NE(noRedirect.out.find("Location: /hello\r\n"), std::string::npos);

  ToolRun head = runTool("--head --no-gzip " + server.url("/hello"));
  EXPECT_EQ(head.exitCode, 0);
  EXPECT_EQ(head.out, "");
  auto requests = server.requests();
  EXPECT_EQ(requests.back().method, "HEAD");
  EXPECT_EQ(requests.back().header("accept-encoding"), "");

  testing::TemporaryDirectory folder;
  ToolRun toFile = runTool("-o " + folder.file("body") + " " + server.url("/hello"));
  EXPECT_EQ(toFile.exitCode, 0);
  std::ifstream in(folder.file("body"));
  std::string body((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(body, "hello world");
}

TEST(HttpGetToolTest, FailuresAndBadUsage) {
  ScriptedServer server(site());
  ToolRun timedOut = runTool("--timeout 0.3 " + server.url("/silent") + " " + server.url("/hello"));
  EXPECT_EQ(timedOut.exitCode, 1);
  EXPECT_EQ(timedOut.err,
            "error HTTPRequestErrorDomain 2: The request timed out\n"
            "status 200 bytes 11 redirects 0 reused no\n");

  ToolRun badURL = runTool("'not a url'");
  EXPECT_EQ(badURL.exitCode, 1);
  EXPECT_EQ(badURL.err, "error HTTPRequestErrorDomain 5: Unable to create request (bad url?)\n");

  EXPECT_EQ(runTool("").exitCode, 2);
  EXPECT_EQ(runTool("--bogus " + server.url("/")).exitCode, 2);
  EXPECT_EQ(runTool("--repeat zero " + server.url("/")).exitCode, 2);
  EXPECT_EQ(runTool("--timeout").exitCode, 2);
}

TEST(HttpGetToolTest, BodiesThatCannotBeDecodedAreErrorsUnlessRawIsAsked) {
  std::string gzip = testing::gzipText(std::string(5000, 'q'));
  std::string cut = gzip.substr(0, gzip.size() / 2);
  ScriptedServer server([&](ServerConnection& connection) {
    while (auto request = connection.readRequest()) {
      std::string body = request->target == "/cut" ? cut : "this is not gzip at all";
      connection.send(httpResponse(200, {{"Content-Encoding", "gzip"}}, body));
    }
  });
  ToolRun truncated = runTool(server.url("/cut"));
  EXPECT_EQ(truncated.exitCode, 1);
  EXPECT_EQ(truncated.out, "");
  EXPECT_EQ(truncated.err,
            "error HTTPRequestErrorDomain 11: Decompression of data failed with code -5\n");

  ToolRun garbage = runTool(server.url("/garbage"));
  EXPECT_EQ(garbage.exitCode, 1);
  EXPECT_EQ(garbage.out, "");
  EXPECT_EQ(garbage.err.rfind(
                "error HTTPRequestErrorDomain 11: Decompression of data failed with code ", 0),
            0u)
      << garbage.err;

  ToolRun raw = runTool("--raw " + server.url("/cut"));
  EXPECT_EQ(raw.exitCode, 0) << raw.err;
  EXPECT_EQ(raw.out, cut);
}

TEST(HttpGetToolTest, AFailedWriteIsAFailure) {
  ScriptedServer server(site());
  ToolRun full = runTool("-o /dev/full " + server.url("/hello"));
  EXPECT_EQ(full.exitCode, 1);
  EXPECT_NE(full.err.find("cannot write"), std::string::npos) << full.err;
}

TEST(HttpGetToolTest, IncludePrintsEachHeaderLineAsReceivedAndHelpExplainsTimeoutZero) {
  ScriptedServer server(ScriptedServer::alwaysAnswer(
      "HTTP/1.1 200 OK\r\nSet-Cookie: a=1\r\nset-cookie: b=2\r\nContent-Length: 2\r\n\r\nok"));
  ToolRun run = runTool("--include " + server.url("/"));
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out,
            "HTTP/1.1 200 OK\r\nSet-Cookie: a=1\r\nset-cookie: b=2\r\nContent-Length: 2\r\n\r\nok");

  ToolRun help = runTool("--help");
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("0 never"), std::string::npos) << help.out;
}

TEST(HttpGetToolTest, InsecureReachesASelfSignedServer) {
  if (!testing::NginxServer::isAvailable()) GTEST_SKIP() << "nginx is not installed";
  testing::TemporaryDirectory folder;
  folder.write("index.txt", "secret page");
  testing::SelfSignedCertificate certificate;
  ASSERT_TRUE(testing::SelfSignedCertificate::create(folder.path(), &certificate));
  testing::NginxServer::Options options;
  options.root = folder.path();
  options.certificatePath = certificate.certificatePath;
  options.keyPath = certificate.keyPath;
  testing::NginxServer nginx(options);
  ASSERT_TRUE(nginx.running());
  ToolRun checked = runTool(nginx.url("/index.txt"));
  EXPECT_EQ(checked.exitCode, 1);
  EXPECT_NE(checked.err.find(
                "error HTTPRequestErrorDomain 1: A connection failure occurred: SSL problem"),
            std::string::npos);
  ToolRun insecure = runTool("--insecure " + nginx.url("/index.txt"));
  EXPECT_EQ(insecure.exitCode, 0) << insecure.err;
  EXPECT_EQ(insecure.out, "secret page");
}

}  // namespace
}  // namespace lorvane
