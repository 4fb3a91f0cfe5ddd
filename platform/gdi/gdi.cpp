#include "platform/gdi/gdi.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "platform/gdi/gdi_internal.h"

namespace ss {
namespace gdi {

// ---------------------------------------------------------------------------
// Surfaces

std::shared_ptr<Surface> Surface::Create(int width, int height) {
  if (width <= 0 || height <= 0) return nullptr;
  const std::size_t stride = static_cast<std::size_t>(width) * 4;
  if (static_cast<std::size_t>(height) > std::numeric_limits<std::size_t>::max() / stride) return nullptr;
  void* block = std::calloc(static_cast<std::size_t>(height), stride);
  if (!block) return nullptr;
  std::shared_ptr<Surface> s(new (std::nothrow) Surface());
  if (!s) {
    std::free(block);
    return nullptr;
  }
  s->width_ = width;
  s->height_ = height;
  s->stride_ = stride;
  s->data_ = static_cast<std::uint8_t*>(block);
  return s;
}

Surface::~Surface() { std::free(data_); }

void Surface::Fill(std::uint32_t bgrx) {
  std::uint8_t px[4] = {static_cast<std::uint8_t>(bgrx), static_cast<std::uint8_t>(bgrx >> 8),
                        static_cast<std::uint8_t>(bgrx >> 16), 0};
  if (px[0] == 0 && px[1] == 0 && px[2] == 0) {
    std::memset(data_, 0, stride_ * static_cast<std::size_t>(height_));
    return;
  }
  std::uint8_t* first = Row(0);
  for (int x = 0; x < width_; ++x) std::memcpy(first + 4 * x, px, 4);
  for (int y = 1; y < height_; ++y) std::memcpy(Row(y), first, stride_);
}

void Surface::ReleaseRows(int top, int count) {
  if (top < 0) {
    count += top;
    top = 0;
  }
  if (count > height_ - top) count = height_ - top;
  if (count <= 0) return;
  static const std::uintptr_t page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  std::uintptr_t begin = reinterpret_cast<std::uintptr_t>(Row(top));
  std::uintptr_t end = begin + stride_ * static_cast<std::size_t>(count);
  begin = (begin + page - 1) / page * page;
  end = end / page * page;
  if (end > begin) {
    // The released pages read as zero: black, like a new bitmap.
    madvise(reinterpret_cast<void*>(begin), end - begin, MADV_DONTNEED);
  }
  // Bytes of the rows on pages that stay are cleared by hand.
  std::uint8_t* first = Row(top);
  std::uint8_t* last = first + stride_ * static_cast<std::size_t>(count);
  std::uint8_t* b = reinterpret_cast<std::uint8_t*>(begin);
  std::uint8_t* e = reinterpret_cast<std::uint8_t*>(end);
  if (e > b) {
    std::memset(first, 0, static_cast<std::size_t>(b - first));
    std::memset(e, 0, static_cast<std::size_t>(last - e));
  } else {
    std::memset(first, 0, static_cast<std::size_t>(last - first));
  }
}

std::mutex& ServiceLock() {
  static std::mutex mu;
  return mu;
}

namespace {

// Handle values of each kind start at their own base so that a handle of one
// kind is never mistaken for another.
HandleTable<GdiObject>& Objects() {
  static HandleTable<GdiObject> table(0x01000000u);
  return table;
}
HandleTable<DeviceContext>& Contexts() {
  static HandleTable<DeviceContext> table(0x02000000u);
  return table;
}
HandleTable<Window>& Windows() {
  static HandleTable<Window> table(0x00010000u);
  return table;
}

struct StockObjects {
  HBITMAP bitmap = 0;  // the 1 × 1 bitmap every new memory context holds
  HFONT systemFont = 0;
  HFONT guiFont = 0;
  HBRUSH white = 0;
  HBRUSH black = 0;
};

const StockObjects& Stock() {
  static const StockObjects stock = [] {
    StockObjects s;
    auto bmp = std::make_shared<GdiObject>();
    bmp->kind = ObjectKind::Bitmap;
    bmp->stock = true;
    bmp->surface = Surface::Create(1, 1);
    s.bitmap = Objects().Add(bmp);
    auto font = [](LONG height, LONG weight) {
      auto f = std::make_shared<GdiObject>();
      f->kind = ObjectKind::Font;
      f->stock = true;
      f->font.log.lfHeight = height;
      f->font.log.lfWeight = weight;
      f->font.log.lfCharSet = DEFAULT_CHARSET;
      return Objects().Add(f);
    };
    s.systemFont = font(16, FW_BOLD);
    s.guiFont = font(-11, FW_NORMAL);
    auto brush = [](COLORREF c) {
      auto b = std::make_shared<GdiObject>();
      b->kind = ObjectKind::Brush;
      b->stock = true;
      b->color = c;
      return Objects().Add(b);
    };
    s.white = brush(RGB(255, 255, 255));
    s.black = brush(RGB(0, 0, 0));
    return s;
  }();
  return stock;
}

// The surface a context draws on. Caller holds the service lock.
std::shared_ptr<Surface> SurfaceOfLocked(const DeviceContext& dc) {
  if (dc.window) {
    auto w = Windows().Get(dc.window);
    return w ? w->surface : nullptr;
  }
  auto bmp = Objects().Get(dc.bitmap);
  return bmp ? bmp->surface : nullptr;
}

std::shared_ptr<Surface> SurfaceOf(HDC dc) {
  auto ctx = Contexts().Get(dc);
  if (!ctx) return nullptr;
  std::lock_guard<std::mutex> lock(ServiceLock());
  return SurfaceOfLocked(*ctx);
}

std::shared_ptr<Surface> BitmapSurface(HBITMAP bitmap) {
  auto obj = Objects().Get(bitmap);
  if (!obj || obj->kind != ObjectKind::Bitmap) return nullptr;
  return obj->surface;
}

// [begin, end) ∩ [lo, hi)
struct Span {
  int begin;
  int end;
  bool empty() const { return end <= begin; }
};

// Copies a block between surfaces; rows may overlap when both are the same.
void CopyBlock(Surface& dst, int dx, int dy, const Surface& src, int sx, int sy, int w, int h) {
  if (w <= 0 || h <= 0) return;
  const std::size_t bytes = static_cast<std::size_t>(w) * 4;
  const bool same = &dst == &src;
  if (same && dy > sy) {
    for (int i = h - 1; i >= 0; --i)
      std::memmove(dst.Row(dy + i) + 4 * static_cast<std::size_t>(dx), src.Row(sy + i) + 4 * static_cast<std::size_t>(sx), bytes);
  } else {
    for (int i = 0; i < h; ++i)
      std::memmove(dst.Row(dy + i) + 4 * static_cast<std::size_t>(dx), src.Row(sy + i) + 4 * static_cast<std::size_t>(sx), bytes);
  }
}

std::array<std::atomic<int>, 100>& Metrics() {
  static std::array<std::atomic<int>, 100> metrics{};
  return metrics;
}
std::array<std::atomic<bool>, 100>& MetricOverridden() {
  static std::array<std::atomic<bool>, 100> flags{};
  return flags;
}

int DefaultMetric(int index) {
  switch (index) {
    case SM_CXSCREEN: return 1920;
    case SM_CYSCREEN: return 1080;
    case SM_CXVSCROLL: return 17;
    case SM_CYHSCROLL: return 17;
    case SM_CXEDGE: return 2;
    case SM_CYEDGE: return 2;
    default: return 0;
  }
}

// Layout of a DIB as the transfer calls accept it.
struct DibLayout {
  int width = 0;
  int rows = 0;
  bool bottomUp = true;
  int bytesPerPixel = 3;
  std::size_t stride = 0;
};

bool ReadDibLayout(const BITMAPINFOHEADER& h, DibLayout* out) {
  if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biPlanes != 1 || h.biCompression != BI_RGB) return false;
  if (h.biBitCount != 24 && h.biBitCount != 32) return false;
  if (h.biWidth <= 0 || h.biHeight == 0 || h.biHeight == INT_MIN) return false;
  out->width = h.biWidth;
  out->rows = h.biHeight > 0 ? h.biHeight : -h.biHeight;
  out->bottomUp = h.biHeight > 0;
  out->bytesPerPixel = h.biBitCount / 8;
  out->stride = static_cast<std::size_t>(DibStride(h.biWidth, h.biBitCount));
  return true;
}

// The picture row (0 = top) that DIB row `r` (0 = first stored row) holds.
int PictureRow(const DibLayout& l, int r) { return l.bottomUp ? l.rows - 1 - r : r; }

// Converts one surface row into a DIB row; columns beyond the surface are 0.
void SurfaceRowToDib(const std::uint8_t* src, int surfaceWidth, std::uint8_t* dst, const DibLayout& l) {
  const int n = std::min(surfaceWidth, l.width);
  if (l.bytesPerPixel == 4) {
    std::memcpy(dst, src, static_cast<std::size_t>(n) * 4);
    for (int x = 0; x < n; ++x) dst[4 * x + 3] = 0;
    std::memset(dst + static_cast<std::size_t>(n) * 4, 0, l.stride - static_cast<std::size_t>(n) * 4);
    return;
  }
  std::uint8_t* d = dst;
  const std::uint8_t* s = src;
  for (int x = 0; x < n; ++x, d += 3, s += 4) {
    d[0] = s[0];
    d[1] = s[1];
    d[2] = s[2];
  }
  std::memset(d, 0, l.stride - static_cast<std::size_t>(n) * 3);
}

void DibRowToSurface(const std::uint8_t* src, const DibLayout& l, std::uint8_t* dst, int surfaceWidth) {
  const int n = std::min(surfaceWidth, l.width);
  std::uint8_t* d = dst;
  const std::uint8_t* s = src;
  const int step = l.bytesPerPixel;
  for (int x = 0; x < n; ++x, d += 4, s += step) {
    d[0] = s[0];
    d[1] = s[1];
    d[2] = s[2];
    d[3] = 0;
  }
}

std::array<std::atomic<std::size_t>, 3>& LiveObjects() {
  static std::array<std::atomic<std::size_t>, 3> live{};
  return live;
}

// Registers a new (non-stock) object under a handle and counts it.
HGDIOBJ AddObject(std::shared_ptr<GdiObject> obj) {
  const auto kind = static_cast<std::size_t>(obj->kind);
  HGDIOBJ h = Objects().Add(std::move(obj));
  ++LiveObjects()[kind];
  return h;
}

HBITMAP AddBitmap(std::shared_ptr<Surface> surface) {
  if (!surface) return 0;
  auto obj = std::shared_ptr<GdiObject>(new (std::nothrow) GdiObject());
  if (!obj) return 0;
  obj->kind = ObjectKind::Bitmap;
  obj->surface = std::move(surface);
  return AddObject(std::move(obj));
}

}  // namespace

bool GetDcState(HDC dc, DcState* state) {
  auto ctx = Contexts().Get(dc);
  if (!ctx) return false;
  std::lock_guard<std::mutex> lock(ServiceLock());
  state->surface = SurfaceOfLocked(*ctx);
  auto font = Objects().Get(ctx->font);
  state->font = font ? font->font : FontSpec{};
  state->textColor = ctx->textColor;
  state->bkColor = ctx->bkColor;
  state->bkMode = ctx->bkMode;
  return true;
}

}  // namespace gdi

