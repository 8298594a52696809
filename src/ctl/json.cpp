#include "ctl/json.h"

#include <cstdio>

#include "common/text.h"

namespace qx27::ctl {
namespace {

// Deeper documents are refused rather than read with unbounded recursion.
constexpr int kMaxDepth = 32;

class Parser {
 public:
  Parser(std::string_view text, std::string& error) : text_(text), error_(error) {}

  std::optional<JsonValue> Document() {
    JsonValue value;
    if (!Value(value, 0)) return std::nullopt;
    SkipSpace();
    if (pos_ != text_.size()) {
      Fail("text after the end of the document");
      return std::nullopt;
    }
    return value;
  }

 private:
  bool Fail(const std::string& why) {
    int line = 1;
    for (std::size_t i = 0; i < pos_ && i < text_.size(); ++i) line += text_[i] == '\n' ? 1 : 0;
    error_ = "line " + std::to_string(line) + ": " + why;
    return false;
  }

  void SkipSpace() {
    while (pos_ < text_.size() &&
           (text_[pos_] == ' ' || text_[pos_] == '\t' || text_[pos_] == '\n' || text_[pos_] == '\r')) {
      ++pos_;
    }
  }

  bool Literal(std::string_view word) {
    if (text_.substr(pos_, word.size()) != word) return false;
    pos_ += word.size();
    return true;
  }

  bool Value(JsonValue& out, int depth) {
    if (depth > kMaxDepth) return Fail("nested too deeply");
    SkipSpace();
    if (pos_ >= text_.size()) return Fail("unexpected end of the document");
    const char c = text_[pos_];
    if (c == '{') return Object(out, depth);
    if (c == '[') return Array(out, depth);
    if (c == '"') {
      out.kind = JsonValue::Kind::kText;
      return Text(out.text);
    }
    if (c == '-' || (c >= '0' && c <= '9')) return Number(out);
    if (Literal("true")) {
      out.kind = JsonValue::Kind::kBool;
      out.boolean = true;
      return true;
    }
    if (Literal("false")) {
      out.kind = JsonValue::Kind::kBool;
      return true;
    }
    if (Literal("null")) return true;
    return Fail(std::string("unexpected character '") + c + "'");
  }

  bool Number(JsonValue& out) {
    const bool negative = text_[pos_] == '-';
    if (negative) ++pos_;
    const std::size_t start = pos_;
    std::uint64_t magnitude = 0;
    while (pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9') {
      magnitude = magnitude * 10 + static_cast<std::uint64_t>(text_[pos_] - '0');
      if (magnitude > (std::uint64_t{1} << 40)) return Fail("number out of range");
      ++pos_;
    }
    if (pos_ == start) return Fail("a number without digits");
    if (pos_ < text_.size() && (text_[pos_] == '.' || text_[pos_] == 'e' || text_[pos_] == 'E')) {
      return Fail("only whole numbers are settings values");
    }
    out.kind = JsonValue::Kind::kNumber;
    out.number = negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
    return true;
  }

  static int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  }

  bool Text(std::u16string& out) {
    ++pos_;             // the opening quote
    std::string plain;  // UTF-8 bytes since the last escape
    out.clear();
    for (;;) {
      if (pos_ >= text_.size()) return Fail("a text without its closing quote");
      const char c = text_[pos_++];
      if (c == '"') break;
      if (static_cast<unsigned char>(c) < 0x20) return Fail("a control character inside a text");
      if (c != '\\') {
        plain.push_back(c);
        continue;
      }
      out += FromUtf8(plain);
      plain.clear();
      if (pos_ >= text_.size()) return Fail("a text without its closing quote");
      const char e = text_[pos_++];
      switch (e) {
        case '"':
          out.push_back(u'"');
          break;
        case '\\':
          out.push_back(u'\\');
          break;
        case '/':
          out.push_back(u'/');
          break;
        case 'b':
          out.push_back(u'\b');
          break;
        case 'f':
          out.push_back(u'\f');
          break;
        case 'n':
          out.push_back(u'\n');
          break;
        case 'r':
          out.push_back(u'\r');
          break;
        case 't':
          out.push_back(u'\t');
          break;
        case 'u': {
          if (pos_ + 4 > text_.size()) return Fail("a short \\u escape");
          unsigned unit = 0;
          for (int i = 0; i < 4; ++i) {
            const int d = HexDigit(text_[pos_++]);
            if (d < 0) return Fail("a bad \\u escape");
            unit = unit * 16 + static_cast<unsigned>(d);
          }
          out.push_back(static_cast<char16_t>(unit));
          break;
        }
        default:
          return Fail(std::string("an unknown escape \\") + e);
      }
    }
    out += FromUtf8(plain);
    return true;
  }

