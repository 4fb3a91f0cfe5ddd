// Laying a real page out at its full size and drawing it into a bitmap of
// the drawing service, the way the whole-page capture does.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/browser/browser.h"
#include "platform/browser/tests/browser_test_util.h"
#include "platform/gdi/gdi.h"

namespace ss {
namespace {

using test::DocumentAs;
using test::OpenPage;

struct Drawn {
  HDC dc = 0;
  HBITMAP bitmap = 0;
  HGDIOBJ old = 0;
  int width = 0;
  int height = 0;
  ~Drawn() {
    if (dc) {
      SelectObject(dc, old);
      DeleteDC(dc);
    }
    if (bitmap) DeleteObject(bitmap);
  }
  COLORREF At(int x, int y) const { return GetPixel(dc, x, y); }
};

struct PageSize {
  LONG width = 0;
  LONG height = 0;
};

PageSize BodyScrollSize(IWebBrowser2* browser) {
  PageSize s;
  auto doc = DocumentAs<IHTMLDocument2>(browser);
  ComPtr<IHTMLElement> body;
  EXPECT_EQ(doc->get_body(body.ReleaseAndGetAddressOf()), S_OK);
  ComPtr<IHTMLElement2> body2;
  EXPECT_EQ(body.As(&body2), S_OK);
  EXPECT_EQ(body2->get_scrollWidth(&s.width), S_OK);
  EXPECT_EQ(body2->get_scrollHeight(&s.height), S_OK);
  return s;
}

// The capture's arithmetic for a page that is not a frameset: the view is
// the page plus the scrollbar strip and two edges; the receiving bitmap is
// the view less one edge on each axis.
void DrawWholePage(IWebBrowser2* browser, PageSize page, Drawn* out, SIZEL* savedExtent, SIZEL* afterExtent,
                   PaintProgressProc progress = nullptr, void* progressContext = nullptr) {
  const int cx = GetSystemMetrics(SM_CXEDGE), cy = GetSystemMetrics(SM_CYEDGE), sb = GetSystemMetrics(SM_CXVSCROLL);
  const int renderW = page.width + sb + 2 * cx, renderH = page.height + 2 * cy;
  auto doc = DocumentAs<IHTMLDocument2>(browser);
  ComPtr<IOleObject> ole;
  ComPtr<IViewObject> view;
  ASSERT_EQ(doc.As(&ole), S_OK);
  ASSERT_EQ(doc.As(&view), S_OK);

  out->width = renderW - cx;
  out->height = renderH - cy;
  out->dc = CreateCompatibleDC(0);
  ASSERT_NE(out->dc, 0u);
  out->bitmap = CreateCompatibleBitmap(out->dc, out->width, out->height);
  ASSERT_NE(out->bitmap, 0u);
  out->old = SelectObject(out->dc, out->bitmap);
  if (progress) {
    ASSERT_EQ(SetPaintProgressProc(out->dc, progress, progressContext), 1);
  }

  ASSERT_EQ(ole->GetExtent(DVASPECT_CONTENT, savedExtent), S_OK);
  SIZEL extent{MulDiv(renderW, 2540, 96), MulDiv(renderH, 2540, 96)};
  ASSERT_EQ(ole->SetExtent(DVASPECT_CONTENT, &extent), S_OK) << GetLastBrowserError();
  RECTL bounds{0, 0, renderW, renderH};
  HRESULT hr = view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, 0, out->dc, &bounds, nullptr, nullptr, 0);
  EXPECT_EQ(ole->SetExtent(DVASPECT_CONTENT, savedExtent), S_OK);
  ASSERT_EQ(hr, S_OK) << GetLastBrowserError();
  ASSERT_EQ(ole->GetExtent(DVASPECT_CONTENT, afterExtent), S_OK);
}

COLORREF BandColour(int i) {
  return RGB(static_cast<BYTE>(i % 256), static_cast<BYTE>(32 * (i / 256) + 16), static_cast<BYTE>((i * 53) % 256));
}

TEST(BrowserView, DrawsEveryBandOfAVeryTallPageInItsPlace) {
  auto browser = OpenPage("bands.html?h=60000");
  ASSERT_TRUE(browser);
  PageSize page = BodyScrollSize(browser.Get());
  ASSERT_EQ(page.width, 1280);
  ASSERT_EQ(page.height, 60000);

  // The page starts inside the edges at (2, 2).
  const int x0 = 2, y0 = 2;
  // The view says how far it has got while it draws: each time, the last row
  // it calls finished is already the page's.
  Drawn d;
  struct Progress {
    const Drawn* drawn;
    std::vector<int> reports;
    int early = 0;
  } progress{&d, {}, 0};
  auto report = [](void* context, int finalRows) {
    auto* p = static_cast<Progress*>(context);
    p->reports.push_back(finalRows);
    const int row = finalRows - 1 - 2;
    if (row >= 0 && row < 60000 && p->drawn->At(2 + 640, finalRows - 1) != BandColour(row / 100)) ++p->early;
  };

  SIZEL saved{}, after{};
  DrawWholePage(browser.Get(), page, &d, &saved, &after, report, &progress);
  ASSERT_FALSE(HasFatalFailure());
  EXPECT_GT(progress.reports.size(), 2u) << "a page this tall comes in several bands";
  EXPECT_TRUE(std::is_sorted(progress.reports.begin(), progress.reports.end()));
  ASSERT_FALSE(progress.reports.empty());
  EXPECT_EQ(progress.reports.back(), d.height);
  EXPECT_EQ(progress.early, 0);

  int wrong = 0;
  for (int band = 0; band < 600; ++band) {
    const COLORREF want = BandColour(band);
    for (int row : {band * 100, band * 100 + 50, band * 100 + 99}) {
      for (int col : {0, 640, 1279}) {
        COLORREF got = d.At(x0 + col, y0 + row);
        if (got != want && ++wrong <= 5)
          ADD_FAILURE() << "band " << band << " row " << row << " col " << col << ": got " << std::hex << got
                        << " want " << want;
      }
    }
  }
  EXPECT_EQ(wrong, 0);

  // The sunken edge: shadow then dark shadow above and left of the page.
  EXPECT_EQ(d.At(0, 0), RGB(128, 128, 128));
  EXPECT_EQ(d.At(0, 30000), RGB(128, 128, 128));
  EXPECT_EQ(d.At(1, 1), RGB(64, 64, 64));
  EXPECT_EQ(d.At(500, 1), RGB(64, 64, 64));
  // The scrollbar strip fills the 17 columns right of the page, all the way
  // down; the last page column is still page.
  EXPECT_EQ(d.At(x0 + 1279, y0 + 30000), BandColour(300));
  for (int col = x0 + 1280; col < x0 + 1280 + 17; ++col) {
    COLORREF c = d.At(col, y0 + 30000);
    EXPECT_NE(c, BandColour(300)) << "column " << col;
    EXPECT_EQ(c, d.At(col, y0 + 20000)) << "the strip's track is the same all the way";
  }
  EXPECT_EQ(d.width, x0 + 1280 + 17);

  // The layout was put back.
  EXPECT_EQ(after.cx, saved.cx);
  EXPECT_EQ(after.cy, saved.cy);
  PageSize again = BodyScrollSize(browser.Get());
  EXPECT_EQ(again.width, 1280);
  EXPECT_EQ(again.height, 60000);
}

TEST(BrowserView, FixedHeaderAppearsOnceAtTheTop) {
  auto browser = OpenPage("fixed_header.html");
  ASSERT_TRUE(browser);
  PageSize page = BodyScrollSize(browser.Get());
  ASSERT_EQ(page.width, 1280);
  ASSERT_EQ(page.height, 20050);

  Drawn d;
  SIZEL saved{}, after{};
  DrawWholePage(browser.Get(), page, &d, &saved, &after);
  ASSERT_FALSE(HasFatalFailure());
  const COLORREF red = RGB(255, 0, 0), blue = RGB(0, 0, 255), green = RGB(0, 128, 0);
  for (int row : {0, 25, 49}) EXPECT_EQ(d.At(2 + 300, 2 + row), red) << row;
  int reds = 0;
  for (int row = 50; row < 20050; row += 25) {
    COLORREF c = d.At(2 + 300, 2 + row);
    if (c == red) ++reds;
    // Content stripes of 500 rows start below the header.
    COLORREF want = ((row - 50) / 500) % 2 == 0 ? blue : green;
    if ((row - 50) % 500 != 0) {
      EXPECT_EQ(c, want) << "row " << row;
    }
  }
  EXPECT_EQ(reds, 0) << "the fixed header is drawn once, not once per tile";
  EXPECT_EQ(after.cx, saved.cx);
  EXPECT_EQ(after.cy, saved.cy);
}

TEST(BrowserView, DrawingIsClippedToTheBitmapAndTheBounds) {
  // A small bitmap at an offset: only what falls inside is painted, and the
  // view's edge lands where the bounds put it.
  auto browser = OpenPage("bands.html?h=3000");
  ASSERT_TRUE(browser);
  auto doc = DocumentAs<IHTMLDocument2>(browser.Get());
  ComPtr<IOleObject> ole;
  ComPtr<IViewObject> view;
  ASSERT_EQ(doc.As(&ole), S_OK);
  ASSERT_EQ(doc.As(&view), S_OK);
  SIZEL saved{};
  ASSERT_EQ(ole->GetExtent(DVASPECT_CONTENT, &saved), S_OK);
  // 1280 + 17 + 4 by 3000 + 4.
  SIZEL extent{MulDiv(1301, 2540, 96), MulDiv(3004, 2540, 96)};
  ASSERT_EQ(ole->SetExtent(DVASPECT_CONTENT, &extent), S_OK);
  SIZEL now{};
  ASSERT_EQ(ole->GetExtent(DVASPECT_CONTENT, &now), S_OK);
  EXPECT_EQ(now.cx, extent.cx);
  EXPECT_EQ(now.cy, extent.cy);

  Drawn d;
  d.width = 300;
  d.height = 400;
  d.dc = CreateCompatibleDC(0);
  d.bitmap = CreateCompatibleBitmap(d.dc, d.width, d.height);
  d.old = SelectObject(d.dc, d.bitmap);
  RECT all{0, 0, d.width, d.height};
  FillRectColor(d.dc, &all, RGB(1, 2, 3));
  RECTL bounds{10, -150, 10 + 1301, -150 + 3004};
  ASSERT_EQ(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, 0, d.dc, &bounds, nullptr, nullptr, 0), S_OK)
      << GetLastBrowserError();
  ASSERT_EQ(ole->SetExtent(DVASPECT_CONTENT, &saved), S_OK);
  EXPECT_EQ(d.At(9, 200), RGB(1, 2, 3)) << "left of the bounds stays untouched";
  EXPECT_EQ(d.At(10, 200), RGB(128, 128, 128));
  EXPECT_EQ(d.At(11, 200), RGB(64, 64, 64));
  // Bitmap row 0 is page row 150 - 2 = 148: band 1.
  EXPECT_EQ(d.At(12, 0), BandColour(1));
  EXPECT_EQ(d.At(299, 399), BandColour((399 + 148) / 100));
}

}  // namespace
}  // namespace ss