using namespace gdi;

// ---------------------------------------------------------------------------
// Contexts and objects

HDC CreateCompatibleDC(HDC reference) {
  if (reference != 0 && !Contexts().Get(reference)) return 0;
  const StockObjects& stock = Stock();
  auto ctx = std::shared_ptr<DeviceContext>(new (std::nothrow) DeviceContext());
  if (!ctx) return 0;
  ctx->bitmap = stock.bitmap;
  ctx->font = stock.systemFont;
  ctx->brush = stock.white;
  return Contexts().Add(std::move(ctx));
}

BOOL DeleteDC(HDC dc) {
  auto ctx = Contexts().Get(dc);
  if (!ctx || ctx->window) return 0;
  Contexts().Remove(dc);
  std::lock_guard<std::mutex> lock(ServiceLock());
  for (HGDIOBJ h : {ctx->bitmap, ctx->font, ctx->brush}) {
    if (auto obj = Objects().Get(h)) --obj->selections;
  }
  return 1;
}

BOOL SetPaintProgressProc(HDC dc, PaintProgressProc proc, void* context) {
  auto ctx = Contexts().Get(dc);
  if (!ctx) return 0;
  std::lock_guard<std::mutex> lock(ServiceLock());
  ctx->progress = proc;
  ctx->progressContext = proc ? context : nullptr;
  return 1;
}

