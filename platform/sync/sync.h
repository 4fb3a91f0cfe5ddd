// Named mutexes and shared data sections between processes, on POSIX shared
// memory. Names are derived from SCROLLSNAP_HOME (or the user's id) so that
// two homes never meet.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/base/result.h"

namespace ss {

using HANDLE = std::uint32_t;

constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_ABANDONED = 0x80;
constexpr DWORD WAIT_TIMEOUT = 0x102;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;
constexpr DWORD INFINITE = 0xFFFFFFFF;

// Creates or opens the named mutex (process-shared, robust). 0 on failure.
HANDLE CreateMutexA(const void* attributes, BOOL initialOwner, const char* name);
// Waits at most `milliseconds`; WAIT_ABANDONED when the previous owner died
// holding it (the caller then owns it).
DWORD WaitForSingleObject(HANDLE h, DWORD milliseconds);
// Fails (returns 0) when the calling thread does not own the mutex.
BOOL ReleaseMutex(HANDLE h);
// Closes a mutex, or any other kind of handle whose service registered a
// closer (a closer returns true when the handle was one of its own).
BOOL CloseHandle(HANDLE h);
using HandleCloser = bool (*)(HANDLE h);
void RegisterHandleCloser(HandleCloser closer);

// Maps the named shared section of `size` bytes. The process that creates it
// copies `initial` (size bytes) into it; others see its current contents. The
// pointer stays valid until UnmapSharedSection. The section starts again from
// its initial contents once no process has it mapped.
void* MapSharedSection(const char* name, std::size_t size, const void* initial);
void UnmapSharedSection(void* section);

}  // namespace ss
