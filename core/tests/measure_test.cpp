// Page measurement on a document model built in the test: the cases no real
// page can be forced into (embedded objects in a chosen order, attribute
// reads that fail, exact scroll sizes).
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "core/measure.h"
#include "platform/gdi/gdi.h"

namespace ss {
namespace {

// IDispatch members the measurement never calls.
template <typename... I>
class FakeObject : public ComObject<I...> {
 public:
  HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, const char16_t* const*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override { return E_NOTIMPL; }
};

class FakeDocument;

std::u16string Lower(std::u16string s) {
  for (auto& c : s)
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
  return s;
}

class FakeCollection : public FakeObject<IHTMLElementCollection> {
 public:
  explicit FakeCollection(std::vector<ComPtr<IDispatch>> items) : items_(std::move(items)) {}
  HRESULT get_length(LONG* n) override {
    *n = static_cast<LONG>(items_.size());
    return S_OK;
  }
  HRESULT item(const VARIANT& name, const VARIANT&, IDispatch** out) override;
  HRESULT tags(const VARIANT& tag, IDispatch** out) override;
  std::vector<ComPtr<IDispatch>> items_;
};

class FakeElement : public FakeObject<IHTMLElement, IHTMLElement2> {
 public:
  explicit FakeElement(std::u16string tag) : tag_(std::move(tag)) {}

  HRESULT get_tagName(BSTR* t) override {
    *t = tag_;
    return S_OK;
  }
  HRESULT getAttribute(const BSTR& name, LONG, VARIANT* v) override {
    v->Clear();
    if (failingReads.count(Lower(name))) return E_ACCESSDENIED;
    auto it = attrs.find(Lower(name));
    *v = it == attrs.end() ? VARIANT::Null() : VARIANT::String(it->second);
    return S_OK;
  }
  HRESULT setAttribute(const BSTR& name, const VARIANT& v, LONG) override {
    attrs[Lower(name)] = v.bstrVal();
    writes.push_back(Lower(name) + u"=" + v.bstrVal());
    return S_OK;
  }
  HRESULT removeAttribute(const BSTR& name, LONG, VARIANT_BOOL* removed) override {
    *removed = attrs.erase(Lower(name)) ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  }
  HRESULT get_offsetLeft(LONG* v) override { return Offset(0, v); }
  HRESULT get_offsetTop(LONG* v) override { return Offset(1, v); }
  HRESULT get_offsetWidth(LONG* v) override { return Offset(2, v); }
  HRESULT get_offsetHeight(LONG* v) override { return Offset(3, v); }
  HRESULT get_children(IDispatch** out) override {
    std::vector<ComPtr<IDispatch>> items(children.begin(), children.end());
    *out = static_cast<IHTMLElementCollection*>(MakeCom<FakeCollection>(std::move(items)).Detach());
    return S_OK;
  }
  HRESULT get_all(IDispatch** out) override {
    if (failAll) return E_FAIL;
    std::vector<ComPtr<IDispatch>> items;
    Collect(&items);
    *out = static_cast<IHTMLElementCollection*>(MakeCom<FakeCollection>(std::move(items)).Detach());
    return S_OK;
  }
  HRESULT get_document(IDispatch** out) override;
  HRESULT get_scrollWidth(LONG* v) override {
    if (scrollFailure) return scrollFailure;
    *v = scrollWidth;
    return S_OK;
  }
  HRESULT get_scrollHeight(LONG* v) override {
    if (scrollFailure) return scrollFailure;
    *v = scrollHeight;
    return S_OK;
  }

  void Collect(std::vector<ComPtr<IDispatch>>* out) {
    for (auto& c : children) {
      out->push_back(c);
      ComPtr<IHTMLElement> e;
      if (Succeeded(c.As(&e))) static_cast<FakeElement*>(e.Get())->Collect(out);
    }
  }

  std::u16string tag_;
  std::map<std::u16string, std::u16string> attrs;
  std::set<std::u16string> failingReads;
  std::vector<std::u16string> writes;
  std::vector<ComPtr<IDispatch>> children;
  LONG offsets[4] = {0, 0, 0, 0};
  bool failOffsets = false;
  bool failAll = false;
  HRESULT scrollFailure = S_OK;
  LONG scrollWidth = 0, scrollHeight = 0;
  FakeDocument* owner = nullptr;  // not owned: the document owns its elements

