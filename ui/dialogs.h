// The module's modal dialogs as the capture session opens them. The window
// interface shows real dialogs; without one (batch mode, and tests that do not
// script them) a dialog ends with OK on the values it was opened with.
#pragma once

#include <cstdint>

#include "platform/ui/ui.h"

namespace ss {

class Settings;

class DialogHost {
 public:
  virtual ~DialogHost() = default;
  // The main settings dialog over `owner`, editing `settings`, with
  // `presetSlot` (0 = none) shown as the current preset. IDOK or IDCANCEL.
  virtual int MainSettings(HWND owner, Settings& settings, int presetSlot);
  // The protected-mode warning: 1 (Yes, go on) or 2 (No); stores the state of
  // its "do not show again" box into `neverAsk`.
  virtual int ProtectedMode(HWND owner, std::int32_t& neverAsk);
};

// The process-wide dialog host (the one that ends every dialog with OK until
// one is set). The service does not own a host set here.
DialogHost& GetDialogHost();
void SetDialogHost(DialogHost* host);

}  // namespace ss
