#include "platform/clipboard/clipboard.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/clipboard/clipboard_internal.h"
#include "platform/folders/folders.h"

namespace ss {
namespace {

// ---------------------------------------------------------------------------
// Movable memory blocks

struct Block {
  explicit Block(void* d, std::size_t n) : data(d), size(n) {}
  ~Block() { std::free(data); }
  Block(const Block&) = delete;
  Block& operator=(const Block&) = delete;
  void* data;
  std::size_t size;
  int locks = 0;
};

HandleTable<Block>& Blocks() {
  static HandleTable<Block> table(0x03000000u);
  return table;
}

std::mutex& BlockLock() {
  static std::mutex mu;
  return mu;
}

// ---------------------------------------------------------------------------
// Clipboard state of this process

struct ClipboardState {
  std::mutex mu;
  std::condition_variable released;
  bool open = false;
  std::thread::id thread;
  HWND owner = 0;
  int lockFd = -1;
  std::string folder;
  bool changed = false;
  std::vector<HGLOBAL> handedOut;  // blocks returned by GetClipboardData
};

ClipboardState& State() {
  static ClipboardState state;
  return state;
}

std::string FormatFile(const std::string& folder, UINT format) {
  return folder + "/" + std::to_string(format) + ".data";
}

bool ReadWholeFile(const std::string& path, std::string* out) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  if (fstat(fd, &st) != 0) {
    ::close(fd);
    return false;
  }
  out->clear();
  try {
    out->resize(static_cast<std::size_t>(st.st_size));
  } catch (...) {
    ::close(fd);
    return false;
  }
  std::size_t done = 0;
  while (done < out->size()) {
    ssize_t n = ::read(fd, out->data() + done, out->size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  ::close(fd);
  out->resize(done);
  return true;
}

// Writes the file under a temporary name and renames it into place, so a
// reader never sees half a picture.
bool WriteWholeFile(const std::string& path, const void* data, std::size_t size) {
  const std::string tmp = path + ".tmp" + std::to_string(getpid());
  int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  const auto* p = static_cast<const char*>(data);
  std::size_t done = 0;
  bool ok = true;
  while (done < size) {
    ssize_t n = ::write(fd, p + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = false;
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  if (::close(fd) != 0) ok = false;
  if (ok && std::rename(tmp.c_str(), path.c_str()) != 0) ok = false;
  if (!ok) ::unlink(tmp.c_str());
  return ok;
}

std::string StoreFolder() { return ScrollsnapHome() + "/clipboard"; }

std::vector<UINT> FormatsIn(const std::string& folder) {
  std::vector<UINT> formats;
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return formats;
  while (dirent* e = ::readdir(dir)) {
    const std::string name = e->d_name;
    const std::size_t dot = name.find(".data");
    if (dot == std::string::npos || dot == 0 || dot + 5 != name.size()) continue;
    if (name.find_first_not_of("0123456789") != dot) continue;
    formats.push_back(static_cast<UINT>(std::strtoul(name.c_str(), nullptr, 10)));
  }
  ::closedir(dir);
  std::sort(formats.begin(), formats.end());
  return formats;
}

// Caller holds the state lock.
bool OpenHere(const ClipboardState& s) { return s.open && s.thread == std::this_thread::get_id(); }

void FreeHandedOut(ClipboardState& s) {
  for (HGLOBAL h : s.handedOut) Blocks().Remove(h);
  s.handedOut.clear();
}

}  // namespace

HGLOBAL GlobalAlloc(UINT flags, std::size_t bytes) {
  void* data = (flags & GMEM_ZEROINIT) ? std::calloc(bytes ? bytes : 1, 1) : std::malloc(bytes ? bytes : 1);
  if (!data) return 0;
  auto block = std::shared_ptr<Block>(new (std::nothrow) Block(data, bytes));
  if (!block) {
    std::free(data);
    return 0;
  }
  return Blocks().Add(std::move(block));
}

void* GlobalLock(HGLOBAL handle) {
  auto b = Blocks().Get(handle);
  if (!b || b->size == 0) return nullptr;
  std::lock_guard<std::mutex> lock(BlockLock());
  ++b->locks;
  return b->data;
}

BOOL GlobalUnlock(HGLOBAL handle) {
  auto b = Blocks().Get(handle);
  if (!b) return 0;
  std::lock_guard<std::mutex> lock(BlockLock());
  if (b->locks > 0) --b->locks;
  return b->locks > 0 ? 1 : 0;
}

HGLOBAL GlobalFree(HGLOBAL handle) { return Blocks().Remove(handle) ? 0 : handle; }

std::size_t GlobalSize(HGLOBAL handle) {
  auto b = Blocks().Get(handle);
  return b ? b->size : 0;
}

BOOL OpenClipboard(HWND owner) {
  ClipboardState& s = State();
  std::unique_lock<std::mutex> lock(s.mu);
  if (OpenHere(s)) {
    s.owner = owner;
    return 1;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
  if (!s.released.wait_until(lock, deadline, [&] { return !s.open; })) return 0;

  const std::string folder = StoreFolder();
  if (!EnsureFolder(folder)) return 0;
  int fd = ::open((folder + "/.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return 0;
  // Another process may hold the clipboard: wait for it a little.
  while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno != EWOULDBLOCK && errno != EINTR) {
      ::close(fd);
      return 0;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      ::close(fd);
      return 0;
    }
    lock.unlock();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    lock.lock();
    if (s.open) {  // another thread of ours got in meanwhile
      ::close(fd);
      return 0;
    }
  }
  s.open = true;
  s.thread = std::this_thread::get_id();
  s.owner = owner;
  s.lockFd = fd;
  s.folder = folder;
  s.changed = false;
  return 1;
}

BOOL EmptyClipboard() {
  ClipboardState& s = State();
  std::lock_guard<std::mutex> lock(s.mu);
  if (!OpenHere(s)) return 0;
  FreeHandedOut(s);
  for (UINT f : FormatsIn(s.folder)) ::unlink(FormatFile(s.folder, f).c_str());
  s.changed = true;
  return 1;
}

HGLOBAL SetClipboardData(UINT format, HGLOBAL handle) {
  ClipboardState& s = State();
  std::lock_guard<std::mutex> lock(s.mu);
  if (!OpenHere(s) || format == 0) return 0;
  auto b = Blocks().Get(handle);
  if (!b) return 0;
  if (!WriteWholeFile(FormatFile(s.folder, format), b->data, b->size)) return 0;
  Blocks().Remove(handle);
  s.changed = true;
  return handle;
}

HGLOBAL GetClipboardData(UINT format) {
  ClipboardState& s = State();
  std::lock_guard<std::mutex> lock(s.mu);
  if (!OpenHere(s)) return 0;
  std::string bytes;
  if (!ReadWholeFile(FormatFile(s.folder, format), &bytes)) return 0;
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
  if (!h) return 0;
  if (!bytes.empty()) {
    void* p = GlobalLock(h);
    std::memcpy(p, bytes.data(), bytes.size());
    GlobalUnlock(h);
  }
  s.handedOut.push_back(h);
  return h;
}

BOOL IsClipboardFormatAvailable(UINT format) {
  struct stat st {};
  return ::stat(FormatFile(StoreFolder(), format).c_str(), &st) == 0 ? 1 : 0;
}

BOOL CloseClipboard() {
  ClipboardState& s = State();
  std::string dib, text;
  bool hasDib = false, hasText = false, push = false;
  {
    std::lock_guard<std::mutex> lock(s.mu);
    if (!OpenHere(s)) return 0;
    FreeHandedOut(s);
    push = s.changed && DesktopClipboardPresent();
    if (push) {
      hasDib = ReadWholeFile(FormatFile(s.folder, CF_DIB), &dib);
      hasText = ReadWholeFile(FormatFile(s.folder, CF_TEXT), &text);
    }
    ::flock(s.lockFd, LOCK_UN);
    ::close(s.lockFd);
    s.lockFd = -1;
    s.open = false;
    s.owner = 0;
    s.changed = false;
  }
  s.released.notify_all();
  if (push) clipboard::PushToDesktop(hasDib ? &dib : nullptr, hasText ? &text : nullptr);
  return 1;
}

HWND GetOpenClipboardWindow() {
  ClipboardState& s = State();
  std::lock_guard<std::mutex> lock(s.mu);
  return s.open ? s.owner : 0;
}

std::vector<UINT> StoredClipboardFormats() { return FormatsIn(StoreFolder()); }

bool ReadStoredClipboardData(UINT format, std::string* bytes) {
  return bytes && ReadWholeFile(FormatFile(StoreFolder(), format), bytes);
}

}  // namespace ss
