#include "core/capture.h"

#include <algorithm>
#include <memory>

#include "core/measure.h"
#include "imaging/resize.h"
#include "output/dispatch.h"
#include "platform/codepage/codepage.h"
#include "platform/ui/ui.h"
#include "resources/strings.h"

namespace ss {
namespace {

constexpr HRESULT kSecondContextFailed = E_FAIL;

// A memory context deleted on every way out, with the bitmap it had first
// selected back in.
class MemoryDC {
 public:
  explicit MemoryDC(HDC reference) : dc_(CreateCompatibleDC(reference)) {}
  ~MemoryDC() {
    if (dc_) {
      if (original_) SelectObject(dc_, original_);
      DeleteDC(dc_);
    }
  }
  MemoryDC(const MemoryDC&) = delete;
  MemoryDC& operator=(const MemoryDC&) = delete;
  HDC get() const { return dc_; }
  void Select(HBITMAP bitmap) {
    HGDIOBJ previous = SelectObject(dc_, bitmap);
    if (!original_) original_ = previous;
  }
  // Puts the first bitmap back, so that a selected bitmap can be deleted.
  void Deselect() {
    if (original_) SelectObject(dc_, original_);
    original_ = 0;
  }

 private:
  HDC dc_;
  HGDIOBJ original_ = 0;
};

// A bitmap deleted unless handed over.
class OwnedBitmap {
 public:
  explicit OwnedBitmap(HBITMAP b = 0) : b_(b) {}
  ~OwnedBitmap() {
    if (b_) DeleteObject(b_);
  }
  OwnedBitmap(const OwnedBitmap&) = delete;
  OwnedBitmap& operator=(const OwnedBitmap&) = delete;
  HBITMAP get() const { return b_; }
  HBITMAP Release() { return std::exchange(b_, 0); }
  void Reset(HBITMAP b) {
    if (b_) DeleteObject(b_);
    b_ = b;
  }

 private:
  HBITMAP b_;
};

std::string Text(const BSTR& s) { return WideToAnsi(s); }

// The skin of a capture. Skins are loaded by the skin loader; until a skin
// loads, the capture runs without a frame.
struct SkinUse {
  bool inUse = false;
  bool canMeasure = false;
  bool canDraw = false;
};

SkinUse BeginSkin(const Settings&) { return {}; }

// The large-capture question: true to go on.
bool ConfirmLargeCapture(const Settings& settings, const CropResult& crop, HWND owner) {
  if (settings.AlertByCaptureSize != 1) return true;
  double mb = CaptureSizeMB(crop);
  if (!(mb > static_cast<double>(settings.AlertByCaptureSizeMB))) return true;
  std::string text = FormatModuleString(kStrLargeCaptureQuestion, mb);
  return MessageBoxA(owner, text.c_str(), LoadModuleString(kStrLargeCaptureCaption).c_str(),
                     MB_YESNO | MB_ICONQUESTION) == IDYES;
}

}  // namespace

Insets ReadBodyMargins(IHTMLDocument2* document) {
  Insets m;
  ComPtr<IHTMLElement> body;
  if (!document || Failed(document->get_body(body.ReleaseAndGetAddressOf())) || !body) return m;
  ComPtr<IHTMLBodyElement> b;
  if (Failed(body.As(&b))) return m;  // a frameset has no margins
  VARIANT v;
  if (Succeeded(b->get_leftMargin(&v))) m.left = AttributeToInt(v, 0);
  if (Succeeded(b->get_topMargin(&v))) m.top = AttributeToInt(v, 0);
  if (Succeeded(b->get_rightMargin(&v))) m.right = AttributeToInt(v, 0);
  if (Succeeded(b->get_bottomMargin(&v))) m.bottom = AttributeToInt(v, 0);
  return m;
}

namespace {

// The PNG encoding made while the page is painted (see
// CaptureSession::encodedAhead). The final picture is the block of the painted
// bitmap at `out.source` when no skin adds to it and the block covers it
// whole; its rows are encoded as the view reports them painted.
class EncodeAheadWhilePainting {
 public:
  EncodeAheadWhilePainting(CaptureSession& session, HDC memory, HBITMAP painted, const OutputSizes& out,
                           SIZE viewSize, bool wanted)
      : session_(session), memory_(memory), sourceY_(out.source.y) {
    session_.encodedAhead.reset();
    const SIZE size = out.out;
    const bool covered = size.cx > 0 && size.cy > 0 && size.cx <= out.block.cx && size.cy <= out.block.cy &&
                         out.source.x >= 0 && out.source.y >= 0 && out.source.x + size.cx <= viewSize.cx &&
                         out.source.y + size.cy <= viewSize.cy;
    if (!wanted || !covered) return;
    const POINT source = out.source;
    const int width = size.cx;
    auto reader = [painted, source, width](int first, int count, std::uint8_t* bgrx) {
      return GetBitmapRows(painted, source.x, source.y + first, width, count, bgrx,
                           static_cast<std::size_t>(width) * 4) != 0;
    };
    // An encoding that would hold more than an eighth of the 24-bit picture
    // is not worth its memory: the writer then encodes as usual.
    const std::size_t picture = static_cast<std::size_t>(size.cx) * static_cast<std::size_t>(size.cy) * 3;
    const std::size_t limit = std::max<std::size_t>(picture / 8, 4u << 20);
    session_.encodedAhead = std::make_unique<PngEncodeAhead>(size.cx, size.cy, std::move(reader), limit);
    SetPaintProgressProc(memory_, &EncodeAheadWhilePainting::Progress, this);
  }
  ~EncodeAheadWhilePainting() {
    SetPaintProgressProc(memory_, nullptr, nullptr);
    if (!finished_) session_.encodedAhead.reset();
  }

