// Values shared between threads: references taken and dropped on many
// threads at once, trees torn down piecewise on different threads, and the
// one-shot decoders used in parallel. The sanitizer build checks that every
// value and arena chunk is freed exactly once.

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "json/json.h"

namespace lorvane {
namespace {

std::string sampleDocument() {
  std::string text = "[";
  for (int i = 0; i < 2000; ++i) {
    if (i) text += ',';
    text += R"({"id":)" + std::to_string(i % 97) + R"(,"name":"item )" + std::to_string(i) +
            R"(","tags":["a","b",)" + std::to_string(i * 0.5) + "]}";
  }
  return text + "]";
}

void collect(JSONValue* value, std::vector<JSONValueRef>& into) {
  into.push_back(JSONValueRef::retain(value));
  if (const JSONArray* array = value->asArray()) {
    for (JSONValue* element : *array) collect(element, into);
  } else if (const JSONDictionary* dictionary = value->asDictionary()) {
    for (const JSONDictionary::Entry& entry : *dictionary) {
      collect(entry.key, into);
      collect(entry.value, into);
    }
  }
}

TEST(JSONConcurrencyTest, ReferencesTakenAndDroppedOnManyThreads) {
  const std::string text = sampleDocument();
  JSONValueRef document = objectFromJSONString(text);
  ASSERT_TRUE(document);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([document] {
      for (int round = 0; round < 3; ++round) {
        std::vector<JSONValueRef> held;
        collect(document.get(), held);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(document->referenceCount(), 1u);
  EXPECT_TRUE(document->isEqual(*objectFromJSONString(text)));
}

TEST(JSONConcurrencyTest, TreeTornDownPiecewiseOnDifferentThreads) {
  const std::string text = sampleDocument();
  for (int round = 0; round < 5; ++round) {
    JSONValueRef document = objectFromJSONString(text);
    ASSERT_TRUE(document);
    const JSONArray* array = document->asArray();
    ASSERT_TRUE(array);
    // Each thread owns the last references to its share of the elements,
    // which live in the same arena chunks as everybody else's. A witness
    // outlives each share: one element's name, kept here.
    std::vector<std::vector<JSONValueRef>> shares(4);
    std::vector<JSONValueRef> witnesses;
    std::vector<std::string> witnessTexts;
    for (std::size_t i = 0; i < array->count(); ++i) {
      shares[i % 4].push_back(JSONValueRef::retain(array->objectAtIndex(i)));
    }
    for (const auto& share : shares) {
      const JSONDictionary* element = share.back()->asDictionary();
      ASSERT_TRUE(element);
      JSONValue* name = element->objectForKey("name");
      ASSERT_TRUE(name && name->asString());
      witnesses.push_back(JSONValueRef::retain(name));
      witnessTexts.push_back(name->asString()->str());
    }
    document.reset();
    // The array let go of its elements: each share holds the only reference.
    for (const auto& share : shares) {
      for (const JSONValueRef& element : share) ASSERT_EQ(element->referenceCount(), 1u);
    }
    std::atomic<int> notLast{0};
    std::vector<std::thread> threads;
    for (auto& share : shares) {
      threads.emplace_back([held = std::move(share), &notLast]() mutable {
        for (const JSONValueRef& element : held) {
          if (element->referenceCount() != 1) ++notLast;
        }
        held.clear();
      });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(notLast.load(), 0);
    // Fresh values on this thread may take any memory that was freed; the
    // witnesses' must not have been.
    JSONValueRef other = objectFromJSONString(text);
    ASSERT_TRUE(other);
    for (std::size_t i = 0; i < witnesses.size(); ++i) {
      EXPECT_EQ(witnesses[i]->referenceCount(), 1u) << "each element let go of its name";
      ASSERT_TRUE(witnesses[i]->asString());
      EXPECT_EQ(witnesses[i]->asString()->str(), witnessTexts[i]);
    }
  }
}

// Trees of one decoder share their keys and repeated values; torn down on
// different threads at once, the references they drop to the same values
// race with each other and with a reader that keeps taking some.
TEST(JSONConcurrencyTest, TreesSharingValuesTornDownOnManyThreads) {
  const std::string text = sampleDocument();
  for (int round = 0; round < 3; ++round) {
    JSONDecoder decoder;
    std::vector<JSONValueRef> trees;
    for (int t = 0; t < 4; ++t)
      trees.push_back(decoder.objectWithUTF8String(text.data(), text.size()));
    decoder.clearCache();
    const JSONDictionary* sample = trees[0]->asArray()->objectAtIndex(5)->asDictionary();
    const JSONValueRef name = JSONValueRef::retain(sample->objectForKey("tags"));
    const JSONValueRef key = JSONValueRef::retain((*sample->begin()).key);
    std::vector<std::thread> threads;
    for (JSONValueRef& tree : trees) {
      threads.emplace_back([held = std::move(tree)]() mutable { held.reset(); });
    }
    threads.emplace_back([&key] {
      for (int i = 0; i < 10000; ++i) JSONValueRef copy = key;
    });
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(key->referenceCount(), 1u);
    EXPECT_EQ(name->referenceCount(), 1u);
    EXPECT_EQ(name->asArray()->count(), 3u);
  }
}

TEST(JSONConcurrencyTest, OneShotDecodersRunInParallel) {
  const std::string text = sampleDocument();
  JSONValueRef reference = objectFromJSONString(text);
  ASSERT_TRUE(reference);
  std::vector<int> equal(4, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < 5; ++round) {
        JSONValueRef mine = objectFromJSONString(text);
        if (mine && mine->isEqual(*reference)) ++equal[t];
        const std::optional<std::string> encoded = JSONString(*mine);
        if (!encoded || !objectFromJSONString(*encoded)->isEqual(*reference)) --equal[t];
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < 4; ++t) EXPECT_EQ(equal[t], 5) << "thread " << t;
}

}  // namespace
}  // namespace lorvane
