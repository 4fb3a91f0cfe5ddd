#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/browser/browser.h"
#include "platform/browser/tests/browser_test_util.h"

namespace ss {
namespace {

using test::DocumentAs;
using test::Narrow;
using test::OpenPage;
using test::Wide;

ComPtr<IHTMLElementCollection> AsCollection(IDispatch* d) {
  ComPtr<IHTMLElementCollection> c;
  if (d) d->QueryInterface(IHTMLElementCollection::iid, c.ReleaseAndGetVoidAddress());
  return c;
}

ComPtr<IHTMLElement> Item(IHTMLElementCollection* c, LONG i) {
  ComPtr<IDispatch> d;
  EXPECT_EQ(c->item(VARIANT::Long(i), VARIANT(), d.ReleaseAndGetAddressOf()), S_OK);
  ComPtr<IHTMLElement> e;
  if (d) d.As(&e);
  return e;
}

TEST(BrowserDocument, ReadsTheDocumentModelOfARealPage) {
  auto browser = OpenPage("document.html");
  ASSERT_TRUE(browser);
  auto doc = DocumentAs<IHTMLDocument2>(browser.Get());
  ASSERT_TRUE(doc);

  BSTR title, url, mime;
  ASSERT_EQ(doc->get_title(&title), S_OK);
  EXPECT_EQ(Narrow(title), "Scrollsnap Ünïcode 日本語");
  ASSERT_EQ(doc->get_URL(&url), S_OK);
  EXPECT_EQ(Narrow(url), "file://" + test::FixturePage("document.html"));
  ASSERT_EQ(doc->get_mimeType(&mime), S_OK);
  EXPECT_EQ(Narrow(mime), "text/html");
  BSTR location;
  ASSERT_EQ(browser->get_LocationURL(&location), S_OK);
  EXPECT_EQ(location, url);
  HWND window = 0;
  ASSERT_EQ(browser->get_HWND(&window), S_OK);
  EXPECT_NE(window, 0u);
  char text[256] = {};
  GetWindowTextA(window, text, sizeof text);
  EXPECT_EQ(std::string(text), "Scrollsnap Ünïcode 日本語") << "the window shows the page title";

  ComPtr<IHTMLLocation> loc;
  ASSERT_EQ(doc->get_location(loc.ReleaseAndGetAddressOf()), S_OK);
  BSTR path;
  ASSERT_EQ(loc->get_pathname(&path), S_OK);
  EXPECT_EQ(Narrow(path), test::FixturePage("document.html"));

  // documentElement, children and tags.
  ComPtr<IHTMLDocument3> doc3;
  ASSERT_EQ(doc.As(&doc3), S_OK);
  ComPtr<IHTMLElement> root;
  ASSERT_EQ(doc3->get_documentElement(root.ReleaseAndGetAddressOf()), S_OK);
  BSTR tag;
  ASSERT_EQ(root->get_tagName(&tag), S_OK);
  EXPECT_EQ(tag, u"HTML");
  ComPtr<IDispatch> childrenDisp;
  ASSERT_EQ(root->get_children(childrenDisp.ReleaseAndGetAddressOf()), S_OK);
  auto children = AsCollection(childrenDisp.Get());
  ASSERT_TRUE(children);
  LONG n = 0;
  ASSERT_EQ(children->get_length(&n), S_OK);
  EXPECT_EQ(n, 2);
  ComPtr<IDispatch> bodiesDisp;
  ASSERT_EQ(children->tags(VARIANT::String(u"body"), bodiesDisp.ReleaseAndGetAddressOf()), S_OK);
  auto bodies = AsCollection(bodiesDisp.Get());
  ASSERT_EQ(bodies->get_length(&n), S_OK);
  EXPECT_EQ(n, 1);
  ComPtr<IDispatch> none;
  ASSERT_EQ(children->tags(VARIANT::String(u"FRAMESET"), none.ReleaseAndGetAddressOf()), S_OK);
  ASSERT_EQ(AsCollection(none.Get())->get_length(&n), S_OK);
  EXPECT_EQ(n, 0);

  // The body: scroll size of the whole page, margins, all with offsets.
  ComPtr<IHTMLElement> body;
  ASSERT_EQ(doc->get_body(body.ReleaseAndGetAddressOf()), S_OK);
  ASSERT_TRUE(body);
  ComPtr<IHTMLElement2> body2;
  ASSERT_EQ(body.As(&body2), S_OK);
  LONG sw = 0, sh = 0;
  ASSERT_EQ(body2->get_scrollWidth(&sw), S_OK);
  ASSERT_EQ(body2->get_scrollHeight(&sh), S_OK);
  EXPECT_EQ(sw, 2000) << "the wide element makes the page scroll sideways";
  EXPECT_GE(sh, 520);
  ComPtr<IHTMLBodyElement> bodyElement;
  ASSERT_EQ(body.As(&bodyElement), S_OK);
  VARIANT left, top;
  ASSERT_EQ(bodyElement->get_leftMargin(&left), S_OK);
  EXPECT_EQ(left.bstrVal(), u"7px") << "an attribute is read as written";
  ASSERT_EQ(bodyElement->get_topMargin(&top), S_OK);
  EXPECT_EQ(top.bstrVal(), u"10px") << "else the margin the page has";
  ComPtr<IHTMLBodyElement> notBody;
  EXPECT_EQ(root.As(&notBody), E_NOINTERFACE);

  ComPtr<IDispatch> allDisp;
  ASSERT_EQ(body->get_all(allDisp.ReleaseAndGetAddressOf()), S_OK);
  auto all = AsCollection(allDisp.Get());
  ASSERT_EQ(all->get_length(&n), S_OK);
  EXPECT_EQ(n, 7);  // div, two spans, div, iframe, object, iframe
  auto box = Item(all.Get(), 0);
  ASSERT_TRUE(box);
  LONG l = 0, t = 0, w = 0, h = 0;
  ASSERT_EQ(box->get_offsetLeft(&l), S_OK);
  ASSERT_EQ(box->get_offsetTop(&t), S_OK);
  ASSERT_EQ(box->get_offsetWidth(&w), S_OK);
  ASSERT_EQ(box->get_offsetHeight(&h), S_OK);
  EXPECT_EQ(std::vector<LONG>({l, t, w, h}), std::vector<LONG>({40, 30, 300, 200}));
  ComPtr<IDispatch> past;
  EXPECT_EQ(all->item(VARIANT::Long(100), VARIANT(), past.ReleaseAndGetAddressOf()), S_OK);
  EXPECT_FALSE(past);

  // Attributes: absent reads as null; written values read back.
  VARIANT v;
  ASSERT_EQ(box->getAttribute(u"data-kind", 0, &v), S_OK);
  EXPECT_EQ(v.bstrVal(), u"box");
  ASSERT_EQ(box->getAttribute(u"data-missing", 0, &v), S_OK);
  EXPECT_EQ(v.vt(), VT_NULL);
  ASSERT_EQ(box->setAttribute(u"data-n", VARIANT::Long(42), 0), S_OK);
  ASSERT_EQ(box->getAttribute(u"data-n", 0, &v), S_OK);
  EXPECT_EQ(v.bstrVal(), u"42");
  VARIANT_BOOL removed = VARIANT_FALSE;
  ASSERT_EQ(box->removeAttribute(u"data-n", 0, &removed), S_OK);
  EXPECT_EQ(removed, VARIANT_TRUE);

  // Frames: the frames collection and the embedded objects, in page order.
  ComPtr<IHTMLFramesCollection2> frames;
  ASSERT_EQ(doc->get_frames(frames.ReleaseAndGetAddressOf()), S_OK);
  ASSERT_EQ(frames->get_length(&n), S_OK);
  EXPECT_EQ(n, 2);
  VARIANT second;
  ASSERT_EQ(frames->item(VARIANT::Long(1), &second), S_OK);
  ComPtr<IHTMLWindow2> secondWindow;
  ASSERT_EQ(ComPtr<IDispatch>(second.pdispVal()).As(&secondWindow), S_OK);
  ComPtr<IHTMLDocument2> frameDoc;
  ASSERT_EQ(secondWindow->get_document(frameDoc.ReleaseAndGetAddressOf()), S_OK);
  BSTR frameTitle;
  ASSERT_EQ(frameDoc->get_title(&frameTitle), S_OK);
  EXPECT_EQ(frameTitle, u"Frame 500x400");
  ComPtr<IOleObject> frameView;
  EXPECT_EQ(frameDoc.As(&frameView), E_NOINTERFACE) << "only the window's document has a view";

  ComPtr<IOleContainer> container;
  ASSERT_EQ(doc.As(&container), S_OK);
  ComPtr<IEnumUnknown> items;
  ASSERT_EQ(container->EnumObjects(OLECONTF_EMBEDDINGS, items.ReleaseAndGetAddressOf()), S_OK);
  std::vector<bool> isBrowser;
  std::vector<std::u16string> titles;
  for (;;) {
    IUnknown* u = nullptr;
    ULONG got = 0;
    if (items->Next(1, &u, &got) != S_OK) break;
    auto item = ComPtr<IUnknown>::Adopt(u);
    ComPtr<IWebBrowser2> b;
    isBrowser.push_back(Succeeded(item.As(&b)));
    if (b) {
      ComPtr<IDispatch> fd;
      ASSERT_EQ(b->get_Document(fd.ReleaseAndGetAddressOf()), S_OK);
      ComPtr<IHTMLDocument2> fd2;
      ASSERT_EQ(fd.As(&fd2), S_OK);
      BSTR ft;
      fd2->get_title(&ft);
      titles.push_back(ft);
    }
  }
  EXPECT_EQ(isBrowser, std::vector<bool>({true, false, true}));
  EXPECT_EQ(titles, std::vector<std::u16string>({u"Frame 300x200", u"Frame 500x400"}));

  // Late-bound access by name.
  ComPtr<IDispatch> docDisp;
  ASSERT_EQ(doc.As(&docDisp), S_OK);
  VARIANT byName;
  ASSERT_EQ(GetPropertyByName(docDisp.Get(), u"Title", &byName), S_OK);
  EXPECT_EQ(byName.bstrVal(), title);
}

}  // namespace
}  // namespace ss
