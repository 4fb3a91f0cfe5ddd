#include "platform/sync/sync.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/base/handle_table.h"
#include "platform/folders/folders.h"

namespace ss {
namespace {

// FNV-1a, 64 bits: a short, stable tag for a home folder or a long name.
std::uint64_t Fnv1a(const std::string& s) {
  std::uint64_t h = 0xcbf29ce484222325ull;
  for (unsigned char c : s) {
    h ^= c;
    h *= 0x100000001b3ull;
  }
  return h;
}

// What keeps two homes (two users, two parallel tests) apart.
std::string Scope() {
  const char* home = std::getenv("SCROLLSNAP_HOME");
  char buf[32];
  if (home && *home) {
    std::string abs = ScrollsnapHome();
    char real[PATH_MAX];
    if (realpath(abs.c_str(), real)) abs = real;
    std::snprintf(buf, sizeof buf, "h%016llx", static_cast<unsigned long long>(Fnv1a(abs)));
  } else {
    std::snprintf(buf, sizeof buf, "u%u", static_cast<unsigned>(getuid()));
  }
  return buf;
}

// A name usable as one path component: "/" and control bytes replaced, long
// names shortened with a hash of the whole.
std::string Component(const std::string& name) {
  std::string out;
  for (unsigned char c : name) out += (c == '/' || c < 0x20 || c == 0x7F) ? '_' : static_cast<char>(c);
  if (out.size() > 120) {
    char tag[20];
    std::snprintf(tag, sizeof tag, "~%016llx", static_cast<unsigned long long>(Fnv1a(name)));
    out = out.substr(0, 100) + tag;
  }
  return out;
}

// Takes or converts an open-file-description lock on the whole lock file.
// Such a lock belongs to the descriptor (not the process), converts
// atomically and dies with the process.
bool LockFile(int fd, short type, bool wait) {
  struct flock fl {};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = 0;
  fl.l_len = 0;
  for (;;) {
    if (fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &fl) == 0) return true;
    if (errno != EINTR) return false;
  }
}

// A named block of POSIX shared memory whose contents start again from their
// initial state once no process has it open. Every process that has it open
// holds a shared lock on a lock file under the home; a process that can take
// that lock exclusively knows it is alone and (re)creates the block.
class SharedBlock {
 public:
  using Init = std::function<void(void*, bool& ok)>;

  ~SharedBlock() { Close(); }

  // `kind` keeps mutexes and sections with the same name apart.
  bool Open(const std::string& kind, const std::string& name, std::size_t size, const Init& init,
            bool* created) {
    size_ = size;
    pid_ = getpid();
    std::string scope = Scope();
    std::string folder = ScrollsnapHome() + "/sync";
    if (!EnsureFolder(folder)) return false;
    std::string base = kind + "-" + Component(name);
    std::string lockPath = folder + "/" + base + ".lock";
    shmName_ = "/scrollsnap-" + scope + "-" + base;
    lockFd_ = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lockFd_ < 0) return false;

    // A block whose last user is just leaving may vanish between our lock
    // and our open: then we try again, and will find ourselves alone.
    for (int attempt = 0; attempt < 2000; ++attempt) {
      if (LockFile(lockFd_, F_WRLCK, false)) {
        // Alone: whatever an earlier generation left behind is discarded.
        shm_unlink(shmName_.c_str());
        int fd = shm_open(shmName_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) return Abort();
        bool ok = ftruncate(fd, static_cast<off_t>(size)) == 0 && Map(fd);
        close(fd);
        if (ok) init(data_, ok);
        if (!ok) {
          shm_unlink(shmName_.c_str());
          return Abort();
        }
        if (created) *created = true;
        return (LockFile(lockFd_, F_RDLCK, false) && Track()) || Abort();
      }
      // Others have it: wait out a creator that is still initialising.
      if (!LockFile(lockFd_, F_RDLCK, true)) return Abort();
      int fd = shm_open(shmName_.c_str(), O_RDWR | O_CLOEXEC, 0600);
      if (fd < 0 && errno == ENOENT) {
        LockFile(lockFd_, F_UNLCK, false);
        usleep(1000);
        continue;
      }
      if (fd < 0) return Abort();
      struct stat st {};
      bool ok = fstat(fd, &st) == 0 && static_cast<std::size_t>(st.st_size) >= size && Map(fd);
      close(fd);
      if (!ok) return Abort();
      if (created) *created = false;
      return Track() || Abort();
    }
    return Abort();
  }

