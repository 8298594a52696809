// The Linux stand-in reads and writes odd settings files the way the Windows
// private-profile service does (as Wine implements it; the Windows build
// checks the two against each other byte for byte).
#include "platform/linux/ini_port.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <string>

#include "common/text.h"
#include "temp_folder.h"

namespace qx27 {
namespace {

using test::ReadBytes;
using test::TempFolder;
using test::WriteBytes;

class StandInIni : public ::testing::Test {
 protected:
  // Puts `bytes` in a file and gives its path.
  std::u16string Given(std::string_view bytes) {
    WriteBytes(folder_.File("odd.ini"), bytes);
    return folder_.IniPath("odd.ini");
  }
  std::string FileBytes() const { return ReadBytes(folder_.File("odd.ini")); }

  std::int32_t Int(std::u16string_view section, std::u16string_view key, std::int32_t default_value,
                   std::u16string_view path) {
    return static_cast<std::int32_t>(ini_.ReadInt(section, key, default_value, path));
  }
  std::u16string String(std::u16string_view section, std::u16string_view key, std::u16string_view path,
                        std::size_t units = 2048) {
    std::u16string buffer(units, u'#');
    const std::size_t n = ini_.ReadString(section, key, u"", buffer, path);
    EXPECT_EQ(buffer[n], u'\0') << "the copied text is always terminated";
    return buffer.substr(0, n);
  }