void ReportPaintProgress(HDC dc, int finalRows) {
  auto ctx = Contexts().Get(dc);
  if (!ctx) return;
  PaintProgressProc proc;
  void* context;
  {
    std::lock_guard<std::mutex> lock(ServiceLock());
    proc = ctx->progress;
    context = ctx->progressContext;
  }
  // Called without the lock: the procedure may well read the surface.
  if (proc) proc(context, finalRows);
}

HBITMAP CreateCompatibleBitmap(HDC reference, int cx, int cy) {
  if (reference != 0 && !Contexts().Get(reference)) return 0;
  if (cx < 0 || cy < 0) return 0;
  if (cx == 0 || cy == 0) cx = cy = 1;
  return AddBitmap(Surface::Create(cx, cy));
}

BOOL ReleaseBitmapRows(HBITMAP bitmap, int top, int count) {
  auto s = BitmapSurface(bitmap);
  if (!s) return 0;
  s->ReleaseRows(top, count);
  return 1;
}

HBITMAP CreateBitmapFromDib(const BITMAPINFOHEADER* header, const void* bits) {
  DibLayout l;
  if (!header || !bits || !ReadDibLayout(*header, &l)) return 0;
  auto surface = Surface::Create(l.width, l.rows);
  if (!surface) return 0;
  const auto* base = static_cast<const std::uint8_t*>(bits);
  for (int r = 0; r < l.rows; ++r)
    DibRowToSurface(base + l.stride * static_cast<std::size_t>(r), l, surface->Row(PictureRow(l, r)), l.width);
  return AddBitmap(std::move(surface));
}