  // At the exit of a process that still has blocks open: the last user of a
  // block removes its name, so that nothing is left behind in shared memory.
  // The mappings stay (other threads may still be at work).
  void RemoveNameIfLast() {
    if (lockFd_ >= 0 && pid_ == getpid() && LockFile(lockFd_, F_WRLCK, false)) shm_unlink(shmName_.c_str());
  }

  void* data() const { return data_; }

  void Close() {
    Untrack();
    if (data_) munmap(data_, size_);
    data_ = nullptr;
    if (lockFd_ >= 0 && pid_ != getpid()) {
      // A forked child shares the parent's lock: leave it to the parent.
      close(lockFd_);
      lockFd_ = -1;
    }
    if (lockFd_ >= 0) {
      // The last one out removes the name; the next user starts afresh.
      if (LockFile(lockFd_, F_WRLCK, false)) shm_unlink(shmName_.c_str());
      close(lockFd_);
      lockFd_ = -1;
    }
  }

 private:
  bool Map(int fd) {
    void* p = mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (p == MAP_FAILED) return false;
    data_ = p;
    return true;
  }
  bool Track();
  void Untrack();
  bool Abort() {
    Untrack();
    if (data_) munmap(data_, size_);
    data_ = nullptr;
    if (lockFd_ >= 0) close(lockFd_);
    lockFd_ = -1;
    return false;
  }

  std::string shmName_;
  pid_t pid_ = 0;
  std::size_t size_ = 0;
  int lockFd_ = -1;
  void* data_ = nullptr;
};

// Every open block of this process, for the exit hook.
struct OpenBlocks {
  std::mutex mu;
  std::vector<SharedBlock*> blocks;
  ~OpenBlocks() {
    std::lock_guard<std::mutex> lock(mu);
    for (SharedBlock* b : blocks) b->RemoveNameIfLast();
  }
};

OpenBlocks& AllOpenBlocks() {
  static OpenBlocks open;
  return open;
}

bool SharedBlock::Track() {
  auto& o = AllOpenBlocks();
  std::lock_guard<std::mutex> lock(o.mu);
  o.blocks.push_back(this);
  return true;
}

void SharedBlock::Untrack() {
  auto& o = AllOpenBlocks();
  std::lock_guard<std::mutex> lock(o.mu);
  std::erase(o.blocks, this);
}

struct SharedMutexData {
  pthread_mutex_t mutex;
};

bool InitMutex(pthread_mutex_t* m, bool shared) {
  pthread_mutexattr_t attr;
  if (pthread_mutexattr_init(&attr) != 0) return false;
  // Recursive like a Windows mutex: the owner may wait again and releases as
  // often as it waited. Robust: an owner that dies frees it (abandoned).
  bool ok = pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE) == 0 &&
            pthread_mutexattr_setrobust(&attr, PTHREAD_MUTEX_ROBUST) == 0 &&
            (!shared || pthread_mutexattr_setpshared(&attr, PTHREAD_PROCESS_SHARED) == 0) &&
            pthread_mutex_init(m, &attr) == 0;
  pthread_mutexattr_destroy(&attr);
  return ok;
}

struct MutexObject {
  // Named: the block in shared memory. Unnamed: a mutex of this process only.
  std::unique_ptr<SharedBlock> block;
  std::unique_ptr<SharedMutexData> local;
  pthread_mutex_t* mutex = nullptr;
  ~MutexObject() {
    if (local) pthread_mutex_destroy(&local->mutex);
  }
};

HandleTable<MutexObject>& Mutexes() {
  static HandleTable<MutexObject> table(0x08000000u);
  return table;
}

struct SectionRegistry {
  std::mutex mu;
  std::map<void*, std::unique_ptr<SharedBlock>> blocks;
};

SectionRegistry& Sections() {
  static SectionRegistry r;
  return r;
}

struct CloserRegistry {
  std::mutex mu;
  std::vector<HandleCloser> closers;
};

