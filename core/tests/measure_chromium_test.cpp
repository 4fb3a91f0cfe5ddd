// Page measurement on real pages in Chromium: framesets measured, their
// attributes rewritten in the live page during the measurement and put back
// afterwards.
#include <gtest/gtest.h>

#include <string>

#include "core/measure.h"
#include "platform/browser/browser.h"
#include "platform/codepage/codepage.h"
#include "platform/gdi/gdi.h"
#include "tests/support/test_home.h"

namespace ss {
namespace {

// The frames' pages are larger than the frames of a small window, so each
// frame's scroll size is its page's size.
class MeasureChromiumTest : public testing::Test {
 protected:
  void SetUp() override {
    SetSystemMetricForTesting(SM_CXVSCROLL, 17);
    saved_ = GetBrowserOptions();
    BrowserOptions small = saved_;
    small.windowWidth = 400;
    small.windowHeight = 300;
    SetBrowserOptions(small);
  }
  void TearDown() override {
    SetBrowserOptions(saved_);
    ResetSystemMetricsForTesting();
  }

  ComPtr<IWebBrowser2> Open(const std::string& page) {
    ComPtr<IWebBrowser2> browser;
    HRESULT hr = CreateWebBrowser(browser.ReleaseAndGetAddressOf());
    EXPECT_EQ(hr, S_OK) << GetLastBrowserError();
    if (Failed(hr)) return nullptr;
    std::string url = "file://" + test::SourceDir() + "/tests/fixtures/pages/" + page;
    EXPECT_EQ(browser->Navigate(AnsiToWide(url), nullptr, nullptr, nullptr, nullptr), S_OK) << GetLastBrowserError();
    return browser;
  }

  // An attribute of the page's n-th FRAMESET element (document order), as
  // the live page has it; "(absent)" when it has none.
  static std::string FramesetAttribute(IWebBrowser2* browser, int n, const char16_t* name) {
    ComPtr<IDispatch> d;
    EXPECT_EQ(browser->get_Document(d.ReleaseAndGetAddressOf()), S_OK);
    ComPtr<IHTMLDocument2> doc;
    EXPECT_EQ(d.As(&doc), S_OK);
    ComPtr<IHTMLElementCollection> all;
    EXPECT_EQ(doc->get_all(all.ReleaseAndGetAddressOf()), S_OK);
    ComPtr<IDispatch> framesetsDisp;
    EXPECT_EQ(all->tags(VARIANT::String(u"frameset"), framesetsDisp.ReleaseAndGetAddressOf()), S_OK);
    ComPtr<IHTMLElementCollection> framesets;
    EXPECT_EQ(framesetsDisp.As(&framesets), S_OK);
    ComPtr<IDispatch> fd;
    EXPECT_EQ(framesets->item(VARIANT::Long(n), VARIANT(), fd.ReleaseAndGetAddressOf()), S_OK);
    ComPtr<IHTMLElement> frameset;
    if (!fd || Failed(fd.As(&frameset))) return "(no frameset)";
    VARIANT v;
    EXPECT_EQ(frameset->getAttribute(name, 0, &v), S_OK);
    return v.vt() == VT_BSTR ? WideToAnsi(v.bstrVal()) : "(absent)";
  }

  BrowserOptions saved_;
};

TEST_F(MeasureChromiumTest, FramesetWithColumns) {
  auto browser = Open("frameset_cols.html");
  ASSERT_TRUE(browser);
  auto root = std::make_unique<PageMeasurer>();
  MeasureRequest request;
  request.quick = true;
  ASSERT_EQ(root->MeasurePage(browser.Get(), request), S_OK) << GetLastBrowserError();
  EXPECT_TRUE(request.isFrameset);
  EXPECT_EQ(root->width(), 1417);
  EXPECT_EQ(root->height(), 3000);
  EXPECT_EQ(FramesetAttribute(browser.Get(), 0, u"cols"), "200,1217");
  EXPECT_EQ(FramesetAttribute(browser.Get(), 0, u"rows"), "(absent)");
  ReleaseMeasurement(root);
  EXPECT_EQ(FramesetAttribute(browser.Get(), 0, u"cols"), "200,*");
  EXPECT_EQ(FramesetAttribute(browser.Get(), 0, u"rows"), "(absent)");
}

TEST_F(MeasureChromiumTest, FramesetWithRowsAndBorder) {
  auto browser = Open("frameset_rows.html");
  ASSERT_TRUE(browser);
  auto root = std::make_unique<PageMeasurer>();
  MeasureRequest request;
  request.quick = true;
  ASSERT_EQ(root->MeasurePage(browser.Get(), request), S_OK) << GetLastBrowserError();
  EXPECT_EQ(root->width(), 657);
  EXPECT_EQ(root->height(), 2105);
  EXPECT_EQ(FramesetAttribute(browser.Get(), 0, u"rows"), "100,2000");
  EXPECT_EQ(FramesetAttribute(browser.Get(), 0, u"cols"), "(absent)");
  ReleaseMeasurement(root);
  EXPECT_EQ(FramesetAttribute(browser.Get(), 0, u"rows"), "100,*");
}

TEST_F(MeasureChromiumTest, NestedFramesetsInFullMode) {
  auto browser = Open("frameset_nested.html");
  ASSERT_TRUE(browser);
  auto root = std::make_unique<PageMeasurer>();
  MeasureRequest request;
  request.quick = false;
  ASSERT_EQ(root->MeasurePage(browser.Get(), request), S_OK) << GetLastBrowserError();
  // Outer columns: 500 + 17, and the inner frameset's widest frame, 700
  // (scrolling NO) against 300 + 17; inner rows 900 and 200.
  EXPECT_EQ(FramesetAttribute(browser.Get(), 0, u"cols"), "517,700");
  EXPECT_EQ(FramesetAttribute(browser.Get(), 1, u"rows"), "900,200");
  EXPECT_EQ(root->width(), 1217);
  EXPECT_EQ(root->height(), 1100);
  ReleaseMeasurement(root);
  EXPECT_EQ(FramesetAttribute(browser.Get(), 0, u"cols"), "*,*");
  EXPECT_EQ(FramesetAttribute(browser.Get(), 1, u"rows"), "*,*");
}

TEST_F(MeasureChromiumTest, OrdinaryPageQuickAndFull) {
  auto browser = Open("document.html");
  ASSERT_TRUE(browser);
  PageMeasurer page;
  MeasureRequest quick;
  quick.quick = true;
  ASSERT_EQ(page.MeasurePage(browser.Get(), quick), S_OK) << GetLastBrowserError();
  EXPECT_FALSE(quick.isFrameset);
  EXPECT_EQ(page.width(), 2000);
  const LONG quickHeight = page.height();
  MeasureRequest full;
  ASSERT_EQ(page.MeasurePage(browser.Get(), full), S_OK) << GetLastBrowserError();
  // The widest element is the 2000-pixel bar at the body's left edge.
  EXPECT_EQ(page.width(), 2000);
  EXPECT_EQ(page.height(), quickHeight);
}

}  // namespace
}  // namespace ss
