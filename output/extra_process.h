// The additional process: after delivery, an external program may be started
// on the delivered file, with tags in its parameters standing for the file's
// path and its parts, and optionally waited for and ended.
#pragma once

#include <string>
#include <string_view>

#include "platform/base/result.h"
#include "settings/settings.h"

namespace ss {

inline constexpr HRESULT kErrExtraProgramStart = MakeHResult(0x8007076D);  // the program could not be started

// The five tag values of a delivered file ("" for every one without a file).
struct ExtraProgramValues {
  std::string path;  // "%path%": the whole path
  std::string dir;   // "%dir%": the text before the last "/"
  std::string body;  // "%body%": the file name without its extension
  std::string ext;   // "%ext%": the extension, without the dot
  std::string file;  // "%file%": the file name with its extension
};

// Splits a delivered file's path into the tag values. A path without a folder
// separator, or a file name without a "." after its first character, leaves
// the parts concerned empty.
ExtraProgramValues SplitDeliveredPath(std::string_view path);

// The command line: the program path, a blank and the parameters with the
// tags (found without regard to letter case) replaced by their values; with
// no tag in the parameters, the path in double quotes is appended instead.
// With `QuoteFileNamesIncludingSpace`, the program path and every value that
// contains a blank are put in double quotes. A value put in is never searched
// for tags again. `outputPath` is ignored for the destination "Clipboard".
std::string BuildExtraCommandLine(const ExtraProcessValues& options, std::string_view destination,
                                  std::string_view outputPath);

// Runs the step for a capture that delivered to `settings.Destination` (the
// file `outputPath`): 0 when it is off or the program was started,
// kErrExtraProgramStart when the program could not be started. With
// `WaitForExtraProgram` it waits up to `WaitTimeForExtraProgram` ms (0: no
// limit) and, with `KillExtraProgram`, ends a program still running then.
HRESULT RunExtraProgram(const Settings& settings, std::string_view outputPath);

}  // namespace ss
