#include "output/dispatch.h"

#include "imaging/image_writers.h"
#include "platform/clipboard/clipboard.h"
#include "resources/strings.h"

namespace ss {

bool SaveFormatOf(const Settings& settings, SaveFormat* out) {
  const ImageFormat* f = FindImageFormat(settings.ImageFileFormat.FormatName);
  if (!f) return false;
  out->extension = f->extension;
  out->filter = LoadModuleString(f->filterStringId);
  return true;
}

bool DeliversPngFile(const Settings& settings) {
  return settings.Destination == "File" && settings.ImageFileFormat.FormatName == "PNG";
}

HRESULT DispatchOutput(CaptureSession& session, const std::string&) {
  struct FreeOnExit {
    PageImage& image;
    ~FreeOnExit() { FreePageImage(&image); }
  } freeOnExit{session.pageImage};

  const std::string& destination = session.settings.Destination;
  if (destination == "Clipboard") {
    OpenClipboard(session.browserWindow);
    EmptyClipboard();
    HRESULT hr = PutImageOnClipboard(session.pageImage);
    CloseClipboard();
    return hr;
  }
  if (destination == "File") {
    SaveFormat format;
    bool known = SaveFormatOf(session.settings, &format);
    PageFacts facts = ReadPageFacts(session.browser.Get());
    HRESULT hr = BuildSavePath(session.settings, facts, known ? &format : nullptr, session.browserWindow,
                               session.output);
    if (hr != S_OK) return hr;
    return WriteImageFile(session.settings, session.output.outputPath, session.pageImage, session.encodedAhead.get());
  }
  if (destination == "FTPBlog") return kErrUploadUnavailable;
  return kErrUnknownDestination;
}

}  // namespace ss
