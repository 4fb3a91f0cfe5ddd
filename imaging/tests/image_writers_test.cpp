#include "imaging/image_writers.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>

#include "imaging/tests/image_helpers.h"
#include "platform/clipboard/clipboard.h"
#include "tests/support/test_home.h"

namespace ss {
namespace {

using test::OwnedImage;

std::uint32_t LE32(const std::string& s, std::size_t at) {
  return static_cast<std::uint8_t>(s[at]) | (static_cast<std::uint8_t>(s[at + 1]) << 8) |
         (static_cast<std::uint8_t>(s[at + 2]) << 16) | (static_cast<std::uint32_t>(static_cast<std::uint8_t>(s[at + 3])) << 24);
}
std::uint16_t LE16(const std::string& s, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<std::uint8_t>(s[at]) | (static_cast<std::uint8_t>(s[at + 1]) << 8));
}

// A decoded picture: RGB rows, top first, exactly width × 3 bytes each.
struct Rgb {
  int width = 0, height = 0;
  std::vector<std::vector<std::uint8_t>> rows;
  std::size_t rowBytes = 0;  // as the reader reports it
};

Rgb ReadPng(const std::string& path) {
  Rgb out;
  std::FILE* const volatile f = std::fopen(path.c_str(), "rb");
  if (!f) return out;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(f);
    return Rgb{};
  }
  png_init_io(png, f);
  png_read_info(png, info);
  out.width = static_cast<int>(png_get_image_width(png, info));
  out.height = static_cast<int>(png_get_image_height(png, info));
  out.rowBytes = png_get_rowbytes(png, info);
  out.rows.assign(out.height, std::vector<std::uint8_t>(out.rowBytes));
  for (auto& r : out.rows) png_read_row(png, r.data(), nullptr);
  png_read_end(png, info);
  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(f);
  return out;
}

Rgb ReadJpeg(const std::string& path) {
  Rgb out;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return out;
  jpeg_decompress_struct cinfo;
  jpeg_error_mgr err;
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_decompress(&cinfo);
  jpeg_stdio_src(&cinfo, f);
  jpeg_read_header(&cinfo, TRUE);
  jpeg_start_decompress(&cinfo);
  out.width = static_cast<int>(cinfo.output_width);
  out.height = static_cast<int>(cinfo.output_height);
  out.rowBytes = cinfo.output_width * cinfo.output_components;
  out.rows.assign(out.height, std::vector<std::uint8_t>(out.rowBytes));
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = out.rows[cinfo.output_scanline].data();
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  std::fclose(f);
  return out;
}

Rgb ReadTiff(const std::string& path) {
  Rgb out;
  TIFF* tif = TIFFOpen(path.c_str(), "r");
  if (!tif) return out;
  std::uint32_t w = 0, h = 0;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
  out.width = static_cast<int>(w);
  out.height = static_cast<int>(h);
  out.rowBytes = static_cast<std::size_t>(TIFFScanlineSize(tif));
  out.rows.assign(h, std::vector<std::uint8_t>(out.rowBytes));
  for (std::uint32_t y = 0; y < h; ++y) TIFFReadScanline(tif, out.rows[y].data(), y);
  TIFFClose(tif);
  return out;
}

class Writers : public ::testing::Test {
 protected:
  test::TempDir dir_;
};

TEST_F(Writers, OnePixelBmpIs58Bytes) {
  OwnedImage img(1, 1);
  img.Fill([](int, int, int c) { return c + 1; }, 0x77);
  const std::string path = dir_.File("one.bmp");
  ASSERT_EQ(WriteBmpFile(path, img.img), S_OK);
  const std::string f = test::ReadFile(path);
  ASSERT_EQ(f.size(), 58u);
  EXPECT_EQ(f.substr(0, 2), "BM");
  EXPECT_EQ(LE32(f, 2), 58u);
  EXPECT_EQ(LE32(f, 6), 0u);
  EXPECT_EQ(LE32(f, 10), 54u);
  EXPECT_EQ(LE32(f, 14), 40u);
  EXPECT_EQ(LE32(f, 18), 1u);
  EXPECT_EQ(LE32(f, 22), 1u);
  EXPECT_EQ(LE16(f, 26), 1);
  EXPECT_EQ(LE16(f, 28), 24);
  for (std::size_t at = 30; at < 54; at += 4) EXPECT_EQ(LE32(f, at), 0u) << "offset " << at;
  EXPECT_EQ(f.substr(54), std::string("\x01\x02\x03\x77", 4)) << "pixel as stored, pad byte kept";
}

