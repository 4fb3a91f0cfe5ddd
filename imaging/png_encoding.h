// PNG encoding. One row-by-row encoder on libpng with the library's defaults
// (8-bit RGB, no interlacing, no compression level, filter, gamma,
// resolution or text set) serves both the PNG file writer and the encoding
// made ahead, while a picture is still being painted; sharing it is what
// makes the two give the same bytes.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

struct png_struct_def;
struct png_info_def;

namespace ss {

// The encoder. Each call returns 0 or the writer's recovery code: 1 an error
// raised by the library (a failed write, a memory limit reached), 6 a
// library structure that cannot be created.
class PngEncoder {
 public:
  PngEncoder() = default;
  ~PngEncoder();
  PngEncoder(const PngEncoder&) = delete;
  PngEncoder& operator=(const PngEncoder&) = delete;

  // Starts a picture of width × height written to an open file.
  int StartFile(std::FILE* file, std::uint32_t width, std::uint32_t height);
  // Starts a picture whose bytes are appended to `out`; more than `limit`
  // bytes in all is an error. Errors here are silent (the library's own
  // routine would print them).
  int StartMemory(std::vector<std::uint8_t>* out, std::size_t limit, std::uint32_t width, std::uint32_t height);
  // The next row from the top, width × 3 bytes of red, green, blue.
  int WriteRow(const std::uint8_t* rgb);
  // Ends the image. The structures are released in every case.
  int Finish();

 private:
  int Create();
  int Header(std::uint32_t width, std::uint32_t height);
  int End();
  void Destroy();
  static void WriteToMemory(png_struct_def* png, std::uint8_t* data, std::size_t length);
  static void FlushMemory(png_struct_def*) {}

  png_struct_def* png_ = nullptr;
  png_info_def* info_ = nullptr;
  std::vector<std::uint8_t>* memory_ = nullptr;
  std::size_t limit_ = 0;
};

// A PNG encoding made while the picture is being painted. The painter says
// how many rows from the top are finished; a worker thread reads those rows
// (32-bit blue-green-red-unused pixels, the drawing service's layout) and
// encodes them into memory. When the picture later handed to the PNG writer
// is that very picture, the file is simply these bytes, which are the bytes
// the writer would have produced.
class PngEncodeAhead {
 public:
  // Copies `count` rows from top row `first` into `bgrx` (count rows of
  // width × 4 bytes, one after another); false when it cannot.
  using RowReader = std::function<bool(int first, int count, std::uint8_t* bgrx)>;

  // Starts the worker. The encoding gives up (and frees what it made) when
  // it would take more than `byteLimit` bytes.
  PngEncodeAhead(int width, int height, RowReader reader, std::size_t byteLimit);
  // Stops the worker; the reader is never called after this returns.
  ~PngEncodeAhead();
  PngEncodeAhead(const PngEncodeAhead&) = delete;
  PngEncodeAhead& operator=(const PngEncodeAhead&) = delete;

  // Rows [0, rows) are finished and may be read (from any thread; values
  // that do not grow are ignored).
  void RowsFinal(int rows);
  // Stops the worker without finishing; the bytes are dropped.
  void Abandon();
  // Waits until the worker has read rows [0, rows) (and will not read them
  // again), or has stopped. True when they have been read.
  bool WaitRowsRead(int rows);
  // Waits for the worker. True when every row is encoded; the bytes are
  // then complete. Call it once every row is final (or after Abandon).
  bool Finish();

  int width() const { return width_; }
  int height() const { return height_; }
  // The encoded file, complete only after Finish returned true.
  const std::vector<std::uint8_t>& bytes() const { return bytes_; }

 private:
  void Run();

  const int width_;
  const int height_;
  RowReader reader_;
  std::size_t limit_;
  std::vector<std::uint8_t> bytes_;
  std::mutex mu_;
  std::condition_variable cv_;       // wakes the worker
  std::condition_variable readCv_;   // wakes those waiting for rows read
  int final_ = 0;
  int read_ = 0;         // rows the worker has read
  bool running_ = false;  // the worker may still read rows
  bool stop_ = false;
  bool ok_ = false;
  std::thread worker_;
};

}  // namespace ss
