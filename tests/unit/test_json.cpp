// JSON parsing into trees, member lookup and the mapping of objects onto records.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "platform/json.h"

namespace {

constexpr int64_t Int64Max = std::numeric_limits<int64_t>::max();
constexpr int64_t Int64Min = std::numeric_limits<int64_t>::min();

std::string Nested(const char* open, const char* close, int depth, const char* inner = "") {
  std::string text;
  for (int i = 0; i < depth; ++i) text += open;
  text += inner;
  for (int i = 0; i < depth; ++i) text += close;
  return text;
}

struct AcceptCase {
  const char* what;
  std::string bytes;
  bool accepted;
};

TEST(ParseJson, AcceptsExactlyOneValue) {
  const AcceptCase cases[] = {
      {"empty", "", false},
      {"white space only", " \r\n\t", false},
      {"object", "{}", true},
      {"scalar root", "42", true},
      {"white space around", " \t\r\n{} \r\n\t", true},
      {"byte-order mark", "\xEF\xBB\xBF{}", false},
      {"text after the root", "{} x", false},
      {"second value", "{}{}", false},
      {"zero byte after the root", std::string("{}\0", 3), false},
      {"zero byte inside a string", std::string("\"a\0b\"", 5), false},
      {"form feed is no JSON white space", "{}\f", false},
      {"trailing comma", "[1,]", false},
      {"single quotes", "{'a':1}", false},
      {"comment", "/* c */ {}", false},
      {"truncated", "{\"a\":", false},
      {"raw control character in a string", "\"a\tb\"", false},
      {"escaped lone surrogate", "\"\\ud800\"", false},
      {"arrays 64 deep", Nested("[", "]", 64), true},
      {"arrays 65 deep", Nested("[", "]", 65), false},
      {"objects 64 deep", Nested("{\"a\":", "}", 63, "{}"), true},
      {"objects 65 deep", Nested("{\"a\":", "}", 64, "{}"), false},
      {"very deep, unclosed", Nested("[", "", 100000), false},
      {"1e300", "1e300", true},
      {"1e400 is beyond a double", "1e400", false},
      {"-1e400", "[-1e400]", false},
      {"leading zero", "01", false},
      {"plus sign", "+1", false},
  };
  for (const AcceptCase& c : cases) {
    JsonValue value;
    value.type = JsonType::String;  // must be reset on failure
    const bool ok = ParseJson(c.bytes, &value);
    EXPECT_EQ(ok, c.accepted) << c.what;
    if (!ok) {
      EXPECT_EQ(value.type, JsonType::Null) << c.what;
    }
  }
}

struct NumberCase {
  const char* text;
  JsonType type;
  int64_t integer;
  double number;
};

TEST(ParseJson, NumbersKeepIntegersExact) {
  const NumberCase cases[] = {
      {"0", JsonType::Integer, 0, 0},
      {"-0", JsonType::Integer, 0, 0},
      {"-17", JsonType::Integer, -17, 0},
      {"9223372036854775807", JsonType::Integer, Int64Max, 0},
      {"-9223372036854775808", JsonType::Integer, Int64Min, 0},
      {"9223372036854775808", JsonType::Float, 0, 9223372036854775808.0},
      {"18446744073709551616", JsonType::Float, 0, 18446744073709551616.0},
      {"-9223372036854775809", JsonType::Float, 0, -9223372036854775808.0},
      {"120.9", JsonType::Float, 0, 120.9},
      {"1e2", JsonType::Float, 0, 100},
      {"-1.5E-3", JsonType::Float, 0, -0.0015},
  };
  for (const NumberCase& c : cases) {
    JsonValue value;
    ASSERT_TRUE(ParseJson(c.text, &value)) << c.text;
    EXPECT_EQ(value.type, c.type) << c.text;
    EXPECT_EQ(value.integer, c.integer) << c.text;
    EXPECT_DOUBLE_EQ(value.number, c.number) << c.text;
  }
}

TEST(ParseJson, BuildsTheTree) {
  JsonValue root;
  ASSERT_TRUE(ParseJson(R"({"b":[true,false,null,"x"],"a":{"c":1},"B":2.5})", &root));
  ASSERT_EQ(root.type, JsonType::Object);
  ASSERT_EQ(root.members.size(), 3u);
  EXPECT_EQ(root.members[0].first, "b");
  EXPECT_EQ(root.members[1].first, "a");
  EXPECT_EQ(root.members[2].first, "B");

  const JsonValue& array = root.members[0].second;
  ASSERT_EQ(array.type, JsonType::Array);
  ASSERT_EQ(array.items.size(), 4u);
  EXPECT_EQ(array.items[0].type, JsonType::Boolean);
  EXPECT_TRUE(array.items[0].boolean);
  EXPECT_EQ(array.items[1].type, JsonType::Boolean);
  EXPECT_FALSE(array.items[1].boolean);
  EXPECT_EQ(array.items[2].type, JsonType::Null);
  EXPECT_EQ(array.items[3].type, JsonType::String);
  EXPECT_EQ(array.items[3].text, "x");

  const JsonValue& inner = root.members[1].second;
  ASSERT_EQ(inner.type, JsonType::Object);
  ASSERT_EQ(inner.members.size(), 1u);
  EXPECT_EQ(inner.members[0].first, "c");
  EXPECT_EQ(inner.members[0].second.integer, 1);
}

TEST(ParseJson, TextsAreUtf8) {
  struct Case {
    const char* what;
    std::string json;
    std::string text;
  } cases[] = {
      {"escaped pair", R"("\ud83d\ude00")", "\xF0\x9F\x98\x80"},
      {"escapes", R"("\"\\\/\b\f\n\r\t\u0041\u00e9")", "\"\\/\b\f\n\r\tA\xC3\xA9"},
      {"escaped zero", R"("a\u0000b")", std::string("a\0b", 3)},
      {"invalid byte",
       "\"a\xFF"
       "b\"",
       "a\xEF\xBF\xBD"
       "b"},
      {"surrogate halves as three-byte sequences", "\"\xED\xA0\xBD\xED\xB8\x80\"",
       "\xF0\x9F\x98\x80"},
      {"lone surrogate half", "\"\xED\xA0\xBD\"", "\xEF\xBF\xBD"},
  };
  for (const Case& c : cases) {
    JsonValue value;
    ASSERT_TRUE(ParseJson(c.json, &value)) << c.what;
    EXPECT_EQ(value.type, JsonType::String) << c.what;
    EXPECT_EQ(value.text, c.text) << c.what;
  }
}

