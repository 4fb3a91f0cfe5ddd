#include "platform/resources/resources.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "platform/codepage/codepage.h"

namespace ss {
namespace {

const char* const kLocaleVars[] = {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"};

// Keeps the locale variables, the override and the code page of the process
// as they were.
class ResourcesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int i = 0; i < 4; ++i) {
      const char* v = std::getenv(kLocaleVars[i]);
      saved_[i] = v ? std::optional<std::string>(v) : std::nullopt;
      unsetenv(kLocaleVars[i]);
    }
    ClearLanguageOverride();
    cp_ = GetACP();
  }
  void TearDown() override {
    for (int i = 0; i < 4; ++i) {
      if (saved_[i]) setenv(kLocaleVars[i], saved_[i]->c_str(), 1);
      else unsetenv(kLocaleVars[i]);
    }
    ClearLanguageOverride();
    SetProcessCodePage(cp_);
  }
  std::optional<std::string> saved_[4];
  UINT cp_ = CP_UTF8;
};

TEST_F(ResourcesTest, FirstLocaleVariableSetDecides) {
  struct Case {
    const char* language;
    const char* lcAll;
    const char* lcMessages;
    const char* lang;
    Language expected;
  };
  const Case cases[] = {
      {nullptr, nullptr, nullptr, nullptr, Language::English},
      {nullptr, nullptr, nullptr, "ja_JP.UTF-8", Language::Japanese},
      {nullptr, nullptr, nullptr, "en_US.UTF-8", Language::English},
      {nullptr, nullptr, nullptr, "C", Language::English},
      {nullptr, nullptr, "ja_JP.eucJP", "en_US.UTF-8", Language::Japanese},
      {nullptr, "POSIX", "ja_JP.UTF-8", "ja_JP.UTF-8", Language::English},
      {nullptr, "ja", nullptr, "C", Language::Japanese},
      {"ja:en", "en_US.UTF-8", nullptr, nullptr, Language::Japanese},
      {"en:ja", "ja_JP.UTF-8", nullptr, nullptr, Language::English},
      {":ja", nullptr, nullptr, nullptr, Language::Japanese},  // empty entries are skipped
      {"", "", "", "ja_JP", Language::Japanese},                // empty values do not decide
      {"de_DE", nullptr, nullptr, "ja_JP", Language::English},
  };
  for (const auto& c : cases) {
    const char* values[] = {c.language, c.lcAll, c.lcMessages, c.lang};
    for (int i = 0; i < 4; ++i) {
      if (values[i]) setenv(kLocaleVars[i], values[i], 1);
      else unsetenv(kLocaleVars[i]);
    }
    EXPECT_EQ(UserLanguage(), c.expected) << (c.language ? c.language : "-") << " " << (c.lcAll ? c.lcAll : "-")
                                          << " " << (c.lcMessages ? c.lcMessages : "-") << " "
                                          << (c.lang ? c.lang : "-");
  }
  for (const char* v : kLocaleVars) unsetenv(v);
  setenv("LANG", "ja_JP.UTF-8", 1);
  SetLanguageOverride(Language::English);
  EXPECT_EQ(UserLanguage(), Language::English);
  ClearLanguageOverride();
  EXPECT_EQ(UserLanguage(), Language::Japanese);
}

// A table of this test's own, in no particular order.
const StringEntry kEnglish[] = {
    {316, "Error code: 0x%08X"},
    {101, "Scrollsnap"},
    {292, "Scrollsnap.ssb"},
    {500, "English only"},
};
const StringEntry kJapanese[] = {
    {101, "Scrollsnap"},
    {332, "\xE3\x83\xAC\xE3\x82\xB8\xE3\x82\xB9\xE3\x83\x88\xE3\x83\xAA"},  // レジストリ (Japanese only)
    {316, "\xE3\x82\xA8\xE3\x83\xA9\xE3\x83\xBC: 0x%08X"},                  // エラー: 0x%08X
};
const StringTable kTable = {kEnglish, std::size(kEnglish), kJapanese, std::size(kJapanese)};

TEST_F(ResourcesTest, LooksUpByIdWithJapaneseOnlyFallback) {
  struct Case {
    std::uint32_t id;
    Language lang;
    std::string expected;
  };
  const Case cases[] = {
      {316, Language::English, "Error code: 0x%08X"},
      {316, Language::Japanese, "\xE3\x82\xA8\xE3\x83\xA9\xE3\x83\xBC: 0x%08X"},
      {332, Language::English, "\xE3\x83\xAC\xE3\x82\xB8\xE3\x82\xB9\xE3\x83\x88\xE3\x83\xAA"},
      {332, Language::Japanese, "\xE3\x83\xAC\xE3\x82\xB8\xE3\x82\xB9\xE3\x83\x88\xE3\x83\xAA"},
      {500, Language::Japanese, "English only"},
      {292, Language::English, "Scrollsnap.ssb"},
      {9999, Language::English, ""},
      {9999, Language::Japanese, ""},
  };
  SetProcessCodePage(CP_UTF8);
  for (const auto& c : cases)
    EXPECT_EQ(LoadStringLang(kTable, c.id, c.lang), c.expected) << c.id << " " << static_cast<int>(c.lang);

  SetLanguageOverride(Language::Japanese);
  EXPECT_EQ(LoadStringA(kTable, 316), "\xE3\x82\xA8\xE3\x83\xA9\xE3\x83\xBC: 0x%08X");
  SetLanguageOverride(Language::English);
  EXPECT_EQ(LoadStringA(kTable, 316), "Error code: 0x%08X");

  const StringTable empty = {nullptr, 0, nullptr, 0};
  EXPECT_EQ(LoadStringLang(empty, 101, Language::English), "");
}

TEST_F(ResourcesTest, TextsComeInTheProcessCodePage) {
  SetProcessCodePage(CP_932);
  EXPECT_EQ(LoadStringLang(kTable, 332, Language::English), "\x83\x8C\x83\x57\x83\x58\x83\x67\x83\x8A");
  EXPECT_EQ(LoadStringLang(kTable, 316, Language::Japanese), "\x83\x47\x83\x89\x81\x5B: 0x%08X");
  EXPECT_EQ(LoadStringLang(kTable, 101, Language::Japanese), "Scrollsnap");
}

}  // namespace
}  // namespace ss
