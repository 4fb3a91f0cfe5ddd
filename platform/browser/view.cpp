// The view of a window's document: its extent (the page area plus the view's
// sunken edge and vertical scrollbar strip) and its painting into a device
// context of the drawing service.
#include <QByteArray>
#include <QImage>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <future>

#include "platform/browser/browser_internal.h"
#include "platform/ui/progress.h"

namespace ss::browser {
namespace {

// The drawing service's resolution: HIMETRIC and pixels convert at 96 dpi.
constexpr int kDpi = 96;
// Rows per screenshot. Single screenshots of very tall areas come out blank
// or repeated in Chromium; tiles of this height are exact at any page height.
constexpr int kTileRows = 8000;
constexpr int kTilePixels = 16 * 1024 * 1024;
constexpr int kScreenshotTimeoutMs = 180000;

struct ViewMetrics {
  int cxEdge;
  int cyEdge;
  int cxVScroll;
};

ViewMetrics Metrics() {
  return {GetSystemMetrics(SM_CXEDGE), GetSystemMetrics(SM_CYEDGE), GetSystemMetrics(SM_CXVSCROLL)};
}

// A frameset document has no scrollbar strip of its own.
HRESULT IsFrameset(DocContext& ctx, bool* frameset) {
  Json v;
  HRESULT hr = ctx.Evaluate("!!(document.body && document.body.tagName === 'FRAMESET')", true, &v);
  if (Failed(hr)) return hr;
  *frameset = v.value("value", false);
  return S_OK;
}

struct Viewport {
  int width = 0;
  int height = 0;
  double pageX = 0;
  double pageY = 0;
};

HRESULT ReadViewport(DocContext& ctx, Viewport* vp) {
  Json r;
  HRESULT hr = ctx.tab()->Call("Page.getLayoutMetrics", Json::object(), &r);
  if (Failed(hr)) return hr;
  const Json& layout = r.contains("cssLayoutViewport") ? r["cssLayoutViewport"] : r["layoutViewport"];
  vp->width = layout.value("clientWidth", 0);
  vp->height = layout.value("clientHeight", 0);
  const Json& visual = r.contains("cssVisualViewport") ? r["cssVisualViewport"] : r["visualViewport"];
  vp->pageX = visual.value("pageX", 0.0);
  vp->pageY = visual.value("pageY", 0.0);
  return S_OK;
}

// The page area now laid out (pixels).
HRESULT PageArea(DocContext& ctx, int* width, int* height) {
  Tab::Layout layout = ctx.tab()->CurrentLayout();
  if (layout.overridden) {
    *width = layout.width;
    *height = layout.height;
    return S_OK;
  }
  Viewport vp;
  HRESULT hr = ReadViewport(ctx, &vp);
  if (Failed(hr)) return hr;
  *width = vp.width;
  *height = vp.height;
  return S_OK;
}

void Fill(HDC dc, int left, int top, int right, int bottom, COLORREF color) {
  if (right <= left || bottom <= top) return;
  RECT r{left, top, right, bottom};
  FillRectColor(dc, &r, color);
}

// The sunken edge: an outer ring (shadow above and left, highlight below and
// right) and an inner ring (dark shadow, light), each half the edge width.
void DrawSunkenEdge(HDC dc, int left, int top, int right, int bottom, const ViewMetrics& m) {
  const COLORREF shadow = RGB(128, 128, 128), highlight = RGB(255, 255, 255);
  const COLORREF darkShadow = RGB(64, 64, 64), light = RGB(212, 208, 200);
  int ox = (m.cxEdge + 1) / 2, oy = (m.cyEdge + 1) / 2;
  int ix = m.cxEdge - ox, iy = m.cyEdge - oy;
  // Outer ring.
  Fill(dc, left, top, right, top + oy, shadow);
  Fill(dc, left, top, left + ox, bottom, shadow);
  Fill(dc, left, bottom - oy, right, bottom, highlight);
  Fill(dc, right - ox, top, right, bottom, highlight);
  // Inner ring.
  int l = left + ox, t = top + oy, r = right - ox, b = bottom - oy;
  Fill(dc, l, t, r, t + iy, darkShadow);
  Fill(dc, l, t, l + ix, b, darkShadow);
  Fill(dc, l, b - iy, r, b, light);
  Fill(dc, r - ix, t, r, b, light);
}

// An arrow button of a disabled scrollbar (the whole page is in view).
void DrawArrowButton(HDC dc, int left, int top, int size, int height, bool up) {
  if (size <= 0 || height <= 0) return;
  const COLORREF face = RGB(212, 208, 200), highlight = RGB(255, 255, 255), shadow = RGB(128, 128, 128);
  const COLORREF arrow = RGB(160, 160, 160);
  Fill(dc, left, top, left + size, top + height, face);
  Fill(dc, left, top, left + size, top + 1, highlight);
  Fill(dc, left, top, left + 1, top + height, highlight);
  Fill(dc, left, top + height - 1, left + size, top + height, shadow);
  Fill(dc, left + size - 1, top, left + size, top + height, shadow);
  int rows = std::max(1, size / 4);
  int cx = left + size / 2, cy = top + (height - rows) / 2;
  for (int i = 0; i < rows; ++i) {
    int half = up ? i : rows - 1 - i;
    Fill(dc, cx - half - 1, cy + i, cx + half, cy + i + 1, arrow);
  }
}

void DrawScrollbarStrip(HDC dc, int left, int top, int width, int height) {
  if (width <= 0 || height <= 0) return;
  Fill(dc, left, top, left + width, top + height, RGB(238, 237, 229));
  int button = std::min(width, height / 2);
  DrawArrowButton(dc, left, top, width, button, true);
  DrawArrowButton(dc, left, top + height - button, width, button, false);
}

// A change of the device metrics reaches the page a moment later: waits
// (bounded) until the page's window has the size, which also makes the
// document lay itself out at it.
HRESULT WaitForWindowSize(DocContext& ctx, int width, int height) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  for (;;) {
    Json v;
    HRESULT hr = ctx.Evaluate("[window.innerWidth, window.innerHeight, document.documentElement ? document.documentElement.offsetWidth : 0]",
                              true, &v);
    if (Failed(hr)) return hr;
    const Json& a = v.value("value", Json::array());
    if (a.is_array() && a.size() == 3 && a[0] == width && a[1] == height) return S_OK;
    if (std::chrono::steady_clock::now() >= deadline) {
      SetLastError("The page did not take the size " + std::to_string(width) + " x " + std::to_string(height) +
                   " (it has " + a.dump() + ")");
      return BROWSER_E_TIMEOUT;
    }
    usleep(5000);
  }
}

}  // namespace

