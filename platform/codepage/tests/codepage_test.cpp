#include "platform/codepage/codepage.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

#include <string>
#include <vector>

namespace ss {
namespace {

// Runs a test under one code page and puts the previous one back.
class CodePageTest : public ::testing::Test {
 protected:
  void SetUp() override { saved_ = GetACP(); }
  void TearDown() override { SetProcessCodePage(saved_); }
  static std::vector<std::size_t> Lengths(const std::string& s) {
    std::vector<std::size_t> out;
    const char* p = s.data();
    const char* end = p + s.size();
    while (p < end) {
      std::size_t n = CharLength(p, end);
      if (n == 0) break;
      out.push_back(n);
      p += n;
    }
    return out;
  }
  UINT saved_ = CP_UTF8;
};

TEST_F(CodePageTest, LeadBytesDependOnTheCodePage) {
  struct Case {
    unsigned char byte;
    bool utf8, cp932;
  };
  const Case cases[] = {
      {0x41, false, false}, {0x5C, false, false}, {0x80, false, false},
      {0x81, false, true},  // a UTF-8 continuation byte, a Shift-JIS lead byte
      {0x95, false, true},  {0x9F, false, true},  {0xA0, false, false},
      {0xC2, true, false},  {0xDF, true, false},  {0xE0, true, true},
      {0xE8, true, true},   {0xF4, true, true},   {0xF5, false, true},
      {0xFC, false, true},  {0xFD, false, false}, {0xFF, false, false},
  };
  for (const auto& c : cases) {
    SetProcessCodePage(CP_UTF8);
    EXPECT_EQ(IsLeadByte(c.byte), c.utf8) << std::hex << int(c.byte);
    SetProcessCodePage(CP_932);
    EXPECT_EQ(IsLeadByte(c.byte), c.cp932) << std::hex << int(c.byte);
  }
  SetProcessCodePage(12345);  // anything unknown means UTF-8
  EXPECT_EQ(GetACP(), CP_UTF8);
}

TEST_F(CodePageTest, CharactersNeverHideTheByteAfterThem) {
  struct Case {
    UINT cp;
    std::string text;
    std::vector<std::size_t> lengths;
  };
  const std::vector<Case> cases = {
      // UTF-8: "表" is three bytes; "ぁ" (E3 81 81) ends in a byte of the
      // Shift-JIS lead range, which must not take the "/" after it.
      {CP_UTF8, "a\xE8\xA1\xA8/b", {1, 3, 1, 1}},
      {CP_UTF8, "\xE3\x81\x81/", {3, 1}},
      {CP_UTF8, "\x81/", {1, 1}},              // stray continuation byte
      {CP_UTF8, "\xE3\x81/", {1, 1, 1}},       // truncated sequence
      {CP_UTF8, "\xC3\xA9", {2}},
      {CP_UTF8, "\xF0\x9F\x98\x80x", {4, 1}},
      {CP_UTF8, "\xE8\xA1", {1, 1}},           // cut at the end
      // CP932: "表" is 95 5C, its second byte a backslash.
      {CP_932, "\x95\x5C", {2}},
      {CP_932, "a\x95\x5C/", {1, 2, 1}},
      {CP_932, "\x82\xA0\x82\xA2", {2, 2}},    // "あい"
      {CP_932, "\xB1/", {1, 1}},               // half-width katakana: one byte
      {CP_932, "\x95", {1}},                   // lead byte at the end
      {CP_932, "\x95/", {1, 1}},               // not a trail byte: "/" stays a "/"
      {CP_932, "\x95\x0A", {1, 1}},
  };
  for (const auto& c : cases) {
    SetProcessCodePage(c.cp);
    EXPECT_EQ(Lengths(c.text), c.lengths) << c.cp << " " << ::testing::PrintToString(c.text);
  }
  const char* s = "x";
  EXPECT_EQ(CharLength(s, s), 0u);
}

TEST_F(CodePageTest, ShiftJisConvertsBothWays) {
  SetProcessCodePage(CP_932);
  struct Case {
    std::string utf8, sjis;
  };
  const std::vector<Case> cases = {
      {"\xE8\xA1\xA8", "\x95\x5C"},                                          // 表
      {"\xE8\xA1\xA8\xE7\xA4\xBA/a.png", "\x95\x5C\x8E\xA6/a.png"},         // 表示/a.png
      {"\xE3\x83\xAC\xE3\x82\xB8\xE3\x82\xB9\xE3\x83\x88\xE3\x83\xAA",
       "\x83\x8C\x83\x57\x83\x58\x83\x67\x83\x8A"},                          // レジストリ
      {"\xEF\xBD\xB1", "\xB1"},                                              // half-width ｱ
      {"plain ASCII\\", "plain ASCII\\"},
      {"", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Utf8ToAnsi(c.utf8), c.sjis);
    EXPECT_EQ(AnsiToUtf8(c.sjis), c.utf8);
    std::u16string wide = AnsiToWide(c.sjis);
    EXPECT_EQ(WideToAnsi(wide), c.sjis);
  }
  EXPECT_EQ(AnsiToWide("\x95\x5C"), u"\u8868");
  EXPECT_EQ(WideToAnsi(u"\u8868\u793A"), "\x95\x5C\x8E\xA6");
}

TEST_F(CodePageTest, Utf8IsPassedThroughAndWidened) {
  SetProcessCodePage(CP_UTF8);
  const std::string text = "\xE8\xA1\xA8 caf\xC3\xA9 \xF0\x9F\x98\x80";
  EXPECT_EQ(Utf8ToAnsi(text), text);
  EXPECT_EQ(AnsiToUtf8(text), text);
  EXPECT_EQ(AnsiToWide(text), u"\u8868 caf\u00E9 \U0001F600");
  EXPECT_EQ(WideToAnsi(u"\u8868 caf\u00E9 \U0001F600"), text);
}

TEST_F(CodePageTest, UnconvertibleCharactersBecomeOneQuestionMarkEach) {
  SetProcessCodePage(CP_932);
  // An emoji has no Shift-JIS form: one "?" for the whole character, and the
  // text around it survives.
  EXPECT_EQ(Utf8ToAnsi("a\xF0\x9F\x98\x80" "b"), "a?b");
  EXPECT_EQ(Utf8ToAnsi("\xC3\xA9t\xC3\xA9"), "?t?");  // é is not in CP932
  EXPECT_EQ(WideToAnsi(u"x\U0001F600y"), "x?y");
  EXPECT_EQ(WideToAnsi(std::u16string(u"a") + char16_t(0xD800) + u"b"), "a?b");  // lone surrogate
  // Invalid Shift-JIS: a lead byte without a trail, at the end and before "/".
  EXPECT_EQ(AnsiToUtf8("ab\x95"), "ab?");
  EXPECT_EQ(AnsiToUtf8("\x95/x"), "?/x");
  // Broken UTF-8 input of a CP932 conversion.
  EXPECT_EQ(Utf8ToAnsi("a\xFF" "b"), "a?b");
  SetProcessCodePage(CP_UTF8);
  EXPECT_EQ(AnsiToWide("a\xFF" "b"), u"a?b");
}

}  // namespace
}  // namespace ss

