#include "ctl/settings_keys.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "ctl/json.h"
#include "settings/validation.h"

namespace qx27::ctl {
namespace {

std::unique_ptr<SettingsRecord> ValidRecord() {
  auto record = std::make_unique<SettingsRecord>();
  record->Totle = 6;
  for (int i = 0; i < kProfileSlots; ++i) record->ProfileNo[i] = i;
  ValidateHeader(*record);
  return record;
}

KeyRef Named(std::vector<KeyRef> keys, const std::string& name) {
  for (const KeyRef& key : keys) {
    if (key.name == name) return key;
  }
  ADD_FAILURE() << "no key " << name;
  return {};
}

// The tool refuses exactly what the agent would repair.
TEST(CtlSettingsKeys, TheRangesTheToolAcceptsAreTheAgentsValidation) {
  auto record = ValidRecord();
  const auto check = [&](KeyRef& key, const char* section) {
    if (key.kind != KeyKind::kInteger || !key.settable) return;
    const std::int32_t kept = *key.value;
    for (const std::int64_t value :
         {std::int64_t{key.low} - 1, std::int64_t{key.low}, std::int64_t{key.high}, std::int64_t{key.high} + 1}) {
      *key.value = static_cast<std::int32_t>(value);
      auto checked = std::make_unique<SettingsRecord>(*record);
      ValidateHeader(*checked);
      const bool kept_by_agent = Repairs(*record, *checked).empty();
      std::string error;
      const bool accepted = AssignFromText(key, std::to_string(value), error);
      EXPECT_EQ(accepted, kept_by_agent) << section << " " << key.name << "=" << value;
      *key.value = kept;
    }
  };
  for (KeyRef& key : HeaderKeys(*record)) check(key, "header");
  for (KeyRef& key : ProfileKeys(record->Profiles[2])) check(key, "profile");
}

TEST(CtlSettingsKeys, TextsThatTheSettingsFileCannotKeepAreRefused) {
  auto record = ValidRecord();
  KeyRef name = Named(ProfileKeys(record->Profiles[0]), "Profil_Name");
  std::string error;
  EXPECT_TRUE(AssignFromText(name, std::string(49, 'x'), error)) << error;
  for (const std::string& bad :
       {std::string(50, 'x'), std::string("two\nlines"), std::string(" padded"), std::string("\"quoted\"")}) {
    EXPECT_FALSE(AssignFromText(name, bad, error)) << bad;
  }
}

TEST(CtlSettingsKeys, AButtonEntrysStoredTextReadsBackAndAChangedDigitIsRefused) {
  auto record = ValidRecord();
  ButtonEntry& entry = record->Profiles[0].ButtonAssigned[3];
  entry.Steps[5].StepCode = 0xAB;
  entry.reserved2[1] = 7;
  std::u16string text = FileValue(Named(ProfileKeys(record->Profiles[0]), "ButtonAssigned3"));
  ASSERT_EQ(text.size(), 762u);
  const auto back = ParseStructValue(text);
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(std::memcmp(&*back, &entry, sizeof entry), 0);
  text[10] = text[10] == u'0' ? u'1' : u'0';
  EXPECT_EQ(ParseStructValue(text), std::nullopt);
}

TEST(CtlJson, ABackupsTextKeepsEveryUtf16UnitAndMalformedDocumentsAreRefused) {
  const std::u16string odd = u"a\"b\\\n\u00E9\U0001F600 \xD800 end";
  std::string error;
  const auto parsed = ParseJson("{\"k\": " + JsonText(odd) + ", \"n\": -2147483648}", error);
  ASSERT_TRUE(parsed.has_value()) << error;
  EXPECT_EQ(parsed->Find("k")->text, odd);
  EXPECT_EQ(parsed->Find("n")->number, -2147483648LL);
  for (const char* bad : {"{\"a\": 1, \"a\": 2}", "{\"a\": 1.5}", "{\"a\": 1} x", "{\"a\": \"open}", "[1,]",
                          "{\"a\": 99999999999999999999}"}) {
    EXPECT_EQ(ParseJson(bad, error), std::nullopt) << bad;
  }
}

}  // namespace
}  // namespace qx27::ctl
