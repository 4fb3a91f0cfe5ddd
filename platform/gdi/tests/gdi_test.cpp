#include "platform/gdi/gdi.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/test_home.h"

namespace ss {
namespace {

// A memory context holding a bitmap of its own; both released on scope exit.
class Canvas {
 public:
  Canvas(int w, int h) : w_(w), h_(h) {
    dc_ = CreateCompatibleDC(0);
    bmp_ = CreateCompatibleBitmap(dc_, w, h);
    old_ = SelectObject(dc_, bmp_);
  }
  ~Canvas() {
    SelectObject(dc_, old_);
    DeleteObject(bmp_);
    DeleteDC(dc_);
  }
  HDC dc() const { return dc_; }
  HBITMAP bitmap() const { return bmp_; }
  // Every pixel as 0x00RRGGBB, row by row from the top.
  std::vector<COLORREF> Pixels() const {
    std::vector<COLORREF> out;
    for (int y = 0; y < h_; ++y)
      for (int x = 0; x < w_; ++x) out.push_back(GetPixel(dc_, x, y));
    return out;
  }
  void Fill(COLORREF c) {
    RECT r{0, 0, w_, h_};
    FillRectColor(dc_, &r, c);
  }

 private:
  int w_, h_;
  HDC dc_ = 0;
  HBITMAP bmp_ = 0;
  HGDIOBJ old_ = 0;
};

COLORREF Pattern(int x, int y) { return RGB(static_cast<BYTE>(x * 10 + 1), static_cast<BYTE>(y * 10 + 2), 7); }

TEST(GdiObjects, BitmapSizeRecordAndSelection) {
  HDC dc = CreateCompatibleDC(0);
  ASSERT_NE(dc, 0u);
  HBITMAP bmp = CreateCompatibleBitmap(dc, 37, 11);
  ASSERT_NE(bmp, 0u);
  BITMAP bm{};
  ASSERT_EQ(GetObjectA(bmp, sizeof bm, &bm), 24);
  EXPECT_EQ(bm.bmWidth, 37);
  EXPECT_EQ(bm.bmHeight, 11);
  EXPECT_EQ(bm.bmBitsPixel, 32);
  EXPECT_EQ(bm.bmPlanes, 1);
  EXPECT_EQ(GetObjectA(bmp, 10, &bm), 0) << "a buffer too small is refused";

  HGDIOBJ old = SelectObject(dc, bmp);
  EXPECT_NE(old, 0u);
  EXPECT_EQ(GetCurrentObject(dc, OBJ_BITMAP), bmp);
  EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSX), 96);
  EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSY), 96);
  EXPECT_EQ(GetDeviceCaps(dc, HORZRES), 37);
  // A new bitmap is black.
  EXPECT_EQ(GetPixel(dc, 36, 10), RGB(0, 0, 0));
  EXPECT_EQ(GetPixel(dc, 37, 0), 0xFFFFFFFFu);

  // Selected into a context, the bitmap can neither be deleted nor selected
  // into a second context.
  EXPECT_EQ(DeleteObject(bmp), 0);
  HDC dc2 = CreateCompatibleDC(dc);
  EXPECT_EQ(SelectObject(dc2, bmp), 0u);
  EXPECT_EQ(SelectObject(dc, old), bmp);
  EXPECT_EQ(DeleteObject(bmp), 1);
  EXPECT_EQ(DeleteObject(bmp), 0) << "a handle is gone once deleted";
  EXPECT_EQ(GetObjectA(bmp, sizeof bm, &bm), 0);
  EXPECT_EQ(DeleteDC(dc2), 1);
  EXPECT_EQ(DeleteDC(dc), 1);
  EXPECT_EQ(DeleteDC(dc), 0);
}

