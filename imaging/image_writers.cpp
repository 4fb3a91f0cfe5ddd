#include "imaging/image_writers.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include <jpeglib.h>
#include <tiffio.h>

#include "imaging/png_encoding.h"
#include "platform/clipboard/clipboard.h"
#include "platform/codepage/codepage.h"
#include "platform/gdi/gdi.h"

namespace ss {
namespace {

// File paths arrive in the process code page; the file system takes UTF-8.
std::string FileSystemPath(const std::string& path) { return GetACP() == CP_UTF8 ? path : AnsiToUtf8(path); }

bool Usable(const PageImage& image) {
  return image.pixels && image.width > 0 && image.height > 0 && image.stride >= image.width * 3;
}

// Stored row `r` counted from the top of the picture (the last stored row).
const std::uint8_t* TopRow(const PageImage& image, std::int32_t r) {
  return image.pixels + static_cast<std::size_t>(image.stride) * static_cast<std::size_t>(image.height - 1 - r);
}

// Blue-green-red to red-green-blue, one row.
void RowToRgbScalar(const std::uint8_t* bgr, std::uint8_t* rgb, std::int32_t width) {
  for (std::int32_t x = 0; x < width; ++x, bgr += 3, rgb += 3) {
    rgb[0] = bgr[2];
    rgb[1] = bgr[1];
    rgb[2] = bgr[0];
  }
}

#if defined(__x86_64__) || defined(__i386__)
// Five pixels per byte shuffle. Each step reads and writes 16 bytes, of which
// 15 are its own, so it runs only while a sixth pixel follows in the row.
__attribute__((target("ssse3"))) void RowToRgbSsse3(const std::uint8_t* bgr, std::uint8_t* rgb,
                                                     std::int32_t width) {
  const __m128i order = _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 14, 13, 12, 15);
  std::int32_t x = 0;
  for (; x + 6 <= width; x += 5, bgr += 15, rgb += 15) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bgr));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(rgb), _mm_shuffle_epi8(v, order));
  }
  RowToRgbScalar(bgr, rgb, width - x);
}
#endif

using RowConverter = void (*)(const std::uint8_t*, std::uint8_t*, std::int32_t);

RowConverter PickRowConverter() {
#if defined(__x86_64__) || defined(__i386__)
  if (__builtin_cpu_supports("ssse3")) return RowToRgbSsse3;
#endif
  return RowToRgbScalar;
}

void RowToRgb(const std::uint8_t* bgr, std::uint8_t* rgb, std::int32_t width) {
  static const RowConverter convert = PickRowConverter();
  convert(bgr, rgb, width);
}

