// The image file writers (BMP, JPEG, PNG, TIFF) and the clipboard copy of a
// page image. Plain functions without state: they neither show messages nor
// change settings, never change the image, and embed no information about
// the page in any file.
#pragma once

#include <cstdint>
#include <string>

#include "core/page_image.h"
#include "imaging/png_encoding.h"
#include "platform/base/result.h"
#include "settings/settings.h"

namespace ss {

// One row of the fixed table of image formats: the single source of the
// format list, the file extension and the save-dialog filter.
struct ImageFormat {
  const char* formatName;   // as stored in ImageFileFormat/FormatName
  UINT displayStringId;     // its name in the format list
  const char* extension;    // without the dot
  UINT filterStringId;      // the save dialog's filter
};
inline constexpr ImageFormat ImageFormatTable[] = {
    {"BMP", 106, "bmp", 114},
    {"Jpeg", 107, "jpg", 115},
    {"PNG", 108, "png", 116},
    {"TIFF", 147, "tif", 148},
};
inline constexpr std::size_t kImageFormatCount = sizeof(ImageFormatTable) / sizeof(ImageFormatTable[0]);
// The row whose name equals `formatName` exactly (case-sensitive), or null.
const ImageFormat* FindImageFormat(const std::string& formatName);

// The TIFF compression values offered for ImageFileFormat/Compress.
struct TiffCompression {
  std::int32_t value;
  UINT stringId;
};
inline constexpr TiffCompression TiffCompressionTable[] = {
    {0, 149},   // "No Compression"
    {10, 158},  // "Macintosh" (PackBits)
};

// Result codes.
constexpr HRESULT BMP_E_CREATE = MakeHResult(0x80070004);
constexpr HRESULT BMP_E_WRITE = MakeHResult(0x80070005);
constexpr HRESULT JPEG_E_BASE = MakeHResult(0x83FF0000);
constexpr HRESULT PNG_E_BASE = MakeHResult(0x83FE0000);
constexpr HRESULT TIFF_E_BASE = MakeHResult(0x84000000);
constexpr HRESULT JPEG_E_LIBRARY = MakeHResult(0x83FF0001);
constexpr HRESULT JPEG_E_OPEN = MakeHResult(0x83FF0004);
constexpr HRESULT PNG_E_LIBRARY = MakeHResult(0x83FE0001);
constexpr HRESULT PNG_E_OPEN = MakeHResult(0x83FE0004);
constexpr HRESULT PNG_E_STRUCT = MakeHResult(0x83FE0006);
constexpr HRESULT TIFF_E_WRITE = MakeHResult(0x84000005);
constexpr HRESULT TIFF_E_OPEN = MakeHResult(0x84000006);
constexpr HRESULT TIFF_E_NOMEMORY = MakeHResult(0x8400000E);
constexpr HRESULT CLIPBOARD_E_NOMEMORY = MakeHResult(0x80070001);
constexpr HRESULT CLIPBOARD_E_LOCK = MakeHResult(0x80070002);
constexpr HRESULT CLIPBOARD_E_REFUSED = MakeHResult(0x80070003);

// Writes the image in the format named by `settings.ImageFileFormat.FormatName`
// ("BMP", "Jpeg", "PNG", "TIFF", compared case-sensitively) and returns that
// writer's result. Another name writes nothing and returns 0 (callers refuse
// unknown names before they get here). `path` is in the process code page.
// `encodedAhead`, when given, is a PNG encoding of this very picture made
// while it was painted (the caller vouches for that); a PNG file is then
// written from its bytes once it has finished, which gives the same file.
HRESULT WriteImageFile(const Settings& settings, const std::string& path, const PageImage& image,
                       PngEncodeAhead* encodedAhead = nullptr);

// 54 header bytes, then the pixel block exactly as stored (bottom-up rows,
// padding included). 0x80070004 the file cannot be created; 0x80070005 a
// write fails.
HRESULT WriteBmpFile(const std::string& path, const PageImage& image);
// Baseline JPEG of the library defaults at `quality` (the library limits it
// to 1..100), top row first. 0x83FF0001 library error; 0x83FF0004 open.
HRESULT WriteJpegFile(const std::string& path, const PageImage& image, std::int32_t quality);
// 8-bit RGB PNG, not interlaced, library defaults, top row first.
// 0x83FE0001 library error or no row buffer; 0x83FE0004 open; 0x83FE0006 no
// library structure.
HRESULT WritePngFile(const std::string& path, const PageImage& image);
// 8-bit RGB TIFF in strips of one row, top row first; `compress` 10 gives
// PackBits, any other value no compression. 0x84000005 a strip cannot be
// written; 0x84000006 open; 0x8400000E no strip buffer.
HRESULT WriteTiffFile(const std::string& path, const PageImage& image, std::int32_t compress);

// Puts the image on the clipboard as CF_DIB (40-byte header, then the pixel
// block as stored). The caller has opened and emptied the clipboard and closes
// it afterwards. 0x80070001 no memory; 0x80070002 the block cannot be locked;
// 0x80070003 the clipboard refuses the data.
HRESULT PutImageOnClipboard(const PageImage& image);

}  // namespace ss
