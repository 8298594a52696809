// The Linux stand-in reads and writes odd settings files the way the Windows
// private-profile service does (as Wine implements it; the Windows build
// checks the two against each other byte for byte).
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <string>

#include "common/text.h"
#include "platform/linux/ini_port.h"
#include "support/temp_folder.h"

namespace qx27 {
namespace {

using test::ReadBytes;
using test::WriteBytes;

std::string Utf16Le(std::u16string_view text) {
  std::string bytes = "\xFF\xFE";
  for (const char16_t unit : text) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return bytes;
}

std::string Utf16Be(std::u16string_view text) {
  std::string bytes = "\xFE\xFF";
  for (const char16_t unit : text) {
    bytes.push_back(static_cast<char>(unit >> 8));
    bytes.push_back(static_cast<char>(unit & 0xFF));
  }
  return bytes;
}

class StandInIni : public ::testing::Test {
 protected:
  std::u16string Given(std::string_view bytes) {
    WriteBytes(folder_.File("odd.ini"), bytes);
    return Path();
  }
  std::u16string Path() const { return folder_.IniPath("odd.ini"); }
  std::string FileBytes() const { return ReadBytes(folder_.File("odd.ini")); }
  // A string read with "-" for the default.
  std::u16string String(std::u16string_view section, std::u16string_view key, std::size_t units = 2048) {
    std::u16string buffer(units, u'#');
    const std::size_t n = ini_.ReadString(section, key, u"-", buffer, Path());
    EXPECT_EQ(buffer[n], u'\0') << "the copied text is always terminated";
    return buffer.substr(0, n);
  }

