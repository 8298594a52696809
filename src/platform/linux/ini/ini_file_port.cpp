#include "platform/linux/ini/ini_file_port.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <type_traits>
#include <vector>

#include "common/text.h"
#include "platform/linux/ini/code_pages.h"

namespace qx27::linux_host {
namespace {

namespace fs = std::filesystem;

enum class Encoding { kAnsi, kUtf16Le };

struct Key {
  std::u16string name;
  std::u16string value;
  bool has_value = false;  // a line without '=' is kept as a bare name
};

struct Section {
  std::u16string name;  // empty for the lines before the first section
  std::vector<Key> keys;
};

struct Profile {
  Encoding encoding = Encoding::kAnsi;
  std::vector<Section> sections;
};

// How opening the file went. A missing file in an existing folder is an empty
// profile (reads give defaults, a write creates the file); anything else that
// keeps the file from being opened makes every write fail.
enum class Opened { kLoaded, kMissing, kFailed };

constexpr std::size_t kIntTextUnits = 30;  // the service reads integers through a 30-unit buffer

bool IsBlank(char16_t c) { return (c >= 0x09 && c <= 0x0D) || c == 0x1A || c == 0x20; }

char16_t AsciiLower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 0x20) : c; }

// Names match without regard to ASCII case only: Wine compares "Ä" and "ä" as
// different names, and so does the stand-in.
bool SameName(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [](char16_t x, char16_t y) { return AsciiLower(x) == AsciiLower(y); });
}

// Arguments reach the service as C strings: nothing after a NUL counts.
std::u16string_view UpToNul(std::u16string_view text) { return text.substr(0, text.find(u'\0')); }

std::u16string_view TrimLeft(std::u16string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  return text;
}

std::u16string_view Trim(std::u16string_view text) {
  text = TrimLeft(text);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

fs::path HostPath(std::u16string_view path) {
  const std::u16string_view text = UpToNul(path);
  if constexpr (std::is_same_v<fs::path::value_type, wchar_t>) {
    return fs::path(std::wstring(text.begin(), text.end()));
  } else {
    std::u16string host(text);
    std::replace(host.begin(), host.end(), u'\\', u'/');
    return fs::path(ToUtf8(host));
  }
}

// ---- reading ----------------------------------------------------------------

std::u16string DecodeUtf16Le(std::span<const std::uint8_t> bytes) {
  std::u16string text;
  text.reserve(bytes.size() / 2);
  // A trailing odd byte is no code unit and is dropped.
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    text.push_back(static_cast<char16_t>(bytes[i + 1] << 8 | bytes[i]));
  }
  return text;
}

// Only the UTF-16LE mark makes Windows read a file as Unicode. Wine also
// honours the UTF-8 and UTF-16BE marks; Windows reads those files as ANSI
// bytes, marks included.
std::u16string Decode(std::span<const std::uint8_t> bytes, Encoding& encoding) {
  if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
    encoding = Encoding::kUtf16Le;
    return DecodeUtf16Le(bytes.subspan(2));
  }
  encoding = Encoding::kAnsi;
  return DecodeAnsi(bytes);
}

// Whether the section being read has a key yet, and whether that last key's
// name is empty.
struct LastKey {
  bool exists = false;
  bool name_empty = false;
};

void AddLine(Profile& profile, std::u16string_view line, LastKey& previous) {
  if (line.front() == u'[') {
    std::size_t end = line.size();
    while (end > 0 && line[end - 1] != u']') --end;
    if (end > 0) {  // a '[' line without ']' is read as a key, as the service does
      profile.sections.push_back({std::u16string(UpToNul(Trim(line.substr(1, end - 2)))), {}});
      previous = {};
      return;
    }
  }
  Key key;
  std::size_t raw_name_length = line.size();
  const std::size_t equals = line.find(u'=');
  if (equals != std::u16string_view::npos) {
    std::u16string_view name = line.substr(0, equals);
    while (!name.empty() && IsBlank(name.back())) name.remove_suffix(1);
    raw_name_length = name.size();
    key.name = UpToNul(name);
    key.value = UpToNul(TrimLeft(line.substr(equals + 1)));
    key.has_value = true;
  } else {
    key.name = UpToNul(line);
  }
  // Like the service: a line with an empty name directly after another one is dropped.
  if (raw_name_length != 0 || !previous.exists || !previous.name_empty) {
    previous = {true, key.name.empty()};
    profile.sections.back().keys.push_back(std::move(key));
  }
}

