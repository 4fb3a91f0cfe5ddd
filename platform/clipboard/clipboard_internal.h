// Shared between the clipboard store and its desktop bridge.
#pragma once

#include <string>

namespace ss::clipboard {

// Puts the content on the desktop clipboard. Either pointer may be null (that
// format is absent). `dib` is a packed DIB (header and pixels), `text` bytes
// in the process code page up to the first NUL.
void PushToDesktop(const std::string* dib, const std::string* text);

}  // namespace ss::clipboard
