#include "platform/ui/progress.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ss {
namespace {

std::vector<std::string> g_seen;

void Record(const char* what, long long done, long long total) {
  g_seen.push_back(std::string(what) + " " + std::to_string(done) + "/" + std::to_string(total));
}

TEST(ProgressTest, ReachesTheSinkOnlyWhileOneIsSet) {
  g_seen.clear();
  ReportProgress("drawing", 1, 4);  // nobody listens: nothing happens
  SetProgressSink(&Record);
  ReportProgress("drawing", 2, 4);
  ReportProgress("drawing", 4, 4);
  SetProgressSink(nullptr);
  ReportProgress("drawing", 5, 4);
  EXPECT_EQ(g_seen, (std::vector<std::string>{"drawing 2/4", "drawing 4/4"}));
}

}  // namespace
}  // namespace ss