HBITMAP LoadBitmapFromFile(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return 0;
  struct Closer {
    std::FILE* f;
    ~Closer() { std::fclose(f); }
  } closer{f};
  BITMAPFILEHEADER fh{};
  BITMAPINFOHEADER ih{};
  if (std::fread(&fh, sizeof fh, 1, f) != 1 || fh.bfType != 0x4D42) return 0;
  if (std::fread(&ih, sizeof ih, 1, f) != 1) return 0;
  DibLayout l;
  if (!ReadDibLayout(ih, &l)) return 0;
  if (std::fseek(f, static_cast<long>(fh.bfOffBits), SEEK_SET) != 0) return 0;
  auto surface = Surface::Create(l.width, l.rows);
  if (!surface) return 0;
  std::unique_ptr<std::uint8_t[]> row(new (std::nothrow) std::uint8_t[l.stride]);
  if (!row) return 0;
  for (int r = 0; r < l.rows; ++r) {
    if (std::fread(row.get(), 1, l.stride, f) != l.stride) return 0;
    DibRowToSurface(row.get(), l, surface->Row(PictureRow(l, r)), l.width);
  }
  return AddBitmap(std::move(surface));
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ handle) {
  auto ctx = Contexts().Get(dc);
  auto obj = Objects().Get(handle);
  if (!ctx || !obj) return 0;
  std::lock_guard<std::mutex> lock(ServiceLock());
  HGDIOBJ* slot = nullptr;
  switch (obj->kind) {
    case ObjectKind::Bitmap:
      // A window context draws on its window; it takes no bitmap. A bitmap
      // can be selected into one memory context at a time.
      if (ctx->window) return 0;
      if (!obj->stock && obj->selections > 0 && ctx->bitmap != handle) return 0;
      slot = &ctx->bitmap;
      break;
    case ObjectKind::Font: slot = &ctx->font; break;
    case ObjectKind::Brush: slot = &ctx->brush; break;
  }
  HGDIOBJ previous = *slot;
  if (previous == handle) return previous;
  if (auto old = Objects().Get(previous)) --old->selections;
  ++obj->selections;
  *slot = handle;
  return previous;
}

HGDIOBJ GetCurrentObject(HDC dc, DWORD kind) {
  auto ctx = Contexts().Get(dc);
  if (!ctx) return 0;
  std::lock_guard<std::mutex> lock(ServiceLock());
  switch (kind) {
    case OBJ_BITMAP: return ctx->bitmap;
    case OBJ_FONT: return ctx->font;
    case OBJ_BRUSH: return ctx->brush;
    default: return 0;
  }
}

BOOL DeleteObject(HGDIOBJ handle) {
  auto obj = Objects().Get(handle);
  if (!obj) return 0;
  if (obj->stock) return 1;
  std::lock_guard<std::mutex> lock(ServiceLock());
  if (obj->selections > 0) return 0;
  if (Objects().Remove(handle)) --LiveObjects()[static_cast<std::size_t>(obj->kind)];
  return 1;
}

HGDIOBJ GetStockObject(int index) {
  const StockObjects& s = Stock();
  switch (index) {
    case WHITE_BRUSH: return s.white;
    case BLACK_BRUSH: return s.black;
    case SYSTEM_FONT: return s.systemFont;
    case DEFAULT_GUI_FONT: return s.guiFont;
    default: return 0;
  }
}

DWORD GetObjectType(HGDIOBJ handle) {
  if (auto obj = Objects().Get(handle)) {
    switch (obj->kind) {
      case ObjectKind::Bitmap: return OBJ_BITMAP;
      case ObjectKind::Font: return OBJ_FONT;
      case ObjectKind::Brush: return OBJ_BRUSH;
    }
  }
  if (auto ctx = Contexts().Get(handle)) return ctx->window ? OBJ_DC : OBJ_MEMDC;
  return 0;
}

