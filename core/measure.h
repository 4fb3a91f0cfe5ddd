// Page measurement: the size of the whole page through the browser's
// document object model, for ordinary documents and for framesets.
//
// The measurement is a tree of measurer nodes that mirrors the page. For a
// frameset it also rewrites the `cols` and `rows` attributes of every
// frameset so that each frame becomes as large as its content; releasing the
// tree puts the page's own values back. The capture keeps the tree for as
// long as it lays out and paints the page.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/browser/html.h"

namespace ss {

// What travels down the whole tree: `quick` in (the QuickCalculatingSize
// setting), `isFrameset` out (set when any frameset is measured).
struct MeasureRequest {
  bool quick = false;
  bool isFrameset = false;
};

// A measurer node; every node knows the size it measured (pixels).
class Measurer {
 public:
  virtual ~Measurer() = default;
  LONG width() const { return width_; }
  LONG height() const { return height_; }
  // Whether this node draws a frame border (frames and framesets).
  virtual bool HasFrameBorder() const { return false; }

 protected:
  LONG width_ = 0;
  LONG height_ = 0;
};

class DocumentMeasurer;

// A page: a browser or a document to measure. The root of a measurement.
class PageMeasurer : public Measurer {
 public:
  PageMeasurer();
  ~PageMeasurer() override;
  // Measures the browser's current document. Measuring again first releases
  // the previous measurement (restoring attributes).
  HRESULT MeasurePage(IWebBrowser2* browser, MeasureRequest& request);
  // The same for a document already at hand (any interface of it).
  HRESULT MeasureDocument(IUnknown* document, MeasureRequest& request);
  // Releases the document node (restoring every rewritten attribute).
  void Release();

 private:
  std::unique_ptr<DocumentMeasurer> document_;
};

// Destroys the tree from the root down, putting back every frameset
// attribute the measurement rewrote (outer framesets before inner ones).
void ReleaseMeasurement(std::unique_ptr<PageMeasurer>& root);

// One or more decimal digits, optionally followed by "px" in any letter case,
// and nothing else: the value of the digits; any other text (and a value
// beyond 32 bits): `defaultValue`.
LONG ParsePixelNumber(std::string_view text, LONG defaultValue);
LONG ParsePixelNumber(std::u16string_view text, LONG defaultValue);
// A 16- or 32-bit integer gives its value; a non-empty text gives
// ParsePixelNumber(text, default); anything else gives `defaultValue`.
LONG AttributeToInt(const VARIANT& value, LONG defaultValue);

}  // namespace ss
