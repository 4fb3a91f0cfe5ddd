#include "ui/dialogs.h"

#include <atomic>

namespace ss {
namespace {

std::atomic<DialogHost*>& Current() {
  static std::atomic<DialogHost*> host{nullptr};
  return host;
}

}  // namespace

int DialogHost::MainSettings(HWND, Settings&, int) { return IDOK; }

int DialogHost::ProtectedMode(HWND, std::int32_t&) { return 1; }

DialogHost& GetDialogHost() {
  static DialogHost unattended;
  DialogHost* h = Current().load();
  return h ? *h : unattended;
}

void SetDialogHost(DialogHost* host) { Current().store(host); }

}  // namespace ss
