#include "platform/clipboard/clipboard.h"

#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "platform/folders/folders.h"
#include "tests/support/test_home.h"

namespace ss {
namespace {

HGLOBAL BlockWith(const std::string& bytes) {
  HGLOBAL h = GlobalAlloc(GHND, bytes.size());
  if (!h) return 0;
  void* p = GlobalLock(h);
  std::memcpy(p, bytes.data(), bytes.size());
  GlobalUnlock(h);
  return h;
}

std::string BlockBytes(HGLOBAL h) {
  const void* p = GlobalLock(h);
  std::string s(static_cast<const char*>(p), GlobalSize(h));
  GlobalUnlock(h);
  return s;
}

TEST(GlobalMemory, ZeroFilledLockCountsAndFree) {
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 64);
  ASSERT_NE(h, 0u);
  EXPECT_EQ(GlobalSize(h), 64u);
  auto* p = static_cast<unsigned char*>(GlobalLock(h));
  ASSERT_NE(p, nullptr);
  for (int i = 0; i < 64; ++i) ASSERT_EQ(p[i], 0) << i;
  EXPECT_EQ(GlobalLock(h), p) << "the address stays while the block lives";
  EXPECT_EQ(GlobalUnlock(h), 1) << "one lock remains";
  EXPECT_EQ(GlobalUnlock(h), 0);
  EXPECT_EQ(GlobalFree(h), 0u);
  EXPECT_EQ(GlobalFree(h), h) << "an unknown handle comes back";
  EXPECT_EQ(GlobalLock(h), nullptr);
  EXPECT_EQ(GlobalAlloc(GHND, static_cast<std::size_t>(1) << 62), 0u) << "no such memory";
}

class ClipboardTest : public ::testing::Test {
 protected:
  test::TempHome home_;
};

TEST_F(ClipboardTest, TextAndPictureAreKeptForTheSession) {
  ASSERT_EQ(OpenClipboard(0x77), 1);
  EXPECT_EQ(GetOpenClipboardWindow(), 0x77u);
  ASSERT_EQ(EmptyClipboard(), 1);
  const std::string text("snippet\0", 8);
  const std::string dib(40 + 4, '\x05');
  HGLOBAL t = BlockWith(text);
  HGLOBAL d = BlockWith(dib);
  EXPECT_EQ(SetClipboardData(CF_TEXT, t), t);
  EXPECT_EQ(SetClipboardData(CF_DIB, d), d);
  EXPECT_EQ(GlobalSize(t), 0u) << "the clipboard took the block";
  ASSERT_EQ(CloseClipboard(), 1);
  EXPECT_EQ(GetOpenClipboardWindow(), 0u);

  // Stored under the session's home, visible without opening.
  EXPECT_TRUE(test::FileExists(home_.path() + "/clipboard/1.data"));
  EXPECT_EQ(StoredClipboardFormats(), (std::vector<UINT>{CF_TEXT, CF_DIB}));
  EXPECT_EQ(IsClipboardFormatAvailable(CF_DIB), 1);
  std::string stored;
  ASSERT_TRUE(ReadStoredClipboardData(CF_DIB, &stored));
  EXPECT_EQ(stored, dib);

  ASSERT_EQ(OpenClipboard(0), 1);
  HGLOBAL got = GetClipboardData(CF_TEXT);
  ASSERT_NE(got, 0u);
  EXPECT_EQ(BlockBytes(got), text);
  EXPECT_EQ(GetClipboardData(CF_UNICODETEXT), 0u);
  ASSERT_EQ(CloseClipboard(), 1);
  EXPECT_EQ(GlobalSize(got), 0u) << "blocks handed out end with the close";

  // Emptying removes every format.
  ASSERT_EQ(OpenClipboard(0), 1);
  ASSERT_EQ(EmptyClipboard(), 1);
  ASSERT_EQ(CloseClipboard(), 1);
  EXPECT_TRUE(StoredClipboardFormats().empty());
  EXPECT_EQ(IsClipboardFormatAvailable(CF_TEXT), 0);
}

TEST_F(ClipboardTest, CallsNeedTheClipboardOpenOnThisThread) {
  HGLOBAL t = BlockWith("x");
  EXPECT_EQ(EmptyClipboard(), 0);
  EXPECT_EQ(SetClipboardData(CF_TEXT, t), 0u);
  EXPECT_EQ(GlobalSize(t), 1u) << "a refused block stays the caller's";
  EXPECT_EQ(GetClipboardData(CF_TEXT), 0u);
  EXPECT_EQ(CloseClipboard(), 0);

  ASSERT_EQ(OpenClipboard(0), 1);
  EXPECT_EQ(OpenClipboard(0), 1) << "again on the same thread";
  BOOL otherOpen = -1, otherSet = -1;
  std::thread other([&] {
    otherOpen = OpenClipboard(0);
    otherSet = SetClipboardData(CF_TEXT, t) != 0;
  });
  other.join();
  EXPECT_EQ(otherOpen, 0);
  EXPECT_EQ(otherSet, 0);
  ASSERT_EQ(CloseClipboard(), 1);

  std::thread after([&] {
    otherOpen = OpenClipboard(0);
    if (otherOpen) CloseClipboard();
  });
  after.join();
  EXPECT_EQ(otherOpen, 1);
  GlobalFree(t);
}

TEST_F(ClipboardTest, AnotherProcessHoldingItKeepsUsOut) {
  ASSERT_TRUE(EnsureFolder(home_.path() + "/clipboard"));
  const std::string lockFile = home_.path() + "/clipboard/.lock";
  // Another process takes the clipboard's lock for a second.
  test::RunCommand("flock -x '" + lockFile + "' -c 'touch \"" + lockFile + ".held\"; sleep 1' >/dev/null 2>&1 &");
  for (int i = 0; i < 200 && !test::FileExists(lockFile + ".held"); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_TRUE(test::FileExists(lockFile + ".held"));
  EXPECT_EQ(OpenClipboard(0), 0);
  // Once it lets go, we get in.
  bool opened = false;
  for (int i = 0; i < 40 && !opened; ++i) opened = OpenClipboard(0) == 1;
  EXPECT_TRUE(opened);
  if (opened) CloseClipboard();
}

TEST_F(ClipboardTest, NoDesktopBridgeWithoutADisplay) {
  // Tests run with the offscreen platform.
  EXPECT_FALSE(DesktopClipboardPresent());
}

// The desktop bridge needs a display: the test runs itself again under a
// virtual X server, where the second run checks the desktop clipboard.
TEST(DesktopClipboard, ContentReachesTheDesktopClipboard) {
  if (!std::getenv("SCROLLSNAP_DESKTOP_CHILD")) {
    if (test::RunCommand("command -v xvfb-run").status != 0) GTEST_SKIP() << "xvfb-run is not installed";
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    ASSERT_GT(n, 0);
    self[n] = '\0';
    test::CommandResult r = test::RunCommand(
        std::string("xvfb-run -a env SCROLLSNAP_DESKTOP_CHILD=1 QT_QPA_PLATFORM=xcb '") + self +
        "' --gtest_filter=DesktopClipboard.ContentReachesTheDesktopClipboard");
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("[  PASSED  ] 1 test"), std::string::npos) << r.out;
    return;
  }
  int argc = 1;
  char name[] = "clipboard_test";
  char* argv[] = {name, nullptr};
  QGuiApplication app(argc, argv);
  test::TempHome home;
  ASSERT_TRUE(DesktopClipboardPresent());

  // A 2 × 1 picture: left pixel red, right pixel blue (bottom-up rows of
  // blue, green, red bytes, padded to 8).
  std::string dib(40 + 8, '\0');
  const unsigned char header[16] = {40, 0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0, 1, 0, 24, 0};
  std::memcpy(dib.data(), header, sizeof header);
  const unsigned char px[6] = {0, 0, 255, 255, 0, 0};
  std::memcpy(dib.data() + 40, px, sizeof px);
  ASSERT_EQ(OpenClipboard(0), 1);
  ASSERT_EQ(EmptyClipboard(), 1);
  ASSERT_NE(SetClipboardData(CF_TEXT, BlockWith(std::string("caf\xC3\xA9\0", 6))), 0u);
  ASSERT_NE(SetClipboardData(CF_DIB, BlockWith(dib)), 0u);
  ASSERT_EQ(CloseClipboard(), 1);
  QCoreApplication::processEvents();

  EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), "caf\xC3\xA9");
  const QImage image = QGuiApplication::clipboard()->image();
  ASSERT_EQ(image.width(), 2);
  ASSERT_EQ(image.height(), 1);
  EXPECT_EQ(image.pixelColor(0, 0), QColor(255, 0, 0));
  EXPECT_EQ(image.pixelColor(1, 0), QColor(0, 0, 255));
}

}  // namespace
}  // namespace ss
