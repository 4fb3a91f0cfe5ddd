// The drawing service: device contexts, bitmaps, fonts, text and the window
// objects the system draws on, with the calls shaped as the system uses them.
//
// Every object is named by a 32-bit handle (platform/base/handle_table.h)
// that is valid in the module, the skins and the host alike. Bitmaps are
// 32-bit BGRX surfaces (blue, green, red, unused; rows top-down), like a
// screen. Pictures cross the service as 24-bit bottom-up DIB rows
// (GetDIBits/SetDIBits) or, for the browser engine, as blocks of 32-bit BGRX
// rows (SetDCRows/SetBitmapRows).
//
// A bitmap that cannot be allocated makes the creating call return 0; no call
// of this service aborts on a large size.
//
// All calls may be made from any thread; a device context is meant to be used
// by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/base/handle_table.h"
#include "platform/base/result.h"

namespace ss {

using HDC = HANDLE32;
using HGDIOBJ = HANDLE32;
using HBITMAP = HANDLE32;
using HFONT = HANDLE32;
using HBRUSH = HANDLE32;
using HWND = std::uint32_t;
using COLORREF = DWORD;

struct POINT {
  LONG x;
  LONG y;
};

struct SIZE {
  LONG cx;
  LONG cy;
};

struct RECT {
  LONG left;
  LONG top;
  LONG right;
  LONG bottom;
};

// 0x00BBGGRR, as the system passes colours.
constexpr COLORREF RGB(BYTE r, BYTE g, BYTE b) {
  return static_cast<COLORREF>(r) | (static_cast<COLORREF>(g) << 8) | (static_cast<COLORREF>(b) << 16);
}
constexpr BYTE GetRValue(COLORREF c) { return static_cast<BYTE>(c & 0xFF); }
constexpr BYTE GetGValue(COLORREF c) { return static_cast<BYTE>((c >> 8) & 0xFF); }
constexpr BYTE GetBValue(COLORREF c) { return static_cast<BYTE>((c >> 16) & 0xFF); }

// The 24-byte size record of a bitmap (GetObjectA). `bmBits` is always 0:
// the pixels of a device-dependent bitmap are not addressable.
struct BITMAP {
  LONG bmType;
  LONG bmWidth;
  LONG bmHeight;
  LONG bmWidthBytes;
  WORD bmPlanes;
  WORD bmBitsPixel;
  std::uint32_t bmBits;
};
static_assert(sizeof(BITMAP) == 24);

#pragma pack(push, 2)
// The 14-byte header that starts a BMP file.
struct BITMAPFILEHEADER {
  WORD bfType;
  DWORD bfSize;
  WORD bfReserved1;
  WORD bfReserved2;
  DWORD bfOffBits;
};
#pragma pack(pop)
static_assert(sizeof(BITMAPFILEHEADER) == 14);

struct BITMAPINFOHEADER {
  DWORD biSize;
  LONG biWidth;
  LONG biHeight;  // positive: rows bottom-up; negative: top-down
  WORD biPlanes;
  WORD biBitCount;
  DWORD biCompression;
  DWORD biSizeImage;
  LONG biXPelsPerMeter;
  LONG biYPelsPerMeter;
  DWORD biClrUsed;
  DWORD biClrImportant;
};
static_assert(sizeof(BITMAPINFOHEADER) == 40);

struct RGBQUAD {
  BYTE rgbBlue;
  BYTE rgbGreen;
  BYTE rgbRed;
  BYTE rgbReserved;
};

struct BITMAPINFO {
  BITMAPINFOHEADER bmiHeader;
  RGBQUAD bmiColors[1];
};

constexpr DWORD BI_RGB = 0;
constexpr UINT DIB_RGB_COLORS = 0;
constexpr DWORD SRCCOPY = 0x00CC0020;

// Bytes per row of a DIB: width × bits rounded up to whole 32-bit words.
constexpr LONG DibStride(LONG width, int bitCount) {
  return static_cast<LONG>(((static_cast<std::int64_t>(width) * bitCount + 31) / 32) * 4);
}

constexpr int LF_FACESIZE = 32;
struct LOGFONTA {
  LONG lfHeight;  // negative: character (em) height; positive: cell height
  LONG lfWidth;
  LONG lfEscapement;
  LONG lfOrientation;
  LONG lfWeight;  // 400 normal, 700 bold
  BYTE lfItalic;
  BYTE lfUnderline;
  BYTE lfStrikeOut;
  BYTE lfCharSet;
  BYTE lfOutPrecision;
  BYTE lfClipPrecision;
  BYTE lfQuality;
  BYTE lfPitchAndFamily;
  char lfFaceName[LF_FACESIZE];  // process code page
};
static_assert(sizeof(LOGFONTA) == 60);

constexpr LONG FW_NORMAL = 400;
constexpr LONG FW_BOLD = 700;
constexpr BYTE DEFAULT_CHARSET = 1;

// GetObjectA / GetObjectType kinds.
constexpr DWORD OBJ_BRUSH = 2;
constexpr DWORD OBJ_DC = 3;
constexpr DWORD OBJ_FONT = 6;
constexpr DWORD OBJ_BITMAP = 7;
constexpr DWORD OBJ_MEMDC = 10;

// GetDeviceCaps indexes.
constexpr int HORZRES = 8;
constexpr int VERTRES = 10;
constexpr int BITSPIXEL = 12;
constexpr int PLANES = 14;
constexpr int LOGPIXELSX = 88;
constexpr int LOGPIXELSY = 90;

// GetSystemMetrics indexes.
constexpr int SM_CXSCREEN = 0;
constexpr int SM_CYSCREEN = 1;
constexpr int SM_CXVSCROLL = 2;
constexpr int SM_CYHSCROLL = 3;
constexpr int SM_CXEDGE = 45;
constexpr int SM_CYEDGE = 46;

// Background modes.
constexpr int TRANSPARENT = 1;
constexpr int OPAQUE = 2;

// DrawTextA formats.
constexpr UINT DT_TOP = 0x0000;
constexpr UINT DT_LEFT = 0x0000;
constexpr UINT DT_CENTER = 0x0001;
constexpr UINT DT_RIGHT = 0x0002;
constexpr UINT DT_VCENTER = 0x0004;
constexpr UINT DT_BOTTOM = 0x0008;
constexpr UINT DT_SINGLELINE = 0x0020;
constexpr UINT DT_NOCLIP = 0x0100;
constexpr UINT DT_CALCRECT = 0x0400;
constexpr UINT DT_NOPREFIX = 0x0800;
constexpr UINT DT_END_ELLIPSIS = 0x8000;

// Stock objects.
constexpr int WHITE_BRUSH = 0;
constexpr int BLACK_BRUSH = 4;
constexpr int SYSTEM_FONT = 13;
constexpr int DEFAULT_GUI_FONT = 17;

// ---------------------------------------------------------------------------
// Device contexts and objects

// A memory context compatible with `reference` (0: the screen). It starts with
// a 1 × 1 stock bitmap, the default font, black text and an opaque white
// background. 0 on failure.
HDC CreateCompatibleDC(HDC reference);
// Deletes a memory context. The objects selected into it are not deleted.
// Window contexts are released with ReleaseDC instead.
BOOL DeleteDC(HDC dc);

// Painting in progress. A painter that fills a context from the top down
// (the browser's view drawing a tall page in bands) says now and then that
// every row above `finalRows` is finished; whoever prepared the context can
// start on those rows while the rest is still being painted. The procedure is
// called on the painter's threads, never twice at once for one context, with
// growing values. A context has at most one; null removes it.
using PaintProgressProc = void (*)(void* context, int finalRows);
BOOL SetPaintProgressProc(HDC dc, PaintProgressProc proc, void* context);
// Tells the context's procedure, if it has one, that rows above `finalRows`
// are finished.
void ReportPaintProgress(HDC dc, int finalRows);

// A 32-bit BGRX bitmap of cx × cy pixels, filled with black. A zero width or
// height gives a 1 × 1 bitmap; a negative size, or one too large to
// allocate, gives 0.
HBITMAP CreateCompatibleBitmap(HDC reference, int cx, int cy);
// Says that rows [top, top + count) of the bitmap are no longer needed: their
// memory goes back to the system and they read as black afterwards. A long
// copy out of a bitmap that is deleted right after can give its memory back
// band by band, so that the source and the copy are never both whole.
BOOL ReleaseBitmapRows(HBITMAP bitmap, int top, int count);

// A bitmap of the size of `header`, holding the given DIB pixels (24 or 32
// bits per pixel, bottom-up or top-down). 0 on failure.
HBITMAP CreateBitmapFromDib(const BITMAPINFOHEADER* header, const void* bits);
// A bitmap read from a BMP file (24 or 32 bits, uncompressed). 0 on failure.
HBITMAP LoadBitmapFromFile(const std::string& path);

// Selects a bitmap, font or brush into the context; returns the object of
// that kind selected before, or 0 when the context or object is unknown.
HGDIOBJ SelectObject(HDC dc, HGDIOBJ obj);
// The object of the given kind (OBJ_BITMAP, OBJ_FONT, OBJ_BRUSH) selected
// into the context.
HGDIOBJ GetCurrentObject(HDC dc, DWORD kind);
// Deletes a bitmap, font or brush. Fails (FALSE) while the object is still
// selected into a context, and for unknown handles. Stock objects stay.
BOOL DeleteObject(HGDIOBJ obj);
HGDIOBJ GetStockObject(int index);
// OBJ_BITMAP, OBJ_FONT, OBJ_BRUSH, OBJ_MEMDC, OBJ_DC, or 0.
DWORD GetObjectType(HGDIOBJ handle);
// Bitmap: fills a BITMAP (24 bytes; type 0, 32 bits, 1 plane, bmBits 0).
// Font: fills a LOGFONTA. Returns the bytes written, or the record size when
// `out` is null; 0 for an unknown handle or a buffer too small.
int GetObjectA(HGDIOBJ obj, int cb, void* out);

// Copies cx × cy pixels from (xSrc, ySrc) of the source context to (x, y) of
// the destination. Only SRCCOPY is supported. The block is clipped to the
// destination surface; source pixels outside the source surface are not
// copied. FALSE when a context is unknown, the operation is another one, or a
// context has no surface.
BOOL BitBlt(HDC dst, int x, int y, int cx, int cy, HDC src, int xSrc, int ySrc, DWORD rop);
// Fills a rectangle (clipped to the surface) with a colour.
BOOL FillRectColor(HDC dc, const RECT* rect, COLORREF color);
HBRUSH CreateSolidBrush(COLORREF color);
int FillRect(HDC dc, const RECT* rect, HBRUSH brush);
// One pixel's colour, or 0xFFFFFFFF outside the surface.
COLORREF GetPixel(HDC dc, int x, int y);
COLORREF SetPixel(HDC dc, int x, int y, COLORREF color);

// Copies rows of the bitmap into a DIB. `info->bmiHeader` gives the layout
// wanted: 24 or 32 bits per pixel, BI_RGB, width equal to the bitmap's,
// positive height for bottom-up rows (start 0 = lowest row), negative for
// top-down rows. `start` and `lines` count DIB rows. With `bits` null only
// the header is completed (biSizeImage, and width/height when biBitCount is
// 0). Returns the rows copied, 0 on failure.
int GetDIBits(HDC dc, HBITMAP bitmap, UINT start, UINT lines, void* bits, BITMAPINFO* info, UINT usage);
// Writes DIB rows into the bitmap (same layouts as GetDIBits; the DIB may be
// narrower or wider than the bitmap, the overlap is written). Returns the
// rows written, 0 on failure.
int SetDIBits(HDC dc, HBITMAP bitmap, UINT start, UINT lines, const void* bits, const BITMAPINFO* info, UINT usage);

// Copies a block of 32-bit BGRX rows (top row first, `srcStride` bytes
// apart) into the bitmap at (x, y), clipped to the bitmap. The fourth byte of
// each pixel is ignored. FALSE for an unknown bitmap or bad arguments.
BOOL SetBitmapRows(HBITMAP bitmap, int x, int y, int width, int height, const void* bgrx, std::size_t srcStride);
// The same into the surface of a context (its selected bitmap, or the window
// of a window context).
BOOL SetDCRows(HDC dc, int x, int y, int width, int height, const void* bgrx, std::size_t srcStride);
// Reads a block of the bitmap as 32-bit BGRX rows (top row first). Pixels
// outside the bitmap are left as they are in `out`.
BOOL GetBitmapRows(HBITMAP bitmap, int x, int y, int width, int height, void* bgrx, std::size_t dstStride);
// The size of a bitmap or of a context's surface; FALSE when unknown.
BOOL GetBitmapSize(HBITMAP bitmap, SIZE* size);
BOOL GetDCSize(HDC dc, SIZE* size);

// 96 for LOGPIXELSX/LOGPIXELSY, 32 bits, 1 plane; HORZRES/VERTRES give the
// surface size. 0 for an unknown context or index.
int GetDeviceCaps(HDC dc, int index);
// SM_CXEDGE 2, SM_CYEDGE 2, SM_CXVSCROLL 17, SM_CYHSCROLL 17, screen
// 1920 × 1080; 0 for other indexes.
int GetSystemMetrics(int index);
// Tests can change the metrics for the whole process; Reset puts them back.
void SetSystemMetricForTesting(int index, int value);
void ResetSystemMetricsForTesting();

// (a × b) / c rounded to the nearest integer, -1 when c is 0 or the result
// overflows 32 bits.
int MulDiv(int a, int b, int c);

// ---------------------------------------------------------------------------
// Fonts and text (texts are in the process code page)

// A font of the face, height (negative: em height in pixels; positive: cell
// height; 0: default 12 pixels), weight and italic flag. An unknown face falls
// back to a default face. 0 when the record is null.
HFONT CreateFontIndirectA(const LOGFONTA* font);
COLORREF SetTextColor(HDC dc, COLORREF color);  // returns the previous colour
COLORREF SetBkColor(HDC dc, COLORREF color);
int SetBkMode(HDC dc, int mode);  // returns the previous mode, 0 on failure

// Draws text into the rectangle with the selected font and text colour (and
// the background colour when the mode is OPAQUE). Supported formats:
// DT_SINGLELINE (line breaks are drawn as spaces), DT_LEFT/DT_CENTER/DT_RIGHT,
// DT_TOP/DT_VCENTER/DT_BOTTOM (DT_VCENTER and DT_BOTTOM with
// DT_SINGLELINE), DT_END_ELLIPSIS (a text wider than the rectangle ends in
// "..." and fits), DT_NOCLIP, DT_CALCRECT (nothing drawn; the rectangle's
// right and bottom are set to the text's extent), DT_NOPREFIX (ignored: "&"
// is never a prefix). Pixels outside the rectangle are never touched unless
// DT_NOCLIP is given. Returns the text height, 0 on failure.
int DrawTextA(HDC dc, const char* text, int count, RECT* rect, UINT format);
// The width and height of the text in the selected font. `count` -1 means
// up to the terminating NUL.
BOOL GetTextExtentPoint32A(HDC dc, const char* text, int count, SIZE* size);
BOOL GetTextExtentPointA(HDC dc, const char* text, int count, SIZE* size);

// ---------------------------------------------------------------------------
// Windows: the objects the browser engine shows pages in

// A window with a title (process code page) and a client area of cx × cy
// pixels (its surface, 32-bit BGRX, starts white). 0 on failure.
HWND CreateBrowserWindow(const char* title, int cx, int cy);
// Destroys the window; its contexts stop working. FALSE when unknown.
BOOL DestroyWindow(HWND window);
BOOL IsWindow(HWND window);
// Changes the client size; the surface keeps the pixels that still fit.
BOOL SetClientSize(HWND window, int cx, int cy);
BOOL GetClientRect(HWND window, RECT* rect);
BOOL GetWindowRect(HWND window, RECT* rect);
int GetWindowTextA(HWND window, char* buffer, int size);
int GetWindowTextLengthA(HWND window);
BOOL SetWindowTextA(HWND window, const char* text);
// A context that draws on the window's surface. Release it with ReleaseDC.
HDC GetDC(HWND window);
HDC GetWindowDC(HWND window);
// 1 when released, 0 when the context is not a context of that window.
int ReleaseDC(HWND window, HDC dc);
// The window a window context belongs to, 0 for a memory context.
HWND WindowFromDC(HDC dc);

// How many bitmaps, contexts, fonts and brushes are alive (leak checks in
// tests).
struct GdiCounts {
  std::size_t bitmaps = 0;
  std::size_t dcs = 0;
  std::size_t fonts = 0;
  std::size_t brushes = 0;
  std::size_t windows = 0;
};
GdiCounts GetGdiCounts();

}  // namespace ss
