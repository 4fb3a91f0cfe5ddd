// The one in-memory picture of the system: a 24-bit device-independent
// bitmap in a plain record. Pixels are blue, green, red; rows are stored
// bottom-up (the first `stride` bytes are the lowest row of the picture) and
// each row is padded to a multiple of 4 bytes.
#pragma once

#include <cstdint>

#include "platform/base/result.h"
#include "platform/gdi/gdi.h"

namespace ss {

struct PageImage {
  std::int32_t width;
  std::int32_t height;
  std::int32_t stride;  // width × 3 rounded up to the next multiple of 4
  std::uint8_t* pixels;  // height × stride bytes from the C heap, or null
};

// A zero record is the empty image.
constexpr PageImage kEmptyPageImage{0, 0, 0, nullptr};

constexpr HRESULT PAGEIMAGE_E_ALLOC = MakeHResult(0x80070001);
constexpr HRESULT PAGEIMAGE_E_BITMAP = MakeHResult(0x80070008);
constexpr HRESULT PAGEIMAGE_E_GETBITS = MakeHResult(0x80070009);
constexpr HRESULT PAGEIMAGE_E_SETBITS = MakeHResult(0x8007000A);

// Bytes per stored row for a width: width × 3 rounded up to a multiple of 4
// (-1 when it does not fit 32 bits).
std::int32_t PageImageStride(std::int32_t width);

// Frees any existing block, sets width, height and stride (also when the
// allocation then fails) and allocates height × stride bytes, contents
// undefined. 0x80070001 (pixels null) when the block cannot be had,
// including sizes that are not positive or do not fit the address space.
HRESULT AllocatePageImage(std::int32_t width, std::int32_t height, PageImage* image);

// Frees the block if there is one and sets pixels to null; width, height and
// stride keep their values. Never fails; harmless on an empty image.
HRESULT FreePageImage(PageImage* image);

// Fills the image from a device-dependent bitmap. An existing block of the
// bitmap's size is reused without clearing. `headerOut` (optional, 40 bytes)
// receives the header used for the transfer.
// 0x80070008 the bitmap's size cannot be read; 0x80070001 no memory;
// 0x80070009 no rows could be copied.
HRESULT PageImageFromBitmap(HDC reference, HBITMAP bitmap, PageImage* image,
                            BITMAPINFOHEADER* headerOut = nullptr);

// The same for a bitmap that its owner deletes right afterwards: the rows are
// copied band by band from the lowest up, and each band's memory in the
// bitmap is given back as soon as it is copied, so that a very tall picture
// is never held twice. The bitmap's pixels are black afterwards.
HRESULT PageImageFromBitmapReleasing(HDC reference, HBITMAP bitmap, PageImage* image);

// Writes the image's pixels into an existing bitmap of the same size.
// 0x80004003 the image has no block; 0x8007000A the rows cannot be written.
HRESULT PageImageToBitmap(HDC reference, HBITMAP bitmap, const PageImage* image,
                          BITMAPINFOHEADER* headerOut = nullptr);

// Number of pixel blocks allocated so far in this process (lets tests see
// whether a block was reused).
std::uint64_t PageImageAllocationCount();

}  // namespace ss
