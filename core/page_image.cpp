#include "core/page_image.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace ss {
namespace {

std::atomic<std::uint64_t> g_allocations{0};

BITMAPINFOHEADER TransferHeader(std::int32_t width, std::int32_t height) {
  BITMAPINFOHEADER h{};
  h.biSize = sizeof(BITMAPINFOHEADER);
  h.biWidth = width;
  h.biHeight = height;  // positive: rows bottom-up
  h.biPlanes = 1;
  h.biBitCount = 24;
  h.biCompression = BI_RGB;
  return h;
}

}  // namespace

std::int32_t PageImageStride(std::int32_t width) {
  const std::int64_t stride = ((static_cast<std::int64_t>(width) * 3 + 3) / 4) * 4;
  if (stride > std::numeric_limits<std::int32_t>::max()) return -1;
  return static_cast<std::int32_t>(stride);
}

HRESULT AllocatePageImage(std::int32_t width, std::int32_t height, PageImage* image) {
  if (!image) return E_POINTER;
  FreePageImage(image);
  image->width = width;
  image->height = height;
  image->stride = width > 0 ? std::max(PageImageStride(width), 0) : 0;
  if (width <= 0 || height <= 0 || image->stride <= 0) return PAGEIMAGE_E_ALLOC;
  const std::size_t stride = static_cast<std::size_t>(image->stride);
  if (static_cast<std::size_t>(height) > std::numeric_limits<std::size_t>::max() / stride) return PAGEIMAGE_E_ALLOC;
  void* block = std::malloc(stride * static_cast<std::size_t>(height));
  if (!block) return PAGEIMAGE_E_ALLOC;
  image->pixels = static_cast<std::uint8_t*>(block);
  ++g_allocations;
  return S_OK;
}

HRESULT FreePageImage(PageImage* image) {
  if (image && image->pixels) {
    std::free(image->pixels);
    image->pixels = nullptr;
  }
  return S_OK;
}

namespace {

// The transfer header of the bitmap, and an image block of its size (an
// existing block of that size is reused without clearing).
HRESULT PrepareForBitmap(HBITMAP bitmap, PageImage* image, BITMAPINFO* info) {
  if (!image) return E_POINTER;
  BITMAP bm{};
  if (GetObjectA(bitmap, sizeof bm, &bm) == 0) return PAGEIMAGE_E_BITMAP;
  info->bmiHeader = TransferHeader(bm.bmWidth, bm.bmHeight);
  if (!image->pixels || image->width != bm.bmWidth || image->height != bm.bmHeight)
    return AllocatePageImage(bm.bmWidth, bm.bmHeight, image);
  return S_OK;
}

}  // namespace

HRESULT PageImageFromBitmap(HDC reference, HBITMAP bitmap, PageImage* image, BITMAPINFOHEADER* headerOut) {
  BITMAPINFO info{};
  if (HRESULT hr = PrepareForBitmap(bitmap, image, &info); hr != S_OK) return hr;
  if (GetDIBits(reference, bitmap, 0, static_cast<UINT>(image->height), image->pixels, &info, DIB_RGB_COLORS) == 0)
    return PAGEIMAGE_E_GETBITS;
  if (headerOut) std::memcpy(headerOut, &info.bmiHeader, sizeof(BITMAPINFOHEADER));
  return S_OK;
}

HRESULT PageImageFromBitmapReleasing(HDC reference, HBITMAP bitmap, PageImage* image) {
  BITMAPINFO info{};
  if (HRESULT hr = PrepareForBitmap(bitmap, image, &info); hr != S_OK) return hr;
  // About 4 MB of the bitmap a band.
  const int band = std::max(1, static_cast<int>((4u << 20) / (static_cast<std::uint32_t>(image->width) * 4u + 1u)));
  for (int start = 0; start < image->height; start += band) {
    const int lines = std::min(band, image->height - start);
    std::uint8_t* dst = image->pixels + static_cast<std::size_t>(image->stride) * static_cast<std::size_t>(start);
    if (GetDIBits(reference, bitmap, static_cast<UINT>(start), static_cast<UINT>(lines), dst, &info,
                  DIB_RGB_COLORS) == 0)
      return PAGEIMAGE_E_GETBITS;
    // DIB rows count from the bottom; the bitmap's rows from the top.
    ReleaseBitmapRows(bitmap, image->height - start - lines, lines);
  }
  return S_OK;
}

HRESULT PageImageToBitmap(HDC reference, HBITMAP bitmap, const PageImage* image, BITMAPINFOHEADER* headerOut) {
  if (!image || !image->pixels) return E_POINTER;
  BITMAPINFO info{};
  info.bmiHeader = TransferHeader(image->width, image->height);
  if (SetDIBits(reference, bitmap, 0, static_cast<UINT>(image->height), image->pixels, &info, DIB_RGB_COLORS) == 0)
    return PAGEIMAGE_E_SETBITS;
  if (headerOut) std::memcpy(headerOut, &info.bmiHeader, sizeof(BITMAPINFOHEADER));
  return S_OK;
}

std::uint64_t PageImageAllocationCount() { return g_allocations.load(); }

}  // namespace ss
