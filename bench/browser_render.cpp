// bench_browser_render: the browser service's whole-page drawing as one
// process, to be timed beside other programs on the same page.
//
//   bench_browser_render draw PAGE OUT.png       load PAGE (a URL or a local
//                                                file), lay it out at its full
//                                                size, draw it into a bitmap,
//                                                restore the layout, write PNG
//   bench_browser_render check-bands IN.png H    verify a picture of the
//                                                fixture bands.html?h=H
//
// draw prints "WIDTHxHEIGHT" of the page on stdout. check-bands prints the
// number of wrong bands and the first of them, and exits 0 only when every
// 100-row band has its colour in every row and the picture has the page's size.
#include <png.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/measure.h"
#include "platform/browser/browser.h"
#include "platform/codepage/codepage.h"
#include "platform/gdi/gdi.h"

namespace {

using namespace ss;

int Fail(const std::string& what, HRESULT hr) {
  std::fprintf(stderr, "bench_browser_render: %s (0x%08X) %s\n", what.c_str(), static_cast<unsigned>(hr),
               GetLastBrowserError().c_str());
  return 2;
}

// Writes the bitmap as an 8-bit RGB PNG, one row at a time.
bool WritePng(HBITMAP bitmap, int width, int height, const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    return false;
  }
  png_init_io(png, f);
  // Fast settings: the point is the drawing, not the smallest file.
  png_set_compression_level(png, 1);
  png_set_compression_strategy(png, 3 /* Z_RLE */);
  png_set_filter(png, 0, PNG_FILTER_SUB);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  // The bitmap's rows come as 32-bit BGRX, a band of them at a time; the
  // next band is read and turned into RGB while this one is compressed.
  const int band = 512;
  auto convert = [bitmap, width, height, band](int y) {
    int rows = std::min(band, height - y);
    std::vector<unsigned char> bgrx(static_cast<std::size_t>(width) * 4 * rows);
    std::vector<unsigned char> rgb(static_cast<std::size_t>(width) * 3 * rows);
    GetBitmapRows(bitmap, 0, y, width, rows, bgrx.data(), static_cast<std::size_t>(width) * 4);
    const unsigned char* s = bgrx.data();
    unsigned char* d = rgb.data();
    for (std::size_t i = 0, n = static_cast<std::size_t>(width) * rows; i < n; ++i, s += 4, d += 3) {
      d[0] = s[2];
      d[1] = s[1];
      d[2] = s[0];
    }
    return rgb;
  };
  std::future<std::vector<unsigned char>> next = std::async(std::launch::async, convert, 0);
  for (int y = 0; y < height; y += band) {
    std::vector<unsigned char> rgb = next.get();
    if (y + band < height) next = std::async(std::launch::async, convert, y + band);
    int rows = std::min(band, height - y);
    for (int r = 0; r < rows; ++r) png_write_row(png, rgb.data() + static_cast<std::size_t>(r) * width * 3);
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return std::fclose(f) == 0;
}

// With BENCH_VERBOSE set, the time of each step goes to stderr.
void Step(const char* name) {
  static const bool verbose = std::getenv("BENCH_VERBOSE") != nullptr;
  static auto last = std::chrono::steady_clock::now();
  auto now = std::chrono::steady_clock::now();
  if (verbose)
    std::fprintf(stderr, "%-12s %6.0f ms\n", name,
                 std::chrono::duration<double, std::milli>(now - last).count());
  last = now;
}

int Draw(const std::string& page, const std::string& out) {
  Step("start");
  ComPtr<IWebBrowser2> browser;
  HRESULT hr = CreateWebBrowser(browser.ReleaseAndGetAddressOf());
  if (Failed(hr)) return Fail("cannot open a browser window", hr);
  Step("window");
  if (Failed(hr = browser->Navigate(AnsiToWide(page), nullptr, nullptr, nullptr, nullptr))) return Fail("cannot load " + page, hr);
  Step("load");

  PageMeasurer measurement;
  MeasureRequest request;
  request.quick = true;
  if (Failed(hr = measurement.MeasurePage(browser.Get(), request))) return Fail("cannot measure the page", hr);
  const int w = measurement.width(), h = measurement.height();
  Step("measure");

  ComPtr<IDispatch> doc;
  if (Failed(hr = browser->get_Document(doc.ReleaseAndGetAddressOf()))) return Fail("no document", hr);
  ComPtr<IOleObject> ole;
  ComPtr<IViewObject> view;
  if (Failed(hr = doc.As(&ole)) || Failed(hr = doc.As(&view))) return Fail("no view", hr);

  // The view around the page: edges and, unless a frameset, the scrollbar
  // strip; the bitmap receives only the page.
  const int cx = GetSystemMetrics(SM_CXEDGE), cy = GetSystemMetrics(SM_CYEDGE);
  const int strip = request.isFrameset ? 0 : GetSystemMetrics(SM_CXVSCROLL);
  const int renderW = w + strip + 2 * cx, renderH = h + 2 * cy;
  HDC dc = CreateCompatibleDC(0);
  HBITMAP bitmap = CreateCompatibleBitmap(dc, w, h);
  if (!dc || !bitmap) return Fail("cannot make the bitmap", MakeHResult(0x800709C6));
  HGDIOBJ old = SelectObject(dc, bitmap);

  SIZEL saved{};
  if (Failed(hr = ole->GetExtent(DVASPECT_CONTENT, &saved))) return Fail("GetExtent", hr);
  SIZEL extent{MulDiv(renderW, 2540, 96), MulDiv(renderH, 2540, 96)};
  if (Failed(hr = ole->SetExtent(DVASPECT_CONTENT, &extent))) return Fail("SetExtent", hr);
  Step("layout");
  RECTL bounds{-cx, -cy, renderW - cx, renderH - cy};
  hr = view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, 0, dc, &bounds, nullptr, nullptr, 0);
  HRESULT restored = ole->SetExtent(DVASPECT_CONTENT, &saved);
  if (Failed(hr)) return Fail("Draw", hr);
  if (Failed(restored)) return Fail("restoring the extent", restored);
  Step("draw");
  SelectObject(dc, old);
  DeleteDC(dc);
  bool written = WritePng(bitmap, w, h, out);
  DeleteObject(bitmap);
  if (!written) return Fail("cannot write " + out, E_FAIL);
  Step("png");
  std::printf("%dx%d\n", w, h);
  view = nullptr;
  ole = nullptr;
  doc = nullptr;
  browser = nullptr;
  ShutdownBrowser();
  Step("shutdown");
  return 0;
}

