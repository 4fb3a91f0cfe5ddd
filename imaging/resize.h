// The resize step: scales the finished picture by the `ImageResize` settings.
#pragma once

#include "core/page_image.h"
#include "platform/base/result.h"
#include "settings/settings.h"

namespace ss {

constexpr HRESULT RESIZE_E_ZEROSIZE = MakeHResult(0x800409CB);

// Replaces `pageImage` by its copy scaled according to `settings.ImageResize`:
// "ByPercentage" scales both sides by `ByPercentage` percent,
// "ByFixedWidthByPixels" makes the width `FixedWidthByPixels` and keeps the
// aspect ratio (divisions truncate). Any other `Resize` text is replaced by
// "NoResize" in `settings` (in memory only) and nothing changes. `Algorithm`
// is not consulted: the method follows from the sizes.
//
// 0 on success or when nothing is to be done; 0x800409CB when the target
// width or height is 0 or negative; 0x80070001 when the resized image cannot
// be allocated; 0x83FD0007 when one side would grow and the other shrink or
// stay. On failure the picture stays as it was.
HRESULT ResizePageImage(Settings& settings, PageImage& pageImage);

// True when the settings ask ResizePageImage for a new picture (which may
// still fail); false when it leaves the picture as it is.
bool ResizeChangesPicture(const Settings& settings);

}  // namespace ss
