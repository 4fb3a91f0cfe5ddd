// Documents, elements, collections, frames and embedded objects of a page,
// each a proxy for a remote object in this service's script world of its
// document.
#include <cmath>

#include "platform/browser/browser_internal.h"
#include "platform/browser/dispatch_object.h"

namespace ss::browser {
namespace {

LONG ToLong(const Json& v) {
  if (!v.is_number()) return 0;
  return static_cast<LONG>(std::lround(v.get<double>()));
}

BSTR ToBstr(const Json& v) { return v.is_string() ? Utf8ToWide(v.get<std::string>()) : BSTR(); }

Json ArgValue(const Json& v) { return Json{{"value", v}}; }

bool IsNullRemote(const Json& remote) {
  return !remote.contains("objectId") || remote.value("subtype", "") == "null" || remote.value("type", "") == "undefined";
}

// The text an attribute value is written as.
std::string VariantText(const VARIANT& v) {
  switch (v.vt()) {
    case VT_BSTR: return WideToUtf8(v.bstrVal());
    case VT_I2: return std::to_string(v.iVal());
    case VT_I4:
    case VT_INT: return std::to_string(v.lVal());
    case VT_UI4: return std::to_string(v.ulVal());
    case VT_BOOL: return v.boolVal() ? "true" : "false";
    case VT_R8: {
      char buf[64];
      std::snprintf(buf, sizeof buf, "%g", v.dblVal());
      return buf;
    }
    default: return "";
  }
}

// One item of a collection as read in the collection's single round trip.
struct ItemInfo {
  bool element = false;
  BSTR tag;
  LONG offsets[4] = {0, 0, 0, 0};
};

// Reads the tag and offsets of every item: one call for the whole
// collection instead of five per element. Elements outside HTML (SVG) report
// their box relative to the page.
constexpr const char* kItemInfoFunction = R"(function() {
  const out = [];
  for (let i = 0; i < this.length; i++) {
    const e = this[i];
    if (!(e instanceof Element)) { out.push(null); continue; }
    if (e instanceof HTMLElement) {
      out.push([e.tagName, e.offsetLeft, e.offsetTop, e.offsetWidth, e.offsetHeight]);
    } else {
      const r = e.getBoundingClientRect(), w = e.ownerDocument.defaultView;
      out.push([e.tagName, Math.round(r.left + w.scrollX), Math.round(r.top + w.scrollY),
                Math.round(r.width), Math.round(r.height)]);
    }
  }
  return out;
})";

class HtmlElement;
HRESULT NewElement(std::shared_ptr<DocContext> ctx, std::string objectId, IHTMLElement** out);
HRESULT NewCollection(std::shared_ptr<DocContext> ctx, std::string objectId, IDispatch** out);

// ---------------------------------------------------------------------------

class HtmlElement : public DispatchObject<IHTMLElement, IHTMLElement2, IHTMLBodyElement> {
 public:
  HtmlElement(std::shared_ptr<DocContext> ctx, std::string objectId) : ctx_(std::move(ctx)), objectId_(std::move(objectId)) {}
  // An item of a collection, resolved to a remote object only when a call
  // needs one.
  HtmlElement(std::shared_ptr<DocContext> ctx, std::string listId, LONG index, const ItemInfo& info)
      : ctx_(std::move(ctx)), listId_(std::move(listId)), index_(index), tag_(info.tag), haveInfo_(true) {
    for (int i = 0; i < 4; ++i) offsets_[i] = info.offsets[i];
  }

  HRESULT get_tagName(BSTR* tag) override {
    if (!tag) return E_POINTER;
    if (haveInfo_ || !tag_.empty()) {
      HRESULT hr = ctx_->Check();
      if (Failed(hr)) return hr;
      *tag = tag_;
      return S_OK;
    }
    Json v;
    HRESULT hr = Value("function(){return this.tagName}", Json::array(), &v);
    if (Failed(hr)) return hr;
    tag_ = ToBstr(v);
    *tag = tag_;
    return S_OK;
  }

  HRESULT getAttribute(const BSTR& name, LONG, VARIANT* value) override {
    if (!value) return E_POINTER;
    value->Clear();
    Json v;
    HRESULT hr = Value("function(n){return this.hasAttribute(n) ? this.getAttribute(n) : null}",
                       Json::array({ArgValue(WideToUtf8(name))}), &v);
    if (Failed(hr)) return hr;
    *value = v.is_string() ? VARIANT::String(ToBstr(v)) : VARIANT::Null();
    return S_OK;
  }