TEST(FindMember, LastOccurrenceWithoutRegardToCase) {
  JsonValue root;
  ASSERT_TRUE(ParseJson(R"({"windowx":1,"Other":5,"WINDOWX":2,"WindowX":3,"WindowXY":4})", &root));
  const JsonValue* found = FindMember(root, "WindowX");
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->integer, 3);
  ASSERT_NE(FindMember(root, "oTHER"), nullptr);
  EXPECT_EQ(FindMember(root, "oTHER")->integer, 5);
  EXPECT_EQ(FindMember(root, "Window"), nullptr);
  EXPECT_EQ(FindMember(root, ""), nullptr);

  JsonValue array;
  ASSERT_TRUE(ParseJson(R"([{"WindowX":1}])", &array));
  EXPECT_EQ(FindMember(array, "WindowX"), nullptr);
  // Only ASCII letters fold: a non-ASCII name must match byte for byte.
  JsonValue accented;
  ASSERT_TRUE(ParseJson("{\"\xC3\xA9\":1}", &accented));
  EXPECT_EQ(FindMember(accented, "\xC3\x89"), nullptr);
  EXPECT_NE(FindMember(accented, "\xC3\xA9"), nullptr);
}

struct Inner {
  int64_t id = -1;
  std::string name = "stale";
};
struct Outer {
  int64_t count = -1;
  std::string label = "stale";
  Inner inner;
};

struct RecordCase {
  const char* what;
  const char* json;
  int64_t count;
  std::string label;
  int64_t id;
  std::string name;
};

