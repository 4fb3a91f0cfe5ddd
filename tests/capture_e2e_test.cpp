// Captures end to end, as a user runs them: the built host registers the
// module, drives a real Chromium, and the module writes real files.
#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/page_image.h"
#include "imaging/image_writers.h"
#include "tests/support/test_home.h"

namespace ss {
namespace {

namespace fs = std::filesystem;

test::CommandResult Host(const std::string& args) {
  return test::RunCommand("'" + test::BuildDir() + "/bin/scrollsnap' " + args);
}

std::string Page(const std::string& name) { return test::SourceDir() + "/tests/fixtures/pages/" + name; }

// A PNG read back with libpng: size and RGB rows, top row first.
struct Picture {
  int width = 0, height = 0;
  std::vector<std::uint8_t> rgb;
  const std::uint8_t* At(int x, int y) const { return &rgb[(static_cast<std::size_t>(y) * width + x) * 3]; }
};

bool ReadPng(const std::string& path, Picture* out) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  bool ok = false;
  if (setjmp(png_jmpbuf(png)) == 0) {
    png_init_io(png, f);
    png_read_info(png, info);
    out->width = static_cast<int>(png_get_image_width(png, info));
    out->height = static_cast<int>(png_get_image_height(png, info));
    if (png_get_color_type(png, info) == PNG_COLOR_TYPE_RGB && png_get_bit_depth(png, info) == 8) {
      out->rgb.resize(static_cast<std::size_t>(out->width) * out->height * 3);
      for (int y = 0; y < out->height; ++y) png_read_row(png, &out->rgb[static_cast<std::size_t>(y) * out->width * 3], nullptr);
      ok = true;
    }
  }
  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(f);
  return ok;
}

// The PNG file is byte for byte what the PNG writer makes of the picture it
// holds (the capture encodes while the page is painted; the file must not
// tell).
void ExpectWriterBytes(const std::string& path, const Picture& p, const std::string& scratch) {
  PageImage image = kEmptyPageImage;
  ASSERT_EQ(AllocatePageImage(p.width, p.height, &image), S_OK);
  for (int y = 0; y < p.height; ++y) {
    std::uint8_t* row = image.pixels + static_cast<std::size_t>(image.stride) * (p.height - 1 - y);
    for (int x = 0; x < p.width; ++x) {
      const std::uint8_t* px = p.At(x, y);
      row[3 * x] = px[2];
      row[3 * x + 1] = px[1];
      row[3 * x + 2] = px[0];
    }
  }
  HRESULT hr = WritePngFile(scratch, image);
  FreePageImage(&image);
  ASSERT_EQ(hr, S_OK);
  std::string made = test::ReadFile(path), written = test::ReadFile(scratch);
  EXPECT_EQ(made.size(), written.size());
  EXPECT_TRUE(made == written) << path << " differs from the writer's own file";
}

// The colour of band i of bands.html.
std::array<int, 3> Band(int i) { return {i % 256, 32 * (i / 256) + 16, (i * 53) % 256}; }

class CaptureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    out_ = dir_.File("out");
    fs::create_directories(out_);
    test::CommandResult r = Host("register");
    ASSERT_EQ(r.status, 0) << r.err;
    Set("ImageFilePath/BaseFolderPath", out_);
  }
  void Set(const std::string& key, const std::string& value) {
    test::CommandResult r = Host("config set " + key + " '" + value + "'");
    ASSERT_EQ(r.status, 0) << key << ": " << r.err;
  }
  std::vector<std::string> Files() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(out_)) names.push_back(e.path().filename().string());
    return names;
  }
  test::TempHome home_;
  test::TempDir dir_;
  std::string out_;
};

TEST_F(CaptureTest, TallPageToPngWithEveryBandRight) {
  Set("Destination", "File");
  Set("ImageFileFormat/FormatName", "PNG");
  test::CommandResult r = Host("capture 'file://" + Page("bands.html") + "?h=20000'");
  ASSERT_EQ(r.status, 0) << r.err;
  ASSERT_EQ(Files(), std::vector<std::string>{"Bands.png"});
  Picture p;
  ASSERT_TRUE(ReadPng(out_ + "/Bands.png", &p));
  EXPECT_EQ(p.width, 1280);
  ASSERT_EQ(p.height, 20000);
  int wrong = 0;
  for (int i = 0; i < 200; ++i) {
    for (int y : {i * 100 + 1, i * 100 + 50, i * 100 + 98}) {
      for (int x : {0, 640, 1279}) {
        const std::uint8_t* px = p.At(x, y);
        auto c = Band(i);
        if (px[0] != c[0] || px[1] != c[1] || px[2] != c[2]) ++wrong;
      }
    }
  }
  EXPECT_EQ(wrong, 0);
  ExpectWriterBytes(out_ + "/Bands.png", p, dir_.File("writer.png"));
}

