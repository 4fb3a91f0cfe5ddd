// Fonts and text of the drawing service, on Qt's font engine.
#include <QApplication>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QString>

#include <algorithm>
#include <climits>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/codepage/codepage.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/gdi_internal.h"

namespace ss {
namespace gdi {
namespace {

// Fonts need a GUI application object. When the process has none (a batch
// run, a test) one is made here on the offscreen platform; it lives until the
// process ends.
bool EnsureFontSupport() {
  static std::mutex mu;
  std::lock_guard<std::mutex> lock(mu);
  if (QCoreApplication::instance()) return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
  static int argc = 3;
  static char arg0[] = "scrollsnap";
  static char arg1[] = "-platform";
  static char arg2[] = "offscreen";
  static char* argv[] = {arg0, arg1, arg2, nullptr};
  // A widgets application, so that dialogs shown later in the same process
  // still find the application object they need.
  new QApplication(argc, argv);
  return true;
}

QFont MakeFont(const FontSpec& spec) {
  const LOGFONTA& lf = spec.log;
  QFont font;
  const std::string face(lf.lfFaceName, strnlen(lf.lfFaceName, LF_FACESIZE));
  if (!face.empty()) font.setFamilies({QString::fromStdString(AnsiToUtf8(face))});
  font.setStyleHint(QFont::SansSerif);
  LONG weight = lf.lfWeight <= 0 ? FW_NORMAL : std::min<LONG>(lf.lfWeight, 1000);
  font.setWeight(static_cast<QFont::Weight>(weight));
  font.setItalic(lf.lfItalic != 0);
  font.setUnderline(lf.lfUnderline != 0);
  font.setStrikeOut(lf.lfStrikeOut != 0);
  LONG height = lf.lfHeight;
  if (height == LONG_MIN) height = 0;
  if (height < 0) {
    font.setPixelSize(std::max<LONG>(1, -height));
  } else if (height > 0) {
    // A positive height is the cell height (ascent + descent): scale the
    // pixel size until the line fits it.
    font.setPixelSize(height);
    const int cell = QFontMetrics(font).height();
    if (cell > height) font.setPixelSize(std::max<LONG>(1, height * height / cell));
  } else {
    font.setPixelSize(12);
  }
  return font;
}

QString ToQString(const std::string& utf8) {
  QString s = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
  // One line: breaks are shown as spaces.
  for (QChar& c : s)
    if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) c = QLatin1Char(' ');
  return s;
}

std::mutex& TextLock() {
  static std::mutex mu;
  return mu;
}

}  // namespace

bool MeasureText(const FontSpec& spec, const std::string& utf8, SIZE* size, int* lineHeight) {
  if (!EnsureFontSupport()) return false;
  std::lock_guard<std::mutex> lock(TextLock());
  QFontMetrics fm(MakeFont(spec));
  const int w = fm.horizontalAdvance(ToQString(utf8));
  if (size) *size = SIZE{w, fm.height()};
  if (lineHeight) *lineHeight = fm.height();
  return true;
}

bool RenderText(Surface& surface, const FontSpec& spec, const std::string& utf8, int x, int y, const RECT& clip,
                COLORREF textColor, bool opaque, COLORREF bkColor) {
  if (!EnsureFontSupport()) return false;
  if (clip.left >= clip.right || clip.top >= clip.bottom) return true;
  std::lock_guard<std::mutex> lock(TextLock());
  const QFont font = MakeFont(spec);
  const QFontMetrics fm(font);
  const QString text = ToQString(utf8);
  // Paint on the band of rows the clip covers only: the surface may be far
  // taller than one image object can address.
  const int bandTop = clip.top;
  const int bandHeight = clip.bottom - clip.top;
  QImage band(surface.Row(bandTop), surface.width(), bandHeight, static_cast<qsizetype>(surface.stride()),
              QImage::Format_RGB32);
  if (band.isNull()) return false;
  QPainter painter(&band);
  if (!painter.isActive()) return false;
  painter.translate(0, -bandTop);
  painter.setClipRect(QRect(clip.left, clip.top, clip.right - clip.left, clip.bottom - clip.top));
  if (opaque) {
    painter.fillRect(QRect(x, y, fm.horizontalAdvance(text), fm.height()),
                     QColor(GetRValue(bkColor), GetGValue(bkColor), GetBValue(bkColor)));
  }
  painter.setFont(font);
  painter.setPen(QColor(GetRValue(textColor), GetGValue(textColor), GetBValue(textColor)));
  painter.drawText(QPoint(x, y + fm.ascent()), text);
  painter.end();
  // Keep the unused fourth byte of every pixel at 0.
  for (int row = clip.top; row < clip.bottom; ++row) {
    std::uint8_t* p = surface.Row(row);
    for (LONG col = clip.left; col < clip.right; ++col) p[4 * static_cast<std::size_t>(col) + 3] = 0;
  }
  return true;
}

}  // namespace gdi

