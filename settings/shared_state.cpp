#include "settings/shared_state.h"

#include <map>
#include <mutex>
#include <string>

#include "platform/folders/folders.h"

namespace ss {
namespace {

struct SharedObjects {
  HANDLE mutex = 0;
  SharedSettingsState* state = nullptr;
};

std::mutex& ObjectsMutex() {
  static std::mutex mu;
  return mu;
}

// One set of shared objects per home folder: a process that changes
// SCROLLSNAP_HOME (the tests do) meets the windows of the new home only.
std::map<std::string, SharedObjects>& ObjectsByHome() {
  static std::map<std::string, SharedObjects> byHome;
  return byHome;
}

SharedObjects& ObjectsForCurrentHome() {
  std::lock_guard<std::mutex> lock(ObjectsMutex());
  SharedObjects& o = ObjectsByHome()[ScrollsnapHome()];
  if (!o.mutex) o.mutex = CreateMutexA(nullptr, 0, kSharedMutexName);
  if (!o.state) {
    static const SharedSettingsState initial = {1, 0};
    o.state = static_cast<SharedSettingsState*>(
        MapSharedSection("SharedSettingsState", sizeof(SharedSettingsState), &initial));
  }
  return o;
}

ShortcutSnapshot& ProcessShortcut() {
  static ShortcutSnapshot snapshot;
  return snapshot;
}

}  // namespace

SharedSettingsState* SharedState() {
  SharedSettingsState* s = ObjectsForCurrentHome().state;
  if (s) return s;
  // Without shared memory the process keeps a block of its own, so that the
  // settings still work, only without propagation between processes.
  static thread_local SharedSettingsState fallback = {1, 0};
  return &fallback;
}

HANDLE SharedMutex() { return ObjectsForCurrentHome().mutex; }

void CreateSharedMutex() {
  std::string home = ScrollsnapHome();
  std::lock_guard<std::mutex> lock(ObjectsMutex());
  SharedObjects& o = ObjectsByHome()[home];
  if (o.mutex) CloseHandle(o.mutex);
  o.mutex = CreateMutexA(nullptr, 0, kSharedMutexName);
}

void LockShared() {
  if (HANDLE m = SharedMutex()) WaitForSingleObject(m, kSharedMutexWaitMs);
}

void UnlockShared() {
  if (HANDLE m = SharedMutex()) ReleaseMutex(m);
}

void CloseSharedMutex() {
  std::lock_guard<std::mutex> lock(ObjectsMutex());
  for (auto& [home, o] : ObjectsByHome()) {
    if (o.mutex) CloseHandle(o.mutex);
    if (o.state) UnmapSharedSection(o.state);
  }
  ObjectsByHome().clear();
}

SharedLock::SharedLock() : mutex_(SharedMutex()), acquired_(false) {
  if (mutex_) {
    DWORD r = WaitForSingleObject(mutex_, kSharedMutexWaitMs);
    acquired_ = (r == WAIT_OBJECT_0 || r == WAIT_ABANDONED);
  }
}

SharedLock::~SharedLock() {
  if (mutex_ && acquired_) ReleaseMutex(mutex_);
}

ShortcutSnapshot GetShortcutSnapshot() {
  SharedLock lock;
  return ProcessShortcut();
}

void SetShortcutSnapshot(const ShortcutSnapshot& snapshot) {
  SharedLock lock;
  ProcessShortcut() = snapshot;
}

}  // namespace ss