  HRESULT setAttribute(const BSTR& name, const VARIANT& value, LONG) override {
    Json v;
    return Value("function(n, v){this.setAttribute(n, v); return true}",
                 Json::array({ArgValue(WideToUtf8(name)), ArgValue(VariantText(value))}), &v);
  }

  HRESULT removeAttribute(const BSTR& name, LONG, VARIANT_BOOL* removed) override {
    Json v;
    HRESULT hr = Value("function(n){const had = this.hasAttribute(n); this.removeAttribute(n); return had}",
                       Json::array({ArgValue(WideToUtf8(name))}), &v);
    if (removed) *removed = (Succeeded(hr) && v.is_boolean() && v.get<bool>()) ? VARIANT_TRUE : VARIANT_FALSE;
    return hr;
  }

  HRESULT get_offsetLeft(LONG* v) override { return Offset(0, v); }
  HRESULT get_offsetTop(LONG* v) override { return Offset(1, v); }
  HRESULT get_offsetWidth(LONG* v) override { return Offset(2, v); }
  HRESULT get_offsetHeight(LONG* v) override { return Offset(3, v); }

  HRESULT get_children(IDispatch** collection) override {
    return Collection("function(){return this.children}", collection);
  }
  HRESULT get_all(IDispatch** collection) override {
    return Collection("function(){return this.getElementsByTagName('*')}", collection);
  }
  HRESULT get_document(IDispatch** document) override {
    if (!document) return E_POINTER;
    *document = nullptr;
    HRESULT hr = ctx_->Check();
    if (Failed(hr)) return hr;
    return NewDocument(ctx_, document);
  }

  HRESULT get_scrollWidth(LONG* v) override { return Scroll("scrollWidth", v); }
  HRESULT get_scrollHeight(LONG* v) override { return Scroll("scrollHeight", v); }

  HRESULT get_leftMargin(VARIANT* v) override { return Margin("leftmargin", "marginLeft", v); }
  HRESULT get_topMargin(VARIANT* v) override { return Margin("topmargin", "marginTop", v); }
  HRESULT get_rightMargin(VARIANT* v) override { return Margin("rightmargin", "marginRight", v); }
  HRESULT get_bottomMargin(VARIANT* v) override { return Margin("bottommargin", "marginBottom", v); }

 protected:
  void* InternalQueryInterface(REFIID riid) override {
    if (riid == IHTMLBodyElement::iid) {
      BSTR tag;
      if (Failed(get_tagName(&tag)) || tag != u"BODY") return nullptr;
    }
    return DispatchObject::InternalQueryInterface(riid);
  }

  const std::vector<std::u16string_view>& PropertyNames() const override {
    static const std::vector<std::u16string_view> names = {u"tagName",     u"offsetLeft",  u"offsetTop",
                                                           u"offsetWidth", u"offsetHeight", u"scrollWidth",
                                                           u"scrollHeight"};
    return names;
  }
  HRESULT GetPropertyValue(DISPID id, VARIANT* value) override {
    HRESULT hr;
    if (id == 1) {
      BSTR t;
      hr = get_tagName(&t);
      if (Succeeded(hr)) *value = VARIANT::String(t);
      return hr;
    }
    LONG n = 0;
    switch (id) {
      case 2: hr = get_offsetLeft(&n); break;
      case 3: hr = get_offsetTop(&n); break;
      case 4: hr = get_offsetWidth(&n); break;
      case 5: hr = get_offsetHeight(&n); break;
      case 6: hr = get_scrollWidth(&n); break;
      default: hr = get_scrollHeight(&n); break;
    }
    if (Succeeded(hr)) *value = VARIANT::Long(n);
    return hr;
  }

 private:
  HRESULT Resolve() {
    if (!objectId_.empty()) return ctx_->Check();
    Json remote;
    HRESULT hr = ctx_->CallFunction(listId_, "function(i){return this[i]}", Json::array({ArgValue(index_)}), false, &remote);
    if (Failed(hr)) return hr;
    if (IsNullRemote(remote)) {
      SetLastError("The element is no longer in its collection");
      return RPC_E_DISCONNECTED;
    }
    objectId_ = remote["objectId"].get<std::string>();
    return S_OK;
  }

  HRESULT Value(const std::string& fn, const Json& args, Json* value) {
    HRESULT hr = Resolve();
    if (Failed(hr)) return hr;
    return ctx_->CallValue(objectId_, fn, args, value);
  }

