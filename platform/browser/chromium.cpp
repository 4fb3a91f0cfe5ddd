// The browser service: the process's one Chromium and its browser windows.
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>

#include "platform/browser/browser_internal.h"
#include "platform/browser/dispatch_object.h"
#include "platform/codepage/codepage.h"

namespace ss {

using browser::Json;

BrowserOptions BrowserOptions::FromEnvironment() {
  BrowserOptions o;
  if (const char* t = std::getenv("SCROLLSNAP_LOAD_TIMEOUT")) {
    char* end = nullptr;
    double seconds = std::strtod(t, &end);
    if (end != t && seconds >= 0 && seconds < 86400) o.loadTimeoutMs = static_cast<int>(seconds * 1000);
  }
  if (const char* s = std::getenv("SCROLLSNAP_WINDOW_SIZE")) {
    int w = 0, h = 0;
    if (std::sscanf(s, "%dx%d", &w, &h) == 2 && w > 0 && h > 0 && w <= 16384 && h <= 16384) {
      o.windowWidth = w;
      o.windowHeight = h;
    }
  }
  if (const char* e = std::getenv("SCROLLSNAP_CHROMIUM"); e && *e) o.executable = e;
  return o;
}

namespace {

struct Service {
  std::mutex mu;
  BrowserOptions options = BrowserOptions::FromEnvironment();
  std::shared_ptr<devtools::Connection> conn;
  bool initialTargetTaken = false;
  int launchWidth = 0;  // the size of the window Chromium opened with
  int launchHeight = 0;
  ~Service() {
    if (conn) conn->Shutdown();
  }
};

Service& TheService() {
  static Service service;
  return service;
}

HRESULT Connect(std::shared_ptr<devtools::Connection>* out, BrowserOptions* options, bool* initialTargetFree) {
  Service& s = TheService();
  std::lock_guard<std::mutex> lock(s.mu);
  *options = s.options;
  if (s.conn && !s.conn->Alive()) {
    // It died: reap it, remove its profile and start afresh.
    s.conn->Shutdown();
    s.conn.reset();
  }
  if (!s.conn) {
    devtools::LaunchOptions lo;
    lo.executable = s.options.executable;
    lo.headless = s.options.headless;
    lo.windowWidth = s.options.windowWidth;
    lo.windowHeight = s.options.windowHeight;
    std::string message;
    HRESULT hr = devtools::Connection::Launch(lo, &s.conn, &message);
    if (Failed(hr)) {
      browser::SetLastError(message);
      return hr;
    }
    s.initialTargetTaken = false;
    s.launchWidth = lo.windowWidth;
    s.launchHeight = lo.windowHeight;
  }
  *out = s.conn;
  // The window Chromium opened with serves as the first browser window when
  // it has the size asked for.
  *initialTargetFree = !s.initialTargetTaken && s.launchWidth == s.options.windowWidth &&
                       s.launchHeight == s.options.windowHeight;
  if (*initialTargetFree) s.initialTargetTaken = true;
  return S_OK;
}

// A URL from what the user typed: local paths become file URLs, bare host
// names get "http://".
std::string NormalizeUrl(const std::string& text) {
  std::string t = text;
  while (!t.empty() && std::isspace(static_cast<unsigned char>(t.back()))) t.pop_back();
  std::size_t start = 0;
  while (start < t.size() && std::isspace(static_cast<unsigned char>(t[start]))) ++start;
  t = t.substr(start);
  auto colon = t.find(':');
  bool hasScheme = colon != std::string::npos && colon > 1 &&
                   std::all_of(t.begin(), t.begin() + static_cast<std::ptrdiff_t>(colon),
                               [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.'; });
  if (hasScheme) return t;
  std::error_code ec;
  if (!t.empty() && (t[0] == '/' || t[0] == '.' || std::filesystem::exists(t, ec))) {
    std::string path = std::filesystem::absolute(t, ec).lexically_normal().string();
    std::string url = "file://";
    static const char* hex = "0123456789ABCDEF";
    for (unsigned char c : path) {
      if (std::isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~' || c >= 0x80) {
        url.push_back(static_cast<char>(c));
      } else {
        url.push_back('%');
        url.push_back(hex[c >> 4]);
        url.push_back(hex[c & 15]);
      }
    }
    return url;
  }
  return "http://" + t;
}

std::string PercentDecode(const std::string& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size() && std::isxdigit(static_cast<unsigned char>(s[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(s[i + 2]))) {
      out.push_back(static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16)));
      i += 2;
    } else {
      out.push_back(s[i]);
    }
  }
  return out;
}

// The object of one browser window.
class WebBrowser : public browser::WebBrowserDispatch<IWebBrowser2, IConnectionPointContainer, IBrowserWindow> {
 public:
  WebBrowser(std::shared_ptr<browser::Tab> tab, HWND window, int loadTimeoutMs)
      : tab_(std::move(tab)), window_(window), loadTimeoutMs_(loadTimeoutMs) {
    events_ = MakeCom<ConnectionPoint>(DIID_DWebBrowserEvents2, static_cast<IConnectionPointContainer*>(this));
    tab_->window = window;
  }
  ~WebBrowser() override {
    Close();
    if (events_) events_->Detach();
  }

