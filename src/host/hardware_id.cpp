#include "host/hardware_id.h"

#include <string>
#include <string_view>

namespace qx27 {
namespace {

std::u16string Upper(std::u16string_view text) {
  std::u16string out(text);
  for (char16_t& c : out) {
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
  }
  return out;
}

std::u16string Tag(std::u16string_view prefix, std::uint16_t value) {
  static constexpr char16_t kHex[] = u"0123456789ABCDEF";
  std::u16string tag(prefix);
  for (int shift = 12; shift >= 0; shift -= 4) tag.push_back(kHex[(value >> shift) & 0xF]);
  return tag;
}

// "VID_1B80" must not match "VID_1B801": the tag ends the ID or meets '&'.
bool ContainsTag(std::u16string_view id, std::u16string_view tag) {
  for (std::size_t at = id.find(tag); at != std::u16string_view::npos; at = id.find(tag, at + 1)) {
    const std::size_t end = at + tag.size();
    const bool starts_field = at == 0 || id[at - 1] == u'\\' || id[at - 1] == u'&';
    const bool ends_field = end == id.size() || id[end] == u'&' || id[end] == u'\\';
    if (starts_field && ends_field) return true;
  }
  return false;
}

}  // namespace

bool HardwareIdsName(std::span<const char16_t> ids, std::uint16_t vendor_id, std::uint16_t product_id) {
  const std::u16string vid = Tag(u"VID_", vendor_id);
  const std::u16string pid = Tag(u"PID_", product_id);
  std::size_t start = 0;
  while (start < ids.size()) {
    std::size_t end = start;
    while (end < ids.size() && ids[end] != u'\0') ++end;
    if (end == start) break;  // the empty string ends the list
    const std::u16string id = Upper(std::u16string_view(ids.data() + start, end - start));
    if (ContainsTag(id, vid) && ContainsTag(id, pid)) return true;
    start = end + 1;
  }
  return false;
}

}  // namespace qx27