  HRESULT Offset(int which, LONG* out) {
    if (!out) return E_POINTER;
    if (haveInfo_) {
      HRESULT hr = ctx_->Check();
      if (Failed(hr)) return hr;
      *out = offsets_[which];
      return S_OK;
    }
    static const char* const kFns[4] = {"function(){return this.offsetLeft}", "function(){return this.offsetTop}",
                                        "function(){return this.offsetWidth}", "function(){return this.offsetHeight}"};
    Json v;
    HRESULT hr = Value(kFns[which], Json::array(), &v);
    if (Failed(hr)) return hr;
    *out = ToLong(v);
    return S_OK;
  }

  HRESULT Scroll(const char* which, LONG* out) {
    if (!out) return E_POINTER;
    // The body reports the page's whole scrollable size.
    std::string fn = std::string("function(){const d = this.ownerDocument;"
                                 "const e = (this === d.body) ? (d.scrollingElement || d.documentElement || this) : this;"
                                 "return Math.max(e.") + which + ", this === d.body ? this." + which + " : 0)}";
    Json v;
    HRESULT hr = Value(fn, Json::array(), &v);
    if (Failed(hr)) return hr;
    *out = ToLong(v);
    return S_OK;
  }

  // The margin attribute as written, or else the margin the page has.
  HRESULT Margin(const char* attribute, const char* style, VARIANT* out) {
    if (!out) return E_POINTER;
    out->Clear();
    std::string fn = std::string("function(){if (this.hasAttribute('") + attribute + "')) return this.getAttribute('" +
                     attribute + "');const v = parseFloat(getComputedStyle(this)." + style +
                     ");return isNaN(v) ? null : Math.round(v) + 'px'}";
    Json v;
    HRESULT hr = Value(fn, Json::array(), &v);
    if (Failed(hr)) return hr;
    *out = v.is_string() ? VARIANT::String(ToBstr(v)) : VARIANT::Null();
    return S_OK;
  }

  HRESULT Collection(const char* fn, IDispatch** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    HRESULT hr = Resolve();
    if (Failed(hr)) return hr;
    Json remote;
    hr = ctx_->CallFunction(objectId_, fn, Json::array(), false, &remote);
    if (Failed(hr)) return hr;
    if (IsNullRemote(remote)) return E_FAIL;
    return NewCollection(ctx_, remote["objectId"].get<std::string>(), out);
  }

  std::shared_ptr<DocContext> ctx_;
  std::string objectId_;
  std::string listId_;
  LONG index_ = -1;
  BSTR tag_;
  bool haveInfo_ = false;
  LONG offsets_[4] = {0, 0, 0, 0};
};

HRESULT NewElement(std::shared_ptr<DocContext> ctx, std::string objectId, IHTMLElement** out) {
  return CreateInto<HtmlElement>(out, std::move(ctx), std::move(objectId));
}

// ---------------------------------------------------------------------------

class HtmlCollection : public LengthDispatch<IHTMLElementCollection> {
 public:
  HtmlCollection(std::shared_ptr<DocContext> ctx, std::string objectId)
      : ctx_(std::move(ctx)), objectId_(std::move(objectId)) {}

  HRESULT get_length(LONG* length) override {
    if (!length) return E_POINTER;
    if (loaded_) {
      HRESULT hr = ctx_->Check();
      if (Failed(hr)) return hr;
      *length = static_cast<LONG>(items_.size());
      return S_OK;
    }
    Json v;
    HRESULT hr = ctx_->CallValue(objectId_, "function(){return this.length}", Json::array(), &v);
    if (Failed(hr)) return hr;
    *length = ToLong(v);
    return S_OK;
  }

  HRESULT item(const VARIANT& name, const VARIANT&, IDispatch** element) override {
    if (!element) return E_POINTER;
    *element = nullptr;
    if (name.vt() == VT_BSTR) {
      Json remote;
      HRESULT hr = ctx_->CallFunction(
          objectId_, "function(n){for (const e of this) if (e.id === n || e.getAttribute('name') === n) return e; return null}",
          Json::array({ArgValue(WideToUtf8(name.bstrVal()))}), false, &remote);
      if (Failed(hr) || IsNullRemote(remote)) return hr;
      IHTMLElement* e = nullptr;
      hr = NewElement(ctx_, remote["objectId"].get<std::string>(), &e);
      *element = e;
      return hr;
    }
    LONG index;
    if (name.vt() == VT_I4 || name.vt() == VT_INT) index = name.lVal();
    else if (name.vt() == VT_I2) index = name.iVal();
    else if (name.vt() == VT_UI4) index = static_cast<LONG>(name.ulVal());
    else return E_INVALIDARG;
    HRESULT hr = Load();
    if (Failed(hr)) return hr;
    if (index < 0 || static_cast<std::size_t>(index) >= items_.size()) return S_OK;
    const ItemInfo& info = items_[static_cast<std::size_t>(index)];
    if (!info.element) return S_OK;  // not an element: nothing to hand out
    return CreateInto<HtmlElement, IHTMLElement>(element, ctx_, objectId_, index, info);
  }