Profile Parse(std::span<const std::uint8_t> bytes) {
  Profile profile;
  if (bytes.empty()) return profile;  // an empty file has not even the unnamed section
  const std::u16string text = Decode(bytes, profile.encoding);
  profile.sections.push_back({});
  LastKey previous;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t start = pos;
    while (pos < text.size() && text[pos] != u'\n' && text[pos] != u'\r') ++pos;
    while (pos < text.size() && (text[pos] == u'\n' || text[pos] == u'\r')) ++pos;
    const std::u16string_view line = Trim(std::u16string_view(text).substr(start, pos - start));
    if (!line.empty()) AddLine(profile, line, previous);
  }
  return profile;
}

bool IsReadOnly(const fs::path& path) {
  std::error_code ec;
  const fs::perms perms = fs::status(path, ec).permissions();
  return !ec && (perms & fs::perms::owner_write) == fs::perms::none;
}

// Reads the whole file. `for_write` also asks whether the file may be written,
// as the service opens it for writing before it changes anything.
Opened Open(std::u16string_view path, bool for_write, Profile& profile) {
  profile = Profile{};
  // An empty name is the Windows folder itself for the service: never a file.
  if (UpToNul(path).empty()) return Opened::kFailed;
  const fs::path host = HostPath(path);
  std::error_code ec;
  const fs::file_status status = fs::status(host, ec);
  if (status.type() == fs::file_type::not_found) {
    fs::path folder = host.parent_path();
    if (folder.empty()) folder = fs::current_path(ec);
    return fs::is_directory(folder, ec) ? Opened::kMissing : Opened::kFailed;
  }
  if (ec || fs::is_directory(status)) return Opened::kFailed;
  if (for_write && IsReadOnly(host)) return Opened::kFailed;
  std::ifstream in(host, std::ios::binary | std::ios::ate);
  if (!in) return Opened::kFailed;
  // One read of the whole file: every call of the service reads all of it.
  const std::streamoff size = in.tellg();
  if (size < 0) return Opened::kFailed;
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
  in.seekg(0);
  in.read(reinterpret_cast<char*>(bytes.data()), size);
  if (in.gcount() != size) return Opened::kFailed;
  profile = Parse(bytes);
  return Opened::kLoaded;
}

const Key* FindKey(const Profile& profile, std::u16string_view section_name, std::u16string_view key_name) {
  const std::u16string_view section_wanted = Trim(UpToNul(section_name));
  const std::u16string_view key_wanted = Trim(UpToNul(key_name));
  for (const Section& section : profile.sections) {
    if (!SameName(section.name, section_wanted)) continue;
    for (const Key& key : section.keys) {
      if (SameName(key.name, key_wanted)) return &key;
    }
    return nullptr;  // only the first section of that name counts
  }
  return nullptr;
}

// lstrcpynW: at most size-1 units and a terminator. Gives the units copied.
std::size_t CopyCut(std::u16string_view text, std::span<char16_t> buffer) {
  const std::size_t n = std::min(text.size(), buffer.size() - 1);
  std::copy_n(text.begin(), n, buffer.begin());
  buffer[n] = u'\0';
  return n;
}

bool IsQuoted(std::u16string_view value) {
  return value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') && value.back() == value.front();
}

// The service's copy of a value or default into the caller's buffer: one pair
// of matching quotes around the text is dropped. The closing quote is dropped
// as the last unit copied, so a quoted text that only just fits loses one
// more unit, exactly as on the platform. Non-empty buffer only.
std::size_t CopyEntry(std::u16string_view value, std::span<char16_t> buffer) {
  const bool quoted = IsQuoted(value);
  if (quoted) value.remove_prefix(1);
  std::size_t n = CopyCut(value, buffer);
  if (quoted && buffer.size() >= value.size() && n > 0) buffer[--n] = u'\0';
  return n;
}