  HRESULT get_Document(IDispatch** document) override {
    if (!document) return E_POINTER;
    *document = nullptr;
    browser::ClearLastError();
    if (!tab_->Open()) return Gone();
    std::shared_ptr<browser::DocContext> ctx;
    HRESULT hr = browser::DocContext::ForFrame(tab_, tab_->MainFrameId(), true, &ctx);
    if (Failed(hr)) return hr;
    return browser::NewDocument(ctx, document);
  }

  HRESULT get_LocationURL(BSTR* url) override {
    if (!url) return E_POINTER;
    if (!tab_->Open()) return Gone();
    *url = browser::Utf8ToWide(tab_->MainUrl());
    return S_OK;
  }

  HRESULT get_HWND(HWND* window) override {
    if (!window) return E_POINTER;
    *window = window_;
    return window_ ? S_OK : E_FAIL;
  }

  HRESULT Navigate(const BSTR& url, VARIANT*, VARIANT*, VARIANT*, VARIANT*) override {
    browser::ClearLastError();
    if (!tab_->Open()) return Gone();
    std::string u = NormalizeUrl(browser::WideToUtf8(url));
    if (u.size() >= 11 && std::equal(u.begin(), u.begin() + 11, "javascript:", [](char a, char b) {
          return std::tolower(static_cast<unsigned char>(a)) == b;
        })) {
      // A bookmarklet: runs in the page as if the user had clicked it.
      Json r;
      return tab_->Call("Runtime.evaluate", {{"expression", PercentDecode(u.substr(11))}, {"userGesture", true}, {"silent", true}}, &r);
    }
    HRESULT hr = tab_->Navigate(u, loadTimeoutMs_);
    DeliverEvents(0);
    return hr;
  }

  HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** point) override {
    if (!point) return E_POINTER;
    *point = nullptr;
    if (riid != DIID_DWebBrowserEvents2 || !events_) return CONNECT_E_NOCONNECTION;
    *point = events_.Get();
    (*point)->AddRef();
    return S_OK;
  }

  HRESULT WaitForEvents(int timeoutMs) override {
    if (DeliverEvents(timeoutMs)) return S_OK;
    return tab_->Open() ? S_FALSE : Gone();
  }

  bool IsOpen() override { return tab_->Open(); }

  HRESULT Close() override {
    tab_->CloseTarget();
    if (window_) {
      DestroyWindow(window_);
      window_ = 0;
    }
    return S_OK;
  }

  void SetLoadTimeout(int milliseconds) override { loadTimeoutMs_ = std::max(0, milliseconds); }

  void SetKeyListener(std::function<void(const BrowserKeyEvent&)> listener) override {
    keyListener_ = std::move(listener);
  }


 private:
  // The window is gone: closed (also when the user quit a visible Chromium),
  // or Chromium died.
  HRESULT Gone() {
    auto conn = tab_->Connection();
    if (conn->Alive() || conn->ExitedCleanly()) {
      browser::SetLastError("The browser window has been closed");
      return RPC_E_DISCONNECTED;
    }
    browser::SetLastError("Chromium has gone away");
    return RPC_E_SERVER_DIED;
  }

