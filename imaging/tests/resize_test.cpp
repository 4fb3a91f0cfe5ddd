#include "imaging/resize.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "imaging/tests/image_helpers.h"
#include "tests/support/test_home.h"

namespace ss {
namespace {

using test::OwnedImage;

int Mix(int x, int y, int c) { return (x * 7 + y * 3 + c * 11) % 256; }

class ResizeStep : public ::testing::Test {
 protected:
  test::TempHome home_;
  Settings settings_;

  void Mode(const char* resize, int percent = 50, int fixedWidth = 640) {
    settings_.ImageResize.Resize = resize;
    settings_.ImageResize.ByPercentage = percent;
    settings_.ImageResize.FixedWidthByPixels = fixedWidth;
  }
};

TEST_F(ResizeStep, TargetSizes) {
  struct Case {
    const char* mode;
    int percent, fixed, w, h, tw, th;
  };
  const Case cases[] = {
      {"ByPercentage", 50, 0, 1001, 3001, 500, 1500},
      {"ByFixedWidthByPixels", 0, 640, 1280, 5000, 640, 2500},
      {"ByPercentage", 50, 0, 820, 650, 410, 325},  // a framed picture scales as one
      {"ByPercentage", 200, 0, 30, 20, 60, 40},
  };
  for (const Case& c : cases) {
    Mode(c.mode, c.percent, c.fixed);
    OwnedImage img(c.w, c.h);
    img.Fill(Mix);
    ASSERT_EQ(ResizePageImage(settings_, img.img), S_OK) << c.w << "x" << c.h;
    EXPECT_EQ(img.img.width, c.tw);
    EXPECT_EQ(img.img.height, c.th);
    EXPECT_EQ(img.img.stride, PageImageStride(c.tw));
    EXPECT_NE(img.img.pixels, nullptr);
  }
}

TEST_F(ResizeStep, SameSizeGivesAnIdenticalCopy) {
  for (auto [mode, percent, fixed] : {std::tuple{"ByPercentage", 100, 0}, std::tuple{"ByFixedWidthByPixels", 0, 640}}) {
    Mode(mode, percent, fixed);
    OwnedImage img(640, 30);
    img.Fill(Mix, 0);
    std::vector<std::uint8_t> before(img.img.pixels, img.img.pixels + img.img.stride * 30);
    ASSERT_EQ(ResizePageImage(settings_, img.img), S_OK);
    EXPECT_EQ(img.img.width, 640);
    EXPECT_EQ(img.img.height, 30);
    EXPECT_EQ(0, std::memcmp(before.data(), img.img.pixels, before.size())) << mode;
  }
}

TEST_F(ResizeStep, RefusedTargetsLeaveThePicture) {
  struct Case {
    const char* mode;
    int percent, fixed, w, h;
    HRESULT want;
  };
  const Case cases[] = {
      {"ByPercentage", 101, 0, 1000, 50, MakeHResult(0x83FD0007)},  // 1010 × 50: one side grows
      {"ByFixedWidthByPixels", 0, 640, 2000, 2, MakeHResult(0x800409CB)},
      {"ByPercentage", 0, 0, 100, 100, MakeHResult(0x800409CB)},
      {"ByPercentage", -50, 0, 100, 100, MakeHResult(0x800409CB)},
      {"ByFixedWidthByPixels", 0, -640, 100, 100, MakeHResult(0x800409CB)},
  };
  for (const Case& c : cases) {
    Mode(c.mode, c.percent, c.fixed);
    OwnedImage img(c.w, c.h);
    img.Fill(Mix);
    std::uint8_t* block = img.img.pixels;
    EXPECT_EQ(ResizePageImage(settings_, img.img), c.want) << c.percent << "/" << c.fixed;
    EXPECT_EQ(img.img.pixels, block);
    EXPECT_EQ(img.img.width, c.w);
    EXPECT_EQ(img.img.height, c.h);
    EXPECT_EQ(img.At(c.w - 1, c.h - 1, 2), Mix(c.w - 1, c.h - 1, 2));
  }
}

TEST_F(ResizeStep, OtherModeTextsResizeNothingAndBecomeNoResize) {
  for (const char* mode : {"Bicubic", "bypercentage", "NoResize", ""}) {
    Mode(mode, 50);
    OwnedImage img(10, 10);
    img.Fill(Mix);
    std::uint8_t* block = img.img.pixels;
    EXPECT_EQ(ResizePageImage(settings_, img.img), S_OK);
    EXPECT_EQ(img.img.pixels, block);
    EXPECT_EQ(img.img.width, 10);
    EXPECT_EQ(settings_.ImageResize.Resize, "NoResize") << mode;
  }
}

TEST_F(ResizeStep, AlgorithmDoesNotChangeTheResult) {
  std::vector<std::vector<std::uint8_t>> results;
  for (const char* algorithm : {"Point", "Bilinear", "Bicubic", "Lanczos3"}) {
    Mode("ByPercentage", 37);
    settings_.ImageResize.Algorithm = algorithm;
    OwnedImage img(123, 77);
    img.Fill(Mix);
    ASSERT_EQ(ResizePageImage(settings_, img.img), S_OK);
    // The samples of every row; the padding bytes are undefined.
    std::vector<std::uint8_t> samples;
    for (int y = 0; y < img.img.height; ++y) {
      const std::uint8_t* row = img.img.pixels + static_cast<std::size_t>(img.img.stride) * y;
      samples.insert(samples.end(), row, row + 3 * img.img.width);
    }
    results.push_back(std::move(samples));
  }
  for (std::size_t i = 1; i < results.size(); ++i) EXPECT_EQ(results[i], results[0]);
}

}  // namespace
}  // namespace ss
