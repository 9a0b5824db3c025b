// Lifetimes of decoded trees: a tree dies with its root unless a caller
// still holds a part of it, and a part held past the tree stays whole
// while later decodes take the memory the rest of the tree gave back.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "json/json.h"
#include "json_test_support.h"

namespace lorvane {
namespace {

using json_test::decode;
using json_test::decodeMutable;
using json_test::encode;

// A document whose every value depends on `seed`, with parts of every
// kind: short and long strings, integers, a double, small and large
// arrays, objects, and enough rows to fill several chunks.
std::string makeDocument(int seed) {
  const std::string s = std::to_string(seed);
  std::string text = R"({"name":"name-)" + s + R"(","count":)" + std::to_string(seed * 7 + 3) +
                     R"(,"ratio":)" + std::to_string(seed) + ".25" + R"(,"tags":["a)" + s +
                     R"(","b)" + s + R"("],"inner":{"x":"inner-)" + s + R"(","y":[)" + s +
                     R"(]},"long":")" + std::string(9000, static_cast<char>('a' + seed % 26)) +
                     R"(","big":[)";
  for (int i = 0; i < 2000; ++i) {
    if (i) text += ',';
    text += std::to_string(seed * 100000 + i);
  }
  text += R"(],"rows":[)";
  for (int i = 0; i < 3000; ++i) {
    if (i) text += ',';
    text += R"({"id":)" + std::to_string(i) + R"(,"label":"row-)" + s + "-" + std::to_string(i) +
            R"(","w":)" + std::to_string(seed) + "." + std::to_string(i + 1) + "}";
  }
  text += "]}";
  return text;
}

struct Part {
  const char* name;
  std::function<JSONValue*(JSONValue*)> pick;
};

std::vector<Part> parts() {
  const auto key = [](const char* name) {
    return [name](JSONValue* root) { return root->asDictionary()->objectForKey(name); };
  };
  return {
      {"short string", key("name")},
      {"integer", key("count")},
      {"double", key("ratio")},
      {"small array", key("tags")},
      {"object", key("inner")},
      {"long string", key("long")},
      {"large array", key("big")},
      {"element of a large array",
       [](JSONValue* root) {
         return root->asDictionary()->objectForKey("big")->asArray()->objectAtIndex(1234);
       }},
      {"row in the middle",
       [](JSONValue* root) {
         return root->asDictionary()->objectForKey("rows")->asArray()->objectAtIndex(1500);
       }},
      {"string deep in a row",
       [](JSONValue* root) {
         return root->asDictionary()
             ->objectForKey("rows")
             ->asArray()
             ->objectAtIndex(2999)
             ->asDictionary()
             ->objectForKey("label");
       }},
  };
}

// The text of a part of any kind.
std::string describe(const JSONValue& value) {
  if (value.isString()) return "string " + value.asString()->str();
  if (const JSONNumber* number = value.asNumber()) {
    return number->isDouble() ? "double " + std::to_string(number->doubleValue())
                              : "integer " + std::to_string(number->int64Value());
  }
  return encode(value);
}

// The key object "label" of the last row.
const JSONValue* labelKey(JSONValue* root) {
  const JSONArray* rows = root->asDictionary()->objectForKey("rows")->asArray();
  for (const JSONDictionary::Entry& entry : *rows->objectAtIndex(2999)->asDictionary()) {
    if (entry.key->stringValue() == "label") return entry.key;
  }
  return nullptr;
}

// Decodes other documents and keeps them, so that they take whatever
// memory was given back.
std::vector<JSONValueRef> churn(int firstSeed) {
  std::vector<JSONValueRef> kept;
  for (int seed = firstSeed; seed < firstSeed + 3; ++seed)
    kept.push_back(decode(makeDocument(seed)));
  return kept;
}

TEST(JSONTreeLifetimeTest, PartHeldByTheCallerOutlivesItsTree) {
  for (const Part& part : parts()) {
    SCOPED_TRACE(part.name);
    JSONValueRef root = decode(makeDocument(1));
    ASSERT_TRUE(root);
    JSONValueRef held = JSONValueRef::retain(part.pick(root.get()));
    ASSERT_TRUE(held);
    const std::string before = describe(*held);
    EXPECT_EQ(held->referenceCount(), 2u);
    root.reset();
    EXPECT_EQ(held->referenceCount(), 1u) << "the tree let go of it";
    const std::vector<JSONValueRef> others = churn(2);
    EXPECT_EQ(describe(*held), before);
  }
}