  // Fires DocumentComplete for every finished load, on this thread. True when
  // at least one was delivered.
  bool DeliverEvents(int timeoutMs) {
    std::vector<browser::Tab::WindowEvent> events;
    if (!tab_->TakeEvents(&events, timeoutMs)) return false;
    ComPtr<IWebBrowser2> keepAlive(this);
    bool titleUpdated = false;
    for (const auto& e : events) {
      if (e.isKey) {
        if (keyListener_) keyListener_(e.key);
        continue;
      }
      if (!titleUpdated) {
        UpdateWindowTitle();
        titleUpdated = true;
      }
      VARIANT args[2];
      args[0] = VARIANT::String(browser::Utf8ToWide(e.url));
      args[1] = VARIANT::Dispatch(static_cast<IWebBrowser2*>(this));
      DISPPARAMS params;
      params.rgvarg = args;
      params.cArgs = 2;
      events_->Fire(DISPID_DOCUMENTCOMPLETE, &params);
    }
    return true;
  }

  // The window shows the page's title, as a browser's title bar does.
  void UpdateWindowTitle() {
    if (!window_) return;
    Json r;
    std::string title;
    if (Succeeded(tab_->Call("Runtime.evaluate", {{"expression", "document.title"}, {"returnByValue", true}, {"silent", true}}, &r, 10000)))
      title = r["result"].value("value", std::string());
    if (title.empty()) title = tab_->MainUrl();
    SetWindowTextA(window_, Utf8ToAnsi(title).c_str());
  }

  std::shared_ptr<browser::Tab> tab_;
  HWND window_;
  int loadTimeoutMs_;
  ComPtr<ConnectionPoint> events_;
  std::function<void(const BrowserKeyEvent&)> keyListener_;
};

}  // namespace

void SetBrowserOptions(const BrowserOptions& options) {
  Service& s = TheService();
  std::lock_guard<std::mutex> lock(s.mu);
  s.options = options;
}

BrowserOptions GetBrowserOptions() {
  Service& s = TheService();
  std::lock_guard<std::mutex> lock(s.mu);
  return s.options;
}

HRESULT CreateWebBrowser(IWebBrowser2** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  browser::ClearLastError();
  std::shared_ptr<devtools::Connection> conn;
  BrowserOptions options;
  bool initialFree = false;
  HRESULT hr = Connect(&conn, &options, &initialFree);
  if (Failed(hr)) return hr;

  std::string message;
  std::string targetId;
  if (initialFree) {
    // Chromium opens with a window of its own: that is the first browser
    // window.
    Json targets;
    if (Succeeded(conn->Call("Target.getTargets", Json::object(), "", &targets, &message))) {
      for (const Json& t : targets["targetInfos"]) {
        if (t.value("type", "") == "page" && !t.value("attached", false)) {
          targetId = t.value("targetId", "");
          break;
        }
      }
    }
  }
  if (targetId.empty()) {
    Json created;
    Json params = {{"url", "about:blank"}, {"width", options.windowWidth}, {"height", options.windowHeight}};
    params["newWindow"] = true;  // a window of its own, of the size asked for
    hr = conn->Call("Target.createTarget", params, "", &created, &message);
    if (Failed(hr)) {
      browser::SetLastError(message);
      return hr;
    }
    targetId = created.value("targetId", "");
  }
  Json attached;
  hr = conn->Call("Target.attachToTarget", {{"targetId", targetId}, {"flatten", true}}, "", &attached, &message);
  if (Failed(hr)) {
    browser::SetLastError(message);
    return hr;
  }
  auto tab = std::make_shared<browser::Tab>(conn, targetId, attached.value("sessionId", ""));
  hr = tab->Start();
  if (Failed(hr)) return hr;
  HWND window = CreateBrowserWindow("about:blank", options.windowWidth, options.windowHeight);
  if (!window) {
    browser::SetLastError("Cannot create the browser window");
    return E_OUTOFMEMORY;
  }
  auto b = MakeCom<WebBrowser>(tab, window, options.loadTimeoutMs);
  if (!b) {
    DestroyWindow(window);
    return E_OUTOFMEMORY;
  }
  *out = static_cast<IWebBrowser2*>(b.Detach());
  return S_OK;
}

void ShutdownBrowser() {
  Service& s = TheService();
  std::shared_ptr<devtools::Connection> conn;
  {
    std::lock_guard<std::mutex> lock(s.mu);
    conn = std::move(s.conn);
    s.initialTargetTaken = false;
  }
  if (conn) conn->Shutdown();
}

pid_t BrowserProcessId() {
  Service& s = TheService();
  std::lock_guard<std::mutex> lock(s.mu);
  return s.conn && s.conn->Alive() ? s.conn->Pid() : 0;
}

}  // namespace ss
