#include "imaging/png_encoding.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <system_error>

namespace ss {

// --- The encoder -------------------------------------------------------------

PngEncoder::~PngEncoder() { Destroy(); }

void PngEncoder::Destroy() {
  if (!png_) return;
  png_structp p = png_;
  png_infop i = info_;
  png_destroy_write_struct(&p, i ? &i : nullptr);
  png_ = nullptr;
  info_ = nullptr;
}

int PngEncoder::Create() {
  Destroy();
  png_ = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!png_) return 6;
  info_ = png_create_info_struct(png_);
  if (!info_) return 6;
  return 0;
}

int PngEncoder::Header(std::uint32_t width, std::uint32_t height) {
  // An error inside the library jumps back here.
  if (setjmp(png_jmpbuf(png_))) return 1;
  png_set_IHDR(png_, info_, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE,
               PNG_FILTER_TYPE_BASE);
  png_write_info(png_, info_);
  return 0;
}

int PngEncoder::StartFile(std::FILE* file, std::uint32_t width, std::uint32_t height) {
  if (int code = Create(); code != 0) return code;
  if (setjmp(png_jmpbuf(png_))) return 1;
  png_init_io(png_, file);
  return Header(width, height);
}

int PngEncoder::StartMemory(std::vector<std::uint8_t>* out, std::size_t limit, std::uint32_t width,
                            std::uint32_t height) {
  if (int code = Create(); code != 0) return code;
  // Nobody is told of a failure here: the writer then encodes as usual.
  png_set_error_fn(
      png_, nullptr, [](png_structp png, png_const_charp) { png_longjmp(png, 1); },
      [](png_structp, png_const_charp) {});
  memory_ = out;
  limit_ = limit;
  if (setjmp(png_jmpbuf(png_))) return 1;
  png_set_write_fn(png_, this, &PngEncoder::WriteToMemory, &PngEncoder::FlushMemory);
  return Header(width, height);
}

void PngEncoder::WriteToMemory(png_struct_def* png, std::uint8_t* data, std::size_t length) {
  auto* self = static_cast<PngEncoder*>(png_get_io_ptr(png));
  std::vector<std::uint8_t>& out = *self->memory_;
  if (length > self->limit_ || out.size() > self->limit_ - length) png_error(png, "the encoding grew too large");
  out.insert(out.end(), data, data + length);
}

int PngEncoder::WriteRow(const std::uint8_t* rgb) {
  if (!png_) return 1;
  if (setjmp(png_jmpbuf(png_))) return 1;
  png_write_row(png_, rgb);
  return 0;
}

int PngEncoder::End() {
  if (setjmp(png_jmpbuf(png_))) return 1;
  png_write_end(png_, info_);
  return 0;
}

int PngEncoder::Finish() {
  if (!png_) return 1;
  const int code = End();
  Destroy();
  return code;
}

// --- The encoding made ahead ---------------------------------------------------

namespace {

constexpr int kBandRows = 32;

void BgrxToRgb(const std::uint8_t* in, std::uint8_t* out, int width) {
  for (int x = 0; x < width; ++x, in += 4, out += 3) {
    out[0] = in[2];
    out[1] = in[1];
    out[2] = in[0];
  }
}

}  // namespace

PngEncodeAhead::PngEncodeAhead(int width, int height, RowReader reader, std::size_t byteLimit)
    : width_(width), height_(height), reader_(std::move(reader)), limit_(byteLimit) {
  if (width_ <= 0 || height_ <= 0) return;
  try {
    running_ = true;
    worker_ = std::thread(&PngEncodeAhead::Run, this);
  } catch (const std::system_error&) {
    running_ = false;
    // No thread: nothing is made ahead and the writer encodes as usual.
  }
}

PngEncodeAhead::~PngEncodeAhead() { Abandon(); }

void PngEncodeAhead::RowsFinal(int rows) {
  {
    std::lock_guard<std::mutex> lock(mu_);
    if (rows <= final_) return;
    final_ = std::min(rows, height_);
  }
  cv_.notify_one();
}

void PngEncodeAhead::Abandon() {
  {
    std::lock_guard<std::mutex> lock(mu_);
    stop_ = true;
  }
  cv_.notify_one();
  if (worker_.joinable()) worker_.join();
  ok_ = false;
  std::vector<std::uint8_t>().swap(bytes_);
}

bool PngEncodeAhead::WaitRowsRead(int rows) {
  std::unique_lock<std::mutex> lock(mu_);
  readCv_.wait(lock, [&] { return read_ >= rows || !running_; });
  return read_ >= rows;
}

bool PngEncodeAhead::Finish() {
  if (worker_.joinable()) worker_.join();
  return ok_;
}

void PngEncodeAhead::Run() {
  PngEncoder encoder;
  int code = encoder.StartMemory(&bytes_, limit_, static_cast<std::uint32_t>(width_),
                                 static_cast<std::uint32_t>(height_));
  std::vector<std::uint8_t> band(static_cast<std::size_t>(width_) * 4 * kBandRows);
  std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width_) * 3);
  int next = 0;
  while (code == 0 && next < height_) {
    int available;
    {
      std::unique_lock<std::mutex> lock(mu_);
      cv_.wait(lock, [&] { return stop_ || final_ > next; });
      if (stop_) break;
      available = final_;
    }
    while (code == 0 && next < available) {
      const int count = std::min(kBandRows, available - next);
      if (!reader_(next, count, band.data())) {
        code = 1;
        break;
      }
      {
        std::lock_guard<std::mutex> lock(mu_);
        read_ = next + count;
      }
      readCv_.notify_all();
      for (int r = 0; r < count && code == 0; ++r) {
        BgrxToRgb(band.data() + static_cast<std::size_t>(r) * static_cast<std::size_t>(width_) * 4, rgb.data(),
                  width_);
        code = encoder.WriteRow(rgb.data());
      }
      next += count;
      std::lock_guard<std::mutex> lock(mu_);
      if (stop_) code = 1;
    }
  }
  const bool complete = code == 0 && next == height_ && encoder.Finish() == 0;
  {
    std::lock_guard<std::mutex> lock(mu_);
    ok_ = complete && !stop_;
    running_ = false;
    if (!ok_) std::vector<std::uint8_t>().swap(bytes_);
  }
  readCv_.notify_all();
}

}  // namespace ss