unsigned BandColour(int i) {
  unsigned r = static_cast<unsigned>(i % 256), g = static_cast<unsigned>(32 * (i / 256) + 16),
           b = static_cast<unsigned>((i * 53) % 256);
  return (r << 16) | (g << 8) | b;
}

int CheckBands(const std::string& in, int pageHeight) {
  FILE* f = std::fopen(in.c_str(), "rb");
  if (!f) {
    std::fprintf(stderr, "check-bands: cannot open %s\n", in.c_str());
    return 2;
  }
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info || setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(f);
    std::fprintf(stderr, "check-bands: %s is not a readable PNG\n", in.c_str());
    return 2;
  }
  png_init_io(png, f);
  png_read_info(png, info);
  png_set_expand(png);
  png_set_strip_16(png);
  png_set_strip_alpha(png);
  png_set_gray_to_rgb(png);
  png_read_update_info(png, info);
  const int width = static_cast<int>(png_get_image_width(png, info));
  const int height = static_cast<int>(png_get_image_height(png, info));
  std::vector<unsigned char> row(png_get_rowbytes(png, info));
  const int bands = (pageHeight + 99) / 100;
  std::vector<bool> bad(static_cast<std::size_t>(bands), false);
  for (int y = 0; y < height; ++y) {
    png_read_row(png, row.data(), nullptr);
    if (y >= pageHeight) continue;
    const int band = y / 100;
    const unsigned want = BandColour(band);
    for (int x : {0, width / 2, width - 1}) {
      unsigned got = (unsigned(row[x * 3]) << 16) | (unsigned(row[x * 3 + 1]) << 8) | row[x * 3 + 2];
      if (got != want) {
        if (!bad[static_cast<std::size_t>(band)] && std::getenv("BENCH_VERBOSE"))
          std::fprintf(stderr, "row %d x %d: %06x, band %d wants %06x\n", y, x, got, band, want);
        bad[static_cast<std::size_t>(band)] = true;
      }
    }
  }
  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(f);
  int wrong = 0, first = -1;
  for (int b = 0; b < bands; ++b) {
    if (b * 100 >= height) bad[static_cast<std::size_t>(b)] = true;  // missing rows
    if (bad[static_cast<std::size_t>(b)]) {
      ++wrong;
      if (first < 0) first = b;
    }
  }
  std::printf("size %dx%d, %d of %d bands wrong", width, height, wrong, bands);
  if (first >= 0) std::printf(" (first: band %d, rows %d-%d)", first, first * 100, first * 100 + 99);
  std::printf("\n");
  if (std::getenv("BENCH_VERBOSE")) {
    for (int b = 0; b < bands; ++b)
      if (bad[static_cast<std::size_t>(b)]) std::printf("%d ", b);
    std::printf("\n");
  }
  return wrong == 0 && height == pageHeight && width == 1280 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "draw") == 0) return Draw(argv[2], argv[3]);
  if (argc == 4 && std::strcmp(argv[1], "check-bands") == 0) return CheckBands(argv[2], std::atoi(argv[3]));
  std::fprintf(stderr,
               "Usage: bench_browser_render draw PAGE OUT.png\n"
               "       bench_browser_render check-bands IN.png HEIGHT\n");
  return 64;
}
