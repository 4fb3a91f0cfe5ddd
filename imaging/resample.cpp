#include "imaging/resample.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

namespace ss {
namespace {

struct FreeDeleter {
  void operator()(std::int32_t* p) const { std::free(p); }
};
using Table = std::unique_ptr<std::int32_t[], FreeDeleter>;

Table AllocTable(std::size_t entries) {
  return Table(static_cast<std::int32_t*>(std::malloc(entries * sizeof(std::int32_t))));
}

bool Usable(const PageImage* img) {
  return img && img->pixels && img->width > 0 && img->height > 0 && img->stride >= img->width * 3;
}

}  // namespace

void BuildBreakpoints(std::int32_t count, std::int32_t span, std::int32_t* table) {
  table[0] = 0;
  std::int32_t k = 0;
  std::int64_t acc = -static_cast<std::int64_t>(count);
  for (std::int32_t i = 1; i <= count; ++i) {
    acc += 2 * static_cast<std::int64_t>(span);
    if (acc >= 0) {
      table[++k] = i;
      acc -= 2 * static_cast<std::int64_t>(count);
    }
  }
}

HRESULT ResampleImage(const PageImage* source, PageImage* destination) {
  if (!Usable(source) || !Usable(destination)) return E_POINTER;
  const std::int32_t sw = source->width, sh = source->height;
  const std::int32_t dw = destination->width, dh = destination->height;
  if (sw == dw && sh == dh) {
    std::memcpy(destination->pixels, source->pixels,
                static_cast<std::size_t>(source->stride) * static_cast<std::size_t>(sh));
    return S_OK;
  }
  if (sw < dw && sh < dh) return EnlargeImage(source, destination);
  if (sw > dw && sh > dh) return ReduceImage(source, destination);
  return RESAMPLE_E_UNSUPPORTED;
}

HRESULT ReduceImage(const PageImage* source, PageImage* destination) {
  if (!Usable(source) || !Usable(destination)) return E_POINTER;
  const std::int32_t sw = source->width, sh = source->height;
  const std::int32_t dw = destination->width, dh = destination->height;
  if (dw > sw || dh > sh) return RESAMPLE_E_UNSUPPORTED;
  Table cols = AllocTable(static_cast<std::size_t>(dw) + 1);
  Table rows = cols ? AllocTable(static_cast<std::size_t>(dh) + 1) : nullptr;
  if (!cols || !rows) return RESAMPLE_E_NOMEMORY;
  BuildBreakpoints(sw, dw, cols.get());
  BuildBreakpoints(sh, dh, rows.get());
  for (std::int32_t x = 0; x < dw; ++x)
    if (cols[x + 1] <= cols[x]) return RESAMPLE_E_EMPTYBOX;
  for (std::int32_t y = 0; y < dh; ++y)
    if (rows[y + 1] <= rows[y]) return RESAMPLE_E_EMPTYBOX;

  // Column sums of one destination row's boxes, three channels per pixel.
  std::unique_ptr<std::uint32_t[]> sums(new (std::nothrow) std::uint32_t[static_cast<std::size_t>(dw) * 3]);
  if (!sums) return RESAMPLE_E_NOMEMORY;
  const std::size_t sstride = static_cast<std::size_t>(source->stride);
  const std::size_t dstride = static_cast<std::size_t>(destination->stride);
  for (std::int32_t y = 0; y < dh; ++y) {
    std::memset(sums.get(), 0, static_cast<std::size_t>(dw) * 3 * sizeof(std::uint32_t));
    const std::int32_t r0 = rows[y], r1 = rows[y + 1];
    for (std::int32_t r = r0; r < r1; ++r) {
      const std::uint8_t* src = source->pixels + sstride * static_cast<std::size_t>(r);
      std::uint32_t* sum = sums.get();
      for (std::int32_t x = 0; x < dw; ++x, sum += 3) {
        std::uint32_t b = 0, g = 0, red = 0;
        const std::uint8_t* p = src + 3 * static_cast<std::size_t>(cols[x]);
        const std::uint8_t* end = src + 3 * static_cast<std::size_t>(cols[x + 1]);
        for (; p < end; p += 3) {
          b += p[0];
          g += p[1];
          red += p[2];
        }
        sum[0] += b;
        sum[1] += g;
        sum[2] += red;
      }
    }
    std::uint8_t* dst = destination->pixels + dstride * static_cast<std::size_t>(y);
    const std::uint32_t boxRows = static_cast<std::uint32_t>(r1 - r0);
    const std::uint32_t* sum = sums.get();
    for (std::int32_t x = 0; x < dw; ++x, sum += 3, dst += 3) {
      const std::uint32_t n = boxRows * static_cast<std::uint32_t>(cols[x + 1] - cols[x]);
      dst[0] = static_cast<std::uint8_t>(sum[0] / n);
      dst[1] = static_cast<std::uint8_t>(sum[1] / n);
      dst[2] = static_cast<std::uint8_t>(sum[2] / n);
    }
  }
  return S_OK;
}

HRESULT EnlargeImage(const PageImage* source, PageImage* destination) {
  if (!Usable(source) || !Usable(destination)) return E_POINTER;
  const std::int32_t sw = source->width, sh = source->height;
  const std::int32_t dw = destination->width, dh = destination->height;
  if (dw < sw || dh < sh) return RESAMPLE_E_UNSUPPORTED;
  // A source one pixel wide (high) has no cells along that axis: one cell
  // spanning the whole destination, with both corners on the same pixel,
  // repeats it.
  Table xs = AllocTable(static_cast<std::size_t>(sw > 1 ? sw : 2));
  Table ys = xs ? AllocTable(static_cast<std::size_t>(sh > 1 ? sh : 2)) : nullptr;
  if (!xs || !ys) return RESAMPLE_E_NOMEMORY;
  std::int32_t cellCols, cellRows;
  if (sw > 1) {
    BuildBreakpoints(dw, sw - 1, xs.get());
    cellCols = sw - 1;
  } else {
    xs[0] = 0;
    xs[1] = dw;
    cellCols = 1;
  }
  if (sh > 1) {
    BuildBreakpoints(dh, sh - 1, ys.get());
    cellRows = sh - 1;
  } else {
    ys[0] = 0;
    ys[1] = dh;
    cellRows = 1;
  }
  const std::int32_t coveredCols = xs[cellCols];
  const std::int32_t coveredRows = ys[cellRows];
  const std::size_t sstride = static_cast<std::size_t>(source->stride);
  const std::size_t dstride = static_cast<std::size_t>(destination->stride);

  // A one-pixel axis has both corners on the same pixel; its weights are
  // kept at (1, 0) so the products stay small however wide the cell is.
  // Products are formed in 64 bits: a cell of a large enlargement can exceed
  // what 32 bits hold once multiplied by 255.
  const bool flatX = sw == 1, flatY = sh == 1;
  for (std::int32_t j = 0; j < cellRows; ++j) {
    const std::int32_t y0 = ys[j], y1 = ys[j + 1];
    const std::uint8_t* row0 = source->pixels + sstride * static_cast<std::size_t>(j);
    const std::uint8_t* row1 = flatY ? row0 : row0 + sstride;
    for (std::int32_t k = 0; k < cellCols; ++k) {
      const std::int32_t x0 = xs[k], x1 = xs[k + 1];
      if (x1 <= x0 || y1 <= y0) continue;
      const std::int64_t area = static_cast<std::int64_t>(flatX ? 1 : x1 - x0) * (flatY ? 1 : y1 - y0);
      const std::size_t k1 = flatX ? static_cast<std::size_t>(k) : static_cast<std::size_t>(k) + 1;
      const std::uint8_t* p00 = row0 + 3 * static_cast<std::size_t>(k);
      const std::uint8_t* p10 = row0 + 3 * k1;
      const std::uint8_t* p01 = row1 + 3 * static_cast<std::size_t>(k);
      const std::uint8_t* p11 = row1 + 3 * k1;
      for (std::int32_t y = y0; y < y1; ++y) {
        const std::int64_t wy0 = flatY ? 1 : y1 - y, wy1 = flatY ? 0 : y - y0;
        std::uint8_t* dst = destination->pixels + dstride * static_cast<std::size_t>(y) + 3 * static_cast<std::size_t>(x0);
        for (std::int32_t x = x0; x < x1; ++x, dst += 3) {
          const std::int64_t wx0 = flatX ? 1 : x1 - x, wx1 = flatX ? 0 : x - x0;
          const std::int64_t a = wx0 * wy0, b = wx1 * wy0, c = wx0 * wy1, d = wx1 * wy1;
          for (int ch = 0; ch < 3; ++ch)
            dst[ch] = static_cast<std::uint8_t>((p00[ch] * a + p10[ch] * b + p01[ch] * c + p11[ch] * d) / area);
        }
      }
    }
  }

  // Columns and rows past the last cell take the nearest computed pixel.
  if (coveredCols < dw) {
    for (std::int32_t y = 0; y < coveredRows; ++y) {
      std::uint8_t* row = destination->pixels + dstride * static_cast<std::size_t>(y);
      const std::uint8_t* last = row + 3 * static_cast<std::size_t>(coveredCols - 1);
      for (std::int32_t x = coveredCols; x < dw; ++x) std::memcpy(row + 3 * static_cast<std::size_t>(x), last, 3);
    }
  }
  const std::uint8_t* lastRow = destination->pixels + dstride * static_cast<std::size_t>(coveredRows - 1);
  for (std::int32_t y = coveredRows; y < dh; ++y)
    std::memcpy(destination->pixels + dstride * static_cast<std::size_t>(y), lastRow, static_cast<std::size_t>(dw) * 3);
  return S_OK;
}

}  // namespace ss
