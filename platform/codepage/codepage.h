// The process code page: texts are byte strings in it. UTF-8 by default,
// CP932 (Shift-JIS) when chosen (SCROLLSNAP_CODEPAGE=932, or SetProcessCodePage).
#pragma once

#include <string>
#include <string_view>

#include "platform/base/result.h"

namespace ss {

constexpr UINT CP_UTF8 = 65001;
constexpr UINT CP_932 = 932;

UINT GetACP();
void SetProcessCodePage(UINT codePage);

// True when `b` starts a multi-byte character in the process code page:
// CP932 lead bytes 0x81-0x9F and 0xE0-0xFC; UTF-8 bytes 0xC2-0xF4.
bool IsLeadByte(unsigned char b);
// Bytes taken by the character that starts at p (1 for single bytes, never
// past `end`, never 0 when p < end).
std::size_t CharLength(const char* p, const char* end);

// Conversions between the process code page and UTF-8 / UTF-16. Bytes that do
// not convert become "?".
std::string AnsiToUtf8(std::string_view ansi);
std::string Utf8ToAnsi(std::string_view utf8);
std::u16string AnsiToWide(std::string_view ansi);
std::string WideToAnsi(std::u16string_view wide);

}  // namespace ss
