#include "core/capture_geometry.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace ss {
namespace {

const SystemSizes kSys{2, 2, 17};

struct Geometry {
  SIZE render, view, out;
  Insets cuts;
  POINT source;
};

// The arithmetic of one capture, step by step, as the capture runs it.
Geometry Arrange(const Settings& s, SIZE page, bool frameset = false, bool cutMargins = false, Insets margins = {},
             bool skin = false, Insets insets = {}) {
  Geometry g;
  RenderSizes r = ComputeRenderSize(s, page, frameset, kSys);
  g.render = r.render;
  CropResult crop = ApplyCrop(s, {r.render.cx - kSys.cxEdge, r.render.cy - kSys.cyEdge}, s.OmitScrollbars != 0, kSys);
  g.view = crop.view;
  g.cuts = ComputeCuts(s, cutMargins, margins, kSys);
  OutputSizes o = ComputeOutputSizes(s, g.render, g.view, g.cuts, skin, insets);
  g.out = o.out;
  g.source = o.source;
  return g;
}

TEST(CaptureGeometryTest, PlainPageWithAndWithoutScrollbarStrip) {
  Settings s;
  s.OmitScrollbars = 0;
  Geometry g = Arrange(s, {800, 5000});
  EXPECT_EQ(g.render.cx, 821);
  EXPECT_EQ(g.render.cy, 5004);
  EXPECT_EQ(g.view.cx, 819);
  EXPECT_EQ(g.view.cy, 5002);
  EXPECT_EQ(g.cuts.left, 2);
  EXPECT_EQ(g.cuts.top, 2);
  EXPECT_EQ(g.cuts.right, 0);
  EXPECT_EQ(g.out.cx, 817);
  EXPECT_EQ(g.out.cy, 5000);

  s.OmitScrollbars = 1;
  g = Arrange(s, {800, 5000});
  EXPECT_EQ(g.cuts.right, 17);
  EXPECT_EQ(g.out.cx, 800);
  EXPECT_EQ(g.out.cy, 5000);
}

TEST(CaptureGeometryTest, CropFromAStartRow) {
  Settings s;
  s.ImageCrop.CropHeight = "ByPixels";
  s.ImageCrop.HeightByPixels = 480;
  s.ImageCrop.Top = 100;
  Geometry g = Arrange(s, {800, 5000});
  EXPECT_EQ(g.view.cy, 100 + 480 + 2);  // only the cropped rows are painted
  EXPECT_EQ(g.out.cy, 480);
  EXPECT_EQ(g.source.y, 102);  // page row 100, below the top edge
  EXPECT_EQ(g.out.cx, 800);
}

TEST(CaptureGeometryTest, AspectCropCountsTheEdgeInItsBase) {
  Settings s;
  s.OmitScrollbars = 0;
  s.ImageCrop.CropWidth = "ByPixels";
  s.ImageCrop.WidthByPixels = 640;
  s.ImageCrop.CropHeight = "ByAspect";
  s.ImageCrop.HeightByAspect = 75;
  CropResult crop = ApplyCrop(s, {2019, 5002}, false, kSys);
  EXPECT_EQ(crop.view.cx, 642);
  EXPECT_EQ(crop.cropHeight, 481);
  EXPECT_EQ(crop.view.cy, 481 + 2);
}

TEST(CaptureGeometryTest, ExpandAndArrangement) {
  struct Case {
    const char* what;
    const char* expandWidth;
    std::int32_t widthPixels, adjustHeight;
    SIZE page;
    bool frameset;
    SIZE render;
  } cases[] = {
      {"expand 800 to 1024", "ByPixels", 1024, 0, {800, 600}, false, {1024 + 21, 604}},
      {"1200 stays", "ByPixels", 1024, 0, {1200, 600}, false, {1200 + 21, 604}},
      {"negative arrangement never shrinks", "NoExpand", 0, -100, {800, 600}, false, {821, 604}},
      {"frameset has no strip", "NoExpand", 0, 0, {800, 600}, true, {804, 604}},
      {"unknown mode is no expand", "Wider", 5000, 0, {800, 600}, false, {821, 604}},
  };
  for (const Case& c : cases) {
    Settings s;
    s.ImageExpand.ExpandWidth = c.expandWidth;
    s.ImageExpand.WidthByPixels = c.widthPixels;
    s.ImageExpand.AdjustHeight = c.adjustHeight;
    RenderSizes r = ComputeRenderSize(s, c.page, c.frameset, kSys);
    EXPECT_EQ(r.render.cx, c.render.cx) << c.what;
    EXPECT_EQ(r.render.cy, c.render.cy) << c.what;
  }
  Settings s;
  s.ImageExpand.ExpandHeight = "ByAspect";
  s.ImageExpand.HeightByAspect = 150;
  s.ImageExpand.ExpandWidth = "ByPixels";
  s.ImageExpand.WidthByPixels = 1000;
  RenderSizes r = ComputeRenderSize(s, {800, 600}, false, kSys);
  EXPECT_EQ(r.minimum.cy, 1500);  // 150 % of the expanded width
  EXPECT_EQ(r.render.cy, 1504);
}

TEST(CaptureGeometryTest, LargeCaptureEstimate) {
  Settings s;
  s.ImageCrop.CropWidth = "ByPixels";
  s.ImageCrop.WidthByPixels = 1000;
  s.ImageCrop.CropHeight = "ByPixels";
  s.ImageCrop.HeightByPixels = 4000;
  CropResult crop = ApplyCrop(s, {2000, 9000}, true, kSys);
  char shown[32];
  std::snprintf(shown, sizeof shown, "%0.2f", CaptureSizeMB(crop));
  EXPECT_STREQ(shown, "11.44");
}

TEST(CaptureGeometryTest, MarginsImageDocumentsAndSkinInsets) {
  EXPECT_TRUE(IsImageDocument("image/JPEG"));
  EXPECT_TRUE(IsImageDocument("PNG Image"));
  EXPECT_FALSE(IsImageDocument("text/html"));

  Settings s;
  Geometry g = Arrange(s, {800, 600}, false, true, {8, 10, 8, 12});
  EXPECT_EQ(g.cuts.left, 10);
  EXPECT_EQ(g.cuts.top, 12);
  EXPECT_EQ(g.cuts.right, 25);
  EXPECT_EQ(g.cuts.bottom, 12);
  EXPECT_EQ(g.out.cx, 800 - 16);
  EXPECT_EQ(g.out.cy, 600 - 22);

  g = Arrange(s, {800, 600}, false, false, {}, true, {10, 30, 10, 20});
  EXPECT_EQ(g.out.cx, 820);
  EXPECT_EQ(g.out.cy, 650);
}

}  // namespace
}  // namespace ss
