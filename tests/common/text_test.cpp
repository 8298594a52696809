#include "common/text.h"

#include <gtest/gtest.h>

#include "common/little_endian.h"

namespace qx27 {
namespace {

TEST(FixedTextField, TextLongerThanTheFieldIsCutAndStaysTerminated) {
  char16_t field[5];
  std::fill(std::begin(field), std::end(field), u'#');
  EXPECT_FALSE(CopyToField(field, u"abcdefgh"));
  EXPECT_EQ(FieldText(field), u"abcd");
  EXPECT_EQ(field[4], u'\0');
}

TEST(FixedTextField, TextThatFitsIsCopiedAndTheRestCleared) {
  char16_t field[6] = {u'x', u'x', u'x', u'x', u'x', u'x'};
  EXPECT_TRUE(CopyToField(field, u"ab"));
  EXPECT_EQ(FieldText(field), u"ab");
  EXPECT_EQ(field[5], u'\0');
}

TEST(FixedTextField, FieldWithoutTerminatorIsReadOnlyToItsEnd) {
  const char16_t field[3] = {u'a', u'b', u'c'};
  EXPECT_EQ(FieldText(field), u"abc");
}

TEST(FixedTextField, JoinedPathIsWrittenOnlyWhenItFitsWhole) {
  char16_t field[8];
  EXPECT_TRUE(JoinToField(field, u"C:\\a", u"\\b"));
  EXPECT_EQ(FieldText(field), u"C:\\a\\b");
  EXPECT_TRUE(JoinToField(field, u"1234", u"567"));  // seven characters and the terminator
  EXPECT_FALSE(JoinToField(field, u"1234", u"5678"));
  EXPECT_EQ(FieldText(field), u"") << "a path that does not fit is not cut into another name";
}

TEST(DecimalText, PrintsLikePercentD) {
  EXPECT_EQ(DecimalText(0), u"0");
  EXPECT_EQ(DecimalText(-5), u"-5");
  EXPECT_EQ(DecimalText(16777215), u"16777215");
  EXPECT_EQ(DecimalText(INT32_MIN), u"-2147483648");
}

TEST(Utf8, CzechLettersAndAstralCharactersSurviveTheRoundTrip) {
  const std::u16string text = u"Otevřít nastavení \U0001F5B1";
  EXPECT_EQ(FromUtf8(ToUtf8(text)), text);
}

TEST(LittleEndianField, StoresLowByteFirst) {
  LeI32 v = -2;
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(&v);
  EXPECT_EQ(bytes[0], 0xFE);
  EXPECT_EQ(bytes[3], 0xFF);
  EXPECT_EQ(v.Get(), -2);
}

}  // namespace
}  // namespace qx27
