#include "core/page_image.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace ss {
namespace {

// A memory context with a bitmap selected, released on scope exit.
class Surface {
 public:
  Surface(int w, int h) {
    dc_ = CreateCompatibleDC(0);
    bmp_ = CreateCompatibleBitmap(dc_, w, h);
    old_ = SelectObject(dc_, bmp_);
  }
  ~Surface() {
    SelectObject(dc_, old_);
    DeleteObject(bmp_);
    DeleteDC(dc_);
  }
  HDC dc() const { return dc_; }
  HBITMAP bitmap() const { return bmp_; }

 private:
  HDC dc_ = 0;
  HBITMAP bmp_ = 0;
  HGDIOBJ old_ = 0;
};

// Frees the image's block when the test ends, whatever happened.
struct ImageGuard {
  PageImage image = kEmptyPageImage;
  ~ImageGuard() { FreePageImage(&image); }
};

TEST(PageImageStride, RoundsRowsUpToWholeWords) {
  struct Case {
    int width, stride;
  };
  for (Case c : {Case{1, 4}, Case{4, 12}, Case{5, 16}, Case{1000, 3000}, Case{1001, 3004}}) {
    ImageGuard g;
    ASSERT_EQ(AllocatePageImage(c.width, 2, &g.image), S_OK);
    EXPECT_EQ(g.image.stride, c.stride) << "width " << c.width;
    EXPECT_EQ(g.image.width, c.width);
    EXPECT_EQ(g.image.height, 2);
    EXPECT_NE(g.image.pixels, nullptr);
  }
}

TEST(PageImageAlloc, FailureKeepsTheSizeAndLeavesNoBlock) {
  ImageGuard g;
  ASSERT_EQ(AllocatePageImage(10, 10, &g.image), S_OK);
  // About 3 TB: no allocator gives that.
  EXPECT_EQ(AllocatePageImage(100000, 10000000, &g.image), MakeHResult(0x80070001));
  EXPECT_EQ(g.image.pixels, nullptr) << "the old block is freed, no new one";
  EXPECT_EQ(g.image.width, 100000);
  EXPECT_EQ(g.image.height, 10000000);
  EXPECT_EQ(g.image.stride, 300000);
  EXPECT_EQ(AllocatePageImage(0, 5, &g.image), MakeHResult(0x80070001));
  EXPECT_EQ(AllocatePageImage(5, -1, &g.image), MakeHResult(0x80070001));
  EXPECT_EQ(g.image.pixels, nullptr);
}

TEST(PageImageFree, EmptyAndDoubleFreeAreHarmless) {
  PageImage empty = kEmptyPageImage;
  EXPECT_EQ(FreePageImage(&empty), S_OK);
  PageImage img = kEmptyPageImage;
  ASSERT_EQ(AllocatePageImage(3, 3, &img), S_OK);
  EXPECT_EQ(FreePageImage(&img), S_OK);
  EXPECT_EQ(img.pixels, nullptr);
  EXPECT_EQ(img.width, 3) << "the size stays";
  EXPECT_EQ(img.stride, 12);
  EXPECT_EQ(FreePageImage(&img), S_OK);
  EXPECT_EQ(img.pixels, nullptr);
}

TEST(PageImageFromBitmap, ReadsBottomUpRowsAndReusesABlockOfTheSameSize) {
  Surface s(5, 3);
  // Top row red, bottom row blue.
  for (int x = 0; x < 5; ++x) {
    SetPixel(s.dc(), x, 0, RGB(255, 0, 0));
    SetPixel(s.dc(), x, 2, RGB(0, 0, 255));
  }
  ImageGuard g;
  BITMAPINFOHEADER header{};
  ASSERT_EQ(PageImageFromBitmap(s.dc(), s.bitmap(), &g.image, &header), S_OK);
  EXPECT_EQ(g.image.width, 5);
  EXPECT_EQ(g.image.height, 3);
  EXPECT_EQ(g.image.stride, 16);
  // First stored row = bottom of the picture (blue), last = top (red).
  EXPECT_EQ(g.image.pixels[0], 255);
  EXPECT_EQ(g.image.pixels[2], 0);
  EXPECT_EQ(g.image.pixels[2 * 16 + 14], 255);
  EXPECT_EQ(g.image.pixels[2 * 16 + 12], 0);
  EXPECT_EQ(header.biSize, 40u);
  EXPECT_EQ(header.biHeight, 3);
  EXPECT_EQ(header.biBitCount, 24);
  EXPECT_EQ(header.biPlanes, 1);

  // Same size again: the block is reused.
  std::uint8_t* block = g.image.pixels;
  const auto allocations = PageImageAllocationCount();
  SetPixel(s.dc(), 0, 2, RGB(1, 2, 3));
  ASSERT_EQ(PageImageFromBitmap(s.dc(), s.bitmap(), &g.image), S_OK);
  EXPECT_EQ(PageImageAllocationCount(), allocations);
  EXPECT_EQ(g.image.pixels, block);
  EXPECT_EQ(g.image.pixels[0], 3);

  // Another size: a new block.
  Surface t(7, 2);
  ASSERT_EQ(PageImageFromBitmap(t.dc(), t.bitmap(), &g.image), S_OK);
  EXPECT_EQ(PageImageAllocationCount(), allocations + 1);
  EXPECT_EQ(g.image.width, 7);
  EXPECT_EQ(g.image.stride, 24);
}

// A tall bitmap converted band by band gives the same picture as the plain
// conversion, and its memory back.
TEST(PageImageFromBitmap, ReleasingConversionMatchesThePlainOne) {
  Surface s(300, 9000);
  for (int y = 0; y < 9000; y += 7) SetPixel(s.dc(), y % 300, y, RGB(y % 251, (y / 251) % 256, 77));
  ImageGuard plain, released;
  ASSERT_EQ(PageImageFromBitmap(s.dc(), s.bitmap(), &plain.image), S_OK);
  ASSERT_EQ(PageImageFromBitmapReleasing(s.dc(), s.bitmap(), &released.image), S_OK);
  ASSERT_EQ(released.image.stride, plain.image.stride);
  EXPECT_EQ(std::memcmp(plain.image.pixels, released.image.pixels,
                        static_cast<std::size_t>(plain.image.stride) * plain.image.height),
            0);
  // The bitmap's rows were given back: black now.
  EXPECT_EQ(GetPixel(s.dc(), 0, 0), RGB(0, 0, 0));
  EXPECT_EQ(GetPixel(s.dc(), 7 % 300, 7), RGB(0, 0, 0));
}

TEST(PageImageFromBitmap, UnknownBitmapIsReported) {
  ImageGuard g;
  EXPECT_EQ(PageImageFromBitmap(0, 0x4242, &g.image), MakeHResult(0x80070008));
  EXPECT_EQ(g.image.pixels, nullptr);
}

TEST(PageImageToBitmap, RoundTripAndEmptyImage) {
  ImageGuard g;
  ASSERT_EQ(AllocatePageImage(5, 2, &g.image), S_OK);
  for (int i = 0; i < 2 * 16; ++i) g.image.pixels[i] = static_cast<std::uint8_t>(i);
  Surface s(5, 2);
  BITMAPINFOHEADER header{};
  ASSERT_EQ(PageImageToBitmap(s.dc(), s.bitmap(), &g.image, &header), S_OK);
  EXPECT_EQ(header.biWidth, 5);
  // Stored row 0 (bytes 0..14) is the bottom row: pixel 0 = B0 G1 R2.
  EXPECT_EQ(GetPixel(s.dc(), 0, 1), RGB(2, 1, 0));
  EXPECT_EQ(GetPixel(s.dc(), 4, 0), RGB(16 + 14, 16 + 13, 16 + 12));

  ImageGuard back;
  ASSERT_EQ(PageImageFromBitmap(s.dc(), s.bitmap(), &back.image), S_OK);
  for (int r = 0; r < 2; ++r)
    EXPECT_EQ(0, std::memcmp(back.image.pixels + 16 * r, g.image.pixels + 16 * r, 15)) << "row " << r;

  PageImage empty = kEmptyPageImage;
  SetPixel(s.dc(), 0, 0, RGB(9, 9, 9));
  EXPECT_EQ(PageImageToBitmap(s.dc(), s.bitmap(), &empty), MakeHResult(0x80004003));
  EXPECT_EQ(GetPixel(s.dc(), 0, 0), RGB(9, 9, 9)) << "nothing touched";
  EXPECT_EQ(PageImageToBitmap(s.dc(), 0x4242, &g.image), MakeHResult(0x8007000A));
}

}  // namespace
}  // namespace ss

// The folder's tests share one executable; this entry point gives way to any
// other one defined there.
__attribute__((weak)) int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