using namespace gdi;

namespace {

std::string TextBytes(const char* text, int count) {
  if (!text) return {};
  if (count < 0) return std::string(text);
  return std::string(text, strnlen(text, static_cast<std::size_t>(count)));
}

// The longest start of `utf8` that, followed by "...", is at most `width`
// wide; whole characters only.
std::string EllipsisText(const FontSpec& font, const std::string& utf8, int width) {
  const std::string dots = "...";
  QString q = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
  std::u32string all = q.toStdU32String();
  std::size_t lo = 0, hi = all.size();
  auto fits = [&](std::size_t n) {
    std::string s = QString::fromStdU32String(all.substr(0, n)).toStdString() + dots;
    SIZE sz{};
    MeasureText(font, s, &sz, nullptr);
    return sz.cx <= width;
  };
  // Binary search on the number of characters kept.
  while (lo < hi) {
    std::size_t mid = (lo + hi + 1) / 2;
    if (fits(mid))
      lo = mid;
    else
      hi = mid - 1;
  }
  return QString::fromStdU32String(all.substr(0, lo)).toStdString() + dots;
}

}  // namespace

int DrawTextA(HDC dc, const char* text, int count, RECT* rect, UINT format) {
  if (!rect) return 0;
  DcState st;
  if (!GetDcState(dc, &st)) return 0;
  std::string utf8 = AnsiToUtf8(TextBytes(text, count));
  SIZE extent{};
  int lineHeight = 0;
  if (!MeasureText(st.font, utf8, &extent, &lineHeight)) return 0;
  if (format & DT_CALCRECT) {
    rect->right = rect->left + extent.cx;
    rect->bottom = rect->top + lineHeight;
    return lineHeight;
  }
  if (!st.surface) return 0;
  const LONG boxWidth = rect->right - rect->left;
  if ((format & DT_END_ELLIPSIS) && extent.cx > boxWidth) {
    utf8 = EllipsisText(st.font, utf8, std::max<LONG>(boxWidth, 0));
    MeasureText(st.font, utf8, &extent, &lineHeight);
  }
  long long x = rect->left;
  if (format & DT_CENTER)
    x = rect->left + (static_cast<long long>(boxWidth) - extent.cx) / 2;
  else if (format & DT_RIGHT)
    x = static_cast<long long>(rect->right) - extent.cx;
  long long y = rect->top;
  if (format & DT_SINGLELINE) {
    if (format & DT_VCENTER)
      y = rect->top + (static_cast<long long>(rect->bottom) - rect->top - lineHeight) / 2;
    else if (format & DT_BOTTOM)
      y = static_cast<long long>(rect->bottom) - lineHeight;
  }
  RECT clip = (format & DT_NOCLIP) ? RECT{static_cast<LONG>(x), static_cast<LONG>(y),
                                          static_cast<LONG>(x + extent.cx), static_cast<LONG>(y + lineHeight)}
                                   : *rect;
  clip.left = std::max<LONG>(clip.left, 0);
  clip.top = std::max<LONG>(clip.top, 0);
  clip.right = std::min<LONG>(clip.right, st.surface->width());
  clip.bottom = std::min<LONG>(clip.bottom, st.surface->height());
  if (x < INT_MIN / 2 || x > INT_MAX / 2 || y < INT_MIN / 2 || y > INT_MAX / 2) return lineHeight;
  if (!RenderText(*st.surface, st.font, utf8, static_cast<int>(x), static_cast<int>(y), clip, st.textColor,
                  st.bkMode == OPAQUE, st.bkColor))
    return 0;
  return lineHeight;
}

BOOL GetTextExtentPoint32A(HDC dc, const char* text, int count, SIZE* size) {
  if (!size) return 0;
  DcState st;
  if (!GetDcState(dc, &st)) return 0;
  return MeasureText(st.font, AnsiToUtf8(TextBytes(text, count)), size, nullptr) ? 1 : 0;
}

BOOL GetTextExtentPointA(HDC dc, const char* text, int count, SIZE* size) {
  return GetTextExtentPoint32A(dc, text, count, size);
}

}  // namespace ss
