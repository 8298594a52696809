// A small JSON reader and writer for the settings backups of qx27ctl. Only
// what a settings file holds is needed: objects, arrays, whole numbers, texts,
// true, false and null. Texts are kept as UTF-16 code units so that whatever a
// settings file holds, a lone surrogate included, goes out and comes back the
// same.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qx27::ctl {

struct JsonMember;

struct JsonValue {
  enum class Kind { kNull, kBool, kNumber, kText, kArray, kObject };
  Kind kind = Kind::kNull;
  bool boolean = false;
  std::int64_t number = 0;
  std::u16string text;
  std::vector<JsonValue> items;  // kArray
  // A pair would need JsonValue complete here; a vector of a declared type
  // does not.
  std::vector<JsonMember> members;  // kObject, in file order

  // The member named `key`, or null when there is none.
  const JsonValue* Find(std::string_view key) const;
};

struct JsonMember {
  std::string name;
  JsonValue value;
};

// Parses a whole document; on failure gives nullopt and says where and why.
std::optional<JsonValue> ParseJson(std::string_view text, std::string& error);

// A JSON string literal of UTF-16 text, quotes included.
std::string JsonText(std::u16string_view text);
// A JSON string literal of ASCII or UTF-8 text.
std::string JsonText(std::string_view utf8);

}  // namespace qx27::ctl
