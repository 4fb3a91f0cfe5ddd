// scrollsnap browse URL: a visible Chromium window on the page, kept open
// until the user closes it (or the command is interrupted). Page loads in the
// window reach advised sinks as DocumentComplete events on this thread.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/browser/html.h"

namespace ss::host {

// What the host attaches to the window (helper objects, hooks; the keys pressed
// in the page come through IBrowserWindow::SetKeyListener): called on the
// browse thread once the window exists and before the first page loads, and
// again just before it goes away.
struct BrowseHooks {
  std::function<void(IWebBrowser2* browser)> windowOpened;
  std::function<void(IWebBrowser2* browser)> windowClosing;
};

// `args` are the words after "browse": URL [--headless] [--timeout SECONDS].
// URL may also be a local file. Returns 0 when the window was closed, 2 on an
// error (message on stderr), 64 for a usage error.
int RunBrowseCommand(const std::vector<std::string>& args);
int RunBrowseCommand(const std::vector<std::string>& args, const BrowseHooks& hooks);

}  // namespace ss::host
