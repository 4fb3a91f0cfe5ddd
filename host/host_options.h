// Options every host command shares, and the exit statuses.
#pragma once

#include <string>
#include <vector>

#include "platform/ui/ui.h"

namespace ss::host {

constexpr int kExitDone = 0;
constexpr int kExitStopped = 1;
constexpr int kExitError = 2;
constexpr int kExitUsage = 64;

struct HostOptions {
  std::string ui = "auto";                   // auto, gui, batch
  PresetAnswer answer = PresetAnswer::Default;
};

// Prints a message to stderr, converted from the process code page.
void PrintError(const std::string& text);
// Prints a line to stdout, converted from the process code page.
void PrintLine(const std::string& text);

// The exit status of a result code: 0 done, 1 positive (stopped quietly), 2 error.
int ExitStatusOf(long hr);

}  // namespace ss::host