  HRESULT tags(const VARIANT& tagName, IDispatch** collection) override {
    if (!collection) return E_POINTER;
    *collection = nullptr;
    if (tagName.vt() != VT_BSTR) return E_INVALIDARG;
    Json remote;
    HRESULT hr = ctx_->CallFunction(
        objectId_,
        "function(t){t = String(t).toUpperCase(); return Array.from(this).filter(e => e.tagName.toUpperCase() === t)}",
        Json::array({ArgValue(WideToUtf8(tagName.bstrVal()))}), false, &remote);
    if (Failed(hr)) return hr;
    if (IsNullRemote(remote)) return E_FAIL;
    return NewCollection(ctx_, remote["objectId"].get<std::string>(), collection);
  }


 private:
  HRESULT Load() {
    if (loaded_) return ctx_->Check();
    Json v;
    HRESULT hr = ctx_->CallValue(objectId_, kItemInfoFunction, Json::array(), &v);
    if (Failed(hr)) return hr;
    if (!v.is_array()) return E_FAIL;
    items_.clear();
    items_.reserve(v.size());
    for (const Json& it : v) {
      ItemInfo info;
      if (it.is_array() && it.size() == 5) {
        info.element = true;
        info.tag = ToBstr(it[0]);
        for (int k = 0; k < 4; ++k) info.offsets[k] = ToLong(it[static_cast<std::size_t>(k) + 1]);
      }
      items_.push_back(std::move(info));
    }
    loaded_ = true;
    return S_OK;
  }

  std::shared_ptr<DocContext> ctx_;
  std::string objectId_;
  bool loaded_ = false;
  std::vector<ItemInfo> items_;
};

HRESULT NewCollection(std::shared_ptr<DocContext> ctx, std::string objectId, IDispatch** out) {
  return CreateInto<HtmlCollection>(out, std::move(ctx), std::move(objectId));
}

// ---------------------------------------------------------------------------

class HtmlLocation : public DispatchObject<IHTMLLocation> {
 public:
  explicit HtmlLocation(std::shared_ptr<DocContext> ctx) : ctx_(std::move(ctx)) {}
  HRESULT get_href(BSTR* v) override { return Read("href", v); }
  HRESULT get_pathname(BSTR* v) override { return Read("pathname", v); }

 protected:
  const std::vector<std::u16string_view>& PropertyNames() const override {
    static const std::vector<std::u16string_view> names = {u"href", u"pathname"};
    return names;
  }
  HRESULT GetPropertyValue(DISPID id, VARIANT* value) override {
    BSTR s;
    HRESULT hr = id == 1 ? get_href(&s) : get_pathname(&s);
    if (Succeeded(hr)) *value = VARIANT::String(s);
    return hr;
  }

 private:
  HRESULT Read(const char* what, BSTR* out) {
    if (!out) return E_POINTER;
    Json v;
    HRESULT hr = ctx_->Evaluate(std::string("document.location ? document.location.") + what + " : ''", true, &v);
    if (Failed(hr)) return hr;
    *out = ToBstr(v.value("value", Json()));
    return S_OK;
  }
  std::shared_ptr<DocContext> ctx_;
};

// ---------------------------------------------------------------------------

class EmbeddedObject : public ComObject<IUnknown> {};

