// JSON reading onto records, on top of nlohmann/json's SAX parser.
//
// Objects keep their members in document order with duplicates, so that a lookup by name can
// honour "the last occurrence counts". Bytes that are not valid UTF-8 are decoded leniently
// (U+FFFD) before parsing. A byte-order mark, a zero byte, text after the root value, nesting
// deeper than JsonMaxDepth, or a number beyond the range of a double (1e400) makes the bytes
// "not JSON".
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

constexpr int JsonMaxDepth = 64;
// ReadJsonFile treats a bigger file as unreadable.
constexpr size_t JsonMaxFileBytes = 1 << 20;

enum class JsonType { Null, Boolean, Integer, Float, String, Array, Object };

struct JsonValue {
  JsonType type = JsonType::Null;
  bool boolean = false;
  int64_t integer = 0;  // Integer (unsigned values above INT64_MAX are stored as Float)
  double number = 0;    // Float
  std::string text;     // String
  // Object. The braces spare clang (with libstdc++) from asking whether the pair, and so the still
  // incomplete JsonValue, is default-constructible.
  std::vector<std::pair<std::string, JsonValue>> members{};
  std::vector<JsonValue> items;  // Array
};

// False when the bytes are not exactly one well-formed JSON value; *out is then Null.
bool ParseJson(std::string_view bytes, JsonValue* out);
// False when the file cannot be read or is not JSON.
bool ReadJsonFile(const std::string& path, JsonValue* out);

// The last member whose name equals `name` without regard to ASCII case; nullptr if none or
// `object` is not an object.
const JsonValue* FindMember(const JsonValue& object, std::string_view name);

// One field of a record: exactly one of integer, text or nested is set.
struct RecordField {
  const char* name;
  int64_t* integer = nullptr;
  std::string* text = nullptr;
  std::span<const RecordField> nested = {};
};

// Clears every field (nested ones too), then, when `value` is an object, fills each field from
// its member: integers take numbers (fractions cut toward zero, clamped to 64 bits) or booleans
// (1/0); texts take strings; nested records take objects; anything else leaves the cleared value.
void FillRecord(const JsonValue* value, std::span<const RecordField> fields);
void ClearRecord(std::span<const RecordField> fields);
