// Byte-string tools for file names, paths and URLs. Texts are in the process
// code page; every search and replacement walks whole characters, so the
// second byte of a Shift-JIS character (which may be 0x5C, the backslash) is
// never taken for a character of its own.
#pragma once

#include <string>
#include <string_view>

namespace ss {

// The characters that never appear in a file or folder name made from a page:
// backslash, slash, colon, comma, semicolon, asterisk, question mark, double
// quote, less-than, greater-than and vertical bar.
inline constexpr std::string_view kDefaultProhibitedChars = "\\/:,;*?\"<>|";
inline constexpr char kReplacementChar = '_';

// Decodes "+" to a blank and "%XX" to the byte XX. A "%" without two
// hexadecimal digits after it is dropped together with the digit or the one
// character that follows it; a "%" at the very end is dropped.
std::string DecodeUrlText(std::string_view text);

// Every character of `text` that is one of the characters of `prohibited`
// (a multi-byte character counts as one) becomes `replacement`.
std::string ReplaceProhibitedChars(std::string_view text, std::string_view prohibited, char replacement);

// The highest position p >= 1 at which `c` stands as a character of its own
// (not as the second byte of a multi-byte character); -1 when there is none.
// Position 0 is never returned.
int FindLastChar(std::string_view text, char c);

// The folders of a URL: one level per path segment of the URL (the host
// first), each written as `separator` + the segment with prohibited characters
// replaced; the last segment (the page's own name and query) is left out.
// "" when the text has no "://". A file URL starts after the drive when it
// names one ("file:///C:/d/p" gives /d), else at its first folder
// ("file:///home/u/p" gives /home/u). A level that would be "." or ".." (or any name made
// of dots only) has its dots replaced, so a URL can never lead out of the
// folder the result is appended to.
std::string UrlToFolderPath(std::string_view url, std::string_view prohibited, char replacement, char separator);

// A name made of dots only ("." or "..") names a folder rather than a file or
// a new sub-folder: such a name gets every dot replaced. NUL bytes, which
// would cut a path short, are replaced as well. Other names are returned as
// they are.
std::string SafeNameComponent(std::string_view name, char replacement);

}  // namespace ss