TEST_F(Writers, BmpKeepsStoredRowsAndPaddingOthersCarryExactSamples) {
  // 5 wide: stride 16, one pad byte per row.
  OwnedImage img(5, 4);
  img.Fill([](int x, int y, int c) { return 10 * y + 3 * x + c; }, 0xEE);
  ASSERT_EQ(img.img.stride, 16);
  const std::string bmp = dir_.File("p.bmp");
  ASSERT_EQ(WriteBmpFile(bmp, img.img), S_OK);
  const std::string f = test::ReadFile(bmp);
  ASSERT_EQ(f.size(), 54u + 64u);
  EXPECT_EQ(0, std::memcmp(f.data() + 54, img.img.pixels, 64)) << "bottom-up rows, padding included";

  ASSERT_EQ(WritePngFile(dir_.File("p.png"), img.img), S_OK);
  ASSERT_EQ(WriteTiffFile(dir_.File("p.tif"), img.img, 0), S_OK);
  ASSERT_EQ(WriteJpegFile(dir_.File("p.jpg"), img.img, 80), S_OK);
  for (const Rgb& r : {ReadPng(dir_.File("p.png")), ReadTiff(dir_.File("p.tif")), ReadJpeg(dir_.File("p.jpg"))}) {
    EXPECT_EQ(r.width, 5);
    EXPECT_EQ(r.height, 4);
    EXPECT_EQ(r.rowBytes, 15u);
  }
}

TEST_F(Writers, TopRowFirstAndRedGreenBlueOrder) {
  // 16 × 16 so that JPEG blocks are whole: the top 8 rows (the last stored
  // rows) red, the bottom 8 blue; one exact pixel in the top-left corner.
  OwnedImage img(16, 16);
  img.Fill([](int, int y, int c) {
    const bool top = y >= 8;
    return top ? (c == 2 ? 255 : 0) : (c == 0 ? 255 : 0);
  });
  img.At(0, 15, 0) = 1;  // blue
  img.At(0, 15, 1) = 2;  // green
  img.At(0, 15, 2) = 3;  // red
  ASSERT_EQ(WritePngFile(dir_.File("t.png"), img.img), S_OK);
  ASSERT_EQ(WriteTiffFile(dir_.File("t.tif"), img.img, 10), S_OK);
  for (const Rgb& r : {ReadPng(dir_.File("t.png")), ReadTiff(dir_.File("t.tif"))}) {
    ASSERT_EQ(r.height, 16);
    EXPECT_EQ(r.rows[0][0], 3);
    EXPECT_EQ(r.rows[0][1], 2);
    EXPECT_EQ(r.rows[0][2], 1);
    EXPECT_EQ(r.rows[0][3], 255) << "red on top";
    EXPECT_EQ(r.rows[0][5], 0);
    EXPECT_EQ(r.rows[15][3], 0);
    EXPECT_EQ(r.rows[15][5], 255) << "blue at the bottom";
  }
  ASSERT_EQ(WriteJpegFile(dir_.File("t.jpg"), img.img, 95), S_OK);
  Rgb j = ReadJpeg(dir_.File("t.jpg"));
  ASSERT_EQ(j.height, 16);
  EXPECT_GT(j.rows[2][3 * 8 + 0], 200);
  EXPECT_LT(j.rows[2][3 * 8 + 2], 60);
  EXPECT_LT(j.rows[13][3 * 8 + 0], 60);
  EXPECT_GT(j.rows[13][3 * 8 + 2], 200);
}