class EnumUnknown : public ComObject<IEnumUnknown> {
 public:
  explicit EnumUnknown(std::vector<ComPtr<IUnknown>> items) : items_(std::move(items)) {}
  HRESULT Next(ULONG count, IUnknown** out, ULONG* fetched) override {
    if (!out || (count > 1 && !fetched)) return E_POINTER;
    ULONG n = 0;
    while (n < count && pos_ < items_.size()) {
      out[n] = items_[pos_].Get();
      out[n]->AddRef();
      ++n;
      ++pos_;
    }
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  HRESULT Skip(ULONG count) override {
    pos_ += count;
    if (pos_ > items_.size()) {
      pos_ = items_.size();
      return S_FALSE;
    }
    return S_OK;
  }
  HRESULT Reset() override {
    pos_ = 0;
    return S_OK;
  }

 private:
  std::vector<ComPtr<IUnknown>> items_;
  std::size_t pos_ = 0;
};

// The frame elements of a document that show a page, in document order.
constexpr const char* kFrameOwners =
    "function(){return Array.from(this.querySelectorAll('frame, iframe')).filter(e => e.contentWindow)}";

class HtmlWindow;

class FramesCollection : public LengthDispatch<IHTMLFramesCollection2> {
 public:
  explicit FramesCollection(std::shared_ptr<DocContext> ctx) : ctx_(std::move(ctx)) {}
  HRESULT item(const VARIANT& index, VARIANT* result) override;
  HRESULT get_length(LONG* length) override {
    if (!length) return E_POINTER;
    std::string doc;
    HRESULT hr = ctx_->DocumentObject(&doc);
    if (Failed(hr)) return hr;
    Json v;
    hr = ctx_->CallValue(doc, std::string("function(){return (") + kFrameOwners + ").call(this).length}", Json::array(), &v);
    if (Failed(hr)) return hr;
    *length = ToLong(v);
    return S_OK;
  }


 private:
  std::shared_ptr<DocContext> ctx_;
};

class HtmlWindow : public DispatchObject<IHTMLWindow2> {
 public:
  HtmlWindow(std::shared_ptr<Tab> tab, std::string frameId) : tab_(std::move(tab)), frameId_(std::move(frameId)) {}
  HRESULT get_document(IHTMLDocument2** document) override {
    if (!document) return E_POINTER;
    *document = nullptr;
    std::shared_ptr<DocContext> ctx;
    HRESULT hr = DocContext::ForFrame(tab_, frameId_, false, &ctx);
    if (Failed(hr)) return hr;
    ComPtr<IDispatch> d;
    hr = NewDocument(ctx, d.ReleaseAndGetAddressOf());
    if (Failed(hr)) return hr;
    return d->QueryInterface(IHTMLDocument2::iid, reinterpret_cast<void**>(document));
  }
  HRESULT item(const VARIANT& index, VARIANT* result) override {
    ComPtr<IHTMLDocument2> doc;
    HRESULT hr = get_document(doc.ReleaseAndGetAddressOf());
    if (Failed(hr)) return hr;
    ComPtr<IHTMLFramesCollection2> frames;
    hr = doc->get_frames(frames.ReleaseAndGetAddressOf());
    if (Failed(hr)) return hr;
    return frames->item(index, result);
  }
  HRESULT get_length(LONG* length) override {
    ComPtr<IHTMLDocument2> doc;
    HRESULT hr = get_document(doc.ReleaseAndGetAddressOf());
    if (Failed(hr)) return hr;
    ComPtr<IHTMLFramesCollection2> frames;
    hr = doc->get_frames(frames.ReleaseAndGetAddressOf());
    if (Failed(hr)) return hr;
    return frames->get_length(length);
  }

 protected:
  const std::vector<std::u16string_view>& PropertyNames() const override {
    static const std::vector<std::u16string_view> names = {u"document", u"length"};
    return names;
  }
  HRESULT GetPropertyValue(DISPID id, VARIANT* value) override {
    if (id == 1) {
      ComPtr<IHTMLDocument2> doc;
      HRESULT hr = get_document(doc.ReleaseAndGetAddressOf());
      if (Succeeded(hr)) *value = VARIANT::Dispatch(doc.Get());
      return hr;
    }
    LONG n = 0;
    HRESULT hr = get_length(&n);
    if (Succeeded(hr)) *value = VARIANT::Long(n);
    return hr;
  }

