#include "platform/ui/progress.h"

#include <atomic>

namespace ss {
namespace {

std::atomic<ProgressSink>& Sink() {
  static std::atomic<ProgressSink> sink{nullptr};
  return sink;
}

}  // namespace

void SetProgressSink(ProgressSink sink) { Sink().store(sink); }

void ReportProgress(const char* what, long long done, long long total) {
  if (ProgressSink s = Sink().load()) s(what, done, total);
}

}  // namespace ss
