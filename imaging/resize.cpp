#include "imaging/resize.h"

#include <cstdint>
#include <limits>

#include "imaging/resample.h"

namespace ss {

bool ResizeChangesPicture(const Settings& settings) {
  const std::string& resize = settings.ImageResize.Resize;
  return resize == "ByPercentage" || resize == "ByFixedWidthByPixels";
}

HRESULT ResizePageImage(Settings& settings, PageImage& pageImage) {
  auto& resize = settings.ImageResize;
  const bool byPercentage = resize.Resize == "ByPercentage";
  const bool byFixedWidth = resize.Resize == "ByFixedWidthByPixels";
  if (!byPercentage && !byFixedWidth) {
    resize.Resize = "NoResize";
    return S_OK;
  }
  if (!pageImage.pixels) return E_POINTER;
  const std::int64_t w = pageImage.width, h = pageImage.height;
  std::int64_t tw, th;
  if (byPercentage) {
    const std::int64_t p = resize.ByPercentage;
    tw = w * p / 100;
    th = h * p / 100;
  } else {
    const std::int64_t f = resize.FixedWidthByPixels;
    tw = f;
    th = w > 0 ? h * f / w : 0;
  }
  // A negative scale (only possible through a stored value) is as unusable
  // as a zero one.
  if (tw <= 0 || th <= 0) return RESIZE_E_ZEROSIZE;
  if (tw > std::numeric_limits<std::int32_t>::max() || th > std::numeric_limits<std::int32_t>::max())
    return PAGEIMAGE_E_ALLOC;

  PageImage resized = kEmptyPageImage;
  HRESULT hr = AllocatePageImage(static_cast<std::int32_t>(tw), static_cast<std::int32_t>(th), &resized);
  if (hr != S_OK) return hr;
  hr = ResampleImage(&pageImage, &resized);
  if (hr != S_OK) {
    FreePageImage(&resized);
    return hr;
  }
  FreePageImage(&pageImage);
  pageImage = resized;  // hands the block over
  return S_OK;
}

}  // namespace ss