 private:
  std::shared_ptr<Tab> tab_;
  std::string frameId_;
};

HRESULT FramesCollection::item(const VARIANT& index, VARIANT* result) {
  if (!result) return E_POINTER;
  result->Clear();
  LONG i;
  if (index.vt() == VT_I4 || index.vt() == VT_INT) i = index.lVal();
  else if (index.vt() == VT_I2) i = index.iVal();
  else return E_INVALIDARG;
  std::string doc;
  HRESULT hr = ctx_->DocumentObject(&doc);
  if (Failed(hr)) return hr;
  Json remote;
  hr = ctx_->CallFunction(doc, std::string("function(i){return (") + kFrameOwners + ").call(this)[i] || null}",
                          Json::array({ArgValue(i)}), false, &remote);
  if (Failed(hr)) return hr;
  if (IsNullRemote(remote)) return E_INVALIDARG;
  std::string frameId;
  hr = ctx_->FrameOfElement(remote["objectId"].get<std::string>(), &frameId);
  if (Failed(hr)) return hr;
  if (frameId.empty()) return E_INVALIDARG;
  auto w = MakeCom<HtmlWindow>(ctx_->tab(), frameId);
  if (!w) return E_OUTOFMEMORY;
  *result = VARIANT::Dispatch(w.Get());
  return S_OK;
}

// ---------------------------------------------------------------------------

class HtmlDocument
    : public DispatchObject<IHTMLDocument2, IHTMLDocument3, IOleContainer, IOleObject, IViewObject> {
 public:
  explicit HtmlDocument(std::shared_ptr<DocContext> ctx) : ctx_(std::move(ctx)) {}

  HRESULT get_title(BSTR* v) override { return ReadText("this.title", v); }
  HRESULT get_URL(BSTR* v) override { return ReadText("this.URL", v); }
  HRESULT get_mimeType(BSTR* v) override { return ReadText("this.contentType", v); }

  HRESULT get_body(IHTMLElement** body) override { return Element("function(){return this.body}", body); }
  HRESULT get_documentElement(IHTMLElement** root) override {
    return Element("function(){return this.documentElement}", root);
  }

  HRESULT get_location(IHTMLLocation** location) override { return NewPart<HtmlLocation>(location); }
  HRESULT get_frames(IHTMLFramesCollection2** frames) override { return NewPart<FramesCollection>(frames); }

  HRESULT get_all(IHTMLElementCollection** all) override {
    if (!all) return E_POINTER;
    *all = nullptr;
    std::string doc;
    HRESULT hr = ctx_->DocumentObject(&doc);
    if (Failed(hr)) return hr;
    Json remote;
    hr = ctx_->CallFunction(doc, "function(){return this.getElementsByTagName('*')}", Json::array(), false, &remote);
    if (Failed(hr)) return hr;
    if (IsNullRemote(remote)) return E_FAIL;
    ComPtr<IDispatch> c;
    hr = NewCollection(ctx_, remote["objectId"].get<std::string>(), c.ReleaseAndGetAddressOf());
    if (Failed(hr)) return hr;
    return c->QueryInterface(IHTMLElementCollection::iid, reinterpret_cast<void**>(all));
  }

  // Frames (each a browser) and other embedded objects, in document order.
  HRESULT EnumObjects(DWORD flags, IEnumUnknown** items) override {
    if (!items) return E_POINTER;
    *items = nullptr;
    std::vector<ComPtr<IUnknown>> list;
    if (flags & OLECONTF_EMBEDDINGS) {
      std::string doc;
      HRESULT hr = ctx_->DocumentObject(&doc);
      if (Failed(hr)) return hr;
      Json remote;
      hr = ctx_->CallFunction(doc, "function(){return Array.from(this.querySelectorAll('frame, iframe, object, embed, applet'))}",
                              Json::array(), false, &remote);
      if (Failed(hr)) return hr;
      if (IsNullRemote(remote)) return E_FAIL;
      std::string arrayId = remote["objectId"].get<std::string>();
      Json kinds;
      hr = ctx_->CallValue(arrayId, "function(){return this.map(e => (e.localName === 'frame' || e.localName === 'iframe') && e.contentWindow ? 1 : 0)}",
                           Json::array(), &kinds);
      if (Failed(hr)) return hr;
      for (std::size_t i = 0; i < kinds.size(); ++i) {
        if (kinds[i].is_number() && kinds[i].get<int>() == 1) {
          Json el;
          hr = ctx_->CallFunction(arrayId, "function(i){return this[i]}", Json::array({ArgValue(i)}), false, &el);
          if (Failed(hr)) return hr;
          std::string frameId;
          if (!IsNullRemote(el)) {
            hr = ctx_->FrameOfElement(el["objectId"].get<std::string>(), &frameId);
            if (Failed(hr)) return hr;
          }
          if (!frameId.empty()) {
            ComPtr<IWebBrowser2> b;
            hr = NewFrameBrowser(ctx_->tab(), frameId, ctx_->tab()->window.load(), b.ReleaseAndGetAddressOf());
            if (Failed(hr)) return hr;
            list.push_back(ComPtr<IUnknown>(b.Get()));
            continue;
          }
        }
        auto o = MakeCom<EmbeddedObject>();
        if (!o) return E_OUTOFMEMORY;
        list.push_back(ComPtr<IUnknown>(o.Get()));
      }
    }
    return CreateInto<EnumUnknown>(items, std::move(list));
  }

  HRESULT GetExtent(DWORD aspect, SIZEL* size) override {
    if (!size) return E_POINTER;
    if (aspect != DVASPECT_CONTENT) return E_INVALIDARG;
    return ViewGetExtent(*ctx_, size);
  }
  HRESULT SetExtent(DWORD aspect, SIZEL* size) override {
    if (!size) return E_POINTER;
    if (aspect != DVASPECT_CONTENT) return E_INVALIDARG;
    return ViewSetExtent(*ctx_, size);
  }
  HRESULT Draw(DWORD aspect, LONG, void*, const void*, HDC, HDC drawDC, const RECTL* bounds, const RECTL*, void*,
               std::uintptr_t) override {
    if (aspect != DVASPECT_CONTENT) return E_INVALIDARG;
    if (!bounds) return E_INVALIDARG;
    return ViewDraw(*ctx_, drawDC, bounds);
  }

 protected:
  // The view (extent and drawing) belongs to the window's own document; a
  // frame's document has none of its own.
  void* InternalQueryInterface(REFIID riid) override {
    if ((riid == IOleObject::iid || riid == IViewObject::iid) && !ctx_->isTop()) return nullptr;
    return DispatchObject::InternalQueryInterface(riid);
  }

  const std::vector<std::u16string_view>& PropertyNames() const override {
    static const std::vector<std::u16string_view> names = {u"title", u"URL", u"mimeType"};
    return names;
  }
  HRESULT GetPropertyValue(DISPID id, VARIANT* value) override {
    BSTR s;
    HRESULT hr = id == 1 ? get_title(&s) : id == 2 ? get_URL(&s) : get_mimeType(&s);
    if (Succeeded(hr)) *value = VARIANT::String(s);
    return hr;
  }

 private:
  // A new object of the document's (its location, its frames), while the
  // document still stands.
  template <typename T, typename I>
  HRESULT NewPart(I** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    HRESULT hr = ctx_->Check();
    if (Failed(hr)) return hr;
    return CreateInto<T>(out, ctx_);
  }

  HRESULT ReadText(const std::string& expr, BSTR* out) {
    if (!out) return E_POINTER;
    out->clear();
    std::string doc;
    HRESULT hr = ctx_->DocumentObject(&doc);
    if (Failed(hr)) return hr;
    Json v;
    hr = ctx_->CallValue(doc, "function(){return " + expr + "}", Json::array(), &v);
    if (Failed(hr)) return hr;
    *out = ToBstr(v);
    return S_OK;
  }

  HRESULT Element(const char* fn, IHTMLElement** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    std::string doc;
    HRESULT hr = ctx_->DocumentObject(&doc);
    if (Failed(hr)) return hr;
    Json remote;
    hr = ctx_->CallFunction(doc, fn, Json::array(), false, &remote);
    if (Failed(hr)) return hr;
    if (IsNullRemote(remote)) return S_OK;
    return NewElement(ctx_, remote["objectId"].get<std::string>(), out);
  }

  std::shared_ptr<DocContext> ctx_;
};

// ---------------------------------------------------------------------------

class FrameBrowser : public WebBrowserDispatch<IWebBrowser2> {
 public:
  FrameBrowser(std::shared_ptr<Tab> tab, std::string frameId, HWND window)
      : tab_(std::move(tab)), frameId_(std::move(frameId)), window_(window) {}