TEST(JSONTreeLifetimeTest, PartHeldOnAnotherThreadOutlivesItsTree) {
  JSONValueRef root = decode(makeDocument(4));
  ASSERT_TRUE(root);
  JSONValueRef held;
  std::string before;
  std::thread([&] {
    held = JSONValueRef::retain(parts()[8].pick(root.get()));
    before = encode(*held);
  }).join();
  root.reset();
  const std::vector<JSONValueRef> others = churn(5);
  EXPECT_EQ(held->referenceCount(), 1u);
  EXPECT_EQ(encode(*held), before);
  EXPECT_NE(before.find("row-4-1500"), std::string::npos) << before;
}

TEST(JSONTreeLifetimeTest, CopiesOfTheRootKeepTheWholeTree) {
  const std::string text = makeDocument(7);
  JSONValueRef root = decode(text);
  ASSERT_TRUE(root);
  const std::string before = encode(*root);
  JSONValueRef copy = root;
  JSONRef<JSONArray> holder = JSONArray::mutableArray();
  holder->addObject(root);
  EXPECT_EQ(root->referenceCount(), 3u);
  root.reset();
  copy.reset();
  const std::vector<JSONValueRef> others = churn(8);
  ASSERT_EQ(holder->count(), 1u);
  EXPECT_EQ(encode(*holder->objectAtIndex(0)), before);
  EXPECT_TRUE(holder->objectAtIndex(0)->isEqual(*decode(text)));
}

TEST(JSONTreeLifetimeTest, ValuesPutIntoAMutableTreeAreLetGoWithIt) {
  JSONValueRef foreign = json_test::string("from the caller");
  JSONValueRef root = decodeMutable(makeDocument(3));
  ASSERT_TRUE(root);
  JSONDictionary* dictionary = root->asDictionary();
  dictionary->setObject(foreign, json_test::string("added"));
  dictionary->objectForKey("tags")->asArray()->addObject(foreign);
  dictionary->objectForKey("big")->asArray()->removeObjectAtIndex(0);
  EXPECT_EQ(foreign->referenceCount(), 3u);
  root.reset();
  EXPECT_EQ(foreign->referenceCount(), 1u);
}

TEST(JSONTreeLifetimeTest, ValuesSharedThroughADecodersCacheOutliveTheFirstTree) {
  JSONDecoder decoder;
  const std::string text = makeDocument(6);
  JSONValueRef first = decoder.objectWithUTF8String(text.data(), text.size());
  JSONValueRef second = decoder.objectWithUTF8String(text.data(), text.size());
  ASSERT_TRUE(first && second);
  const JSONValue* label = labelKey(second.get());
  ASSERT_TRUE(label);
  EXPECT_EQ(labelKey(first.get()), label) << "one object in both trees";
  const std::uint32_t uses = label->referenceCount();
  EXPECT_GT(uses, 3000u);
  const std::string before = encode(*second);
  first.reset();
  decoder.clearCache();
  const std::vector<JSONValueRef> others = churn(9);
  EXPECT_LT(label->referenceCount(), uses);
  EXPECT_GT(label->referenceCount(), 2999u) << "every row of the second tree";
  EXPECT_EQ(label->stringValue(), "label");
  EXPECT_EQ(encode(*second), before);
}

TEST(JSONTreeLifetimeTest, ValuesDroppedDuringTheDecodeAreFreedOnce) {
  // The first "k" fills whole chunks with values that die when the second
  // "k" replaces them, before the tree is finished.
  std::string text = R"({"k":[)";
  for (int i = 0; i < 20000; ++i) {
    if (i) text += ',';
    text += R"(["dropped-)" + std::to_string(i) + R"(",)" + std::to_string(i) + ".5]";
  }
  text += R"(],"k":"kept","tail":[1,2,3]})";
  for (int round = 0; round < 3; ++round) {
    JSONValueRef root = decode(text);
    ASSERT_TRUE(root);
    ASSERT_EQ(root->asDictionary()->count(), 2u);
    EXPECT_EQ(root->asDictionary()->objectForKey("k")->stringValue(), "kept");
    root.reset();
    const std::vector<JSONValueRef> others = churn(10 + round);
    EXPECT_EQ(others.back()->asDictionary()->objectForKey("count")->asNumber()->int64Value(),
              (12 + round) * 7 + 3);
  }
}

TEST(JSONTreeLifetimeTest, FailedDecodesLeaveLaterTreesWhole) {
  std::string text = makeDocument(2);
  text.insert(text.size() - 10, "?");
  for (int round = 0; round < 3; ++round) {
    JSONError error;
    EXPECT_FALSE(objectFromJSONStringWithParseOptions(text, JSONParseStrict, &error));
    EXPECT_FALSE(error.description.empty());
    JSONValueRef good = decode(makeDocument(round));
    ASSERT_TRUE(good);
    EXPECT_EQ(good->asDictionary()->objectForKey("name")->stringValue(),
              "name-" + std::to_string(round));
  }
}

}  // namespace
}  // namespace lorvane