TEST_F(Writers, TiffStripsAndTagsWithoutDescriptiveOnes) {
  OwnedImage img(7, 9);
  img.Fill([](int x, int y, int c) { return x * y + c; });
  struct Case {
    std::int32_t compress;
    std::uint16_t tag;
  };
  for (Case c : {Case{0, COMPRESSION_NONE}, Case{10, COMPRESSION_PACKBITS}, Case{7, COMPRESSION_NONE}}) {
    const std::string path = dir_.File("s" + std::to_string(c.compress) + ".tif");
    ASSERT_EQ(WriteTiffFile(path, img.img, c.compress), S_OK);
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    ASSERT_NE(tif, nullptr);
    std::uint16_t compression = 0, bps = 0, spp = 0, planar = 0, photometric = 0, orientation = 0;
    std::uint32_t rps = 0;
    TIFFGetField(tif, TIFFTAG_COMPRESSION, &compression);
    TIFFGetField(tif, TIFFTAG_BITSPERSAMPLE, &bps);
    TIFFGetField(tif, TIFFTAG_SAMPLESPERPIXEL, &spp);
    TIFFGetField(tif, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
    TIFFGetField(tif, TIFFTAG_ORIENTATION, &orientation);
    TIFFGetField(tif, TIFFTAG_ROWSPERSTRIP, &rps);
    EXPECT_EQ(compression, c.tag) << "Compress " << c.compress;
    EXPECT_EQ(bps, 8);
    EXPECT_EQ(spp, 3);
    EXPECT_EQ(planar, PLANARCONFIG_CONTIG);
    EXPECT_EQ(photometric, PHOTOMETRIC_RGB);
    EXPECT_EQ(orientation, ORIENTATION_TOPLEFT);
    EXPECT_EQ(rps, 1u);
    EXPECT_EQ(TIFFNumberOfStrips(tif), 9u);
    char* text = nullptr;
    float res = 0;
    EXPECT_EQ(TIFFGetField(tif, TIFFTAG_SOFTWARE, &text), 0);
    EXPECT_EQ(TIFFGetField(tif, TIFFTAG_DATETIME, &text), 0);
    EXPECT_EQ(TIFFGetField(tif, TIFFTAG_IMAGEDESCRIPTION, &text), 0);
    EXPECT_EQ(TIFFGetField(tif, TIFFTAG_XRESOLUTION, &res), 0);
    TIFFClose(tif);
    Rgb r = ReadTiff(path);
    EXPECT_EQ(r.rows[0][3 * 6 + 2], 6 * 8 + 0) << "top row is stored row 8";
  }
}

// Chunk names of a PNG file in order.
std::vector<std::string> PngChunks(const std::string& f) {
  std::vector<std::string> names;
  std::size_t at = 8;
  while (at + 8 <= f.size()) {
    const std::uint32_t len = (static_cast<std::uint8_t>(f[at]) << 24) | (static_cast<std::uint8_t>(f[at + 1]) << 16) |
                              (static_cast<std::uint8_t>(f[at + 2]) << 8) | static_cast<std::uint8_t>(f[at + 3]);
    names.push_back(f.substr(at + 4, 4));
    at += 12 + len;
  }
  return names;
}

// JPEG markers up to the start of scan.
std::vector<int> JpegMarkers(const std::string& f) {
  std::vector<int> markers;
  std::size_t at = 2;
  while (at + 4 <= f.size() && static_cast<std::uint8_t>(f[at]) == 0xFF) {
    const int m = static_cast<std::uint8_t>(f[at + 1]);
    markers.push_back(m);
    if (m == 0xDA) break;
    at += 2 + ((static_cast<std::uint8_t>(f[at + 2]) << 8) | static_cast<std::uint8_t>(f[at + 3]));
  }
  return markers;
}

TEST_F(Writers, NoMetadataInAnyFile) {
  OwnedImage img(20, 10);
  img.Fill([](int x, int y, int c) { return x + y + c; });
  ASSERT_EQ(WritePngFile(dir_.File("m.png"), img.img), S_OK);
  ASSERT_EQ(WriteJpegFile(dir_.File("m.jpg"), img.img, 80), S_OK);
  EXPECT_EQ(PngChunks(test::ReadFile(dir_.File("m.png"))), (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));
  for (int m : JpegMarkers(test::ReadFile(dir_.File("m.jpg")))) {
    EXPECT_NE(m, 0xFE) << "no comment";
    EXPECT_FALSE(m > 0xE0 && m <= 0xEF) << "no application marker but the JFIF header: " << std::hex << m;
  }
}

TEST_F(Writers, JpegQualityIsClampedByTheLibrary) {
  OwnedImage img(32, 32);
  img.Fill([](int x, int y, int c) { return (x * 7 + y * 13 + c * 50) % 256; });
  ASSERT_EQ(WriteJpegFile(dir_.File("q0.jpg"), img.img, 0), S_OK);
  ASSERT_EQ(WriteJpegFile(dir_.File("q1.jpg"), img.img, 1), S_OK);
  ASSERT_EQ(WriteJpegFile(dir_.File("q150.jpg"), img.img, 150), S_OK);
  ASSERT_EQ(WriteJpegFile(dir_.File("q100.jpg"), img.img, 100), S_OK);
  EXPECT_EQ(test::ReadFile(dir_.File("q0.jpg")), test::ReadFile(dir_.File("q1.jpg")));
  EXPECT_EQ(test::ReadFile(dir_.File("q150.jpg")), test::ReadFile(dir_.File("q100.jpg")));
  EXPECT_NE(test::ReadFile(dir_.File("q1.jpg")), test::ReadFile(dir_.File("q100.jpg")));
}

TEST_F(Writers, MissingFolderFailsWithEachOpenCodeAndLeavesNoFile) {
  OwnedImage img(3, 3);
  img.Fill([](int, int, int) { return 9; });
  const std::string base = dir_.File("no/such/folder/x");
  EXPECT_EQ(WriteBmpFile(base + ".bmp", img.img), MakeHResult(0x80070004));
  EXPECT_EQ(WriteJpegFile(base + ".jpg", img.img, 80), MakeHResult(0x83FF0004));
  EXPECT_EQ(WritePngFile(base + ".png", img.img), MakeHResult(0x83FE0004));
  EXPECT_EQ(WriteTiffFile(base + ".tif", img.img, 0), MakeHResult(0x84000006));
  EXPECT_FALSE(test::FileExists(dir_.File("no")));
}

TEST_F(Writers, JpegLibraryErrorIsReported) {
  // Beyond the largest dimension a JPEG can hold.
  OwnedImage img(1, 70000);
  ASSERT_NE(img.img.pixels, nullptr);
  img.FillBytes(0);
  EXPECT_EQ(WriteJpegFile(dir_.File("tall.jpg"), img.img, 80), MakeHResult(0x83FF0001));
}

TEST_F(Writers, FormatNameChoosesTheWriterCaseSensitively) {
  test::TempHome home;
  OwnedImage img(4, 2);
  img.Fill([](int x, int, int c) { return x + c; });
  Settings settings;
  struct Case {
    const char* name;
    std::string magic;  // start of the file, or "" for no file
  };
  const Case cases[] = {{"BMP", "BM"},         {"Jpeg", "\xFF\xD8"}, {"PNG", "\x89PNG"}, {"TIFF", "II*"},
                        {"jpeg", ""},          {"bmp", ""},          {"GIF", ""}};
  for (const Case& c : cases) {
    settings.ImageFileFormat.FormatName = c.name;
    const std::string path = dir_.File(std::string("f-") + c.name);
    EXPECT_EQ(WriteImageFile(settings, path, img.img), S_OK) << c.name;
    if (c.magic.empty()) {
      EXPECT_FALSE(test::FileExists(path)) << c.name << " writes nothing";
    } else {
      EXPECT_EQ(test::ReadFile(path).substr(0, c.magic.size()), c.magic) << c.name;
    }
  }
  // The stored Compress reaches the TIFF writer.
  settings.ImageFileFormat.FormatName = "TIFF";
  settings.ImageFileFormat.Compress = 10;
  ASSERT_EQ(WriteImageFile(settings, dir_.File("c.tif"), img.img), S_OK);
  TIFF* tif = TIFFOpen(dir_.File("c.tif").c_str(), "r");
  ASSERT_NE(tif, nullptr);
  std::uint16_t compression = 0;
  TIFFGetField(tif, TIFFTAG_COMPRESSION, &compression);
  EXPECT_EQ(compression, COMPRESSION_PACKBITS);
  TIFFClose(tif);
}

TEST(FormatTable, RowsInOrder) {
  ASSERT_EQ(kImageFormatCount, 4u);
  EXPECT_STREQ(ImageFormatTable[1].formatName, "Jpeg");
  EXPECT_STREQ(ImageFormatTable[1].extension, "jpg");
  EXPECT_EQ(ImageFormatTable[3].displayStringId, 147u);
  EXPECT_EQ(ImageFormatTable[3].filterStringId, 148u);
  EXPECT_EQ(FindImageFormat("PNG"), &ImageFormatTable[2]);
  EXPECT_EQ(FindImageFormat("png"), nullptr);
}

TEST(Clipboard, PictureGoesOnAsABottomUpDib) {
  test::TempHome home;
  OwnedImage img(5, 2);
  img.Fill([](int x, int y, int c) { return 50 * y + 3 * x + c; }, 0xEE);
  ASSERT_EQ(OpenClipboard(0), 1);
  ASSERT_EQ(EmptyClipboard(), 1);
  EXPECT_EQ(PutImageOnClipboard(img.img), S_OK);
  ASSERT_EQ(CloseClipboard(), 1);
  std::string dib;
  ASSERT_TRUE(ReadStoredClipboardData(CF_DIB, &dib));
  ASSERT_EQ(dib.size(), 40u + 32u);
  EXPECT_EQ(LE32(dib, 0), 40u);
  EXPECT_EQ(LE32(dib, 4), 5u);
  EXPECT_EQ(LE32(dib, 8), 2u);
  EXPECT_EQ(LE16(dib, 12), 1);
  EXPECT_EQ(LE16(dib, 14), 24);
  for (std::size_t at = 16; at < 40; at += 4) EXPECT_EQ(LE32(dib, at), 0u);
  EXPECT_EQ(0, std::memcmp(dib.data() + 40, img.img.pixels, 32));

  // Not opened: the clipboard refuses the data.
  EXPECT_EQ(PutImageOnClipboard(img.img), MakeHResult(0x80070003));
}

}  // namespace
}  // namespace ss

namespace ss {
namespace {

// Every row width from 1 to 40 pixels (the row conversion works in steps of
// five pixels): PNG samples are the stored pixels in red, green, blue order.
TEST(WritersRowConversion, EveryWidthConvertsEveryPixel) {
  test::TempDir dir;
  for (int w = 1; w <= 40; ++w) {
    OwnedImage img(w, 2);
    img.Fill([](int x, int y, int c) { return (x * 29 + y * 7 + c * 101) % 256; }, 0xAA);
    const std::string path = dir.File("w" + std::to_string(w) + ".png");
    ASSERT_EQ(WritePngFile(path, img.img), S_OK);
    Rgb r = ReadPng(path);
    ASSERT_EQ(r.width, w);
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < w; ++x)
        for (int c = 0; c < 3; ++c)
          ASSERT_EQ(r.rows[y][3 * x + c], img.At(x, 1 - y, 2 - c)) << "width " << w << " pixel " << x;
  }
}

}  // namespace
}  // namespace ss
