// scrollsnap capture TARGET: one press of the toolbar button on a page. The
// host plays the browser: it finds the button and the module through the
// registry, opens the page in a browser window, gives the module's Extension
// object its site and calls the button's command.
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>

#include "host/admin_commands.h"
#include "host/host_options.h"
#include "host/module_host.h"
#include "platform/browser/browser.h"
#include "platform/codepage/codepage.h"
#include "platform/input/keyboard.h"
#include "platform/ui/progress.h"

namespace ss::host {
namespace {

void Progress(const std::string& text) {
  if (isatty(2)) std::fprintf(stderr, "scrollsnap: %s\n", text.c_str());
}

// Long work in the module (the drawing of a tall page) shows its share done
// on one line of the terminal.
void ShowProgress(const char* what, long long done, long long total) {
  if (total <= 0) return;
  std::fprintf(stderr, "\rscrollsnap: %s: %3lld %%%s", what, done * 100 / total, done >= total ? "\n" : "");
  std::fflush(stderr);
}

// A local file becomes an absolute path (the browser takes it as a file URL);
// anything with a scheme is left as it is.
std::string TargetUrl(const std::string& target) {
  if (target.find("://") != std::string::npos || target.rfind("about:", 0) == 0 || target.rfind("data:", 0) == 0)
    return target;
  char real[PATH_MAX];
  if (realpath(target.c_str(), real)) return real;
  return target;
}

}  // namespace

int RunCaptureCommand(const std::vector<std::string>& args) {
  const char* usage = "usage: scrollsnap capture TARGET [--preset N] [--shift]   (TARGET: a URL or a local file)";
  std::string target;
  KeyboardState keys;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--shift") {
      keys.Press(VK_SHIFT);
    } else if (args[i] == "--preset") {
      if (i + 1 >= args.size() || args[i + 1].size() != 1 || args[i + 1][0] < '0' || args[i + 1][0] > '9') {
        PrintError("scrollsnap: --preset takes a digit from 1 to 9 (held with Ctrl)");
        return kExitUsage;
      }
      keys.Press(VK_CONTROL);
      keys.Press(args[++i][0]);
    } else if (target.empty() && args[i].rfind("--", 0) != 0) {
      target = args[i];
    } else {
      PrintError(usage);
      return kExitUsage;
    }
  }
  if (target.empty()) {
    PrintError(usage);
    return kExitUsage;
  }
  if (target.find("://") == std::string::npos && access(target.c_str(), R_OK) != 0 &&
      target.rfind("about:", 0) != 0 && target.rfind("data:", 0) != 0) {
    PrintError("scrollsnap: cannot read " + target + " (give a URL with its scheme, or an existing file)");
    return kExitUsage;
  }

  RegisteredButton button;
  std::string why;
  if (Failed(FindRegisteredButton(&button, &why))) {
    PrintError("scrollsnap: " + why);
    return kExitError;
  }
  LoadedModule module;
  if (Failed(module.Load(button.modulePath, &why))) {
    PrintError("scrollsnap: " + why);
    return kExitError;
  }

  int status = kExitError;
  {
    Progress("starting the browser");
    ComPtr<IWebBrowser2> browser;
    HRESULT hr = CreateWebBrowser(browser.ReleaseAndGetAddressOf());
    if (Failed(hr)) {
      PrintError("scrollsnap: " + GetLastBrowserError());
      ShutdownBrowser();
      return kExitError;
    }
    Progress("loading " + target);
    BSTR url = AnsiToWide(Utf8ToAnsi(TargetUrl(target)));
    hr = browser->Navigate(url, nullptr, nullptr, nullptr, nullptr);
    if (Failed(hr)) {
      char code[16];
      std::snprintf(code, sizeof code, "0x%08x", static_cast<unsigned>(hr));
      std::string detail = GetLastBrowserError();
      PrintError("scrollsnap: " + (detail.empty() ? "cannot load " + target + " (error " + std::string(code) + ")" : detail));
      browser = nullptr;
      ShutdownBrowser();
      return kExitError;
    }

    ComPtr<IClassFactory> factory;
    ComPtr<IOleCommandTarget> command;
    hr = module.GetClassObject(button.extensionClsid, factory.ReleaseAndGetAddressOf());
    if (Succeeded(hr))
      hr = factory->CreateInstance(nullptr, IOleCommandTarget::iid, command.ReleaseAndGetVoidAddress());
    ComPtr<IObjectWithSite> withSite;
    if (Succeeded(hr)) hr = command.As(&withSite);
    if (Succeeded(hr)) {
      ComPtr<BrowserSite> site = MakeCom<BrowserSite>(browser);
      hr = withSite->SetSite(static_cast<IOleCommandTarget*>(site.Get()));
    }
    if (Failed(hr)) {
      char code[16];
      std::snprintf(code, sizeof code, "0x%08x", static_cast<unsigned>(hr));
      PrintError("scrollsnap: the module's Extension object could not be created (error " + std::string(code) + ")");
    } else {
      SetKeyboardState(keys);
      Progress("capturing");
      if (isatty(2)) SetProgressSink(&ShowProgress);
      hr = command->Exec(nullptr, 0, 0, nullptr, nullptr);
      SetProgressSink(nullptr);
      SetKeyboardState(KeyboardState{});
      status = ExitStatusOf(hr);
      if (hr == S_OK) Progress("done");
    }
    withSite = nullptr;
    command = nullptr;
    factory = nullptr;
    browser = nullptr;
  }
  ShutdownBrowser();
  return status;
}

}  // namespace ss::host
