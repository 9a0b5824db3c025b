// json-check as a user runs it: files and standard input, every option,
// the one-line error report and the exit statuses.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

namespace fs = std::filesystem;

struct Result {
  int status = -1;
  std::string output;
  std::string errors;
};

class JSONCheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    directory_ = fs::temp_directory_path() /
                 ("json-check-test-" + std::to_string(::getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(directory_);
  }
  void TearDown() override { fs::remove_all(directory_); }

  std::string file(const std::string& name, const std::string& contents) {
    const fs::path path = directory_ / name;
    std::ofstream(path, std::ios::binary) << contents;
    return path.string();
  }

  // Runs the tool with the arguments, standard input from `input`.
  Result run(const std::string& arguments, const std::string& input = "") {
    const std::string in = file("stdin.txt", input);
    const std::string err = (directory_ / "stderr.txt").string();
    const std::string command =
        std::string("'") + JSON_CHECK_PATH + "' " + arguments + " <'" + in + "' 2>'" + err + "'";
    Result result;
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return result;
    char buffer[4096];
    std::size_t count;
    while ((count = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
      result.output.append(buffer, count);
    const int status = ::pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream errors(err, std::ios::binary);
    result.errors.assign(std::istreambuf_iterator<char>(errors), {});
    return result;
  }

  fs::path directory_;
};

TEST_F(JSONCheckTest, PrintsTheDocumentAgain) {
  const std::string path = file("doc.json", "{ \"b\" : [1, 2.5, \"x/y\"],\n  \"a\": null }\n");
  Result compact = run("'" + path + "'");
  EXPECT_EQ(compact.status, 0);
  EXPECT_TRUE(compact.output == "{\"a\":null,\"b\":[1,2.5,\"x/y\"]}\n" ||
              compact.output == "{\"b\":[1,2.5,\"x/y\"],\"a\":null}\n")
      << compact.output;
  Result pretty = run("--pretty --escape-slashes '" + path + "'");
  EXPECT_EQ(pretty.status, 0);
  EXPECT_EQ(pretty.output,
            "{\n  \"a\": null,\n  \"b\": [\n    1,\n    2.5,\n    \"x\\/y\"\n  ]\n}\n");
  EXPECT_EQ(pretty.errors, "");
}

TEST_F(JSONCheckTest, ReadsStandardInputWithoutAFileOrWithADash) {
  EXPECT_EQ(run("", "[\"caf\xc3\xa9\"]").output, "[\"caf\xc3\xa9\"]\n");
  Result dash = run("--escape-unicode -", "[\"caf\xc3\xa9\"]");
  EXPECT_EQ(dash.status, 0);
  EXPECT_EQ(dash.output, "[\"caf\\u00e9\"]\n");
}

TEST_F(JSONCheckTest, ReportsADecodeFailureOnOneLine) {
  Result result = run("", "[1,\n2,\n]");
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.output, "error: Unexpected ']'. (index 8, line 3)\n");
  Result empty = run("");
  EXPECT_EQ(empty.status, 1);
  EXPECT_EQ(empty.output, "error: Reached the end of the buffer. (index 0, line 1)\n");
}

TEST_F(JSONCheckTest, ParseOptionsReachTheDecoder) {
  EXPECT_EQ(run("", "[1 /* c */]").status, 1);
  EXPECT_EQ(run("--allow-comments", "[1 /* c */]").output, "[1]\n");
  EXPECT_EQ(run("", "[1] tail").status, 1);
  EXPECT_EQ(run("--allow-trailing-text", "[1] tail").output, "[1]\n");
  EXPECT_EQ(run("", "[\"\xff\"]").output,
            "error: Illegal UTF8 sequence found in \"\" string. (index 1, line 1)\n");
  EXPECT_EQ(run("--replace-invalid-unicode", "[\"\xff\"]").output, "[\"\xef\xbf\xbd\"]\n");
  EXPECT_EQ(run("", "[1,\xe2\x80\xa8 2]").status, 1);
  EXPECT_EQ(run("--unicode-line-breaks", "[1,\xe2\x80\xa8 2]").output, "[1,2]\n");
}

TEST_F(JSONCheckTest, BadUsageExitsTwoWithUsage) {
  Result unknown = run("--frobnicate");
  EXPECT_EQ(unknown.status, 2);
  EXPECT_EQ(unknown.output, "");
  EXPECT_NE(unknown.errors.find("usage: json-check"), std::string::npos);
  EXPECT_EQ(run("a.json b.json").status, 2);
  Result missing = run("'" + (directory_ / "missing.json").string() + "'");
  EXPECT_EQ(missing.status, 2);
  EXPECT_NE(missing.errors.find("cannot open"), std::string::npos);
  Result help = run("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.output.find("--replace-invalid-unicode"), std::string::npos);
}

}  // namespace
