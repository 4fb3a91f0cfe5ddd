#include "imaging/png_encoding.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "imaging/image_writers.h"
#include "imaging/tests/image_helpers.h"
#include "tests/support/test_home.h"

namespace ss {
namespace {

using test::OwnedImage;

// A picture with detail in every row, so that every filter and the
// compressor have work to do.
void FillDetailed(OwnedImage& img) {
  img.Fill([](int x, int y, int c) { return (x * 7 + y * 13 + c * 101 + (x * y) % 17) & 0xFF; });
}

// The image's rows as the drawing service holds them: 32-bit pixels, blue,
// green, red, unused, top row first.
std::vector<std::uint8_t> AsBgrx(const PageImage& image) {
  std::vector<std::uint8_t> out(static_cast<std::size_t>(image.width) * image.height * 4);
  for (int y = 0; y < image.height; ++y) {
    const std::uint8_t* src = image.pixels + static_cast<std::size_t>(image.stride) * (image.height - 1 - y);
    std::uint8_t* dst = out.data() + static_cast<std::size_t>(y) * image.width * 4;
    for (int x = 0; x < image.width; ++x) {
      dst[4 * x] = src[3 * x];
      dst[4 * x + 1] = src[3 * x + 1];
      dst[4 * x + 2] = src[3 * x + 2];
      dst[4 * x + 3] = 0x5A;  // never looked at
    }
  }
  return out;
}

PngEncodeAhead::RowReader ReaderOf(const std::vector<std::uint8_t>& bgrx, int width) {
  return [&bgrx, width](int first, int count, std::uint8_t* out) {
    std::memcpy(out, bgrx.data() + static_cast<std::size_t>(first) * width * 4,
                static_cast<std::size_t>(count) * width * 4);
    return true;
  };
}

class EncodeAhead : public ::testing::Test {
 protected:
  std::string WriterBytes(const PageImage& image) {
    const std::string path = dir_.File("writer.png");
    EXPECT_EQ(WritePngFile(path, image), S_OK);
    return test::ReadFile(path);
  }
  test::TempDir dir_;
};

TEST_F(EncodeAhead, RowsHandedOverInStepsGiveTheWritersBytes) {
  // Widths with and without row padding; steps that split the worker's bands.
  struct Case {
    int width, height;
    std::vector<int> steps;
  } cases[] = {{37, 53, {1, 2, 40, 53}}, {64, 100, {100}}, {5, 1, {1}}, {301, 70, {33, 33, 64, 69, 70}}};
  for (const Case& k : cases) {
    OwnedImage img(k.width, k.height);
    FillDetailed(img);
    std::vector<std::uint8_t> bgrx = AsBgrx(img.img);
    PngEncodeAhead ahead(k.width, k.height, ReaderOf(bgrx, k.width), 1u << 20);
    // The painter reports from its own thread, as the browser's view does.
    std::thread painter([&] {
      for (int rows : k.steps) ahead.RowsFinal(rows);
    });
    painter.join();
    // Whoever gives the rows' memory back waits until they have been read.
    EXPECT_TRUE(ahead.WaitRowsRead(k.height / 2));
    EXPECT_TRUE(ahead.WaitRowsRead(k.height));
    ASSERT_TRUE(ahead.Finish()) << k.width << "x" << k.height;
    const std::vector<std::uint8_t>& made = ahead.bytes();
    EXPECT_EQ(std::string(made.begin(), made.end()), WriterBytes(img.img)) << k.width << "x" << k.height;
  }
}

TEST_F(EncodeAhead, GivesUpWithoutBytes) {
  OwnedImage img(64, 64);
  FillDetailed(img);
  std::vector<std::uint8_t> bgrx = AsBgrx(img.img);
  {  // more bytes than allowed
    PngEncodeAhead ahead(64, 64, ReaderOf(bgrx, 64), 100);
    ahead.RowsFinal(64);
    EXPECT_FALSE(ahead.Finish());
    EXPECT_TRUE(ahead.bytes().empty());
  }
  {  // rows that cannot be read
    PngEncodeAhead ahead(64, 64, [](int, int, std::uint8_t*) { return false; }, 1u << 20);
    ahead.RowsFinal(64);
    EXPECT_FALSE(ahead.WaitRowsRead(64)) << "a stopped worker reads nothing more: nobody waits for it";
    EXPECT_FALSE(ahead.Finish());
    EXPECT_TRUE(ahead.bytes().empty());
  }
  {  // abandoned half-way: the reader is not called again
    std::atomic<int> lastRow{0};
    auto rows = ReaderOf(bgrx, 64);
    auto recording = [&](int first, int count, std::uint8_t* out) {
      lastRow = first + count;
      return rows(first, count, out);
    };
    PngEncodeAhead ahead(64, 64, recording, 1u << 20);
    ahead.RowsFinal(20);
    ahead.Abandon();
    EXPECT_LE(lastRow.load(), 20);
    EXPECT_FALSE(ahead.Finish());
  }
  {  // never told of any row: going out of scope does not wait for them
    PngEncodeAhead ahead(64, 64, ReaderOf(bgrx, 64), 1u << 20);
  }
  PngEncodeAhead empty(0, 10, ReaderOf(bgrx, 64), 1u << 20);
  EXPECT_FALSE(empty.Finish());
}

TEST_F(EncodeAhead, TheWriterUsesTheBytesOnlyForAPictureOfTheirSize) {
  Settings settings;
  settings.ImageFileFormat.FormatName = "PNG";
  OwnedImage img(40, 30);
  FillDetailed(img);
  std::vector<std::uint8_t> bgrx = AsBgrx(img.img);
  const std::string expected = WriterBytes(img.img);

  PngEncodeAhead ahead(40, 30, ReaderOf(bgrx, 40), 1u << 20);
  ahead.RowsFinal(30);
  ASSERT_TRUE(ahead.Finish());
  ASSERT_EQ(WriteImageFile(settings, dir_.File("a.png"), img.img, &ahead), S_OK);
  EXPECT_EQ(test::ReadFile(dir_.File("a.png")), expected);
  // The file cannot be opened: the writer's own code, and no file.
  EXPECT_EQ(WriteImageFile(settings, dir_.File("none/a.png"), img.img, &ahead), MakeHResult(0x83FE0004));

  // Bytes of another size are not this picture's: the writer encodes.
  OwnedImage other(40, 31);
  FillDetailed(other);
  ASSERT_EQ(WriteImageFile(settings, dir_.File("b.png"), other.img, &ahead), S_OK);
  EXPECT_EQ(test::ReadFile(dir_.File("b.png")), WriterBytes(other.img));
  // Another format ignores them.
  settings.ImageFileFormat.FormatName = "BMP";
  ASSERT_EQ(WriteImageFile(settings, dir_.File("c.bmp"), img.img, &ahead), S_OK);
  EXPECT_EQ(test::ReadFile(dir_.File("c.bmp")).substr(0, 2), "BM");
}

}  // namespace
}  // namespace ss
