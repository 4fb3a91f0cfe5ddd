// The data every window and process shares: the settings generation and the
// isolation flag, and the process-wide copy of the shortcut settings, all
// guarded by the named mutex ".scrollsnap" with a bounded wait.
#pragma once

#include <cstdint>

#include "platform/sync/sync.h"

namespace ss {

struct SharedSettingsState {
  std::int32_t SettingsGeneration;   // starts at 1
  std::int32_t isolated;             // IsolatedSettingAmongWindows of the last window to set a scope
};

// The name of the mutex and the bounded wait every holder uses.
inline constexpr char kSharedMutexName[] = ".scrollsnap";
inline constexpr DWORD kSharedMutexWaitMs = 1000;

// The shared block and mutex of the current SCROLLSNAP_HOME (opened on first
// use and kept open for the life of the process).
SharedSettingsState* SharedState();
HANDLE SharedMutex();

// The module's helpers for the named mutex: open it (closing a handle held
// before), wait for it at most 1000 ms (the result is not checked: after a
// time-out the caller proceeds anyway), release it, and close it when the
// module unloads (which also unmaps the shared block).
void CreateSharedMutex();
void LockShared();
void UnlockShared();
void CloseSharedMutex();

// Locks the shared mutex for a scope: waits at most 1000 ms and proceeds
// whether or not the wait succeeded; the release after a timed-out wait fails
// harmlessly.
class SharedLock {
 public:
  SharedLock();
  ~SharedLock();
  SharedLock(const SharedLock&) = delete;
  SharedLock& operator=(const SharedLock&) = delete;
  bool acquired() const { return acquired_; }

 private:
  HANDLE mutex_;
  bool acquired_;
};

// The keyboard hook's process-wide copy of the Shortcut group.
struct ShortcutSnapshot {
  bool enabled = true;
  std::uint16_t shortcut = 0x0255;
  bool presetShortcut = false;
};
ShortcutSnapshot GetShortcutSnapshot();
void SetShortcutSnapshot(const ShortcutSnapshot& snapshot);

}  // namespace ss
