// The browser service: browser windows on Chromium.
//
// One Chromium per process, started on first use (headless unless the options
// say otherwise) with a fresh profile folder of its own that is removed when
// it stops; each browser window is one of its tabs. A window's object model
// is reached through IWebBrowser2 (platform/browser/html.h).
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>

#include "platform/browser/html.h"

namespace ss {

// Chromium is not installed (0x80070002, "Chromium is not installed ...").
constexpr HRESULT BROWSER_E_NOT_INSTALLED = MakeHResult(0x80070002);
// Chromium did not start or did not answer (0x8007041D).
constexpr HRESULT BROWSER_E_START_FAILED = MakeHResult(0x8007041D);
// A call got no answer in time (0x800705B4).
constexpr HRESULT BROWSER_E_TIMEOUT = MakeHResult(0x800705B4);
// A page could not be loaded (0x800C0005).
constexpr HRESULT BROWSER_E_NAVIGATION = MakeHResult(0x800C0005);

struct BrowserOptions {
  // Empty: the Chromium Debian installs (devtools::InstalledChromium).
  std::string executable;
  // Headless, or with visible windows (needs a display).
  bool headless = true;
  // Size of a new window's page area, in pixels.
  int windowWidth = 1280;
  int windowHeight = 1024;
  // How long Navigate waits for the page's load event, in milliseconds; a
  // page still loading then is stopped and used as it is.
  int loadTimeoutMs = 30000;

  // The defaults, changed by SCROLLSNAP_LOAD_TIMEOUT (seconds),
  // SCROLLSNAP_WINDOW_SIZE ("WIDTHxHEIGHT") and SCROLLSNAP_CHROMIUM (the
  // executable).
  static BrowserOptions FromEnvironment();
};

// Options for the Chromium started next and for windows opened from now on.
// A Chromium already running keeps its mode until ShutdownBrowser.
void SetBrowserOptions(const BrowserOptions& options);
BrowserOptions GetBrowserOptions();

// A key pressed or released in a window's page, with the key's virtual-key
// code (letters and digits are their upper-case ASCII codes, VK_NUMPAD0 + n
// the keypad digits, VK_CONTROL, VK_SHIFT, VK_MENU the modifier keys) and the
// modifiers held with it.
struct BrowserKeyEvent {
  bool down = true;
  int vk = 0;
  bool ctrl = false;
  bool shift = false;
  bool alt = false;
};

// What the host needs of a browser window beyond IWebBrowser2 (the window's
// object answers to it).
class IBrowserWindow : public IUnknown {
 public:
  using Base = IUnknown;
  static constexpr IID iid = MakeGuid("{6C1D5E2A-7B0F-4B7E-9C55-2F1A53C0A901}");
  // Waits up to `timeoutMs` for page loads that happened in the window (for
  // example by a click in a visible window) and keys pressed in it, and
  // fires DocumentComplete and the key listener for them on the calling
  // thread. S_OK when an event was delivered, S_FALSE on
  // time-out, RPC_E_DISCONNECTED once the window has been closed.
  virtual HRESULT WaitForEvents(int timeoutMs) = 0;
  virtual bool IsOpen() = 0;
  // Closes the tab and the window. Later calls fail with RPC_E_DISCONNECTED.
  virtual HRESULT Close() = 0;
  virtual void SetLoadTimeout(int milliseconds) = 0;
  // Receives the keys pressed and released in the page, on the thread that
  // calls WaitForEvents or Navigate, in the order they happened. An empty
  // function stops it.
  virtual void SetKeyListener(std::function<void(const BrowserKeyEvent&)> listener) = 0;
};

// Opens a browser window on about:blank, starting Chromium if needed.
HRESULT CreateWebBrowser(IWebBrowser2** browser);

// Stops Chromium (closing every window) and removes its profile folder. The
// next CreateWebBrowser starts a new one. Also done at process exit.
void ShutdownBrowser();

// The message that explains the last failure of a browser call on this
// thread ("" when there is none to add).
std::string GetLastBrowserError();

// The running Chromium's process id, 0 when none runs.
pid_t BrowserProcessId();

}  // namespace ss
