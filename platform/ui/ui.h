// The user-interface service: message boxes and file pickers, answered by one
// of three backends. "gui" shows Qt windows (it comes with the dialogs),
// "batch" prints every box to stderr as "caption: text" and answers with its
// default button or the answer given on the command line, "scripted" answers
// from a queue and records every box (tests).
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/base/result.h"

namespace ss {

using HWND = std::uint32_t;

// Message box types (buttons | icon | default button), as the system uses them.
constexpr UINT MB_OK = 0x0;
constexpr UINT MB_OKCANCEL = 0x1;
constexpr UINT MB_ABORTRETRYIGNORE = 0x2;
constexpr UINT MB_YESNOCANCEL = 0x3;
constexpr UINT MB_YESNO = 0x4;
constexpr UINT MB_RETRYCANCEL = 0x5;
constexpr UINT MB_ICONHAND = 0x10;
constexpr UINT MB_ICONERROR = 0x10;
constexpr UINT MB_ICONQUESTION = 0x20;
constexpr UINT MB_ICONEXCLAMATION = 0x30;
constexpr UINT MB_ICONWARNING = 0x30;
constexpr UINT MB_ICONASTERISK = 0x40;
constexpr UINT MB_ICONINFORMATION = 0x40;
constexpr UINT MB_DEFBUTTON1 = 0x000;
constexpr UINT MB_DEFBUTTON2 = 0x100;
constexpr UINT MB_DEFBUTTON3 = 0x200;
constexpr UINT MB_TYPEMASK = 0xF;
constexpr UINT MB_ICONMASK = 0xF0;
constexpr UINT MB_DEFMASK = 0xF00;

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDABORT = 3;
constexpr int IDRETRY = 4;
constexpr int IDIGNORE = 5;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// A file picker request. Texts are in the process code page. `filter` is in
// the "Name|pattern|Name|pattern||" form.
struct FileDialogRequest {
  HWND owner = 0;
  bool save = true;            // save dialog, else open dialog
  std::string title;
  std::string filter;
  std::string defaultExt;      // without the dot
  std::string initialFolder;
  std::string fileName;        // proposed name in, chosen path out
  bool overwritePrompt = false;
};

// One message box as shown (for recording and for batch output).
struct MessageBoxCall {
  HWND owner;
  std::string text;
  std::string caption;
  UINT type;
  int answer;
};

class UiBackend {
 public:
  virtual ~UiBackend() = default;
  virtual int MessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type) = 0;
  // True when the user chose a file (request.fileName then holds the path).
  virtual bool FileDialog(FileDialogRequest& request) = 0;
  // Batch and scripted backends end modal dialogs with OK on their values.
  virtual bool Interactive() const = 0;
};

// The answer a box gets when nobody is there to press a button: "yes", "no",
// "cancel" or "" (the box's default button).
enum class PresetAnswer { Default, Yes, No, Cancel };

// Batch: prints "caption: text" to stderr, answers with the preset answer
// where the box has that button, else its default button.
std::unique_ptr<UiBackend> MakeBatchBackend(PresetAnswer answer);

// Scripted: answers from a queue (IDYES, IDNO, ...; the default button when
// the queue is empty) and records every box. File dialogs answer with the
// queued paths ("" = cancel) or accept the proposed name.
class ScriptedBackend : public UiBackend {
 public:
  // The queues and records may be read and refilled between boxes; boxes
  // from several threads are served one at a time.
  std::deque<int> answers;
  std::deque<std::string> filePaths;
  std::vector<MessageBoxCall> boxes;
  std::vector<FileDialogRequest> fileDialogs;

  int MessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type) override;
  bool FileDialog(FileDialogRequest& request) override;
  bool Interactive() const override { return false; }

 private:
  std::mutex mu_;
};

// "yes", "no", "cancel" or "" (case-insensitive); false for any other text.
bool ParsePresetAnswer(const std::string& text, PresetAnswer* answer);

// The backend for a --ui mode: "batch"; "gui"; "auto" (gui when a display is
// present and a gui backend is available, else batch). Null for "gui" when
// no gui backend is available and for an unknown mode. The gui backend lives
// with the dialogs, which make it available with SetGuiBackendFactory.
using GuiBackendFactory = std::unique_ptr<UiBackend> (*)(PresetAnswer answer);
void SetGuiBackendFactory(GuiBackendFactory factory);
std::unique_ptr<UiBackend> MakeUiBackend(const std::string& mode, PresetAnswer answer);
// True when a desktop display is there to show windows on.
bool DisplayPresent();

// The process-wide backend (batch with the default answer until set). The
// service does not own a backend set with SetUiBackend.
void SetUiBackend(UiBackend* backend);
UiBackend& GetUiBackend();

// Win32-shaped entry points used by the system's code.
int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type);
bool GetSaveFileNameA(FileDialogRequest& request);
bool GetOpenFileNameA(FileDialogRequest& request);

// The default button of a box type (IDOK, IDYES, IDNO or IDCANCEL).
int DefaultButton(UINT type);
// True when a box of this type has the button `id`.
bool BoxHasButton(UINT type, int id);

// What a file picker does when nobody is there to choose: the proposed name,
// joined to the initial folder when relative, with the default extension
// added when the name has none. False when no name is proposed.
bool AcceptProposedFile(FileDialogRequest& request);

}  // namespace ss