namespace ss {
namespace {

TEST(BrowserView, FramesetViewHasEdgesButNoScrollbarStrip) {
  auto browser = test::OpenPage("frameset_cols.html");
  ASSERT_TRUE(browser);
  auto doc = test::DocumentAs<IHTMLDocument2>(browser.Get());
  ComPtr<IOleObject> ole;
  ComPtr<IViewObject> view;
  ASSERT_EQ(doc.As(&ole), S_OK);
  ASSERT_EQ(doc.As(&view), S_OK);
  SIZEL saved{};
  ASSERT_EQ(ole->GetExtent(DVASPECT_CONTENT, &saved), S_OK);
  EXPECT_EQ(saved.cx, MulDiv(1280 + 4, 2540, 96)) << "the window's page area plus two edges, no strip";

  // A 600 x 400 page area: the frames fill it edge to edge.
  SIZEL extent{MulDiv(604, 2540, 96), MulDiv(404, 2540, 96)};
  ASSERT_EQ(ole->SetExtent(DVASPECT_CONTENT, &extent), S_OK) << GetLastBrowserError();
  HDC dc = CreateCompatibleDC(0);
  HBITMAP bitmap = CreateCompatibleBitmap(dc, 604, 404);
  HGDIOBJ old = SelectObject(dc, bitmap);
  RECTL bounds{0, 0, 604, 404};
  HRESULT hr = view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, 0, dc, &bounds, nullptr, nullptr, 0);
  EXPECT_EQ(ole->SetExtent(DVASPECT_CONTENT, &saved), S_OK);
  EXPECT_EQ(hr, S_OK) << GetLastBrowserError();
  const COLORREF frameColour = RGB(200, 220, 240);  // the frame pages' colour
  EXPECT_EQ(GetPixel(dc, 0, 200), RGB(128, 128, 128));
  EXPECT_EQ(GetPixel(dc, 1, 200), RGB(64, 64, 64));
  EXPECT_EQ(GetPixel(dc, 601, 200), frameColour) << "the last page column, where a page has its strip";
  EXPECT_EQ(GetPixel(dc, 602, 200), RGB(212, 208, 200));
  EXPECT_EQ(GetPixel(dc, 603, 200), RGB(255, 255, 255));
  EXPECT_EQ(GetPixel(dc, 300, 402), RGB(212, 208, 200));
  EXPECT_EQ(GetPixel(dc, 300, 403), RGB(255, 255, 255));
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
  SIZEL after{};
  ASSERT_EQ(ole->GetExtent(DVASPECT_CONTENT, &after), S_OK);
  EXPECT_EQ(after.cx, saved.cx);
  EXPECT_EQ(after.cy, saved.cy);
}

}  // namespace
}  // namespace ss