  HRESULT get_Document(IDispatch** document) override {
    if (!document) return E_POINTER;
    *document = nullptr;
    std::shared_ptr<DocContext> ctx;
    HRESULT hr = DocContext::ForFrame(tab_, frameId_, false, &ctx);
    if (Failed(hr)) return hr;
    return NewDocument(ctx, document);
  }
  HRESULT get_LocationURL(BSTR* url) override {
    if (!url) return E_POINTER;
    std::shared_ptr<DocContext> ctx;
    HRESULT hr = DocContext::ForFrame(tab_, frameId_, false, &ctx);
    if (Failed(hr)) return hr;
    Json v;
    hr = ctx->Evaluate("document.URL", true, &v);
    if (Failed(hr)) return hr;
    *url = ToBstr(v.value("value", Json()));
    return S_OK;
  }
  HRESULT get_HWND(HWND* window) override {
    if (!window) return E_POINTER;
    *window = window_;
    return S_OK;
  }
  HRESULT Navigate(const BSTR& url, VARIANT*, VARIANT*, VARIANT*, VARIANT*) override {
    return tab_->Call("Page.navigate", {{"url", WideToUtf8(url)}, {"frameId", frameId_}}, nullptr);
  }


 private:
  std::shared_ptr<Tab> tab_;
  std::string frameId_;
  HWND window_;
};

}  // namespace

// ---------------------------------------------------------------------------

