// The size arithmetic of a whole-page capture: the size at which the page is
// laid out and painted, the crop applied to the receiving bitmap, the strips
// cut off after painting and the size of the final picture.
#pragma once

#include <cstdint>
#include <string>

#include "platform/gdi/gdi.h"
#include "settings/settings.h"

namespace ss {

struct Insets {
  LONG left = 0, top = 0, right = 0, bottom = 0;
};

struct SystemSizes {
  LONG cxEdge = 2, cyEdge = 2, cxVScroll = 17;
};

// The layout size of the document (page, arrangement, minimum size, room for
// its own scrollbar unless it is a frameset, and the view's edges), and the
// minimum size the centred crop uses.
struct RenderSizes {
  SIZE render{};   // renderSize
  SIZE minimum{};  // minSize
};
RenderSizes ComputeRenderSize(const Settings& settings, SIZE pageSize, bool isFrameset, const SystemSizes& sys);

// The crop applied to the receiving bitmap (`viewSize` in, cropped out) and
// the crop area whose memory the large-capture question estimates.
struct CropResult {
  SIZE view{};
  std::int64_t cropWidth = 0;
  std::int64_t cropHeight = 0;
};
CropResult ApplyCrop(const Settings& settings, SIZE viewSize, bool omitScrollbars, const SystemSizes& sys);

// Megabytes of a 24-bit picture of the crop area, as the question shows them.
double CaptureSizeMB(const CropResult& crop);

// True when the document's MIME type names an image.
bool IsImageDocument(const std::string& mimeType);

// The strips removed after painting.
Insets ComputeCuts(const Settings& settings, bool cutMargins, const Insets& margins, const SystemSizes& sys);

// The block copied from the painted bitmap and the final picture's size.
struct OutputSizes {
  SIZE block{};
  SIZE out{};
  POINT source{};  // where the block starts in the painted bitmap
};
OutputSizes ComputeOutputSizes(const Settings& settings, SIZE renderSize, SIZE viewSize, const Insets& cuts,
                               bool skinDraws, const Insets& insets);

}  // namespace ss
