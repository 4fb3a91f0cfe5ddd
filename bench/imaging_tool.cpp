// bench_imaging_tool: runs one imaging operation on a picture file so that it
// can be timed as a whole process beside other programs on the same input.
//
//   bench_imaging_tool generate WIDTH HEIGHT OUT.ppm   a page-like test picture
//   bench_imaging_tool reduce PERCENT IN OUT           resize step by percent
//   bench_imaging_tool jpeg IN OUT.jpg [QUALITY]       JPEG writer (default 80)
//   bench_imaging_tool png IN OUT.png                  PNG writer
//   bench_imaging_tool bmp IN OUT.bmp                  BMP writer
//
// IN is a 24-bit BMP or a binary PPM (P6, maxval 255); OUT of `reduce` is
// written as PPM when its name ends in ".ppm", else as BMP.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "core/page_image.h"
#include "imaging/image_writers.h"
#include "imaging/resize.h"

namespace {

using ss::PageImage;

struct File {
  explicit File(std::FILE* f) : f(f) {}
  ~File() {
    if (f) std::fclose(f);
  }
  std::FILE* f;
};

bool EndsWith(const std::string& s, const char* suffix) {
  const std::size_t n = std::strlen(suffix);
  return s.size() >= n && s.compare(s.size() - n, n, suffix) == 0;
}

// Reads the next PPM header number, skipping blanks and comments.
bool PpmNumber(std::FILE* f, long* out) {
  int c = std::fgetc(f);
  for (;;) {
    while (c == ' ' || c == '\t' || c == '\n' || c == '\r') c = std::fgetc(f);
    if (c != '#') break;
    while (c != '\n' && c != EOF) c = std::fgetc(f);
  }
  if (c < '0' || c > '9') return false;
  long v = 0;
  while (c >= '0' && c <= '9') {
    v = v * 10 + (c - '0');
    c = std::fgetc(f);
  }
  *out = v;
  return true;  // the one blank after the number is consumed
}

bool ReadPicture(const std::string& path, PageImage* image) {
  File file(std::fopen(path.c_str(), "rb"));
  if (!file.f) return false;
  char magic[2];
  if (std::fread(magic, 1, 2, file.f) != 2) return false;
  if (magic[0] == 'P' && magic[1] == '6') {
    long w = 0, h = 0, maxval = 0;
    if (!PpmNumber(file.f, &w) || !PpmNumber(file.f, &h) || !PpmNumber(file.f, &maxval) || maxval != 255) return false;
    if (ss::AllocatePageImage(static_cast<std::int32_t>(w), static_cast<std::int32_t>(h), image) != ss::S_OK)
      return false;
    std::unique_ptr<std::uint8_t[]> row(new std::uint8_t[static_cast<std::size_t>(w) * 3]);
    for (long r = 0; r < h; ++r) {
      if (std::fread(row.get(), 3, static_cast<std::size_t>(w), file.f) != static_cast<std::size_t>(w)) return false;
      std::uint8_t* dst = image->pixels + static_cast<std::size_t>(image->stride) * static_cast<std::size_t>(h - 1 - r);
      const std::uint8_t* src = row.get();
      for (long x = 0; x < w; ++x, src += 3, dst += 3) {
        dst[0] = src[2];
        dst[1] = src[1];
        dst[2] = src[0];
      }
    }
    return true;
  }
  if (magic[0] == 'B' && magic[1] == 'M') {
    std::uint8_t header[52];
    if (std::fread(header, 1, sizeof header, file.f) != sizeof header) return false;
    auto le32 = [&](int at) {
      return static_cast<std::uint32_t>(header[at - 2]) | (static_cast<std::uint32_t>(header[at - 1]) << 8) |
             (static_cast<std::uint32_t>(header[at]) << 16) | (static_cast<std::uint32_t>(header[at + 1]) << 24);
    };
    const std::uint32_t offset = le32(10);
    const std::int32_t w = static_cast<std::int32_t>(le32(18));
    const std::int32_t h = static_cast<std::int32_t>(le32(22));
    const unsigned bits = header[28 - 2] | (header[29 - 2] << 8);
    if (bits != 24 || h <= 0 || le32(30) != 0) return false;
    if (ss::AllocatePageImage(w, h, image) != ss::S_OK) return false;
    if (std::fseek(file.f, static_cast<long>(offset), SEEK_SET) != 0) return false;
    // A bottom-up 24-bit BMP holds exactly the page image's block.
    const std::size_t bytes = static_cast<std::size_t>(image->stride) * static_cast<std::size_t>(h);
    return std::fread(image->pixels, 1, bytes, file.f) == bytes;
  }
  return false;
}

bool WritePpm(const std::string& path, const PageImage& image) {
  File file(std::fopen(path.c_str(), "wb"));
  if (!file.f) return false;
  std::fprintf(file.f, "P6\n%d %d\n255\n", image.width, image.height);
  std::unique_ptr<std::uint8_t[]> row(new std::uint8_t[static_cast<std::size_t>(image.width) * 3]);
  for (std::int32_t r = 0; r < image.height; ++r) {
    const std::uint8_t* src =
        image.pixels + static_cast<std::size_t>(image.stride) * static_cast<std::size_t>(image.height - 1 - r);
    std::uint8_t* dst = row.get();
    for (std::int32_t x = 0; x < image.width; ++x, src += 3, dst += 3) {
      dst[0] = src[2];
      dst[1] = src[1];
      dst[2] = src[0];
    }
    if (std::fwrite(row.get(), 3, static_cast<std::size_t>(image.width), file.f) !=
        static_cast<std::size_t>(image.width))
      return false;
  }
  return std::fflush(file.f) == 0;
}

// A picture with the texture of a web page: white background, dark text-like
// strokes in lines, coloured boxes and a few photographs (smooth gradients
// with noise).
int Generate(long w, long h, const std::string& out) {
  File file(std::fopen(out.c_str(), "wb"));
  if (!file.f || w <= 0 || h <= 0) return 2;
  std::fprintf(file.f, "P6\n%ld %ld\n255\n", w, h);
  std::unique_ptr<std::uint8_t[]> row(new std::uint8_t[static_cast<std::size_t>(w) * 3]);
  std::uint32_t seed = 12345;
  auto rnd = [&seed] {
    seed = seed * 1664525u + 1013904223u;
    return seed >> 8;
  };
  for (long y = 0; y < h; ++y) {
    const long block = y / 600;            // page sections
    const bool photo = block % 5 == 2;     // a photograph section
    const long line = (y % 600) / 20;      // text lines of 20 rows
    const long inLine = y % 20;
    for (long x = 0; x < w; ++x) {
      std::uint8_t r = 255, g = 255, b = 255;
      if (photo && x > w / 10 && x < w * 9 / 10) {
        const std::uint32_t n = rnd() & 15;
        r = static_cast<std::uint8_t>((x * 255 / w + n) & 255);
        g = static_cast<std::uint8_t>(((y % 600) * 255 / 600 + n) & 255);
        b = static_cast<std::uint8_t>(((x + y) % 256 + n) & 255);
      } else if (x < w / 8) {
        r = 230; g = 236; b = 245;  // side bar
      } else if (inLine >= 5 && inLine < 15 && line % 7 != 6) {
        // Glyph-like strokes: runs of ink of varying lengths.
        const long word = (x / 9 + line * 3 + block) % 11;
        if (word < 8 && ((x * 7 + inLine * 3 + line) % 5 < 2)) r = g = b = 30;
      }
      row[3 * x] = r;
      row[3 * x + 1] = g;
      row[3 * x + 2] = b;
    }
    if (std::fwrite(row.get(), 3, static_cast<std::size_t>(w), file.f) != static_cast<std::size_t>(w)) return 2;
  }
  return 0;
}

// A read-only view of a bottom-up 24-bit BMP file as a page image: the file's
// pixel rows are the image's block, so the writers read the file's pages
// directly. The view is never freed through FreePageImage.
class MappedBmp {
 public:
  ~MappedBmp() {
    if (base_ != MAP_FAILED) munmap(base_, size_);
  }
  bool Open(const std::string& path, PageImage* view) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    if (fstat(fd, &st) != 0 || st.st_size < 54) {
      close(fd);
      return false;
    }
    size_ = static_cast<std::size_t>(st.st_size);
    base_ = mmap(nullptr, size_, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
    close(fd);
    if (base_ == MAP_FAILED) return false;
    const auto* p = static_cast<const std::uint8_t*>(base_);
    auto le32 = [p](std::size_t at) {
      return static_cast<std::uint32_t>(p[at]) | (static_cast<std::uint32_t>(p[at + 1]) << 8) |
             (static_cast<std::uint32_t>(p[at + 2]) << 16) | (static_cast<std::uint32_t>(p[at + 3]) << 24);
    };
    if (p[0] != 'B' || p[1] != 'M' || (p[28] | (p[29] << 8)) != 24 || le32(30) != 0) return false;
    const std::uint32_t offset = le32(10);
    const auto w = static_cast<std::int32_t>(le32(18));
    const auto h = static_cast<std::int32_t>(le32(22));
    if (w <= 0 || h <= 0) return false;
    const std::int32_t stride = ss::PageImageStride(w);
    if (offset + static_cast<std::uint64_t>(stride) * static_cast<std::uint64_t>(h) > size_) return false;
    *view = PageImage{w, h, stride, const_cast<std::uint8_t*>(p + offset)};
    return true;
  }

