// The whole-page capture: the page laid out at its full size, painted in one
// rendering into an off-screen bitmap, with the minimum size, the crop from a
// start position, centring, and the edge, scrollbar and margin cuts applied.
#pragma once

#include "core/capture_geometry.h"
#include "core/session.h"

namespace ss {

// Leaves the picture in session.captureBitmap and returns 0, or returns a
// result code with captureBitmap cleared. Asks the large-capture question
// (1 when the user declines).
HRESULT CaptureWholePage(CaptureSession& session);

// The body's margin attributes (each a plain number or a number with "px";
// anything else 0), all 0 when the document has no body element.
Insets ReadBodyMargins(IHTMLDocument2* document);

}  // namespace ss
