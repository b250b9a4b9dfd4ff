// JSON parsing into JsonValue trees through nlohmann/json's SAX interface, and the mapping of
// objects onto records.
//
// The SAX handler builds the tree without recursion: it keeps a stack of the open containers and
// refuses to open one more than JsonMaxDepth deep, so hostile input cannot exhaust the stack here
// or later when the tree is copied or destroyed.
#include "platform/json.h"

#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>

#include "platform/files.h"
#include "platform/text.h"

namespace {

class TreeBuilder {
 public:
  explicit TreeBuilder(JsonValue* root) : root_(root) {}

  bool null() { return Add(JsonValue{}) != nullptr; }
  bool boolean(bool value) {
    JsonValue v;
    v.type = JsonType::Boolean;
    v.boolean = value;
    return Add(std::move(v)) != nullptr;
  }
  bool number_integer(nlohmann::json::number_integer_t value) {
    JsonValue v;
    v.type = JsonType::Integer;
    v.integer = value;
    return Add(std::move(v)) != nullptr;
  }
  bool number_unsigned(nlohmann::json::number_unsigned_t value) {
    JsonValue v;
    if (value <= static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
      v.type = JsonType::Integer;
      v.integer = static_cast<int64_t>(value);
    } else {
      v.type = JsonType::Float;
      v.number = static_cast<double>(value);
    }
    return Add(std::move(v)) != nullptr;
  }
  bool number_float(nlohmann::json::number_float_t value, const std::string& /*text*/) {
    JsonValue v;
    v.type = JsonType::Float;
    v.number = value;
    return Add(std::move(v)) != nullptr;
  }
  bool string(std::string& value) {
    JsonValue v;
    v.type = JsonType::String;
    v.text = std::move(value);
    return Add(std::move(v)) != nullptr;
  }
  bool binary(nlohmann::json::binary_t& /*value*/) { return false; }  // not produced by JSON text
  bool start_object(size_t /*elements*/) { return Open(JsonType::Object); }
  bool key(std::string& name) {
    key_ = std::move(name);
    return true;
  }
  bool end_object() {
    open_.pop_back();
    return true;
  }
  bool start_array(size_t /*elements*/) { return Open(JsonType::Array); }
  bool end_array() {
    open_.pop_back();
    return true;
  }
  bool parse_error(size_t /*position*/, const std::string& /*token*/,
                   const nlohmann::detail::exception& /*error*/) {
    return false;
  }

 private:
  // Places a finished value into the innermost open container (or as the root) and returns
  // where it now lives.
  JsonValue* Add(JsonValue&& value) {
    if (open_.empty()) {
      *root_ = std::move(value);
      return root_;
    }
    JsonValue* parent = open_.back();
    if (parent->type == JsonType::Array) {
      parent->items.push_back(std::move(value));
      return &parent->items.back();
    }
    parent->members.emplace_back(std::move(key_), std::move(value));
    key_.clear();
    return &parent->members.back().second;
  }

  // A container's own vector only grows while it is the innermost one, so the pointers kept for
  // the outer ones stay valid.
  bool Open(JsonType type) {
    if (open_.size() >= static_cast<size_t>(JsonMaxDepth)) return false;
    JsonValue v;
    v.type = type;
    open_.push_back(Add(std::move(v)));
    return true;
  }

  JsonValue* root_;
  std::vector<JsonValue*> open_;
  std::string key_;
};

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// Cuts toward zero and saturates at the int64 limits; NaN gives 0.
int64_t ClampToInt64(double value) {
  if (std::isnan(value)) return 0;
  // 2^63 is exact as a double; every double below it and at or above -2^63 converts safely.
  constexpr double Limit = 9223372036854775808.0;
  if (value >= Limit) return std::numeric_limits<int64_t>::max();
  if (value < -Limit) return std::numeric_limits<int64_t>::min();
  return static_cast<int64_t>(value);
}

}  // namespace

bool ParseJson(std::string_view bytes, JsonValue* out) {
  *out = JsonValue{};
  // nlohmann/json skips a byte-order mark silently, and a zero byte can stand nowhere in a JSON
  // text (DecodeUtf8 would stop there and hide what follows).
  if (bytes.starts_with("\xEF\xBB\xBF") || bytes.find('\0') != std::string_view::npos) {
    return false;
  }
  const std::string text = DecodeUtf8(bytes);
  JsonValue root;
  TreeBuilder builder(&root);
  // Strict: only JSON white space may follow the root value.
  if (!nlohmann::json::sax_parse(text, &builder, nlohmann::json::input_format_t::json, true)) {
    return false;
  }
  *out = std::move(root);
  return true;
}

bool ReadJsonFile(const std::string& path, JsonValue* out) {
  std::string bytes;
  if (!ReadWholeFile(path, &bytes, JsonMaxFileBytes)) {
    *out = JsonValue{};
    return false;
  }
  return ParseJson(bytes, out);
}

const JsonValue* FindMember(const JsonValue& object, std::string_view name) {
  if (object.type != JsonType::Object) return nullptr;
  for (auto it = object.members.rbegin(); it != object.members.rend(); ++it) {
    if (EqualsIgnoringAsciiCase(it->first, name)) return &it->second;
  }
  return nullptr;
}

void ClearRecord(std::span<const RecordField> fields) {
  for (const RecordField& field : fields) {
    if (field.integer) *field.integer = 0;
    if (field.text) field.text->clear();
    ClearRecord(field.nested);
  }
}

void FillRecord(const JsonValue* value, std::span<const RecordField> fields) {
  ClearRecord(fields);
  if (!value || value->type != JsonType::Object) return;
  for (const RecordField& field : fields) {
    const JsonValue* member = FindMember(*value, field.name);
    if (!member) continue;
    if (field.integer) {
      switch (member->type) {
        case JsonType::Integer:
          *field.integer = member->integer;
          break;
        case JsonType::Float:
          *field.integer = ClampToInt64(member->number);
          break;
        case JsonType::Boolean:
          *field.integer = member->boolean ? 1 : 0;
          break;
        default:
          break;
      }
    } else if (field.text) {
      if (member->type == JsonType::String) *field.text = member->text;
    } else if (member->type == JsonType::Object) {
      FillRecord(member, field.nested);
    }
  }
}
