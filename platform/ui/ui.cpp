#include "platform/ui/ui.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "platform/codepage/codepage.h"

namespace ss {
namespace {

// The buttons of a box type, left to right.
struct Buttons {
  int ids[3];
  int count;
};

Buttons ButtonsOf(UINT type) {
  switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL: return {{IDOK, IDCANCEL, 0}, 2};
    case MB_ABORTRETRYIGNORE: return {{IDABORT, IDRETRY, IDIGNORE}, 3};
    case MB_YESNOCANCEL: return {{IDYES, IDNO, IDCANCEL}, 3};
    case MB_YESNO: return {{IDYES, IDNO, 0}, 2};
    case MB_RETRYCANCEL: return {{IDRETRY, IDCANCEL, 0}, 2};
    default: return {{IDOK, 0, 0}, 1};
  }
}

class BatchBackend : public UiBackend {
 public:
  explicit BatchBackend(PresetAnswer answer) : answer_(answer) {}

  int MessageBox(HWND, const std::string& text, const std::string& caption, UINT type) override {
    // The terminal reads UTF-8 whatever the process code page.
    std::string line = AnsiToUtf8(caption) + ": " + AnsiToUtf8(text) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
    int wanted = 0;
    switch (answer_) {
      case PresetAnswer::Yes: wanted = IDYES; break;
      case PresetAnswer::No: wanted = IDNO; break;
      case PresetAnswer::Cancel: wanted = IDCANCEL; break;
      case PresetAnswer::Default: break;
    }
    return wanted && BoxHasButton(type, wanted) ? wanted : DefaultButton(type);
  }

  bool FileDialog(FileDialogRequest& request) override { return AcceptProposedFile(request); }
  bool Interactive() const override { return false; }

 private:
  PresetAnswer answer_;
};

std::atomic<UiBackend*> g_backend{nullptr};
std::atomic<GuiBackendFactory> g_guiFactory{nullptr};

UiBackend& DefaultBackend() {
  static BatchBackend batch(PresetAnswer::Default);
  return batch;
}

bool HasExtension(const std::string& path) {
  std::size_t slash = path.rfind('/');
  std::size_t start = slash == std::string::npos ? 0 : slash + 1;
  std::size_t dot = path.rfind('.');
  // A leading dot names a hidden file, a trailing one no extension.
  return dot != std::string::npos && dot > start && dot + 1 < path.size();
}

}  // namespace

int DefaultButton(UINT type) {
  Buttons b = ButtonsOf(type);
  int index = static_cast<int>((type & MB_DEFMASK) >> 8);
  return index < b.count ? b.ids[index] : b.ids[0];
}

bool BoxHasButton(UINT type, int id) {
  Buttons b = ButtonsOf(type);
  for (int i = 0; i < b.count; ++i)
    if (b.ids[i] == id) return true;
  return false;
}

bool AcceptProposedFile(FileDialogRequest& request) {
  std::string name = request.fileName;
  if (name.empty()) return false;
  if (name[0] != '/') {
    std::string folder = request.initialFolder;
    if (folder.empty()) {
      std::error_code ec;
      folder = std::filesystem::current_path(ec).string();
    }
    if (!folder.empty() && folder.back() != '/') folder += '/';
    name = folder + name;
  }
  if (!request.defaultExt.empty() && !HasExtension(name)) {
    if (name.back() != '.') name += '.';
    name += request.defaultExt;
  }
  request.fileName = name;
  return true;
}

int ScriptedBackend::MessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type) {
  std::lock_guard<std::mutex> lock(mu_);
  int answer = DefaultButton(type);
  if (!answers.empty()) {
    answer = answers.front();
    answers.pop_front();
  }
  boxes.push_back(MessageBoxCall{owner, text, caption, type, answer});
  return answer;
}

bool ScriptedBackend::FileDialog(FileDialogRequest& request) {
  std::lock_guard<std::mutex> lock(mu_);
  fileDialogs.push_back(request);
  if (!filePaths.empty()) {
    std::string path = filePaths.front();
    filePaths.pop_front();
    if (path.empty()) return false;  // the user cancelled
    request.fileName = path;
    return true;
  }
  return AcceptProposedFile(request);
}

std::unique_ptr<UiBackend> MakeBatchBackend(PresetAnswer answer) { return std::make_unique<BatchBackend>(answer); }

bool ParsePresetAnswer(const std::string& text, PresetAnswer* answer) {
  std::string t;
  for (char c : text) t += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  PresetAnswer a;
  if (t.empty()) a = PresetAnswer::Default;
  else if (t == "yes") a = PresetAnswer::Yes;
  else if (t == "no") a = PresetAnswer::No;
  else if (t == "cancel") a = PresetAnswer::Cancel;
  else return false;
  if (answer) *answer = a;
  return true;
}

void SetGuiBackendFactory(GuiBackendFactory factory) { g_guiFactory.store(factory); }

bool DisplayPresent() {
  const char* qpa = std::getenv("QT_QPA_PLATFORM");
  if (qpa && (std::string(qpa).rfind("offscreen", 0) == 0 || std::string(qpa).rfind("minimal", 0) == 0))
    return false;
  const char* x = std::getenv("DISPLAY");
  const char* w = std::getenv("WAYLAND_DISPLAY");
  return (x && *x) || (w && *w);
}

std::unique_ptr<UiBackend> MakeUiBackend(const std::string& mode, PresetAnswer answer) {
  GuiBackendFactory gui = g_guiFactory.load();
  if (mode == "batch") return MakeBatchBackend(answer);
  if (mode == "gui") return gui ? gui(answer) : nullptr;
  if (mode == "auto" || mode.empty()) {
    if (gui && DisplayPresent())
      if (auto b = gui(answer)) return b;
    return MakeBatchBackend(answer);
  }
  return nullptr;
}

void SetUiBackend(UiBackend* backend) { g_backend.store(backend); }

UiBackend& GetUiBackend() {
  UiBackend* b = g_backend.load();
  return b ? *b : DefaultBackend();
}

int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type) {
  return GetUiBackend().MessageBox(owner, text ? text : "", caption ? caption : "Error", type);
}

bool GetSaveFileNameA(FileDialogRequest& request) {
  request.save = true;
  return GetUiBackend().FileDialog(request);
}

bool GetOpenFileNameA(FileDialogRequest& request) {
  request.save = false;
  return GetUiBackend().FileDialog(request);
}

}  // namespace ss
