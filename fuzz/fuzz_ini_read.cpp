// Input: the bytes of a settings file. A fixed handful of reads goes through
// the stand-in INI service on it, then one write. Properties: a string read
// never overruns its buffer and a shorter buffer gives a prefix of a longer
// one's text; a struct read succeeds exactly when the stored text is the
// entry's hex digits and checksum, and leaves the bytes alone when it fails;
// the write succeeds, reads back, and repeating it leaves the file as it is.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz_files.h"
#include "platform/linux/ini_port.h"
#include "settings/settings_record.h"

using namespace qx27;

namespace {

struct Probe {
  std::u16string_view section;
  std::u16string_view key;
};

// Names the seeds contain, a case-changed one and names of the odd seeds.
constexpr std::array<Probe, 12> kProbes = {{
    {u"Setting", u"Totle"},
    {u"setting", u"ACTIVE"},
    {u"Setting", u"BGFilesPath"},
    {u"Setting", u"0"},
    {u"Profile0Setting", u"Profil_Name"},
    {u"Profile0Setting", u"DPI_Cur"},
    {u"Profile1Setting", u"ButtonAssigned0"},
    {u"Profile5Setting", u"ButtonAssigned8"},
    {u"Profile2Setting", u"ExePath3"},
    {u"Odd", u"quoted"},
    {u"Odd", u"long"},
    {u"", u"loose"},
}};

constexpr std::array<std::size_t, 4> kShortBuffers = {1, 2, 7, 50};
constexpr std::size_t kLongBuffer = 2048;

int HexValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  return -1;
}

// What a struct read of the entry's size must give for this stored text.
bool EntryFromText(std::u16string_view text, std::array<std::uint8_t, sizeof(ButtonEntry)>& entry) {
  if (text.size() != 2 * entry.size() + 2) return false;
  std::uint8_t sum = 0;
  for (std::size_t i = 0; i <= entry.size(); ++i) {
    const int high = HexValue(text[2 * i]);
    const int low = HexValue(text[2 * i + 1]);
    if (high < 0 || low < 0) return false;
    const auto byte = static_cast<std::uint8_t>(high * 16 + low);
    if (i == entry.size()) return byte == sum;
    entry[i] = byte;
    sum = static_cast<std::uint8_t>(sum + byte);
  }
  return false;
}

std::u16string ReadText(linux_host::StandInIniPort& ini, const Probe& probe, std::size_t units,
                        const std::u16string& path) {
  std::u16string buffer(units, u'\x7F');
  const std::size_t n = ini.ReadString(probe.section, probe.key, u"", buffer, path);
  // Within the buffer, terminated where the count says, and no NUL before it.
  if (n >= units || buffer[n] != u'\0' || buffer.find(u'\0') != n) std::abort();
  buffer.resize(n);
  return buffer;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fuzzing::FuzzFile& file = fuzzing::TheFile();
  const std::u16string& path = file.IniPath();
  file.Set(data, size);
  linux_host::StandInIniPort ini;

  for (const Probe& probe : kProbes) {
    const std::u16string whole = ReadText(ini, probe, kLongBuffer, path);
    for (const std::size_t units : kShortBuffers) {
      const std::u16string cut = ReadText(ini, probe, units, path);
      if (whole.compare(0, cut.size(), cut) != 0) std::abort();
    }
  }

  // An integer read gives its default exactly when there is no text to read.
  for (const Probe& probe : {kProbes[0], kProbes[1], kProbes[5]}) {
    const bool has_text = !ReadText(ini, probe, 30, path).empty();
    const std::uint32_t a = ini.ReadInt(probe.section, probe.key, 7, path);
    const std::uint32_t b = ini.ReadInt(probe.section, probe.key, -3, path);
    if (has_text ? a != b : (a != 7u || b != static_cast<std::uint32_t>(-3))) std::abort();
  }

  for (const Probe& probe : {kProbes[6], kProbes[7]}) {
    std::array<std::uint8_t, sizeof(ButtonEntry)> expected{};
    const bool valid = EntryFromText(ReadText(ini, probe, kLongBuffer, path), expected);
    std::array<std::uint8_t, sizeof(ButtonEntry)> read;
    read.fill(0xA5);
    const bool ok = ini.ReadStruct(probe.section, probe.key, read, path);
    if (ok != valid) std::abort();
    if (ok ? read != expected : std::any_of(read.begin(), read.end(), [](std::uint8_t b) { return b != 0xA5; })) {
      std::abort();
    }
  }

  const Probe target = kProbes[5];
  constexpr std::u16string_view kValue = u"3 fuzz";
  if (!ini.WriteString(target.section, target.key, kValue, path)) std::abort();
  if (ReadText(ini, target, kLongBuffer, path) != kValue) std::abort();
  if (ini.ReadInt(target.section, target.key, 0, path) != 3u) std::abort();
  const std::string written = file.Bytes();
  if (!ini.WriteString(target.section, target.key, kValue, path) || file.Bytes() != written) std::abort();
  return 0;
}
