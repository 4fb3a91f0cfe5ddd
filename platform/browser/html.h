// The browser's object model as the system calls it: the browser object, its
// documents and elements, the document's OLE embedding (extent and drawing)
// and the page-load event interface.
//
// Texts are wide strings (BSTR); the system turns them into byte strings of
// the process code page with WideToAnsi. Sizes are pixels unless a call says
// HIMETRIC (hundredths of a millimetre). Results are COM result codes.
#pragma once

#include "platform/com/connection_point.h"
#include "platform/com/dispatch.h"
#include "platform/com/unknown.h"
#include "platform/gdi/gdi.h"

namespace ss {

// A call on a document or element whose page has been replaced or closed.
constexpr HRESULT RPC_E_DISCONNECTED = MakeHResult(0x80010108);
// The browser engine went away during the call (it crashed or was killed).
constexpr HRESULT RPC_E_SERVER_DIED = MakeHResult(0x80010007);

using SIZEL = SIZE;
using RECTL = RECT;

// The content aspect of IOleObject/IViewObject calls.
constexpr DWORD DVASPECT_CONTENT = 1;
// IOleContainer::EnumObjects: the embedded objects.
constexpr DWORD OLECONTF_EMBEDDINGS = 1;

class IHTMLDocument2;

class IHTMLElement : public IDispatch {
 public:
  using Base = IDispatch;
  static constexpr IID iid = MakeGuid("{3050F1FF-98B5-11CF-BB82-00AA00BDCE0B}");
  // The tag name in upper case ("BODY", "FRAMESET").
  virtual HRESULT get_tagName(BSTR* tag) = 0;
  // An absent attribute reads as VT_NULL; a present one as its text.
  virtual HRESULT getAttribute(const BSTR& name, LONG flags, VARIANT* value) = 0;
  // Texts are set as they are, numbers as decimal text.
  virtual HRESULT setAttribute(const BSTR& name, const VARIANT& value, LONG flags) = 0;
  virtual HRESULT removeAttribute(const BSTR& name, LONG flags, VARIANT_BOOL* removed) = 0;
  // Offsets relative to the offset parent, as the element reports them.
  virtual HRESULT get_offsetLeft(LONG* value) = 0;
  virtual HRESULT get_offsetTop(LONG* value) = 0;
  virtual HRESULT get_offsetWidth(LONG* value) = 0;
  virtual HRESULT get_offsetHeight(LONG* value) = 0;
  // The direct child elements (an IHTMLElementCollection).
  virtual HRESULT get_children(IDispatch** collection) = 0;
  // Every element inside this one, in document order (an IHTMLElementCollection).
  virtual HRESULT get_all(IDispatch** collection) = 0;
  // The document that contains the element (an IHTMLDocument2).
  virtual HRESULT get_document(IDispatch** document) = 0;
};

class IHTMLElement2 : public IDispatch {
 public:
  using Base = IDispatch;
  static constexpr IID iid = MakeGuid("{3050F434-98B5-11CF-BB82-00AA00BDCE0B}");
  // For the body: the full scrollable size of its page.
  virtual HRESULT get_scrollWidth(LONG* value) = 0;
  virtual HRESULT get_scrollHeight(LONG* value) = 0;
};

class IHTMLBodyElement : public IDispatch {
 public:
  using Base = IDispatch;
  static constexpr IID iid = MakeGuid("{3050F1D8-98B5-11CF-BB82-00AA00BDCE0B}");
  // The margin attributes as the page wrote them (VT_NULL when absent).
  virtual HRESULT get_leftMargin(VARIANT* value) = 0;
  virtual HRESULT get_topMargin(VARIANT* value) = 0;
  virtual HRESULT get_rightMargin(VARIANT* value) = 0;
  virtual HRESULT get_bottomMargin(VARIANT* value) = 0;
};

class IHTMLElementCollection : public IDispatch {
 public:
  using Base = IDispatch;
  static constexpr IID iid = MakeGuid("{3050F21F-98B5-11CF-BB82-00AA00BDCE0B}");
  virtual HRESULT get_length(LONG* length) = 0;
  // `name` VT_I4 gives the item at that position (`index` is then unused);
  // null result (S_OK) past the end.
  virtual HRESULT item(const VARIANT& name, const VARIANT& index, IDispatch** element) = 0;
  // The items with that tag name (any letter case), as a new collection.
  virtual HRESULT tags(const VARIANT& tagName, IDispatch** collection) = 0;
};

class IHTMLLocation : public IDispatch {
 public:
  using Base = IDispatch;
  static constexpr IID iid = MakeGuid("{163BB1E0-6E00-11CF-837A-48DC04C10000}");
  virtual HRESULT get_href(BSTR* href) = 0;
  // Starts with "/".
  virtual HRESULT get_pathname(BSTR* pathname) = 0;
};

class IHTMLFramesCollection2 : public IDispatch {
 public:
  using Base = IDispatch;
  static constexpr IID iid = MakeGuid("{332C4426-26CB-11D0-B483-00C04FD90119}");
  // `index` VT_I4; the result is VT_DISPATCH holding an IHTMLWindow2.
  virtual HRESULT item(const VARIANT& index, VARIANT* result) = 0;
  virtual HRESULT get_length(LONG* length) = 0;
};

class IHTMLWindow2 : public IHTMLFramesCollection2 {
 public:
  using Base = IHTMLFramesCollection2;
  static constexpr IID iid = MakeGuid("{332C4427-26CB-11D0-B483-00C04FD90119}");
  virtual HRESULT get_document(IHTMLDocument2** document) = 0;
};

class IHTMLDocument2 : public IDispatch {
 public:
  using Base = IDispatch;
  static constexpr IID iid = MakeGuid("{332C4425-26CB-11D0-B483-00C04FD90119}");
  virtual HRESULT get_title(BSTR* title) = 0;
  virtual HRESULT get_URL(BSTR* url) = 0;
  // The document's content type, for example "text/html" or "image/png".
  virtual HRESULT get_mimeType(BSTR* type) = 0;
  // The body element (the outer FRAMESET of a frameset document); S_OK with
  // null when the document has none.
  virtual HRESULT get_body(IHTMLElement** body) = 0;
  virtual HRESULT get_location(IHTMLLocation** location) = 0;
  // The windows of the document's frames, in document order.
  virtual HRESULT get_frames(IHTMLFramesCollection2** frames) = 0;
  virtual HRESULT get_all(IHTMLElementCollection** all) = 0;
};

class IHTMLDocument3 : public IDispatch {
 public:
  using Base = IDispatch;
  static constexpr IID iid = MakeGuid("{3050F485-98B5-11CF-BB82-00AA00BDCE0B}");
  virtual HRESULT get_documentElement(IHTMLElement** root) = 0;
};

class IEnumUnknown : public IUnknown {
 public:
  using Base = IUnknown;
  static constexpr IID iid = MakeGuid("{00000100-0000-0000-C000-000000000046}");
  // S_FALSE when fewer than `count` were left.
  virtual HRESULT Next(ULONG count, IUnknown** items, ULONG* fetched) = 0;
  virtual HRESULT Skip(ULONG count) = 0;
  virtual HRESULT Reset() = 0;
};

// The objects embedded in a document: frames (each a browser, IWebBrowser2)
// and other embedded objects, in document order.
class IOleContainer : public IUnknown {
 public:
  using Base = IUnknown;
  static constexpr IID iid = MakeGuid("{0000011B-0000-0000-C000-000000000046}");
  virtual HRESULT EnumObjects(DWORD flags, IEnumUnknown** items) = 0;
};

// The document's embedding: its extent is the size of its view, including the
// view's edges and vertical scrollbar strip, in HIMETRIC.
class IOleObject : public IUnknown {
 public:
  using Base = IUnknown;
  static constexpr IID iid = MakeGuid("{00000112-0000-0000-C000-000000000046}");
  virtual HRESULT GetExtent(DWORD aspect, SIZEL* size) = 0;
  // Lays the document out at the new extent before returning.
  virtual HRESULT SetExtent(DWORD aspect, SIZEL* size) = 0;
};

class IViewObject : public IUnknown {
 public:
  using Base = IUnknown;
  static constexpr IID iid = MakeGuid("{0000010D-0000-0000-C000-000000000046}");
  // Paints the view (edges, scrollbar strip, page) at `bounds` into `drawDC`,
  // clipped by the surface of that context.
  virtual HRESULT Draw(DWORD aspect, LONG index, void* aspectInfo, const void* targetDevice, HDC targetDC,
                       HDC drawDC, const RECTL* bounds, const RECTL* windowBounds, void* continueFn,
                       std::uintptr_t continueArg) = 0;
};

class IWebBrowser2 : public IDispatch {
 public:
  using Base = IDispatch;
  static constexpr IID iid = MakeGuid("{D30C1661-CDAF-11D0-8A3E-00C04FC9E26E}");
  // The current document (an IHTMLDocument2); S_OK with null before the
  // first navigation.
  virtual HRESULT get_Document(IDispatch** document) = 0;
  virtual HRESULT get_LocationURL(BSTR* url) = 0;
  // The browser's top-level window.
  virtual HRESULT get_HWND(HWND* window) = 0;
  // Loads a URL (a local path is taken as a file URL; "javascript:" runs the
  // script in the page) and waits until the page has loaded, bounded by the
  // load time-out. The optional arguments may be null.
  virtual HRESULT Navigate(const BSTR& url, VARIANT* flags, VARIANT* targetFrameName, VARIANT* postData,
                           VARIANT* headers) = 0;
};

// The browser's events (a dispatch interface): the sink's Invoke gets
// DISPID_DOCUMENTCOMPLETE with rgvarg[1] the browser (VT_DISPATCH) and
// rgvarg[0] the URL (VT_BSTR).
constexpr IID DIID_DWebBrowserEvents2 = MakeGuid("{34A715A0-6587-11D0-924A-0020AFC7AC4D}");
constexpr DISPID DISPID_DOCUMENTCOMPLETE = 259;

}  // namespace ss
