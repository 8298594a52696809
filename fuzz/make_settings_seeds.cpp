// Writes seed inputs for the settings fuzz targets: settings files the agent
// itself writes (first start, all six profiles in use, UTF-16LE and UTF-8 with
// byte-order marks) and small hand-made odd files.
// qx27_fuzz_settings_seeds <folder>; the same files go to every target.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "common/text.h"
#include "full_settings.h"
#include "platform/linux/ini_port.h"
#include "settings/settings_file.h"
#include "settings/settings_record.h"
#include "settings/validation.h"

using namespace qx27;
namespace fs = std::filesystem;

namespace {

const char* const kTargets[] = {"ini_read", "settings_load"};

std::string ReadAll(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteAll(const fs::path& file, const std::string& bytes) {
  std::ofstream(file, std::ios::binary | std::ios::trunc)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void Seed(const fs::path& root, const std::string& name, const std::string& bytes) {
  for (const char* target : kTargets) {
    fs::create_directories(root / target);
    WriteAll(root / target / name, bytes);
  }
}

// The stored text of a struct value: uppercase hex of the bytes, then their sum.
std::string StructText(const ButtonEntry& entry) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string text;
  std::uint8_t sum = 0;
  for (const std::uint8_t b : EntryBytes(entry)) {
    text += kHex[b >> 4];
    text += kHex[b & 0x0F];
    sum = static_cast<std::uint8_t>(sum + b);
  }
  text += kHex[sum >> 4];
  text += kHex[sum & 0x0F];
  return text;
}

ButtonEntry Macro(std::uint8_t func_code, std::uint8_t step_count) {
  ButtonEntry entry{};
  entry.ButtonNo = 1;
  entry.FuncCode = func_code;
  entry.StepCount = step_count;
  for (MacroStep& step : entry.Steps) {
    step.StepCode = 0x14;
    step.StepValue = 1;
  }
  entry.MacroID = 7;
  return entry;
}

std::string Utf16(std::u16string_view text, bool big_endian) {
  std::string bytes = big_endian ? "\xFE\xFF" : "\xFF\xFE";
  for (const char16_t unit : text) {
    const auto high = static_cast<char>(unit >> 8);
    const auto low = static_cast<char>(unit & 0xFF);
    bytes += big_endian ? high : low;
    bytes += big_endian ? low : high;
  }
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: qx27_fuzz_settings_seeds <folder>\n";
    return 2;
  }
  const fs::path root = argv[1];
  const fs::path work = root / "work";
  fs::create_directories(work);
  const fs::path file = work / "GamingMouse.ini";
  const std::u16string path = FromUtf8(file.string());
  linux_host::StandInIniPort ini;
  auto record = std::make_unique<SettingsRecord>();
  auto snapshot = std::make_unique<SettingsRecord>();
  auto working = std::make_unique<ProfileRecord>();

  // What a first start writes.
  LoadOrCreateSettings(ini, path, *record, *snapshot, *working);
  Seed(root, "first-start.ini", ReadAll(file));

  // All six profiles in use.
  bench::FillFullSettings(*record);
  SaveSettings(ini, path, *record);
  Seed(root, "six-profiles.ini", ReadAll(file));

  // The service keeps a file's encoding: the agent writing into files the
  // companion UI made in UTF-16LE or UTF-8, one and two profiles in use.
  record->Totle = 1;
  WriteAll(file, "\xFF\xFE");
  SaveSettings(ini, path, *record);
  Seed(root, "one-profile-utf16le.ini", ReadAll(file));
  record->Totle = 2;
  WriteAll(file, "\xEF\xBB\xBF");
  CopyToField(record->Profiles[1].Profil_Name, u"Pr\u00E9cision \u2013 \u30DE\u30A6\u30B9");
  SaveSettings(ini, path, *record);
  Seed(root, "two-profiles-utf8.ini", ReadAll(file));
  fs::remove_all(work);

  const ButtonEntry valid = Macro(0xA6, 12);
  std::string damaged = StructText(valid);
  damaged[10] = damaged[10] == '0' ? '1' : '0';
  std::string lower = StructText(Macro(0xA6, 3));
  for (char& c : lower) c = static_cast<char>(c >= 'A' && c <= 'F' ? c + 32 : c);

  Seed(root, "odd-values.ini",
       "[setting]\r\n  totle = 2 \r\nACTIVE=5\nCurrent=-5\r\n; a comment\r\nlan_id= 12abc\r\nShow_OSD=0x10\r\n"
       "Show_TrayIcon=\r\n0=1\r\n1=-1\r\n[PROFILE1SETTING]\r\nDPI_Cur=9\r\nProfil_Name=\"quoted name\"\r\n"
       "GroupID=21\r\nlight_speed=0\r\nDPI_Value3=0b111\r\nMouse_Speed=4294967297");
  Seed(root, "duplicates.ini",
       "[Setting]\nTotle=3\nTotle=1\nActive=2\n[Setting]\nActive=1\n0=2\n[Profile2Setting]\nButtonAssigned0=" +
           StructText(valid) + "\nButtonAssigned1=" + StructText(Macro(0xA6, 200)) + "\nButtonAssigned2=" + damaged +
           "\nButtonAssigned3=" + lower + "\nButtonAssigned4=\"" + StructText(Macro(0xA8, 92)) +
           "\"\nButtonAssigned5=" + StructText(valid).substr(2) + "\nButtonAssigned6=" + StructText(Macro(0xB3, 1)) +
           "\n[Profile1Setting]\nButtonAssigned0=" + StructText(Macro(0x00, 0)) +
           "\n[Profile5Setting]\nButtonAssigned8=" + StructText(Macro(0xD7, 0)) + "\n");
  Seed(root, "long-texts.ini",
       "[Setting]\r\nTotle=1\r\nBGFilesPath=" + std::string(2100, 'b') + "\r\n[Profile0Setting]\r\nProfil_Name=" +
           std::string(3000, 'n') + "\r\nSYNCFilesPath='" + std::string(258, 's') +
           "'\r\nExePath3=" + std::string(259, 'p') + "\r\nExeName3=" + std::string(260, 'e') + "\r\n");
  Seed(root, "odd-lines.ini",
       std::string("loose=1\n[Odd]\nquoted='single'\nquoted=second\nlong=\"") + std::string(40, 'q') +
           "\"\n[\nno closing bracket\n=value\n=\nbare\n[]\nunder empty=1\n[Odd]]\n[ Setting ]\r\r\n\n"
           "Totle\t=\t4\x1A\n[Profile0Setting]\nDPI_Cur=0x\n" +
           std::string("Profil_Name=a\0b\n", 16) + "\x80\xE9\xFF=\x81\x8D\x9D");
  Seed(root, "big-endian.ini", Utf16(u"[Setting]\r\nTotle=2\r\n[Profile1Setting]\r\nDPI_Cur=3\r\n", true));
  Seed(root, "odd-byte-count.ini", Utf16(u"[Setting]\nActive=0\n[Odd]\nlong=x", false) + "\x41");
  Seed(root, "counts.ini", "[Setting]\nTotle=0\nActive=9\n0=9\n[Profile9Setting]\nDPI_Cur=1\n");
  Seed(root, "seven.ini", "[Setting]\nTotle=7\nCurrent=6\n0=-1\n1=5\n2=5\n3=5\n4=5\n5=5\n6=5\n");
  return 0;
}
