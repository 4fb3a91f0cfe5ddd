// Small helpers shared by the imaging tests.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>

#include "core/page_image.h"

namespace ss::test {

// A page image that frees its block when it goes out of scope.
struct OwnedImage {
  PageImage img = kEmptyPageImage;
  OwnedImage() = default;
  OwnedImage(int w, int h) { AllocatePageImage(w, h, &img); }
  ~OwnedImage() { FreePageImage(&img); }
  OwnedImage(const OwnedImage&) = delete;
  OwnedImage& operator=(const OwnedImage&) = delete;

  // Channel c (0 blue, 1 green, 2 red) of pixel (x, stored row y).
  std::uint8_t& At(int x, int y, int c) {
    return img.pixels[static_cast<std::size_t>(img.stride) * y + 3 * x + c];
  }
  // Fills every pixel from f(x, stored row, channel); padding gets `pad`.
  void Fill(const std::function<int(int, int, int)>& f, std::uint8_t pad = 0) {
    std::memset(img.pixels, pad, static_cast<std::size_t>(img.stride) * img.height);
    for (int y = 0; y < img.height; ++y)
      for (int x = 0; x < img.width; ++x)
        for (int c = 0; c < 3; ++c) At(x, y, c) = static_cast<std::uint8_t>(f(x, y, c));
  }
  void FillBytes(std::uint8_t v) { std::memset(img.pixels, v, static_cast<std::size_t>(img.stride) * img.height); }
};

}  // namespace ss::test