// The text a read with an unbounded buffer would give.
std::u16string EntryText(std::u16string_view value) {
  return std::u16string(IsQuoted(value) ? value.substr(1, value.size() - 2) : value);
}

std::u16string_view EffectiveDefault(std::u16string_view default_value) {
  // Trailing spaces (spaces only) of the default are dropped, but never its
  // first unit.
  std::u16string_view d = UpToNul(default_value);
  while (d.size() > 1 && d.back() == u' ') d.remove_suffix(1);
  return d;
}

std::size_t GetString(std::u16string_view section, std::u16string_view key, std::u16string_view default_value,
                      std::span<char16_t> buffer, std::u16string_view path) {
  if (buffer.empty()) return 0;
  const std::u16string_view fallback = EffectiveDefault(default_value);
  Profile profile;
  if (Open(path, false, profile) == Opened::kFailed) return CopyCut(fallback, buffer);
  const Key* found = FindKey(profile, section, key);
  return CopyEntry(found != nullptr && found->has_value ? std::u16string_view(found->value) : fallback, buffer);
}

// RtlUnicodeStringToInteger with base 0.
std::uint32_t ParseInteger(std::u16string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] <= u' ') ++i;
  bool minus = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
    minus = text[i] == u'-';
    ++i;
  }
  std::uint32_t base = 10;
  if (text.size() - i >= 2 && text[i] == u'0') {
    if (text[i + 1] == u'b') base = 2;
    if (text[i + 1] == u'o') base = 8;
    if (text[i + 1] == u'x') base = 16;
    if (base != 10) i += 2;
  }
  std::uint32_t total = 0;
  for (; i < text.size(); ++i) {
    const char16_t c = text[i];
    std::uint32_t digit = 99;
    if (c >= u'0' && c <= u'9') digit = c - u'0';
    if (c >= u'A' && c <= u'Z') digit = c - u'A' + 10u;
    if (c >= u'a' && c <= u'z') digit = c - u'a' + 10u;
    if (digit >= base) break;
    total = total * base + digit;  // wraps modulo 2^32 like the platform
  }
  return minus ? 0u - total : total;
}

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  return -1;
}

// ---- writing ----------------------------------------------------------------

void AppendUtf16Le(std::string& out, std::u16string_view text) {
  for (const char16_t unit : text) {
    out.push_back(static_cast<char>(unit & 0xFF));
    out.push_back(static_cast<char>(unit >> 8));
  }
}

std::string Serialize(const Profile& profile) {
  std::u16string text;
  for (const Section& section : profile.sections) {
    if (!section.name.empty()) text += u"[" + section.name + u"]\r\n";
    for (const Key& key : section.keys) {
      text += key.name;
      if (key.has_value) text += u"=" + key.value;
      text += u"\r\n";
    }
  }
  std::string bytes;
  switch (profile.encoding) {
    case Encoding::kAnsi:
      bytes = EncodeAnsi(text);
      break;
    case Encoding::kUtf16Le:
      bytes = "\xFF\xFE";
      AppendUtf16Le(bytes, text);
      break;
  }
  return bytes;
}

bool Save(std::u16string_view path, const Profile& profile) {
  const std::string bytes = Serialize(profile);
  std::ofstream out(HostPath(path), std::ios::binary | std::ios::trunc);
  if (!out) return false;
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  return !out.fail();
}

// Finds the key, adding it (and its section) at the end when missing. A new
// name is stored as given less its leading blanks, as the service stores it.
Key& FindOrAddKey(Profile& profile, std::u16string_view section_name, std::u16string_view key_name) {
  const std::u16string_view section_given = TrimLeft(UpToNul(section_name));
  const std::u16string_view key_given = TrimLeft(UpToNul(key_name));
  const std::u16string_view section_wanted = Trim(section_given);
  const std::u16string_view key_wanted = Trim(key_given);
  auto section = std::find_if(profile.sections.begin(), profile.sections.end(),
                              [&](const Section& s) { return SameName(s.name, section_wanted); });
  if (section == profile.sections.end()) {
    profile.sections.push_back({std::u16string(section_given), {}});
    section = std::prev(profile.sections.end());
  }
  auto key = std::find_if(section->keys.begin(), section->keys.end(),
                          [&](const Key& k) { return SameName(k.name, key_wanted); });
  if (key != section->keys.end()) return *key;
  section->keys.push_back({std::u16string(key_given), {}, false});
  return section->keys.back();
}

}  // namespace

