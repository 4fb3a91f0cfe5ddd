// One capture session: the run of the whole pipeline from a press of the
// toolbar button (or a shortcut key, or a finished page load) to the
// delivered picture, on the browser window's thread, stage after stage.
#pragma once

#include <memory>
#include <string>

#include "core/page_image.h"
#include "imaging/png_encoding.h"
#include "output/file_naming.h"
#include "platform/browser/html.h"
#include "platform/com/unknown.h"
#include "platform/gdi/gdi.h"
#include "settings/settings.h"

namespace ss {

// Result codes of the session.
inline constexpr HRESULT kUserDeclined = 1;                                   // No to a question
inline constexpr HRESULT kDialogCancelled = MakeHResult(0x00080001);          // settings dialog closed without OK
inline constexpr HRESULT kBitmapCreationFailed = MakeHResult(0x800709C6);     // bitmap or memory context
inline constexpr HRESULT kImageMemoryFailed = MakeHResult(0x800409CD);

// What the session asks of the object that owns it: listening for page loads
// on this thread (automatic capture).
class AutoCaptureControl {
 public:
  virtual ~AutoCaptureControl() = default;
  virtual HRESULT AdviseAutoCapture() = 0;
  virtual HRESULT UnadviseAutoCapture() = 0;
};

class CaptureSession {
 public:
  explicit CaptureSession(AutoCaptureControl* owner = nullptr);
  ~CaptureSession();
  CaptureSession(const CaptureSession&) = delete;
  CaptureSession& operator=(const CaptureSession&) = delete;

  // The toolbar button: RunSession with the dialog allowed, then the
  // completion notification (0) or the failure box (negative).
  HRESULT StartProcess();
  HRESULT RunSession(bool showDialog);
  void NotifyCompletion();
  void ReportFailure(HRESULT hr);

  // Replaces (and releases) the browser reference.
  void SetBrowser(ComPtr<IWebBrowser2> b) { browser = std::move(b); }

  OutputTexts output;                 // outputPath, outputFolder, outputBody, outputExt
  ComPtr<IWebBrowser2> browser;
  PageImage pageImage{};
  HWND browserWindow = 0;
  HDC windowDC = 0;
  HBITMAP captureBitmap = 0;
  Settings settings;
  std::int32_t siteSet = 0;
  // The preset chosen by keys for this run (0 = none).
  int chosenPreset = 0;
  // When the output will write the captured picture unchanged as a PNG
  // file, the capture encodes it while the page is being painted, into
  // encodedAhead, which the output writes instead of encoding afterwards.
  std::unique_ptr<PngEncodeAhead> encodedAhead;

 private:
  HRESULT ProtectedModeStage();
  HRESULT CaptureLogStage();
  AutoCaptureControl* owner_;
};

// The page facts the naming and the log read, from the session's browser.
PageFacts ReadPageFacts(IWebBrowser2* browser);

}  // namespace ss
