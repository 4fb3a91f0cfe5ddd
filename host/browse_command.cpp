#include "host/browse_command.h"

#include <signal.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/browser/browser.h"
#include "platform/codepage/codepage.h"

namespace ss::host {
namespace {

std::atomic<bool> interrupted{false};

extern "C" void OnInterrupt(int) { interrupted = true; }

void PrintFailure(const char* what, HRESULT hr) {
  std::string detail = GetLastBrowserError();
  std::fprintf(stderr, "scrollsnap: %s (0x%08X)%s%s\n", what, static_cast<unsigned>(hr), detail.empty() ? "" : ": ",
               detail.c_str());
}

int Usage() {
  std::fprintf(stderr, "Usage: scrollsnap browse URL [--headless] [--timeout SECONDS]\n");
  return 64;
}

}  // namespace

int RunBrowseCommand(const std::vector<std::string>& args) { return RunBrowseCommand(args, BrowseHooks{}); }

int RunBrowseCommand(const std::vector<std::string>& args, const BrowseHooks& hooks) {
  BrowserOptions options = BrowserOptions::FromEnvironment();
  options.headless = false;
  std::string url;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--headless") {
      options.headless = true;
    } else if (args[i] == "--timeout") {
      if (i + 1 >= args.size()) return Usage();
      char* end = nullptr;
      double seconds = std::strtod(args[++i].c_str(), &end);
      if (!end || *end || seconds < 0 || seconds > 86400) return Usage();
      options.loadTimeoutMs = static_cast<int>(seconds * 1000);
    } else if (url.empty() && args[i].rfind("--", 0) != 0) {
      url = args[i];
    } else {
      return Usage();
    }
  }
  if (url.empty()) return Usage();
  if (!options.headless && !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) {
    std::fprintf(stderr,
                 "scrollsnap: browse shows a browser window and needs a display (DISPLAY or WAYLAND_DISPLAY is not "
                 "set); use --headless to browse without one\n");
    return 2;
  }

  // The Chromium of this command shows its windows; one already running
  // headless in this process is replaced.
  if (GetBrowserOptions().headless != options.headless) ShutdownBrowser();
  SetBrowserOptions(options);

  ComPtr<IWebBrowser2> browser;
  HRESULT hr = CreateWebBrowser(browser.ReleaseAndGetAddressOf());
  if (Failed(hr)) {
    PrintFailure("cannot open a browser window", hr);
    ShutdownBrowser();
    return 2;
  }
  ComPtr<IBrowserWindow> window;
  if (Failed(hr = browser.As(&window))) {
    PrintFailure("the browser window is not usable", hr);
    ShutdownBrowser();
    return 2;
  }
  if (hooks.windowOpened) hooks.windowOpened(browser.Get());

  struct sigaction sa {}, oldInt {}, oldTerm {};
  sa.sa_handler = OnInterrupt;
  sigemptyset(&sa.sa_mask);
  interrupted = false;
  sigaction(SIGINT, &sa, &oldInt);
  sigaction(SIGTERM, &sa, &oldTerm);

  int status = 0;
  hr = browser->Navigate(AnsiToWide(url), nullptr, nullptr, nullptr, nullptr);
  if (Failed(hr)) {
    PrintFailure(("cannot open " + url).c_str(), hr);
    status = 2;
  } else {
    // Deliver the window's page loads until the user closes it.
    while (!interrupted) {
      hr = window->WaitForEvents(250);
      if (Failed(hr)) {
        if (hr != RPC_E_DISCONNECTED) {
          PrintFailure("the browser stopped", hr);
          status = 2;
        }
        break;
      }
    }
  }

  sigaction(SIGINT, &oldInt, nullptr);
  sigaction(SIGTERM, &oldTerm, nullptr);
  if (hooks.windowClosing) hooks.windowClosing(browser.Get());
  window->Close();
  window = nullptr;
  browser = nullptr;
  ShutdownBrowser();
  return status;
}

}  // namespace ss::host
