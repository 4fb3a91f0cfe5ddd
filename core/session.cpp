#include "core/session.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>

#include "core/capture.h"
#include "imaging/resize.h"
#include "output/dispatch.h"
#include "output/extra_process.h"
#include "platform/codepage/codepage.h"
#include "platform/input/keyboard.h"
#include "platform/loader/loader.h"
#include "platform/sound/sound.h"
#include "platform/ui/ui.h"
#include "resources/strings.h"
#include "settings/capture_log.h"
#include "settings/presets.h"
#include "ui/dialogs.h"

namespace ss {
namespace {

using ProtectedModeQuery = HRESULT (*)(BOOL* isProtected);

}  // namespace

PageFacts ReadPageFacts(IWebBrowser2* browser) {
  PageFacts facts;
  if (!browser) {
    facts.locationUrlResult = facts.documentResult = facts.titleResult = facts.pathnameResult = E_POINTER;
    return facts;
  }
  BSTR url;
  facts.locationUrlResult = browser->get_LocationURL(&url);
  if (Succeeded(facts.locationUrlResult)) facts.locationUrl = WideToAnsi(url);
  ComPtr<IDispatch> disp;
  ComPtr<IHTMLDocument2> doc;
  facts.documentResult = browser->get_Document(disp.ReleaseAndGetAddressOf());
  if (Succeeded(facts.documentResult) && !disp) facts.documentResult = E_POINTER;
  if (Succeeded(facts.documentResult)) facts.documentResult = disp.As(&doc);
  if (Failed(facts.documentResult)) {
    facts.titleResult = facts.pathnameResult = facts.documentResult;
    return facts;
  }
  BSTR title;
  facts.titleResult = doc->get_title(&title);
  if (Succeeded(facts.titleResult)) facts.title = WideToAnsi(title);
  ComPtr<IHTMLLocation> location;
  facts.pathnameResult = doc->get_location(location.ReleaseAndGetAddressOf());
  if (Succeeded(facts.pathnameResult) && !location) facts.pathnameResult = E_POINTER;
  if (Succeeded(facts.pathnameResult)) {
    BSTR path;
    facts.pathnameResult = location->get_pathname(&path);
    if (Succeeded(facts.pathnameResult)) facts.pathname = WideToAnsi(path);
  }
  return facts;
}

CaptureSession::CaptureSession(AutoCaptureControl* owner) : owner_(owner) {}

CaptureSession::~CaptureSession() {
  if (windowDC) ReleaseDC(browserWindow, windowDC);
  if (captureBitmap) DeleteObject(captureBitmap);
  FreePageImage(&pageImage);
}

HRESULT CaptureSession::StartProcess() {
  HRESULT hr = RunSession(true);
  if (hr == S_OK) {
    NotifyCompletion();
    return S_OK;
  }
  if (hr < 0) ReportFailure(hr);
  return hr;
}

HRESULT CaptureSession::ProtectedModeStage() {
  if (settings.NeverAskProtectedMode != 0) return S_OK;
  HMODULE library = LoadLibraryA("ieframe.dll");
  if (!library) return S_OK;
  auto query = reinterpret_cast<ProtectedModeQuery>(GetProcAddress(library, "IEIsProtectedModeProcess"));
  if (!query) {
    FreeLibrary(library);
    return S_OK;
  }
  BOOL isProtected = 0;
  query(&isProtected);
  FreeLibrary(library);
  if (!isProtected) return S_OK;
  int answer = GetDialogHost().ProtectedMode(browserWindow, settings.NeverAskProtectedMode);
  if (settings.NeverAskProtectedMode == 1) settings.Save("");
  return answer == 1 ? S_OK : kUserDeclined;
}

HRESULT CaptureSession::RunSession(bool showDialog) {
  // 1-2. Presets held with Ctrl, or the settings other windows saved since.
  PresetKeySelection preset = SelectPresetByKeys(settings, GetKeyboardState());
  chosenPreset = preset.slot;

  // 3. The browser's window.
  if (!browserWindow) {
    if (!browser) return E_POINTER;
    if (HRESULT hr = browser->get_HWND(&browserWindow); Failed(hr)) return hr;
  }

  // 4. The protected-mode warning.
  if (HRESULT hr = ProtectedModeStage(); hr != S_OK) return hr;

  // 5. A size arrangement typed into the dialog lasts one run unless kept.
  if (settings.ImageExpand.SaveAdjust == 0) {
    settings.ImageExpand.AdjustWidth = 0;
    settings.ImageExpand.AdjustHeight = 0;
  }

  // 6. The settings dialog.
  bool shift = (GetAsyncKeyState(VK_SHIFT) & 0x8000) != 0;
  if (showDialog && (settings.OmitDialog.OmitDialog == 0 || shift)) {
    int result = GetDialogHost().MainSettings(browserWindow, settings, chosenPreset);
    if (owner_) {
      if (settings.AutoCapturing == 1) owner_->AdviseAutoCapture();
      else owner_->UnadviseAutoCapture();
    }
    if (result != IDOK) {
      settings.Load("");
      return kDialogCancelled;
    }
    settings.Save("");
  }

  // 7. The window's device context, the reference of every bitmap.
  if (windowDC) ReleaseDC(browserWindow, windowDC);
  windowDC = GetWindowDC(browserWindow);

  // 8-10. Capture and conversion.
  struct DropEncodingOnExit {
    std::unique_ptr<PngEncodeAhead>& encoding;
    ~DropEncodingOnExit() { encoding.reset(); }
  } dropEncoding{encodedAhead};
  if (HRESULT hr = CaptureWholePage(*this); hr != S_OK) return hr;
  HRESULT converted = PageImageFromBitmapReleasing(windowDC, captureBitmap, &pageImage);
  DeleteObject(captureBitmap);
  captureBitmap = 0;
  if (converted != S_OK) return converted;

  // 11-13. Resize and delivery (which frees the picture). A picture the
  // resize replaced is no longer the one encoded ahead.
  const std::uint8_t* captured = pageImage.pixels;
  if (HRESULT hr = ResizePageImage(settings, pageImage); hr != S_OK) return hr;
  if (pageImage.pixels != captured) encodedAhead.reset();
  if (HRESULT hr = DispatchOutput(*this, ""); hr != S_OK) return hr;
  FreePageImage(&pageImage);
  encodedAhead.reset();

  // 14. The additional process.
  if (HRESULT hr = RunExtraProgram(settings, output.outputPath); hr != S_OK) return hr;

  // 15. The capture log (the page is asked for its title and address only
  // when there is a log to write).
  if (settings.CaptureLog.EnabledLog == 0) return S_OK;
  return AppendCaptureLog(settings, ReadPageFacts(browser.Get()), browserWindow);
}

void CaptureSession::NotifyCompletion() {
  if (settings.NotifyBySound == 1) {
    struct stat st;
    if (stat(settings.NoticeSound.c_str(), &st) == 0) PlaySoundA(settings.NoticeSound.c_str(), nullptr,
                                                                 SND_FILENAME | SND_ASYNC);
  }
  if (settings.NotifyOnTitleBar == 1 && browser) {
    HWND top = 0;
    if (Failed(browser->get_HWND(&top)) || !top) return;
    char title[512] = {};
    GetWindowTextA(top, title, sizeof title);
    std::string mark = LoadModuleString(kStrCapturedMark).substr(0, 127);
    std::string current = title;
    if (current.size() >= mark.size() && current.compare(current.size() - mark.size(), mark.size(), mark) == 0)
      return;
    SetWindowTextA(top, (current + mark).c_str());
  }
}

void CaptureSession::ReportFailure(HRESULT hr) {
  std::string caption, text;
  if (hr == kBitmapCreationFailed || hr == kImageMemoryFailed) {
    caption = LoadModuleString(kStrImageMemoryCaption);
    text = LoadModuleString(kStrImageMemoryText);
  } else {
    caption = LoadModuleString(kStrErrorCaption);
    text = FormatModuleString(kStrErrorText, static_cast<unsigned>(hr));
  }
  MessageBoxA(browserWindow, text.c_str(), caption.substr(0, 127).c_str(), MB_OK);
}

}  // namespace ss
