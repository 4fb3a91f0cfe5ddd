#include <chrono>

#include "platform/browser/browser_internal.h"

namespace ss::browser {
namespace {

thread_local std::string tlsLastError;

constexpr const char* kKeyBinding = "scrollsnapKey";
constexpr const char* kKeyWorld = "scrollsnap-keys";
// Reports every key of the top document: down or up, the virtual-key code and
// the modifiers.
constexpr const char* kKeyScript = R"(
if (window === window.top) {
  const report = (down) => (e) => {
    try {
      scrollsnapKey(JSON.stringify({down, vk: e.keyCode || 0, location: e.location || 0,
                                    ctrl: e.ctrlKey, shift: e.shiftKey, alt: e.altKey}));
    } catch (_) {}
  };
  window.addEventListener('keydown', report(true), true);
  window.addEventListener('keyup', report(false), true);
}
)";

// The virtual-key code of a key event: keypad digits have codes of their own.
int VirtualKey(int keyCode, int location) {
  if (location == 3 && keyCode >= '0' && keyCode <= '9') return 0x60 + (keyCode - '0');
  return keyCode & 0xFF;
}

}  // namespace

void SetLastError(const std::string& message) { tlsLastError = message; }
std::string tlsLastErrorValue() { return tlsLastError; }
void ClearLastError() { tlsLastError.clear(); }