TEST_F(CaptureTest, EveryFileFormatAndTheClipboard) {
  Set("Destination", "File");
  struct Case {
    const char* format;
    const char* file;
    std::string magic;
  } cases[] = {
      {"BMP", "Bands.bmp", "BM"},
      {"Jpeg", "Bands.jpg", "\xFF\xD8\xFF"},
      {"TIFF", "Bands.tif", "II*"},
  };
  for (const Case& c : cases) {
    Set("ImageFileFormat/FormatName", c.format);
    test::CommandResult r = Host("capture 'file://" + Page("bands.html") + "?h=1500'");
    ASSERT_EQ(r.status, 0) << c.format << ": " << r.err;
    std::string data = test::ReadFile(out_ + "/" + c.file);
    EXPECT_EQ(data.substr(0, c.magic.size()), c.magic) << c.format;
  }
  // A 1280 x 1500 BMP: 54-byte header, then 1500 rows of 3840 bytes.
  EXPECT_EQ(test::ReadFile(out_ + "/Bands.bmp").size(), 54u + 1500u * 3840u);

  Set("Destination", "Clipboard");
  test::CommandResult r = Host("capture 'file://" + Page("bands.html") + "?h=1500'");
  ASSERT_EQ(r.status, 0) << r.err;
  std::string saved = dir_.File("clip.bmp");
  ASSERT_EQ(Host("clipboard save '" + saved + "'").status, 0);
  std::string bmp = test::ReadFile(saved);
  ASSERT_GE(bmp.size(), 54u);
  std::int32_t w, h;
  std::memcpy(&w, bmp.data() + 18, 4);
  std::memcpy(&h, bmp.data() + 22, 4);
  EXPECT_EQ(w, 1280);
  EXPECT_EQ(h, 1500);
}

TEST_F(CaptureTest, CropFromAStartRowAndAPresetHeldWithCtrl) {
  Set("Destination", "File");
  Set("ImageFileFormat/FormatName", "PNG");
  Set("ImageCrop/CropHeight", "ByPixels");
  Set("ImageCrop/HeightByPixels", "480");
  Set("ImageCrop/Top", "100");
  Set("ImageFilePath/FileNameRule", "Numbered3");
  ASSERT_EQ(Host("preset save Cropped").status, 0);
  // The current settings capture the whole page; preset 1 crops. Without the
  // settings dialog (whose OK would save the preset as the current settings)
  // the preset lasts one run.
  Set("ImageCrop/CropHeight", "NoCrop");
  Set("ImageCrop/Top", "0");
  Set("OmitDialog", "1");

  test::CommandResult r = Host("capture --preset 1 'file://" + Page("bands.html") + "?h=3000'");
  ASSERT_EQ(r.status, 0) << r.err;
  Picture p;
  ASSERT_TRUE(ReadPng(out_ + "/000.png", &p));
  EXPECT_EQ(p.width, 1280);
  EXPECT_EQ(p.height, 480);
  auto first = Band(1), last = Band(5);
  EXPECT_EQ(p.At(10, 0)[0], first[0]);
  EXPECT_EQ(p.At(10, 0)[2], first[2]);
  EXPECT_EQ(p.At(10, 479)[2], last[2]);
  ExpectWriterBytes(out_ + "/000.png", p, dir_.File("writer.png"));

  r = Host("capture 'file://" + Page("bands.html") + "?h=3000'");
  ASSERT_EQ(r.status, 0) << r.err;
  ASSERT_TRUE(ReadPng(out_ + "/001.png", &p));
  EXPECT_EQ(p.height, 3000);
  ExpectWriterBytes(out_ + "/001.png", p, dir_.File("writer.png"));
}

TEST_F(CaptureTest, AResizedPictureIsEncodedAfterTheResize) {
  Set("Destination", "File");
  Set("ImageFileFormat/FormatName", "PNG");
  Set("ImageResize/Resize", "ByPercentage");
  Set("ImageResize/ByPercentage", "50");
  test::CommandResult r = Host("capture 'file://" + Page("bands.html") + "?h=3000'");
  ASSERT_EQ(r.status, 0) << r.err;
  Picture p;
  ASSERT_TRUE(ReadPng(out_ + "/Bands.png", &p));
  EXPECT_EQ(p.width, 640);
  ASSERT_EQ(p.height, 1500);
  auto c = Band(20);
  EXPECT_EQ(p.At(320, 1025)[0], c[0]);
  EXPECT_EQ(p.At(320, 1025)[2], c[2]);
  ExpectWriterBytes(out_ + "/Bands.png", p, dir_.File("writer.png"));
}