int GetObjectA(HGDIOBJ handle, int cb, void* out) {
  auto obj = Objects().Get(handle);
  if (!obj) return 0;
  if (obj->kind == ObjectKind::Bitmap) {
    if (!out) return static_cast<int>(sizeof(BITMAP));
    if (cb < static_cast<int>(sizeof(BITMAP)) || !obj->surface) return 0;
    BITMAP bm{};
    bm.bmType = 0;
    bm.bmWidth = obj->surface->width();
    bm.bmHeight = obj->surface->height();
    bm.bmWidthBytes = static_cast<LONG>(std::min<std::size_t>(obj->surface->stride(), INT32_MAX));
    bm.bmPlanes = 1;
    bm.bmBitsPixel = 32;
    bm.bmBits = 0;
    std::memcpy(out, &bm, sizeof bm);
    return static_cast<int>(sizeof bm);
  }
  if (obj->kind == ObjectKind::Font) {
    if (!out) return static_cast<int>(sizeof(LOGFONTA));
    if (cb < static_cast<int>(sizeof(LOGFONTA))) return 0;
    std::memcpy(out, &obj->font.log, sizeof(LOGFONTA));
    return static_cast<int>(sizeof(LOGFONTA));
  }
  return 0;
}

BOOL BitBlt(HDC dst, int x, int y, int cx, int cy, HDC src, int xSrc, int ySrc, DWORD rop) {
  if (rop != SRCCOPY) return 0;
  auto d = SurfaceOf(dst);
  auto s = SurfaceOf(src);
  if (!d || !s) return 0;
  if (cx <= 0 || cy <= 0) return 1;
  // Offsets (i, j) inside the block that land on both surfaces.
  auto range = [](int block, int dstPos, int dstSize, int srcPos, int srcSize) {
    long long lo = std::max<long long>({0, -static_cast<long long>(dstPos), -static_cast<long long>(srcPos)});
    long long hi = std::min<long long>({block, static_cast<long long>(dstSize) - dstPos,
                                        static_cast<long long>(srcSize) - srcPos});
    return Span{static_cast<int>(lo), static_cast<int>(std::max(lo, hi))};
  };
  Span cols = range(cx, x, d->width(), xSrc, s->width());
  Span rows = range(cy, y, d->height(), ySrc, s->height());
  if (cols.empty() || rows.empty()) return 1;
  CopyBlock(*d, x + cols.begin, y + rows.begin, *s, xSrc + cols.begin, ySrc + rows.begin, cols.end - cols.begin,
            rows.end - rows.begin);
  return 1;
}

BOOL FillRectColor(HDC dc, const RECT* rect, COLORREF color) {
  auto s = SurfaceOf(dc);
  if (!s || !rect) return 0;
  const int left = std::max<LONG>(rect->left, 0), right = std::min<LONG>(rect->right, s->width());
  const int top = std::max<LONG>(rect->top, 0), bottom = std::min<LONG>(rect->bottom, s->height());
  if (left >= right || top >= bottom) return 1;
  const std::uint8_t px[4] = {GetBValue(color), GetGValue(color), GetRValue(color), 0};
  std::uint8_t* first = s->Row(top) + 4 * static_cast<std::size_t>(left);
  for (int x = 0; x < right - left; ++x) std::memcpy(first + 4 * x, px, 4);
  for (int y = top + 1; y < bottom; ++y)
    std::memcpy(s->Row(y) + 4 * static_cast<std::size_t>(left), first, 4 * static_cast<std::size_t>(right - left));
  return 1;
}

HBRUSH CreateSolidBrush(COLORREF color) {
  auto b = std::shared_ptr<GdiObject>(new (std::nothrow) GdiObject());
  if (!b) return 0;
  b->kind = ObjectKind::Brush;
  b->color = color & 0x00FFFFFF;
  return AddObject(std::move(b));
}

int FillRect(HDC dc, const RECT* rect, HBRUSH brush) {
  auto b = Objects().Get(brush);
  if (!b || b->kind != ObjectKind::Brush) return 0;
  return FillRectColor(dc, rect, b->color);
}

COLORREF GetPixel(HDC dc, int x, int y) {
  auto s = SurfaceOf(dc);
  if (!s || x < 0 || y < 0 || x >= s->width() || y >= s->height()) return 0xFFFFFFFFu;
  const std::uint8_t* p = s->Row(y) + 4 * static_cast<std::size_t>(x);
  return RGB(p[2], p[1], p[0]);
}

COLORREF SetPixel(HDC dc, int x, int y, COLORREF color) {
  auto s = SurfaceOf(dc);
  if (!s || x < 0 || y < 0 || x >= s->width() || y >= s->height()) return 0xFFFFFFFFu;
  std::uint8_t* p = s->Row(y) + 4 * static_cast<std::size_t>(x);
  p[0] = GetBValue(color);
  p[1] = GetGValue(color);
  p[2] = GetRValue(color);
  p[3] = 0;
  return color & 0x00FFFFFF;
}