 private:
  HRESULT Offset(int i, LONG* v) {
    if (failOffsets) return E_FAIL;
    *v = offsets[i];
    return S_OK;
  }
};

// Something in a collection that is not an element.
class FakeText : public FakeObject<IDispatch> {};

HRESULT FakeCollection::item(const VARIANT& name, const VARIANT&, IDispatch** out) {
  *out = nullptr;
  LONG i = name.lVal();
  if (i < 0 || i >= static_cast<LONG>(items_.size())) return S_OK;
  *out = items_[static_cast<std::size_t>(i)].Get();
  (*out)->AddRef();
  return S_OK;
}

HRESULT FakeCollection::tags(const VARIANT& tag, IDispatch** out) {
  std::vector<ComPtr<IDispatch>> matching;
  for (auto& d : items_) {
    ComPtr<IHTMLElement> e;
    if (Failed(d.As(&e))) continue;
    BSTR t;
    e->get_tagName(&t);
    if (Lower(t) == Lower(tag.bstrVal())) matching.push_back(d);
  }
  *out = static_cast<IHTMLElementCollection*>(MakeCom<FakeCollection>(std::move(matching)).Detach());
  return S_OK;
}

class FakeWindow : public FakeObject<IHTMLWindow2> {
 public:
  explicit FakeWindow(ComPtr<IHTMLDocument2> doc) : doc_(std::move(doc)) {}
  HRESULT get_document(IHTMLDocument2** out) override {
    *out = doc_.Get();
    doc_->AddRef();
    return S_OK;
  }
  HRESULT item(const VARIANT&, VARIANT*) override { return E_NOTIMPL; }
  HRESULT get_length(LONG*) override { return E_NOTIMPL; }
  ComPtr<IHTMLDocument2> doc_;
};

class FakeFrames : public FakeObject<IHTMLFramesCollection2> {
 public:
  HRESULT item(const VARIANT& index, VARIANT* result) override {
    LONG i = index.lVal();
    if (i < 0 || i >= static_cast<LONG>(windows.size())) return E_INVALIDARG;
    *result = VARIANT::Dispatch(windows[static_cast<std::size_t>(i)].Get());
    return S_OK;
  }
  HRESULT get_length(LONG* n) override {
    *n = static_cast<LONG>(windows.size());
    return S_OK;
  }
  std::vector<ComPtr<IDispatch>> windows;
};

class FakeEnum : public ComObject<IEnumUnknown> {
 public:
  explicit FakeEnum(std::vector<ComPtr<IUnknown>> items) : items_(std::move(items)) {}
  HRESULT Next(ULONG count, IUnknown** out, ULONG* fetched) override {
    ULONG n = 0;
    while (n < count && pos_ < items_.size()) {
      out[n] = items_[pos_++].Get();
      out[n++]->AddRef();
    }
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  HRESULT Skip(ULONG) override { return E_NOTIMPL; }
  HRESULT Reset() override {
    pos_ = 0;
    return S_OK;
  }
  std::vector<ComPtr<IUnknown>> items_;
  std::size_t pos_ = 0;
};

// An embedded object that is not a browser.
class FakeControl : public ComObject<IUnknown> {};

class FakeDocument : public FakeObject<IHTMLDocument2, IHTMLDocument3, IOleContainer> {
 public:
  HRESULT get_title(BSTR* t) override {
    *t = u"fake";
    return S_OK;
  }
  HRESULT get_URL(BSTR* u) override {
    *u = u"about:fake";
    return S_OK;
  }
  HRESULT get_mimeType(BSTR* m) override {
    *m = u"text/html";
    return S_OK;
  }
  HRESULT get_body(IHTMLElement** out) override {
    *out = nullptr;
    if (bodyFailure) return bodyFailure;
    if (body) {
      *out = body.Get();
      body->AddRef();
    }
    return S_OK;
  }
  HRESULT get_location(IHTMLLocation**) override { return E_NOTIMPL; }
  HRESULT get_frames(IHTMLFramesCollection2** out) override {
    *out = frames.Get();
    frames->AddRef();
    return S_OK;
  }
  HRESULT get_all(IHTMLElementCollection**) override { return E_NOTIMPL; }
  HRESULT get_documentElement(IHTMLElement** out) override {
    *out = root.Get();
    root->AddRef();
    return S_OK;
  }
  HRESULT EnumObjects(DWORD, IEnumUnknown** out) override {
    *out = MakeCom<FakeEnum>(embeddings).Detach();
    return S_OK;
  }

