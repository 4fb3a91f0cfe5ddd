// Progress of long work (drawing a very tall page, for instance). The service
// that does the work reports; the host decides how to show it (on stderr when
// that is a terminal) or not at all.
#pragma once

namespace ss {

// `what` says what is being done, `done` of `total` units are finished.
using ProgressSink = void (*)(const char* what, long long done, long long total);

// Null shows nothing (the default).
void SetProgressSink(ProgressSink sink);
void ReportProgress(const char* what, long long done, long long total);

}  // namespace ss