int GetDIBits(HDC dc, HBITMAP bitmap, UINT start, UINT lines, void* bits, BITMAPINFO* info, UINT usage) {
  if (!info || usage != DIB_RGB_COLORS) return 0;
  if (dc != 0 && !Contexts().Get(dc)) return 0;
  auto s = BitmapSurface(bitmap);
  if (!s) return 0;
  BITMAPINFOHEADER& h = info->bmiHeader;
  if (!bits) {
    // Header query: complete what the caller left open.
    if (h.biSize < sizeof(BITMAPINFOHEADER)) return 0;
    if (h.biBitCount == 0) {
      h.biWidth = s->width();
      h.biHeight = s->height();
      h.biPlanes = 1;
      h.biBitCount = 32;
      h.biCompression = BI_RGB;
    }
    DibLayout l;
    if (!ReadDibLayout(h, &l)) return 0;
    const unsigned long long size = static_cast<unsigned long long>(l.stride) * static_cast<unsigned>(l.rows);
    h.biSizeImage = size > 0xFFFFFFFFull ? 0 : static_cast<DWORD>(size);
    return l.rows;
  }
  DibLayout l;
  if (!ReadDibLayout(h, &l)) return 0;
  if (start >= static_cast<UINT>(l.rows)) return 0;
  const UINT count = std::min<UINT>(lines, static_cast<UINT>(l.rows) - start);
  auto* out = static_cast<std::uint8_t*>(bits);
  for (UINT i = 0; i < count; ++i) {
    const int r = static_cast<int>(start + i);
    const int py = PictureRow(l, r);
    std::uint8_t* dst = out + l.stride * i;
    if (py < s->height())
      SurfaceRowToDib(s->Row(py), s->width(), dst, l);
    else
      std::memset(dst, 0, l.stride);
  }
  return static_cast<int>(count);
}

int SetDIBits(HDC dc, HBITMAP bitmap, UINT start, UINT lines, const void* bits, const BITMAPINFO* info, UINT usage) {
  if (!info || !bits || usage != DIB_RGB_COLORS) return 0;
  if (dc != 0 && !Contexts().Get(dc)) return 0;
  auto s = BitmapSurface(bitmap);
  if (!s) return 0;
  DibLayout l;
  if (!ReadDibLayout(info->bmiHeader, &l)) return 0;
  if (start >= static_cast<UINT>(l.rows)) return 0;
  const UINT count = std::min<UINT>(lines, static_cast<UINT>(l.rows) - start);
  const auto* in = static_cast<const std::uint8_t*>(bits);
  for (UINT i = 0; i < count; ++i) {
    const int py = PictureRow(l, static_cast<int>(start + i));
    if (py < s->height()) DibRowToSurface(in + l.stride * i, l, s->Row(py), s->width());
  }
  return static_cast<int>(count);
}

namespace {

BOOL PutRows(Surface& s, int x, int y, int width, int height, const void* bgrx, std::size_t srcStride) {
  if (!bgrx || width < 0 || height < 0 || srcStride < static_cast<std::size_t>(width) * 4) return 0;
  const long long x0 = std::max<long long>(x, 0), x1 = std::min<long long>(static_cast<long long>(x) + width, s.width());
  const long long y0 = std::max<long long>(y, 0), y1 = std::min<long long>(static_cast<long long>(y) + height, s.height());
  if (x0 >= x1 || y0 >= y1) return 1;
  const auto* in = static_cast<const std::uint8_t*>(bgrx);
  const std::size_t bytes = static_cast<std::size_t>(x1 - x0) * 4;
  for (long long py = y0; py < y1; ++py) {
    const std::uint8_t* src = in + srcStride * static_cast<std::size_t>(py - y) + 4 * static_cast<std::size_t>(x0 - x);
    std::uint8_t* dst = s.Row(static_cast<int>(py)) + 4 * static_cast<std::size_t>(x0);
    std::memcpy(dst, src, bytes);
    for (std::size_t k = 3; k < bytes; k += 4) dst[k] = 0;
  }
  return 1;
}

}  // namespace

BOOL SetBitmapRows(HBITMAP bitmap, int x, int y, int width, int height, const void* bgrx, std::size_t srcStride) {
  auto s = BitmapSurface(bitmap);
  return s ? PutRows(*s, x, y, width, height, bgrx, srcStride) : 0;
}

BOOL SetDCRows(HDC dc, int x, int y, int width, int height, const void* bgrx, std::size_t srcStride) {
  auto s = SurfaceOf(dc);
  return s ? PutRows(*s, x, y, width, height, bgrx, srcStride) : 0;
}

