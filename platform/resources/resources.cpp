#include "platform/resources/resources.h"

#include <atomic>
#include <cstdlib>
#include <string_view>

#include "platform/codepage/codepage.h"

namespace ss {
namespace {

// 0: follow the locale; otherwise 1 + the Language chosen.
std::atomic<int> g_override{0};

bool StartsWithJa(std::string_view v) {
  return v.size() >= 2 && (v[0] == 'j' || v[0] == 'J') && (v[1] == 'a' || v[1] == 'A');
}

Language FromLocaleName(std::string_view v) { return StartsWithJa(v) ? Language::Japanese : Language::English; }

// A scan of the table: tables are small, may come in any order, and belong to
// libraries that can be unloaded, so nothing about them is cached.
const char* Find(const StringEntry* entries, std::size_t count, std::uint32_t id) {
  if (!entries) return nullptr;
  for (std::size_t i = 0; i < count; ++i)
    if (entries[i].id == id) return entries[i].text;
  return nullptr;
}

}  // namespace

Language UserLanguage() {
  int o = g_override.load();
  if (o != 0) return static_cast<Language>(o - 1);
  for (const char* var : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* v = std::getenv(var);
    if (!v || !*v) continue;
    std::string_view value(v);
    if (std::string_view(var) == "LANGUAGE") {
      // LANGUAGE is a priority list "ja:en"; its first entry decides.
      std::size_t start = 0;
      std::string_view first;
      while (start <= value.size()) {
        std::size_t end = value.find(':', start);
        if (end == std::string_view::npos) end = value.size();
        if (end > start) {
          first = value.substr(start, end - start);
          break;
        }
        start = end + 1;
      }
      if (first.empty()) continue;
      return FromLocaleName(first);
    }
    return FromLocaleName(value);  // "C", "POSIX", "en_US.UTF-8", ...: English
  }
  return Language::English;
}

void SetLanguageOverride(Language lang) { g_override.store(static_cast<int>(lang) + 1); }

void ClearLanguageOverride() { g_override.store(0); }

std::string LoadStringLang(const StringTable& table, std::uint32_t id, Language lang) {
  const char* text = nullptr;
  if (lang == Language::Japanese) {
    text = Find(table.japanese, table.japaneseCount, id);
    if (!text) text = Find(table.english, table.englishCount, id);
  } else {
    text = Find(table.english, table.englishCount, id);
    // Texts that exist only in Japanese are shown in Japanese.
    if (!text) text = Find(table.japanese, table.japaneseCount, id);
  }
  return text ? Utf8ToAnsi(text) : std::string();
}

std::string LoadStringA(const StringTable& table, std::uint32_t id) {
  return LoadStringLang(table, id, UserLanguage());
}

}  // namespace ss