bool WriteAll(int fd, const void* data, std::size_t size) {
  const auto* p = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t n = ::write(fd, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

void PutLE16(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
void PutLE32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// The 40-byte information header of a 24-bit bottom-up DIB, little-endian.
void PutInfoHeader(std::uint8_t* p, const PageImage& image) {
  std::memset(p, 0, 40);
  PutLE32(p + 0, 40);
  PutLE32(p + 4, static_cast<std::uint32_t>(image.width));
  PutLE32(p + 8, static_cast<std::uint32_t>(image.height));
  PutLE16(p + 12, 1);
  PutLE16(p + 14, 24);
}

// --- JPEG ------------------------------------------------------------------

struct JpegErrorManager {
  jpeg_error_mgr base;
  std::jmp_buf recovery;
};

// The library's message goes through its own output routine (standard
// error); control then returns to the writer.
[[noreturn]] void JpegFatal(j_common_ptr cinfo) {
  (*cinfo->err->output_message)(cinfo);
  std::longjmp(reinterpret_cast<JpegErrorManager*>(cinfo->err)->recovery, 1);
}

HRESULT JpegWrite(const char* path, const PageImage& image, std::int32_t quality) {
  jpeg_compress_struct cinfo;
  JpegErrorManager err;
  std::FILE* volatile file = nullptr;
  std::memset(&cinfo, 0, sizeof cinfo);
  cinfo.err = jpeg_std_error(&err.base);
  err.base.error_exit = JpegFatal;
  switch (setjmp(err.recovery)) {
    case 0:
      break;
    case 4:
      jpeg_destroy_compress(&cinfo);
      return JPEG_E_OPEN;
    default:
      if (file) std::fclose(file);
      jpeg_destroy_compress(&cinfo);
      return JPEG_E_LIBRARY;
  }
  jpeg_create_compress(&cinfo);
  file = std::fopen(path, "wb");
  if (!file) std::longjmp(err.recovery, 4);
  jpeg_stdio_dest(&cinfo, file);
  cinfo.image_width = static_cast<JDIMENSION>(image.width);
  cinfo.image_height = static_cast<JDIMENSION>(image.height);
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  JSAMPARRAY row = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                               static_cast<JDIMENSION>(image.width) * 3, 1);
  while (cinfo.next_scanline < cinfo.image_height) {
    RowToRgb(TopRow(image, static_cast<std::int32_t>(cinfo.next_scanline)), row[0], image.width);
    jpeg_write_scanlines(&cinfo, row, 1);
  }
  jpeg_finish_compress(&cinfo);
  std::FILE* f = file;
  file = nullptr;
  const bool closed = std::fclose(f) == 0;
  jpeg_destroy_compress(&cinfo);
  // A file that cannot be flushed to the end is not a finished picture.
  return closed ? S_OK : JPEG_E_LIBRARY;
}

// --- PNG -------------------------------------------------------------------

// The writer's code for the encoder's recovery code.
HRESULT PngFailure(int code) { return PNG_E_BASE | static_cast<HRESULT>(code); }

HRESULT PngWrite(const char* path, const PageImage& image) {
  struct File {
    std::FILE* f;
    ~File() {
      if (f) std::fclose(f);
    }
  } file{std::fopen(path, "wb")};
  if (!file.f) return PNG_E_OPEN;
  PngEncoder encoder;
  if (int code = encoder.StartFile(file.f, static_cast<std::uint32_t>(image.width),
                                   static_cast<std::uint32_t>(image.height));
      code != 0)
    return PngFailure(code);
  std::unique_ptr<std::uint8_t[]> buffer(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(image.width) * 3]);
  if (!buffer) return PNG_E_LIBRARY;
  for (std::int32_t r = 0; r < image.height; ++r) {
    RowToRgb(TopRow(image, r), buffer.get(), image.width);
    if (int code = encoder.WriteRow(buffer.get()); code != 0) return PngFailure(code);
  }
  if (int code = encoder.Finish(); code != 0) return PngFailure(code);
  const bool closed = std::fclose(file.f) == 0;
  file.f = nullptr;
  return closed ? S_OK : PNG_E_LIBRARY;
}

// A PNG file whose bytes were made ahead: the same codes as the writer.
HRESULT PngWriteEncoded(const char* path, const std::vector<std::uint8_t>& bytes) {
  std::FILE* file = std::fopen(path, "wb");
  if (!file) return PNG_E_OPEN;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  const bool closed = std::fclose(file) == 0;
  return written && closed ? S_OK : PNG_E_LIBRARY;
}

// --- TIFF ------------------------------------------------------------------

HRESULT TiffWrite(const char* path, const PageImage& image, std::int32_t compress) {
  TIFF* tif = TIFFOpen(path, "w");
  if (!tif) return MakeHResult(0x84000006);
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(image.width));
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(image.height));
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  // The library's default strip size answers a request of 65535 rows with
  // 65535 itself; that is taken as one row per strip.
  std::uint32_t rowsPerStrip = TIFFDefaultStripSize(tif, 65535);
  if (rowsPerStrip == 65535) rowsPerStrip = 1;
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
  TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
  // 10 is PackBits; no other value names a scheme, so it stays uncompressed.
  TIFFSetField(tif, TIFFTAG_COMPRESSION, compress == 10 ? COMPRESSION_PACKBITS : COMPRESSION_NONE);

  const tmsize_t scanline = TIFFScanlineSize(tif);
  const tmsize_t stripSize = TIFFStripSize(tif);
  if (scanline <= 0 || stripSize <= 0) {
    TIFFClose(tif);
    return MakeHResult(0x8400000E);
  }
  auto* strip = static_cast<std::uint8_t*>(std::calloc(static_cast<std::size_t>(stripSize), 1));
  if (!strip) {
    TIFFClose(tif);
    return MakeHResult(0x8400000E);
  }
  HRESULT result = S_OK;
  std::uint32_t stripNo = 0;
  for (std::int32_t top = 0; top < image.height; top += static_cast<std::int32_t>(rowsPerStrip), ++stripNo) {
    const std::int32_t rows = std::min<std::int64_t>(rowsPerStrip, image.height - top);
    for (std::int32_t i = 0; i < rows; ++i)
      RowToRgb(TopRow(image, top + i), strip + static_cast<std::size_t>(scanline) * static_cast<std::size_t>(i),
               image.width);
    if (TIFFWriteEncodedStrip(tif, stripNo, strip, scanline * rows) < 0) {
      result = MakeHResult(0x84000005);
      break;
    }
  }
  std::free(strip);
  // Closing writes the directory; a failure there leaves no readable file.
  if (result == S_OK && TIFFFlush(tif) != 1) result = MakeHResult(0x84000005);
  TIFFClose(tif);
  return result;
}

}  // namespace