HRESULT DocContext::ForFrame(const std::shared_ptr<Tab>& tab, const std::string& frameId, bool isTop,
                             std::shared_ptr<DocContext>* out) {
  std::string session;
  int contextId = 0;
  std::uint64_t generation = 0;
  HRESULT hr = tab->WorldFor(frameId, &session, &contextId, &generation);
  if (Failed(hr)) return hr;
  *out = std::make_shared<DocContext>(tab, frameId, session, contextId, generation, isTop);
  return S_OK;
}

HRESULT DocContext::Check() const {
  if (!tab_->Connection()->Alive()) {
    SetLastError("Chromium has gone away");
    return RPC_E_SERVER_DIED;
  }
  if (!tab_->Open() || tab_->FrameGeneration(frameId_) != generation_) {
    SetLastError("The document has been replaced or its window closed");
    return RPC_E_DISCONNECTED;
  }
  return S_OK;
}

namespace {

HRESULT ScriptResult(const Json& r, Json* remote) {
  if (r.contains("exceptionDetails")) {
    const Json& ex = r["exceptionDetails"];
    std::string text = ex.value("text", std::string("script error"));
    if (ex.contains("exception")) text += ": " + ex["exception"].value("description", std::string());
    SetLastError(text);
    return text.find("Cannot find context") != std::string::npos ? RPC_E_DISCONNECTED : E_FAIL;
  }
  if (remote) *remote = r.contains("result") ? r["result"] : Json::object();
  return S_OK;
}

}  // namespace

HRESULT DocContext::Evaluate(const std::string& expression, bool byValue, Json* remote) {
  HRESULT hr = Check();
  if (Failed(hr)) return hr;
  Json r;
  hr = tab_->CallOn(session_, "Runtime.evaluate",
                    {{"expression", expression}, {"contextId", contextId_}, {"returnByValue", byValue},
                     {"silent", true}, {"objectGroup", "scrollsnap"}},
                    &r);
  if (Failed(hr)) return hr == E_FAIL ? (Succeeded(Check()) ? E_FAIL : RPC_E_DISCONNECTED) : hr;
  return ScriptResult(r, remote);
}

HRESULT DocContext::CallFunction(const std::string& objectId, const std::string& function, const Json& args,
                                 bool byValue, Json* remote) {
  HRESULT hr = Check();
  if (Failed(hr)) return hr;
  Json r;
  hr = tab_->CallOn(session_, "Runtime.callFunctionOn",
                    {{"functionDeclaration", function}, {"objectId", objectId}, {"arguments", args},
                     {"returnByValue", byValue}, {"silent", true}},
                    &r);
  if (Failed(hr)) return hr == E_FAIL ? (Succeeded(Check()) ? E_FAIL : RPC_E_DISCONNECTED) : hr;
  return ScriptResult(r, remote);
}

HRESULT DocContext::CallValue(const std::string& objectId, const std::string& function, const Json& args, Json* value) {
  Json remote;
  HRESULT hr = CallFunction(objectId, function, args, true, &remote);
  if (Failed(hr)) return hr;
  *value = remote.contains("value") ? remote["value"] : Json();
  return S_OK;
}

HRESULT DocContext::FrameOfElement(const std::string& objectId, std::string* frameId) {
  frameId->clear();
  HRESULT hr = Check();
  if (Failed(hr)) return hr;
  Json r;
  hr = tab_->CallOn(session_, "DOM.describeNode", {{"objectId", objectId}}, &r);
  if (Failed(hr)) return hr;
  *frameId = r["node"].value("frameId", "");
  return S_OK;
}

HRESULT DocContext::DocumentObject(std::string* objectId) {
  HRESULT hr = Check();
  if (Failed(hr)) return hr;
  if (documentObjectId_.empty()) {
    Json remote;
    hr = Evaluate("document", false, &remote);
    if (Failed(hr)) return hr;
    if (IsNullRemote(remote)) return E_FAIL;
    documentObjectId_ = remote["objectId"].get<std::string>();
  }
  *objectId = documentObjectId_;
  return S_OK;
}

HRESULT NewDocument(std::shared_ptr<DocContext> ctx, IDispatch** out) {
  if (!out) return E_POINTER;
  return CreateInto<HtmlDocument, IHTMLDocument2>(out, std::move(ctx));
}

HRESULT NewFrameBrowser(std::shared_ptr<Tab> tab, std::string frameId, HWND window, IWebBrowser2** out) {
  return CreateInto<FrameBrowser>(out, std::move(tab), std::move(frameId), window);
}

}  // namespace ss::browser