BOOL GetBitmapRows(HBITMAP bitmap, int x, int y, int width, int height, void* bgrx, std::size_t dstStride) {
  auto s = BitmapSurface(bitmap);
  if (!s || !bgrx || width < 0 || height < 0 || dstStride < static_cast<std::size_t>(width) * 4) return 0;
  const long long x0 = std::max<long long>(x, 0), x1 = std::min<long long>(static_cast<long long>(x) + width, s->width());
  const long long y0 = std::max<long long>(y, 0), y1 = std::min<long long>(static_cast<long long>(y) + height, s->height());
  if (x0 >= x1 || y0 >= y1) return 1;
  auto* out = static_cast<std::uint8_t*>(bgrx);
  for (long long py = y0; py < y1; ++py)
    std::memcpy(out + dstStride * static_cast<std::size_t>(py - y) + 4 * static_cast<std::size_t>(x0 - x),
                s->Row(static_cast<int>(py)) + 4 * static_cast<std::size_t>(x0), static_cast<std::size_t>(x1 - x0) * 4);
  return 1;
}

BOOL GetBitmapSize(HBITMAP bitmap, SIZE* size) {
  auto s = BitmapSurface(bitmap);
  if (!s || !size) return 0;
  *size = SIZE{s->width(), s->height()};
  return 1;
}

BOOL GetDCSize(HDC dc, SIZE* size) {
  auto s = SurfaceOf(dc);
  if (!s || !size) return 0;
  *size = SIZE{s->width(), s->height()};
  return 1;
}

int GetDeviceCaps(HDC dc, int index) {
  if (!Contexts().Get(dc)) return 0;
  switch (index) {
    case LOGPIXELSX:
    case LOGPIXELSY: return 96;
    case BITSPIXEL: return 32;
    case PLANES: return 1;
    case HORZRES:
    case VERTRES: {
      SIZE sz{};
      if (!GetDCSize(dc, &sz)) return 0;
      return index == HORZRES ? sz.cx : sz.cy;
    }
    default: return 0;
  }
}

int GetSystemMetrics(int index) {
  if (index < 0 || index >= static_cast<int>(Metrics().size())) return 0;
  if (MetricOverridden()[index].load()) return Metrics()[index].load();
  return DefaultMetric(index);
}

void SetSystemMetricForTesting(int index, int value) {
  if (index < 0 || index >= static_cast<int>(Metrics().size())) return;
  Metrics()[index].store(value);
  MetricOverridden()[index].store(true);
}

void ResetSystemMetricsForTesting() {
  for (auto& f : MetricOverridden()) f.store(false);
}

int MulDiv(int a, int b, int c) {
  if (c == 0) return -1;
  const long long p = static_cast<long long>(a) * b;
  const bool negative = (p < 0) != (c < 0);
  const unsigned long long ap = p < 0 ? static_cast<unsigned long long>(-p) : static_cast<unsigned long long>(p);
  const unsigned long long ac = c < 0 ? static_cast<unsigned long long>(-static_cast<long long>(c)) : static_cast<unsigned long long>(c);
  const unsigned long long q = (ap + ac / 2) / ac;
  if (q > static_cast<unsigned long long>(INT_MAX)) return -1;
  return negative ? -static_cast<int>(q) : static_cast<int>(q);
}

// ---------------------------------------------------------------------------
// Fonts and text attributes

HFONT CreateFontIndirectA(const LOGFONTA* font) {
  if (!font) return 0;
  auto f = std::shared_ptr<GdiObject>(new (std::nothrow) GdiObject());
  if (!f) return 0;
  f->kind = ObjectKind::Font;
  f->font.log = *font;
  f->font.log.lfFaceName[LF_FACESIZE - 1] = '\0';
  return AddObject(std::move(f));
}

COLORREF SetTextColor(HDC dc, COLORREF color) {
  auto ctx = Contexts().Get(dc);
  if (!ctx) return 0xFFFFFFFFu;
  std::lock_guard<std::mutex> lock(ServiceLock());
  COLORREF old = ctx->textColor;
  ctx->textColor = color & 0x00FFFFFF;
  return old;
}

COLORREF SetBkColor(HDC dc, COLORREF color) {
  auto ctx = Contexts().Get(dc);
  if (!ctx) return 0xFFFFFFFFu;
  std::lock_guard<std::mutex> lock(ServiceLock());
  COLORREF old = ctx->bkColor;
  ctx->bkColor = color & 0x00FFFFFF;
  return old;
}