  // The view has returned: every row is as it stays.
  void PaintingDone(bool painted) {
    SetPaintProgressProc(memory_, nullptr, nullptr);
    if (!session_.encodedAhead) return;
    if (painted) session_.encodedAhead->RowsFinal(session_.encodedAhead->height());
    else session_.encodedAhead.reset();
  }
  // Waits until the encoding has read the picture's rows [0, rows).
  void WaitRowsRead(LONG rows) {
    if (PngEncodeAhead* e = session_.encodedAhead.get()) e->WaitRowsRead(std::min<LONG>(rows, e->height()));
  }
  // Waits for the encoding to end; it is kept only when it is complete.
  void Finish() {
    finished_ = true;
    if (session_.encodedAhead && !session_.encodedAhead->Finish()) session_.encodedAhead.reset();
  }

 private:
  static void Progress(void* context, int finalRows) {
    auto* self = static_cast<EncodeAheadWhilePainting*>(context);
    if (self->session_.encodedAhead) self->session_.encodedAhead->RowsFinal(finalRows - self->sourceY_);
  }

  CaptureSession& session_;
  HDC memory_;
  LONG sourceY_;
  bool finished_ = false;
};

}  // namespace

HRESULT CaptureWholePage(CaptureSession& session) {
  session.captureBitmap = 0;
  if (!session.browser) return E_POINTER;
  const Settings& s = session.settings;
  SystemSizes sys{GetSystemMetrics(SM_CXEDGE), GetSystemMetrics(SM_CYEDGE), GetSystemMetrics(SM_CXVSCROLL)};

  // The measurement stays alive until the capture returns: releasing it puts
  // back any frameset attributes it rewrote.
  auto measurement = std::make_unique<PageMeasurer>();
  struct ReleaseOnExit {
    std::unique_ptr<PageMeasurer>& m;
    ~ReleaseOnExit() { ReleaseMeasurement(m); }
  } releaseMeasurement{measurement};
  MeasureRequest request;
  request.quick = s.QuickCalculatingSize != 0;
  if (HRESULT hr = measurement->MeasurePage(session.browser.Get(), request); hr != S_OK) return hr;
  SIZE pageSize{measurement->width(), measurement->height()};

  ComPtr<IDispatch> disp;
  if (HRESULT hr = session.browser->get_Document(disp.ReleaseAndGetAddressOf()); Failed(hr)) return hr;
  if (!disp) return E_POINTER;
  ComPtr<IHTMLDocument2> document;
  if (HRESULT hr = disp.As(&document); Failed(hr)) return hr;
  BSTR mime;
  document->get_mimeType(&mime);
  bool isImage = IsImageDocument(Text(mime));

  bool cutMargins = s.CutDocumentMargin == 1 || (s.CutImageDocumentMargin == 1 && isImage);
  Insets margins = cutMargins ? ReadBodyMargins(document.Get()) : Insets{};

  ComPtr<IViewObject> view;
  ComPtr<IOleObject> ole;
  if (HRESULT hr = document.As(&view); Failed(hr)) return hr;
  if (HRESULT hr = document.As(&ole); Failed(hr)) return hr;

  SkinUse skin = BeginSkin(s);
  Insets insets;  // reported by a skin's measure function

  RenderSizes sizes = ComputeRenderSize(s, pageSize, request.isFrameset, sys);
  SIZE render = sizes.render;
  SIZEL renderExtent{MulDiv(render.cx, 2540, GetDeviceCaps(session.windowDC, LOGPIXELSX)),
                     MulDiv(render.cy, 2540, GetDeviceCaps(session.windowDC, LOGPIXELSY))};
  RECTL bounds{0, 0, render.cx, render.cy};

  MemoryDC memory(session.windowDC);
  if (!memory.get()) return kBitmapCreationFailed;

  // The crop limits what is painted; the question comes before the extent
  // changes.
  CropResult crop = ApplyCrop(s, {render.cx - sys.cxEdge, render.cy - sys.cyEdge}, s.OmitScrollbars == 1, sys);
  SIZE viewSize = crop.view;
  if (!ConfirmLargeCapture(s, crop, session.browserWindow)) return kUserDeclined;
  OwnedBitmap painted(CreateCompatibleBitmap(session.windowDC, viewSize.cx, viewSize.cy));
  if (!painted.get()) return kBitmapCreationFailed;

  memory.Select(painted.get());

  // What is cut off after painting, and the final picture's place in the
  // painted bitmap.
  Insets cuts = ComputeCuts(s, cutMargins, margins, sys);
  OutputSizes out = ComputeOutputSizes(s, render, viewSize, cuts, skin.inUse && skin.canDraw, insets);
  const bool centred = s.ImageCrop.Centering == 1 && render.cx > viewSize.cx;
  EncodeAheadWhilePainting ahead(session, memory.get(), painted.get(), out, viewSize,
                                 DeliversPngFile(s) && !ResizeChangesPicture(s) && !skin.inUse && !centred);

  SIZEL savedExtent{};
  if (HRESULT hr = ole->GetExtent(DVASPECT_CONTENT, &savedExtent); Failed(hr)) return hr;
  if (HRESULT hr = ole->SetExtent(DVASPECT_CONTENT, &renderExtent); Failed(hr)) {
    ole->SetExtent(DVASPECT_CONTENT, &savedExtent);
    return hr;
  }

  HRESULT paint = S_OK;
  if (centred) {
    // Centred crop: paint at the minimum size, then take the middle.
    SIZE block{sizes.minimum.cx + sys.cxEdge, sizes.minimum.cy + sys.cyEdge};
    OwnedBitmap full(CreateCompatibleBitmap(memory.get(), block.cx, block.cy));
    if (!full.get()) {
      paint = kBitmapCreationFailed;
    } else {
      MemoryDC second(memory.get());
      if (!second.get()) {
        paint = kSecondContextFailed;
      } else {
        second.Select(full.get());
        paint = view->Draw(DVASPECT_CONTENT, 0, nullptr, nullptr, 0, second.get(), &bounds, nullptr, nullptr, 0);
        if (Succeeded(paint))
          BitBlt(memory.get(), 0, 0, block.cx, block.cy, second.get(), (render.cx - viewSize.cx) / 2, 0, SRCCOPY);
        second.Deselect();
      }
    }
  } else {
    paint = view->Draw(DVASPECT_CONTENT, 0, nullptr, nullptr, 0, memory.get(), &bounds, nullptr, nullptr, 0);
  }
  ahead.PaintingDone(paint == S_OK);
  ole->SetExtent(DVASPECT_CONTENT, &savedExtent);
  if (paint != S_OK) return paint;
  view = nullptr;

  OwnedBitmap final(CreateCompatibleBitmap(session.windowDC, out.out.cx, out.out.cy));
  if (!final.get()) return kBitmapCreationFailed;
  {
    MemoryDC target(session.windowDC);
    if (!target.get()) return kBitmapCreationFailed;
    target.Select(final.get());
    // The painted bitmap goes right after this copy: copied band by band, it
    // gives each band's memory back at once, so that a tall page is never
    // held twice whole.
    const int band = std::max(1, static_cast<int>((4u << 20) / (static_cast<std::uint32_t>(viewSize.cx) * 4u + 1u)));
    ReleaseBitmapRows(painted.get(), 0, out.source.y);
    for (LONG done = 0; done < out.block.cy; done += band) {
      const LONG rows = std::min<LONG>(band, out.block.cy - done);
      // A band goes back only once the encoding made while painting has
      // read it: the copy follows the encoding down the picture.
      ahead.WaitRowsRead(done + rows);
      BitBlt(target.get(), insets.left, insets.top + done, out.block.cx, rows, memory.get(), out.source.x,
             out.source.y + done, SRCCOPY);
      ReleaseBitmapRows(painted.get(), out.source.y + done, rows);
    }
    target.Deselect();
  }
  ahead.Finish();
  memory.Deselect();
  painted.Reset(0);
  session.captureBitmap = final.Release();
  return S_OK;
}

}  // namespace ss
