#include "core/measure.h"

#include <algorithm>
#include <limits>
#include <new>

#include "platform/gdi/gdi.h"

namespace ss {

namespace {

// Offsets at or beyond this are taken for layout tricks, not page content.
constexpr LONG kOffsetLimit = 65536;

template <typename T, typename... Args>
std::unique_ptr<T> NewNode(Args&&... args) {
  return std::unique_ptr<T>(new (std::nothrow) T(std::forward<Args>(args)...));
}

std::u16string Lower(std::u16string s) {
  for (auto& c : s)
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
  return s;
}

// An attribute value as text ("" for null, empty or other types).
std::u16string VariantText(const VARIANT& v) {
  switch (v.vt()) {
    case VT_BSTR: return v.bstrVal();
    case VT_I2: {
      std::string s = std::to_string(v.iVal());
      return std::u16string(s.begin(), s.end());
    }
    case VT_I4:
    case VT_INT: {
      std::string s = std::to_string(v.lVal());
      return std::u16string(s.begin(), s.end());
    }
    case VT_BOOL: return v.boolVal() ? u"true" : u"false";
    default: return u"";
  }
}

// Reads an attribute: true when the read succeeded and the attribute is
// present.
bool ReadPresentAttribute(IHTMLElement* element, const char16_t* name, std::u16string* text) {
  VARIANT v;
  if (Failed(element->getAttribute(name, 0, &v))) return false;
  if (v.IsEmptyOrNull()) return false;
  *text = VariantText(v);
  return true;
}

// The list of a cols/rows text: split at ",", blanks and tabs trimmed, the
// piece after a trailing comma dropped; ["*"] for an absent or empty text.
std::vector<std::u16string> SplitSizes(const std::u16string& text) {
  std::vector<std::u16string> out;
  if (text.empty()) return {u"*"};
  std::size_t start = 0;
  for (;;) {
    std::size_t comma = text.find(u',', start);
    std::u16string piece = text.substr(start, comma == std::u16string::npos ? std::u16string::npos : comma - start);
    std::size_t b = piece.find_first_not_of(u" \t");
    std::size_t e = piece.find_last_not_of(u" \t");
    out.push_back(b == std::u16string::npos ? std::u16string() : piece.substr(b, e - b + 1));
    if (comma == std::u16string::npos) break;
    start = comma + 1;
  }
  if (out.size() > 1 && out.back().empty()) out.pop_back();
  return out;
}

std::u16string JoinNumbers(const std::vector<LONG>& values) {
  std::string s;
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i) s += ',';
    s += std::to_string(values[i]);
  }
  return std::u16string(s.begin(), s.end());
}

HRESULT ChildrenOf(IHTMLElement* element, ComPtr<IHTMLElementCollection>* out) {
  ComPtr<IDispatch> d;
  HRESULT hr = element->get_children(d.ReleaseAndGetAddressOf());
  if (Failed(hr)) return hr;
  if (!d) return E_POINTER;
  return d.As(out);
}

HRESULT ElementAt(IHTMLElementCollection* collection, LONG index, ComPtr<IHTMLElement>* out) {
  ComPtr<IDispatch> d;
  HRESULT hr = collection->item(VARIANT::Long(index), VARIANT::Long(0), d.ReleaseAndGetAddressOf());
  if (Failed(hr)) return hr;
  if (!d) return E_POINTER;
  return d.As(out);
}

class FramesetMeasurer;

}  // namespace

// ---------------------------------------------------------------------------

class DocumentMeasurer : public Measurer {
 public:
  HRESULT Measure(IUnknown* document, MeasureRequest& request);

 private:
  ComPtr<IHTMLDocument2> document_;
  std::unique_ptr<Measurer> content_;  // the body node or the frameset node
  int frameCounter_ = 0;
};

namespace {

class BodyMeasurer : public Measurer {
 public:
  BodyMeasurer(ComPtr<IHTMLDocument2> document, ComPtr<IHTMLElement> body)
      : document_(std::move(document)), body_(std::move(body)) {}