TEST_F(CaptureTest, QuestionsAndFailuresEndTheRunAsTheySay) {
  Set("Destination", "File");
  Set("ImageFileFormat/FormatName", "PNG");
  Set("AlertByCaptureSize", "1");
  Set("AlertByCaptureSizeMB", "1");
  // The estimate counts the painted area: 1299 x 3002 with the strip and edge.
  test::CommandResult no = Host("--answer no capture 'file://" + Page("bands.html") + "?h=3000'");
  EXPECT_EQ(no.status, 1) << no.err;
  EXPECT_NE(no.err.find("Confirm Capture Large Image: It's about to capture very large size of image (11.16MB)"),
            std::string::npos)
      << no.err;
  EXPECT_TRUE(Files().empty());

  Set("AlertByCaptureSize", "0");
  Set("ImageFileFormat/FormatName", "jpeg");  // not a format name: letter case counts
  test::CommandResult bad = Host("capture 'file://" + Page("bands.html") + "?h=1500'");
  EXPECT_EQ(bad.status, 2);
  EXPECT_NE(bad.err.find("Error: An error occurred.\nError code: 0x80040961"), std::string::npos) << bad.err;
  EXPECT_TRUE(Files().empty());
}

TEST_F(CaptureTest, AdditionalProgramAndCaptureLogFollowTheDelivery) {
  Set("Destination", "File");
  Set("ImageFileFormat/FormatName", "PNG");
  std::string recorder = dir_.File("recorder.sh");
  test::WriteFile(recorder, "#!/bin/sh\nfor a in \"$@\"; do echo \"$a\"; done > '" + dir_.File("args") + "'\n");
  fs::permissions(recorder, fs::perms::owner_all);
  Set("ExtraProcess/LounchExtraProgram", "1");
  Set("ExtraProcess/ExtraProgramPath", recorder);
  Set("ExtraProcess/ExtraProgramParam", "--file %file% --dir %dir%");
  Set("ExtraProcess/WaitForExtraProgram", "1");
  Set("ExtraProcess/WaitTimeForExtraProgram", "10000");
  Set("CaptureLog/EnabledLog", "1");
  Set("CaptureLog/LogFilePath", dir_.File("capture.log"));

  std::string url = "file://" + Page("bands.html") + "?h=1500";
  test::CommandResult r = Host("capture '" + url + "'");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(test::ReadFile(dir_.File("args")), "--file\nBands.png\n--dir\n" + out_ + "\n");
  std::string log = test::ReadFile(dir_.File("capture.log"));
  EXPECT_EQ(log.rfind("Bands\t" + url + "\t", 0), 0u) << log;
  EXPECT_EQ(log.substr(log.size() - 2), "\r\n");
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1);
}

TEST_F(CaptureTest, FramesetCapturedWithEveryFrameAtItsFullSize) {
  Set("Destination", "File");
  Set("ImageFileFormat/FormatName", "PNG");
  // A small window, so that the frames are much smaller than their pages.
  test::CommandResult r =
      test::RunCommand("SCROLLSNAP_WINDOW_SIZE=400x300 '" + test::BuildDir() + "/bin/scrollsnap' capture '" +
                       Page("frameset_cols.html") + "'");
  ASSERT_EQ(r.status, 0) << r.err;
  Picture p;
  ASSERT_TRUE(ReadPng(out_ + "/Frameset with columns.png", &p));
  // Columns 200 and 1200 + 17 (the second frame's own scrollbar), 3000 rows;
  // no strip of the page's own, and the right-hand scrollbar cut.
  EXPECT_EQ(p.width, 1400);
  EXPECT_EQ(p.height, 3000);
  const std::uint8_t kFrame[3] = {200, 220, 240};
  for (auto [x, y] : {std::pair{100, 2990}, std::pair{800, 700}, std::pair{1390, 10}})
    EXPECT_EQ(std::memcmp(p.At(x, y), kFrame, 3), 0) << x << "," << y;
  ExpectWriterBytes(out_ + "/Frameset with columns.png", p, dir_.File("writer.png"));
}

TEST(CaptureSetupTest, UnregisteredModuleAndTheShellAreRefusedClearly) {
  test::TempHome home;
  test::CommandResult r = Host("capture '" + test::SourceDir() + "/samples/sample-page.html'");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("not registered; run 'scrollsnap register' first"), std::string::npos) << r.err;

  // The same host under the shell's name: the module refuses to load.
  test::TempDir dir;
  fs::create_directories(dir.File("bin"));
  fs::copy_file(test::BuildDir() + "/bin/scrollsnap", dir.File("bin/Explorer.EXE"));
  fs::create_directory_symlink(fs::canonical(test::BuildDir() + "/lib"), dir.File("lib"));
  test::CommandResult shell = test::RunCommand("'" + dir.File("bin/Explorer.EXE") + "' register");
  EXPECT_EQ(shell.status, 2);
  EXPECT_NE(shell.err.find("refused to load"), std::string::npos) << shell.err;
  EXPECT_EQ(Host("register").status, 0);
}

}  // namespace
}  // namespace ss
