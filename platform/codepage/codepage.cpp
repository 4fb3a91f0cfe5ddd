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

bool IsCp932Lead(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }
bool IsCp932Trail(unsigned char b) { return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC); }

// Bytes of the well-formed UTF-8 sequence at p, or 1 for a byte that does
// not start one (stray continuation byte, truncated or overlong sequence).
std::size_t Utf8SequenceLength(const unsigned char* p, std::size_t avail) {
  if (avail == 0) return 0;
  unsigned char b = p[0];
  std::size_t n = b >= 0xC2 && b <= 0xDF ? 2 : b >= 0xE0 && b <= 0xEF ? 3 : b >= 0xF0 && b <= 0xF4 ? 4 : 1;
  if (n == 1 || n > avail) return 1;
  for (std::size_t i = 1; i < n; ++i)
    if ((p[i] & 0xC0) != 0x80) return 1;
  // Second-byte limits that rule out overlong forms, surrogates and code
  // points above U+10FFFF.
  if ((b == 0xE0 && p[1] < 0xA0) || (b == 0xED && p[1] > 0x9F) || (b == 0xF0 && p[1] < 0x90) ||
      (b == 0xF4 && p[1] > 0x8F))
    return 1;
  return n;
}

// The input unit that an unconvertible character takes, so that it is
// replaced as a whole and the bytes after it are read afresh.
enum class Unit { Utf8, Cp932, Utf16 };

std::size_t SkipLength(Unit unit, const char* in, std::size_t left) {
  const auto* p = reinterpret_cast<const unsigned char*>(in);
  switch (unit) {
    case Unit::Utf8:
      return Utf8SequenceLength(p, left);
    case Unit::Cp932:
      return left >= 2 && IsCp932Lead(p[0]) && IsCp932Trail(p[1]) ? 2 : 1;
    case Unit::Utf16: {
      if (left < 2) return left;
      unsigned hi = p[0] | (p[1] << 8);
      if (hi >= 0xD800 && hi <= 0xDBFF && left >= 4) {
        unsigned lo = p[2] | (p[3] << 8);
        if (lo >= 0xDC00 && lo <= 0xDFFF) return 4;
      }
      return 2;
    }
  }
  return 1;
}

Unit UnitOf(const char* encoding) {
  if (std::strcmp(encoding, "CP932") == 0) return Unit::Cp932;
  if (std::strcmp(encoding, "UTF-16LE") == 0) return Unit::Utf16;
  return Unit::Utf8;
}

// Converts with iconv; a character that cannot be converted (or is not valid
// input) becomes one replacement, so that a text never vanishes whole.
std::string Convert(const char* from, const char* to, const char* data, std::size_t size,
                    const char* replacement, std::size_t replacementSize) {
  std::string out;
  if (size == 0) return out;
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(data, size);
  const Unit unit = UnitOf(from);
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
      // EILSEQ or EINVAL: skip the character and mark it.
      std::size_t skip = SkipLength(unit, in, inLeft);
      if (skip == 0 || skip > inLeft) skip = inLeft;
      in += skip;
      inLeft -= skip;
      out.append(replacement, replacementSize);
      iconv(cd, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
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
  if (GetACP() == CP_932) return IsCp932Lead(b);
  return b >= 0xC2 && b <= 0xF4;
}

std::size_t CharLength(const char* p, const char* end) {
  if (p >= end) return 0;
  const auto* u = reinterpret_cast<const unsigned char*>(p);
  std::size_t avail = static_cast<std::size_t>(end - p);
  // A broken sequence counts byte by byte, so that the byte after it (a "/"
  // for instance) is never swallowed: in Shift-JIS a lead byte needs a real
  // trail byte; in UTF-8 a sequence must be whole and well-formed.
  if (GetACP() == CP_932) return avail >= 2 && IsCp932Lead(u[0]) && IsCp932Trail(u[1]) ? 2 : 1;
  return Utf8SequenceLength(u, avail);
}

std::string AnsiToUtf8(std::string_view ansi) {
  if (GetACP() == CP_UTF8) return std::string(ansi);
  return Convert("CP932", "UTF-8", ansi.data(), ansi.size(), "?", 1);
}

std::string Utf8ToAnsi(std::string_view utf8) {
  if (GetACP() == CP_UTF8) return std::string(utf8);
  return Convert("UTF-8", "CP932", utf8.data(), utf8.size(), "?", 1);
}

std::u16string AnsiToWide(std::string_view ansi) {
  std::string bytes = Convert(IconvName(GetACP()), "UTF-16LE", ansi.data(), ansi.size(), "?\0", 2);
  std::u16string out(bytes.size() / 2, u'\0');
  std::memcpy(out.data(), bytes.data(), out.size() * 2);
  return out;
}

std::string WideToAnsi(std::u16string_view wide) {
  return Convert("UTF-16LE", IconvName(GetACP()), reinterpret_cast<const char*>(wide.data()),
                 wide.size() * 2, "?", 1);
}

}  // namespace ss
