// Scaling of one page image into another of a different size, in integer
// arithmetic only: a reduction averages boxes of source pixels, an
// enlargement interpolates bilinearly between neighbouring source pixels.
// Both axes must go the same way; any other size combination is refused.
#pragma once

#include <cstdint>

#include "core/page_image.h"
#include "platform/base/result.h"

namespace ss {

constexpr HRESULT RESAMPLE_E_NOMEMORY = MakeHResult(0x80070001);
constexpr HRESULT RESAMPLE_E_UNSUPPORTED = MakeHResult(0x83FD0007);
constexpr HRESULT RESAMPLE_E_EMPTYBOX = MakeHResult(0x80004005);

// Fills `table` with the breakpoints of a midpoint line walk of `count` steps
// over `span` units (span ≤ count): span + 1 rising entries, table[0] = 0 and
// entry j the smallest i with 2·span·i ≥ (2j − 1)·count. With span 0 only
// table[0] is stored.
void BuildBreakpoints(std::int32_t count, std::int32_t span, std::int32_t* table);

// Scales `source` into `destination`, which the caller has allocated with the
// target size. Equal sizes copy the pixel block byte for byte; both axes
// larger enlarge; both smaller reduce; anything else returns 0x83FD0007 with
// the destination unwritten. The source is never changed.
HRESULT ResampleImage(const PageImage* source, PageImage* destination);

// Box averaging: destination pixel (x, y) is the mean, rounded down, of
// source columns C[x] ≤ c < C[x+1] and rows R[y] ≤ r < R[y+1], where C and R
// are the breakpoints of (source width, destination width) and (source
// height, destination height). Source columns and rows past the last
// breakpoint are ignored.
HRESULT ReduceImage(const PageImage* source, PageImage* destination);

// Bilinear interpolation in cells between neighbouring source pixels, laid
// out by the breakpoints of (destination size, source size − 1). Destination
// columns and rows past the last cell take the value of the nearest computed
// pixel, and a source one pixel wide or high is repeated along that axis, so
// every destination pixel is defined.
HRESULT EnlargeImage(const PageImage* source, PageImage* destination);

}  // namespace ss