TEST(GdiObjects, CountsReturnToWhereTheyWere) {
  const GdiCounts before = GetGdiCounts();
  {
    Canvas c(4, 4);
    LOGFONTA lf{};
    lf.lfHeight = -12;
    HFONT f = CreateFontIndirectA(&lf);
    HBRUSH b = CreateSolidBrush(RGB(1, 2, 3));
    EXPECT_EQ(GetGdiCounts().fonts, before.fonts + 1);
    EXPECT_EQ(GetGdiCounts().bitmaps, before.bitmaps + 1);
    EXPECT_EQ(GetGdiCounts().dcs, before.dcs + 1);
    DeleteObject(f);
    DeleteObject(b);
  }
  const GdiCounts after = GetGdiCounts();
  EXPECT_EQ(after.bitmaps, before.bitmaps);
  EXPECT_EQ(after.fonts, before.fonts);
  EXPECT_EQ(after.brushes, before.brushes);
  EXPECT_EQ(after.dcs, before.dcs);
}

TEST(GdiObjects, SizesThatCannotBeHadFailWithoutAborting) {
  EXPECT_EQ(CreateCompatibleBitmap(0, -1, 10), 0u);
  EXPECT_EQ(CreateCompatibleBitmap(0, 0x7FFFFFFF, 0x7FFFFFFF), 0u);
  EXPECT_EQ(CreateCompatibleBitmap(0, 1 << 20, 1 << 20), 0u);  // 4 TiB
  // A zero size gives the smallest bitmap there is.
  HBITMAP one = CreateCompatibleBitmap(0, 0, 50);
  ASSERT_NE(one, 0u);
  BITMAP bm{};
  GetObjectA(one, sizeof bm, &bm);
  EXPECT_EQ(bm.bmWidth, 1);
  EXPECT_EQ(bm.bmHeight, 1);
  DeleteObject(one);
}

// Source 4 × 3 with a pattern, blitted into a 6 × 5 destination at positions
// that cross each edge; every destination pixel is checked.
struct BlitCase {
  const char* name;
  int x, y, cx, cy, xSrc, ySrc;
};

class BlitClip : public ::testing::TestWithParam<BlitCase> {};

