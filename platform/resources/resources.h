// String resources by numeric id, in English and Japanese.
//
// Each deliverable (the module, each skin) carries its own string table. The
// language follows the user's locale: LANGUAGE, LC_ALL, LC_MESSAGES, LANG in
// that order, the first one set decides; "ja..." gives Japanese, anything else
// English. A text that exists only in the Japanese table is shown in Japanese
// whatever the language.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace ss {

enum class Language { English, Japanese };

struct StringEntry {
  std::uint32_t id;
  const char* text;  // UTF-8
};

struct StringTable {
  const StringEntry* english;
  std::size_t englishCount;
  const StringEntry* japanese;
  std::size_t japaneseCount;
};

Language UserLanguage();
// Overrides the locale rule for this process (tests, --lang); reset with
// ClearLanguageOverride.
void SetLanguageOverride(Language lang);
void ClearLanguageOverride();

// The text of `id` in the process code page; "" when neither table has it.
std::string LoadStringA(const StringTable& table, std::uint32_t id);
std::string LoadStringLang(const StringTable& table, std::uint32_t id, Language lang);

}  // namespace ss