  HRESULT Measure(MeasureRequest& request) {
    ComPtr<IHTMLElement2> body2;
    HRESULT hr = body_.As(&body2);
    if (Failed(hr)) return hr;
    LONG scrollWidth = 0, scrollHeight = 0;
    if (Failed(hr = body2->get_scrollWidth(&scrollWidth))) return hr;
    if (Failed(hr = body2->get_scrollHeight(&scrollHeight))) return hr;
    width_ = scrollWidth;
    height_ = scrollHeight;
    if (request.quick) return S_OK;

    // Full: the largest right and bottom edges of the body's elements, below
    // the limit, with the body's own scroll height as the least height. A
    // collection that cannot be had leaves the quick size.
    ComPtr<IDispatch> allDispatch;
    if (Failed(body_->get_all(allDispatch.ReleaseAndGetAddressOf())) || !allDispatch) return S_OK;
    ComPtr<IHTMLElementCollection> all;
    if (Failed(allDispatch.As(&all))) return S_OK;
    LONG length = 0;
    if (Failed(all->get_length(&length))) return S_OK;
    LONG w = 0, h = scrollHeight;
    for (LONG i = 0; i < length; ++i) {
      ComPtr<IHTMLElement> e;
      if (Failed(ElementAt(all.Get(), i, &e))) continue;
      LONG left = 0, top = 0, ew = 0, eh = 0;
      if (Failed(e->get_offsetLeft(&left)) || Failed(e->get_offsetTop(&top)) || Failed(e->get_offsetWidth(&ew)) ||
          Failed(e->get_offsetHeight(&eh)))
        continue;
      LONG right = left + ew, bottom = top + eh;
      if (right > w && right < kOffsetLimit) w = right;
      if (bottom > h && bottom < kOffsetLimit) h = bottom;
    }
    width_ = w;
    height_ = h;
    return S_OK;
  }

 private:
  ComPtr<IHTMLDocument2> document_;
  ComPtr<IHTMLElement> body_;
};

class FrameMeasurer : public Measurer {
 public:
  explicit FrameMeasurer(ComPtr<IHTMLElement> element) : element_(std::move(element)) {}
  bool HasFrameBorder() const override { return frameBorder_; }
  int frameNumber() const { return frameNumber_; }

  HRESULT Measure(MeasureRequest& request, int& counter, bool inheritedFrameBorder) {
    std::u16string text;
    if (ReadPresentAttribute(element_.Get(), u"scrolling", &text)) {
      std::u16string s = Lower(text);
      hasVScroll_ = !(s == u"no" || s == u"0" || s == u"false");
    }
    frameBorder_ = inheritedFrameBorder;
    if (ReadPresentAttribute(element_.Get(), u"frameBorder", &text)) {
      std::u16string s = Lower(text);
      frameBorder_ = s == u"yes" || s == u"1" || s == u"true";
    }
    frameNumber_ = counter++;

    LONG w = 0, h = 0;
    HRESULT hr = MeasureContent(request, &w, &h);
    if (Failed(hr)) return hr;
    width_ = w + (hasVScroll_ ? GetSystemMetrics(SM_CXVSCROLL) : 0);
    height_ = h;
    return S_OK;
  }

 private:
  // The frame's page: first the embedded object at the frame's number, if it
  // is a browser; else the containing document's frame window of that
  // number. Content that cannot be found measures 0 × 0.
  HRESULT MeasureContent(MeasureRequest& request, LONG* w, LONG* h) {
    ComPtr<IDispatch> docDispatch;
    if (Failed(element_->get_document(docDispatch.ReleaseAndGetAddressOf())) || !docDispatch) return S_OK;

    if (ComPtr<IWebBrowser2> browser = EmbeddedBrowser(docDispatch.Get())) {
      page_ = NewNode<PageMeasurer>();
      if (!page_) return E_OUTOFMEMORY;
      HRESULT hr = page_->MeasurePage(browser.Get(), request);
      if (Failed(hr)) return hr;
      *w = page_->width();
      *h = page_->height();
      return S_OK;
    }

    ComPtr<IHTMLDocument2> container;
    if (Failed(docDispatch.As(&container))) return S_OK;
    ComPtr<IHTMLFramesCollection2> frames;
    if (Failed(container->get_frames(frames.ReleaseAndGetAddressOf())) || !frames) return S_OK;
    VARIANT item;
    if (Failed(frames->item(VARIANT::Long(frameNumber_), &item)) || !item.pdispVal()) return S_OK;
    ComPtr<IHTMLWindow2> window;
    if (Failed(ComPtr<IDispatch>(item.pdispVal()).As(&window))) return S_OK;
    ComPtr<IHTMLDocument2> frameDocument;
    if (Failed(window->get_document(frameDocument.ReleaseAndGetAddressOf())) || !frameDocument) return S_OK;
    page_ = NewNode<PageMeasurer>();
    if (!page_) return E_OUTOFMEMORY;
    HRESULT hr = page_->MeasureDocument(frameDocument.Get(), request);
    if (Failed(hr)) return hr;
    *w = page_->width();
    *h = page_->height();
    return S_OK;
  }