TEST_P(BlitClip, CopiesExactlyTheOverlap) {
  const BlitCase& c = GetParam();
  Canvas src(4, 3), dst(6, 5);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) SetPixel(src.dc(), x, y, Pattern(x, y));
  dst.Fill(RGB(200, 200, 200));
  ASSERT_EQ(BitBlt(dst.dc(), c.x, c.y, c.cx, c.cy, src.dc(), c.xSrc, c.ySrc, SRCCOPY), 1);
  for (int y = 0; y < 5; ++y) {
    for (int x = 0; x < 6; ++x) {
      const int i = x - c.x, j = y - c.y;  // offset inside the block
      const int sx = c.xSrc + i, sy = c.ySrc + j;
      const bool copied = i >= 0 && j >= 0 && i < c.cx && j < c.cy && sx >= 0 && sy >= 0 && sx < 4 && sy < 3;
      EXPECT_EQ(GetPixel(dst.dc(), x, y), copied ? Pattern(sx, sy) : RGB(200, 200, 200))
          << c.name << " at " << x << "," << y;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Edges, BlitClip,
    ::testing::Values(BlitCase{"inside", 1, 1, 4, 3, 0, 0}, BlitCase{"left", -2, 1, 4, 3, 0, 0},
                      BlitCase{"top", 1, -2, 4, 3, 0, 0}, BlitCase{"right", 4, 1, 4, 3, 0, 0},
                      BlitCase{"bottom", 1, 3, 4, 3, 0, 0}, BlitCase{"all corners", -1, -1, 9, 9, 0, 0},
                      BlitCase{"beyond the source", 0, 0, 6, 5, 2, 1},
                      BlitCase{"negative source", 0, 0, 6, 5, -1, -2}, BlitCase{"outside", 6, 0, 4, 3, 0, 0},
                      BlitCase{"far outside", -100, -100, 4, 3, 0, 0}),
    [](const auto& info) {
      std::string n = info.param.name;
      for (char& ch : n)
        if (ch == ' ') ch = '_';
      return n;
    });

TEST(GdiBlit, RefusesOtherOperationsAndUnknownContexts) {
  Canvas a(2, 2), b(2, 2);
  EXPECT_EQ(BitBlt(a.dc(), 0, 0, 2, 2, b.dc(), 0, 0, 0x00EE0086 /* SRCPAINT */), 0);
  EXPECT_EQ(BitBlt(a.dc(), 0, 0, 2, 2, 0x12345, 0, 0, SRCCOPY), 0);
}

TEST(GdiBlit, OverlappingCopyWithinOneSurface) {
  Canvas c(1, 6);
  for (int y = 0; y < 6; ++y) SetPixel(c.dc(), 0, y, RGB(static_cast<BYTE>(y), 0, 0));
  ASSERT_EQ(BitBlt(c.dc(), 0, 2, 1, 4, c.dc(), 0, 0, SRCCOPY), 1);
  const std::vector<int> want = {0, 1, 0, 1, 2, 3};
  for (int y = 0; y < 6; ++y) EXPECT_EQ(GetRValue(GetPixel(c.dc(), 0, y)), want[y]) << y;
}

BITMAPINFO Header24(int w, int h) {
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = 40;
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = h;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 24;
  bi.bmiHeader.biCompression = BI_RGB;
  return bi;
}

TEST(GdiDib, RoundTripThroughABitmapKeepsRowsAndOrder) {
  // 5 pixels wide: 15 bytes of samples and one pad byte per row.
  const int w = 5, h = 3, stride = 16;
  ASSERT_EQ(DibStride(w, 24), stride);
  std::vector<BYTE> in(stride * h, 0);
  for (int r = 0; r < h; ++r)
    for (int x = 0; x < w; ++x) {
      in[r * stride + 3 * x + 0] = static_cast<BYTE>(10 * r + x);       // blue
      in[r * stride + 3 * x + 1] = static_cast<BYTE>(100 + 10 * r + x); // green
      in[r * stride + 3 * x + 2] = static_cast<BYTE>(200 + r);          // red
    }
  Canvas c(w, h);
  BITMAPINFO bi = Header24(w, h);
  ASSERT_EQ(SetDIBits(c.dc(), c.bitmap(), 0, h, in.data(), &bi, DIB_RGB_COLORS), h);
  // Bottom-up: the first stored row is the bottom row of the picture.
  EXPECT_EQ(GetPixel(c.dc(), 0, h - 1), RGB(200, 100, 0));
  EXPECT_EQ(GetPixel(c.dc(), 4, 0), RGB(202, 124, 24));

  std::vector<BYTE> out(stride * h, 0xAB);
  ASSERT_EQ(GetDIBits(c.dc(), c.bitmap(), 0, h, out.data(), &bi, DIB_RGB_COLORS), h);
  for (int r = 0; r < h; ++r)
    EXPECT_EQ(0, std::memcmp(out.data() + r * stride, in.data() + r * stride, 15)) << "row " << r;

  // Top-down transfer of the same bitmap reverses the row order.
  BITMAPINFO td = Header24(w, -h);
  ASSERT_EQ(GetDIBits(c.dc(), c.bitmap(), 0, h, out.data(), &td, DIB_RGB_COLORS), h);
  EXPECT_EQ(0, std::memcmp(out.data(), in.data() + 2 * stride, 15));

  // A header query fills in the image size.
  BITMAPINFO q = Header24(w, h);
  ASSERT_NE(GetDIBits(c.dc(), c.bitmap(), 0, h, nullptr, &q, DIB_RGB_COLORS), 0);
  EXPECT_EQ(q.bmiHeader.biSizeImage, static_cast<DWORD>(stride * h));
}

TEST(GdiDib, PartialRangesAndRefusedLayouts) {
  Canvas c(2, 4);
  for (int y = 0; y < 4; ++y) SetPixel(c.dc(), 1, y, RGB(static_cast<BYTE>(y), 0, 0));
  BITMAPINFO bi = Header24(2, 4);
  std::vector<BYTE> out(8 * 4);
  // Rows 1..3 of a bottom-up DIB are picture rows 2, 1, 0; asking for more
  // rows than remain copies what there is.
  ASSERT_EQ(GetDIBits(c.dc(), c.bitmap(), 1, 10, out.data(), &bi, DIB_RGB_COLORS), 3);
  EXPECT_EQ(out[3 + 2], 2);
  EXPECT_EQ(out[8 + 3 + 2], 1);
  EXPECT_EQ(GetDIBits(c.dc(), c.bitmap(), 4, 1, out.data(), &bi, DIB_RGB_COLORS), 0);
  BITMAPINFO bad = bi;
  bad.bmiHeader.biBitCount = 8;
  EXPECT_EQ(GetDIBits(c.dc(), c.bitmap(), 0, 4, out.data(), &bad, DIB_RGB_COLORS), 0);
  bad = bi;
  bad.bmiHeader.biCompression = 1;
  EXPECT_EQ(SetDIBits(c.dc(), c.bitmap(), 0, 4, out.data(), &bad, DIB_RGB_COLORS), 0);
  EXPECT_EQ(GetDIBits(c.dc(), 0x7777, 0, 4, out.data(), &bi, DIB_RGB_COLORS), 0);
}

TEST(GdiRows, BgrxBlocksAreClippedToTheBitmap) {
  Canvas c(3, 3);
  std::vector<BYTE> block(2 * 2 * 4);
  for (int i = 0; i < 4; ++i) {
    block[4 * i + 0] = static_cast<BYTE>(i + 1);
    block[4 * i + 1] = 0;
    block[4 * i + 2] = 0;
    block[4 * i + 3] = 0xFF;
  }
  ASSERT_EQ(SetDCRows(c.dc(), 2, -1, 2, 2, block.data(), 8), 1);
  // Only block pixel (0, 1) lands, at (2, 0).
  EXPECT_EQ(GetPixel(c.dc(), 2, 0), RGB(0, 0, 3));
  EXPECT_EQ(GetPixel(c.dc(), 1, 0), RGB(0, 0, 0));
  std::vector<BYTE> back(3 * 3 * 4, 0x55);
  ASSERT_EQ(GetBitmapRows(c.bitmap(), 0, 0, 3, 3, back.data(), 12), 1);
  EXPECT_EQ(back[8], 3);
  EXPECT_EQ(back[11], 0) << "the unused byte is kept at 0";
  EXPECT_EQ(SetBitmapRows(c.bitmap(), 0, 0, 2, 2, block.data(), 4), 0) << "stride shorter than a row";
}

// Released rows read black; the rows around them keep their pixels, whether
// or not the released range covers whole memory pages.
TEST(GdiRows, ReleasedRowsReadBlackAndOthersStay) {
  Canvas c(1500, 40);  // 6000 bytes a row: bands start and end inside pages
  RECT all{0, 0, 1500, 40};
  ASSERT_TRUE(FillRectColor(c.dc(), &all, RGB(9, 8, 7)));
  struct Case {
    int top, count;
  } cases[] = {{3, 1}, {5, 4}, {12, 20}, {-5, 6}, {38, 10}};
  for (const Case& k : cases) ASSERT_EQ(ReleaseBitmapRows(c.bitmap(), k.top, k.count), 1);
  auto released = [&](int y) {
    for (const Case& k : cases)
      if (y >= k.top && y < k.top + k.count) return true;
    return false;
  };
  for (int y = 0; y < 40; ++y)
    for (int x : {0, 749, 1499})
      EXPECT_EQ(GetPixel(c.dc(), x, y), released(y) ? RGB(0, 0, 0) : RGB(9, 8, 7)) << x << "," << y;
  EXPECT_EQ(ReleaseBitmapRows(0x7FFFFFF0u, 0, 1), 0);
}

TEST(GdiPaintProgress, ReachesTheContextsProcedureUntilRemoved) {
  Canvas c(4, 4);
  std::vector<int> seen;
  auto record = [](void* context, int rows) { static_cast<std::vector<int>*>(context)->push_back(rows); };
  ReportPaintProgress(c.dc(), 1);  // nobody listens yet: nothing happens
  ASSERT_EQ(SetPaintProgressProc(c.dc(), record, &seen), 1);
  ReportPaintProgress(c.dc(), 2);
  ReportPaintProgress(c.dc(), 4);
  ASSERT_EQ(SetPaintProgressProc(c.dc(), nullptr, &seen), 1);
  ReportPaintProgress(c.dc(), 5);
  EXPECT_EQ(seen, (std::vector<int>{2, 4}));
  // Another context is not told, and unknown contexts are refused.
  Canvas other(4, 4);
  ASSERT_EQ(SetPaintProgressProc(c.dc(), record, &seen), 1);
  ReportPaintProgress(other.dc(), 3);
  EXPECT_EQ(seen.size(), 2u);
  EXPECT_EQ(SetPaintProgressProc(0x7FFFFFF0u, record, &seen), 0);
  ReportPaintProgress(0x7FFFFFF0u, 1);
}

TEST(GdiMetrics, DefaultsAndTestOverrides) {
  EXPECT_EQ(GetSystemMetrics(SM_CXEDGE), 2);
  EXPECT_EQ(GetSystemMetrics(SM_CYEDGE), 2);
  EXPECT_EQ(GetSystemMetrics(SM_CXVSCROLL), 17);
  SetSystemMetricForTesting(SM_CXVSCROLL, 0);
  EXPECT_EQ(GetSystemMetrics(SM_CXVSCROLL), 0);
  ResetSystemMetricsForTesting();
  EXPECT_EQ(GetSystemMetrics(SM_CXVSCROLL), 17);
}

TEST(GdiMetrics, MulDivRoundsAndReportsOverflow) {
  EXPECT_EQ(MulDiv(821, 2540, 96), 21722);  // 21722.08
  EXPECT_EQ(MulDiv(3, 1, 2), 2);
  EXPECT_EQ(MulDiv(-3, 1, 2), -2);
  EXPECT_EQ(MulDiv(5, 5, 0), -1);
  EXPECT_EQ(MulDiv(0x7FFFFFFF, 4, 1), -1);
}

TEST(GdiWindows, TitleSizeAndWindowContext) {
  HWND w = CreateBrowserWindow("Page", 40, 30);
  ASSERT_NE(w, 0u);
  char buf[8];
  EXPECT_EQ(GetWindowTextA(w, buf, sizeof buf), 4);
  EXPECT_STREQ(buf, "Page");
  ASSERT_EQ(SetWindowTextA(w, "A longer title"), 1);
  EXPECT_EQ(GetWindowTextLengthA(w), 14);
  EXPECT_EQ(GetWindowTextA(w, buf, sizeof buf), 7);
  EXPECT_STREQ(buf, "A longe");
  RECT rc{};
  ASSERT_EQ(GetClientRect(w, &rc), 1);
  EXPECT_EQ(rc.right, 40);
  EXPECT_EQ(rc.bottom, 30);

  HDC wdc = GetWindowDC(w);
  ASSERT_NE(wdc, 0u);
  EXPECT_EQ(WindowFromDC(wdc), w);
  EXPECT_EQ(GetPixel(wdc, 0, 0), RGB(255, 255, 255)) << "a window starts white";
  SetPixel(wdc, 39, 29, RGB(1, 2, 3));
  // The window context is a reference context for memory bitmaps.
  Canvas copy(40, 30);
  ASSERT_EQ(BitBlt(copy.dc(), 0, 0, 40, 30, wdc, 0, 0, SRCCOPY), 1);
  EXPECT_EQ(GetPixel(copy.dc(), 39, 29), RGB(1, 2, 3));
  // Resizing keeps what still fits.
  ASSERT_EQ(SetClientSize(w, 50, 30), 1);
  EXPECT_EQ(GetPixel(wdc, 39, 29), RGB(1, 2, 3));
  EXPECT_EQ(GetDeviceCaps(wdc, HORZRES), 50);

  EXPECT_EQ(ReleaseDC(w + 1, wdc), 0) << "released by the wrong window";
  EXPECT_EQ(ReleaseDC(w, wdc), 1);
  EXPECT_EQ(ReleaseDC(w, wdc), 0);
  EXPECT_EQ(DestroyWindow(w), 1);
  EXPECT_EQ(IsWindow(w), 0);
  EXPECT_EQ(GetDC(w), 0u);
}

// Bounding box of the pixels that differ from the background.
RECT InkBox(const Canvas& c, int w, int h, COLORREF bg) {
  RECT box{w, h, -1, -1};
  auto px = c.Pixels();
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if (px[y * w + x] != bg) {
        box.left = std::min<LONG>(box.left, x);
        box.top = std::min<LONG>(box.top, y);
        box.right = std::max<LONG>(box.right, x + 1);
        box.bottom = std::max<LONG>(box.bottom, y + 1);
      }
  return box;
}

class GdiText : public ::testing::Test {
 protected:
  void SetUp() override {
    LOGFONTA lf{};
    lf.lfHeight = -12;
    lf.lfWeight = FW_BOLD;
    std::strcpy(lf.lfFaceName, "DejaVu Sans");
    font_ = CreateFontIndirectA(&lf);
    ASSERT_NE(font_, 0u);
  }
  void TearDown() override { DeleteObject(font_); }
  HFONT font_ = 0;
};

TEST_F(GdiText, ExtentGrowsWithTheTextAndFontsRoundTrip) {
  Canvas c(10, 10);
  HGDIOBJ old = SelectObject(c.dc(), font_);
  SIZE a{}, b{};
  ASSERT_EQ(GetTextExtentPointA(c.dc(), "Hello", -1, &a), 1);
  ASSERT_EQ(GetTextExtentPointA(c.dc(), "Hello, world", -1, &b), 1);
  EXPECT_GT(a.cx, 10);
  EXPECT_GT(b.cx, a.cx);
  EXPECT_GE(a.cy, 12);
  SIZE part{};
  ASSERT_EQ(GetTextExtentPointA(c.dc(), "Hello, world", 5, &part), 1);
  EXPECT_EQ(part.cx, a.cx) << "count limits the text";
  LOGFONTA back{};
  ASSERT_EQ(GetObjectA(font_, sizeof back, &back), static_cast<int>(sizeof back));
  EXPECT_EQ(back.lfHeight, -12);
  EXPECT_EQ(back.lfWeight, FW_BOLD);
  EXPECT_STREQ(back.lfFaceName, "DejaVu Sans");
  SelectObject(c.dc(), old);
}

TEST_F(GdiText, DrawnInsideItsRectangleAndVerticallyCentred) {
  const int W = 200, H = 60;
  Canvas c(W, H);
  c.Fill(RGB(255, 255, 255));
  HGDIOBJ old = SelectObject(c.dc(), font_);
  SetBkMode(c.dc(), TRANSPARENT);
  SetTextColor(c.dc(), RGB(0, 0, 0));
  RECT r{20, 10, 180, 50};
  ASSERT_GT(DrawTextA(c.dc(), "Scrollsnap", -1, &r, DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS), 0);
  RECT ink = InkBox(c, W, H, RGB(255, 255, 255));
  ASSERT_GE(ink.right, 0) << "nothing was drawn";
  EXPECT_GE(ink.left, r.left);
  EXPECT_LE(ink.right, r.right);
  EXPECT_GE(ink.top, r.top);
  EXPECT_LE(ink.bottom, r.bottom);
  // Vertically centred: the ink's middle is near the rectangle's middle.
  EXPECT_NEAR((ink.top + ink.bottom) / 2.0, 30.0, 4.0);
  SelectObject(c.dc(), old);
}

TEST_F(GdiText, TooLongEndsInAnEllipsisAndNeverLeavesTheRectangle) {
  const int W = 300, H = 30;
  Canvas c(W, H);
  HGDIOBJ old = SelectObject(c.dc(), font_);
  SetBkMode(c.dc(), TRANSPARENT);
  const char* text = "A title that is much too long for the narrow rectangle it is given";
  SIZE full{}, dots{};
  GetTextExtentPointA(c.dc(), text, -1, &full);
  GetTextExtentPointA(c.dc(), "...", -1, &dots);
  RECT r{10, 0, 110, 30};
  ASSERT_GT(full.cx, 100);
  // Same text into a wide area: everything drawn; into the narrow one with
  // and without the ellipsis.
  c.Fill(RGB(255, 255, 255));
  SetTextColor(c.dc(), RGB(0, 0, 0));
  ASSERT_GT(DrawTextA(c.dc(), text, -1, &r, DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS), 0);
  RECT ink = InkBox(c, W, H, RGB(255, 255, 255));
  EXPECT_GE(ink.left, 10);
  EXPECT_LE(ink.right, 110);
  // The last ink is the ellipsis: the three dots end the text well inside the
  // rectangle, and the columns just before the dots hold text.
  EXPECT_GT(ink.right, 110 - dots.cx - 4);
  RECT calc = r;
  DrawTextA(c.dc(), text, -1, &calc, DT_SINGLELINE | DT_CALCRECT);
  EXPECT_EQ(calc.right - calc.left, full.cx);

  // Without DT_END_ELLIPSIS the text is simply clipped at the rectangle.
  Canvas plain(W, H);
  plain.Fill(RGB(255, 255, 255));
  HGDIOBJ old2 = SelectObject(plain.dc(), font_);
  SetBkMode(plain.dc(), TRANSPARENT);
  DrawTextA(plain.dc(), text, -1, &r, DT_SINGLELINE | DT_VCENTER);
  RECT ink2 = InkBox(plain, W, H, RGB(255, 255, 255));
  EXPECT_LE(ink2.right, 110);
  EXPECT_NE(c.Pixels(), plain.Pixels()) << "the ellipsis changes the drawn text";
  SelectObject(plain.dc(), old2);
  SelectObject(c.dc(), old);
}

TEST_F(GdiText, OpaqueModeFillsTheTextBackground) {
  Canvas c(100, 20);
  c.Fill(RGB(255, 255, 255));
  HGDIOBJ old = SelectObject(c.dc(), font_);
  SetBkMode(c.dc(), OPAQUE);
  SetBkColor(c.dc(), RGB(0, 0, 255));
  RECT r{0, 0, 100, 20};
  DrawTextA(c.dc(), "ab", -1, &r, DT_SINGLELINE);
  EXPECT_EQ(GetPixel(c.dc(), 0, 0), RGB(0, 0, 255));
  EXPECT_EQ(GetPixel(c.dc(), 99, 0), RGB(255, 255, 255)) << "only the text's box is filled";
  SelectObject(c.dc(), old);
}

}  // namespace
}  // namespace ss