std::uint32_t IniFilePort::ReadInt(std::u16string_view section, std::u16string_view key, std::int32_t default_value,
                                   std::u16string_view path) {
  char16_t text[kIntTextUnits];
  const std::size_t length = GetString(section, key, u"", text, path);
  if (length == 0) return static_cast<std::uint32_t>(default_value);
  return ParseInteger(std::u16string_view(text, length));
}

std::size_t IniFilePort::ReadString(std::u16string_view section, std::u16string_view key,
                                    std::u16string_view default_value, std::span<char16_t> buffer,
                                    std::u16string_view path) {
  return GetString(section, key, default_value, buffer, path);
}

bool IniFilePort::ReadStruct(std::u16string_view section, std::u16string_view key, std::span<std::uint8_t> bytes,
                             std::u16string_view path) {
  Profile profile;
  if (Open(path, false, profile) == Opened::kFailed) return false;
  const Key* found = FindKey(profile, section, key);
  if (found == nullptr || !found->has_value) return false;
  const std::size_t wanted = 2 * bytes.size() + 2;
  // The platform reads the text through a buffer of wanted+1 units and needs
  // exactly `wanted` back; Windows also refuses a longer stored text, which
  // the cut buffer alone would not notice.
  std::vector<char16_t> buffer(wanted + 1);
  if (CopyEntry(found->value, buffer) != wanted || EntryText(found->value).size() != wanted) return false;
  std::vector<std::uint8_t> decoded(bytes.size());
  std::uint8_t sum = 0;
  for (std::size_t i = 0; i <= bytes.size(); ++i) {
    const int high = HexDigit(buffer[2 * i]);
    const int low = HexDigit(buffer[2 * i + 1]);
    if (high < 0 || low < 0) return false;
    const auto value = static_cast<std::uint8_t>(high * 16 + low);
    if (i == bytes.size()) {
      if (value != sum) return false;
    } else {
      decoded[i] = value;
      sum = static_cast<std::uint8_t>(sum + value);
    }
  }
  std::copy(decoded.begin(), decoded.end(), bytes.begin());
  return true;
}

bool IniFilePort::WriteString(std::u16string_view section, std::u16string_view key, std::u16string_view value,
                              std::u16string_view path) {
  Profile profile;
  if (Open(path, true, profile) == Opened::kFailed) return false;
  Key& entry = FindOrAddKey(profile, section, key);
  const std::u16string_view text = TrimLeft(UpToNul(value));
  if (entry.has_value && entry.value == text) return true;  // no change: the file is not rewritten
  entry.value = text;
  entry.has_value = true;
  return Save(path, profile);
}

bool IniFilePort::WriteStruct(std::u16string_view section, std::u16string_view key, std::span<const std::uint8_t> bytes,
                              std::u16string_view path) {
  static constexpr char16_t kHex[] = u"0123456789ABCDEF";
  std::u16string text;
  text.reserve(2 * bytes.size() + 2);
  std::uint8_t sum = 0;
  for (const std::uint8_t b : bytes) {
    text.push_back(kHex[b >> 4]);
    text.push_back(kHex[b & 0x0F]);
    sum = static_cast<std::uint8_t>(sum + b);
  }
  text.push_back(kHex[sum >> 4]);
  text.push_back(kHex[sum & 0x0F]);
  return WriteString(section, key, text, path);
}

bool IniFilePort::PathExists(std::u16string_view path) {
  if (UpToNul(path).empty()) return false;
  std::error_code ec;
  return fs::exists(HostPath(path), ec);
}

}  // namespace qx27::linux_host
