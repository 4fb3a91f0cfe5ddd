#include "output/text_helpers.h"

#include <vector>

#include "platform/codepage/codepage.h"

namespace ss {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The characters of a text, each as a view of its bytes.
std::vector<std::string_view> SplitChars(std::string_view text) {
  std::vector<std::string_view> chars;
  const char* p = text.data();
  const char* end = p + text.size();
  while (p < end) {
    std::size_t n = CharLength(p, end);
    chars.emplace_back(p, n);
    p += n;
  }
  return chars;
}

bool OnlyDots(std::string_view name) {
  if (name.empty()) return false;
  for (char c : name)
    if (c != '.') return false;
  return true;
}

}  // namespace

std::string DecodeUrlText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    char c = text[i];
    if (c == '+') {
      out += ' ';
      ++i;
    } else if (c != '%') {
      out += c;
      ++i;
    } else if (i + 1 >= text.size()) {
      break;  // a "%" at the end is dropped
    } else {
      int hi = HexValue(text[i + 1]);
      if (hi < 0) {
        i += 2;  // "%" and the character after it
      } else if (i + 2 >= text.size()) {
        break;  // "%" and one digit at the end
      } else {
        int lo = HexValue(text[i + 2]);
        if (lo >= 0) out += static_cast<char>(hi * 16 + lo);
        i += 3;  // decoded, or "%", a digit and a non-digit dropped
      }
    }
  }
  return out;
}

std::string ReplaceProhibitedChars(std::string_view text, std::string_view prohibited, char replacement) {
  std::vector<std::string_view> banned = SplitChars(prohibited);
  std::string out;
  out.reserve(text.size());
  const char* p = text.data();
  const char* end = p + text.size();
  while (p < end) {
    std::size_t n = CharLength(p, end);
    std::string_view ch(p, n);
    bool hit = false;
    for (std::string_view b : banned) {
      if (b == ch) {
        hit = true;
        break;
      }
    }
    if (hit) {
      out += replacement;
    } else {
      out.append(p, n);
    }
    p += n;
  }
  return out;
}

int FindLastChar(std::string_view text, char c) {
  int found = -1;
  const char* begin = text.data();
  const char* p = begin;
  const char* end = p + text.size();
  while (p < end) {
    std::size_t n = CharLength(p, end);
    if (n == 1 && *p == c && p != begin) found = static_cast<int>(p - begin);
    p += n;
  }
  return found;
}

std::string SafeNameComponent(std::string_view name, char replacement) {
  std::string out(name);
  if (OnlyDots(out)) return std::string(out.size(), replacement);
  for (char& c : out)
    if (c == '\0') c = replacement;
  return out;
}

std::string UrlToFolderPath(std::string_view url, std::string_view prohibited, char replacement, char separator) {
  std::size_t start;
  if (std::size_t triple = url.find(":///"); triple != std::string_view::npos) {
    // A file URL: with a drive ("file:///C:/dir/...") the folders start after
    // the drive; without one ("file:///home/u/...") right after the slashes.
    // Only a ":/" that ends the first level is a drive.
    std::size_t drive = url.find(":/", triple + 4);
    std::size_t firstSlash = url.find('/', triple + 4);
    start = drive != std::string_view::npos && drive + 1 == firstSlash ? drive + 2 : triple + 4;
  } else if (std::size_t scheme = url.find("://"); scheme != std::string_view::npos) {
    start = scheme + 3;
  } else {
    return "";
  }
  std::string out;
  std::size_t pos = start;
  for (;;) {
    std::size_t slash = url.find('/', pos);
    if (slash == std::string_view::npos) break;
    out += separator;
    std::string segment = ReplaceProhibitedChars(url.substr(pos, slash - pos), prohibited, replacement);
    out += SafeNameComponent(segment, replacement);
    pos = slash + 1;
  }
  return out;
}

}  // namespace ss
