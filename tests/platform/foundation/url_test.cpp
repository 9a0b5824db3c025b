#include "platform/foundation/url.h"

#include <gtest/gtest.h>

namespace lorvane {
namespace {

TEST(URLTest, ParsesEveryComponent) {
  auto url = URL::parse("HTTPS://user:pw@Example.COM:8443/a/b%20c/d.mp4?x=1&y=2#frag");
  ASSERT_TRUE(url);
  EXPECT_EQ(url->scheme(), "https");
  EXPECT_EQ(url->user(), "user");
  EXPECT_EQ(url->password(), "pw");
  EXPECT_EQ(url->host(), "example.com");
  EXPECT_EQ(url->port(), 8443);
  EXPECT_EQ(url->effectivePort(), 8443);
  EXPECT_EQ(url->percentEncodedPath(), "/a/b%20c/d.mp4");
  EXPECT_EQ(url->path(), "/a/b c/d.mp4");
  EXPECT_EQ(url->query(), "x=1&y=2");
  EXPECT_EQ(url->fragment(), "frag");
  EXPECT_EQ(url->requestTarget(), "/a/b%20c/d.mp4?x=1&y=2");
  EXPECT_EQ(url->hostAndPort(), "example.com:8443");
  EXPECT_EQ(url->lastPathComponent(), "d.mp4");
  EXPECT_EQ(url->pathExtension(), "mp4");
  EXPECT_EQ(url->withoutFragment().absoluteString(),
            "https://user:pw@example.com:8443/a/b%20c/d.mp4?x=1&y=2");
}

TEST(URLTest, DefaultPortsAndIPv6Hosts) {
  EXPECT_EQ(URL::parse("http://a.b/")->effectivePort(), 80);
  EXPECT_EQ(URL::parse("https://a.b")->effectivePort(), 443);
  EXPECT_EQ(URL::parse("https://a.b")->requestTarget(), "/");
  auto v6 = URL::parse("http://[::1]:8080/x");
  ASSERT_TRUE(v6);
  EXPECT_EQ(v6->host(), "::1");
  EXPECT_EQ(v6->hostAndPort(), "[::1]:8080");
}

TEST(URLTest, RejectsTextThatIsNotAURL) {
  for (const char* bad :
       {"http://exa mple.com/", "http://host/a b", "http://host/%zz", "http://host/%4",
        "http://host:99999/", "http://host:12ab/", "1http://host/", "http://[::1/",
        "http://host/\xe4\xb8\xad", "http://host/\"quoted\"", "http://host/<tag>"}) {
    EXPECT_FALSE(URL::parse(bad)) << bad;
  }
}

// The examples of RFC 3986 section 5.4.
TEST(URLTest, ResolvesReferencesAsTheRFCExamplesDo) {
  auto base = URL::parse("http://a/b/c/d;p?q");
  ASSERT_TRUE(base);
  const std::pair<const char*, const char*> cases[] = {
      {"g:h", "g:h"},
      {"g", "http://a/b/c/g"},
      {"./g", "http://a/b/c/g"},
      {"g/", "http://a/b/c/g/"},
      {"/g", "http://a/g"},
      {"//g", "http://g"},
      {"?y", "http://a/b/c/d;p?y"},
      {"g?y", "http://a/b/c/g?y"},
      {"#s", "http://a/b/c/d;p?q#s"},
      {"g#s", "http://a/b/c/g#s"},
      {";x", "http://a/b/c/;x"},
      {"", "http://a/b/c/d;p?q"},
      {".", "http://a/b/c/"},
      {"./", "http://a/b/c/"},
      {"..", "http://a/b/"},
      {"../g", "http://a/b/g"},
      {"../..", "http://a/"},
      {"../../g", "http://a/g"},
      {"../../../g", "http://a/g"},
      {"../../../../g", "http://a/g"},
      {"/./g", "http://a/g"},
      {"/../g", "http://a/g"},
      {"g.", "http://a/b/c/g."},
      {".g", "http://a/b/c/.g"},
      {"g..", "http://a/b/c/g.."},
      {"..g", "http://a/b/c/..g"},
      {"./../g", "http://a/b/g"},
      {"./g/.", "http://a/b/c/g/"},
      {"g/./h", "http://a/b/c/g/h"},
      {"g/../h", "http://a/b/c/h"},
      {"g;x=1/./y", "http://a/b/c/g;x=1/y"},
      {"g;x=1/../y", "http://a/b/c/y"},
      {"g?y/./x", "http://a/b/c/g?y/./x"},
      {"g#s/../x", "http://a/b/c/g#s/../x"},
  };
  for (const auto& [reference, expected] : cases) {
    auto resolved = URL::parse(reference, *base);
    ASSERT_TRUE(resolved) << reference;
    EXPECT_EQ(resolved->absoluteString(), expected) << reference;
  }
}

TEST(URLTest, LastPathComponentDecodesAndIgnoresTrailingSlashes) {
  EXPECT_EQ(URL::parse("http://h/a/b/")->lastPathComponent(), "b");
  EXPECT_EQ(URL::parse("http://h/")->lastPathComponent(), "/");
  EXPECT_EQ(URL::parse("http://h")->lastPathComponent(), "");
  EXPECT_EQ(URL::parse("http://h/a/..%2F..%2Fetc")->lastPathComponent(), "../../etc");
  EXPECT_EQ(URL::parse("http://h/pics/%E4%B8%AD.jpg")->lastPathComponent(), "\xe4\xb8\xad.jpg");
}

TEST(URLTest, PercentEscapingIsUTF8AndKeepsExistingEscapes) {
  EXPECT_EQ(percentEscape("http://h/a b/\xe4\xb8\xad?q=1"), "http://h/a%20b/%E4%B8%AD?q=1");
  EXPECT_EQ(percentEscape("50%25 off"), "50%25%20off");
  EXPECT_EQ(percentEscape("100%", true), "100%25");
  EXPECT_EQ(percentEscape("%41", false), "%2541");
  EXPECT_EQ(percentEscapeComponent("a b&c=d/e"), "a%20b%26c%3Dd%2Fe");
  EXPECT_EQ(percentDecode("a%20b%2"), "a b%2");
  auto escaped = URL::parse(percentEscape("http://h/\xe8\xaf\xbe \xe7\xa8\x8b.mp4"));
  ASSERT_TRUE(escaped);
  EXPECT_EQ(escaped->lastPathComponent(), "\xe8\xaf\xbe \xe7\xa8\x8b.mp4");
}

}  // namespace
}  // namespace lorvane