HRESULT ViewGetExtent(DocContext& ctx, SIZEL* size) {
  HRESULT hr = ctx.Check();
  if (Failed(hr)) return hr;
  bool frameset = false;
  if (Failed(hr = IsFrameset(ctx, &frameset))) return hr;
  int w = 0, h = 0;
  if (Failed(hr = PageArea(ctx, &w, &h))) return hr;
  ViewMetrics m = Metrics();
  int vw = w + 2 * m.cxEdge + (frameset ? 0 : m.cxVScroll);
  int vh = h + 2 * m.cyEdge;
  size->cx = MulDiv(vw, 2540, kDpi);
  size->cy = MulDiv(vh, 2540, kDpi);
  return S_OK;
}

HRESULT ViewSetExtent(DocContext& ctx, const SIZEL* size) {
  HRESULT hr = ctx.Check();
  if (Failed(hr)) return hr;
  if (size->cx < 0 || size->cy < 0) return E_INVALIDARG;
  bool frameset = false;
  if (Failed(hr = IsFrameset(ctx, &frameset))) return hr;
  ViewMetrics m = Metrics();
  int vw = MulDiv(size->cx, kDpi, 2540), vh = MulDiv(size->cy, kDpi, 2540);
  if (vw < 0 || vh < 0) return E_INVALIDARG;
  int w = std::max(1, vw - 2 * m.cxEdge - (frameset ? 0 : m.cxVScroll));
  int h = std::max(1, vh - 2 * m.cyEdge);

  Tab& tab = *ctx.tab();
  Tab::Layout layout = tab.CurrentLayout();
  if (!layout.overridden) {
    Viewport vp;
    if (Failed(hr = ReadViewport(ctx, &vp))) return hr;
    if (w == vp.width && h == vp.height) return S_OK;  // already laid out so
    layout.naturalWidth = vp.width;
    layout.naturalHeight = vp.height;
    layout.scrollX = vp.pageX;
    layout.scrollY = vp.pageY;
  } else if (w == layout.naturalWidth && h == layout.naturalHeight) {
    // Back to the window's own size: drop the override and scroll back.
    if (Failed(hr = tab.Call("Emulation.clearDeviceMetricsOverride", Json::object(), nullptr))) return hr;
    Tab::Layout restored;
    tab.SetLayout(restored);
    if (Failed(hr = WaitForWindowSize(ctx, w, h))) return hr;
    Json ignored;
    return ctx.Evaluate("window.scrollTo(" + std::to_string(layout.scrollX) + ", " + std::to_string(layout.scrollY) + ")",
                        true, &ignored);
  }
  // Only the top of the page is made visible: the page is laid out at the
  // whole size, but Chromium paints the parts Draw asks for, when it asks.
  hr = tab.Call("Emulation.setDeviceMetricsOverride",
                {{"width", w},
                 {"height", h},
                 {"deviceScaleFactor", 1},
                 {"mobile", false},
                 {"viewport", {{"x", 0}, {"y", 0}, {"width", w}, {"height", std::min(h, kTileRows)}, {"scale", 1}}}},
                nullptr);
  if (Failed(hr)) return hr;
  layout.overridden = true;
  layout.width = w;
  layout.height = h;
  tab.SetLayout(layout);
  if (Failed(hr = WaitForWindowSize(ctx, w, h))) return hr;
  // The page is now one screen: it starts at its top left corner.
  Json ignored;
  return ctx.Evaluate("window.scrollTo(0, 0)", true, &ignored);
}

