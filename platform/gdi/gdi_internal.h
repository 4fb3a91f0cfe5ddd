// Objects of the drawing service, shared by its source files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "platform/gdi/gdi.h"

namespace ss::gdi {

// A 32-bit BGRX pixel surface (rows top-down, 4 bytes per pixel). The block
// comes from calloc, so a size that cannot be had fails instead of aborting.
class Surface {
 public:
  // Null when the size is invalid or the memory cannot be had.
  static std::shared_ptr<Surface> Create(int width, int height);
  ~Surface();
  Surface(const Surface&) = delete;
  Surface& operator=(const Surface&) = delete;

  int width() const { return width_; }
  int height() const { return height_; }
  std::size_t stride() const { return stride_; }
  std::uint8_t* data() { return data_; }
  const std::uint8_t* data() const { return data_; }
  std::uint8_t* Row(int y) { return data_ + stride_ * static_cast<std::size_t>(y); }
  const std::uint8_t* Row(int y) const { return data_ + stride_ * static_cast<std::size_t>(y); }
  void Fill(std::uint32_t bgrx);
  // Gives the memory of rows [top, top + count) back to the system; they read
  // as black afterwards. Only whole memory pages inside those rows go back.
  void ReleaseRows(int top, int count);

 private:
  Surface() = default;
  int width_ = 0;
  int height_ = 0;
  std::size_t stride_ = 0;
  std::uint8_t* data_ = nullptr;
};

enum class ObjectKind { Bitmap, Font, Brush };

struct FontSpec {
  LOGFONTA log{};
};

// A bitmap, font or brush. `selections` counts the contexts it is selected
// into (guarded by the service lock).
struct GdiObject {
  ObjectKind kind = ObjectKind::Bitmap;
  bool stock = false;
  int selections = 0;
  std::shared_ptr<Surface> surface;  // bitmaps
  FontSpec font;                     // fonts
  COLORREF color = 0;                // brushes
};

struct Window {
  std::string title;  // process code page
  std::shared_ptr<Surface> surface;
};

struct DeviceContext {
  HWND window = 0;  // 0 for a memory context
  HBITMAP bitmap = 0;
  HFONT font = 0;
  HBRUSH brush = 0;
  COLORREF textColor = RGB(0, 0, 0);
  COLORREF bkColor = RGB(255, 255, 255);
  int bkMode = OPAQUE;
  PaintProgressProc progress = nullptr;  // told how far painting has got
  void* progressContext = nullptr;
};

// The lock that guards selections, window state and context attributes.
std::mutex& ServiceLock();

// What a context draws with, taken under the lock.
struct DcState {
  std::shared_ptr<Surface> surface;  // null when the context has none
  FontSpec font;
  COLORREF textColor = 0;
  COLORREF bkColor = 0;
  int bkMode = OPAQUE;
};
bool GetDcState(HDC dc, DcState* state);

// Text rendering (Qt). Each returns false when fonts are not available.
bool MeasureText(const FontSpec& font, const std::string& utf8, SIZE* size, int* lineHeight);
// Draws one line of text on the surface. `clip` is in surface coordinates and
// already intersected with the surface; (x, y) is the top left of the line
// box. The background box (opaque mode) is [x, x + width) × [y, y + height).
bool RenderText(Surface& surface, const FontSpec& font, const std::string& utf8, int x, int y,
                const RECT& clip, COLORREF textColor, bool opaque, COLORREF bkColor);

}  // namespace ss::gdi
