// Inside the browser service: the tab behind a browser window, the script
// context of one document, and the object classes built on them.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/browser/browser.h"
#include "platform/browser/devtools.h"

namespace ss::browser {

using devtools::Json;

// Records the message of a failed call for GetLastBrowserError (this thread).
void SetLastError(const std::string& message);
void ClearLastError();
std::string tlsLastErrorValue();

std::u16string Utf8ToWide(const std::string& utf8);
std::string WideToUtf8(const std::u16string& wide);

// One tab: a browser window's page, its frames and its layout state.
class Tab : public std::enable_shared_from_this<Tab> {
 public:
  Tab(std::shared_ptr<devtools::Connection> conn, std::string targetId, std::string sessionId);
  ~Tab();
  // Subscribes to the tab's events and enables what the service needs.
  HRESULT Start();

  // A call on the tab's page session (or `session`), recording failures.
  HRESULT Call(const std::string& method, const Json& params, Json* result, int timeoutMs = devtools::kCallTimeoutMs);
  HRESULT CallOn(const std::string& session, const std::string& method, const Json& params, Json* result,
                 int timeoutMs = devtools::kCallTimeoutMs);

  bool Open() const;
  void MarkClosed();
  // Closes the tab in Chromium (once).
  void CloseTarget();

  const std::string& SessionId() const { return sessionId_; }
  const std::string& TargetId() const { return targetId_; }
  std::string MainFrameId();
  std::string MainUrl();
  std::shared_ptr<devtools::Connection> Connection() const { return conn_; }

  // How many times the frame has been replaced by another document.
  std::uint64_t FrameGeneration(const std::string& frameId);
  // The session that owns a frame (the tab's own, or an out-of-process
  // frame's) and the id of this service's script world in the frame.
  HRESULT WorldFor(const std::string& frameId, std::string* session, int* contextId, std::uint64_t* generation);

  // Page loads of the main frame.
  HRESULT Navigate(const std::string& url, int timeoutMs);
  // What happened in the window and is not yet delivered: a finished page
  // load (its URL) or a key.
  struct WindowEvent {
    bool isKey = false;
    std::string url;
    BrowserKeyEvent key;
  };
  // Pops the queued events; waits up to `timeoutMs` for one when none is
  // queued.
  bool TakeEvents(std::vector<WindowEvent>* events, int timeoutMs);

  // Layout at an extent (pixels of the page area, without edges and strip).
  struct Layout {
    bool overridden = false;
    int width = 0;   // the page area laid out while overridden
    int height = 0;
    int naturalWidth = 0;  // the window's own page area before that
    int naturalHeight = 0;
    double scrollX = 0;  // the scroll position before that
    double scrollY = 0;
  };
  Layout CurrentLayout();
  void SetLayout(const Layout& layout);
  // The browser window's handle (for frame browsers).
  std::atomic<HWND> window{0};

 private:
  void OnEvent(const std::string& method, const Json& params);
  void OnChildEvent(const std::string& session, const std::string& method, const Json& params);

  std::shared_ptr<devtools::Connection> conn_;
  const std::string targetId_;
  const std::string sessionId_;
  std::vector<int> tokens_;

  mutable std::mutex mu_;
  std::condition_variable cv_;
  bool closed_ = false;
  bool targetClosed_ = false;
  std::string mainFrameId_;
  std::string mainUrl_;
  std::set<std::string> loadedLoaders_;
  std::set<std::string> announcedLoaders_;
  std::string awaitedLoader_;
  std::deque<WindowEvent> events_;
  std::map<std::string, std::uint64_t> generations_;
  std::map<std::string, std::string> frameSessions_;
  struct World {
    std::uint64_t generation;
    std::string session;
    int contextId;
  };
  std::map<std::string, World> worlds_;
  Layout layout_;
};

// The script world of one document: calls on remote objects of that
// document. Fails with RPC_E_DISCONNECTED once the document has been replaced.
class DocContext {
 public:
  DocContext(std::shared_ptr<Tab> tab, std::string frameId, std::string session, int contextId,
             std::uint64_t generation, bool isTop)
      : tab_(std::move(tab)), frameId_(std::move(frameId)), session_(std::move(session)), contextId_(contextId),
        generation_(generation), isTop_(isTop) {}

  // The context of a frame's current document.
  static HRESULT ForFrame(const std::shared_ptr<Tab>& tab, const std::string& frameId, bool isTop,
                          std::shared_ptr<DocContext>* out);

  HRESULT Check() const;
  // Evaluates an expression in the document's world.
  HRESULT Evaluate(const std::string& expression, bool byValue, Json* remote);
  // Calls `function` with `this` = the remote object and the given arguments
  // (values, or {"objectId": ...} entries). `remote` gets the result's
  // RemoteObject.
  HRESULT CallFunction(const std::string& objectId, const std::string& function, const Json& args, bool byValue,
                       Json* remote);
  // Same, with the result read as a value.
  HRESULT CallValue(const std::string& objectId, const std::string& function, const Json& args, Json* value);
  // The frame a frame element shows ("" when none).
  HRESULT FrameOfElement(const std::string& objectId, std::string* frameId);

  const std::shared_ptr<Tab>& tab() const { return tab_; }
  const std::string& frameId() const { return frameId_; }
  bool isTop() const { return isTop_; }
  // The remote object id of the document.
  HRESULT DocumentObject(std::string* objectId);

 private:
  std::shared_ptr<Tab> tab_;
  std::string frameId_;
  std::string session_;
  int contextId_;
  std::uint64_t generation_;
  bool isTop_;
  std::string documentObjectId_;
};

// Object factories (document.cpp).
HRESULT NewDocument(std::shared_ptr<DocContext> ctx, IDispatch** out);
HRESULT NewFrameBrowser(std::shared_ptr<Tab> tab, std::string frameId, HWND window, IWebBrowser2** out);

// View of the top document (view.cpp).
HRESULT ViewGetExtent(DocContext& ctx, SIZEL* size);
HRESULT ViewSetExtent(DocContext& ctx, const SIZEL* size);
HRESULT ViewDraw(DocContext& ctx, HDC dc, const RECTL* bounds);

}  // namespace ss::browser