const ImageFormat* FindImageFormat(const std::string& formatName) {
  for (const ImageFormat& f : ImageFormatTable)
    if (formatName == f.formatName) return &f;
  return nullptr;
}

HRESULT WriteImageFile(const Settings& settings, const std::string& path, const PageImage& image,
                       PngEncodeAhead* encodedAhead) {
  const auto& format = settings.ImageFileFormat;
  if (format.FormatName == "BMP") return WriteBmpFile(path, image);
  if (format.FormatName == "Jpeg") return WriteJpegFile(path, image, format.Quality);
  if (format.FormatName == "PNG") {
    if (encodedAhead && Usable(image) && encodedAhead->width() == image.width &&
        encodedAhead->height() == image.height && encodedAhead->Finish())
      return PngWriteEncoded(FileSystemPath(path).c_str(), encodedAhead->bytes());
    return WritePngFile(path, image);
  }
  if (format.FormatName == "TIFF") return WriteTiffFile(path, image, format.Compress);
  return S_OK;
}

HRESULT WriteBmpFile(const std::string& path, const PageImage& image) {
  if (!Usable(image)) return E_POINTER;
  const std::uint64_t pixelBytes = static_cast<std::uint64_t>(image.stride) * static_cast<std::uint64_t>(image.height);
  std::uint8_t header[54];
  PutLE16(header + 0, 0x4D42);
  // The size field holds 32 bits; a larger picture records 0 there, as readers
  // then take the size from the header and the rows.
  const std::uint64_t fileSize = pixelBytes + 54;
  PutLE32(header + 2, fileSize > 0xFFFFFFFFull ? 0 : static_cast<std::uint32_t>(fileSize));
  PutLE32(header + 6, 0);
  PutLE32(header + 10, 54);
  PutInfoHeader(header + 14, image);

  const std::string fsPath = FileSystemPath(path);
  int fd = ::open(fsPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return BMP_E_CREATE;
  bool ok = WriteAll(fd, header, 14) && WriteAll(fd, header + 14, 40) &&
            WriteAll(fd, image.pixels, static_cast<std::size_t>(pixelBytes));
  if (::close(fd) != 0) ok = false;
  return ok ? S_OK : BMP_E_WRITE;
}

HRESULT WriteJpegFile(const std::string& path, const PageImage& image, std::int32_t quality) {
  if (!Usable(image)) return E_POINTER;
  const std::string fsPath = FileSystemPath(path);
  return JpegWrite(fsPath.c_str(), image, quality);
}

HRESULT WritePngFile(const std::string& path, const PageImage& image) {
  if (!Usable(image)) return E_POINTER;
  const std::string fsPath = FileSystemPath(path);
  return PngWrite(fsPath.c_str(), image);
}

HRESULT WriteTiffFile(const std::string& path, const PageImage& image, std::int32_t compress) {
  if (!Usable(image)) return E_POINTER;
  const std::string fsPath = FileSystemPath(path);
  return TiffWrite(fsPath.c_str(), image, compress);
}

HRESULT PutImageOnClipboard(const PageImage& image) {
  if (!Usable(image)) return E_POINTER;
  const std::size_t pixelBytes = static_cast<std::size_t>(image.stride) * static_cast<std::size_t>(image.height);
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 40 + pixelBytes);
  if (!block) return CLIPBOARD_E_NOMEMORY;
  auto* p = static_cast<std::uint8_t*>(GlobalLock(block));
  if (!p) {
    GlobalFree(block);
    return CLIPBOARD_E_LOCK;
  }
  PutInfoHeader(p, image);
  std::memcpy(p + 40, image.pixels, pixelBytes);
  GlobalUnlock(block);
  if (!SetClipboardData(CF_DIB, block)) {
    GlobalFree(block);
    return CLIPBOARD_E_REFUSED;
  }
  return S_OK;
}

}  // namespace ss
