#include <gtest/gtest.h>

#include "platform/browser/browser.h"

namespace {

// One Chromium serves every test of this executable; it is stopped (and its
// profile folder removed) at the end.
class BrowserEnvironment : public testing::Environment {
 public:
  void TearDown() override { ss::ShutdownBrowser(); }
};

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  testing::AddGlobalTestEnvironment(new BrowserEnvironment);
  return RUN_ALL_TESTS();
}
