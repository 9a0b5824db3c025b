// JSONArray and JSONDictionary: mutability, capacities, the hash table's
// probing and removal, copies, enumeration and their exceptions.

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "json/json.h"
#include "json/json_internal.h"
#include "json_test_support.h"

namespace lorvane {
namespace {

using json_test::decode;
using json_test::decodeMutable;
using json_test::expectException;
using json_test::number;
using json_test::string;

constexpr const char* kImmutable = "mutating method sent to immutable object";

std::int64_t intAt(const JSONArray& array, std::size_t index) {
  return array.objectAtIndex(index)->asNumber()->int64Value();
}

TEST(JSONArrayTest, DecodedArrayIsImmutableAndRefusesEveryMutation) {
  JSONValueRef value = decode("[1,2,3]");
  JSONArray* array = value->asArray();
  ASSERT_TRUE(array);
  EXPECT_FALSE(array->isMutable());
  EXPECT_EQ(array->mutations(), 0u);
  EXPECT_EQ(array->count(), 3u);
  EXPECT_EQ(array->capacity(), 3u);
  const std::string inconsistency = JSONException::InternalInconsistency;
  expectException([&] { array->insertObject(number(4), 0); }, inconsistency,
                  std::string("*** -[JSONArray insertObject:atIndex:]: ") + kImmutable);
  expectException([&] { array->removeObjectAtIndex(0); }, inconsistency,
                  std::string("*** -[JSONArray removeObjectAtIndex:]: ") + kImmutable);
  expectException([&] { array->replaceObjectAtIndex(0, number(9)); }, inconsistency,
                  std::string("*** -[JSONArray replaceObjectAtIndex:withObject:]: ") + kImmutable);
  EXPECT_EQ(json_test::encode(*array), "[1,2,3]");
}

TEST(JSONArrayTest, IndexChecksReportIndexAndBounds) {
  JSONValueRef value = decodeMutable("[1,2,3]");
  JSONArray* array = value->asArray();
  expectException([&] { array->objectAtIndex(3); }, JSONException::Range,
                  "*** -[JSONArray objectAtIndex:]: index (3) beyond bounds (3)");
  // Inserting may go one past the last element, so the bound shown is count + 1.
  expectException([&] { array->insertObject(number(1), 5); }, JSONException::Range,
                  "*** -[JSONArray insertObject:atIndex:]: index (5) beyond bounds (4)");
  expectException([&] { array->removeObjectAtIndex(3); }, JSONException::Range,
                  "*** -[JSONArray removeObjectAtIndex:]: index (3) beyond bounds (3)");
  expectException([&] { array->insertObject(nullptr, 0); }, JSONException::InvalidArgument,
                  "*** -[JSONArray insertObject:atIndex:]: attempt to insert nil");
  expectException([&] { array->replaceObjectAtIndex(0, nullptr); }, JSONException::InvalidArgument,
                  "*** -[JSONArray replaceObjectAtIndex:withObject:]: attempt to insert nil");
  EXPECT_EQ(array->count(), 3u);
  EXPECT_EQ(array->mutations(), 1u) << "failed mutations do not count";
}

TEST(JSONArrayTest, MutableArrayInsertsRemovesAndReplacesInPlace) {
  JSONValueRef value = decodeMutable("[1,2,3]");
  JSONArray* array = value->asArray();
  ASSERT_TRUE(array->isMutable());
  array->insertObject(number(0), 0);
  array->insertObject(number(9), 2);
  array->addObject(number(4));
  EXPECT_EQ(json_test::encode(*array), "[0,1,9,2,3,4]");
  array->removeObjectAtIndex(2);
  array->replaceObjectAtIndex(0, string("zero"));
  EXPECT_EQ(json_test::encode(*array), "[\"zero\",1,2,3,4]");
  EXPECT_EQ(array->mutations(), 6u);
}

TEST(JSONArrayTest, InsertGrowsBySixteenWhenCountPlusOneReachesCapacity) {
  JSONValueRef value = decodeMutable("[1,2,3]");
  JSONArray* array = value->asArray();
  ASSERT_EQ(array->capacity(), 3u);
  array->addObject(number(4));
  EXPECT_EQ(array->capacity(), 19u);
  while (array->count() + 1 < 19) array->addObject(number(0));
  EXPECT_EQ(array->capacity(), 19u);
  array->addObject(number(0));
  EXPECT_EQ(array->capacity(), 35u);
  EXPECT_EQ(intAt(*array, 0), 1);
  EXPECT_EQ(intAt(*array, 3), 4);
}

TEST(JSONArrayTest, MutationCounterSkipsZeroWhenItWraps) {
  JSONRef<JSONArray> array = JSONArray::mutableArray();
  json_detail::ValueAccess::setMutations(array.get(), UINT32_MAX);
  array->addObject(number(1));
  EXPECT_EQ(array->mutations(), 1u);
  EXPECT_TRUE(array->isMutable());
}

TEST(JSONArrayTest, GetObjectsCopiesARangeAndChecksIt) {
  JSONValueRef value = decode("[10,20,30,40]");
  const JSONArray* array = value->asArray();
  JSONValue* objects[2] = {};
  array->getObjects(objects, {1, 2});
  EXPECT_EQ(objects[0]->asNumber()->int64Value(), 20);
  EXPECT_EQ(objects[1]->asNumber()->int64Value(), 30);
  array->getObjects(nullptr, {0, 0});
  expectException(
      [&] {
        array->getObjects(nullptr, {1, 2});
      },
      JSONException::Range,
      "*** -[JSONArray getObjects:range:]: pointer to objects array is NULL but range "
      "length is 3");
  expectException(
      [&] {
        array->getObjects(objects, {3, 2});
      },
      JSONException::Range, "*** -[JSONArray getObjects:range:]: index (5) beyond bounds (4)");
  // A range whose end does not fit in size_t must not wrap around to "small".
  EXPECT_THROW(array->getObjects(objects, {2, SIZE_MAX}), JSONException);
}

TEST(JSONArrayTest, CopiesShareImmutableArraysAndDetachMutableOnes) {
  JSONValueRef frozen = decode("[1,[2]]");
  JSONRef<JSONArray> same = frozen->asArray()->copy();
  EXPECT_EQ(same.get(), frozen.get());

  JSONValueRef live = decodeMutable("[1,2]");
  JSONRef<JSONArray> snapshot = live->asArray()->copy();
  JSONRef<JSONArray> editable = live->asArray()->mutableCopy();
  EXPECT_NE(snapshot.get(), live.get());
  EXPECT_FALSE(snapshot->isMutable());
  EXPECT_TRUE(editable->isMutable());
  live->asArray()->addObject(number(3));
  editable->removeObjectAtIndex(0);
  EXPECT_EQ(json_test::encode(*live), "[1,2,3]");
  EXPECT_EQ(json_test::encode(*snapshot), "[1,2]");
  EXPECT_EQ(json_test::encode(*editable), "[2]");
  EXPECT_EQ(snapshot->objectAtIndex(0), live->asArray()->objectAtIndex(0)) << "shallow copies";
}

TEST(JSONArrayTest, EnumerationSeesEveryElementAndRefusesMutationMidway) {
  JSONValueRef value = decodeMutable("[1,2,3,4]");
  JSONArray* array = value->asArray();
  std::int64_t sum = 0;
  for (JSONValue* element : *array) sum += element->asNumber()->int64Value();
  EXPECT_EQ(sum, 10);
  EXPECT_THROW(
      {
        for (JSONValue* element : *array) {
          if (element->asNumber()->int64Value() == 2) array->addObject(number(5));
        }
      },
      JSONException);
}

TEST(JSONArrayTest, ElementsAreRetainedWhileInTheArray) {
  JSONRef<JSONArray> array = JSONArray::mutableArray();
  JSONValueRef element = string("kept");
  array->addObject(element);
  array->addObject(element);
  EXPECT_EQ(element->referenceCount(), 3u);
  array->removeObjectAtIndex(0);
  EXPECT_EQ(element->referenceCount(), 2u);
  array.reset();
  EXPECT_EQ(element->referenceCount(), 1u);
}

TEST(JSONDictionaryTest, CapacityComesFromTheTable) {
  EXPECT_EQ(JSONDictionary::capacityForCount(0), 0u);
  EXPECT_EQ(JSONDictionary::capacityForCount(1), 3u);
  EXPECT_EQ(JSONDictionary::capacityForCount(3), 3u);
  EXPECT_EQ(JSONDictionary::capacityForCount(4), 7u);
  EXPECT_EQ(JSONDictionary::capacityForCount(9), 13u);
  EXPECT_EQ(JSONDictionary::capacityForCount(100), 191u);
  EXPECT_EQ(JSONDictionary::capacityForCount(355000000), 472907251u);
  EXPECT_EQ(JSONDictionary::capacityForCount(400000000), SIZE_MAX);

  EXPECT_EQ(decode("{}")->asDictionary()->capacity(), 0u);
  EXPECT_EQ(decode("{}")->asDictionary()->objectForKey("a"), nullptr);
  EXPECT_EQ(decode(R"({"a":1,"b":2,"c":3})")->asDictionary()->capacity(), 3u);
  EXPECT_EQ(decode(R"({"a":1,"b":2,"c":3,"d":4})")->asDictionary()->capacity(), 7u);
}

TEST(JSONDictionaryTest, RepeatedKeyKeepsTheLaterValueOnce) {
  JSONValueRef value = decode(R"({"a":1,"b":2,"a":3})");
  const JSONDictionary* dictionary = value->asDictionary();
  EXPECT_EQ(dictionary->count(), 2u);
  EXPECT_EQ(dictionary->objectForKey("a")->asNumber()->int64Value(), 3);
  EXPECT_EQ(dictionary->objectForKey("b")->asNumber()->int64Value(), 2);
}

TEST(JSONDictionaryTest, ImmutableDictionaryRefusesMutation) {
  JSONValueRef value = decode(R"({"a":1})");
  JSONDictionary* dictionary = value->asDictionary();
  expectException([&] { dictionary->setObject(number(2), string("b")); },
                  JSONException::InternalInconsistency,
                  std::string("*** -[JSONDictionary setObject:forKey:]: ") + kImmutable);
  expectException([&] { dictionary->removeObjectForKey("a"); },
                  JSONException::InternalInconsistency,
                  std::string("*** -[JSONDictionary removeObjectForKey:]: ") + kImmutable);
  EXPECT_EQ(dictionary->count(), 1u);
}

TEST(JSONDictionaryTest, NilKeysAndValuesAreRefused) {
  JSONRef<JSONDictionary> dictionary = JSONDictionary::mutableDictionary();
  expectException([&] { dictionary->setObject(number(1), JSONValueRef()); },
                  JSONException::InvalidArgument,
                  "*** -[JSONDictionary setObject:forKey:]: attempt to insert nil key");
  expectException(
      [&] { dictionary->setObject(nullptr, string("name")); }, JSONException::InvalidArgument,
      "*** -[JSONDictionary setObject:forKey:]: attempt to insert nil value (key: name)");
  expectException([&] { dictionary->removeObjectForKey(static_cast<const JSONValue*>(nullptr)); },
                  JSONException::InvalidArgument,
                  "*** -[JSONDictionary removeObjectForKey:]: attempt to remove nil key");
  // Bytes that are not UTF-8 make no key at all.
  EXPECT_THROW(dictionary->setObject(number(1), std::string_view("\xff")), JSONException);
  EXPECT_EQ(dictionary->count(), 0u);
}

TEST(JSONDictionaryTest, GrowingAMutableDictionaryKeepsEveryPair) {
  JSONValueRef value = decodeMutable(R"({"a":1,"b":2,"c":3})");
  JSONDictionary* dictionary = value->asDictionary();
  ASSERT_EQ(dictionary->capacity(), 3u);
  dictionary->setObject(number(4), string("d"));
  EXPECT_EQ(dictionary->capacity(), 7u);
  EXPECT_EQ(dictionary->count(), 4u);
  std::int64_t expected = 1;
  for (const char* key : {"a", "b", "c", "d"}) {
    ASSERT_TRUE(dictionary->objectForKey(key)) << key;
    EXPECT_EQ(dictionary->objectForKey(key)->asNumber()->int64Value(), expected++);
  }
  dictionary->setObject(string("four"), string("d"));
  EXPECT_EQ(dictionary->count(), 4u);
  EXPECT_EQ(dictionary->objectForKey("d")->stringValue(), "four");
  EXPECT_EQ(dictionary->mutations(), 3u);
}

// Keys whose hashes share a home slot in a table of the given capacity.
std::vector<std::string> collidingKeys(std::size_t capacity, std::size_t slot, std::size_t count) {
  std::vector<std::string> keys;
  for (int i = 0; keys.size() < count; ++i) {
    std::string key = "key" + std::to_string(i);
    if (JSONStringValue::create(key)->hash() % capacity == slot) keys.push_back(key);
  }
  return keys;
}

TEST(JSONDictionaryTest, RemovingFromARunOfCollidingKeysKeepsTheOthersReachable) {
  JSONRef<JSONDictionary> dictionary = JSONDictionary::mutableDictionary();
  // Eight entries live in a table of 13; the run starts near the end so
  // that it wraps around to slot 0.
  std::vector<std::string> keys = collidingKeys(13, 11, 5);
  for (const std::string& key : collidingKeys(13, 12, 1)) keys.push_back(key);
  for (const std::string& key : collidingKeys(13, 0, 2)) keys.push_back(key);
  for (std::size_t i = 0; i < keys.size(); ++i) {
    dictionary->setObject(number(static_cast<std::int64_t>(i)), keys[i]);
  }
  ASSERT_EQ(dictionary->capacity(), 13u);
  for (std::size_t removed : {1u, 3u, 5u}) {
    dictionary->removeObjectForKey(keys[removed]);
    EXPECT_EQ(dictionary->objectForKey(keys[removed]), nullptr);
  }
  EXPECT_EQ(dictionary->count(), keys.size() - 3);
  for (std::size_t i = 0; i < keys.size(); ++i) {
    if (i == 1 || i == 3 || i == 5) continue;
    JSONValue* found = dictionary->objectForKey(keys[i]);
    ASSERT_TRUE(found) << keys[i];
    EXPECT_EQ(found->asNumber()->int64Value(), static_cast<std::int64_t>(i));
  }
}

TEST(JSONDictionaryTest, ManyInsertionsAndRemovalsStayConsistent) {
  JSONRef<JSONDictionary> dictionary = JSONDictionary::mutableDictionary();
  for (int i = 0; i < 5000; ++i) dictionary->setObject(number(i), "k" + std::to_string(i));
  for (int i = 0; i < 5000; i += 2) dictionary->removeObjectForKey("k" + std::to_string(i));
  EXPECT_EQ(dictionary->count(), 2500u);
  std::size_t enumerated = 0;
  for (const JSONDictionary::Entry& entry : *dictionary) {
    const int i = static_cast<int>(entry.value->asNumber()->int64Value());
    EXPECT_EQ(entry.key->stringValue(), "k" + std::to_string(i));
    EXPECT_EQ(i % 2, 1);
    ++enumerated;
  }
  EXPECT_EQ(enumerated, 2500u);
  for (int i = 0; i < 5000; ++i) {
    EXPECT_EQ(dictionary->objectForKey("k" + std::to_string(i)) != nullptr, i % 2 == 1) << i;
  }
}

TEST(JSONDictionaryTest, KeysOfAnyKindAreFoundByEquality) {
  JSONRef<JSONDictionary> dictionary = JSONDictionary::mutableDictionary();
  dictionary->setObject(string("one"), number(1));
  dictionary->setObject(string("list"), decode("[1,2]"));
  JSONValueRef oneAsDouble = JSONNumber::withDouble(1.0);
  ASSERT_TRUE(dictionary->objectForKey(oneAsDouble.get()));
  EXPECT_EQ(dictionary->objectForKey(oneAsDouble.get())->stringValue(), "one");
  EXPECT_EQ(dictionary->objectForKey(decode("[1,2]").get())->stringValue(), "list");
  EXPECT_EQ(dictionary->objectForKey(static_cast<const JSONValue*>(nullptr)), nullptr);
}

TEST(JSONDictionaryTest, MutableKeyIsStoredAsAnImmutableCopy) {
  JSONRef<JSONDictionary> dictionary = JSONDictionary::mutableDictionary();
  JSONRef<JSONArray> key = JSONArray::mutableArray();
  key->addObject(number(1));
  dictionary->setObject(string("value"), key);
  key->addObject(number(2));
  EXPECT_TRUE(dictionary->objectForKey(decode("[1]").get()));
  const JSONValue* storedKey = dictionary->begin()->key;
  EXPECT_NE(storedKey, key.get());
  EXPECT_FALSE(storedKey->asArray()->isMutable());
}

TEST(JSONDictionaryTest, EnumeratorsAndGetObjectsFollowSlotOrder) {
  JSONValueRef value = decode(R"({"a":1,"b":2,"c":3,"d":4,"e":5})");
  const JSONDictionary* dictionary = value->asDictionary();
  std::vector<const JSONValue*> iterated;
  for (const JSONDictionary::Entry& entry : *dictionary) iterated.push_back(entry.key);
  JSONValue* keys[5];
  JSONValue* objects[5];
  dictionary->getObjects(objects, keys);
  for (std::size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(keys[i], iterated[i]);
    EXPECT_EQ(objects[i], dictionary->objectForKey(keys[i]));
  }
  JSONDictionaryEnumerator enumerator = dictionary->keyEnumerator();
  EXPECT_EQ(enumerator.nextObject(), iterated[0]);
  EXPECT_EQ(enumerator.nextObject(), iterated[1]);
  JSONRef<JSONArray> rest = enumerator.allObjects();
  ASSERT_EQ(rest->count(), 3u);
  EXPECT_EQ(rest->objectAtIndex(0), iterated[2]);
  EXPECT_EQ(enumerator.nextObject(), nullptr);
}

TEST(JSONDictionaryTest, EnumeratorKeepsItsDictionaryAlive) {
  JSONValueRef value = decode(R"({"only":true})");
  JSONDictionaryEnumerator enumerator = value->asDictionary()->keyEnumerator();
  value.reset();
  JSONValue* key = enumerator.nextObject();
  ASSERT_TRUE(key);
  EXPECT_EQ(key->stringValue(), "only");
}

TEST(JSONDictionaryTest, MutationDuringEnumerationThrows) {
  JSONValueRef value = decodeMutable(R"({"a":1,"b":2})");
  JSONDictionary* dictionary = value->asDictionary();
  EXPECT_THROW(
      {
        for (const JSONDictionary::Entry& entry : *dictionary) {
          (void)entry;
          dictionary->setObject(number(3), string("c"));
        }
      },
      JSONException);
}

TEST(JSONDictionaryTest, CopiesFollowMutability) {
  JSONValueRef frozen = decode(R"({"a":1})");
  EXPECT_EQ(frozen->asDictionary()->copy().get(), frozen.get());
  JSONValueRef live = decodeMutable(R"({"a":1})");
  JSONRef<JSONDictionary> snapshot = live->asDictionary()->copy();
  JSONRef<JSONDictionary> editable = frozen->asDictionary()->mutableCopy();
  live->asDictionary()->setObject(number(2), string("b"));
  editable->removeObjectForKey("a");
  EXPECT_FALSE(snapshot->isMutable());
  EXPECT_EQ(snapshot->count(), 1u);
  EXPECT_EQ(live->asDictionary()->count(), 2u);
  EXPECT_EQ(editable->count(), 0u);
  EXPECT_EQ(frozen->asDictionary()->count(), 1u);
}

TEST(JSONValueTest, StringsMustBeWellFormedUTF8) {
  EXPECT_FALSE(JSONStringValue::create("\xff"));
  EXPECT_FALSE(JSONStringValue::create("\xed\xa0\x80")) << "an encoded surrogate";
  EXPECT_FALSE(JSONStringValue::create("\xc0\x80")) << "an overlong NUL";
  EXPECT_FALSE(JSONStringValue::create("abc\xe2\x82"));
  ASSERT_TRUE(JSONStringValue::create("\xef\xbf\xbe")) << "noncharacters are still text";
  EXPECT_EQ(JSONStringValue::create(std::string_view("a\0b", 3))->length(), 3u);
  EXPECT_EQ(JSONStringValue::create("").get(), JSONStringValue::empty().get());
}

TEST(JSONValueTest, NumbersCompareByValueAcrossKinds) {
  EXPECT_TRUE(number(1)->isEqual(*JSONNumber::withDouble(1.0)));
  EXPECT_TRUE(JSONNumber::withUInt64(5)->isEqual(*number(5)));
  EXPECT_FALSE(number(-1)->isEqual(*JSONNumber::withUInt64(UINT64_MAX)));
  EXPECT_FALSE(JSONNumber::withDouble(1.5)->isEqual(*number(1)));
  EXPECT_TRUE(JSONNumber::withDouble(0.0)->isEqual(*JSONNumber::withDouble(-0.0)));
  EXPECT_EQ(number(7)->hash(), JSONNumber::withDouble(7.0)->hash());
  EXPECT_EQ(JSONNumber::withDouble(1e300)->int64Value(), INT64_MAX);
  EXPECT_EQ(JSONNumber::withDouble(-1.0)->uint64Value(), 0u);
  EXPECT_EQ(JSONNumber::withUInt64(UINT64_MAX)->int64Value(), INT64_MAX);
}

TEST(JSONValueTest, DeepTreesCompareAndFreeWithoutRecursion) {
  // Far deeper than any call stack would allow a recursive walk.
  JSONRef<JSONArray> outer = JSONArray::mutableArray();
  JSONRef<JSONArray> other = JSONArray::mutableArray();
  JSONArray* a = outer.get();
  JSONArray* b = other.get();
  for (int depth = 0; depth < 200000; ++depth) {
    JSONRef<JSONArray> nextA = JSONArray::mutableArray();
    JSONRef<JSONArray> nextB = JSONArray::mutableArray();
    a->addObject(nextA);
    b->addObject(nextB);
    a = nextA.get();
    b = nextB.get();
  }
  a->addObject(number(1));
  b->addObject(number(1));
  EXPECT_TRUE(outer->isEqual(*other));
  b->addObject(number(2));
  EXPECT_FALSE(outer->isEqual(*other));
}

class Widget : public JSONCustomObject {
 public:
  explicit Widget(bool* destroyed) : destroyed_(destroyed) {}
  ~Widget() override { *destroyed_ = true; }
  std::string className() const override { return "Widget"; }

 private:
  bool* destroyed_;
};

TEST(JSONValueTest, CustomObjectsLiveAsLongAsTheirReferences) {
  bool destroyed = false;
  {
    JSONRef<JSONArray> array = JSONArray::mutableArray();
    array->addObject(JSONCustomObject::make<Widget>(&destroyed));
    EXPECT_EQ(array->objectAtIndex(0)->className(), "Widget");
    EXPECT_FALSE(destroyed);
  }
  EXPECT_TRUE(destroyed);
}

TEST(JSONValueTest, SingletonsAreSharedAndNeverCounted) {
  JSONValueRef value = decode("[true,false,null,true]");
  const JSONArray* array = value->asArray();
  EXPECT_EQ(array->objectAtIndex(0), JSONValue::trueValue().get());
  EXPECT_EQ(array->objectAtIndex(3), JSONValue::trueValue().get());
  EXPECT_EQ(array->objectAtIndex(1), JSONValue::falseValue().get());
  EXPECT_EQ(array->objectAtIndex(2), JSONValue::null().get());
  EXPECT_TRUE(array->objectAtIndex(0)->boolValue());
  EXPECT_EQ(JSONValue::null()->className(), "JSONNull");
}

}  // namespace
}  // namespace lorvane