std::u16string Utf8ToWide(const std::string& s) {
  std::u16string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    char32_t cp;
    std::size_t n;
    if (c < 0x80) {
      cp = c;
      n = 1;
    } else if ((c & 0xE0) == 0xC0 && i + 1 < s.size()) {
      cp = ((c & 0x1F) << 6) | (s[i + 1] & 0x3F);
      n = 2;
    } else if ((c & 0xF0) == 0xE0 && i + 2 < s.size()) {
      cp = ((c & 0x0F) << 12) | ((s[i + 1] & 0x3F) << 6) | (s[i + 2] & 0x3F);
      n = 3;
    } else if ((c & 0xF8) == 0xF0 && i + 3 < s.size()) {
      cp = ((c & 0x07) << 18) | ((s[i + 1] & 0x3F) << 12) | ((s[i + 2] & 0x3F) << 6) | (s[i + 3] & 0x3F);
      n = 4;
    } else {
      cp = 0xFFFD;
      n = 1;
    }
    i += n;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

std::string WideToUtf8(const std::u16string& w) {
  std::string out;
  out.reserve(w.size());
  for (std::size_t i = 0; i < w.size(); ++i) {
    char32_t cp = w[i];
    if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < w.size() && w[i + 1] >= 0xDC00 && w[i + 1] < 0xE000) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (w[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp < 0xE000) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

Tab::Tab(std::shared_ptr<devtools::Connection> conn, std::string targetId, std::string sessionId)
    : conn_(std::move(conn)), targetId_(std::move(targetId)), sessionId_(std::move(sessionId)) {}

Tab::~Tab() {
  for (int t : tokens_) conn_->Unsubscribe(t);
  CloseTarget();
}

HRESULT Tab::Start() {
  std::weak_ptr<Tab> weak = weak_from_this();
  tokens_.push_back(conn_->Subscribe(sessionId_, [weak](const std::string& method, const Json& params) {
    if (auto self = weak.lock()) self->OnEvent(method, params);
  }));
  // Browser-level events: the tab closed by the user or by Chromium.
  tokens_.push_back(conn_->Subscribe("", [weak](const std::string& method, const Json& params) {
    auto self = weak.lock();
    if (!self) return;
    if (method == "Target.targetDestroyed" && params.value("targetId", "") == self->targetId_) self->MarkClosed();
    if (method == "Target.detachedFromTarget" && params.value("sessionId", "") == self->sessionId_) self->MarkClosed();
  }));
  // A session answers in order: these are sent without waiting, and the
  // answer to the frame tree comes after theirs.
  conn_->Post("Page.enable", Json::object(), sessionId_);
  conn_->Post("Page.setLifecycleEventsEnabled", {{"enabled", true}}, sessionId_);
  // Frames in other processes get sessions of their own.
  conn_->Post("Target.setAutoAttach", {{"autoAttach", true}, {"waitForDebuggerOnStart", false}, {"flatten", true}},
              sessionId_);
  // Keys pressed in the page come back through a binding of this service's
  // own script world, out of the page's reach.
  conn_->Post("Runtime.addBinding", {{"name", kKeyBinding}, {"executionContextName", kKeyWorld}}, sessionId_);
  conn_->Post("Page.addScriptToEvaluateOnNewDocument", {{"source", kKeyScript}, {"worldName", kKeyWorld}}, sessionId_);
  conn_->Post("Runtime.enable", Json::object(), sessionId_);
  Json tree;
  HRESULT hr;
  if (Failed(hr = Call("Page.getFrameTree", Json::object(), &tree))) return hr;
  std::lock_guard<std::mutex> lock(mu_);
  mainFrameId_ = tree["frameTree"]["frame"].value("id", "");
  mainUrl_ = tree["frameTree"]["frame"].value("url", "");
  return S_OK;
}

HRESULT Tab::Call(const std::string& method, const Json& params, Json* result, int timeoutMs) {
  return CallOn(sessionId_, method, params, result, timeoutMs);
}

HRESULT Tab::CallOn(const std::string& session, const std::string& method, const Json& params, Json* result,
                    int timeoutMs) {
  if (!Open()) {
    SetLastError("The browser window has been closed");
    return RPC_E_DISCONNECTED;
  }
  std::string message;
  HRESULT hr = conn_->Call(method, params, session, result, &message, timeoutMs);
  if (Failed(hr)) {
    if (hr == RPC_E_DISCONNECTED && !Open()) message = "The browser window has been closed";
    SetLastError(message);
  }
  return hr;
}

bool Tab::Open() const {
  std::lock_guard<std::mutex> lock(mu_);
  return !closed_ && conn_->Alive();
}

void Tab::MarkClosed() {
  std::lock_guard<std::mutex> lock(mu_);
  closed_ = true;
  targetClosed_ = true;
  cv_.notify_all();
}

void Tab::CloseTarget() {
  {
    std::lock_guard<std::mutex> lock(mu_);
    closed_ = true;
    cv_.notify_all();
    if (targetClosed_) return;
    targetClosed_ = true;
  }
  // Not waited for: this may run on the thread that reads Chromium's answers.
  if (conn_->Alive()) conn_->Post("Target.closeTarget", {{"targetId", targetId_}}, "");
}

std::string Tab::MainFrameId() {
  std::lock_guard<std::mutex> lock(mu_);
  return mainFrameId_;
}

std::string Tab::MainUrl() {
  std::lock_guard<std::mutex> lock(mu_);
  return mainUrl_;
}

std::uint64_t Tab::FrameGeneration(const std::string& frameId) {
  std::lock_guard<std::mutex> lock(mu_);
  auto it = generations_.find(frameId);
  return it == generations_.end() ? 0 : it->second;
}

void Tab::OnEvent(const std::string& method, const Json& params) {
  if (method == "Page.frameNavigated") {
    const Json& frame = params["frame"];
    std::string id = frame.value("id", "");
    std::lock_guard<std::mutex> lock(mu_);
    ++generations_[id];
    if (!frame.contains("parentId")) {
      mainFrameId_ = id;
      mainUrl_ = frame.value("url", "");
    }
    return;
  }
  if (method == "Page.frameDetached") {
    std::lock_guard<std::mutex> lock(mu_);
    ++generations_[params.value("frameId", "")];
    return;
  }
  if (method == "Page.lifecycleEvent") {
    if (params.value("name", "") != "load") return;
    std::lock_guard<std::mutex> lock(mu_);
    if (params.value("frameId", "") != mainFrameId_) return;
    std::string loader = params.value("loaderId", "");
    loadedLoaders_.insert(loader);
    if (announcedLoaders_.insert(loader).second && mainUrl_ != "about:blank") {
      WindowEvent e;
      e.url = mainUrl_;
      events_.push_back(std::move(e));
    }
    cv_.notify_all();
    return;
  }
  if (method == "Runtime.bindingCalled") {
    if (params.value("name", "") != kKeyBinding) return;
    Json k = Json::parse(params.value("payload", "{}"), nullptr, false);
    if (!k.is_object()) return;
    WindowEvent e;
    e.isKey = true;
    e.key.down = k.value("down", true);
    e.key.vk = VirtualKey(k.value("vk", 0), k.value("location", 0));
    e.key.ctrl = k.value("ctrl", false);
    e.key.shift = k.value("shift", false);
    e.key.alt = k.value("alt", false);
    std::lock_guard<std::mutex> lock(mu_);
    events_.push_back(std::move(e));
    cv_.notify_all();
    return;
  }
  if (method == "Target.attachedToTarget") {
    // A frame in another process: its target id is the frame id.
    std::string child = params.value("sessionId", "");
    const Json& info = params["targetInfo"];
    if (info.value("type", "") != "iframe") return;
    std::string frameId = info.value("targetId", "");
    {
      std::lock_guard<std::mutex> lock(mu_);
      frameSessions_[frameId] = child;
    }
    std::weak_ptr<Tab> weak = weak_from_this();
    int token = conn_->Subscribe(child, [weak, child](const std::string& m, const Json& p) {
      if (auto self = weak.lock()) self->OnChildEvent(child, m, p);
    });
    {
      std::lock_guard<std::mutex> lock(mu_);
      tokens_.push_back(token);
    }
    conn_->Post("Page.enable", Json::object(), child);
    conn_->Post("Target.setAutoAttach", {{"autoAttach", true}, {"waitForDebuggerOnStart", false}, {"flatten", true}},
                child);
    conn_->Post("Runtime.runIfWaitingForDebugger", Json::object(), child);
    return;
  }
  if (method == "Target.detachedFromTarget") {
    std::string child = params.value("sessionId", "");
    std::lock_guard<std::mutex> lock(mu_);
    for (auto it = frameSessions_.begin(); it != frameSessions_.end(); ++it) {
      if (it->second == child) {
        ++generations_[it->first];
        frameSessions_.erase(it);
        break;
      }
    }
  }
}

void Tab::OnChildEvent(const std::string& session, const std::string& method, const Json& params) {
  if (method == "Page.frameNavigated" || method == "Page.frameDetached") {
    std::string id = method == "Page.frameNavigated" ? params["frame"].value("id", "") : params.value("frameId", "");
    std::lock_guard<std::mutex> lock(mu_);
    ++generations_[id];
  } else if (method == "Target.attachedToTarget") {
    OnEvent(method, params);
  }
}

HRESULT Tab::WorldFor(const std::string& frameId, std::string* session, int* contextId, std::uint64_t* generation) {
  std::string s;
  std::uint64_t gen;
  {
    std::lock_guard<std::mutex> lock(mu_);
    gen = generations_[frameId];
    auto w = worlds_.find(frameId);
    if (w != worlds_.end() && w->second.generation == gen) {
      *session = w->second.session;
      *contextId = w->second.contextId;
      *generation = gen;
      return S_OK;
    }
    auto fs = frameSessions_.find(frameId);
    s = fs == frameSessions_.end() ? sessionId_ : fs->second;
  }
  Json r;
  HRESULT hr = CallOn(s, "Page.createIsolatedWorld",
                      {{"frameId", frameId}, {"worldName", "scrollsnap"}, {"grantUniveralAccess", true}}, &r);
  if (Failed(hr)) return hr == E_FAIL ? RPC_E_DISCONNECTED : hr;
  int id = r.value("executionContextId", 0);
  std::lock_guard<std::mutex> lock(mu_);
  worlds_[frameId] = World{gen, s, id};
  *session = s;
  *contextId = id;
  *generation = gen;
  return S_OK;
}

HRESULT Tab::Navigate(const std::string& url, int timeoutMs) {
  Json r;
  HRESULT hr = Call("Page.navigate", {{"url", url}}, &r);
  if (Failed(hr)) return hr;
  if (r.contains("errorText") && r["errorText"].is_string() && !r["errorText"].get<std::string>().empty()) {
    SetLastError("Cannot load " + url + ": " + r["errorText"].get<std::string>());
    return BROWSER_E_NAVIGATION;
  }
  std::string loader = r.value("loaderId", "");
  if (loader.empty()) return S_OK;  // a move within the same document
  std::unique_lock<std::mutex> lock(mu_);
  bool loaded = cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs),
                             [&] { return loadedLoaders_.count(loader) > 0 || closed_ || !conn_->Alive(); });
  if (closed_ || !conn_->Alive()) {
    lock.unlock();
    SetLastError(conn_->Alive() ? "The browser window has been closed" : "Chromium has gone away");
    return conn_->Alive() ? RPC_E_DISCONNECTED : RPC_E_SERVER_DIED;
  }
  if (!loaded) {
    // The page did not finish in time: stop it and use it as it is.
    if (announcedLoaders_.insert(loader).second) {
      WindowEvent e;
      e.url = mainUrl_;
      events_.push_back(std::move(e));
    }
    lock.unlock();
    Call("Page.stopLoading", Json::object(), nullptr, 5000);
  }
  return S_OK;
}

bool Tab::TakeEvents(std::vector<WindowEvent>* events, int timeoutMs) {
  std::unique_lock<std::mutex> lock(mu_);
  if (events_.empty() && timeoutMs > 0)
    cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return !events_.empty() || closed_ || !conn_->Alive(); });
  bool any = !events_.empty();
  while (!events_.empty()) {
    events->push_back(std::move(events_.front()));
    events_.pop_front();
  }
  return any;
}

Tab::Layout Tab::CurrentLayout() {
  std::lock_guard<std::mutex> lock(mu_);
  return layout_;
}

void Tab::SetLayout(const Layout& layout) {
  std::lock_guard<std::mutex> lock(mu_);
  layout_ = layout;
}

}  // namespace ss::browser

namespace ss {

std::string GetLastBrowserError() { return browser::tlsLastErrorValue(); }

}  // namespace ss