int SetBkMode(HDC dc, int mode) {
  auto ctx = Contexts().Get(dc);
  if (!ctx || (mode != TRANSPARENT && mode != OPAQUE)) return 0;
  std::lock_guard<std::mutex> lock(ServiceLock());
  int old = ctx->bkMode;
  ctx->bkMode = mode;
  return old;
}

// ---------------------------------------------------------------------------
// Windows

HWND CreateBrowserWindow(const char* title, int cx, int cy) {
  auto surface = Surface::Create(std::max(cx, 1), std::max(cy, 1));
  if (!surface || cx < 0 || cy < 0) return 0;
  surface->Fill(0x00FFFFFF);
  auto w = std::shared_ptr<Window>(new (std::nothrow) Window());
  if (!w) return 0;
  w->title = title ? title : "";
  w->surface = std::move(surface);
  return Windows().Add(std::move(w));
}

BOOL DestroyWindow(HWND window) {
  auto w = Windows().Remove(window);
  return w ? 1 : 0;
}

BOOL IsWindow(HWND window) { return Windows().Get(window) ? 1 : 0; }

BOOL SetClientSize(HWND window, int cx, int cy) {
  auto w = Windows().Get(window);
  if (!w || cx < 0 || cy < 0) return 0;
  auto surface = Surface::Create(std::max(cx, 1), std::max(cy, 1));
  if (!surface) return 0;
  surface->Fill(0x00FFFFFF);
  std::lock_guard<std::mutex> lock(ServiceLock());
  if (w->surface)
    CopyBlock(*surface, 0, 0, *w->surface, 0, 0, std::min(surface->width(), w->surface->width()),
              std::min(surface->height(), w->surface->height()));
  w->surface = std::move(surface);
  return 1;
}

BOOL GetClientRect(HWND window, RECT* rect) {
  auto w = Windows().Get(window);
  if (!w || !rect) return 0;
  std::lock_guard<std::mutex> lock(ServiceLock());
  *rect = RECT{0, 0, w->surface->width(), w->surface->height()};
  return 1;
}

BOOL GetWindowRect(HWND window, RECT* rect) { return GetClientRect(window, rect); }

int GetWindowTextA(HWND window, char* buffer, int size) {
  auto w = Windows().Get(window);
  if (!w || !buffer || size <= 0) return 0;
  std::lock_guard<std::mutex> lock(ServiceLock());
  std::size_t n = std::min<std::size_t>(w->title.size(), static_cast<std::size_t>(size - 1));
  std::memcpy(buffer, w->title.data(), n);
  buffer[n] = '\0';
  return static_cast<int>(n);
}

int GetWindowTextLengthA(HWND window) {
  auto w = Windows().Get(window);
  if (!w) return 0;
  std::lock_guard<std::mutex> lock(ServiceLock());
  return static_cast<int>(w->title.size());
}

BOOL SetWindowTextA(HWND window, const char* text) {
  auto w = Windows().Get(window);
  if (!w) return 0;
  std::lock_guard<std::mutex> lock(ServiceLock());
  w->title = text ? text : "";
  return 1;
}

HDC GetDC(HWND window) {
  if (!Windows().Get(window)) return 0;
  const StockObjects& stock = Stock();
  auto ctx = std::shared_ptr<DeviceContext>(new (std::nothrow) DeviceContext());
  if (!ctx) return 0;
  ctx->window = window;
  ctx->font = stock.systemFont;
  ctx->brush = stock.white;
  return Contexts().Add(std::move(ctx));
}

HDC GetWindowDC(HWND window) { return GetDC(window); }

int ReleaseDC(HWND window, HDC dc) {
  auto ctx = Contexts().Get(dc);
  if (!ctx || ctx->window == 0 || ctx->window != window) return 0;
  Contexts().Remove(dc);
  std::lock_guard<std::mutex> lock(ServiceLock());
  for (HGDIOBJ h : {ctx->font, ctx->brush}) {
    if (auto obj = Objects().Get(h)) --obj->selections;
  }
  return 1;
}

HWND WindowFromDC(HDC dc) {
  auto ctx = Contexts().Get(dc);
  return ctx ? ctx->window : 0;
}

GdiCounts GetGdiCounts() {
  GdiCounts counts;
  counts.bitmaps = LiveObjects()[static_cast<std::size_t>(ObjectKind::Bitmap)].load();
  counts.fonts = LiveObjects()[static_cast<std::size_t>(ObjectKind::Font)].load();
  counts.brushes = LiveObjects()[static_cast<std::size_t>(ObjectKind::Brush)].load();
  counts.dcs = Contexts().Size();
  counts.windows = Windows().Size();
  return counts;
}

}  // namespace ss
