#include "platform/codepage/codepage.h"

#include <iconv.h>

#include <atomic>
#include <cstdlib>
#include <cerrno>
#include <cstring>
#include <strings.h>

namespace ss {
namespace {

UINT InitialCodePage() {
  const char* cp = std::getenv("SCROLLSNAP_CODEPAGE");
  if (cp && (std::strcmp(cp, "932") == 0 || strcasecmp(cp, "cp932") == 0 || strcasecmp(cp, "shift_jis") == 0))
    return CP_932;
  return CP_UTF8;
}

std::atomic<UINT>& CodePageSlot() {
  static std::atomic<UINT> cp{InitialCodePage()};
  return cp;
}

const char* IconvName(UINT cp) { return cp == CP_932 ? "CP932" : "UTF-8"; }

// Converts with iconv; an unconvertible input sequence becomes "?" (one per
// input byte skipped) so that a text never vanishes whole.
std::string Convert(const char* from, const char* to, const char* data, std::size_t size,
                    std::size_t inUnit, const char* replacement, std::size_t replacementSize) {
  std::string out;
  if (size == 0) return out;
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(data, size);
  out.reserve(size * 2);
  char* in = const_cast<char*>(data);
  std::size_t inLeft = size;
  char buf[4096];
  while (inLeft > 0) {
    char* o = buf;
    std::size_t oLeft = sizeof buf;
    std::size_t r = iconv(cd, &in, &inLeft, &o, &oLeft);
    out.append(buf, o - buf);
    if (r == static_cast<std::size_t>(-1)) {
      if (errno == E2BIG) continue;
      // EILSEQ or EINVAL: skip one input unit and mark it.
      std::size_t skip = inLeft < inUnit ? inLeft : inUnit;
      in += skip;
      inLeft -= skip;
      out.append(replacement, replacementSize);
    }
  }
  char* o = buf;
  std::size_t oLeft = sizeof buf;
  iconv(cd, nullptr, nullptr, &o, &oLeft);
  out.append(buf, o - buf);
  iconv_close(cd);
  return out;
}

}  // namespace

UINT GetACP() { return CodePageSlot().load(); }

void SetProcessCodePage(UINT codePage) { CodePageSlot().store(codePage == CP_932 ? CP_932 : CP_UTF8); }

bool IsLeadByte(unsigned char b) {
  if (GetACP() == CP_932) return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
  return b >= 0xC2 && b <= 0xF4;
}

std::size_t CharLength(const char* p, const char* end) {
  if (p >= end) return 0;
  unsigned char b = static_cast<unsigned char>(*p);
  std::size_t avail = static_cast<std::size_t>(end - p);
  std::size_t n = 1;
  if (GetACP() == CP_932) {
    n = IsLeadByte(b) ? 2 : 1;
  } else if (b >= 0xC2 && b <= 0xDF) {
    n = 2;
  } else if (b >= 0xE0 && b <= 0xEF) {
    n = 3;
  } else if (b >= 0xF0 && b <= 0xF4) {
    n = 4;
  }
  if (n > avail) n = avail;
  if (GetACP() != CP_932) {
    // A truncated or malformed UTF-8 sequence counts byte by byte, so that a
    // following ASCII byte (a "/" for instance) is never swallowed.
    for (std::size_t i = 1; i < n; ++i)
      if ((static_cast<unsigned char>(p[i]) & 0xC0) != 0x80) return 1;
  }
  return n;
}

std::string AnsiToUtf8(std::string_view ansi) {
  if (GetACP() == CP_UTF8) return std::string(ansi);
  return Convert("CP932", "UTF-8", ansi.data(), ansi.size(), 1, "?", 1);
}

std::string Utf8ToAnsi(std::string_view utf8) {
  if (GetACP() == CP_UTF8) return std::string(utf8);
  return Convert("UTF-8", "CP932", utf8.data(), utf8.size(), 1, "?", 1);
}

std::u16string AnsiToWide(std::string_view ansi) {
  std::string bytes = Convert(IconvName(GetACP()), "UTF-16LE", ansi.data(), ansi.size(), 1, "?\0", 2);
  std::u16string out(bytes.size() / 2, u'\0');
  std::memcpy(out.data(), bytes.data(), out.size() * 2);
  return out;
}

std::string WideToAnsi(std::u16string_view wide) {
  return Convert("UTF-16LE", IconvName(GetACP()), reinterpret_cast<const char*>(wide.data()),
                 wide.size() * 2, 2, "?", 1);
}

}  // namespace ss
