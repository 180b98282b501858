#include <gtest/gtest.h>

#include <string>

#include "archive/unicode_lowercase.h"
#include "archive/vrx_error.h"
#include "archive/vrx_id.h"

namespace velmo {
namespace {

TEST(SimpleLowercase, MapsLettersOfEveryScriptInTheBasicPlane) {
  EXPECT_EQ(SimpleLowercase(u'A'), u'a');
  EXPECT_EQ(SimpleLowercase(u'z'), u'z');
  EXPECT_EQ(SimpleLowercase(u'@'), u'@');
  EXPECT_EQ(SimpleLowercase(u'Ä'), u'ä');
  EXPECT_EQ(SimpleLowercase(u'İ'), u'i');  // simple mapping: no combining dot
  EXPECT_EQ(SimpleLowercase(u'Σ'), u'σ');
  EXPECT_EQ(SimpleLowercase(u'Ж'), u'ж');
  EXPECT_EQ(SimpleLowercase(u'Ａ'), u'ａ');
  EXPECT_EQ(SimpleLowercase(u'Ⅻ'), u'ⅻ');
  EXPECT_EQ(SimpleLowercase(u'ẞ'), u'ß');
  EXPECT_EQ(SimpleLowercase(u'あ'), u'あ');
  EXPECT_EQ(SimpleLowercase(char16_t{0xD801}), char16_t{0xD801});
}

TEST(VRXIDs, ConvertBetweenUtf8AndUtf16) {
  EXPECT_EQ(VRXIDFromUtf8("aé音𝄞"), u"aé音𝄞");
  EXPECT_EQ(VRXIDFromUtf8("𝄞").size(), 2u);
  EXPECT_EQ(VRXIDToUtf8(u"aé音𝄞"), "aé音𝄞");
  EXPECT_EQ(VRXIDToUtf8(std::u16string{u'a', char16_t{0xD834}, u'b'}),
            "a\xEF\xBF\xBD"
            "b");
  for (const char* bad : {"\x80", "\xC3", "\xC0\x80", "\xE0\x80\xAF", "\xED\xA0\x80",
                          "\xF4\x90\x80\x80", "\xF8\x88\x80\x80\x80", "ok\xE3\x81"}) {
    EXPECT_THROW(VRXIDFromUtf8(bad), EVRXError) << bad;
  }
}

TEST(VRXIDs, MatchOnlyWholeIDsIgnoringCase) {
  EXPECT_TRUE(VRXIDsMatch(u"Voice.WAV", u"voice.wav"));
  EXPECT_TRUE(VRXIDsMatch(u"ΑΒΓ", u"αβγ"));
  EXPECT_FALSE(VRXIDsMatch(u"voice", u"voice.wav"));
  EXPECT_FALSE(VRXIDsMatch(u"ss", u"ß"));

  TVRXDataInfo unterminated;
  unterminated.DataID.fill(u'Q');
  EXPECT_EQ(StoredVRXID(unterminated), std::u16string(256, u'Q'));
  TVRXDataInfo terminated;
  terminated.DataID[0] = u'a';
  EXPECT_EQ(StoredVRXID(terminated), u"a");
}

}  // namespace
}  // namespace velmo