  ComPtr<IWebBrowser2> EmbeddedBrowser(IDispatch* document) {
    ComPtr<IOleContainer> container;
    if (Failed(document->QueryInterface(IOleContainer::iid, container.ReleaseAndGetVoidAddress())) || !container)
      return nullptr;
    ComPtr<IEnumUnknown> items;
    if (Failed(container->EnumObjects(OLECONTF_EMBEDDINGS, items.ReleaseAndGetAddressOf())) || !items) return nullptr;
    ComPtr<IUnknown> object;
    for (int i = 0; i <= frameNumber_; ++i) {
      IUnknown* u = nullptr;
      ULONG fetched = 0;
      if (items->Next(1, &u, &fetched) != S_OK || fetched != 1 || !u) {
        if (u) u->Release();
        return nullptr;  // the enumeration ended first
      }
      object = ComPtr<IUnknown>::Adopt(u);
    }
    ComPtr<IWebBrowser2> browser;
    if (Failed(object.As(&browser))) return nullptr;
    return browser;
  }

  ComPtr<IHTMLElement> element_;
  int frameNumber_ = 0;
  bool hasVScroll_ = true;
  bool frameBorder_ = false;
  std::unique_ptr<PageMeasurer> page_;
};

class FramesetMeasurer : public Measurer {
 public:
  explicit FramesetMeasurer(ComPtr<IHTMLElement> element) : element_(std::move(element)) {}

  // Puts the page's own cols and rows back before the children go (so outer
  // framesets are restored before inner ones).
  ~FramesetMeasurer() override {
    if (!savedCols_.empty()) element_->setAttribute(u"cols", VARIANT::String(savedCols_), 0);
    if (!savedRows_.empty()) element_->setAttribute(u"rows", VARIANT::String(savedRows_), 0);
    children_.clear();
  }

  bool HasFrameBorder() const override { return frameBorder_; }

