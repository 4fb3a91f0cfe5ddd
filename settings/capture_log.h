// The capture log: one line per completed capture (page title, TAB, page URL,
// TAB, local date and time, CR LF) appended to a plain-text file, and the
// alert when that file has grown beyond a set number of megabytes.
#pragma once

#include <ctime>
#include <string>
#include <string_view>

#include "output/file_naming.h"
#include "platform/base/result.h"
#include "platform/ui/ui.h"
#include "settings/settings.h"

namespace ss {

inline constexpr long long kLogAlertUnit = 1048576;  // one megabyte

// Formats a moment with a date picture (d, dd, ddd, dddd, M, MM, MMM, MMMM,
// y, yy, yyyy, g, gg) or a time picture (h, hh, H, HH, m, mm, s, ss, t, tt).
// Text in single quotes is copied as it is ('' is one quote); any other
// character is copied too. Day and month names follow the user's language.
std::string FormatDatePicture(std::string_view picture, const std::tm& when);
std::string FormatTimePicture(std::string_view picture, const std::tm& when);

// The log's date and time text for a moment: the date picture (string 200)
// and the time picture (string 201) of the user's language, joined by a blank.
std::string CaptureLogTimeText(const std::tm& when);

// The log line of one capture, CR LF included. CR and LF inside the title or
// the URL become blanks, so that one capture never makes more than one line.
std::string CaptureLogLine(std::string_view title, std::string_view url, std::string_view timeText);

// Appends the line of the capture of `page` to the log file, when logging is
// on, and shows the size alert (owned by `browserWindow`) when it is on and
// the file has reached `SizeMBForAlert` megabytes. Nothing is logged when the
// page's document or URL could not be read. A file that cannot be written
// loses the line silently. Always returns 0.
HRESULT AppendCaptureLog(const Settings& settings, const PageFacts& page, HWND browserWindow);

}  // namespace ss