namespace ss {
namespace {

// A 2 × 2 BMP file: bottom row blue, white; top row red, green.
std::string TwoByTwoBmp() {
  std::string f(54 + 16, '\0');
  auto put32 = [&f](std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) f[at + i] = static_cast<char>(v >> (8 * i));
  };
  f[0] = 'B';
  f[1] = 'M';
  put32(2, static_cast<std::uint32_t>(f.size()));
  put32(10, 54);
  put32(14, 40);
  put32(18, 2);
  put32(22, 2);
  f[26] = 1;
  f[28] = 24;
  const unsigned char rows[16] = {255, 0, 0, 255, 255, 255, 0, 0, 0, 0, 255, 0, 255, 0, 0, 0};
  std::memcpy(f.data() + 54, rows, sizeof rows);
  return f;
}

TEST(GdiBitmaps, LoadedFromABmpFileAndFromDibBits) {
  test::TempDir dir;
  const std::string bmp = TwoByTwoBmp();
  test::WriteFile(dir.File("a.bmp"), bmp);
  HBITMAP fromFile = LoadBitmapFromFile(dir.File("a.bmp"));
  ASSERT_NE(fromFile, 0u);
  BITMAPINFOHEADER h{};
  std::memcpy(&h, bmp.data() + 14, sizeof h);
  HBITMAP fromDib = CreateBitmapFromDib(&h, bmp.data() + 54);
  ASSERT_NE(fromDib, 0u);
  for (HBITMAP b : {fromFile, fromDib}) {
    HDC dc = CreateCompatibleDC(0);
    HGDIOBJ old = SelectObject(dc, b);
    EXPECT_EQ(GetPixel(dc, 0, 0), RGB(255, 0, 0));
    EXPECT_EQ(GetPixel(dc, 1, 0), RGB(0, 255, 0));
    EXPECT_EQ(GetPixel(dc, 0, 1), RGB(0, 0, 255));
    EXPECT_EQ(GetPixel(dc, 1, 1), RGB(255, 255, 255));
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(b);
  }
  test::WriteFile(dir.File("short.bmp"), bmp.substr(0, 60));
  EXPECT_EQ(LoadBitmapFromFile(dir.File("short.bmp")), 0u) << "rows missing";
  EXPECT_EQ(LoadBitmapFromFile(dir.File("none.bmp")), 0u);
}

}  // namespace
}  // namespace ss

