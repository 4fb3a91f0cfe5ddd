#include "imaging/resample.h"

#include <gtest/gtest.h>

#include <vector>

#include "imaging/tests/image_helpers.h"

namespace ss {
namespace {

using test::OwnedImage;

std::vector<std::int32_t> Breakpoints(int count, int span) {
  std::vector<std::int32_t> t(static_cast<std::size_t>(span) + 1, -1);
  BuildBreakpoints(count, span, t.data());
  return t;
}

TEST(Breakpoints, KnownTables) {
  struct Case {
    int count, span;
    std::vector<std::int32_t> table;
  };
  const Case cases[] = {
      {6, 2, {0, 2, 5}},                      // 3 × 3 enlarged to 6 × 6
      {10, 7, {0, 1, 3, 4, 5, 7, 8, 10}},     // 8 × 8 enlarged to 10 × 10
      {4, 2, {0, 1, 3}},                      // 4 × 4 reduced to 2 × 2
      {4, 1, {0, 2}},                         // 2 enlarged to 4: last two columns uncovered
      {5, 0, {0}},                            // span 0 stores only the start
  };
  for (const Case& c : cases) EXPECT_EQ(Breakpoints(c.count, c.span), c.table) << c.count << "/" << c.span;
}

TEST(Breakpoints, EachEntryIsTheSmallestStepPastItsMidpoint) {
  for (int n = 1; n <= 60; ++n) {
    for (int a = 1; a <= n; ++a) {
      auto t = Breakpoints(n, a);
      ASSERT_EQ(t[0], 0);
      for (int j = 1; j <= a; ++j) {
        const int want = ((2 * j - 1) * n + 2 * a - 1) / (2 * a);  // ceiling
        ASSERT_EQ(t[j], want) << n << "/" << a << " entry " << j;
        ASSERT_GT(t[j], t[j - 1]);
      }
    }
  }
  // 640 columns reduced to 320: boxes {0}, {1, 2}, ..., {637, 638}; 639 unused.
  auto t = Breakpoints(640, 320);
  EXPECT_EQ(t[1], 1);
  EXPECT_EQ(t[2], 3);
  EXPECT_EQ(t[320], 639);
}

int Mix(int x, int y, int c) { return (x * 37 + y * 91 + c * 53) % 256; }

TEST(Reduce, FourByFourToTwoByTwoAveragesItsBoxes) {
  OwnedImage src(4, 4), dst(2, 2);
  src.Fill(Mix);
  ASSERT_EQ(ResampleImage(&src.img, &dst.img), S_OK);
  for (int c = 0; c < 3; ++c) {
    EXPECT_EQ(dst.At(0, 0, c), src.At(0, 0, c));
    EXPECT_EQ(dst.At(1, 0, c), (src.At(1, 0, c) + src.At(2, 0, c)) / 2);
    EXPECT_EQ(dst.At(0, 1, c), (src.At(0, 1, c) + src.At(0, 2, c)) / 2);
    EXPECT_EQ(dst.At(1, 1, c), (src.At(1, 1, c) + src.At(2, 1, c) + src.At(1, 2, c) + src.At(2, 2, c)) / 4);
  }
  // Column 3 and row 3 belong to no box.
  OwnedImage again(2, 2);
  for (int i = 0; i < 4; ++i)
    for (int c = 0; c < 3; ++c) src.At(3, i, c) = src.At(i, 3, c) = 255;
  ASSERT_EQ(ResampleImage(&src.img, &again.img), S_OK);
  EXPECT_EQ(0, std::memcmp(again.img.pixels, dst.img.pixels, 2 * 8 - 2));
}

TEST(Reduce, RoundsDown) {
  OwnedImage src(3, 3), dst(2, 2);
  src.Fill([](int x, int y, int) { return x == 1 ? 1 : 0; });
  ASSERT_EQ(ReduceImage(&src.img, &dst.img), S_OK);
  // Column boxes of 3 → 2 are {0} and {1, 2}: (1 + 0) / 2 rounds to 0.
  EXPECT_EQ(dst.At(1, 0, 0), 0);
  EXPECT_EQ(dst.At(0, 0, 0), 0);
}

TEST(Enlarge, ThreeByThreeToSixBySix) {
  OwnedImage src(3, 3), dst(6, 6);
  src.Fill(Mix);
  ASSERT_EQ(ResampleImage(&src.img, &dst.img), S_OK);
  for (int c = 0; c < 3; ++c) {
    EXPECT_EQ(dst.At(0, 0, c), src.At(0, 0, c));
    // Cell columns 0..1 (table 0, 2, 5): x = 1 is half way to source (1, 0).
    EXPECT_EQ(dst.At(1, 0, c), (src.At(0, 0, c) + src.At(1, 0, c)) / 2);
    EXPECT_EQ(dst.At(2, 0, c), src.At(1, 0, c)) << "a cell starts on its own corner";
    EXPECT_EQ(dst.At(2, 2, c), src.At(1, 1, c));
    // Column 5 and row 5 lie in no cell: they repeat the nearest computed pixel.
    for (int y = 0; y < 6; ++y) EXPECT_EQ(dst.At(5, y, c), dst.At(4, y, c)) << y;
    for (int x = 0; x < 6; ++x) EXPECT_EQ(dst.At(x, 5, c), dst.At(x, 4, c)) << x;
  }
}

// Runs the resampler twice, over a destination prefilled with 0x00 and then
// 0xFF; every pixel byte must come out the same, so none was left unwritten.
void ExpectEveryPixelWritten(int sw, int sh, int dw, int dh) {
  OwnedImage src(sw, sh), a(dw, dh), b(dw, dh);
  src.Fill(Mix);
  a.FillBytes(0x00);
  b.FillBytes(0xFF);
  ASSERT_EQ(ResampleImage(&src.img, &a.img), S_OK);
  ASSERT_EQ(ResampleImage(&src.img, &b.img), S_OK);
  for (int y = 0; y < dh; ++y)
    ASSERT_EQ(0, std::memcmp(a.img.pixels + a.img.stride * y, b.img.pixels + b.img.stride * y, 3 * dw))
        << sw << "x" << sh << " -> " << dw << "x" << dh << " row " << y;
}

TEST(Enlarge, EveryDestinationPixelIsDefined) {
  const int sizes[][4] = {{8, 8, 10, 10}, {3, 3, 6, 6}, {2, 2, 4, 4}, {100, 3, 200, 7},
                          {1, 1, 5, 4},   {1, 4, 3, 9}, {5, 1, 11, 3}, {7, 9, 8, 10}};
  for (auto& s : sizes) ExpectEveryPixelWritten(s[0], s[1], s[2], s[3]);
}

TEST(Enlarge, OnePixelWideSourceIsRepeatedAcrossAndInterpolatedDown) {
  OwnedImage src(1, 3), dst(4, 6);
  src.Fill([](int, int y, int) { return y * 100; });
  ASSERT_EQ(ResampleImage(&src.img, &dst.img), S_OK);
  for (int y = 0; y < 6; ++y)
    for (int x = 1; x < 4; ++x) EXPECT_EQ(dst.At(x, y, 1), dst.At(0, y, 1)) << x << "," << y;
  EXPECT_EQ(dst.At(0, 0, 0), 0);
  EXPECT_EQ(dst.At(0, 1, 0), 50);   // half way between rows 0 and 1
  EXPECT_EQ(dst.At(0, 2, 0), 100);  // row table 0, 2, 5
}

TEST(Enlarge, LargeCellsDoNotOverflow) {
  // 2 → 4001 gives the tables 0, 2001: one cell of 2001 × 2001 pixels,
  // where 255 × its area is beyond 32 bits.
  OwnedImage src(2, 2), dst(4001, 4001);
  src.Fill([](int x, int y, int) { return (x + y) % 2 ? 255 : 0; });
  ASSERT_EQ(ResampleImage(&src.img, &dst.img), S_OK);
  EXPECT_EQ(dst.At(0, 0, 0), 0);
  EXPECT_EQ(dst.At(1000, 1000, 0), 127);  // 255 · 2002000 / 4004001
  EXPECT_EQ(dst.At(2000, 0, 0), 254);     // 255 · 2000 · 2001 / 2001²
  EXPECT_EQ(dst.At(4000, 0, 0), 254) << "past the cell: the nearest computed pixel";
}

TEST(Resample, EqualSizesCopyByteForByteWithPadding) {
  OwnedImage src(5, 3), dst(5, 3);
  src.Fill(Mix, 0xEE);
  dst.FillBytes(0);
  ASSERT_EQ(ResampleImage(&src.img, &dst.img), S_OK);
  EXPECT_EQ(0, std::memcmp(src.img.pixels, dst.img.pixels, 16 * 3));
}

TEST(Resample, MixedDirectionsAreRefusedAndLeaveTheDestination) {
  const int combos[][2] = {{200, 50}, {200, 40}, {50, 50}, {100, 60}, {50, 60}, {100, 40}};
  OwnedImage src(100, 50);
  src.Fill(Mix);
  for (auto& c : combos) {
    OwnedImage dst(c[0], c[1]);
    dst.FillBytes(0x5A);
    EXPECT_EQ(ResampleImage(&src.img, &dst.img), MakeHResult(0x83FD0007)) << c[0] << "x" << c[1];
    for (int i = 0; i < dst.img.stride * dst.img.height; ++i) ASSERT_EQ(dst.img.pixels[i], 0x5A);
  }
}

}  // namespace
}  // namespace ss
