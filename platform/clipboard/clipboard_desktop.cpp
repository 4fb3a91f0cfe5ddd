// The bridge from the session clipboard to the desktop clipboard, on Qt.
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMetaObject>
#include <QMimeData>
#include <QThread>

#include <cstdlib>
#include <cstring>

#include "platform/clipboard/clipboard.h"
#include "platform/clipboard/clipboard_internal.h"
#include "platform/codepage/codepage.h"

namespace ss {

bool DesktopClipboardPresent() {
  const char* display = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  if ((!display || !*display) && (!wayland || !*wayland)) return false;
  const char* qpa = std::getenv("QT_QPA_PLATFORM");
  if (qpa && (std::strcmp(qpa, "offscreen") == 0 || std::strcmp(qpa, "minimal") == 0)) return false;
  auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
  if (!app) return false;
  const QString platform = QGuiApplication::platformName();
  return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

namespace clipboard {
namespace {

// A picture from a packed 24- or 32-bit DIB; null when it is not one.
QImage ImageFromDib(const std::string& dib) {
  struct Header {
    std::uint32_t size;
    std::int32_t width;
    std::int32_t height;
    std::uint16_t planes;
    std::uint16_t bits;
    std::uint32_t compression;
  } h{};
  if (dib.size() < 40) return {};
  std::memcpy(&h, dib.data(), sizeof h);
  if (h.size < 40 || h.width <= 0 || h.height == 0 || h.compression != 0 || (h.bits != 24 && h.bits != 32))
    return {};
  const long long rows = h.height > 0 ? h.height : -static_cast<long long>(h.height);
  const long long stride = ((static_cast<long long>(h.width) * h.bits + 31) / 32) * 4;
  if (static_cast<long long>(dib.size()) < h.size + stride * rows) return {};
  QImage image(h.width, static_cast<int>(rows), QImage::Format_RGB888);
  if (image.isNull()) return {};
  const auto* base = reinterpret_cast<const std::uint8_t*>(dib.data()) + h.size;
  const int step = h.bits / 8;
  for (long long r = 0; r < rows; ++r) {
    const std::uint8_t* src = base + stride * r;
    const int y = static_cast<int>(h.height > 0 ? rows - 1 - r : r);
    std::uint8_t* dst = image.scanLine(y);
    for (int x = 0; x < h.width; ++x, src += step, dst += 3) {
      dst[0] = src[2];
      dst[1] = src[1];
      dst[2] = src[0];
    }
  }
  return image;
}

}  // namespace

void PushToDesktop(const std::string* dib, const std::string* text) {
  auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
  if (!app) return;
  auto* data = new QMimeData();
  if (text) {
    const std::string bytes(text->c_str());  // up to the first NUL
    data->setText(QString::fromStdString(AnsiToUtf8(bytes)));
  }
  if (dib) {
    QImage image = ImageFromDib(*dib);
    if (!image.isNull()) data->setImageData(image);
  }
  // The desktop clipboard belongs to the GUI thread.
  if (QThread::currentThread() == app->thread()) {
    QGuiApplication::clipboard()->setMimeData(data);
  } else {
    data->moveToThread(app->thread());
    QMetaObject::invokeMethod(app, [data] { QGuiApplication::clipboard()->setMimeData(data); }, Qt::QueuedConnection);
  }
}

}  // namespace clipboard
}  // namespace ss