  test::TempFolder folder_;
  linux_host::StandInIniPort ini_;
};

TEST_F(StandInIni, OddFilesReadAsTheServiceReadsThem) {
  struct Case {
    const char* what;
    std::string file;
    const char16_t* section;
    const char16_t* key;
    std::u16string expected;
  };
  const Case cases[] = {
      {"names match without regard to case", "[Setting]\r\nTotle=3\r\n", u"SETTING", u"totle", u"3"},
      {"blanks around names and values", "  [ P ]  \r\n\t Name \t=\t My Mouse  \r\n", u"P", u"Name", u"My Mouse"},
      {"a comment gives no value", "[s]\r\n;a=5\r\n; b=6\r\n", u"s", u"a", u"-"},
      {"the key after a comment", "[s]\r\n; b=6\r\nb=7\r\n", u"s", u"b", u"7"},
      {"the first of repeated keys", "[s]\r\nk=1\r\nK=2\r\n", u"s", u"k", u"1"},
      {"a repeated section is not seen", "[s]\r\nk=1\r\n[t]\r\n[s]\r\nlater=3\r\n", u"s", u"later", u"-"},
      {"LF line ends", "[s]\nk=1\n", u"s", u"k", u"1"},
      {"CR line ends and no final one", "[s]\rk=2", u"s", u"k", u"2"},
      {"blank lines", "[s]\r\n\r\n\r\nk=3", u"s", u"k", u"3"},
      {"a line without '=' has no value", "[s]\r\nbare\r\n", u"s", u"bare", u"-"},
      {"a missing section", "[s]\r\nk=1\r\n", u"t", u"k", u"-"},
      {"UTF-16 with byte-order mark", Utf16Le(u"[s]\r\nk=Otevřít \U0001F5B1\r\n"), u"s", u"k", u"Otevřít \U0001F5B1"},
      // Windows takes only the UTF-16LE mark for one: the bytes of another begin
      // the first line, which then names no section.
      {"a UTF-8 mark hides the first section", "\xEF\xBB\xBF[s]\r\nk=1\r\n[t]\r\nk=\xC5\xA0\r\n", u"s", u"k", u"-"},
      {"after a UTF-8 mark the text is Windows-1252", "\xEF\xBB\xBF[s]\r\nk=1\r\n[t]\r\nk=\xC5\xA0\r\n", u"t", u"k",
       u"\u00C5\u00A0"},
      {"a UTF-16BE file names no section", Utf16Be(u"[s]\r\nk=1\r\n"), u"s", u"k", u"-"},
      {"no byte-order mark: Windows-1252", "[s]\r\nk=Caf\xE9 \x80\r\n", u"s", u"k", u"Café €"},
      {"double quotes dropped", "[s]\r\nk=\"C:\\My Files\"\r\n", u"s", u"k", u"C:\\My Files"},
      {"single quotes dropped", "[s]\r\nk='x y'\r\n", u"s", u"k", u"x y"},
      {"an unclosed quote kept", "[s]\r\nk=\"open\r\n", u"s", u"k", u"\"open"},
      {"unlike quotes kept", "[s]\r\nk=\"a'\r\n", u"s", u"k", u"\"a'"},
  };
  for (const Case& c : cases) {
    Given(c.file);
    EXPECT_EQ(String(c.section, c.key), c.expected) << c.what;
  }
}

TEST_F(StandInIni, AStringIsCutToTheBuffer) {
  Given("[s]\r\nlong=" + std::string(3000, 'x') + "\r\n");
  EXPECT_EQ(String(u"s", u"long"), std::u16string(2047, u'x'));
  EXPECT_EQ(String(u"s", u"long", 5), u"xxxx");
}

TEST_F(StandInIni, IntegerTextsReadAsThePlatformParsesThem) {
  // Sign, then an optional lower-case base prefix, then digits up to the first
  // character that is none; overflow wraps; an empty text gives the default.
  const std::pair<const char*, std::int32_t> cases[] = {
      {"-5", -5},     {" 12abc", 12}, {"0x10", 16},   {"0X10", 0}, {"", -99},         {"+7", 7},
      {"0b101", 5},   {"0o17", 15},   {"-0x1F", -31}, {"abc", 0},  {"4294967297", 1}, {"2147483648", INT32_MIN},
      {"\"42\"", 42}, {"1 2", 1},
  };
  for (const auto& [text, expected] : cases) {
    Given(std::string("[s]\r\nk=") + text + "\r\n");
    EXPECT_EQ(static_cast<std::int32_t>(ini_.ReadInt(u"s", u"k", -99, Path())), expected) << text;
  }
}

TEST_F(StandInIni, EveryCallReadsTheFileAnew) {
  Given("[s]\r\nk=1\r\n");
  EXPECT_EQ(ini_.ReadInt(u"s", u"k", 0, Path()), 1u);
  Given("[s]\r\nk=2\r\n");
  EXPECT_EQ(ini_.ReadInt(u"s", u"k", 0, Path()), 2u);
}

TEST_F(StandInIni, WritesChangeFilesAsTheServiceChangesThem) {
  struct Case {
    const char* what;
    std::string file;
    const char16_t* section;
    const char16_t* key;
    std::u16string value;
    std::string expected;
  };
  const Case cases[] = {
      {"a change rewrites the file in normal form with CRLF", "; head\n\n[s]\n  a = 1  \n; note\nb=2", u"s", u"a", u"5",
       "; head\r\n[s]\r\na=5\r\n; note\r\nb=2\r\n"},
      {"no change leaves every byte", "[s]\nk = 1\n", u"s", u"k", u"1", "[s]\nk = 1\n"},
      {"a missing key goes to the end of its section", "[a]\r\nx=1\r\n[b]\r\ny=2\r\n", u"A", u"z", u"3",
       "[a]\r\nx=1\r\nz=3\r\n[b]\r\ny=2\r\n"},
      {"a missing section goes to the end of the file", "[a]\r\nx=1\r\n", u"c", u"z", u"3",
       "[a]\r\nx=1\r\n[c]\r\nz=3\r\n"},
      {"the first of repeated keys is written", "[s]\r\nk=1\r\nk=2\r\n", u"s", u"K", u"3", "[s]\r\nk=3\r\nk=2\r\n"},
      {"leading blanks of a value are dropped", "[s]\r\n", u"s", u"k", u"  x y", "[s]\r\nk=x y\r\n"},
      {"UTF-16 stays UTF-16", Utf16Le(u"[s]\r\n"), u"s", u"k", u"Zvýraznění", Utf16Le(u"[s]\r\nk=Zvýraznění\r\n")},
      {"a UTF-8 mark stays the start of a line, and the section it hid is added", "\xEF\xBB\xBF[s]\r\n", u"s", u"k",
       u"é", "\xEF\xBB\xBF[s]\r\n[s]\r\nk=\xE9\r\n"},
      {"Windows-1252 with best fit, else '?'", "[s]\r\n", u"s", u"k", u"é€ř中", "[s]\r\nk=\xE9\x80r?\r\n"},
  };
  for (const Case& c : cases) {
    Given(c.file);
    EXPECT_TRUE(ini_.WriteString(c.section, c.key, c.value, Path())) << c.what;
    EXPECT_EQ(FileBytes(), c.expected) << c.what;
  }
}

TEST_F(StandInIni, AMissingFileIsCreatedButNothingIsWrittenWithoutAFolderOrToAReadOnlyFile) {
  EXPECT_EQ(ini_.ReadInt(u"s", u"k", 42, Path()), 42u);
  ASSERT_TRUE(ini_.WriteString(u"s", u"k", u"v", Path()));
  EXPECT_EQ(FileBytes(), "[s]\r\nk=v\r\n");

  const std::uint8_t bytes[] = {1, 2};
  const auto nowhere = folder_.IniPath("missing/odd.ini");
  EXPECT_EQ(ini_.ReadInt(u"s", u"k", 42, nowhere), 42u);
  EXPECT_FALSE(ini_.WriteString(u"s", u"k", u"v", nowhere));
  EXPECT_FALSE(ini_.WriteStruct(u"s", u"k", bytes, nowhere));
  EXPECT_FALSE(std::filesystem::exists(folder_.File("missing")));

  EXPECT_FALSE(ini_.WriteString(u"s", u"k", u"v", folder_.IniPath(""))) << "a folder is no file";
  EXPECT_FALSE(ini_.WriteString(u"s", u"k", u"v", u""));

  std::filesystem::permissions(folder_.File("odd.ini"), std::filesystem::perms::owner_read);
  EXPECT_FALSE(ini_.WriteString(u"s", u"k", u"w", Path()));
  EXPECT_EQ(FileBytes(), "[s]\r\nk=v\r\n");
}

TEST_F(StandInIni, AWindowsShapedPathNamesTheSameFileOnLinux) {
  std::filesystem::create_directory(folder_.File("VORN"));
  const std::u16string windows_shaped = folder_.IniPath("") + u"VORN\\GamingMouse";
  ASSERT_TRUE(ini_.WriteString(u"s", u"k", u"1", windows_shaped));
  EXPECT_EQ(ReadBytes(folder_.File("VORN") / "GamingMouse"), "[s]\r\nk=1\r\n");
  EXPECT_TRUE(ini_.PathExists(windows_shaped));
}

TEST_F(StandInIni, AStructIsUpperCaseHexAndItsChecksumAndReadsBackInEitherCase) {
  const std::uint8_t bytes[] = {0x01, 0xAB, 0xFF};
  ASSERT_TRUE(ini_.WriteStruct(u"s", u"k", bytes, Path()));
  EXPECT_EQ(FileBytes(), "[s]\r\nk=01ABFFAB\r\n");  // 0x01 + 0xAB + 0xFF = 0x1AB
  for (const char* stored : {"01ABFFAB", "01abffab"}) {
    Given(std::string("[s]\r\nk=") + stored + "\r\n");
    std::array<std::uint8_t, 3> back{};
    ASSERT_TRUE(ini_.ReadStruct(u"s", u"k", back, Path())) << stored;
    EXPECT_EQ(back, (std::array<std::uint8_t, 3>{0x01, 0xAB, 0xFF}));
  }
}

TEST_F(StandInIni, AStructWithWrongLengthChecksumOrDigitFailsAndLeavesTheBytes) {
  for (const char* stored : {"01ABFF", "01ABFFAB00", "01ABFFAC", "11ABFFAB", "01ABFGAB", ""}) {
    Given(std::string("[s]\r\nk=") + stored + "\r\n");
    std::array<std::uint8_t, 3> back = {0x55, 0x55, 0x55};
    EXPECT_FALSE(ini_.ReadStruct(u"s", u"k", back, Path())) << stored;
    EXPECT_EQ(back, (std::array<std::uint8_t, 3>{0x55, 0x55, 0x55})) << stored;
  }
}

}  // namespace
}  // namespace qx27