 private:
  void* base_ = MAP_FAILED;
  std::size_t size_ = 0;
};

struct ImageGuard {
  PageImage image = ss::kEmptyPageImage;
  ~ImageGuard() { ss::FreePageImage(&image); }
};

int Usage() {
  std::fprintf(stderr,
               "usage: bench_imaging_tool generate W H OUT.ppm | reduce PERCENT IN OUT | jpeg IN OUT [Q] | "
               "png IN OUT | bmp IN OUT\n");
  return 64;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string op = argv[1];
  if (op == "generate") {
    if (argc != 5) return Usage();
    return Generate(std::atol(argv[2]), std::atol(argv[3]), argv[4]);
  }
  ImageGuard g;
  std::string in, out;
  if (op == "reduce" && argc == 5) {
    in = argv[3];
    out = argv[4];
  } else if ((op == "jpeg" && (argc == 4 || argc == 5)) || ((op == "png" || op == "bmp") && argc == 4)) {
    in = argv[2];
    out = argv[3];
  } else {
    return Usage();
  }
  // The writers only read the picture: a BMP is mapped rather than copied.
  MappedBmp mapped;
  PageImage view = ss::kEmptyPageImage;
  const bool isView = op != "reduce" && mapped.Open(in, &view);
  if (!isView && !ReadPicture(in, &g.image)) {
    std::fprintf(stderr, "bench_imaging_tool: cannot read %s\n", in.c_str());
    return 2;
  }
  ss::HRESULT hr = ss::S_OK;
  if (op == "reduce") {
    ss::Settings settings;
    settings.ImageResize.Resize = "ByPercentage";
    settings.ImageResize.ByPercentage = std::atoi(argv[2]);
    hr = ss::ResizePageImage(settings, g.image);
    if (hr == ss::S_OK) {
      const bool ok = EndsWith(out, ".ppm") ? WritePpm(out, g.image) : ss::WriteBmpFile(out, g.image) == ss::S_OK;
      if (!ok) hr = ss::E_FAIL;
    }
  } else {
    const PageImage& image = isView ? view : g.image;
    if (op == "jpeg")
      hr = ss::WriteJpegFile(out, image, argc == 5 ? std::atoi(argv[4]) : 80);
    else if (op == "png")
      hr = ss::WritePngFile(out, image);
    else
      hr = ss::WriteBmpFile(out, image);
  }
  if (hr != ss::S_OK) {
    std::fprintf(stderr, "bench_imaging_tool: %s failed: 0x%08X\n", op.c_str(), static_cast<unsigned>(hr));
    return 2;
  }
  return 0;
}
