#include "demo/server/request_path.h"

#include <gtest/gtest.h>

namespace lorvane::demo {
namespace {

TEST(RequestPathTest, PathsAreReadTheWayNginxReadsThem) {
  const std::pair<const char*, const char*> cases[] = {
      {"/thumbs/a.jpg", "/thumbs/a.jpg"},
      {"/thumbs/a.jpg?x=1", "/thumbs/a.jpg"},
      {"//thumbs///a.jpg", "/thumbs/a.jpg"},
      {"/thumbs/./a.jpg", "/thumbs/a.jpg"},
      {"/thumbs/../videos/b.mp4", "/videos/b.mp4"},
      {"/thumbs%2Fa.jpg", "/thumbs/a.jpg"},
      {"/thumbs/%2e%2E/x", "/x"},
      {"/thumbs/a%20b.jpg", "/thumbs/a b.jpg"},
      {"/thumbs/%zz", "/thumbs/%zz"},
      {"/thumbs/%4", "/thumbs/%4"},
      {"/thumbs/", "/thumbs/"},
      {"/thumbs/.", "/thumbs/"},
      {"/thumbs/..", "/"},
      {"/a/b/..", "/a/"},
      {"/...", "/..."},
      {"/", "/"},
  };
  for (const auto& [target, path] : cases) {
    EXPECT_EQ(normalisedPath(target), std::optional<std::string>(path)) << target;
  }
  for (const char* outside : {"/..", "/../x", "/a/../../x", "/%2e%2e/x", "/a/..%2f..%2fx", "/a%00b",
                              "", "a/b", "http://host/x"}) {
    EXPECT_EQ(normalisedPath(outside), std::nullopt) << outside;
  }
}

TEST(RequestPathTest, QueryArgumentsLikeNginxsArgVariables) {
  EXPECT_EQ(queryOf("/infolist?_method=orvel"), "_method=orvel");
  EXPECT_EQ(queryOf("/infolist"), "");
  EXPECT_EQ(queryArgument("_method=orvel", "_method"), "orvel");
  EXPECT_EQ(queryArgument("a=1&_method=infoJson&b=2", "_method"), "infoJson");
  EXPECT_EQ(queryArgument("_METHOD=orvel", "_method"), "orvel") << "names ignore case";
  EXPECT_EQ(queryArgument("_method=Orvel", "_method"), "Orvel") << "values are kept";
  EXPECT_EQ(queryArgument("_method=orvel&_method=infoJson", "_method"), "orvel");
  EXPECT_EQ(queryArgument("_method=", "_method"), "");
  EXPECT_EQ(queryArgument("x_method=orvel", "_method"), std::nullopt);
  EXPECT_EQ(queryArgument("_method", "_method"), std::nullopt);
  EXPECT_EQ(queryArgument("_methods=orvel", "_method"), std::nullopt);
  EXPECT_EQ(queryArgument("", "_method"), std::nullopt);
}

}  // namespace
}  // namespace lorvane::demo