  bool Array(JsonValue& out, int depth) {
    ++pos_;
    out.kind = JsonValue::Kind::kArray;
    SkipSpace();
    if (pos_ < text_.size() && text_[pos_] == ']') {
      ++pos_;
      return true;
    }
    for (;;) {
      JsonValue item;
      if (!Value(item, depth + 1)) return false;
      out.items.push_back(std::move(item));
      SkipSpace();
      if (pos_ < text_.size() && text_[pos_] == ',') {
        ++pos_;
        continue;
      }
      if (pos_ < text_.size() && text_[pos_] == ']') {
        ++pos_;
        return true;
      }
      return Fail("expected ',' or ']'");
    }
  }

  bool Object(JsonValue& out, int depth) {
    ++pos_;
    out.kind = JsonValue::Kind::kObject;
    SkipSpace();
    if (pos_ < text_.size() && text_[pos_] == '}') {
      ++pos_;
      return true;
    }
    for (;;) {
      SkipSpace();
      if (pos_ >= text_.size() || text_[pos_] != '"') return Fail("expected a member name");
      std::u16string name;
      if (!Text(name)) return false;
      const std::string key = ToUtf8(name);
      if (out.Find(key) != nullptr) return Fail("\"" + key + "\" appears twice");
      SkipSpace();
      if (pos_ >= text_.size() || text_[pos_] != ':') return Fail("expected ':'");
      ++pos_;
      JsonValue value;
      if (!Value(value, depth + 1)) return false;
      out.members.push_back(JsonMember{key, std::move(value)});
      SkipSpace();
      if (pos_ < text_.size() && text_[pos_] == ',') {
        ++pos_;
        continue;
      }
      if (pos_ < text_.size() && text_[pos_] == '}') {
        ++pos_;
        return true;
      }
      return Fail("expected ',' or '}'");
    }
  }

  std::string_view text_;
  std::string& error_;
  std::size_t pos_ = 0;
};

bool IsHighSurrogate(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLowSurrogate(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

void Escape(std::string& out, unsigned unit) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "\\u%04X", unit);
  out += buffer;
}

}  // namespace

const JsonValue* JsonValue::Find(std::string_view key) const {
  for (const auto& [name, value] : members) {
    if (name == key) return &value;
  }
  return nullptr;
}

std::optional<JsonValue> ParseJson(std::string_view text, std::string& error) {
  // A byte-order mark, as some editors write one.
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  return Parser(text, error).Document();
}

std::string JsonText(std::u16string_view text) {
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t u = text[i];
    if (u == u'"' || u == u'\\') {
      out.push_back('\\');
      out.push_back(static_cast<char>(u));
    } else if (u < 0x20 || u == 0x7F) {
      Escape(out, u);
    } else if (u < 0x80) {
      out.push_back(static_cast<char>(u));
    } else if (IsHighSurrogate(u) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      out += ToUtf8(text.substr(i, 2));
      ++i;
    } else if (IsHighSurrogate(u) || IsLowSurrogate(u)) {
      Escape(out, u);  // unpaired: kept as it is, which UTF-8 cannot do
    } else {
      out += ToUtf8(text.substr(i, 1));
    }
  }
  out.push_back('"');
  return out;
}

std::string JsonText(std::string_view utf8) { return JsonText(FromUtf8(utf8)); }

}  // namespace qx27::ctl