namespace ss {
namespace {

class GdiTextLayout : public ::testing::Test {
 protected:
  void SetUp() override {
    LOGFONTA lf{};
    lf.lfHeight = -14;
    lf.lfWeight = FW_NORMAL;
    std::strcpy(lf.lfFaceName, "DejaVu Sans");
    font_ = CreateFontIndirectA(&lf);
  }
  void TearDown() override { DeleteObject(font_); }

  // Draws "Wide" into [20, 180) x [0, 30) of a fresh canvas; returns the ink.
  RECT Draw(UINT format, std::vector<COLORREF>* pixels = nullptr) {
    Canvas c(200, 30);
    c.Fill(RGB(255, 255, 255));
    HGDIOBJ old = SelectObject(c.dc(), font_);
    SetBkMode(c.dc(), TRANSPARENT);
    RECT r{20, 0, 180, 30};
    DrawTextA(c.dc(), "Wide", -1, &r, format);
    SelectObject(c.dc(), old);
    if (pixels) *pixels = c.Pixels();
    return InkBox(c, 200, 30, RGB(255, 255, 255));
  }
  HFONT font_ = 0;
};

TEST_F(GdiTextLayout, HorizontalAndVerticalAlignment) {
  const RECT left = Draw(DT_SINGLELINE | DT_LEFT | DT_TOP);
  const RECT centre = Draw(DT_SINGLELINE | DT_CENTER | DT_VCENTER);
  const RECT right = Draw(DT_SINGLELINE | DT_RIGHT | DT_BOTTOM);
  EXPECT_LE(left.left, 22);
  EXPECT_NEAR((centre.left + centre.right) / 2.0, 100.0, 3.0);
  EXPECT_GE(right.right, 177);
  EXPECT_LE(right.right, 180);
  EXPECT_LT(left.top, centre.top);
  EXPECT_LT(centre.top, right.top);
  EXPECT_LE(right.bottom, 30);
}

TEST_F(GdiTextLayout, ThreadsDrawTheSameTextAlike) {
  std::vector<COLORREF> alone;
  Draw(DT_SINGLELINE | DT_CENTER | DT_VCENTER, &alone);
  std::vector<std::vector<COLORREF>> results(4);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < 20; ++i) Draw(DT_SINGLELINE | DT_CENTER | DT_VCENTER, &results[t]);
    });
  for (auto& th : threads) th.join();
  for (const auto& r : results) EXPECT_EQ(r, alone);
}

}  // namespace
}  // namespace ss
