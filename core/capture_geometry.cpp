#include "core/capture_geometry.h"

#include <algorithm>
#include <cctype>

namespace ss {

RenderSizes ComputeRenderSize(const Settings& s, SIZE page, bool isFrameset, const SystemSizes& sys) {
  const ImageExpandValues& e = s.ImageExpand;
  RenderSizes r;
  LONG width = page.cx;
  r.minimum.cx = (e.ExpandWidth == "ByPixels" ? e.WidthByPixels : page.cx) + e.AdjustWidth;
  if (r.minimum.cx >= width) width = r.minimum.cx;

  LONG height = page.cy;
  LONG base;
  if (e.ExpandHeight == "ByPixels") base = e.HeightByPixels;
  else if (e.ExpandHeight == "ByAspect") base = static_cast<LONG>(static_cast<std::int64_t>(e.HeightByAspect) * width / 100);
  else base = page.cy;
  r.minimum.cy = base + e.AdjustHeight;
  if (r.minimum.cy > page.cy) height = r.minimum.cy;

  if (!isFrameset) width += sys.cxVScroll;
  width += 2 * sys.cxEdge;
  height += 2 * sys.cyEdge;
  r.render.cx = std::max<LONG>(width, 0);
  r.render.cy = std::max<LONG>(height, 0);
  return r;
}

CropResult ApplyCrop(const Settings& s, SIZE view, bool omitScrollbars, const SystemSizes& sys) {
  const ImageCropValues& c = s.ImageCrop;
  CropResult r;
  r.view = view;
  r.cropWidth = c.CropWidth == "ByPixels" ? c.WidthByPixels : view.cx;
  if (c.Left + r.cropWidth < view.cx)
    r.view.cx = static_cast<LONG>(c.Left + r.cropWidth + sys.cxEdge + (omitScrollbars ? sys.cxVScroll : 0));
  if (c.CropHeight == "ByPixels") r.cropHeight = c.HeightByPixels;
  else if (c.CropHeight == "ByAspect") r.cropHeight = static_cast<std::int64_t>(c.HeightByAspect) * r.view.cx / 100;
  else r.cropHeight = view.cy;
  if (c.Top + r.cropHeight < view.cy) r.view.cy = static_cast<LONG>(c.Top + r.cropHeight + sys.cyEdge);
  return r;
}

double CaptureSizeMB(const CropResult& crop) {
  return static_cast<double>(crop.cropWidth * crop.cropHeight * 3) / 1048576.0;
}

bool IsImageDocument(const std::string& mimeType) {
  std::string lower = mimeType;
  std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char ch) { return std::tolower(ch); });
  for (const char* kind : {"jpeg", "gif", "bmp", "tiff", "png"})
    if (lower.find(kind) != std::string::npos) return true;
  return false;
}

Insets ComputeCuts(const Settings& s, bool cutMargins, const Insets& margins, const SystemSizes& sys) {
  Insets cuts;
  cuts.left = sys.cxEdge;
  cuts.top = sys.cyEdge;
  cuts.right = s.OmitScrollbars ? sys.cxVScroll : 0;
  cuts.bottom = 0;
  if (cutMargins) {
    cuts.left += margins.left;
    cuts.top += margins.top;
    cuts.right += margins.right;
    cuts.bottom += margins.bottom;
  }
  return cuts;
}

OutputSizes ComputeOutputSizes(const Settings& s, SIZE render, SIZE view, const Insets& cuts, bool skinDraws,
                               const Insets& insets) {
  OutputSizes o;
  o.block = {render.cx - cuts.left - cuts.right, render.cy - cuts.top - cuts.bottom};
  o.out = {view.cx - cuts.left - cuts.right, view.cy - cuts.top - cuts.bottom};
  if (skinDraws) {
    o.out.cx += insets.left + insets.right;
    o.out.cy += insets.top + insets.bottom;
  }
  o.out.cx -= s.ImageCrop.Left;
  o.out.cy -= s.ImageCrop.Top;
  o.source = {s.ImageCrop.Left + cuts.left, s.ImageCrop.Top + cuts.top};
  return o;
}

}  // namespace ss
