#include "output/text_helpers.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/codepage/codepage.h"

namespace ss {
namespace {

using namespace std::string_literals;

// Runs a test body under a chosen process code page and restores UTF-8.
class CodePageScope {
 public:
  explicit CodePageScope(UINT cp) { SetProcessCodePage(cp); }
  ~CodePageScope() { SetProcessCodePage(CP_UTF8); }
};

TEST(DecodeUrlTextTest, DecodesAndDropsBrokenEscapes) {
  const struct {
    std::string in, out;
  } cases[] = {
      {"a+b", "a b"},
      {"%41%62%2f%2F", "Ab//"},
      {"%e3%81%82", "\xe3\x81\x82"},
      {"abc%", "abc"},           // "%" at the end
      {"a%zzb", "azb"},          // "%" and the non-digit after it
      {"a%4zb", "ab"},           // "%", one digit and a non-digit
      {"a%4", "a"},              // "%" and one digit at the end
      {"%%41", "41"},            // the second "%" is the non-digit
      {"100%25+done", "100% done"},
      {"a%00b", "a\0b"s},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(DecodeUrlText(c.in), c.out) << c.in;
}

TEST(FindLastCharTest, NeverReturnsPositionZero) {
  EXPECT_EQ(FindLastChar("", '/'), -1);
  EXPECT_EQ(FindLastChar("/", '/'), -1);
  EXPECT_EQ(FindLastChar("/abc", '/'), -1);
  EXPECT_EQ(FindLastChar("a/b/c", '/'), 3);
  EXPECT_EQ(FindLastChar("ab/", '/'), 2);
  EXPECT_EQ(FindLastChar(".profile", '.'), -1);
  EXPECT_EQ(FindLastChar("a.b.c", '.'), 3);
}

TEST(FindLastCharTest, ShiftJisTrailByteIsNoBackslash) {
  CodePageScope cp(CP_932);
  // 0x83 0x5C is one character (a katakana), not a backslash.
  EXPECT_EQ(FindLastChar("a\x83\x5c", '\\'), -1);
  EXPECT_EQ(FindLastChar("a\\\x83\x5c", '\\'), 1);
  // 0x83 0x83 is one character, so the 0x5C after it is a real backslash
  // even though the byte before it is in the lead-byte range.
  EXPECT_EQ(FindLastChar("x\x83\x83\x5c", '\\'), 3);
  // A half-width katakana (0xA0-0xDF) is a single byte.
  EXPECT_EQ(FindLastChar("x\xb1\\", '\\'), 2);
}

TEST(FindLastCharTest, Utf8ContinuationBytesHideNothing) {
  // U+0101 is C4 81: under Shift-JIS rules 0x81 would swallow the "/".
  EXPECT_EQ(FindLastChar("a\xc4\x81/x", '/'), 3);
  EXPECT_EQ(FindLastChar("\xe3\x81\x82/", '/'), 3);
}

TEST(ReplaceProhibitedCharsTest, ReplacesEveryProhibitedCharacter) {
  EXPECT_EQ(ReplaceProhibitedChars("a/b:c", kDefaultProhibitedChars, '_'), "a_b_c");
  EXPECT_EQ(ReplaceProhibitedChars("\\/:,;*?\"<>|", kDefaultProhibitedChars, '_'), std::string(11, '_'));
  EXPECT_EQ(ReplaceProhibitedChars("plain name.txt", kDefaultProhibitedChars, '_'), "plain name.txt");
  EXPECT_EQ(ReplaceProhibitedChars("a b", " ", '-'), "a-b");
  EXPECT_EQ(ReplaceProhibitedChars("a/b", "", '_'), "a/b");

  std::string longTitle;
  for (int i = 0; i < 300; ++i) longTitle += "ab/c:";
  std::string replaced = ReplaceProhibitedChars(longTitle, kDefaultProhibitedChars, '_');
  ASSERT_EQ(replaced.size(), longTitle.size());
  EXPECT_EQ(replaced.find_first_of("/:"), std::string::npos);
  EXPECT_EQ(replaced.substr(replaced.size() - 5), "ab_c_");
}

TEST(ReplaceProhibitedCharsTest, KeepsTwoByteCharactersWhole) {
  {
    CodePageScope cp(CP_932);
    EXPECT_EQ(ReplaceProhibitedChars("\x83\x5c/\x83\x5c", kDefaultProhibitedChars, '_'), "\x83\x5c_\x83\x5c");
    // A two-byte character in the prohibited set is replaced as one.
    EXPECT_EQ(ReplaceProhibitedChars("a\x81\x5b" "b", "\x81\x5b", '_'), "a_b");
  }
  EXPECT_EQ(ReplaceProhibitedChars("\xc4\x81/", kDefaultProhibitedChars, '_'), "\xc4\x81_");
  EXPECT_EQ(ReplaceProhibitedChars("a\xe3\x83\xbc" "b\xe3\x83\xbd", "\xe3\x83\xbc", '_'), "a_b\xe3\x83\xbd");
}

TEST(UrlToFolderPathTest, OneLevelPerSegment) {
  const struct {
    std::string url;
    char separator;
    std::string out;
  } cases[] = {
      {"http://H/a/b/page.html", '/', "/H/a/b"},
      {"http://H/a/b/page.html", '\\', "\\H\\a\\b"},
      {"http://H:8080/x/", '/', "/H_8080/x"},
      {"http://H//x/p", '/', "/H//x"},
      {"http://H/", '/', "/H"},
      {"http://H", '/', ""},
      {"https://H/a/p?q=1", '/', "/H/a"},
      {"file:///C:/dir/page.html", '/', "/dir"},
      {"file:///C:/page.html", '/', ""},
      {"file:///home/u/page.html", '/', "/home/u"},
      {"file:///home/x:/y/page.html", '/', "/home/x_/y"},
      {"about:blank", '/', ""},
      {"", '/', ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(UrlToFolderPath(c.url, kDefaultProhibitedChars, '_', c.separator), c.out) << c.url;
}

TEST(UrlToFolderPathTest, DecodedUrlNeverLeavesTheFolder) {
  const struct {
    std::string url, out;
  } cases[] = {
      {"http://h/a%2F..%2F..%2Fetc/x", "/h/a/__/__/etc"},
      {"http://h/./../x", "/h/_/__"},
      {"http://h/a/.../p", "/h/a/___"},
      {"http://../a/p", "/__/a"},
      {"http://h/a%00b/p", "/h/a_b"},
      {"http://h/..%5C..%5Cx/p", "/h/.._.._x"},  // a backslash is replaced, so ".." is no level
      {"http://h/..a/.b./p", "/h/..a/.b."},        // names that only start or end with dots stay
  };
  for (const auto& c : cases) {
    std::string folders = UrlToFolderPath(DecodeUrlText(c.url), kDefaultProhibitedChars, '_', '/');
    EXPECT_EQ(folders, c.out) << c.url;
    for (std::size_t pos = 0; (pos = folders.find('/', pos)) != std::string::npos; ++pos) {
      std::size_t next = folders.find('/', pos + 1);
      std::string level = folders.substr(pos + 1, next == std::string::npos ? std::string::npos : next - pos - 1);
      EXPECT_NE(level, "..") << c.url;
      EXPECT_NE(level, ".") << c.url;
    }
  }
}

TEST(UrlToFolderPathTest, ShiftJisSegmentsKeepTheirBytes) {
  CodePageScope cp(CP_932);
  // "\x83\x5c" ends in 0x5C: it stays, and the real backslash is replaced.
  EXPECT_EQ(UrlToFolderPath("http://h/\x83\x5c\\x/p", kDefaultProhibitedChars, '_', '/'), "/h/\x83\x5c_x");
}

TEST(SafeNameComponentTest, DotNamesAndNulBytes) {
  EXPECT_EQ(SafeNameComponent(".", '_'), "_");
  EXPECT_EQ(SafeNameComponent("..", '_'), "__");
  EXPECT_EQ(SafeNameComponent("....", '_'), "____");
  EXPECT_EQ(SafeNameComponent("a..", '_'), "a..");
  EXPECT_EQ(SafeNameComponent(".hidden", '_'), ".hidden");
  EXPECT_EQ(SafeNameComponent("", '_'), "");
  EXPECT_EQ(SafeNameComponent("a\0b"s, '_'), "a_b");
}

}  // namespace
}  // namespace ss