TEST(FillRecord, ClearsThenFillsByTheRules) {
  const RecordCase cases[] = {
      {"all fields", R"({"count":7,"label":"x","inner":{"id":3,"name":"y"}})", 7, "x", 3, "y"},
      {"case and last occurrence", R"({"COUNT":1,"Count":2,"LABEL":"a","label":"b"})", 2, "b", 0,
       ""},
      {"fraction cut toward zero", R"({"count":120.9})", 120, "", 0, ""},
      {"negative fraction", R"({"count":-120.9})", -120, "", 0, ""},
      {"true", R"({"count":true})", 1, "", 0, ""},
      {"false after a number", R"({"count":5,"count":false})", 0, "", 0, ""},
      {"string into an integer", R"({"count":"100"})", 0, "", 0, ""},
      {"null into an integer", R"({"count":null})", 0, "", 0, ""},
      {"number into a text", R"({"label":5})", 0, "", 0, ""},
      {"array into a text", R"({"label":["x"]})", 0, "", 0, ""},
      {"huge", R"({"count":1e300})", Int64Max, "", 0, ""},
      {"huge negative", R"({"count":-1e300})", Int64Min, "", 0, ""},
      {"just above int64", R"({"count":9223372036854775808})", Int64Max, "", 0, ""},
      {"just below int64", R"({"count":-9223372036854775809})", Int64Min, "", 0, ""},
      {"nested not an object", R"({"inner":[1]})", 0, "", 0, ""},
      {"root array", R"([{"count":1}])", 0, "", 0, ""},
      {"root string", R"("count")", 0, "", 0, ""},
  };
  for (const RecordCase& c : cases) {
    Outer record;
    const RecordField inner_fields[] = {
        {.name = "id", .integer = &record.inner.id},
        {.name = "name", .text = &record.inner.name},
    };
    const RecordField fields[] = {
        {.name = "count", .integer = &record.count},
        {.name = "label", .text = &record.label},
        {.name = "inner", .nested = inner_fields},
    };
    JsonValue value;
    ASSERT_TRUE(ParseJson(c.json, &value)) << c.what;
    FillRecord(&value, fields);
    EXPECT_EQ(record.count, c.count) << c.what;
    EXPECT_EQ(record.label, c.label) << c.what;
    EXPECT_EQ(record.inner.id, c.id) << c.what;
    EXPECT_EQ(record.inner.name, c.name) << c.what;
  }
}

TEST(FillRecord, ClampsEveryDouble) {
  const struct {
    double number;
    int64_t expected;
  } cases[] = {
      {std::nan(""), 0},
      {std::numeric_limits<double>::infinity(), Int64Max},
      {-std::numeric_limits<double>::infinity(), Int64Min},
      {9223372036854775808.0, Int64Max},
      {-9223372036854775808.0, Int64Min},
      {9223372036854774784.0, 9223372036854774784},  // largest double below 2^63
      {-1.9999, -1},
      {1.9999, 1},
      {-0.5, 0},
  };
  for (const auto& c : cases) {
    int64_t target = 99;
    const RecordField fields[] = {{.name = "n", .integer = &target}};
    JsonValue object;
    object.type = JsonType::Object;
    JsonValue member;
    member.type = JsonType::Float;
    member.number = c.number;
    object.members.emplace_back("n", member);
    FillRecord(&object, fields);
    EXPECT_EQ(target, c.expected) << c.number;
  }
}

TEST(FillRecord, NoValueLeavesTheRecordCleared) {
  Outer record;
  const RecordField inner_fields[] = {{.name = "id", .integer = &record.inner.id}};
  const RecordField fields[] = {
      {.name = "count", .integer = &record.count},
      {.name = "label", .text = &record.label},
      {.name = "inner", .nested = inner_fields},
  };
  FillRecord(nullptr, fields);
  EXPECT_EQ(record.count, 0);
  EXPECT_EQ(record.label, "");
  EXPECT_EQ(record.inner.id, 0);
  EXPECT_EQ(record.inner.name, "stale");  // not a field of the record description
}

}  // namespace