  HRESULT Measure(MeasureRequest& request, int& counter, bool inheritedFrameBorder) {
    request.isFrameset = true;

    border_ = 2;
    VARIANT borderValue;
    if (Succeeded(element_->getAttribute(u"border", 0, &borderValue))) border_ = AttributeToInt(borderValue, 0);

    frameBorder_ = inheritedFrameBorder;
    std::u16string text;
    if (ReadPresentAttribute(element_.Get(), u"frameBorder", &text)) {
      std::u16string s = Lower(text);
      frameBorder_ = s == u"yes" || s == u"1";
    }

    ReadPresentAttribute(element_.Get(), u"cols", &savedCols_);
    ReadPresentAttribute(element_.Get(), u"rows", &savedRows_);
    std::vector<std::u16string> cols = SplitSizes(savedCols_);
    std::vector<std::u16string> rows = SplitSizes(savedRows_);
    const std::size_t nCols = cols.size(), nRows = rows.size();
    std::vector<LONG> colWidths(nCols), rowHeights(nRows);
    for (std::size_t c = 0; c < nCols; ++c) colWidths[c] = ParsePixelNumber(cols[c], 0);
    for (std::size_t r = 0; r < nRows; ++r) rowHeights[r] = ParsePixelNumber(rows[r], 0);

    ComPtr<IHTMLElementCollection> children;
    HRESULT hr = ChildrenOf(element_.Get(), &children);
    if (Failed(hr)) return hr;
    LONG length = 0;
    if (Failed(hr = children->get_length(&length))) return hr;
    bool anyBorder = false;
    for (LONG i = 0; i < length; ++i) {
      const std::size_t column = static_cast<std::size_t>(i) % nCols;
      const std::size_t row = static_cast<std::size_t>(i) / nCols;
      ComPtr<IHTMLElement> child;
      if (Failed(ElementAt(children.Get(), i, &child))) continue;
      BSTR tag;
      if (Failed(child->get_tagName(&tag))) continue;
      tag = Lower(tag);
      std::unique_ptr<Measurer> node;
      if (tag == u"frameset") {
        auto fs = NewNode<FramesetMeasurer>(child);
        if (!fs) return E_OUTOFMEMORY;
        hr = fs->Measure(request, counter, frameBorder_);
        node = std::move(fs);
      } else if (tag == u"frame") {
        auto fr = NewNode<FrameMeasurer>(child);
        if (!fr) return E_OUTOFMEMORY;
        hr = fr->Measure(request, counter, frameBorder_);
        node = std::move(fr);
      } else {
        continue;  // NOFRAMES and anything else
      }
      // A partly measured child is kept, so that releasing the tree puts
      // back whatever it rewrote.
      children_.push_back(std::move(node));
      if (Failed(hr)) return hr;
      const Measurer& m = *children_.back();
      LONG w = m.width(), h = m.height();
      if (row < nRows) {
        LONG fixed = ParsePixelNumber(rows[row], 0);
        if (fixed != 0) h = fixed;
      }
      LONG fixedWidth = ParsePixelNumber(cols[column], 0);
      if (fixedWidth != 0) w = fixedWidth;
      colWidths[column] = std::max(colWidths[column], w);
      if (row < nRows) rowHeights[row] = std::max(rowHeights[row], h);
      if (m.HasFrameBorder()) anyBorder = true;
    }

    if (!savedCols_.empty()) {
      if (Failed(hr = element_->setAttribute(u"cols", VARIANT::String(JoinNumbers(colWidths)), 0))) return hr;
    }
    if (!savedRows_.empty()) {
      if (Failed(hr = element_->setAttribute(u"rows", VARIANT::String(JoinNumbers(rowHeights)), 0))) return hr;
    }

    LONG w = 0, h = 0;
    for (LONG c : colWidths) w += c;
    for (LONG r : rowHeights) h += r;
    if (anyBorder) {
      w += border_ * static_cast<LONG>(nCols - 1);
      h += border_ * static_cast<LONG>(nRows - 1);
    }
    width_ = w;
    height_ = h;
    return S_OK;
  }

 private:
  ComPtr<IHTMLElement> element_;
  LONG border_ = 2;
  bool frameBorder_ = true;
  std::u16string savedCols_;
  std::u16string savedRows_;
  std::vector<std::unique_ptr<Measurer>> children_;
};

}  // namespace