HRESULT ViewDraw(DocContext& ctx, HDC dc, const RECTL* bounds) {
  HRESULT hr = ctx.Check();
  if (Failed(hr)) return hr;
  SIZE surface{0, 0};
  if (!GetDCSize(dc, &surface)) return E_HANDLE;
  bool frameset = false;
  if (Failed(hr = IsFrameset(ctx, &frameset))) return hr;
  Viewport vp;
  if (Failed(hr = ReadViewport(ctx, &vp))) return hr;
  Tab::Layout layout = ctx.tab()->CurrentLayout();
  int pw = layout.overridden ? layout.width : vp.width;
  int ph = layout.overridden ? layout.height : vp.height;
  ViewMetrics m = Metrics();
  int strip = frameset ? 0 : m.cxVScroll;
  int left = bounds->left, top = bounds->top;
  int right = left + pw + 2 * m.cxEdge + strip, bottom = top + ph + 2 * m.cyEdge;
  // Nothing is painted beyond the bounds rectangle.
  int clipRight = std::min<int>(surface.cx, std::max<int>(bounds->left, bounds->right));
  int clipBottom = std::min<int>(surface.cy, std::max<int>(bounds->top, bounds->bottom));

  DrawSunkenEdge(dc, left, top, right, bottom, m);
  DrawScrollbarStrip(dc, left + m.cxEdge + pw, top + m.cyEdge, strip, ph);

  int x0 = left + m.cxEdge, y0 = top + m.cyEdge;
  int c0 = std::max(0, -x0), c1 = std::min(pw, clipRight - x0);
  int r0 = std::max(0, -y0), r1 = std::min(ph, clipBottom - y0);
  if (c1 <= c0 || r1 <= r0) {
    ReportPaintProgress(dc, surface.cy);
    return S_OK;
  }

  // One screenshot at a time (Chromium changes the page's metrics while it
  // takes one); the previous tile is decoded and copied meanwhile.
  auto decodeAndCopy = [dc, x0, y0, c0, c1](std::string b64, int y, int rows) -> std::pair<HRESULT, std::string> {
    QImage tile;
    if (!tile.loadFromData(QByteArray::fromBase64(QByteArray::fromRawData(b64.data(), static_cast<qsizetype>(b64.size()))),
                           "PNG"))
      return {E_FAIL, "Chromium returned a picture that cannot be read"};
    std::string().swap(b64);  // the encoded picture is no longer needed
    // 32-bit pixels with or without alpha have the BGRX layout in memory.
    if (tile.format() == QImage::Format_ARGB32 || tile.format() == QImage::Format_ARGB32_Premultiplied)
      tile.reinterpretAsFormat(QImage::Format_RGB32);
    else if (tile.format() != QImage::Format_RGB32)
      tile = tile.convertToFormat(QImage::Format_RGB32);
    int tw = std::min(tile.width(), c1 - c0), th = std::min(tile.height(), rows);
    if (!SetDCRows(dc, x0 + c0, y0 + y, tw, th, tile.constBits(), static_cast<std::size_t>(tile.bytesPerLine())))
      return {E_HANDLE, "The drawing context cannot take the picture"};
    // The edges and the strip went first: everything above this band is done.
    ReportPaintProgress(dc, y0 + y + rows);
    return {S_OK, ""};
  };
  std::future<std::pair<HRESULT, std::string>> copying;
  auto finishCopy = [&copying]() -> HRESULT {
    if (!copying.valid()) return S_OK;
    auto [hr, message] = copying.get();
    if (Failed(hr)) SetLastError(message);
    return hr;
  };
  // Tiles of at most kTileRows rows and kTilePixels pixels. Before each
  // screenshot the visible part of the page is narrowed to the tile (the
  // layout stays that of the whole page): Chromium then paints exactly that
  // part, where with the whole page visible it leaves parts of very tall
  // pages unpainted.
  const int tileRows = std::max(1, std::min(kTileRows, kTilePixels / std::max(1, c1 - c0)));
  auto metrics = [pw, ph](const Json* visible) {
    Json m = {{"width", pw}, {"height", ph}, {"deviceScaleFactor", 1}, {"mobile", false}};
    if (visible) m["viewport"] = *visible;
    return m;
  };
  HRESULT result = S_OK;
  for (int y = r0; y < r1; y += tileRows) {
    int rows = std::min(tileRows, r1 - y);
    Json visible = {{"x", vp.pageX + c0}, {"y", vp.pageY + y}, {"width", c1 - c0}, {"height", rows}, {"scale", 1}};
    hr = ctx.tab()->Call("Emulation.setDeviceMetricsOverride", metrics(&visible), nullptr);
    Json shot;
    if (Succeeded(hr))
      hr = ctx.tab()->Call("Page.captureScreenshot",
                           {{"format", "png"},
                            {"clip", visible},
                            {"fromSurface", true},
                            {"captureBeyondViewport", false},
                            {"optimizeForSpeed", true}},
                           &shot, kScreenshotTimeoutMs);
    HRESULT copied = finishCopy();
    if (Failed(hr) || Failed(copied)) {
      result = Failed(hr) ? hr : copied;
      break;
    }
    if (!shot.contains("data") || !shot["data"].is_string()) {
      SetLastError("Chromium returned no picture");
      result = E_FAIL;
      break;
    }
    copying = std::async(std::launch::async, decodeAndCopy, std::move(shot["data"].get_ref<std::string&>()), y, rows);
    ReportProgress("drawing the page", y + rows - r0, r1 - r0);
  }
  HRESULT copied = finishCopy();
  if (Succeeded(result)) result = copied;
  if (Succeeded(result)) ReportPaintProgress(dc, surface.cy);
  // Drawn at the window's own size: the window as it was. (At an extent the
  // page stays laid out so until the extent is put back.)
  if (!layout.overridden) {
    HRESULT back = ctx.tab()->Call("Emulation.clearDeviceMetricsOverride", Json::object(), nullptr);
    if (Succeeded(result)) result = back;
  }
  return result;
}

}  // namespace ss::browser