CloserRegistry& Closers() {
  static CloserRegistry r;
  return r;
}

}  // namespace

HANDLE CreateMutexA(const void* attributes, BOOL initialOwner, const char* name) {
  auto obj = std::make_shared<MutexObject>();
  bool created = true;
  if (name && *name) {
    obj->block = std::make_unique<SharedBlock>();
    auto init = [](void* p, bool& ok) { ok = InitMutex(&static_cast<SharedMutexData*>(p)->mutex, true); };
    if (!obj->block->Open("mutex", name, sizeof(SharedMutexData), init, &created)) return 0;
    obj->mutex = &static_cast<SharedMutexData*>(obj->block->data())->mutex;
  } else {
    obj->local = std::make_unique<SharedMutexData>();
    if (!InitMutex(&obj->local->mutex, false)) {
      obj->local.reset();
      return 0;
    }
    obj->mutex = &obj->local->mutex;
  }
  // As on Windows, initial ownership goes only to the creator of the mutex.
  if (initialOwner && created) {
    int rc = pthread_mutex_lock(obj->mutex);
    if (rc == EOWNERDEAD) pthread_mutex_consistent(obj->mutex);
  }
  return Mutexes().Add(std::move(obj));
}

DWORD WaitForSingleObject(HANDLE h, DWORD milliseconds) {
  auto obj = Mutexes().Get(h);
  if (!obj) return WAIT_FAILED;
  int rc;
  if (milliseconds == INFINITE) {
    rc = pthread_mutex_lock(obj->mutex);
  } else {
    timespec deadline{};
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += milliseconds / 1000;
    deadline.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
      deadline.tv_sec += 1;
      deadline.tv_nsec -= 1000000000L;
    }
    do {
      rc = pthread_mutex_clocklock(obj->mutex, CLOCK_MONOTONIC, &deadline);
    } while (rc == EINTR);
  }
  switch (rc) {
    case 0:
      return WAIT_OBJECT_0;
    case ETIMEDOUT:
      return WAIT_TIMEOUT;
    case EOWNERDEAD:
      // The previous owner died holding it: it is ours now, marked usable.
      pthread_mutex_consistent(obj->mutex);
      return WAIT_ABANDONED;
    default:
      return WAIT_FAILED;
  }
}

BOOL ReleaseMutex(HANDLE h) {
  auto obj = Mutexes().Get(h);
  if (!obj) return 0;
  // A robust mutex checks its owner: unlocking a mutex this thread does not
  // hold fails with EPERM and changes nothing.
  return pthread_mutex_unlock(obj->mutex) == 0 ? 1 : 0;
}

void RegisterHandleCloser(HandleCloser closer) {
  auto& r = Closers();
  std::lock_guard<std::mutex> lock(r.mu);
  r.closers.push_back(closer);
}

BOOL CloseHandle(HANDLE h) {
  if (Mutexes().Remove(h)) return 1;
  std::vector<HandleCloser> closers;
  {
    auto& r = Closers();
    std::lock_guard<std::mutex> lock(r.mu);
    closers = r.closers;
  }
  for (HandleCloser c : closers)
    if (c(h)) return 1;
  return 0;
}

void* MapSharedSection(const char* name, std::size_t size, const void* initial) {
  if (!name || !*name || size == 0) return nullptr;
  auto block = std::make_unique<SharedBlock>();
  auto init = [&](void* p, bool& ok) {
    if (initial) std::memcpy(p, initial, size);
    else std::memset(p, 0, size);
    ok = true;
  };
  if (!block->Open("section", name, size, init, nullptr)) return nullptr;
  void* p = block->data();
  auto& r = Sections();
  std::lock_guard<std::mutex> lock(r.mu);
  r.blocks.emplace(p, std::move(block));
  return p;
}

void UnmapSharedSection(void* section) {
  std::unique_ptr<SharedBlock> block;
  {
    auto& r = Sections();
    std::lock_guard<std::mutex> lock(r.mu);
    auto it = r.blocks.find(section);
    if (it == r.blocks.end()) return;
    block = std::move(it->second);
    r.blocks.erase(it);
  }
  block->Close();
}

}  // namespace ss