  // Elements made through the document know it.
  ComPtr<FakeElement> Element(const std::u16string& tag, std::map<std::u16string, std::u16string> attrs = {}) {
    auto e = MakeCom<FakeElement>(tag);
    e->attrs = std::move(attrs);
    e->owner = this;
    return e;
  }

  ComPtr<FakeElement> root;
  ComPtr<FakeElement> body;
  HRESULT bodyFailure = S_OK;
  ComPtr<FakeFrames> frames = MakeCom<FakeFrames>();
  std::vector<ComPtr<IUnknown>> embeddings;
};

HRESULT FakeElement::get_document(IDispatch** out) {
  *out = static_cast<IHTMLDocument2*>(owner);
  (*out)->AddRef();
  return S_OK;
}

class FakeBrowser : public FakeObject<IWebBrowser2> {
 public:
  explicit FakeBrowser(ComPtr<FakeDocument> doc) : doc_(std::move(doc)) {}
  HRESULT get_Document(IDispatch** out) override {
    if (failure) return failure;
    *out = static_cast<IHTMLDocument2*>(doc_.Get());
    (*out)->AddRef();
    return S_OK;
  }
  HRESULT get_LocationURL(BSTR*) override { return E_NOTIMPL; }
  HRESULT get_HWND(HWND*) override { return E_NOTIMPL; }
  HRESULT Navigate(const BSTR&, VARIANT*, VARIANT*, VARIANT*, VARIANT*) override { return E_NOTIMPL; }
  ComPtr<FakeDocument> doc_;
  HRESULT failure = S_OK;
};

void Append(FakeElement* parent, const ComPtr<FakeElement>& child) {
  parent->children.push_back(ComPtr<IDispatch>(static_cast<IHTMLElement*>(child.Get())));
}

// An ordinary page whose body scrolls over w × h.
ComPtr<FakeDocument> Page(LONG w, LONG h) {
  auto doc = MakeCom<FakeDocument>();
  doc->root = doc->Element(u"HTML");
  Append(doc->root.Get(), doc->Element(u"HEAD"));
  doc->body = doc->Element(u"BODY");
  doc->body->scrollWidth = w;
  doc->body->scrollHeight = h;
  Append(doc->root.Get(), doc->body);
  return doc;
}

ComPtr<FakeElement> Box(FakeDocument* doc, LONG l, LONG t, LONG w, LONG h) {
  auto e = doc->Element(u"DIV");
  e->offsets[0] = l;
  e->offsets[1] = t;
  e->offsets[2] = w;
  e->offsets[3] = h;
  return e;
}

// A frameset document: the frameset element is the root's second child;
// `pages` are the frames' pages in document order, reached through embedded
// browsers (and also through the frames collection).
struct FramesetPage {
  ComPtr<FakeDocument> doc;
  ComPtr<FakeElement> frameset;
};

FramesetPage MakeFramesetPage(std::map<std::u16string, std::u16string> attrs) {
  FramesetPage p;
  p.doc = MakeCom<FakeDocument>();
  p.doc->root = p.doc->Element(u"HTML");
  Append(p.doc->root.Get(), p.doc->Element(u"HEAD"));
  p.frameset = p.doc->Element(u"FRAMESET", std::move(attrs));
  Append(p.doc->root.Get(), p.frameset);
  p.doc->body = p.frameset;
  return p;
}

void AddFramePage(FakeDocument* doc, const ComPtr<FakeDocument>& page) {
  doc->embeddings.push_back(ComPtr<IUnknown>(static_cast<IWebBrowser2*>(MakeCom<FakeBrowser>(page).Get())));
  doc->frames->windows.push_back(ComPtr<IDispatch>(static_cast<IHTMLWindow2*>(MakeCom<FakeWindow>(ComPtr<IHTMLDocument2>(page.Get())).Get())));
}

struct Measured {
  HRESULT hr;
  LONG width;
  LONG height;
  bool isFrameset;
};

Measured MeasureDoc(FakeDocument* doc, bool quick, std::unique_ptr<PageMeasurer>& root) {
  MeasureRequest request;
  request.quick = quick;
  root = std::make_unique<PageMeasurer>();
  auto browser = MakeCom<FakeBrowser>(ComPtr<FakeDocument>(doc));
  HRESULT hr = root->MeasurePage(browser.Get(), request);
  return {hr, root->width(), root->height(), request.isFrameset};
}

class MeasureTest : public testing::Test {
 protected:
  void SetUp() override { SetSystemMetricForTesting(SM_CXVSCROLL, 17); }
  void TearDown() override { ResetSystemMetricsForTesting(); }
  std::unique_ptr<PageMeasurer> root;
};

TEST_F(MeasureTest, QuickSizeIsTheBodyScrollSize) {
  auto doc = Page(1000, 3000);
  Append(doc->body.Get(), Box(doc.Get(), 0, 0, 5000, 9000));  // ignored in quick mode
  Measured m = MeasureDoc(doc.Get(), true, root);
  EXPECT_EQ(m.hr, S_OK);
  EXPECT_EQ(m.width, 1000);
  EXPECT_EQ(m.height, 3000);
  EXPECT_FALSE(m.isFrameset);
}

TEST_F(MeasureTest, FullSizeIsTheLargestElementEdgeBelowTheLimit) {
  auto doc = Page(1000, 3000);
  auto outer = Box(doc.Get(), 10, 20, 500, 100);     // right 510
  Append(outer.Get(), Box(doc.Get(), 0, 2900, 700, 300));  // nested: bottom 3200, right 700
  Append(doc->body.Get(), outer);
  Append(doc->body.Get(), Box(doc.Get(), 69950, 0, 100, 10));   // right 70050: beyond the limit
  Append(doc->body.Get(), Box(doc.Get(), 0, 65530, 10, 10));    // bottom 65540: beyond the limit
  Append(doc->body.Get(), Box(doc.Get(), 65000, 0, 535, 10));   // right 65535: the largest that counts
  auto broken = Box(doc.Get(), 0, 0, 99999, 10);
  broken->failOffsets = true;  // cannot be read: skipped
  Append(doc->body.Get(), broken);
  doc->body->children.push_back(ComPtr<IDispatch>(MakeCom<FakeText>().Get()));  // not an element: skipped
  Measured m = MeasureDoc(doc.Get(), false, root);
  EXPECT_EQ(m.hr, S_OK);
  EXPECT_EQ(m.width, 65535);
  EXPECT_EQ(m.height, 3200);
}

TEST_F(MeasureTest, FullSizeEdgeCases) {
  {
    SCOPED_TRACE("a body without descendants measures 0 wide and its scroll height tall");
    auto doc = Page(1000, 3000);
    Measured m = MeasureDoc(doc.Get(), false, root);
    EXPECT_EQ(m.hr, S_OK);
    EXPECT_EQ(m.width, 0);
    EXPECT_EQ(m.height, 3000);
  }
  {
    SCOPED_TRACE("narrower elements give a width below the scroll width");
    auto doc = Page(1000, 3000);
    Append(doc->body.Get(), Box(doc.Get(), 8, 8, 600, 50));
    Measured m = MeasureDoc(doc.Get(), false, root);
    EXPECT_EQ(m.width, 608);
    EXPECT_EQ(m.height, 3000);
  }
  {
    SCOPED_TRACE("without the element collection the quick size stays");
    auto doc = Page(1000, 3000);
    Append(doc->body.Get(), Box(doc.Get(), 0, 0, 5000, 9000));
    doc->body->failAll = true;
    Measured m = MeasureDoc(doc.Get(), false, root);
    EXPECT_EQ(m.hr, S_OK);
    EXPECT_EQ(m.width, 1000);
    EXPECT_EQ(m.height, 3000);
  }
}

TEST_F(MeasureTest, DocumentAndBodyFailures) {
  {
    auto doc = Page(1000, 3000);
    doc->bodyFailure = E_FAIL;
    Measured m = MeasureDoc(doc.Get(), true, root);
    EXPECT_EQ(m.hr, S_OK) << "a body that cannot be had leaves 0 x 0";
    EXPECT_EQ(m.width, 0);
    EXPECT_EQ(m.height, 0);
  }
  {
    auto doc = Page(1000, 3000);
    doc->body = nullptr;
    EXPECT_EQ(MeasureDoc(doc.Get(), true, root).hr, E_POINTER) << "no body element at all";
  }
  {
    auto doc = Page(1000, 3000);
    doc->body->scrollFailure = E_ACCESSDENIED;
    EXPECT_EQ(MeasureDoc(doc.Get(), true, root).hr, E_ACCESSDENIED) << "scroll size failures pass up";
  }
  {
    auto browser = MakeCom<FakeBrowser>(Page(10, 10));
    browser->failure = RPC_E_DISCONNECTED;
    PageMeasurer page;
    MeasureRequest request;
    EXPECT_EQ(page.MeasurePage(browser.Get(), request), RPC_E_DISCONNECTED);
  }
}

TEST_F(MeasureTest, FramesetWithFixedAndRelativeColumns) {
  // cols 200,*; frames 900 x 3000 and 1200 x 800, scrollable; no border.
  auto p = MakeFramesetPage({{u"cols", u"200,*"}});
  Append(p.frameset.Get(), p.doc->Element(u"FRAME"));
  Append(p.frameset.Get(), p.doc->Element(u"FRAME"));
  AddFramePage(p.doc.Get(), Page(900, 3000));
  AddFramePage(p.doc.Get(), Page(1200, 800));

  Measured m = MeasureDoc(p.doc.Get(), true, root);
  ASSERT_EQ(m.hr, S_OK);
  EXPECT_TRUE(m.isFrameset);
  EXPECT_EQ(m.width, 1417);
  EXPECT_EQ(m.height, 3000);
  EXPECT_EQ(p.frameset->attrs[u"cols"], u"200,1217");
  EXPECT_EQ(p.frameset->attrs.count(u"rows"), 0u) << "an absent attribute stays absent";

  ReleaseMeasurement(root);
  EXPECT_FALSE(root);
  EXPECT_EQ(p.frameset->attrs[u"cols"], u"200,*");
  EXPECT_EQ(p.frameset->attrs.count(u"rows"), 0u);
}

TEST_F(MeasureTest, FramesetWithRowsBorderAndFrameBorders) {
  // rows 100,*; border 5; frames 600 x 300 and 640 x 2000.
  auto p = MakeFramesetPage({{u"rows", u"100,*"}, {u"border", u"5"}});
  Append(p.frameset.Get(), p.doc->Element(u"FRAME"));
  Append(p.frameset.Get(), p.doc->Element(u"FRAME"));
  AddFramePage(p.doc.Get(), Page(600, 300));
  AddFramePage(p.doc.Get(), Page(640, 2000));

  Measured m = MeasureDoc(p.doc.Get(), true, root);
  ASSERT_EQ(m.hr, S_OK);
  EXPECT_EQ(m.width, 657);
  EXPECT_EQ(m.height, 2105);
  EXPECT_EQ(p.frameset->attrs[u"rows"], u"100,2000");
  EXPECT_EQ(p.frameset->attrs.count(u"cols"), 0u);
  ReleaseMeasurement(root);
  EXPECT_EQ(p.frameset->attrs[u"rows"], u"100,*");
  EXPECT_EQ(p.frameset->writes, (std::vector<std::u16string>{u"rows=100,2000", u"rows=100,*"}));
}

TEST_F(MeasureTest, FrameBorderRules) {
  struct Case {
    const char* name;
    std::map<std::u16string, std::u16string> framesetAttrs;
    std::map<std::u16string, std::u16string> frameAttrs;
    LONG width;
  };
  // Two columns of 100 + 100 (pages 83 wide plus the scrollbar); border 4.
  const Case cases[] = {
      {"frame borders inherited on", {{u"border", u"4"}}, {}, 204},
      {"frameset frameborder no", {{u"border", u"4"}, {u"frameborder", u"no"}}, {}, 200},
      {"frameset frameborder 0", {{u"border", u"4"}, {u"frameborder", u"0"}}, {}, 200},
      {"frameset frameborder YES", {{u"border", u"4"}, {u"frameborder", u"YES"}}, {}, 204},
      {"frame frameborder true wins over frameset no", {{u"border", u"4"}, {u"frameborder", u"no"}}, {{u"frameborder", u"True"}}, 204},
      {"frame frameborder no", {{u"border", u"4"}}, {{u"frameborder", u"no"}}, 200},
      {"no border attribute: spacing 0", {}, {}, 200},
      {"border text that is not a number", {{u"border", u"thick"}}, {}, 200},
      {"border 7px", {{u"border", u"7px"}}, {}, 207},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto attrs = c.framesetAttrs;
    attrs[u"cols"] = u"*,*";
    auto p = MakeFramesetPage(attrs);
    Append(p.frameset.Get(), p.doc->Element(u"FRAME", c.frameAttrs));
    Append(p.frameset.Get(), p.doc->Element(u"FRAME", c.frameAttrs));
    AddFramePage(p.doc.Get(), Page(83, 50));
    AddFramePage(p.doc.Get(), Page(83, 50));
    Measured m = MeasureDoc(p.doc.Get(), true, root);
    ASSERT_EQ(m.hr, S_OK);
    EXPECT_EQ(m.width, c.width);
    EXPECT_EQ(m.height, 50);
  }
}

TEST_F(MeasureTest, AttributeReadsThatFail) {
  // A border that cannot be read keeps the spacing of 2; a frameBorder or
  // scrolling that cannot be read counts as absent.
  auto p = MakeFramesetPage({{u"cols", u"*,*"}, {u"border", u"9"}, {u"frameborder", u"no"}});
  p.frameset->failingReads = {u"border", u"frameborder"};
  auto f1 = p.doc->Element(u"FRAME", {{u"scrolling", u"no"}});
  f1->failingReads = {u"scrolling"};
  Append(p.frameset.Get(), f1);
  Append(p.frameset.Get(), p.doc->Element(u"FRAME"));
  AddFramePage(p.doc.Get(), Page(100, 50));
  AddFramePage(p.doc.Get(), Page(100, 50));
  Measured m = MeasureDoc(p.doc.Get(), true, root);
  ASSERT_EQ(m.hr, S_OK);
  EXPECT_EQ(m.width, 117 + 117 + 2);
}

TEST_F(MeasureTest, ScrollingNoInAnyLetterCaseDropsTheScrollbar) {
  const std::pair<std::u16string, bool> cases[] = {
      {u"no", false}, {u"NO", false}, {u"No", false},  {u"0", false},    {u"false", false},
      {u"FALSE", false}, {u"yes", true}, {u"auto", true}, {u"", true}, {u"off", true},
  };
  for (const auto& [value, scrollbar] : cases) {
    SCOPED_TRACE(std::string(value.begin(), value.end()));
    auto p = MakeFramesetPage({{u"cols", u"*"}});
    Append(p.frameset.Get(), p.doc->Element(u"FRAME", {{u"scrolling", value}}));
    AddFramePage(p.doc.Get(), Page(500, 400));
    Measured m = MeasureDoc(p.doc.Get(), true, root);
    ASSERT_EQ(m.hr, S_OK);
    EXPECT_EQ(m.width, scrollbar ? 517 : 500);
    EXPECT_EQ(p.frameset->attrs[u"cols"], scrollbar ? u"517" : u"500");
  }
}

TEST_F(MeasureTest, NestedFramesetsContinueTheFrameNumbering) {
  // cols *,* : [frame 0] [frameset rows *,* : [frame 1] [frame 2]]; a
  // NOFRAMES element is skipped. Each frame finds its own page only if the
  // numbering runs on through the inner frameset.
  auto p = MakeFramesetPage({{u"cols", u"*,*"}, {u"frameborder", u"no"}});
  Append(p.frameset.Get(), p.doc->Element(u"FRAME"));
  auto inner = p.doc->Element(u"FRAMESET", {{u"rows", u"*,*"}});
  Append(inner.Get(), p.doc->Element(u"FRAME", {{u"scrolling", u"no"}}));
  Append(inner.Get(), p.doc->Element(u"FRAME"));
  Append(p.frameset.Get(), inner);
  Append(p.frameset.Get(), p.doc->Element(u"NOFRAMES"));
  AddFramePage(p.doc.Get(), Page(500, 400));
  AddFramePage(p.doc.Get(), Page(700, 900));
  AddFramePage(p.doc.Get(), Page(300, 200));

  Measured m = MeasureDoc(p.doc.Get(), true, root);
  ASSERT_EQ(m.hr, S_OK);
  EXPECT_EQ(inner->attrs[u"rows"], u"900,200");
  // Inner column: max(700, 300 + 17) = 700.
  EXPECT_EQ(p.frameset->attrs[u"cols"], u"517,700");
  EXPECT_EQ(m.width, 1217);
  EXPECT_EQ(m.height, 1100);

  ReleaseMeasurement(root);
  EXPECT_EQ(inner->attrs[u"rows"], u"*,*");
  EXPECT_EQ(p.frameset->attrs[u"cols"], u"*,*");
  // The outer frameset is restored before the inner one.
  EXPECT_EQ(p.frameset->writes.back(), u"cols=*,*");
}

TEST_F(MeasureTest, EmbeddedObjectThatIsNotABrowserFallsBackToTheFramesCollection) {
  auto p = MakeFramesetPage({{u"cols", u"*,*"}, {u"frameborder", u"no"}});
  Append(p.frameset.Get(), p.doc->Element(u"FRAME"));
  Append(p.frameset.Get(), p.doc->Element(u"FRAME"));
  auto page0 = Page(400, 100), page1 = Page(600, 300), elsewhere = Page(5000, 5000);
  // Embeddings: a control first, then a browser; frames: the two pages.
  p.doc->embeddings.push_back(ComPtr<IUnknown>(MakeCom<FakeControl>().Get()));
  p.doc->embeddings.push_back(ComPtr<IUnknown>(static_cast<IWebBrowser2*>(MakeCom<FakeBrowser>(page1).Get())));
  p.doc->frames->windows.push_back(ComPtr<IDispatch>(static_cast<IHTMLWindow2*>(MakeCom<FakeWindow>(ComPtr<IHTMLDocument2>(page0.Get())).Get())));
  p.doc->frames->windows.push_back(ComPtr<IDispatch>(static_cast<IHTMLWindow2*>(MakeCom<FakeWindow>(ComPtr<IHTMLDocument2>(elsewhere.Get())).Get())));

  Measured m = MeasureDoc(p.doc.Get(), true, root);
  ASSERT_EQ(m.hr, S_OK);
  // Frame 0: embedding 0 is no browser -> frames[0] (400 x 100).
  // Frame 1: embedding 1 is a browser -> its page (600 x 300).
  EXPECT_EQ(p.frameset->attrs[u"cols"], u"417,617");
  EXPECT_EQ(m.height, 300);
}

TEST_F(MeasureTest, FramesWithoutEmbeddingsOrContent) {
  {
    SCOPED_TRACE("the enumeration ends first: the frames collection is used");
    auto p = MakeFramesetPage({{u"rows", u"*,*"}, {u"frameborder", u"no"}});
    Append(p.frameset.Get(), p.doc->Element(u"FRAME"));
    Append(p.frameset.Get(), p.doc->Element(u"FRAME"));
    p.doc->frames->windows.push_back(ComPtr<IDispatch>(static_cast<IHTMLWindow2*>(MakeCom<FakeWindow>(ComPtr<IHTMLDocument2>(Page(300, 100).Get())).Get())));
    p.doc->frames->windows.push_back(ComPtr<IDispatch>(static_cast<IHTMLWindow2*>(MakeCom<FakeWindow>(ComPtr<IHTMLDocument2>(Page(200, 250).Get())).Get())));
    Measured m = MeasureDoc(p.doc.Get(), true, root);
    ASSERT_EQ(m.hr, S_OK);
    EXPECT_EQ(p.frameset->attrs[u"rows"], u"100,250");
    EXPECT_EQ(m.width, 317);
  }
  {
    SCOPED_TRACE("no content at all: 0 x 0 plus the scrollbar");
    auto p = MakeFramesetPage({{u"cols", u"*"}});
    Append(p.frameset.Get(), p.doc->Element(u"FRAME"));
    Measured m = MeasureDoc(p.doc.Get(), true, root);
    ASSERT_EQ(m.hr, S_OK);
    EXPECT_EQ(m.width, 17);
    EXPECT_EQ(m.height, 0);
  }
}

TEST_F(MeasureTest, FailureInsideAFrameIsReturnedAndThePartialTreeRestores) {
  // cols *,* : [frameset rows *,* : [frame][frame]] [frame whose page fails].
  auto p = MakeFramesetPage({{u"cols", u"*,*"}});
  auto inner = p.doc->Element(u"FRAMESET", {{u"rows", u"*,*"}});
  Append(inner.Get(), p.doc->Element(u"FRAME"));
  Append(inner.Get(), p.doc->Element(u"FRAME"));
  Append(p.frameset.Get(), inner);
  Append(p.frameset.Get(), p.doc->Element(u"FRAME"));
  AddFramePage(p.doc.Get(), Page(100, 100));
  AddFramePage(p.doc.Get(), Page(100, 200));
  auto failing = Page(100, 100);
  failing->body->scrollFailure = MakeHResult(0x80070005);
  AddFramePage(p.doc.Get(), failing);

  Measured m = MeasureDoc(p.doc.Get(), true, root);
  EXPECT_EQ(m.hr, MakeHResult(0x80070005));
  EXPECT_EQ(inner->attrs[u"rows"], u"100,200") << "the inner frameset was measured and rewritten";
  EXPECT_EQ(p.frameset->attrs[u"cols"], u"*,*") << "the outer one never got that far";
  ReleaseMeasurement(root);
  EXPECT_EQ(inner->attrs[u"rows"], u"*,*");
  EXPECT_EQ(p.frameset->attrs[u"cols"], u"*,*");
}

TEST_F(MeasureTest, MeasuringAgainReleasesThePreviousMeasurement) {
  auto p = MakeFramesetPage({{u"cols", u"50,*"}});
  Append(p.frameset.Get(), p.doc->Element(u"FRAME"));
  Append(p.frameset.Get(), p.doc->Element(u"FRAME"));
  AddFramePage(p.doc.Get(), Page(100, 100));
  AddFramePage(p.doc.Get(), Page(300, 100));
  auto browser = MakeCom<FakeBrowser>(p.doc);
  PageMeasurer page;
  MeasureRequest request;
  request.quick = true;
  ASSERT_EQ(page.MeasurePage(browser.Get(), request), S_OK);
  EXPECT_EQ(p.frameset->attrs[u"cols"], u"50,317");
  // The second run starts from the page's own attributes again.
  ASSERT_EQ(page.MeasurePage(browser.Get(), request), S_OK);
  EXPECT_EQ(p.frameset->attrs[u"cols"], u"50,317");
  EXPECT_EQ(p.frameset->writes,
            (std::vector<std::u16string>{u"cols=50,317", u"cols=50,*", u"cols=50,317"}));
  EXPECT_EQ(page.width(), 367);
}

TEST_F(MeasureTest, ColsAndRowsListsAreSplitAndTrimmed) {
  // " 30 ,\t*, " : pieces "30", "*" (the piece after the trailing comma is
  // dropped); three children fill row 0 columns 0 and 1, then row 1.
  auto p = MakeFramesetPage({{u"cols", u" 30px ,\t*, "}, {u"rows", u"*"}, {u"frameborder", u"0"}});
  for (int i = 0; i < 3; ++i) Append(p.frameset.Get(), p.doc->Element(u"FRAME", {{u"scrolling", u"no"}}));
  AddFramePage(p.doc.Get(), Page(10, 100));
  AddFramePage(p.doc.Get(), Page(400, 150));
  AddFramePage(p.doc.Get(), Page(500, 900));  // row 1 does not exist in rows: its height is not counted
  Measured m = MeasureDoc(p.doc.Get(), true, root);
  ASSERT_EQ(m.hr, S_OK);
  EXPECT_EQ(p.frameset->attrs[u"cols"], u"30,400");
  EXPECT_EQ(p.frameset->attrs[u"rows"], u"150");
  EXPECT_EQ(m.width, 430);
  EXPECT_EQ(m.height, 150);
}

TEST(ParsePixelNumber, AcceptsDigitsWithOptionalPxOnly) {
  const std::pair<const char*, LONG> cases[] = {
      {"120", 120}, {"120px", 120}, {"120PX", 120}, {"120Px", 120}, {"0", 0},     {"007", 7},
      {"50%", -1},  {"*", -1},      {"2*", -1},     {"12pt", -1},   {" 12", -1},  {"12 ", -1},
      {"-5", -1},   {"12px3", -1},  {"", -1},       {"px", -1},     {"12p", -1},  {"+5", -1},
      {"2147483647", 2147483647},   {"2147483648", -1},  {"99999999999999999999", -1},
  };
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(ParsePixelNumber(std::string_view(text), -1), expected) << "'" << text << "'";
    std::string s(text);
    EXPECT_EQ(ParsePixelNumber(std::u16string(s.begin(), s.end()), -1), expected) << "'" << text << "' (wide)";
  }
}

TEST(AttributeToInt, ConvertsIntegersAndTexts) {
  EXPECT_EQ(AttributeToInt(VARIANT::Short(-3), 9), -3);
  EXPECT_EQ(AttributeToInt(VARIANT::Long(1234), 9), 1234);
  EXPECT_EQ(AttributeToInt(VARIANT::String(u"15px"), 9), 15);
  EXPECT_EQ(AttributeToInt(VARIANT::String(u"15%"), 9), 9);
  EXPECT_EQ(AttributeToInt(VARIANT::String(u""), 9), 9);
  EXPECT_EQ(AttributeToInt(VARIANT::Null(), 9), 9);
  EXPECT_EQ(AttributeToInt(VARIANT(), 9), 9);
  EXPECT_EQ(AttributeToInt(VARIANT::Bool(true), 9), 9);
  EXPECT_EQ(AttributeToInt(VARIANT::Double(3.0), 9), 9);
}

}  // namespace
}  // namespace ss

// The folder's tests share one executable; this entry point gives way to any
// other one defined there.
__attribute__((weak)) int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