HRESULT DocumentMeasurer::Measure(IUnknown* document, MeasureRequest& request) {
  if (!document) return E_POINTER;
  HRESULT hr = document->QueryInterface(IHTMLDocument2::iid, document_.ReleaseAndGetVoidAddress());
  if (Failed(hr)) return hr;
  ComPtr<IHTMLDocument3> document3;
  if (Failed(hr = document_.As(&document3))) return hr;
  ComPtr<IHTMLElement> root;
  if (Failed(hr = document3->get_documentElement(root.ReleaseAndGetAddressOf()))) return hr;
  if (!root) return E_POINTER;

  // A frameset among the root's direct children.
  ComPtr<IHTMLElementCollection> children;
  if (Failed(hr = ChildrenOf(root.Get(), &children))) return hr;
  ComPtr<IDispatch> framesetsDispatch;
  if (Failed(hr = children->tags(VARIANT::String(u"FRAMESET"), framesetsDispatch.ReleaseAndGetAddressOf()))) return hr;
  ComPtr<IHTMLElementCollection> framesets;
  if (!framesetsDispatch) return E_POINTER;
  if (Failed(hr = framesetsDispatch.As(&framesets))) return hr;
  LONG count = 0;
  if (Failed(hr = framesets->get_length(&count))) return hr;
  if (count > 0) {
    ComPtr<IHTMLElement> frameset;
    if (Failed(hr = ElementAt(framesets.Get(), 0, &frameset))) return hr;
    auto node = NewNode<FramesetMeasurer>(frameset);
    if (!node) return E_OUTOFMEMORY;
    frameCounter_ = 0;
    FramesetMeasurer* fs = node.get();
    content_ = std::move(node);
    if (Failed(hr = fs->Measure(request, frameCounter_, true))) return hr;
    width_ = fs->width();
    height_ = fs->height();
    return S_OK;
  }

  ComPtr<IHTMLElement> body;
  if (Failed(document_->get_body(body.ReleaseAndGetAddressOf()))) return S_OK;  // stays 0 × 0
  if (!body) return E_POINTER;
  auto node = NewNode<BodyMeasurer>(document_, body);
  if (!node) return E_OUTOFMEMORY;
  BodyMeasurer* b = node.get();
  content_ = std::move(node);
  if (Failed(hr = b->Measure(request))) return hr;
  width_ = b->width();
  height_ = b->height();
  return S_OK;
}

// ---------------------------------------------------------------------------

PageMeasurer::PageMeasurer() = default;
PageMeasurer::~PageMeasurer() = default;

void PageMeasurer::Release() {
  document_.reset();
  width_ = 0;
  height_ = 0;
}

HRESULT PageMeasurer::MeasurePage(IWebBrowser2* browser, MeasureRequest& request) {
  Release();
  if (!browser) return E_POINTER;
  ComPtr<IDispatch> document;
  HRESULT hr = browser->get_Document(document.ReleaseAndGetAddressOf());
  if (Failed(hr)) return hr;
  if (!document) return E_POINTER;
  ComPtr<IHTMLDocument2> document2;
  if (Failed(hr = document.As(&document2))) return hr;
  return MeasureDocument(document2.Get(), request);
}

HRESULT PageMeasurer::MeasureDocument(IUnknown* document, MeasureRequest& request) {
  Release();
  document_ = NewNode<DocumentMeasurer>();
  if (!document_) return E_OUTOFMEMORY;
  HRESULT hr = document_->Measure(document, request);
  if (Failed(hr)) return hr;
  width_ = document_->width();
  height_ = document_->height();
  return S_OK;
}

void ReleaseMeasurement(std::unique_ptr<PageMeasurer>& root) { root.reset(); }

// ---------------------------------------------------------------------------

namespace {

template <typename Char>
LONG ParsePixelNumberOf(std::basic_string_view<Char> text, LONG defaultValue) {
  std::size_t i = 0;
  std::int64_t value = 0;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
    value = value * 10 + (text[i] - '0');
    if (value > std::numeric_limits<LONG>::max()) return defaultValue;
    ++i;
  }
  if (i == 0) return defaultValue;
  if (i == text.size()) return static_cast<LONG>(value);
  if (text.size() - i == 2 && (text[i] == 'p' || text[i] == 'P') && (text[i + 1] == 'x' || text[i + 1] == 'X'))
    return static_cast<LONG>(value);
  return defaultValue;
}

}  // namespace

LONG ParsePixelNumber(std::string_view text, LONG defaultValue) { return ParsePixelNumberOf(text, defaultValue); }
LONG ParsePixelNumber(std::u16string_view text, LONG defaultValue) { return ParsePixelNumberOf(text, defaultValue); }

LONG AttributeToInt(const VARIANT& value, LONG defaultValue) {
  switch (value.vt()) {
    case VT_I2: return value.iVal();
    case VT_I4: return value.lVal();
    case VT_BSTR: return value.bstrVal().empty() ? defaultValue : ParsePixelNumber(value.bstrVal(), defaultValue);
    default: return defaultValue;
  }
}

}  // namespace ss