  TempFolder folder_;
  linux_host::StandInIniPort ini_;
};

std::string Utf16Le(std::u16string_view text) {
  std::string bytes = "\xFF\xFE";
  for (const char16_t unit : text) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return bytes;
}

// ---- reading -------------------------------------------------------------------

TEST_F(StandInIni, SectionAndKeyNamesMatchWithoutRegardToCase) {
  const auto path = Given("[Setting]\r\nTotle=3\r\n");
  EXPECT_EQ(Int(u"SETTING", u"totle", 6, path), 3);
}

TEST_F(StandInIni, BlanksAroundSectionsNamesAndValuesAreIgnored) {
  const auto path = Given("  [ Profile0Setting ]  \r\n\t GroupID \t=\t 7  \r\n Profil_Name =  My Mouse  \r\n");
  EXPECT_EQ(Int(u"Profile0Setting", u"GroupID", 0, path), 7);
  EXPECT_EQ(String(u"Profile0Setting", u"Profil_Name", path), u"My Mouse");
}

TEST_F(StandInIni, ACommentLineGivesNoValueToTheKeyItMentions) {
  const auto path = Given("[s]\r\n;a=5\r\n; b=6\r\nb=7\r\n");
  EXPECT_EQ(Int(u"s", u"a", -1, path), -1);
  EXPECT_EQ(Int(u"s", u"b", -1, path), 7);
}

TEST_F(StandInIni, OnlyTheFirstOfRepeatedKeysAndSectionsIsRead) {
  const auto path = Given("[s]\r\nk=1\r\nk=2\r\n[t]\r\n[s]\r\nlater=3\r\n");
  EXPECT_EQ(Int(u"s", u"k", 0, path), 1);
  EXPECT_EQ(Int(u"s", u"later", -1, path), -1);
}

TEST_F(StandInIni, AnyLineEndWorksAndTheLastLineNeedsNone) {
  EXPECT_EQ(Int(u"s", u"k", 0, Given("[s]\nk=1\n")), 1);
  EXPECT_EQ(Int(u"s", u"k", 0, Given("[s]\rk=2")), 2);
  EXPECT_EQ(Int(u"s", u"k", 0, Given("[s]\r\n\r\n\r\nk=3")), 3);
}

TEST_F(StandInIni, AUtf16FileWithByteOrderMarkIsRead) {
  const auto path = Given(Utf16Le(u"[Profile0Setting]\r\nProfil_Name=Otevřít \U0001F5B1\r\n"));
  EXPECT_EQ(String(u"Profile0Setting", u"Profil_Name", path), u"Otevřít \U0001F5B1");
}

TEST_F(StandInIni, APlainFileIsReadInTheAnsiCodePage) {
  const auto path = Given("[s]\r\nname=Caf\xE9 \x80\r\n");
  EXPECT_EQ(String(u"s", u"name", path), u"Café €");
}

TEST_F(StandInIni, AStringIsCutToTheBufferAndStaysTerminated) {
  const auto path = Given("[s]\r\nlong=" + std::string(3000, 'x') + "\r\n");
  EXPECT_EQ(String(u"s", u"long", path), std::u16string(2047, u'x'));
  EXPECT_EQ(String(u"s", u"long", path, 5), u"xxxx");
}

TEST_F(StandInIni, OnePairOfMatchingQuotesAroundAValueIsDropped) {
  const auto path = Given("[s]\r\ndouble=\"C:\\My Files\"\r\nsingle='x y'\r\nodd=\"open\r\nmixed=\"a'\r\n");
  EXPECT_EQ(String(u"s", u"double", path), u"C:\\My Files");
  EXPECT_EQ(String(u"s", u"single", path), u"x y");
  EXPECT_EQ(String(u"s", u"odd", path), u"\"open");
  EXPECT_EQ(String(u"s", u"mixed", path), u"\"a'");
}

TEST_F(StandInIni, IntegerTextsReadAsThePlatformParsesThem) {
  struct Case {
    const char* text;
    std::int32_t expected;
  };
  // Sign, then an optional lower-case base prefix, then digits up to the first
  // character that is none; overflow wraps; an empty text gives the default.
  const Case cases[] = {
      {"-5", -5},   {" 12abc", 12}, {"0x10", 16},        {"0X10", 0},   {"", -99}, {"+7", 7},
      {"0b101", 5}, {"0o17", 15},   {"-0x1F", -31},      {"abc", 0},    {"-", 0},  {"4294967297", 1},
      {"\"42\"", 42}, {"1 2", 1},   {"2147483648", INT32_MIN},
  };
  for (const Case& c : cases) {
    const auto path = Given(std::string("[s]\r\nk=") + c.text + "\r\n");
    EXPECT_EQ(Int(u"s", u"k", -99, path), c.expected) << "text: " << c.text;
  }
}

TEST_F(StandInIni, AMissingFileSectionOrKeyGivesTheDefault) {
  EXPECT_EQ(Int(u"s", u"k", 42, folder_.IniPath("absent.ini")), 42);
  EXPECT_EQ(Int(u"s", u"k", 42, folder_.IniPath("no-folder/absent.ini")), 42);
  const auto path = Given("[s]\r\nother=1\r\nbare\r\n");
  EXPECT_EQ(Int(u"t", u"k", 43, path), 43);
  EXPECT_EQ(Int(u"s", u"k", 44, path), 44);
  EXPECT_EQ(Int(u"s", u"bare", 45, path), 45) << "a line without '=' has no value";
}

TEST_F(StandInIni, EveryCallReadsTheFileAnew) {
  const auto path = Given("[s]\r\nk=1\r\n");
  EXPECT_EQ(Int(u"s", u"k", 0, path), 1);
  WriteBytes(folder_.File("odd.ini"), "[s]\r\nk=2\r\n");
  EXPECT_EQ(Int(u"s", u"k", 0, path), 2);
}

// ---- writing -------------------------------------------------------------------

TEST_F(StandInIni, AWriteRewritesTheFileInNormalFormWithCrLf) {
  const auto path = Given("; head\n\n[s]\n  a = 1  \n; note\nb=2");
  ASSERT_TRUE(ini_.WriteString(u"s", u"a", u"5", path));
  EXPECT_EQ(FileBytes(), "; head\r\n[s]\r\na=5\r\n; note\r\nb=2\r\n");
}

TEST_F(StandInIni, AWriteThatChangesNothingLeavesTheFileUntouched) {
  const auto path = Given("[s]\nk = 1\n");
  EXPECT_TRUE(ini_.WriteString(u"s", u"k", u"1", path));
  EXPECT_EQ(FileBytes(), "[s]\nk = 1\n");
}

TEST_F(StandInIni, AMissingKeyIsAddedAtTheEndOfItsSection) {
  const auto path = Given("[a]\r\nx=1\r\n[b]\r\ny=2\r\n");
  ASSERT_TRUE(ini_.WriteString(u"A", u"z", u"3", path));
  EXPECT_EQ(FileBytes(), "[a]\r\nx=1\r\nz=3\r\n[b]\r\ny=2\r\n");
}

TEST_F(StandInIni, AMissingSectionIsAddedAtTheEndOfTheFile) {
  const auto path = Given("[a]\r\nx=1\r\n[b]\r\ny=2\r\n");
  ASSERT_TRUE(ini_.WriteString(u"c", u"z", u"3", path));
  EXPECT_EQ(FileBytes(), "[a]\r\nx=1\r\n[b]\r\ny=2\r\n[c]\r\nz=3\r\n");
}

TEST_F(StandInIni, TheFirstOfRepeatedKeysIsTheOneWritten) {
  const auto path = Given("[s]\r\nk=1\r\nk=2\r\n");
  ASSERT_TRUE(ini_.WriteString(u"s", u"K", u"3", path));
  EXPECT_EQ(FileBytes(), "[s]\r\nk=3\r\nk=2\r\n");
}

TEST_F(StandInIni, LeadingBlanksOfAWrittenValueAreNotStored) {
  const auto path = folder_.IniPath("odd.ini");
  ASSERT_TRUE(ini_.WriteString(u"s", u"k", u"  x y", path));
  EXPECT_EQ(FileBytes(), "[s]\r\nk=x y\r\n");
}

TEST_F(StandInIni, AMissingFileIsCreatedButAMissingFolderIsNot) {
  ASSERT_TRUE(ini_.WriteString(u"s", u"k", u"v", folder_.IniPath("odd.ini")));
  EXPECT_EQ(FileBytes(), "[s]\r\nk=v\r\n");

  const auto nowhere = folder_.IniPath("missing/odd.ini");
  const std::uint8_t bytes[] = {1, 2};
  EXPECT_FALSE(ini_.WriteString(u"s", u"k", u"v", nowhere));
  EXPECT_FALSE(ini_.WriteStruct(u"s", u"k", bytes, nowhere));
  EXPECT_FALSE(std::filesystem::exists(folder_.File("missing")));
}

TEST_F(StandInIni, AReadOnlyFileIsNeitherWrittenNorReportedAsWritten) {
  const auto path = Given("[s]\r\nk=1\r\n");
  std::filesystem::permissions(folder_.File("odd.ini"), std::filesystem::perms::owner_read);
  EXPECT_FALSE(ini_.WriteString(u"s", u"k", u"2", path));
  EXPECT_EQ(FileBytes(), "[s]\r\nk=1\r\n");
}

TEST_F(StandInIni, AUtf16FileIsWrittenBackInUtf16) {
  const auto path = Given(Utf16Le(u"[s]\r\nk=1\r\n"));
  ASSERT_TRUE(ini_.WriteString(u"s", u"name", u"Zvýraznění", path));
  EXPECT_EQ(FileBytes(), Utf16Le(u"[s]\r\nk=1\r\nname=Zvýraznění\r\n"));
}

TEST_F(StandInIni, TextWithoutAnAnsiByteIsStoredAsItsBestFitOrAQuestionMark) {
  const auto path = folder_.IniPath("odd.ini");
  ASSERT_TRUE(ini_.WriteString(u"s", u"k", u"é€ř中", path));
  EXPECT_EQ(FileBytes(), "[s]\r\nk=\xE9\x80r?\r\n");
}

TEST_F(StandInIni, APathNamingAFolderIsNoFile) {
  EXPECT_FALSE(ini_.WriteString(u"s", u"k", u"v", folder_.IniPath("")));
  EXPECT_EQ(Int(u"s", u"k", 5, folder_.IniPath("")), 5);
  EXPECT_FALSE(ini_.WriteString(u"s", u"k", u"v", u""));
}

// ---- struct values -------------------------------------------------------------

TEST_F(StandInIni, AStructIsStoredAsUpperCaseHexFollowedByItsChecksum) {
  const auto path = folder_.IniPath("odd.ini");
  const std::uint8_t bytes[] = {0x01, 0xAB, 0xFF};
  ASSERT_TRUE(ini_.WriteStruct(u"s", u"k", bytes, path));
  EXPECT_EQ(FileBytes(), "[s]\r\nk=01ABFFAB\r\n");  // 0x01 + 0xAB + 0xFF = 0x1AB
  std::array<std::uint8_t, 3> back{};
  ASSERT_TRUE(ini_.ReadStruct(u"s", u"k", back, path));
  EXPECT_EQ(back, (std::array<std::uint8_t, 3>{0x01, 0xAB, 0xFF}));
}

TEST_F(StandInIni, LowerCaseHexDigitsAreAccepted) {
  const auto path = Given("[s]\r\nk=01abffab\r\n");
  std::array<std::uint8_t, 3> back{};
  ASSERT_TRUE(ini_.ReadStruct(u"s", u"k", back, path));
  EXPECT_EQ(back, (std::array<std::uint8_t, 3>{0x01, 0xAB, 0xFF}));
}

TEST_F(StandInIni, AStructWithWrongLengthChecksumOrDigitFailsAndLeavesTheBytes) {
  const char* damaged[] = {
      "01ABFF",      // short
      "01ABFFAB00",  // a valid value with more after it
      "01ABFFAC",    // checksum off by one
      "11ABFFAB",    // one digit changed
      "01ABFGAB",    // not a hex digit
      "",            // empty
  };
  for (const char* text : damaged) {
    const auto path = Given(std::string("[s]\r\nk=") + text + "\r\n");
    std::array<std::uint8_t, 3> back = {0x55, 0x55, 0x55};
    EXPECT_FALSE(ini_.ReadStruct(u"s", u"k", back, path)) << text;
    EXPECT_EQ(back, (std::array<std::uint8_t, 3>{0x55, 0x55, 0x55})) << text;
  }
  std::array<std::uint8_t, 3> back{};
  EXPECT_FALSE(ini_.ReadStruct(u"s", u"absent", back, Given("[s]\r\n")));
}

}  // namespace
}  // namespace qx27
