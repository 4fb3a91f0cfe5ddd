// The `clipboard` command: looks at the session clipboard.
#pragma once

#include <string>
#include <vector>

namespace ss::host {

// `clipboard save FILE`: writes the stored picture as a BMP file, or, when
// there is no picture, the stored text as it is.
// `clipboard list`: the formats stored, with their sizes.
// `clipboard clear`: empties the clipboard.
// `args` are the words after "clipboard". Exit status 0 done, 2 error (such
// as an empty clipboard or a file that cannot be written), 64 usage.
int RunClipboardCommand(const std::vector<std::string>& args);

}  // namespace ss::host
