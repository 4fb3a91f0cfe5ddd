// scrollsnap: the host. It plays the browser's part for the add-on module and
// carries the administrative commands.

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "host/admin_commands.h"
#include "host/browse_command.h"
#include "host/clipboard_command.h"
#include "host/host_options.h"
#include "host/module_host.h"
#include "platform/codepage/codepage.h"
#include "platform/ui/ui.h"
#include "settings/settings.h"

namespace ss::host {
namespace {

struct Command {
  const char* name;
  const char* synopsis;
  const char* summary;
  int (*run)(const std::vector<std::string>& args);
};

const Command kCommands[] = {
    {"capture", "capture TARGET [--preset N] [--shift]",
     "capture the whole page at TARGET (a URL or a local file) as the toolbar button does; --preset N holds Ctrl "
     "and digit N (loads preset N), --shift holds Shift (shows the settings dialog)",
     RunCaptureCommand},
    {"config", "config list | get KEY | set KEY VALUE",
     "show or change one settings value (KEY is Name for a root value, Group/Name otherwise)", RunConfigCommand},
    {"preset", "preset list | save NAME | load N | delete N", "manage the ten named presets", RunPresetCommand},
    {"backup", "backup FILE", "write all settings, presets included, to an XML backup file", RunBackupCommand},
    {"restore", "restore FILE", "replace all settings with a backup file (asks first)", RunRestoreCommand},
    {"browse", "browse URL [--headless] [--timeout SECONDS]",
     "open the page in a Chromium window (needs a display unless --headless) until it is closed", RunBrowseCommand},
    {"register", "register", "register the add-on module (toolbar button, classes) in the registry store",
     RunRegisterCommand},
    {"unregister", "unregister", "remove the add-on module's registration", RunUnregisterCommand},
    {"clipboard", "clipboard save FILE | list | clear",
     "take the captured picture (as BMP) or text out of Scrollsnap's clipboard", RunClipboardCommand},
};

void PrintHelp(FILE* out) {
  std::fprintf(out,
               "Usage: scrollsnap [--ui auto|gui|batch] [--answer yes|no|cancel] COMMAND [ARGS]\n"
               "\n"
               "Scrollsnap turns a whole web page into one image.\n"
               "\n"
               "Commands:\n");
  // The summaries are wrapped at 100 columns, under their own column.
  for (const Command& c : kCommands) {
    std::string line = std::string("  ") + c.synopsis;
    line.resize(47, ' ');
    std::string words = c.summary;
    std::size_t col = line.size();
    std::size_t pos = 0;
    while (pos < words.size()) {
      std::size_t end = words.find(' ', pos);
      if (end == std::string::npos) end = words.size();
      std::string word = words.substr(pos, end - pos);
      if (col + word.size() + 1 > 100 && col > 47) {
        line += "\n" + std::string(47, ' ');
        col = 47;
      } else if (col > 47) {
        line += ' ';
        ++col;
      }
      line += word;
      col += word.size();
      pos = end + 1;
    }
    std::fprintf(out, "%s\n", line.c_str());
  }
  std::fprintf(out,
               "\n"
               "Options:\n"
               "  --ui auto|gui|batch      how questions and messages reach you. batch prints every\n"
               "                           message box to stderr as \"caption: text\", answers it with\n"
               "                           its default button or --answer, and ends dialogs with OK.\n"
               "                           gui shows windows (not part of this build yet); auto picks\n"
               "                           gui when a display is present and it is available, else batch.\n"
               "  --answer yes|no|cancel   the answer batch mode gives to every question\n"
               "  --help                   this text\n"
               "\n"
               "Environment:\n"
               "  SCROLLSNAP_HOME          folder for everything kept between runs (settings store,\n"
               "                           clipboard store); default: $XDG_DATA_HOME/scrollsnap\n"
               "  SCROLLSNAP_CODEPAGE      932 to work in Shift-JIS instead of UTF-8\n"
               "  SCROLLSNAP_LOAD_TIMEOUT  seconds to wait for a page to finish loading (default 30)\n"
               "  SCROLLSNAP_WINDOW_SIZE   the browser window's page area, WIDTHxHEIGHT (default 1280x1024)\n"
               "\n"
               "Exit status: 0 done, 1 stopped (a question answered No or Cancel), 2 error, 64 usage.\n");
}

}  // namespace

void PrintError(const std::string& text) { std::fprintf(stderr, "%s\n", AnsiToUtf8(text).c_str()); }

void PrintLine(const std::string& text) { std::fprintf(stdout, "%s\n", AnsiToUtf8(text).c_str()); }

int ExitStatusOf(long hr) { return hr == 0 ? kExitDone : hr > 0 ? kExitStopped : kExitError; }

int Main(int argc, char** argv) {
  HostOptions options;
  std::vector<std::string> rest;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--help" || a == "-h") {
      PrintHelp(stdout);
      return kExitDone;
    }
    if (a == "--ui" || a == "--answer") {
      if (i + 1 >= argc) {
        PrintError("scrollsnap: " + a + " needs a value");
        return kExitUsage;
      }
      std::string v = argv[++i];
      if (a == "--ui") {
        if (v != "auto" && v != "batch" && v != "gui") {
          PrintError("scrollsnap: --ui takes auto, gui or batch");
          return kExitUsage;
        }
        options.ui = v;
      } else if (!ParsePresetAnswer(v, &options.answer) || v.empty()) {
        PrintError("scrollsnap: --answer takes yes, no or cancel");
        return kExitUsage;
      }
      continue;
    }
    rest.push_back(a);
  }
  if (rest.empty()) {
    PrintHelp(stderr);
    return kExitUsage;
  }
  // The settings derive the skins folder from the module the host loads.
  SetModuleFilePath(BundledModulePath());
  std::unique_ptr<UiBackend> backend = MakeUiBackend(options.ui, options.answer);
  if (!backend) {
    PrintError("scrollsnap: the window interface is not part of this build; use --ui batch");
    return kExitUsage;
  }
  SetUiBackend(backend.get());
  for (const Command& c : kCommands) {
    if (rest[0] == c.name) {
      int status = c.run(std::vector<std::string>(rest.begin() + 1, rest.end()));
      SetUiBackend(nullptr);
      return status;
    }
  }
  SetUiBackend(nullptr);
  PrintError("scrollsnap: unknown command \"" + rest[0] + "\" (see 'scrollsnap --help')");
  return kExitUsage;
}

}  // namespace ss::host

int main(int argc, char** argv) { return ss::host::Main(argc, argv); }