namespace ss {
namespace {

// The code page a process starts with comes from SCROLLSNAP_CODEPAGE. Each
// case runs in a freshly started copy of this program (the "threadsafe"
// death-test style re-executes it), where nothing has asked for the code
// page yet.
TEST(CodePageStartTest, EnvironmentChoosesTheInitialCodePage) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  struct Case {
    const char* value;
    int exitCode;  // 32: CP932, 8: UTF-8
  };
  const Case cases[] = {{"932", 32}, {"cp932", 32}, {"Shift_JIS", 32}, {"65001", 8}, {"latin1", 8}, {nullptr, 8}};
  const char* saved = std::getenv("SCROLLSNAP_CODEPAGE");
  std::string savedValue = saved ? saved : "";
  for (const auto& c : cases) {
    if (c.value) setenv("SCROLLSNAP_CODEPAGE", c.value, 1);
    else unsetenv("SCROLLSNAP_CODEPAGE");
    EXPECT_EXIT(_exit(GetACP() == CP_932 ? 32 : GetACP() == CP_UTF8 ? 8 : 1), ::testing::ExitedWithCode(c.exitCode),
                "")
        << (c.value ? c.value : "(unset)");
  }
  if (saved) setenv("SCROLLSNAP_CODEPAGE", savedValue.c_str(), 1);
  else unsetenv("SCROLLSNAP_CODEPAGE");
}

}  // namespace
}  // namespace ss
